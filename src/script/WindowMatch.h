#pragma once

// Finding another program's window by a title pattern, confirmed by the text of one of its
// child windows.

#include "platform/Desktop.h"

namespace kr {

class WindowMatcher {
public:
    // The width of the titles, texts and class names the lists keep.
    static constexpr int kTextWidth = 253;

    explicit WindowMatcher(WindowSystem& system)
        : system_(system) {}

    // FindWindowByPattern: the front-most window whose title matches the pattern (exact,
    // "prefix*" or "*phrase", any letter case, a leading "~" dropped) and which has a child
    // whose text contains the confirming text. 0 when none does.
    //
    // A pattern that names a program ("gedit", "notepad.exe") also matches the windows of
    // processes running that program.
    WindowHandle findWindowByPattern(const QString& pattern, const QString& confirm);

    // The lists as the last search built them.
    const std::vector<TopLevelWindow>& windowList() const { return windows_; }
    const std::vector<ChildWindow>& childWindowList() const { return children_; }

    // Rebuilds the window list: every top-level window with a title, front-most first.
    void rebuildWindowList();

    WindowSystem& system() { return system_; }

private:
    bool confirm(const TopLevelWindow& window, const QString& text);
    bool titleMatches(const QString& pattern, const QString& title) const;
    bool programMatches(const QString& pattern, pid_t pid);

    WindowSystem& system_;
    std::vector<TopLevelWindow> windows_;
    std::vector<ChildWindow> children_;
};

} // namespace kr
