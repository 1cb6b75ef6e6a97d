#pragma once

// The desktop on X11: windows through EWMH, input through XTest, and the accessible children
// of toolkit windows through AT-SPI. Xlib's own headers stay in the .cpp.

#include "platform/Desktop.h"

#include <QByteArray>

#include <memory>

namespace kr {

class Accessibility;

class X11Desktop final : public WindowSystem, public KeySender {
public:
    // Connects to the named display, or to $DISPLAY; the accessible objects come through the
    // session bus at the given address, or the session's own.
    explicit X11Desktop(const QByteArray& display = {}, const QString& sessionBus = {});
    ~X11Desktop() override;
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    bool connected() const { return display_ != nullptr; }

    std::vector<TopLevelWindow> topLevelWindows() override;
    std::vector<ChildWindow> childWindows(WindowHandle window) override;
    void activate(WindowHandle window) override;
    WindowHandle foreground() override;
    void requestClose(WindowHandle window) override;
    QString processName(pid_t pid) override;

    void typeText(const QString& text) override;
    void pressKey(quint16 code) override;

    QString windowTitle(WindowHandle window);
    pid_t windowPid(WindowHandle window);

private:
    struct Keymap;
    bool sendKeysym(unsigned long keysym, bool withShift);
    void returnLentKeycodes();
    void showRestored(WindowHandle window);

    void* display_ = nullptr; // Display*
    std::unique_ptr<Keymap> keymap_;
    std::unique_ptr<Accessibility> accessibility_;
};

} // namespace kr
