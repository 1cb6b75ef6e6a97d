#pragma once

// Keystroke sequences: plain text and key names in square brackets, sent in pieces at the
// configured pace.

#include "platform/Desktop.h"
#include "script/Values.h"

#include <QStringList>

#include <functional>
#include <optional>

namespace kr {

namespace keys {
constexpr quint16 Shift = 0x100;
constexpr quint16 Ctrl = 0x200;
constexpr quint16 Alt = 0x400;
} // namespace keys

// The key code of a key name (any letter case, trailing blanks ignored), if it is one.
std::optional<quint16> KeyCodeOf(const QString& name);
// Every key name, upper case, in the order of the table.
const QStringList& KeyNames();

struct KeystrokeContext {
    KeySender& sender;
    const ValueStore& values;
    const Clock& clock;
    int scriptingDelay; // hundredths, at least 50
    int burstSize;      // characters, 1 to 255
    // Waits the given hundredths of a second while the rest of the program goes on.
    std::function<void(int)> pause;
    // The notification-area icon, when it is shown: its current name, and a new frame.
    std::function<bool()> trayShown;
    std::function<QString()> trayIcon;
    std::function<void(const QString& icon, const QString& tip)> setTray;
};

// SendKeystrokes: returns when the whole sequence has been sent.
void SendKeystrokes(const QString& sequence, const KeystrokeContext& ctx);

// The key a code presses, as the user knows it: "Ctrl+Shift+S", "Alt+F4", "Keypad 7".
QString DescribeKeyCode(quint16 code);
// The text of KEYCODES.TXT: every key name with the key it presses.
QString KeyCodesText();

} // namespace kr
