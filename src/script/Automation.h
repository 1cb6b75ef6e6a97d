#pragma once

// The script actions that drive other programs on the desktop: window tests and waits,
// Set Focus, Close Program and Send Keystrokes.

#include "platform/Desktop.h"
#include "script/Keystrokes.h"
#include "script/Runner.h"
#include "script/WindowMatch.h"

#include <functional>
#include <optional>

namespace kr {

struct AutomationContext {
    WindowSystem* windows = nullptr; // none without a display
    KeySender* keys = nullptr;
    ValueStore& values;
    const Settings& settings;
    const Clock& clock;
    Dialogs& dialogs;
    const int& debug;
    // The main frame's own window, which Close Program does not close.
    std::function<WindowHandle()> ownFrame;
    // Starts the companion program that ends programs by name.
    std::function<void(const QString&)> killProgram;
    std::function<void(int)> pause;
    std::function<bool()> trayShown;
    std::function<QString()> trayIcon;
    std::function<void(const QString&, const QString&)> setTray;
};

class Automation : public ScriptServices {
public:
    explicit Automation(AutomationContext ctx);

    bool windowExists(const QString& pattern, const QString& confirm) override;
    bool activateWindow(const QString& pattern, const QString& confirm) override;
    void setFocus(QueueEntry& entry) override;
    void closeProgram(QueueEntry& entry) override;
    void sendKeystrokes(QueueEntry& entry) override;

    WindowMatcher* matcher() { return matcher_ ? &*matcher_ : nullptr; }

protected:
    AutomationContext ctx_;

private:
    std::optional<WindowMatcher> matcher_;
};

} // namespace kr
