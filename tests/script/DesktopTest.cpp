// Driving real windows of other programs on a private X display.

#include "platform/x11/X11Desktop.h"
#include "script/Automation.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"
#include "support/XServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace kr::test {
namespace {

class DesktopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        x_ = new XServer;
        bus_ = new SessionBus;
    }
    static void TearDownTestSuite() {
        delete bus_;
        delete x_;
    }
    void SetUp() override {
        ASSERT_TRUE(x_->ok());
        desktop = std::make_unique<X11Desktop>(x_->display().toLatin1(), bus_->address());
        ASSERT_TRUE(desktop->connected());
    }
    void TearDown() override {
        for (auto& p : windows) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
    // Opens a test window and waits until the window manager lists it.
    QProcess* open(const QString& title, const QStringList& buttons = {}, const QString& output = {}) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), x_->display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus_->address());
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        p->setProcessEnvironment(env);
        QStringList args{QStringLiteral("--title"), title};
        for (const QString& b : buttons)
            args << QStringLiteral("--button") << b;
        if (!output.isEmpty())
            args << QStringLiteral("--output") << output;
        p->start(QStringLiteral(TEST_WINDOW), args);
        p->waitForStarted(5000);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            for (const TopLevelWindow& w : desktop->topLevelWindows())
                if (w.title == title && w.pid == static_cast<pid_t>(p->processId())) {
                    QThread::msleep(300); // let it take the focus
                    windows.push_back(std::move(p));
                    return windows.back().get();
                }
            QThread::msleep(50);
        }
        ADD_FAILURE() << "window did not appear: " << title.toStdString();
        windows.push_back(std::move(p));
        return windows.back().get();
    }
    WindowHandle handleOf(const QString& title) {
        for (const TopLevelWindow& w : desktop->topLevelWindows())
            if (w.title == title)
                return w.handle;
        return 0;
    }
    QString waitForFile(const QString& path, const QString& expected, int ms = 10000) {
        QElapsedTimer t;
        t.start();
        QString text;
        while (t.elapsed() < ms) {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly))
                text = QString::fromUtf8(f.readAll());
            if (text == expected)
                break;
            QThread::msleep(50);
        }
        return text;
    }
    std::unique_ptr<Automation> automation() {
        return std::make_unique<Automation>(
            AutomationContext{desktop.get(),
                              desktop.get(),
                              values,
                              settings,
                              clock,
                              dialogs,
                              debug,
                              [this] { return ownFrame; },
                              [this](const QString& name) { killed << name; },
                              [](int h) { QThread::msleep(static_cast<unsigned long>(h) * 10); },
                              {},
                              {},
                              {}});
    }
    bool waitUntil(const std::function<bool()>& condition, int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (!condition() && t.elapsed() < ms)
            QThread::msleep(50);
        return condition();
    }

    static XServer* x_;
    static SessionBus* bus_;
    TempDir dir;
    std::unique_ptr<X11Desktop> desktop;
    std::vector<std::unique_ptr<QProcess>> windows;
    ScriptedDialogs dialogs;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 0, 0)};
    Settings settings;
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
    int debug = 0;
    WindowHandle ownFrame = 0;
    QStringList killed;
};

XServer* DesktopTest::x_ = nullptr;
SessionBus* DesktopTest::bus_ = nullptr;

TEST_F(DesktopTest, PatternsFindTheFrontMostMatchingWindow) {
    open(QStringLiteral("Untitled - Alpha"));
    open(QStringLiteral("Untitled - Beta"));
    WindowMatcher m(*desktop);
    const WindowHandle alpha = handleOf(QStringLiteral("Untitled - Alpha"));
    const WindowHandle beta = handleOf(QStringLiteral("Untitled - Beta"));
    ASSERT_NE(alpha, 0u);
    ASSERT_NE(beta, 0u);
    EXPECT_EQ(m.findWindowByPattern(QStringLiteral("Untitled - *"), {}), beta);
    EXPECT_EQ(m.findWindowByPattern(QStringLiteral("untitled - alpha"), {}), alpha);
    EXPECT_EQ(m.findWindowByPattern(QStringLiteral("Untitled"), {}), 0u);
    EXPECT_EQ(m.findWindowByPattern(QStringLiteral("*ALPHA"), {}), alpha);
    EXPECT_EQ(m.findWindowByPattern(QStringLiteral("~Untitled - Alpha   "), {}), alpha);
    EXPECT_EQ(m.findWindowByPattern(QStringLiteral("*lpha*"), {}), 0u); // the phrase is literal
    // The program's name finds its windows too, front-most first.
    EXPECT_EQ(m.findWindowByPattern(QStringLiteral("testwindow"), {}), beta);
    EXPECT_EQ(m.findWindowByPattern(QStringLiteral("TESTWINDOW.EXE"), {}), beta);
    // Bring Alpha to the front: now it wins the prefix.
    desktop->activate(alpha);
    ASSERT_TRUE(
        waitUntil([&] { return m.findWindowByPattern(QStringLiteral("Untitled - *"), {}) == alpha; }));
    EXPECT_FALSE(m.windowList().empty());
}

TEST_F(DesktopTest, AConfirmingTextPassesOverAWindowWithoutIt) {
    open(QStringLiteral("Untitled - Alpha"), {QStringLiteral("&Confirm Me")});
    open(QStringLiteral("Untitled - Beta"), {QStringLiteral("Cancel")});
    WindowMatcher m(*desktop);
    const WindowHandle alpha = handleOf(QStringLiteral("Untitled - Alpha"));
    // The toolkit publishes its objects a moment after the window shows.
    EXPECT_TRUE(waitUntil([&] {
        return m.findWindowByPattern(QStringLiteral("Untitled - *"), QStringLiteral("confirm")) == alpha;
    }));
    // Typed as the button's text, accelerator ampersand and all.
    EXPECT_EQ(m.findWindowByPattern(QStringLiteral("Untitled - *"), QStringLiteral("&Confirm")), alpha);
    EXPECT_EQ(m.findWindowByPattern(QStringLiteral("Untitled - *"), QStringLiteral("Nothing like it")), 0u);
    // The child list holds the children of the last window examined, Alpha at the back.
    bool confirm = false;
    for (const ChildWindow& c : m.childWindowList())
        confirm = confirm ||
                  (c.text == QStringLiteral("Confirm Me") && c.className == QStringLiteral("push button"));
    EXPECT_TRUE(confirm);
    EXPECT_NE(m.findWindowByPattern(QStringLiteral("Untitled - Beta"), QStringLiteral("cancel")), 0u);
    bool cancel = false;
    for (const ChildWindow& c : m.childWindowList())
        cancel = cancel || c.text == QStringLiteral("Cancel");
    EXPECT_TRUE(cancel);
}

TEST_F(DesktopTest, SetFocusIfWindowAndWaitingForAWindowToGo) {
    QProcess* alpha = open(QStringLiteral("Editor One"));
    open(QStringLiteral("Editor Two"));
    auto a = automation();
    QueueEntry focus;
    focus.item.focusOnWindow = QStringLiteral("Editor One");
    a->setFocus(focus);
    EXPECT_TRUE(waitUntil([&] { return desktop->foreground() == handleOf(QStringLiteral("Editor One")); }));

    EXPECT_TRUE(a->windowExists(QStringLiteral("Editor *"), {}));
    EXPECT_FALSE(a->windowExists(QStringLiteral("Calculator"), {}));

    // Nothing found: nothing happens, and in debug mode it says so.
    QueueEntry missing;
    missing.item.focusOnWindow = QStringLiteral("Calculator");
    a->setFocus(missing);
    EXPECT_TRUE(dialogs.shown.empty());
    debug = 1;
    a->setFocus(missing);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Failed Set Focus"));
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Calculator"));

    // "~": still there while it is open, gone once it closes.
    EXPECT_TRUE(a->windowExists(QStringLiteral("~Editor One"), {}));
    alpha->kill();
    alpha->waitForFinished();
    EXPECT_TRUE(waitUntil([&] { return !a->windowExists(QStringLiteral("Editor One"), {}); }));
}

TEST_F(DesktopTest, CloseProgramClosesTheForegroundOrTheStartedProgram) {
    const QString out = dir.file(QStringLiteral("closed-a"));
    QProcess* started = open(QStringLiteral("Started Program"), {}, out);
    QProcess* front = open(QStringLiteral("Front Window"), {}, dir.file(QStringLiteral("closed-b")));
    auto a = automation();

    // The program's own frame has the focus: the window of the program the script started goes.
    ownFrame = handleOf(QStringLiteral("Front Window"));
    QueueEntry entry;
    entry.startHandle = static_cast<qint32>(started->processId());
    a->closeProgram(entry);
    EXPECT_EQ(waitForFile(out, QStringLiteral("\nclosed")), QStringLiteral("\nclosed"));
    EXPECT_TRUE(started->waitForFinished(5000));
    EXPECT_EQ(front->state(), QProcess::Running);

    // Otherwise the window with the focus.
    ownFrame = 0;
    desktop->activate(handleOf(QStringLiteral("Front Window")));
    QThread::msleep(300);
    QueueEntry plain;
    a->closeProgram(plain);
    EXPECT_TRUE(front->waitForFinished(5000));

    // A named program goes to the companion that ends programs by name.
    QueueEntry named;
    named.item.command = QStringLiteral("gedit");
    a->closeProgram(named);
    EXPECT_EQ(killed, QStringList{QStringLiteral("gedit")});
}

TEST_F(DesktopTest, KeystrokesArriveExactlyInAnotherProgram) {
    const QString out = dir.file(QStringLiteral("typed"));
    open(QStringLiteral("Typing Target"), {}, out);
    auto a = automation();
    settings.scriptingDelay = 50;
    settings.burstSize = 7;
    values.setValue(QStringLiteral("WHO"), QStringLiteral("Ann"));
    QueueEntry focus;
    focus.item.focusOnWindow = QStringLiteral("Typing Target");
    a->setFocus(focus);
    ASSERT_TRUE(
        waitUntil([&] { return desktop->foreground() == handleOf(QStringLiteral("Typing Target")); }));

    QueueEntry keys;
    keys.item.keystrokes = QStringLiteral("Hello world, [who]! [ShiftCtrlS] #$%&()~ {x}[Enter]");
    a->sendKeystrokes(keys);
    const QString expected = QStringLiteral("Hello world, Ann! ShiftCtrlS #$%&()~ {x}[Enter]");
    EXPECT_EQ(waitForFile(out, expected), expected);

    // Characters the keyboard layout does not have arrive all the same.
    QueueEntry clear;
    clear.item.keystrokes = QStringLiteral("[CtrlA][DeleteKey]");
    a->sendKeystrokes(clear);
    QueueEntry foreign;
    foreign.item.keystrokes = QStringLiteral("Grüße, Привет ✓ — ½ café");
    a->sendKeystrokes(foreign);
    EXPECT_EQ(waitForFile(out, foreign.item.keystrokes), foreign.item.keystrokes);

    // [AltF4] closes the window through the window manager. The window manager takes its key
    // bindings anew after every change of the keyboard map (the characters above made several);
    // on a loaded machine the first press can fall into that moment, so the window is brought
    // to the front and asked once more before the test gives up.
    QueueEntry close;
    close.item.keystrokes = QStringLiteral("[AltF4]");
    a->sendKeystrokes(close);
    if (!waitUntil([&] { return handleOf(QStringLiteral("Typing Target")) == 0; }, 5000)) {
        a->setFocus(focus);
        a->sendKeystrokes(close);
    }
    EXPECT_TRUE(waitUntil([&] { return handleOf(QStringLiteral("Typing Target")) == 0; }));
}

TEST_F(DesktopTest, LogWindowsWritesTheOpenWindowsAndTheirChildren) {
    open(QStringLiteral("Log Me First"), {QStringLiteral("&Save Now")});
    open(QStringLiteral("Log Me Second"));
    const WindowHandle first = handleOf(QStringLiteral("Log Me First"));
    const WindowHandle second = handleOf(QStringLiteral("Log Me Second"));
    auto a = automation();
    const QString out = dir.file(QStringLiteral("windows.log"));
    // The toolkit publishes its buttons a moment after the window shows.
    QStringList lines;
    ASSERT_TRUE(waitUntil([&] {
        if (a->fileAction(QStringLiteral("Log Windows"), out, {}) < 2)
            return false;
        QFile f(out);
        f.open(QIODevice::ReadOnly);
        lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return std::any_of(lines.begin(), lines.end(),
                           [](const QString& l) { return l.contains(QStringLiteral("Save Now")); });
    }));
    for (const QString& l : lines)
        EXPECT_EQ(l.size(), 124) << l.toStdString();
    const QString secondRow = QStringLiteral("Log Me Second").leftJustified(40) +
                              QString::number(second).leftJustified(12) + QString(72, QLatin1Char(' '));
    const QString firstRow = QStringLiteral("Log Me First").leftJustified(40) +
                             QString::number(first).leftJustified(12) + QString(72, QLatin1Char(' '));
    const qsizetype s = lines.indexOf(secondRow);
    const qsizetype f = lines.indexOf(firstRow);
    ASSERT_GE(s, 0);
    ASSERT_GT(f, s); // front-most first
    // The button is a child row under its window, before the next window's row.
    qsizetype button = -1;
    for (qsizetype i = f + 1; i < lines.size() && lines[i].startsWith(QString(52, QLatin1Char(' '))); ++i)
        if (lines[i].mid(52, 40).trimmed() == QStringLiteral("Save Now"))
            button = i;
    ASSERT_GT(button, f);
    EXPECT_EQ(lines[button].mid(92, 20).trimmed(), QStringLiteral("push button"));
    EXPECT_EQ(lines[button].mid(112).trimmed(), QString()); // drawn by its toolkit, not a window
    EXPECT_EQ(values.getValue(QStringLiteral("Errorcode")), QStringLiteral("0"));
}

} // namespace
} // namespace kr::test
