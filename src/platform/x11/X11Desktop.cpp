#include "platform/x11/X11Desktop.h"

#include "platform/x11/Accessibility.h"

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QThread>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <vector>

namespace kr {

namespace {

Display* D(void* p) {
    return static_cast<Display*>(p);
}

// Windows may vanish between listing and reading them; those errors are expected.
int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

Atom A(Display* d, const char* name) {
    return XInternAtom(d, name, False);
}

// A window property as a list of numbers (32-bit formats) or bytes.
struct Property {
    std::vector<unsigned long> numbers;
    QByteArray bytes;
    Atom type = 0;
    bool ok = false;
};

Property Read(Display* d, Window w, Atom property, Atom type = AnyPropertyType) {
    Property p;
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 1 << 20, False, type, &actualType, &format, &count, &after,
                           &data) != Success ||
        data == nullptr) {
        return p;
    }
    p.ok = actualType != 0;
    p.type = actualType;
    if (format == 32) {
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        p.numbers.assign(values, values + count);
    } else if (format == 8) {
        p.bytes = QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(count));
    }
    XFree(data);
    return p;
}

void SendClientMessage(Display* d, Window target, Window about, Atom type, long l0, long l1 = 0, long l2 = 0,
                       long l3 = 0) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = about;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = l0;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    XSendEvent(d, target, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

bool Supported(Display* d, Atom what) {
    const Property p = Read(d, DefaultRootWindow(d), A(d, "_NET_SUPPORTED"), XA_ATOM);
    for (unsigned long a : p.numbers)
        if (a == what)
            return true;
    return false;
}

unsigned long KeysymForVirtualKey(int vk) {
    if (vk >= 0x30 && vk <= 0x39)
        return XK_0 + static_cast<unsigned long>(vk - 0x30);
    if (vk >= 0x41 && vk <= 0x5A)
        return XK_a + static_cast<unsigned long>(vk - 0x41);
    if (vk >= 0x70 && vk <= 0x7B)
        return XK_F1 + static_cast<unsigned long>(vk - 0x70);
    if (vk >= 0x60 && vk <= 0x69)
        return XK_KP_0 + static_cast<unsigned long>(vk - 0x60);
    switch (vk) {
    case 0x6A:
        return XK_KP_Multiply;
    case 0x6B:
        return XK_KP_Add;
    case 0x6D:
        return XK_KP_Subtract;
    case 0x6E:
        return XK_KP_Decimal;
    case 0x6F:
        return XK_KP_Divide;
    case 0x08:
        return XK_BackSpace;
    case 0x09:
        return XK_Tab;
    case 0x0D:
        return XK_Return;
    case 0x13:
        return XK_Pause;
    case 0x14:
        return XK_Caps_Lock;
    case 0x1B:
        return XK_Escape;
    case 0x20:
        return XK_space;
    case 0x21:
        return XK_Prior;
    case 0x22:
        return XK_Next;
    case 0x23:
        return XK_End;
    case 0x24:
        return XK_Home;
    case 0x25:
        return XK_Left;
    case 0x26:
        return XK_Up;
    case 0x27:
        return XK_Right;
    case 0x28:
        return XK_Down;
    case 0x2C:
        return XK_Print;
    case 0x2D:
        return XK_Insert;
    case 0x2E:
        return XK_Delete;
    default:
        return NoSymbol;
    }
}

unsigned long KeysymForCharacter(char32_t c) {
    switch (c) {
    case U'\n':
    case U'\r':
        return XK_Return;
    case U'\t':
        return XK_Tab;
    case U'\b':
        return XK_BackSpace;
    default:
        break;
    }
    if ((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF))
        return c;
    return 0x01000000 | c;
}

} // namespace

// Keycodes with no symbols, lent to characters the keyboard layout does not have.
// They are lent in turn and given back only when the text is typed: a program that is slow to
// read its events looks the keycode up after the press, and must still find that character.
struct X11Desktop::Keymap {
    int perKeycode = 0;
    std::vector<KeyCode> spare;
    std::size_t next = 0;
    std::vector<KeyCode> lent;
};

X11Desktop::X11Desktop(const QByteArray& display, const QString& sessionBus)
    : keymap_(std::make_unique<Keymap>()) {
    display_ = XOpenDisplay(display.isEmpty() ? nullptr : display.constData());
    if (display_ == nullptr)
        return;
    XSetErrorHandler(IgnoreErrors);
    int minKey = 0, maxKey = 0;
    XDisplayKeycodes(D(display_), &minKey, &maxKey);
    int per = 0;
    KeySym* syms = XGetKeyboardMapping(D(display_), static_cast<KeyCode>(minKey), maxKey - minKey + 1, &per);
    keymap_->perKeycode = per;
    for (int kc = maxKey; kc >= minKey && syms != nullptr; --kc) {
        bool empty = true;
        for (int i = 0; i < per; ++i)
            empty = empty && syms[(kc - minKey) * per + i] == NoSymbol;
        if (empty)
            keymap_->spare.push_back(static_cast<KeyCode>(kc));
    }
    if (syms != nullptr)
        XFree(syms);
    accessibility_ = std::make_unique<Accessibility>(sessionBus);
}

X11Desktop::~X11Desktop() {
    if (display_ != nullptr)
        XCloseDisplay(D(display_));
}

QString X11Desktop::windowTitle(WindowHandle window) {
    Display* d = D(display_);
    const Property utf8 = Read(d, window, A(d, "_NET_WM_NAME"), A(d, "UTF8_STRING"));
    if (utf8.ok && !utf8.bytes.isEmpty())
        return QString::fromUtf8(utf8.bytes);
    XTextProperty text{};
    if (XGetWMName(d, window, &text) == 0 || text.value == nullptr)
        return {};
    QString title;
    if (text.encoding == XA_STRING) {
        title = QString::fromLatin1(reinterpret_cast<const char*>(text.value), static_cast<int>(text.nitems));
    } else {
        char** list = nullptr;
        int count = 0;
        if (Xutf8TextPropertyToTextList(d, &text, &list, &count) == Success && count > 0 && list != nullptr) {
            title = QString::fromUtf8(list[0]);
            XFreeStringList(list);
        }
    }
    XFree(text.value);
    return title;
}

pid_t X11Desktop::windowPid(WindowHandle window) {
    Display* d = D(display_);
    const Property p = Read(d, window, A(d, "_NET_WM_PID"), XA_CARDINAL);
    return p.numbers.empty() ? 0 : static_cast<pid_t>(p.numbers.front());
}

std::vector<TopLevelWindow> X11Desktop::topLevelWindows() {
    std::vector<TopLevelWindow> out;
    if (display_ == nullptr)
        return out;
    Display* d = D(display_);
    const Window root = DefaultRootWindow(d);
    std::vector<unsigned long> windows;
    Property stacking = Read(d, root, A(d, "_NET_CLIENT_LIST_STACKING"), XA_WINDOW);
    if (stacking.ok) {
        // Bottom to top: the front-most comes first here.
        windows.assign(stacking.numbers.rbegin(), stacking.numbers.rend());
    } else if (Property clients = Read(d, root, A(d, "_NET_CLIENT_LIST"), XA_WINDOW); clients.ok) {
        windows = clients.numbers;
    } else {
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(d, root, &rootReturn, &parent, &children, &count) != 0) {
            for (unsigned int i = count; i > 0; --i) {
                XWindowAttributes attributes{};
                if (XGetWindowAttributes(d, children[i - 1], &attributes) != 0 &&
                    attributes.map_state == IsViewable)
                    windows.push_back(children[i - 1]);
            }
            if (children != nullptr)
                XFree(children);
        }
    }
    for (unsigned long w : windows)
        out.push_back(TopLevelWindow{windowTitle(w), w, windowPid(w)});
    return out;
}

std::vector<ChildWindow> X11Desktop::childWindows(WindowHandle window) {
    std::vector<ChildWindow> out;
    if (display_ == nullptr)
        return out;
    Display* d = D(display_);
    // Every descendant, depth first.
    std::vector<Window> pending{static_cast<Window>(window)};
    while (!pending.empty() && out.size() < 5000) {
        const Window w = pending.back();
        pending.pop_back();
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(d, w, &rootReturn, &parent, &children, &count) == 0)
            continue;
        for (unsigned int i = count; i > 0; --i)
            pending.push_back(children[i - 1]);
        for (unsigned int i = 0; i < count; ++i) {
            ChildWindow c;
            c.handle = children[i];
            XClassHint hint{};
            if (XGetClassHint(d, children[i], &hint) != 0) {
                c.className = QString::fromLocal8Bit(hint.res_class);
                XFree(hint.res_name);
                XFree(hint.res_class);
            }
            c.text = windowTitle(children[i]);
            out.push_back(c);
        }
        if (children != nullptr)
            XFree(children);
    }
    // Toolkit programs draw their controls themselves; their accessible objects carry the texts.
    if (accessibility_) {
        for (const auto& [role, name] : accessibility_->objectsOf(windowPid(window), windowTitle(window)))
            out.push_back(ChildWindow{role, name, 0, true});
    }
    return out;
}

void X11Desktop::showRestored(WindowHandle window) {
    Display* d = D(display_);
    const Window root = DefaultRootWindow(d);
    XMapWindow(d, window);
    // Out of the minimized and the maximized states.
    SendClientMessage(d, root, window, A(d, "_NET_WM_STATE"), 0,
                      static_cast<long>(A(d, "_NET_WM_STATE_HIDDEN")));
    SendClientMessage(d, root, window, A(d, "_NET_WM_STATE"), 0,
                      static_cast<long>(A(d, "_NET_WM_STATE_MAXIMIZED_VERT")),
                      static_cast<long>(A(d, "_NET_WM_STATE_MAXIMIZED_HORZ")));
}

void X11Desktop::activate(WindowHandle window) {
    if (display_ == nullptr || window == 0)
        return;
    Display* d = D(display_);
    const Window root = DefaultRootWindow(d);
    // Switch to it (its desktop), make it active, bring it to the top, show it restored.
    const Property desktop = Read(d, window, A(d, "_NET_WM_DESKTOP"), XA_CARDINAL);
    if (!desktop.numbers.empty() && desktop.numbers.front() != 0xFFFFFFFF)
        SendClientMessage(d, root, root, A(d, "_NET_CURRENT_DESKTOP"),
                          static_cast<long>(desktop.numbers.front()), CurrentTime);
    SendClientMessage(d, root, window, A(d, "_NET_ACTIVE_WINDOW"), 2, CurrentTime, 0);
    XRaiseWindow(d, window);
    showRestored(window);
    if (!Supported(d, A(d, "_NET_ACTIVE_WINDOW")))
        XSetInputFocus(d, window, RevertToParent, CurrentTime);
    XSync(d, False);
}

WindowHandle X11Desktop::foreground() {
    if (display_ == nullptr)
        return 0;
    Display* d = D(display_);
    const Property active = Read(d, DefaultRootWindow(d), A(d, "_NET_ACTIVE_WINDOW"), XA_WINDOW);
    if (!active.numbers.empty() && active.numbers.front() != 0)
        return active.numbers.front();
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    return focus > 1 ? focus : 0;
}

void X11Desktop::requestClose(WindowHandle window) {
    if (display_ == nullptr || window == 0)
        return;
    Display* d = D(display_);
    showRestored(window);
    const Atom closeAtom = A(d, "_NET_CLOSE_WINDOW");
    if (Supported(d, closeAtom)) {
        SendClientMessage(d, DefaultRootWindow(d), window, closeAtom, CurrentTime, 2);
    } else {
        // Without a window manager: the window's own close protocol.
        Atom* protocols = nullptr;
        int count = 0;
        const Atom deleteAtom = A(d, "WM_DELETE_WINDOW");
        bool supported = false;
        if (XGetWMProtocols(d, window, &protocols, &count) != 0) {
            for (int i = 0; i < count; ++i)
                supported = supported || protocols[i] == deleteAtom;
            XFree(protocols);
        }
        if (supported) {
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = window;
            e.xclient.message_type = A(d, "WM_PROTOCOLS");
            e.xclient.format = 32;
            e.xclient.data.l[0] = static_cast<long>(deleteAtom);
            e.xclient.data.l[1] = CurrentTime;
            XSendEvent(d, window, False, NoEventMask, &e);
        }
    }
    XSync(d, False);
}

QString X11Desktop::processName(pid_t pid) {
    if (pid <= 0)
        return {};
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    if (!exe.isEmpty())
        return QFileInfo(exe).fileName();
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

bool X11Desktop::sendKeysym(unsigned long keysym, bool withShift) {
    Display* d = D(display_);
    KeyCode kc = XKeysymToKeycode(d, keysym);
    bool shift = false;
    bool usable = false;
    if (kc != 0) {
        XkbStateRec state{};
        XkbGetState(d, XkbUseCoreKbd, &state);
        if (XkbKeycodeToKeysym(d, kc, state.group, 0) == keysym) {
            usable = true;
        } else if (XkbKeycodeToKeysym(d, kc, state.group, 1) == keysym) {
            usable = true;
            shift = true;
        }
    }
    bool lent = false;
    if (!usable) {
        // A character the layout does not have: lend it a spare keycode for one press.
        if (keymap_->spare.empty())
            return false;
        kc = keymap_->spare[keymap_->next++ % keymap_->spare.size()];
        std::vector<KeySym> syms(static_cast<std::size_t>(qMax(1, keymap_->perKeycode)), keysym);
        XChangeKeyboardMapping(d, kc, static_cast<int>(syms.size()), syms.data(), 1);
        XSync(d, False);
        QThread::msleep(30);
        if (std::find(keymap_->lent.begin(), keymap_->lent.end(), kc) == keymap_->lent.end())
            keymap_->lent.push_back(kc);
        lent = true;
    }
    const KeyCode shiftKey = XKeysymToKeycode(d, XK_Shift_L);
    const bool pressShift = (shift || withShift) && shiftKey != 0;
    if (pressShift)
        XTestFakeKeyEvent(d, shiftKey, True, CurrentTime);
    XTestFakeKeyEvent(d, kc, True, CurrentTime);
    XTestFakeKeyEvent(d, kc, False, CurrentTime);
    if (pressShift)
        XTestFakeKeyEvent(d, shiftKey, False, CurrentTime);
    XSync(d, False);
    if (lent)
        QThread::msleep(30);
    return true;
}

void X11Desktop::returnLentKeycodes() {
    if (keymap_->lent.empty())
        return;
    Display* d = D(display_);
    QThread::msleep(60);
    std::vector<KeySym> none(static_cast<std::size_t>(qMax(1, keymap_->perKeycode)), NoSymbol);
    for (KeyCode kc : keymap_->lent)
        XChangeKeyboardMapping(d, kc, static_cast<int>(none.size()), none.data(), 1);
    XSync(d, False);
    keymap_->lent.clear();
}

void X11Desktop::typeText(const QString& text) {
    if (display_ == nullptr)
        return;
    for (char32_t c : text.toUcs4())
        sendKeysym(KeysymForCharacter(c), false);
    returnLentKeycodes();
}

void X11Desktop::pressKey(quint16 code) {
    if (display_ == nullptr)
        return;
    Display* d = D(display_);
    const int base = code & 0xFF;
    std::vector<KeyCode> modifiers;
    if ((code & 0x200) != 0)
        modifiers.push_back(XKeysymToKeycode(d, XK_Control_L));
    if ((code & 0x400) != 0)
        modifiers.push_back(XKeysymToKeycode(d, XK_Alt_L));
    const bool shift = (code & 0x100) != 0;
    for (KeyCode m : modifiers)
        if (m != 0)
            XTestFakeKeyEvent(d, m, True, CurrentTime);
    if (base == 1 || base == 2 || base == 3 || base == 5 || base == 6 || base == 7) {
        const int which = base > 4 ? base - 4 : base;
        const unsigned int button = which == 1 ? 1 : which == 2 ? 3 : 2;
        const KeyCode shiftKey = XKeysymToKeycode(d, XK_Shift_L);
        if (shift && shiftKey != 0)
            XTestFakeKeyEvent(d, shiftKey, True, CurrentTime);
        for (int click = 0; click < (base > 4 ? 2 : 1); ++click) {
            XTestFakeButtonEvent(d, button, True, CurrentTime);
            XTestFakeButtonEvent(d, button, False, CurrentTime);
        }
        if (shift && shiftKey != 0)
            XTestFakeKeyEvent(d, shiftKey, False, CurrentTime);
    } else if (const unsigned long keysym = KeysymForVirtualKey(base); keysym != NoSymbol) {
        // The key itself, at its first level: the flags say which modifiers go with it.
        KeyCode kc = XKeysymToKeycode(d, keysym);
        if (kc != 0) {
            const KeyCode shiftKey = XKeysymToKeycode(d, XK_Shift_L);
            if (shift && shiftKey != 0)
                XTestFakeKeyEvent(d, shiftKey, True, CurrentTime);
            XTestFakeKeyEvent(d, kc, True, CurrentTime);
            XTestFakeKeyEvent(d, kc, False, CurrentTime);
            if (shift && shiftKey != 0)
                XTestFakeKeyEvent(d, shiftKey, False, CurrentTime);
        } else {
            sendKeysym(keysym, shift);
            returnLentKeycodes();
        }
    }
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        if (*it != 0)
            XTestFakeKeyEvent(d, *it, False, CurrentTime);
    XSync(d, False);
}

} // namespace kr
