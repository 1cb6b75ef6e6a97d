// The schedule list on a real data file, driven through its widgets.

#include "scheduler/ui/BrowseSchedule.h"
#include "platform/qt/TextViewer.h"
#include "scheduler/ui/RunsWindow.h"
#include "store/RunRecords.h"
#include "../../store/Peer.h"
#include "store/KeyView.h"
#include "store/Table.h"
#include "store/Transaction.h"
#include "support/Accelerators.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/RecordingSound.h"
#include "support/Refusals.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedFileDialogs.h"
#include "support/TableEvents.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QTreeWidget>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

Date D(int y, int m, int d) {
    return DateFromYmd(y, m, d);
}

// What the progress window was asked to show.
struct RecordingProgress final : Progress {
    void doBegin(const QString& title, const QString& text) override {
        begun << title + QLatin1Char('|') + text;
    }
    void doUpdate(int percent) override { last = percent; }
    bool cancelled() const override { return false; }
    void end() override { ++ended; }
    QStringList begun;
    int last = -1;
    int ended = 0;
};

class BrowseScheduleTest : public ::testing::Test {
protected:
    BrowseScheduleTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        config = std::make_unique<ConfigStore>(*store, dir.file(QStringLiteral("KR98.INI")));
        forms = std::make_unique<TaskFormContext>(
            TaskFormContext{*store,
                            dialogs,
                            files,
                            clock,
                            settings,
                            *config,
                            IniFile(dir.file(QStringLiteral("POSITION.INI"))),
                            sound,
                            dir.path(),
                            {},
                            {}});
    }
    std::unique_ptr<BrowseSchedule> open() {
        ScheduleListContext ctx{*forms,
                                state,
                                [this](const Schedule& t) { ranNow << t.id; },
                                [this](const QString&) { return categoryAnswer; },
                                [this] { return tagged; },
                                {},
                                [this](TaskWindow w, Request r, Schedule& t, Date day) {
                                    opened.push_back({w, r, t, day});
                                    return false;
                                }};
        return std::make_unique<BrowseSchedule>(std::move(ctx));
    }
    Schedule add(qint32 id, const QString& description, Date date, Time time, const QString& category = {}) {
        Schedule t;
        t.id = id;
        t.description = description;
        t.date = date;
        t.time = time;
        t.category = category;
        t.taskType = QStringLiteral("Run Program");
        t.scheduleType = QStringLiteral("Once");
        Table<Schedule> tasks(*store);
        EXPECT_EQ(tasks.add(t), Err::None);
        return t;
    }
    void put(qint32 id, const std::function<void(Schedule&)>& change) {
        Table<Schedule> tasks(*store);
        Schedule t;
        t.id = id;
        ASSERT_EQ(tasks.get(Schedule::KEYID, t), Err::None);
        change(t);
        ASSERT_EQ(tasks.put(t), Err::None);
    }
    static QStringList descriptions(BrowseSchedule& w) {
        QStringList out;
        ScheduleListModel* m = w.model();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->data(m->index(r, ScheduleListModel::DescriptionColumn), Qt::DisplayRole).toString();
        return out;
    }
    static QStringList menuState(QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                out << (a->isEnabled() ? QString() : QStringLiteral("~")) + a->text();
        return out;
    }

    struct Opened {
        TaskWindow window;
        Request request;
        Schedule task;
        Date day;
    };
    TempDir dir;
    ScriptedDialogs dialogs;
    ScriptedFileDialogs files;
    ThrowingProgramEnd end;
    FakeClock clock{D(2026, 12, 8), TimeFromHms(22, 30, 0)};
    Settings settings;
    RecordingSound sound;
    ProgramState state;
    std::unique_ptr<Store> store;
    std::unique_ptr<ConfigStore> config;
    std::unique_ptr<TaskFormContext> forms;
    QList<qint32> ranNow;
    QString categoryAnswer;
    std::vector<qint32> tagged;
    std::vector<Opened> opened;
};

TEST_F(BrowseScheduleTest, EachTabShowsItsTasksInItsOrder) {
    add(1, QStringLiteral("Late today"), D(2026, 12, 8), TimeFromHms(18, 0, 0), QStringLiteral("Work"));
    add(2, QStringLiteral("Early today"), D(2026, 12, 8), TimeFromHms(7, 0, 0), QStringLiteral("home"));
    add(3, QStringLiteral("Tomorrow"), D(2026, 12, 9), TimeFromHms(9, 0, 0), QStringLiteral("HOME"));
    add(4, QStringLiteral("Yesterday"), D(2026, 12, 7), TimeFromHms(9, 0, 0), QStringLiteral("Home"));
    add(5, QStringLiteral("A chore"), D(2026, 12, 20), TimeFromHms(9, 0, 0), QStringLiteral("Home"));

    auto w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("View Schedule"));
    EXPECT_EQ(w->view(), ScheduleView::Day);
    EXPECT_EQ(descriptions(*w), (QStringList{"Early today", "Late today"}));
    ScheduleListModel* m = w->model();
    EXPECT_EQ(m->data(m->index(0, ScheduleListModel::DateColumn), Qt::DisplayRole).toString(),
              QStringLiteral("DEC 08,2026"));
    EXPECT_EQ(m->data(m->index(0, ScheduleListModel::TimeColumn), Qt::DisplayRole).toString(),
              QStringLiteral("7:00AM"));
    EXPECT_EQ(m->data(m->index(0, ScheduleListModel::CategoryColumn), Qt::DisplayRole).toString(),
              QStringLiteral("home"));

    w->setSelectedDay(D(2026, 12, 9));
    EXPECT_EQ(descriptions(*w), QStringList{QStringLiteral("Tomorrow")});

    w->tabs()->setCurrentIndex(1);
    EXPECT_EQ(descriptions(*w),
              (QStringList{"Yesterday", "Early today", "Late today", "Tomorrow", "A chore"}));

    // By category: the picked category, whatever its letter case, in description order.
    w->tabs()->setCurrentIndex(2);
    EXPECT_TRUE(descriptions(*w).isEmpty()); // nothing picked yet: the tasks without a category
    categoryAnswer = QStringLiteral("Home");
    w->pickCategory();
    EXPECT_EQ(descriptions(*w), (QStringList{"A chore", "Early today", "Tomorrow", "Yesterday"}));

    // Selected: the tagged tasks, by date.
    tagged = {5, 3, 99};
    w->tabs()->setCurrentIndex(3);
    EXPECT_EQ(descriptions(*w), (QStringList{"Tomorrow", "A chore"}));

    // A stored date picture shows in the list.
    settings.dateFormat = QStringLiteral("d6");
    auto other = open();
    other->tabs()->setCurrentIndex(1);
    EXPECT_EQ(other->model()
                  ->data(other->model()->index(0, ScheduleListModel::DateColumn), Qt::DisplayRole)
                  .toString(),
              QStringLiteral("07/12/2026"));
}

TEST_F(BrowseScheduleTest, ActiveOnlyHidesDoneAndDisabledTasksAndGreysTheMenu) {
    add(1, QStringLiteral("Done"), D(2026, 12, 8), TimeFromHms(9, 0, 0));
    add(2, QStringLiteral("Also done"), D(2026, 12, 8), TimeFromHms(10, 0, 0));
    put(1, [](Schedule& t) { t.completed = 1; });
    put(2, [](Schedule& t) { t.completed = 1; });
    settings.activeOnly = true;
    auto w = open();
    EXPECT_TRUE(w->activeOnly());
    EXPECT_EQ(w->model()->rowCount(), 0);
    std::unique_ptr<QMenu> menu(w->contextMenu());
    EXPECT_EQ(menuState(menu.get()),
              (QStringList{"&Add", "~&Edit", "~&Delete", "~Cop&y", "~Reschedule", "~Run Now", "~Quick Start",
                           "~&Scripting", "~Show &Runs...", "~Show Active Only", "Show All"}));
    EXPECT_FALSE(w->button(QStringLiteral("&Edit"))->isEnabled());

    w->setActiveOnly(false);
    EXPECT_EQ(descriptions(*w), (QStringList{"Done", "Also done"}));
    menu.reset(w->contextMenu());
    EXPECT_EQ(menuState(menu.get()),
              (QStringList{"&Add", "&Edit", "&Delete", "Cop&y", "Reschedule", "Run Now", "Quick Start",
                           "~&Scripting", "Show &Runs...", "Show Active Only", "~Show All"}));
}

TEST_F(BrowseScheduleTest, IconsAndColoursTellTheTasksState) {
    add(1, QStringLiteral("Disabled and done"), D(2026, 12, 8), TimeFromHms(9, 0, 0));
    add(2, QStringLiteral("Disabled and skipping"), D(2026, 12, 8), TimeFromHms(10, 0, 0));
    add(3, QStringLiteral("Skipping"), D(2026, 12, 8), TimeFromHms(11, 0, 0));
    add(4, QStringLiteral("Plain"), D(2026, 12, 8), TimeFromHms(12, 0, 0));
    add(5, QStringLiteral("Disabled"), D(2026, 12, 8), TimeFromHms(13, 0, 0));
    put(1, [](Schedule& t) { t.disabled = t.completed = 1; });
    put(2, [](Schedule& t) { t.disabled = t.skipNextTime = 1; });
    put(3, [](Schedule& t) { t.skipNextTime = 1; });
    put(5, [](Schedule& t) { t.disabled = 1; });
    auto w = open();
    ScheduleListModel* m = w->model();
    ASSERT_EQ(m->rowCount(), 5);
    const QColor grey(128, 128, 128);
    const QColor blue(0, 0, 255);
    auto colour = [&](int row, int column) {
        const QVariant v = m->data(m->index(row, column), Qt::ForegroundRole);
        return v.isValid() ? v.value<QBrush>().color() : QColor();
    };
    auto icon = [&](int row) {
        return m->data(m->index(row, ScheduleListModel::IconColumn), Qt::ToolTipRole).toString();
    };
    EXPECT_EQ(icon(0), QStringLiteral("Done"));
    EXPECT_EQ(colour(0, ScheduleListModel::DateColumn), grey);
    EXPECT_EQ(colour(0, ScheduleListModel::TimeColumn), grey);
    EXPECT_EQ(icon(1), QStringLiteral("Skips its next run"));
    EXPECT_EQ(colour(1, ScheduleListModel::DateColumn), grey);
    EXPECT_EQ(icon(2), QStringLiteral("Skips its next run"));
    EXPECT_EQ(colour(2, ScheduleListModel::TimeColumn), blue);
    EXPECT_EQ(icon(3), QStringLiteral("Not done yet"));
    EXPECT_EQ(colour(3, ScheduleListModel::DateColumn), QColor());
    EXPECT_EQ(icon(4), QStringLiteral("Disabled"));
    EXPECT_EQ(colour(2, ScheduleListModel::DescriptionColumn), QColor()); // only date and time are coloured
    EXPECT_EQ(TaskStateIcon(Schedule{}), 3);
}

TEST_F(BrowseScheduleTest, QuickStartRunsACopyLaterWithItsScript) {
    add(1, QStringLiteral("Backup"), D(2026, 12, 1), TimeFromHms(3, 0, 0));
    add(7, QStringLiteral("Other"), D(2026, 12, 30), TimeFromHms(3, 0, 0));
    put(1, [](Schedule& t) {
        t.scheduleType = QStringLiteral("Day of Week");
        t.message = QStringLiteral("Started by hand");
        t.disabled = 1;
        t.advanceWarnDate = D(2026, 11, 30);
        t.advanceWarnTime = TimeFromHms(2, 0, 0);
    });
    {
        Table<Scripting> script(*store);
        for (int i = 1; i <= 2; ++i) {
            Scripting s;
            s.id = 1;
            s.sequence = i;
            s.action = QStringLiteral("Set Value");
            ASSERT_EQ(script.add(s), Err::None);
        }
    }
    RecordingProgress progress;
    forms->progress = &progress;
    auto w = open();
    w->tabs()->setCurrentIndex(1);
    w->list()->setCurrentIndex(w->model()->index(0, 4));
    w->quickStart(1080000); // 3 hours at 22:30
    // The script is copied by the one routine for copies, in its progress window.
    EXPECT_EQ(progress.begun, QStringList{QStringLiteral("Processing Records|Copying Script")});
    EXPECT_EQ(progress.last, 100);
    EXPECT_EQ(progress.ended, 1);
    Table<Schedule> tasks(*store);
    Schedule copy;
    copy.id = 8;
    ASSERT_EQ(tasks.get(Schedule::KEYID, copy), Err::None);
    EXPECT_EQ(copy.date, D(2026, 12, 9));
    EXPECT_EQ(copy.time, TimeFromHms(1, 30, 1));
    EXPECT_EQ(copy.scheduleType, QStringLiteral("Once"));
    EXPECT_EQ(copy.disabled, 0);
    EXPECT_EQ(copy.advanceWarnDate, 0);
    EXPECT_EQ(copy.message, QStringLiteral("Started by hand"));
    Table<Scripting> script(*store);
    Scripting item;
    item.id = 8;
    item.sequence = 2;
    EXPECT_EQ(script.get(Scripting::KEYID, item), Err::None);
    EXPECT_EQ(descriptions(*w), (QStringList{"Backup", "Backup", "Other"}));
}

TEST_F(BrowseScheduleTest, AQuickStartThatCannotBeAddedSaysSo) {
    add(1, QStringLiteral("Backup"), D(2026, 12, 1), TimeFromHms(3, 0, 0));
    auto w = open();
    w->tabs()->setCurrentIndex(1);
    w->list()->setCurrentIndex(w->model()->index(0, 4));
    Table<Schedule> tasks(*store);
    ASSERT_TRUE(RefuseChanges(tasks, QStringLiteral("INSERT 1")).ok());
    w->quickStart(30000);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Record Insert Error"));
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(
        QStringLiteral("An error was experienced during the update of record.  Error: ")));
    EXPECT_EQ(tasks.records(), 1);
}

TEST_F(BrowseScheduleTest, ARefreshKeepsTheHighlightedTaskWhereItIsOnTheScreen) {
    for (int i = 1; i <= 80; ++i)
        add(i, QStringLiteral("Task %1").arg(i), D(2026, 12, 9), TimeFromHms(8, 0, 0) + i * kOneMinute);
    auto w = open();
    w->resize(900, 420);
    w->show();
    QApplication::processEvents();
    w->tabs()->setCurrentIndex(1);
    QTableView* list = w->list();
    list->setCurrentIndex(w->model()->index(40, 4));
    list->scrollTo(list->currentIndex(), QAbstractItemView::PositionAtCenter);
    QApplication::processEvents();
    const int y = list->rowViewportPosition(40);
    ASSERT_GT(y, 0);
    ASSERT_LT(y, list->viewport()->height());
    auto highlighted = [&] {
        return w->model()->data(w->model()->index(list->currentIndex().row(), 4), Qt::DisplayRole).toString();
    };
    ASSERT_EQ(highlighted(), QStringLiteral("Task 41"));

    // The scheduler writes history rows that sort before it, and says so.
    for (int i = 0; i < 3; ++i)
        add(100 + i, QStringLiteral("History %1").arg(i), D(2026, 12, 8), TimeFromHms(9, i, 0));
    state.listeners.post();
    QApplication::processEvents();
    EXPECT_EQ(highlighted(), QStringLiteral("Task 41"));
    EXPECT_EQ(list->currentIndex().row(), 43);
    EXPECT_EQ(list->rowViewportPosition(43), y);

    // A context menu acts on the task it was opened on, whatever the list shows meanwhile.
    std::unique_ptr<QMenu> menu(w->contextMenu());
    add(200, QStringLiteral("History 9"), D(2026, 12, 8), TimeFromHms(10, 0, 0));
    state.listeners.post();
    QApplication::processEvents();
    list->setCurrentIndex(w->model()->index(2, 4));
    for (QAction* a : menu->actions())
        if (a->text() == QStringLiteral("&Edit"))
            a->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].task.id, 41);
    EXPECT_EQ(opened[0].request, Request::Change);

    // A highlighted task that is gone leaves the highlight on the row that took its place.
    list->setCurrentIndex(w->model()->index(10, 4));
    const QString before = highlighted();
    {
        Table<Schedule> tasks(*store);
        Schedule t;
        t.id = before.section(QLatin1Char(' '), 1).toInt();
        ASSERT_EQ(tasks.get(Schedule::KEYID, t), Err::None);
        ASSERT_EQ(tasks.remove(t), Err::None);
    }
    state.listeners.post();
    QApplication::processEvents();
    EXPECT_EQ(list->currentIndex().row(), 10);
    EXPECT_NE(highlighted(), before);
}

TEST_F(BrowseScheduleTest, ALargeListKeepsItsHighlightWhenItsBackgroundCountIsDone) {
    // Counts of changed views are left to a thread at once, as for a very large table.
    KeyView::setCountHereMs(0);
    struct Restore {
        ~Restore() { KeyView::setCountHereMs(20); }
    } restore;
    {
        Table<Schedule> tasks(*store);
        Transaction tx;
        ASSERT_EQ(tx.begin({&tasks}), Err::None);
        for (int i = 1; i <= 9000; ++i) { // more than one slice of the count
            Schedule t;
            t.id = i;
            t.description = QStringLiteral("Task %1").arg(i);
            t.date = D(2026, 12, 9) + i / 100;
            t.time = TimeFromHms(8, 0, 0) + (i % 100) * kOneMinute;
            t.taskType = QStringLiteral("Run Program");
            t.scheduleType = QStringLiteral("Day of Week");
            ASSERT_EQ(tasks.add(t), Err::None);
        }
        ASSERT_EQ(tx.commit(), Err::None);
    }
    auto w = open();
    w->tabs()->setCurrentIndex(1);
    auto settle = [&](qint64 rows) {
        QElapsedTimer timer;
        timer.start();
        while (w->model()->rowCount() != rows && timer.elapsed() < 20000) {
            QApplication::processEvents();
            QThread::msleep(5);
        }
    };
    settle(9000);
    ASSERT_EQ(w->model()->rowCount(), 9000);
    w->list()->setCurrentIndex(w->model()->index(4500, 4));
    const qint32 id = w->model()->taskIdAt(4500);

    // A due task leaves history before it: the list first shows its last count, then the count
    // done in the background.
    for (int i = 0; i < 40; ++i)
        add(20000 + i, QStringLiteral("History %1").arg(i), D(2026, 12, 8), TimeFromHms(9, i, 0));
    state.listeners.post();
    QApplication::processEvents();
    // Shown at once with the last count (or the new one, when the thread was quick): the
    // highlighted task is the one it was.
    ASSERT_TRUE(w->list()->currentIndex().isValid());
    EXPECT_EQ(w->model()->taskIdAt(w->list()->currentIndex().row()), id);
    settle(9040);
    ASSERT_EQ(w->model()->rowCount(), 9040);
    ASSERT_TRUE(w->list()->currentIndex().isValid());
    EXPECT_EQ(w->model()->taskIdAt(w->list()->currentIndex().row()), id);
    w->button(QStringLiteral("&Edit"))->click();
    w->button(QStringLiteral("Run Now"))->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].task.id, id);
    EXPECT_EQ(ranNow, QList<qint32>{id});
}

TEST_F(BrowseScheduleTest, ButtonsHandTheRightTaskToTheForms) {
    add(1, QStringLiteral("First"), D(2026, 12, 8), TimeFromHms(9, 0, 0));
    add(2, QStringLiteral("Second"), D(2026, 12, 8), TimeFromHms(10, 0, 0));
    auto w = open();
    w->setSelectedDay(D(2026, 12, 8));
    w->list()->setCurrentIndex(w->model()->index(1, 4));
    w->button(QStringLiteral("&Edit"))->click();
    w->button(QStringLiteral("Reschedule"))->click();
    w->button(QStringLiteral("&Delete"))->click();
    w->button(QStringLiteral("Cop&y"))->click();
    w->button(QStringLiteral("Run Now"))->click();
    forms->calendar = [](Date, const QString& title, const QString& option, const Schedule&) {
        EXPECT_EQ(title, QStringLiteral("Select Date"));
        EXPECT_EQ(option, QStringLiteral("None"));
        return DateFromYmd(2027, 2, 1);
    };
    w->button(QStringLiteral("&Pick Day"))->click();
    EXPECT_EQ(w->selectedDay(), D(2027, 2, 1));
    w->button(QStringLiteral("&Add"))->click();

    ASSERT_EQ(opened.size(), 5u);
    EXPECT_EQ(opened[0].request, Request::Change);
    EXPECT_EQ(opened[0].task.id, 2);
    EXPECT_TRUE(opened[0].task.meta.watched); // reloaded to catch another station's change
    EXPECT_EQ(opened[1].window, TaskWindow::SpecialEventWizard);
    EXPECT_EQ(opened[2].request, Request::Delete);
    EXPECT_EQ(opened[3].request, Request::Insert);
    EXPECT_EQ(opened[3].task.description, QStringLiteral("Second")); // a copy to insert
    EXPECT_EQ(opened[4].request, Request::Insert);
    EXPECT_EQ(opened[4].task.description, QString());
    EXPECT_EQ(opened[4].day, D(2027, 2, 1));
    EXPECT_EQ(ranNow, QList<qint32>{2});
    EXPECT_TRUE(state.manualScriptPending);
}

TEST_F(BrowseScheduleTest, ItFollowsTheSchedulerAndTheClock) {
    settings.multiUser = true;
    settings.userId = QStringLiteral("ann");
    add(1, QStringLiteral("Tonight"), D(2026, 12, 8), TimeFromHms(23, 0, 0));
    auto w = open();
    auto second = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("View Schedule - ann"));
    EXPECT_EQ(state.listeners.size(), 2u);
    ASSERT_EQ(descriptions(*w), QStringList{QStringLiteral("Tonight")});

    // The scheduler advances the task to tomorrow and says so: every list refreshes.
    put(1, [](Schedule& t) { t.date = DateFromYmd(2026, 12, 9); });
    state.listeners.post();
    QApplication::processEvents();
    EXPECT_TRUE(descriptions(*w).isEmpty());
    EXPECT_TRUE(descriptions(*second).isEmpty());

    // Midnight: the list that showed today shows the new today.
    second->setSelectedDay(D(2026, 12, 20));
    clock.advance(2 * kOneHour);
    w->checkDay();
    second->checkDay();
    EXPECT_EQ(w->selectedDay(), D(2026, 12, 9));
    EXPECT_EQ(descriptions(*w), QStringList{QStringLiteral("Tonight")});
    EXPECT_EQ(second->selectedDay(), D(2026, 12, 20));
    second.reset();
    EXPECT_EQ(state.listeners.size(), 1u);
}

// Another station holds the data file locked while the list reads: the list says it could
// not read its view, once, and shows what it has; it reads again once the lock is gone.
TEST_F(BrowseScheduleTest, AViewThatCannotBeReadIsReportedOnce) {
    add(1, QStringLiteral("Tonight"), D(2026, 12, 8), TimeFromHms(23, 0, 0));
    auto w = open();
    Peer peer(dir.path());
    ASSERT_EQ(peer.ask(QStringLiteral("exclusive")), QStringLiteral("0"));
    w->refresh();
    descriptions(*w);
    QApplication::processEvents();
    ASSERT_EQ(dialogs.captions(), QStringList{QStringLiteral("View Open Error")});
    EXPECT_TRUE(dialogs.texts()[0].endsWith(QStringLiteral(
        " attempting to open the current VIEW.\nFilter and Range Limits ignored.\n\nRelated File: Schedule")))
        << dialogs.texts()[0].toStdString();
    ASSERT_EQ(peer.ask(QStringLiteral("unlock")), QStringLiteral("0"));
    w->refresh();
    QApplication::processEvents();
    EXPECT_EQ(descriptions(*w), QStringList{QStringLiteral("Tonight")});
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

// One mechanism for every list: each hears of the tables it registered for, whoever wrote
// them, and of all of them when another station changed the data file.
TEST_F(BrowseScheduleTest, TableChangesReachTheListsOfThatTable) {
    TableListeners listeners;
    TableEventRecorder schedule, todo, both;
    listeners.add(&schedule);
    listeners.add(&todo, QStringLiteral("Todo"));
    listeners.add(&both, QStringLiteral("Contact"));
    listeners.add(&both, QStringLiteral("Clipboard"));
    listeners.add(&both, QStringLiteral("contact")); // once is enough
    EXPECT_EQ(listeners.size(QStringLiteral("Contact")), 1u);

    listeners.post(QStringLiteral("Todo"));
    listeners.post(); // ScheduleChanged
    listeners.post(QStringLiteral("Messages"));
    EXPECT_EQ(schedule.take(), QStringList{QStringLiteral("Schedule")});
    EXPECT_EQ(todo.take(), QStringList{QStringLiteral("Todo")});
    EXPECT_TRUE(both.take().isEmpty());

    listeners.postAll();
    EXPECT_EQ(schedule.take(), QStringList{QStringLiteral("Schedule")});
    EXPECT_EQ(todo.take(), QStringList{QStringLiteral("Todo")});
    EXPECT_EQ(both.take(), (QStringList{QStringLiteral("Contact"), QStringLiteral("Clipboard")}));

    // The schedule case is still the ScheduleChanged event the schedule lists know.
    auto w = open();
    add(1, QStringLiteral("Tonight"), D(2026, 12, 8), TimeFromHms(23, 0, 0));
    EXPECT_TRUE(descriptions(*w).isEmpty());
    state.listeners.postAll();
    QApplication::processEvents();
    EXPECT_EQ(descriptions(*w), QStringList{QStringLiteral("Tonight")});

    listeners.remove(&todo);
    listeners.post(QStringLiteral("Todo"));
    EXPECT_TRUE(todo.take().isEmpty());
}

TEST_F(BrowseScheduleTest, TheColumnLayoutIsKeptUnlessTheListChanged) {
    const IniFile ini(dir.file(QStringLiteral("POSITION.INI")));
    {
        auto w = open();
        QHeaderView* header = w->list()->horizontalHeader();
        header->resizeSection(ScheduleListModel::DescriptionColumn, 333);
        header->moveSection(header->visualIndex(ScheduleListModel::CategoryColumn), 6);
        w->done(0);
    }
    EXPECT_EQ(ini.read(QStringLiteral("BrowseSchedule"), QStringLiteral("SRCFOriginal?Browse:1")),
              BuiltInScheduleFormat());
    {
        auto w = open();
        QHeaderView* header = w->list()->horizontalHeader();
        EXPECT_EQ(header->sectionSize(ScheduleListModel::DescriptionColumn), 333);
        EXPECT_EQ(header->visualIndex(ScheduleListModel::CategoryColumn), 6);
    }
    // Saved against an older list: the layout is dropped and the built-in one recorded.
    ini.write(QStringLiteral("BrowseSchedule"), QStringLiteral("SRCFOriginal?Browse:1"),
              QStringLiteral("old"));
    {
        auto w = open();
        EXPECT_EQ(w->list()->horizontalHeader()->sectionSize(ScheduleListModel::DescriptionColumn), 250);
        EXPECT_EQ(ini.read(QStringLiteral("BrowseSchedule"), QStringLiteral("SRCFOriginal?Browse:1")),
                  BuiltInScheduleFormat());
    }
    EXPECT_EQ(WithDatePicture(QStringLiteral("90~Date~@d3@|70~Time~@t3@|1~X~@D17@"), QStringLiteral("d6")),
              QStringLiteral("90~Date~@d6@|70~Time~@t3@|1~X~@d6@"));
}

TEST_F(BrowseScheduleTest, TheLastResultColumnShowsEachTasksLastRunAndItsRunsOpenFromTheMenu) {
    add(1, QStringLiteral("Backup"), D(2026, 12, 8), TimeFromHms(9, 0, 0));
    add(2, QStringLiteral("Report"), D(2026, 12, 8), TimeFromHms(10, 0, 0));
    add(3, QStringLiteral("Never ran"), D(2026, 12, 8), TimeFromHms(11, 0, 0));
    Table<Runs> runs(*store);
    auto record = [&](qint32 number, qint32 task, const QString& result, quint8 exited, qint32 status,
                      const QString& output = {}) {
        Runs r;
        r.run = number;
        r.taskId = task;
        r.result = result;
        r.exited = exited;
        r.exitStatus = status;
        r.station = QStringLiteral("desk");
        r.dueDate = r.startDate = D(2026, 12, 1) + number;
        r.dueTime = r.startTime = TimeFromHms(9, 0, 0);
        r.duration = 4200;
        r.output = output;
        ASSERT_EQ(runs.add(r), Err::None);
    };
    QDir().mkpath(dir.file(QStringLiteral("runs")));
    {
        QFile f(dir.file(QStringLiteral("runs/2.out")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("copied 3 files\n");
    }
    record(1, 1, run::kEnded, run::Exited, 3);
    record(2, 1, run::kEnded, run::Exited, 0, QStringLiteral("2.out")); // the newest of task 1
    record(3, 2, run::kEnded, run::Exited, 0);
    record(4, 2, run::kEnded, run::Signalled, 0); // the newest of task 2
    settings.fullSchedule = true;
    auto w = open();
    ScheduleListModel* m = w->model();
    ASSERT_EQ(m->rowCount(), 3);
    EXPECT_EQ(m->headerData(ScheduleListModel::LastResultColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Last Result"));
    auto cell = [&](int row, int role) { return m->data(m->index(row, ScheduleListModel::LastResultColumn), role); };
    EXPECT_EQ(cell(0, Qt::DisplayRole).toString(), QStringLiteral("Succeeded"));
    EXPECT_EQ(cell(1, Qt::ToolTipRole).toString(), QStringLiteral("Signal 0"));
    EXPECT_EQ(cell(2, Qt::DisplayRole).toString(), QString());
    // A failed last run is marked, a good one is not.
    EXPECT_TRUE(cell(1, Qt::ForegroundRole).isValid());
    EXPECT_FALSE(cell(0, Qt::ForegroundRole).isValid());
    EXPECT_TRUE(cell(0, Qt::DecorationRole).isValid());
    EXPECT_FALSE(cell(2, Qt::DecorationRole).isValid());

    // Another run written: the open list reads it.
    record(5, 1, run::kEnded, run::Exited, 1);
    state.listeners.post(Runs::decl().name);
    EXPECT_TRUE(TurnLoopUntil([&] { return cell(0, Qt::DisplayRole).toString() == QStringLiteral("Exit status 1"); }));

    // The runs of the highlighted task, newest first, from the list's menu.
    w->list()->setCurrentIndex(m->index(0, ScheduleListModel::DescriptionColumn));
    std::unique_ptr<QMenu> menu(w->contextMenu());
    QAction* show = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == QStringLiteral("Show &Runs..."))
            show = a;
    ASSERT_NE(show, nullptr);
    show->trigger();
    auto* runsWindow = w->findChild<RunsWindow*>();
    ASSERT_NE(runsWindow, nullptr);
    EXPECT_EQ(runsWindow->windowTitle(), QStringLiteral("Runs - Backup"));
    QTreeWidget* list = runsWindow->list();
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(0)->text(3), QStringLiteral("Exit status 1"));
    EXPECT_EQ(list->topLevelItem(1)->text(3), QStringLiteral("Succeeded"));
    EXPECT_EQ(list->topLevelItem(1)->text(2), QStringLiteral("4.2 s"));
    EXPECT_EQ(list->topLevelItem(1)->text(4), QStringLiteral("desk"));
    QPushButton* outputButton = nullptr;
    QPushButton* copyButton = nullptr;
    for (QPushButton* b : runsWindow->findChildren<QPushButton*>()) {
        if (b->text() == QStringLiteral("&Output"))
            outputButton = b;
        if (b->text() == QStringLiteral("Copy"))
            copyButton = b;
    }
    ASSERT_NE(outputButton, nullptr);
    ASSERT_NE(copyButton, nullptr);
    EXPECT_FALSE(outputButton->isEnabled()); // the newest kept no output
    list->setCurrentItem(list->topLevelItem(1));
    ASSERT_TRUE(outputButton->isEnabled());
    copyButton->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("copied 3 files\n"));
    outputButton->click();
    auto* viewer = runsWindow->findChild<TextViewer*>();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Output of Run 2"));
    EXPECT_TRUE(TurnLoopUntil([&] { return !viewer->loading(); }));
    EXPECT_EQ(viewer->lines(), QStringList{QStringLiteral("copied 3 files")});
    EXPECT_TRUE(AcceleratorClashes(runsWindow).isEmpty()) << AcceleratorClashes(runsWindow).join(QLatin1Char(' ')).toStdString();
}

TEST_F(BrowseScheduleTest, ALayoutSavedBeforeTheLastResultColumnKeepsItsColumnsAndGainsIt) {
    const IniFile ini(dir.file(QStringLiteral("POSITION.INI")));
    const QString seven = QStringLiteral("26~~@n1@|100~Date~@d3@|72~Time~@t3@|120~Category~@s20@|"
                                         "250~Description~@s40@|110~Task Type~@s20@|110~Schedule Type~@s20@");
    ini.write(QStringLiteral("BrowseSchedule"), QStringLiteral("SRCFOriginal?Browse:1"), seven);
    ini.write(QStringLiteral("BrowseSchedule"), QStringLiteral("SRCF?Browse:1"),
              QString(seven).replace(QStringLiteral("250~Description"), QStringLiteral("333~Description")));
    auto w = open();
    QHeaderView* header = w->list()->horizontalHeader();
    EXPECT_EQ(header->sectionSize(ScheduleListModel::DescriptionColumn), 333);
    EXPECT_EQ(header->visualIndex(ScheduleListModel::LastResultColumn), 7);
    EXPECT_GT(header->sectionSize(ScheduleListModel::LastResultColumn), 0);
    EXPECT_EQ(ini.read(QStringLiteral("BrowseSchedule"), QStringLiteral("SRCFOriginal?Browse:1")),
              BuiltInScheduleFormat());
}

TEST_F(BrowseScheduleTest, CtrlTabAndCtrlShiftTabTurnTheTabs) {
    auto list = open();
    list->show();
    QApplication::setActiveWindow(list.get());
    ASSERT_EQ(list->tabs()->currentIndex(), 0);
    // As X11 delivers them: Shift+Tab comes as Backtab.
    QTest::keyClick(list.get(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(list->tabs()->currentIndex(), 3);
    QTest::keyClick(list.get(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(list->tabs()->currentIndex(), 0);
}

TEST_F(BrowseScheduleTest, NoTwoControlsShareAnAcceleratorOnAnyTab) {
    auto list = open();
    for (int i = 0; i < list->tabs()->count(); ++i) {
        list->tabs()->setCurrentIndex(i);
        EXPECT_EQ(AcceleratorClashes(list.get()), QStringList()) << i;
    }
}

TEST_F(BrowseScheduleTest, NoneListsEveryTaskWithoutACategoryHoweverItWasAdded) {
    const Date today = clock.today();
    add(1, QStringLiteral("From the command line"), today, TimeFromHms(8, 0, 0));
    add(2, QString(), today, TimeFromHms(9, 0, 0)); // no category and no description
    add(3, QStringLiteral("Filed"), today, TimeFromHms(10, 0, 0), QStringLiteral("Home"));
    auto w = open();
    w->tabs()->setCurrentIndex(2);
    EXPECT_EQ(descriptions(*w), (QStringList{"", "From the command line"}));
}

} // namespace
} // namespace kr::test
