#pragma once

// The desktop as the scripts drive it: other programs' windows, and synthetic keyboard and
// mouse input into whichever window has the focus.

#include <QString>

#include <sys/types.h>
#include <vector>

namespace kr {

using WindowHandle = quint64;

struct TopLevelWindow {
    QString title;
    WindowHandle handle = 0;
    pid_t pid = 0; // the process that owns it, 0 when unknown
};

struct ChildWindow {
    QString className;
    QString text; // "<>" when the child has no text
    WindowHandle handle = 0;
    // An accessible object of a toolkit program rather than a window: its text is the name the
    // toolkit gives it, without accelerator ampersands.
    bool accessible = false;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Every top-level window, front-most first.
    virtual std::vector<TopLevelWindow> topLevelWindows() = 0;
    // Every descendant of the window, in enumeration order.
    virtual std::vector<ChildWindow> childWindows(WindowHandle window) = 0;
    // Switch to it, make it active, bring it to the top, show it restored.
    virtual void activate(WindowHandle window) = 0;
    virtual WindowHandle foreground() = 0;
    // Shows the window restored and asks it to close; does not wait.
    virtual void requestClose(WindowHandle window) = 0;
    // The name of the program a process runs, "" when unknown.
    virtual QString processName(pid_t pid) = 0;
};

class KeySender {
public:
    virtual ~KeySender() = default;
    // Types the characters into the focused window.
    virtual void typeText(const QString& text) = 0;
    // Presses and releases one key: a virtual-key code plus the modifier flags Shift 0x100,
    // Ctrl 0x200, Alt 0x400; codes 1, 2, 3 click the left, right and middle mouse button at
    // the pointer, 5, 6, 7 double-click them.
    virtual void pressKey(quint16 code) = 0;
};

} // namespace kr
