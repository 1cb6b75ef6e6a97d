#pragma once

// The frame that holds the program's list and browse windows. The windows themselves do not
// know the frame; whoever opens them hands them to it.

class QDialog;
class QWidget;

namespace kr {

class WindowHost {
public:
    virtual ~WindowHost() = default;
    // Shows the window inside the frame, placed where it was last closed or cascaded from
    // the last window opened; it is deleted when it closes.
    virtual void openInFrame(QWidget* window) = 0;
};

// Opens a list window: inside the frame when there is one and no modal window is waiting for
// an answer (a list opened from a modal form must be usable, so it is then a modal dialog of
// `parent` instead, deleted when it closes). True when it went into the frame.
bool OpenListWindow(WindowHost* host, QDialog* window);

} // namespace kr
