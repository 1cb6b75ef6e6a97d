#pragma once

// The desktop's windows as the scripts see them, with the program's own sub-windows listed
// as windows of their own: a sub-window of the frame has no window of the desktop, so the
// frame reports it, just in front of the frame itself, under its own title.

#include "platform/Desktop.h"

#include <QPointer>

#include <functional>
#include <map>

class QMdiArea;
class QMdiSubWindow;

namespace kr {

class FrameWindows final : public WindowSystem {
public:
    // `frame` gives the frame's own window on the desktop.
    FrameWindows(WindowSystem& desktop, QMdiArea& area, std::function<WindowHandle()> frame);

    // Handles of sub-windows carry this bit, which no desktop window handle has.
    static constexpr WindowHandle kSubWindowBit = WindowHandle{1} << 62;

    std::vector<TopLevelWindow> topLevelWindows() override;
    std::vector<ChildWindow> childWindows(WindowHandle window) override;
    void activate(WindowHandle window) override;
    WindowHandle foreground() override { return desktop_.foreground(); }
    void requestClose(WindowHandle window) override;
    QString processName(pid_t pid) override { return desktop_.processName(pid); }

    // The sub-window behind a handle this object gave out; null when it has gone.
    QMdiSubWindow* subWindow(WindowHandle window) const;
    WindowHandle handleOf(QMdiSubWindow* window);

private:
    WindowSystem& desktop_;
    QMdiArea& area_;
    std::function<WindowHandle()> frame_;
    std::map<WindowHandle, QPointer<QMdiSubWindow>> handles_;
    WindowHandle next_ = 1;
};

} // namespace kr
