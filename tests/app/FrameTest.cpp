// The frame and the windows it holds, on a private X display with a window manager.

#include "FrameFixture.h"
#include "app/OrganizerWindows.h"
#include "app/TaskWindows.h"
#include "clipboard/ui/ClipboardWindows.h"
#include "organizer/ui/Todo.h"
#include "platform/qt/FrameWindows.h"
#include "platform/qt/TextViewer.h"
#include "platform/x11/X11Desktop.h"
#include "scheduler/ui/BrowseSchedule.h"
#include "script/Automation.h"
#include "script/Values.h"
#include "support/FakeClipboard.h"
#include "support/RecordingSound.h"
#include "support/ScriptedFileDialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>

#include <unistd.h>

namespace kr::test {
namespace {

class FrameTest : public FrameFixture {
protected:
    FrameTest() {
        forms = std::make_unique<TaskFormContext>(TaskFormContext{
            *store, dialogs, files, clock, settings, *config, ctx->positions, sound, dir.path(), {}, {}});
    }
    ~FrameTest() override {
        if (frame)
            frame->closingSteps();
    }
    // The frame as the program starts it, with the schedule list on its menu.
    MainFrame& startFrame() {
        MainFrame& f = makeFrame();
        f.registerWindow(QStringLiteral("BrowseSchedule"), [this] {
            frame->openInFrame(
                new BrowseSchedule(ScheduleListContext{*forms, state, {}, {}, {}, {}, {}}, frame.get()));
        });
        f.start();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
        settle();
        return f;
    }
    static void settle(int ms = 300) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    template <class Pred> static bool waitFor(Pred pred, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!pred()) {
            if (t.elapsed() > ms)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    // The windows of this process that the desktop lists.
    QStringList ownDesktopWindows(WindowSystem& windows) {
        QStringList out;
        for (const TopLevelWindow& w : windows.topLevelWindows())
            if (w.pid == ::getpid())
                out << w.title;
        return out;
    }
    BrowseSchedule* scheduleIn(QMdiSubWindow* w) { return qobject_cast<BrowseSchedule*>(w->widget()); }
    // A key pressed on the X display, into whichever window has the keyboard.
    static void pressKey(const QString& key) {
        QProcess::execute(QStringLiteral("xdotool"),
                          {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), key});
        settle(200);
    }

    ScriptedFileDialogs files;
    RecordingSound sound;
    std::unique_ptr<TaskFormContext> forms;
};

TEST_F(FrameTest, FirstStartShowsTheFrameWithItsMenuAndTheListInsideIt) {
    MainFrame& f = startFrame(); // a fresh installation opens the schedule list
    ASSERT_EQ(f.subWindows().size(), 1);
    EXPECT_EQ(f.subWindows()[0]->windowTitle(), QStringLiteral("View Schedule"));
    EXPECT_EQ(f.subWindows()[0]->widget()->window(), &f);
    EXPECT_TRUE(f.menuBar()->isVisible());
    // A comfortable size, within the screen.
    const QRect screen = f.screen()->availableGeometry();
    EXPECT_GE(f.width(), 800);
    EXPECT_GE(f.height(), 560);
    EXPECT_TRUE(screen.contains(f.frameGeometry()) || screen.contains(f.geometry()));
    // Nothing of the program covers the frame: the desktop sees the frame alone.
    X11Desktop desktop;
    ASSERT_TRUE(desktop.connected());
    ASSERT_TRUE(waitFor([&] { return ownDesktopWindows(desktop).size() == 1; }));
    EXPECT_EQ(ownDesktopWindows(desktop), QStringList{QStringLiteral("Kelvray 98 1.7d")});
    ASSERT_TRUE(waitFor([&] { return desktop.foreground() == f.winId(); }));
}

TEST_F(FrameTest, TheTrayTakesTheFrameWithItsWindowsAndGivesThemAllBack) {
    MainFrame& f = startFrame();
    f.accept(QStringLiteral("BrowseSchedule"));
    const QList<QMdiSubWindow*> lists = f.subWindows();
    ASSERT_EQ(lists.size(), 2);
    // The second list cascades from the first instead of covering it.
    EXPECT_GT(lists[1]->x(), lists[0]->x());
    EXPECT_GT(lists[1]->y(), lists[0]->y());

    X11Desktop desktop;
    FrameWindows windows(desktop, *f.area(), [&f] { return static_cast<WindowHandle>(f.winId()); });
    ASSERT_TRUE(waitFor([&] { return ownDesktopWindows(windows).size() == 3; }));

    f.setWindowState(Qt::WindowMinimized); // as the window manager's minimize button does
    ASSERT_TRUE(waitFor([&] { return f.trayIconShown(); }));
    EXPECT_FALSE(f.isVisible());
    ASSERT_TRUE(waitFor([&] { return ownDesktopWindows(windows).isEmpty(); }));

    tray.click();
    ASSERT_TRUE(waitFor([&] { return f.isVisible() && !f.isMinimized(); }));
    EXPECT_FALSE(f.trayIconShown());
    ASSERT_EQ(f.subWindows(), lists); // the same two, none new, none lost
    for (QMdiSubWindow* w : lists) {
        EXPECT_TRUE(w->isVisible());
        EXPECT_TRUE(w->widget()->isVisible());
    }
    ASSERT_TRUE(waitFor([&] { return ownDesktopWindows(windows).size() == 3; }));
    EXPECT_EQ(ownDesktopWindows(windows).mid(0, 2),
              (QStringList{QStringLiteral("View Schedule"), QStringLiteral("View Schedule")}));
    // And it stays back: the window manager's late word on the old state does not send it away.
    settle(1200);
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.trayIconShown());
    EXPECT_EQ(tray.adds, 1);
}

TEST_F(FrameTest, TileCascadeArrangeIconsAndTheWindowList) {
    MainFrame& f = startFrame();
    f.accept(QStringLiteral("BrowseSchedule"));
    f.accept(QStringLiteral("ViewLog"));
    settle();
    const QList<QMdiSubWindow*> w = f.subWindows();
    ASSERT_EQ(w.size(), 3);

    // The window list: numbered, in opening order, the active one checked; choosing one
    // activates it.
    QList<QAction*> entries = f.windowMenuEntries();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0]->text(), QStringLiteral("&1 View Schedule"));
    EXPECT_EQ(entries[1]->text(), QStringLiteral("&2 View Schedule"));
    EXPECT_EQ(entries[2]->text(), QStringLiteral("&3 View Log"));
    EXPECT_FALSE(entries[0]->isChecked());
    EXPECT_TRUE(entries[2]->isChecked());
    entries[0]->trigger();
    EXPECT_EQ(f.area()->activeSubWindow(), w[0]);
    entries = f.windowMenuEntries();
    EXPECT_TRUE(entries[0]->isChecked());
    EXPECT_FALSE(entries[2]->isChecked());

    // Tile: side by side from the area's top left corner, as far as the lists' smallest
    // sizes allow.
    f.menuAction(QStringLiteral("Tile"))->trigger();
    settle(100);
    QSet<QPair<int, int>> corners;
    for (QMdiSubWindow* s : w) {
        EXPECT_TRUE(f.area()->viewport()->rect().contains(s->geometry().topLeft()));
        corners.insert({s->x(), s->y()});
    }
    EXPECT_EQ(corners.size(), 3);
    EXPECT_TRUE(corners.contains({0, 0}));
    EXPECT_FALSE(w[0]->geometry().intersects(w[1]->geometry()) &&
                 w[0]->geometry().intersects(w[2]->geometry()));

    f.menuAction(QStringLiteral("Cascade"))->trigger();
    settle(100);
    EXPECT_LT(w[0]->x(), w[1]->x());
    EXPECT_LT(w[1]->x(), w[2]->x());
    EXPECT_LT(w[0]->y(), w[1]->y());

    // Arrange Icons: the minimized windows side by side along the bottom of the area.
    ASSERT_TRUE(f.menuAction(QStringLiteral("ArrangeIcons"))->isEnabled());
    w[0]->showMinimized();
    w[2]->showMinimized();
    settle(100);
    w[0]->move(300, 40);
    w[2]->move(120, 200);
    f.menuAction(QStringLiteral("ArrangeIcons"))->trigger();
    const int bottom = f.area()->viewport()->height();
    EXPECT_EQ(w[0]->geometry().bottom() + 1, bottom);
    EXPECT_EQ(w[2]->geometry().bottom() + 1, bottom);
    EXPECT_EQ(w[0]->x(), 0);
    EXPECT_EQ(w[2]->x(), w[0]->width());
    EXPECT_FALSE(w[1]->isMinimized());
}

TEST_F(FrameTest, AScriptWaitsForViewScheduleAndFocusesIt) {
    MainFrame& f = startFrame();
    X11Desktop desktop;
    ASSERT_TRUE(desktop.connected());
    FrameWindows windows(desktop, *f.area(), [&f] { return static_cast<WindowHandle>(f.winId()); });
    ValueStore values(clock, [this] { return settings.dateFormat; });
    int debug = 0;
    Automation automation({&windows,
                           &desktop,
                           values,
                           settings,
                           clock,
                           dialogs,
                           debug,
                           [&f] { return static_cast<WindowHandle>(f.winId()); },
                           {},
                           {},
                           {},
                           {},
                           {},
                           nullptr});

    // The list that start-up opened is found by its title, and by a text inside it.
    ASSERT_TRUE(waitFor([&] { return automation.windowExists(QStringLiteral("View Schedule"), {}); }));
    EXPECT_TRUE(automation.windowExists(QStringLiteral("view schedule"), QStringLiteral("&Pick Day")));
    EXPECT_FALSE(automation.windowExists(QStringLiteral("View Schedule"), QStringLiteral("No such button")));
    EXPECT_TRUE(automation.windowExists(QStringLiteral("*Schedule"), {}));
    EXPECT_FALSE(automation.windowExists(QStringLiteral("View Log"), {}));

    // Another window of the frame in front, and the frame behind another program's window.
    f.accept(QStringLiteral("ViewLog"));
    ASSERT_TRUE(waitFor([&] { return automation.windowExists(QStringLiteral("View Log"), {}); }));
    QWidget other;
    other.setWindowTitle(QStringLiteral("Another Program"));
    other.resize(400, 300);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    ASSERT_TRUE(waitFor([&] { return desktop.foreground() == other.winId(); }));

    QueueEntry focus;
    focus.item.action = QStringLiteral("Set Focus");
    focus.item.focusOnWindow = QStringLiteral("View Schedule");
    automation.setFocus(focus);
    EXPECT_EQ(f.area()->activeSubWindow(), f.subWindows()[0]);
    EXPECT_TRUE(waitFor([&] { return desktop.foreground() == f.winId(); }));

    // Close Program's request reaches a window inside the frame too.
    const WindowHandle logWindow = automation.matcher()->findWindowByPattern(QStringLiteral("View Log"), {});
    ASSERT_NE(logWindow, 0u);
    EXPECT_NE(logWindow, static_cast<WindowHandle>(f.winId()));
    windows.requestClose(logWindow);
    ASSERT_TRUE(waitFor([&] { return f.subWindows().size() == 1; }));
    EXPECT_EQ(f.subWindows()[0]->windowTitle(), QStringLiteral("View Schedule"));

    // In the tray the frame's windows are gone from the desktop, and a wait goes on waiting.
    f.goToTray();
    ASSERT_TRUE(waitFor([&] { return !automation.windowExists(QStringLiteral("View Schedule"), {}); }));
}

TEST_F(FrameTest, WindowsAsTabs) {
    settings.windowsAsTabs = true;
    config->putConfig(QStringLiteral("WindowsAsTabs"), QStringLiteral("1"));
    MainFrame& f = startFrame();
    EXPECT_EQ(f.area()->viewMode(), QMdiArea::TabbedView);
    f.accept(QStringLiteral("ViewLog"));
    settle();
    auto* tabs = f.area()->findChild<QTabBar*>();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->count(), 2);
    EXPECT_TRUE(tabs->tabsClosable());
    EXPECT_TRUE(tabs->isMovable());
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("View Schedule"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("View Log"));
    // A tab's close button closes its window.
    QWidget* close = tabs->tabButton(1, QTabBar::RightSide);
    ASSERT_NE(close, nullptr);
    QTest::mouseClick(close, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return f.subWindows().size() == 1; }));
    // Tabs keep no window places.
    EXPECT_TRUE(ctx->positions.read(QStringLiteral("ViewLog"), QStringLiteral("XPosit")).isEmpty());

    settings.windowsAsTabs = false;
    f.applyWindowMode();
    EXPECT_EQ(f.area()->viewMode(), QMdiArea::SubWindowView);
}

TEST_F(FrameTest, SubWindowsKeepTheirPlaceInTheArea) {
    MainFrame& f = startFrame();
    QMdiSubWindow* list = f.subWindows()[0];
    list->setGeometry(210, 150, 520, 330);
    scheduleIn(list)->button(QStringLiteral("Cl&ose"))->click();
    ASSERT_TRUE(waitFor([&] { return f.subWindows().isEmpty(); }));
    EXPECT_EQ(ctx->positions.readInt(QStringLiteral("BrowseSchedule"), QStringLiteral("XPosit")), 210);
    EXPECT_EQ(ctx->positions.readInt(QStringLiteral("BrowseSchedule"), QStringLiteral("YPosit")), 150);
    EXPECT_EQ(ctx->positions.readInt(QStringLiteral("BrowseSchedule"), QStringLiteral("Width")), 520);

    f.accept(QStringLiteral("BrowseSchedule"));
    ASSERT_EQ(f.subWindows().size(), 1);
    EXPECT_EQ(f.subWindows()[0]->geometry(), QRect(210, 150, 520, 330));
    // A second one at the same time cascades from it.
    f.accept(QStringLiteral("BrowseSchedule"));
    ASSERT_EQ(f.subWindows().size(), 2);
    EXPECT_GT(f.subWindows()[1]->x(), 210);
    EXPECT_GT(f.subWindows()[1]->y(), 150);

    // At the end the open windows keep their places too.
    f.subWindows()[1]->move(40, 30);
    f.closingSteps();
    EXPECT_EQ(ctx->positions.readInt(QStringLiteral("BrowseSchedule"), QStringLiteral("XPosit")), 40);
}

TEST_F(FrameTest, ATaskAddedByAnotherProgramShowsInTheOpenListWithinTwoTicks) {
    settings.fullSchedule = true;
    config->putConfig(QStringLiteral("FullSchedule"), QStringLiteral("1"));
    MainFrame& f = startFrame();
    BrowseSchedule* list = scheduleIn(f.subWindows()[0]);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->model()->rowCount(), 0);
    f.tick();
    settle(50);

    QProcess cli;
    cli.start(QStringLiteral(KELVRAY_CLI),
              {QStringLiteral("add"), QStringLiteral("--data-dir"), dir.path(),
               QStringLiteral("--description"), QStringLiteral("Added elsewhere"), QStringLiteral("--date"),
               QStringLiteral("2030-01-02"), QStringLiteral("--time"), QStringLiteral("09:00:00")});
    ASSERT_TRUE(cli.waitForFinished(20000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();

    for (int tick = 0; tick < 2 && list->model()->rowCount() == 0; ++tick) {
        f.tick();
        settle(50);
    }
    ASSERT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(list->model()
                  ->data(list->model()->index(0, ScheduleListModel::DescriptionColumn), Qt::DisplayRole)
                  .toString(),
              QStringLiteral("Added elsewhere"));
}

TEST_F(FrameTest, CategoryListsOpenInTheFrameAndTheScheduleOfACategoryToo) {
    {
        Table<Categories> table(*store);
        Categories c;
        c.category = QStringLiteral("Work");
        ASSERT_EQ(table.add(c), Err::None);
    }
    MainFrame& f = startFrame();
    TaskWindows taskWindows(*forms, &f, state.listeners, &f);
    taskWindows.browseCategories();
    ASSERT_EQ(f.subWindows().size(), 2);
    auto* categories = qobject_cast<BrowseCategories*>(f.subWindows()[1]->widget());
    ASSERT_NE(categories, nullptr);
    ASSERT_EQ(categories->currentCategory(), QStringLiteral("Work"));
    categories->scheduleButton()->click();
    ASSERT_EQ(f.subWindows().size(), 3);
    EXPECT_EQ(f.subWindows()[2]->windowTitle(), QStringLiteral("Browse Schedule for Work"));
    EXPECT_EQ(f.area()->activeSubWindow(), f.subWindows()[2]);
}

TEST_F(FrameTest, ViewLogOnAFreshInstallationIsAnEmptyLogWithANote) {
    MainFrame& f = startFrame();
    f.accept(QStringLiteral("ViewLog"));
    settle();
    EXPECT_TRUE(dialogs.shown.empty());
    auto* viewer = qobject_cast<TextViewer*>(f.subWindows().last()->widget());
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->lines().isEmpty());
    EXPECT_TRUE(viewer->statusText().contains(QStringLiteral("logging is off")))
        << viewer->statusText().toStdString();
    EXPECT_TRUE(viewer->statusText().contains(QStringLiteral("Log events")));
    EXPECT_TRUE(viewer->headingText().startsWith(QStringLiteral("Date        Time      Event")));
}

TEST_F(FrameTest, EveryListInTheFrameTakesTheKeyboardAndClosesOnEscape) {
    {
        Table<Todo> todos(*store);
        for (const char* text : {"Call the plumber", "Renew the lease"}) {
            Todo t;
            t.todo = QString::fromLatin1(text);
            t.priority = 5;
            ASSERT_EQ(todos.add(t), Err::None);
        }
    }
    MainFrame& f = startFrame();
    OrganizerWindows organizer(
        [this] {
            return OrganizerContext{*store,
                                    dialogs,
                                    clock,
                                    ctx->positions,
                                    settings.dateFormat,
                                    settings.userId,
                                    settings.multiUser,
                                    {},
                                    {}};
        },
        f, state.listeners);
    TaskWindows taskWindows(*forms, &f, state.listeners, &f);
    FakeClipboard clipboard;
    const ClipboardWindowContext clipboardCtx{*store, dialogs, settings, clipboard, ctx->positions, {}};
    X11Desktop desktop;
    ASSERT_TRUE(desktop.connected());
    ASSERT_TRUE(waitFor([&] { return desktop.foreground() == f.winId(); }));

    const std::pair<const char*, std::function<void()>> lists[] = {
        {"To Do List", [&] { organizer.viewToDo(); }},
        {"View Schedule", [&] { f.accept(QStringLiteral("BrowseSchedule")); }},
        {"Contacts", [&] { organizer.browseContacts(); }},
        {"Contact Categories", [&] { organizer.browseContactCategories(); }},
        {"Schedule Categories", [&] { taskWindows.browseCategories(); }},
        {"Clipboard Saver", [&] { f.openInFrame(new BrowseClipboard(clipboardCtx)); }},
        {"View Log", [&] { f.accept(QStringLiteral("ViewLog")); }},
    };
    for (const auto& [what, open] : lists) {
        SCOPED_TRACE(what);
        const qsizetype before = f.subWindows().size();
        open();
        settle();
        ASSERT_EQ(f.subWindows().size(), before + 1);
        QPointer<QMdiSubWindow> sub = f.subWindows().last();
        EXPECT_EQ(f.area()->activeSubWindow(), sub.data());
        // The keyboard is on the list itself, not on a tab or a button above it.
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_NE(qobject_cast<QAbstractItemView*>(focus), nullptr) << focus->metaObject()->className();
        EXPECT_TRUE(sub->isAncestorOf(focus));

        if (auto* todo = qobject_cast<ViewToDo*>(sub->widget())) {
            // So the arrow keys walk the list at once.
            ASSERT_EQ(todo->model()->rowCount(), 2);
            const int first = todo->list()->currentIndex().row();
            pressKey(QStringLiteral("Down"));
            EXPECT_EQ(todo->list()->currentIndex().row(), first == 0 ? 1 : 0);
        }
        pressKey(QStringLiteral("Escape"));
        ASSERT_TRUE(waitFor([&] { return sub.isNull(); })) << "Esc left it open";
        EXPECT_EQ(f.subWindows().size(), before);
        EXPECT_TRUE(f.isVisible()); // the frame itself stays
    }
    // One Esc closes one window: the schedule list of the start is still there.
    ASSERT_EQ(f.subWindows().size(), 1);
    EXPECT_EQ(f.subWindows()[0]->windowTitle(), QStringLiteral("View Schedule"));
}

TEST_F(FrameTest, TheHelpWindowClosesOnEscape) {
    MainFrame& f = startFrame();
    f.accept(QStringLiteral("HelpContents"));
    QPointer<QTextBrowser> help;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("Help"))
            help = qobject_cast<QTextBrowser*>(w);
    ASSERT_FALSE(help.isNull());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help.data()));
    X11Desktop desktop;
    help->activateWindow();
    ASSERT_TRUE(waitFor([&] { return desktop.foreground() == help->winId(); }));
    pressKey(QStringLiteral("Escape"));
    ASSERT_TRUE(waitFor([&] { return help.isNull(); })) << "Esc left the help open";
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.subWindows().size(), 1);
}

} // namespace
} // namespace kr::test
