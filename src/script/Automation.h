#pragma once

// The script actions that reach outside the program: window tests and waits, Set Focus,
// Close Program, Send Keystrokes, file actions and commands to other programs.

#include "platform/Dde.h"
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
    DdeClient* dde = nullptr; // none without a session bus
};

class Automation : public ScriptServices {
public:
    explicit Automation(AutomationContext ctx);

    bool windowExists(const QString& pattern, const QString& confirm) override;
    bool activateWindow(const QString& pattern, const QString& confirm) override;
    void setFocus(QueueEntry& entry) override;
    void closeProgram(QueueEntry& entry) override;
    void sendKeystrokes(QueueEntry& entry) override;
    qint32 fileAction(const QString& type, const QString& first, const QString& second) override;
    void dde(QueueEntry& entry) override;

    WindowMatcher* matcher() { return matcher_ ? &*matcher_ : nullptr; }

protected:
    AutomationContext ctx_;

private:
    std::optional<WindowMatcher> matcher_;
};

} // namespace kr
