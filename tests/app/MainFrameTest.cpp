#include "FrameFixture.h"
#include "support/Accelerators.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace kr::test {
namespace {

using MainFrameTest = FrameFixture;

TEST_F(MainFrameTest, StartsWithItsTitleZonesAndTheStartedEvent) {
    writeIni("[Settings]\nLogEvents=1\n");
    MainFrame& f = makeFrame();
    f.start();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Kelvray 98 1.7d"));
    EXPECT_EQ(f.zone(3), QStringLiteral("Saturday, OCT 31,1959"));
    EXPECT_EQ(f.zone(4), QStringLiteral("5:05PM"));
    EXPECT_EQ(f.timerInterval(), 100);
    EXPECT_EQ(config->getConfig(QStringLiteral("Version")), QStringLiteral("1.7d"));
    EXPECT_TRUE(state.schedulerActive);
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].mid(22, 30).trimmed(), QStringLiteral("Started"));
    EXPECT_EQ(lines[0].mid(52).trimmed(), QStringLiteral("Kelvray 98 1.7d"));
    EXPECT_TRUE(dialogs.shown.empty());

    // An empty schedule: the plain title and a blank zone 2; the clock zones follow the clock.
    clock.advance(kOneHour);
    f.tick();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Kelvray 98 1.7d"));
    EXPECT_EQ(f.zone(2), QString());
    EXPECT_EQ(f.zone(4), QStringLiteral("6:05PM"));
    EXPECT_EQ(f.timerInterval(), 125);
    EXPECT_EQ(f.scriptIndicator(), QString());
}

TEST_F(MainFrameTest, TheTimerFollowsTheModeAndTheScriptQueue) {
    MainFrame& f = makeFrame();
    f.start();
    int steps = 0;
    f.hooks().runScriptStep = [&] {
        ++steps;
        queue.popFront();
    };
    queueEntry();
    queueEntry();
    f.tick();
    EXPECT_EQ(f.timerInterval(), 50);
    EXPECT_EQ(f.scriptIndicator(), QStringLiteral("*"));
    f.tick();
    f.tick();
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(f.timerInterval(), 125);
    EXPECT_EQ(f.scriptIndicator(), QString());

    // Inactive: nothing scheduled runs and the queue stands still.
    state.schedulerActive = false;
    int scans = 0;
    f.hooks().scanDueTask = [&] { ++scans; };
    queueEntry();
    f.tick();
    EXPECT_EQ(f.timerInterval(), 250);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Kelvray 98 (Inactive)"));
    EXPECT_EQ(f.zone(2), QStringLiteral("Inactive"));
    EXPECT_EQ(scans, 0);
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(queue.size(), 1u);

    // A task run by hand lets its script run even so, until the queue is empty.
    state.manualScriptPending = true;
    f.tick();
    EXPECT_EQ(f.timerInterval(), 50);
    EXPECT_EQ(steps, 3);
    f.tick();
    EXPECT_FALSE(state.manualScriptPending);
    EXPECT_EQ(f.timerInterval(), 125);
    f.tick();
    EXPECT_EQ(f.timerInterval(), 250);
}

TEST_F(MainFrameTest, TheInactiveSwitchOverridesTheSettingAndLocksSetup) {
    state.inactiveSwitch = true;
    MainFrame& f = makeFrame();
    f.start();
    EXPECT_FALSE(state.schedulerActive);
    f.tick();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Kelvray 98 (Inactive)"));
    EXPECT_EQ(f.timerInterval(), 250);
    f.accept(QStringLiteral("Setup"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Configuration cannot be changed in \"inactivated\" mode."));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Warning"));
}

TEST_F(MainFrameTest, OneTickAtATimeEvenWhenAMessageWaits) {
    MainFrame& f = makeFrame();
    f.start();
    int scans = 0;
    f.hooks().scanDueTask = [&] {
        ++scans;
        // A message box runs its own event loop, in which the timer keeps firing.
        QEventLoop loop;
        QTimer::singleShot(50, &f, [&] { f.tick(); });
        QTimer::singleShot(120, &loop, &QEventLoop::quit);
        loop.exec();
    };
    f.tick();
    EXPECT_EQ(scans, 1);
}

TEST_F(MainFrameTest, HistoryRemovalTellsTheScheduleListsAndStatusTextShowsOnce) {
    MainFrame& f = makeFrame();
    f.start();
    struct Listener : QObject {
        int changed = 0;
        bool event(QEvent* e) override {
            if (e->type() == kScheduleChangedEvent)
                ++changed;
            return QObject::event(e);
        }
    } listener;
    state.listeners.add(&listener);
    f.hooks().removeOldHistory = [] { return true; };
    state.pendingStatusText = QStringLiteral("Sent to ann@example.com");
    f.tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(listener.changed, 1);
    EXPECT_EQ(f.zone(2), QStringLiteral("Sent to ann@example.com"));
    EXPECT_TRUE(state.pendingStatusText.isEmpty());
    f.tick();
    EXPECT_EQ(f.zone(2), QString());
    state.listeners.remove(&listener);
}

TEST_F(MainFrameTest, MinimizingGoesToTheTrayAndAClickComesBack) {
    MainFrame& f = makeFrame();
    f.start();
    f.goToTray();
    EXPECT_TRUE(f.trayIconShown());
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(tray.tip, QStringLiteral("Kelvray 98 1.7d"));
    EXPECT_EQ(tray.icons, QStringList{QStringLiteral("tray_ico")});

    tray.click(); // a single click is enough
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.trayIconShown());
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(tray.isShown);
}

TEST_F(MainFrameTest, WithoutANotificationAreaTheFrameStaysVisible) {
    tray.available = false;
    MainFrame& f = makeFrame();
    f.start();
    f.showMinimized();
    f.goToTray();
    EXPECT_FALSE(f.trayIconShown());
    EXPECT_TRUE(f.isVisible());
    // Not minimized either: with no task bar a minimized frame is as gone as a hidden one.
    EXPECT_FALSE(f.isMinimized());
    EXPECT_TRUE(f.statusBar()->currentMessage().contains(QStringLiteral("No tray icon when minimized")))
        << f.statusBar()->currentMessage().toStdString();

    tray.available = true;
    settings.noTray = true;
    f.goToTray();
    EXPECT_FALSE(f.trayIconShown());
    EXPECT_EQ(tray.adds, 1);
}

TEST_F(MainFrameTest, TheTrayIconAnimatesWhileAScriptRuns) {
    MainFrame& f = makeFrame();
    f.start();
    f.goToTray();
    f.hooks().runScriptStep = [] {};
    queueEntry();
    for (int i = 0; i < 5; ++i)
        f.tick();
    EXPECT_EQ(tray.icons,
              (QStringList{"tray_ico", "trayb_ico", "trayc_ico", "trayd_ico", "tray_ico", "trayb_ico"}));
    queue.clear();
    f.tick();
    EXPECT_EQ(tray.icons.last(), QStringLiteral("tray_ico"));
    EXPECT_EQ(f.currentIconName(), QStringLiteral("tray_ico"));
}

TEST_F(MainFrameTest, TheTrayMenuOffersToStopARunningScript) {
    MainFrame& f = makeFrame();
    f.start();
    EXPECT_EQ(
        f.trayMenuText(),
        QStringLiteral("Add &Message|Add &Program|&View To Do|&Options|-|&Restore|-|&About|E&xit Kelvray"));
    queueEntry();
    queueEntry();
    EXPECT_EQ(f.trayMenuText(),
              QStringLiteral("Add &Message|Add &Program|&View To Do|&Options|-|&Restore|-|&About|"
                             "&Stop Running Script|E&xit Kelvray"));
    f.trayMenuChoose(QStringLiteral("&Stop Running Script"));
    EXPECT_TRUE(queue.empty());

    // "Options" comes back from the tray and opens Setup.
    f.goToTray();
    state.inactiveSwitch = true; // Setup then only says why it cannot open
    f.trayMenuChoose(QStringLiteral("&Options"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.trayIconShown());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Warning"));
}

TEST_F(MainFrameTest, TheToolBarIndicatorStopsTheQueue) {
    MainFrame& f = makeFrame();
    f.start();
    f.hooks().runScriptStep = [] {};
    queueEntry();
    f.tick();
    auto* indicator = f.findChild<QToolButton*>(QStringLiteral("ScriptIndicator"));
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(indicator->text(), QStringLiteral("*"));
    EXPECT_FALSE(indicator->icon().isNull());
    EXPECT_TRUE(indicator->isEnabled());
    indicator->click();
    EXPECT_TRUE(queue.empty());
    f.tick();
    EXPECT_FALSE(indicator->isEnabled()); // nothing to stop
}

TEST_F(MainFrameTest, MessageTasksBringTheFrameBackFromTheTray) {
    MainFrame& f = makeFrame();
    f.start();
    f.goToTray();
    Schedule program;
    program.taskType = QStringLiteral("Run Program");
    f.restoreForTask(program);
    EXPECT_TRUE(f.trayIconShown());
    Schedule message;
    message.taskType = QStringLiteral("Display Message");
    f.restoreForTask(message);
    EXPECT_FALSE(f.trayIconShown());
    EXPECT_TRUE(f.isVisible());

    f.goToTray();
    settings.useModalMessage = true;
    f.restoreForTask(message);
    EXPECT_TRUE(f.trayIconShown());
    settings.maximizeOnRun = true;
    f.restoreForTask(program);
    EXPECT_FALSE(f.trayIconShown());
}

TEST_F(MainFrameTest, TheMenuIsCompleteAndShowsWhatIsAvailable) {
    MainFrame& f = makeFrame();
    QStringList menus;
    for (QAction* a : f.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&Browse", "&Reports", "&Window", "&Help"}));
    for (const char* p :
         {"ImportSchedule", "ExportTodo", "Synchronize", "BrowseSchedule", "AddTaskWizard", "BrowseClipboard",
          "ReportTodoByCategory", "Tile", "HelpContents", "About", "Setup"})
        ASSERT_NE(f.menuAction(QString::fromLatin1(p)), nullptr) << p;
    EXPECT_TRUE(f.menuAction(QStringLiteral("Setup"))->isEnabled());
    EXPECT_TRUE(f.menuAction(QStringLiteral("ViewLog"))->isEnabled());
    EXPECT_FALSE(f.menuAction(QStringLiteral("BrowseSchedule"))->isEnabled());
    EXPECT_EQ(f.menuAction(QStringLiteral("Synchronize"))->statusTip(),
              QStringLiteral("Send/Receive between Kelvray databases"));
    int opened = 0;
    f.registerWindow(QStringLiteral("BrowseSchedule"), [&] { ++opened; });
    EXPECT_TRUE(f.menuAction(QStringLiteral("BrowseSchedule"))->isEnabled());
    f.menuAction(QStringLiteral("BrowseSchedule"))->trigger();
    EXPECT_EQ(opened, 1);
}

TEST_F(MainFrameTest, StartUpOpensTheChosenWindowsInOrder) {
    writeIni("[Settings]\nStartUpContacts=1\nStartUpToDo=1\nStartUpClipboardSaver=1\n");
    MainFrame& f = makeFrame();
    QStringList opened;
    for (const char* p : {"BrowseSchedule", "ViewToDo", "BrowseClipboard", "BrowseContacts"}) {
        const QString name = QString::fromLatin1(p);
        f.registerWindow(name, [&opened, name] { opened << name; });
    }
    f.start();
    EXPECT_EQ(opened, (QStringList{"BrowseContacts", "BrowseClipboard", "ViewToDo", "BrowseSchedule"}));
}

TEST_F(MainFrameTest, DebugIsAnnouncedAtStartUp) {
    writeIni("[Settings]\nDebug=1\n");
    MainFrame& f = makeFrame();
    f.start();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Debugging Active"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Debug"));
    EXPECT_EQ(state.debug, 1);
}

TEST_F(MainFrameTest, StartingMinimizedGoesStraightToTheTray) {
    writeIni("[Settings]\nStartUpMinimized=1\n");
    MainFrame& f = makeFrame();
    f.start();
    QCoreApplication::processEvents();
    EXPECT_TRUE(f.trayIconShown());
    EXPECT_FALSE(f.isVisible());
}

TEST_F(MainFrameTest, ClosingWritesExitAndSavesThePosition) {
    writeIni("[Settings]\nLogEvents=1\n");
    MainFrame& f = makeFrame();
    f.start();
    f.move(140, 120);
    f.resize(600, 300);
    f.goToTray();
    f.closingSteps();
    f.closingSteps(); // once only
    EXPECT_FALSE(tray.isShown);
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1].mid(22, 30).trimmed(), QStringLiteral("Exit Kelvray"));
    EXPECT_EQ(lines[1].mid(52).trimmed(), QString());
    IniFile positions(dir.file(kPositionIniName));
    EXPECT_EQ(positions.read(QStringLiteral("Main"), QStringLiteral("Maximize")), QStringLiteral("No"));
    EXPECT_EQ(positions.readInt(QStringLiteral("Main"), QStringLiteral("Width")), 600);
}

TEST(WindowPosition, MinimizedWindowsKeepTheirPositionAndMaximizedOnesComeBackMaximized) {
    TempDir dir;
    IniFile ini(dir.file(kPositionIniName));
    {
        QWidget w;
        w.setGeometry(100, 90, 400, 300);
        w.show();
        SaveWindowPosition(w, QStringLiteral("BrowseSchedule"), ini);
        w.showMinimized();
        w.setWindowState(Qt::WindowMinimized);
        SaveWindowPosition(w, QStringLiteral("BrowseSchedule"), ini);
    }
    EXPECT_EQ(ini.read(QStringLiteral("BrowseSchedule"), QStringLiteral("Width")), QStringLiteral("400"));
    EXPECT_EQ(ini.read(QStringLiteral("BrowseSchedule"), QStringLiteral("Maximize")), QStringLiteral("No"));
    {
        QWidget w;
        RestoreWindowPosition(w, QStringLiteral("BrowseSchedule"), ini);
        EXPECT_EQ(w.size(), QSize(400, 300));
        w.showMaximized();
        w.setWindowState(Qt::WindowMaximized);
        SaveWindowPosition(w, QStringLiteral("BrowseSchedule"), ini);
    }
    EXPECT_EQ(ini.read(QStringLiteral("BrowseSchedule"), QStringLiteral("Maximize")), QStringLiteral("Yes"));
    QWidget w;
    RestoreWindowPosition(w, QStringLiteral("BrowseSchedule"), ini);
    EXPECT_TRUE(w.windowState() & Qt::WindowMaximized);
    // Nothing saved: nothing restored.
    QWidget fresh;
    fresh.resize(123, 45);
    RestoreWindowPosition(fresh, QStringLiteral("Nobody"), ini);
    EXPECT_EQ(fresh.size(), QSize(123, 45));
}

TEST_F(MainFrameTest, NoTwoMenuItemsOrControlsShareAnAccelerator) {
    MainFrame& f = makeFrame();
    EXPECT_EQ(AcceleratorClashes(&f), QStringList());
    for (QMenu* menu : f.menuBar()->findChildren<QMenu*>())
        EXPECT_EQ(MenuClashes(menu), QStringList());
}

} // namespace
} // namespace kr::test
