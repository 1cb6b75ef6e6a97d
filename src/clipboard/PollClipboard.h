#pragma once

// The clipboard saver's poll: every new clipboard text becomes a Clipboard record of the
// current user, and the user's history is trimmed to the most entries the settings allow,
// sparing the entries marked "Save". The poll never shows a message.

#include "platform/Clipboard.h"
#include "platform/Clock.h"
#include "store/KeyView.h"
#include "store/Settings.h"
#include "store/Table.h"
#include "store/Tables.h"

#include <functional>
#include <memory>

namespace kr {

// The longest text kept.
inline constexpr int kClipboardTextWidth = 4096;

// The digest that identifies equal captures: the letters A to Z of the upper-cased text, in
// order, at most 40.
QString ClipboardDigest(const QString& text);
// Whether a text is worth keeping: compared with a single blank (the shorter padded with
// blanks) it is greater. Empty texts, blanks, and texts whose first non-blank character is a
// control character (tab, line break) are not.
bool ClipboardTextWorthKeeping(const QString& text);

struct ClipboardPollContext {
    Store& store;
    const Settings& settings;
    const Clock& clock;
    SystemClipboard& clipboard;
    // Told after every write to the Clipboard table (the open clipboard lists refresh).
    std::function<void()> changed;
};

class ClipboardPoll {
public:
    explicit ClipboardPoll(ClipboardPollContext ctx);
    ~ClipboardPoll();

    // PollClipboard: called on every tick while the clipboard is monitored.
    void poll();

    // The text the poll saw last (the first 4096 characters of the clipboard).
    const QString& lastSeen() const { return lastSeen_; }
    int counter() const { return counter_; }

private:
    void check();
    // Once a day: the current user's unkept entries older than the setting allows go.
    bool forgetOld();
    bool trim(const QString& current);
    qint64 userEntries();
    bool holdsEmptyDigest();

    ClipboardPollContext ctx_;
    std::unique_ptr<Table<Clipboard>> table_;
    qint32 counter_ = 0;
    QString lastSeen_;
    qint32 forgotOn_ = 0; // the day the old entries were last forgotten
};

} // namespace kr
