// The monitor with a task that has no further occurrence, with a data file it cannot write, and
// with tasks that another station deletes or changes while they run.

#include "../store/Peer.h"
#include "platform/Processes.h"
#include "platform/Text.h"
#include "scheduler/Monitor.h"
#include "scheduler/Occurrence.h"
#include "store/Numbering.h"
#include "support/FakeClock.h"
#include "support/RecordingSound.h"
#include "support/Refusals.h"
#include "support/ScriptedDialogs.h"
#include "support/ServerSchemas.h"
#include "support/TempDir.h"

#include <QFile>

#include <sys/fsuid.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

// The messages shown; while the next one shows, `during` runs (another station at work).
struct CountingMessages final : MessageDisplay {
    QStringList shown;
    std::function<void()> during;
    int openCount() const override { return 0; }
    void show(const MessageInputs& in) override {
        shown << Clip(in.title);
        if (during)
            std::exchange(during, nullptr)();
    }
};

// Message boxes recorded; while the next one shows, `during` runs.
struct BusyDialogs final : Dialogs {
    QStringList captions;
    std::function<void()> during;
    Button show(const QString&, const QString& caption, Icon, unsigned, Button defaultButton) override {
        captions << caption;
        if (during)
            std::exchange(during, nullptr)();
        return defaultButton;
    }
};

Date D(int y, int m, int d) {
    return DateFromYmd(y, m, d);
}

// The program as far as the monitor needs it, on the data file in `dir`.
struct Scheduler {
    Scheduler(const QString& dir, const QString& logDir, const Clock& clock, Settings& settings,
              Dialogs& dialogs, ProgramState& state) {
        store = std::make_unique<Store>(dir, dialogs, end);
        store->declareLayouts();
        log = std::make_unique<EventLog>(QDir(logDir).filePath(kEventLogName), settings, clock);
        launcher = std::make_unique<Launcher>(
            LauncherContext{*store, settings, clock, dialogs, *log, queue, processes, frame});
        monitor = std::make_unique<DueTaskMonitor>(MonitorContext{
            *store, settings, clock, dialogs, *log, queue, state, frame, sound, messages, *launcher});
    }
    // The frame's ticks: the monitor runs only while the scheduler is active.
    void ticks(ProgramState& state, int count) {
        for (int i = 0; i < count; ++i)
            if (state.schedulerActive)
                monitor->scanDueTask();
    }
    Schedule task(qint32 id) {
        Table<Schedule> tasks(*store);
        Schedule t;
        t.id = id;
        tasks.get(Schedule::KEYID, t);
        return t;
    }

    // The tasks in number order, by description.
    QStringList descriptions() {
        Table<Schedule> tasks(*store);
        QStringList out;
        Schedule t;
        tasks.set(Schedule::KEYID);
        while (tasks.next(t) == Err::None)
            out << Clip(t.description);
        return out;
    }
    // Makes the data file refuse one kind of change on this program's own connection, as a
    // failing disk or a damaged page would.
    void refuse(const QString& when) {
        Table<Schedule> tasks(*store);
        ASSERT_TRUE(RefuseChanges(tasks, when).ok());
    }
    void stopRefusing() {
        Table<Schedule> tasks(*store);
        ASSERT_TRUE(AllowChanges(tasks).ok());
    }

    ThrowingProgramEnd end;
    ActiveScriptQueue queue;
    NoFrame frame;
    RecordingSound sound;
    CountingMessages messages;
    LinuxProcesses processes;
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<DueTaskMonitor> monitor;
};

class MonitorStop : public ::testing::Test {
protected:
    MonitorStop() { settings.logEvents = true; }

    qint32 addTask(Store& store, const std::function<void(Schedule&)>& shape) {
        Table<Schedule> tasks(store);
        Schedule t;
        t.taskType = QStringLiteral("Display Message");
        t.description = QStringLiteral("Backup");
        t.message = QStringLiteral("Time for the backup");
        t.scheduleType = kDayOfWeek;
        t.date = clock.today();
        t.time = clock.now();
        shape(t);
        EXPECT_TRUE(ReserveRecordNumber(tasks, t));
        return t.id;
    }
    QStringList log(const QString& in = {}) {
        QFile f(QDir(in.isEmpty() ? dir.path() : in).filePath(kEventLogName));
        QStringList labels;
        if (f.open(QIODevice::ReadOnly))
            for (const QString& l :
                 QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                labels << l.mid(22, 30).trimmed();
        return labels;
    }

    static void holiday(Store& store, Date date) {
        Table<Holidays> holidays(store);
        Holidays h;
        h.holidayDate = date;
        h.holiday = QStringLiteral("Closed");
        ASSERT_EQ(holidays.add(h), Err::None);
    }

    TempDir dir;
    FakeClock clock{D(2026, 12, 8), TimeFromHms(9, 0, 0)};
    Settings settings;
    ScriptedDialogs dialogs;
    ProgramState state;
};

TEST_F(MonitorStop, ATaskWithNoFurtherOccurrenceEndsAsAOneTimeTaskThatRan) {
    Scheduler s(dir.path(), dir.path(), clock, settings, dialogs, state);
    const qint32 id = addTask(*s.store, [](Schedule& t) {
        t.scheduleType = kCustom;
        t.every = 2147483647;
        t.everyType = QStringLiteral("year(s)");
    });
    const qint32 gone = addTask(*s.store, [](Schedule& t) {
        t.scheduleType = kCustom;
        t.every = 80;
        t.everyType = QStringLiteral("year(s)");
        t.noHistory = 1;
        t.description = QStringLiteral("No history");
    });
    s.ticks(state, 5);
    EXPECT_EQ(s.messages.shown, (QStringList{QStringLiteral("Backup"), QStringLiteral("No history")}));
    const Schedule done = s.task(id);
    EXPECT_EQ(done.completed, 1);
    EXPECT_EQ(done.disabled, 1);
    EXPECT_EQ(done.date, clock.today()); // its own history entry, at the occurrence that ran
    EXPECT_EQ(done.time, clock.now());
    EXPECT_EQ(s.task(gone).description, QString()); // no history: removed
    EXPECT_EQ(log().count(QStringLiteral("No further occurrence")), 2);
    EXPECT_TRUE(state.schedulerActive);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(MonitorStop, AShiftedOccurrenceIsNeverSkippedWithoutItsCopy) {
    Scheduler s(dir.path(), dir.path(), clock, settings, dialogs, state);
    holiday(*s.store, D(2026, 12, 9));
    const qint32 id = addTask(*s.store, [](Schedule& t) {
        t.exceptHolidays = 1;
        t.shiftType = QStringLiteral("Next Day");
    });
    // The one-time copy for the day after the holiday cannot be added.
    s.refuse(QStringLiteral("INSERT new.SCHEDULETYPE = 'Once'"));
    s.ticks(state, 3);

    EXPECT_EQ(s.messages.shown, QStringList{QStringLiteral("Backup")});
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error!"));
    EXPECT_TRUE(
        dialogs.shown[0].text.startsWith(QStringLiteral("Backup could not be saved with its next run:")));
    EXPECT_FALSE(state.schedulerActive);
    // Nothing of the advance was written: no skip without the copy that replaces the day.
    const Schedule kept = s.task(id);
    EXPECT_EQ(kept.date, D(2026, 12, 8));
    EXPECT_EQ(kept.skipNextTime, 0);
    EXPECT_EQ(kept.exceptionLink, 0);
    EXPECT_EQ(s.descriptions(), QStringList{QStringLiteral("Backup")});

    // Writable again and turned back on: advanced once, with its copy, and not run again.
    s.stopRefusing();
    state.schedulerActive = true;
    state.inactiveReason.clear();
    s.ticks(state, 3);
    EXPECT_EQ(s.messages.shown.size(), 1);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(state.schedulerActive);
    const Schedule advanced = s.task(id);
    EXPECT_EQ(advanced.date, D(2026, 12, 9));
    EXPECT_EQ(advanced.skipNextTime, 1);
    ASSERT_NE(advanced.exceptionLink, 0);
    const Schedule copy = s.task(advanced.exceptionLink);
    EXPECT_EQ(copy.date, D(2026, 12, 10));
    EXPECT_EQ(Clip(copy.scheduleType), kOnce);
    EXPECT_EQ(s.descriptions().count(QStringLiteral("Backup")), 3); // the task, its copy, its history
}

TEST_F(MonitorStop, ATaskDeletedElsewhereWhileItsMessageShowsIsGoneAndTheSchedulerGoesOn) {
    struct Shape {
        const char* name;
        std::function<void(Schedule&)> shape;
    };
    const Shape shapes[] = {
        {"daily", [](Schedule&) {}},
        {"once", [](Schedule& t) { t.scheduleType = kOnce; }},
        {"once without history",
         [](Schedule& t) {
             t.scheduleType = kOnce;
             t.noHistory = 1;
         }},
        {"shifted off a holiday",
         [](Schedule& t) {
             t.exceptHolidays = 1;
             t.shiftType = QStringLiteral("Next Day");
         }},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        SeparateInstallation apart;
        TempDir here;
        ProgramState st;
        ScriptedDialogs boxes;
        Scheduler s(here.path(), here.path(), clock, settings, boxes, st);
        holiday(*s.store, D(2026, 12, 9));
        const qint32 id = addTask(*s.store, shape.shape);
        addTask(*s.store, [&](Schedule& t) {
            t.description = QStringLiteral("Later");
            t.time = clock.now() + kOneMinute;
        });
        Peer station(here.path());
        s.messages.during = [&] {
            EXPECT_EQ(station.ask(QStringLiteral("delete %1").arg(id)), QStringLiteral("0"));
        };
        s.ticks(st, 3);

        EXPECT_EQ(s.messages.shown, QStringList{QStringLiteral("Backup")});
        EXPECT_TRUE(boxes.shown.empty()) << boxes.texts().join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(st.schedulerActive);
        // Gone is gone: no history copy, no one-time copy, nothing written back.
        EXPECT_EQ(s.descriptions(), QStringList{QStringLiteral("Later")});
        EXPECT_EQ(log(here.path()).count(QStringLiteral("Task deleted meanwhile")), 1);

        // The scheduler goes on with the next task.
        clock.advance(kOneMinute);
        s.ticks(st, 3);
        EXPECT_EQ(s.messages.shown, (QStringList{QStringLiteral("Backup"), QStringLiteral("Later")}));
        EXPECT_TRUE(boxes.shown.empty());
        clock.set(D(2026, 12, 8), TimeFromHms(9, 0, 0));
    }
}

TEST_F(MonitorStop, ATaskAnotherStationAddsInTheFreedPlaceIsLeftAlone) {
    Scheduler s(dir.path(), dir.path(), clock, settings, dialogs, state);
    const qint32 id = addTask(*s.store, [](Schedule&) {});
    Peer station(dir.path());
    // Deleted while its message shows, and a new task under the same number added at once:
    // it takes the freed place in the table too.
    s.messages.during = [&] {
        EXPECT_EQ(station.ask(QStringLiteral("delete %1").arg(id)), QStringLiteral("0"));
        EXPECT_EQ(station.ask(QStringLiteral("add %1 Someone else's").arg(id)), QStringLiteral("0"));
    };
    s.ticks(state, 3);
    EXPECT_EQ(s.messages.shown.size(), 1);
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(state.schedulerActive);
    const Schedule theirs = s.task(id);
    EXPECT_EQ(Clip(theirs.description), QStringLiteral("Someone else's"));
    EXPECT_EQ(theirs.date, 0);
    EXPECT_EQ(s.descriptions(), QStringList{QStringLiteral("Someone else's")});
}

TEST_F(MonitorStop, ATaskChangedElsewhereWhileItRunsKeepsTheChangeAndRunsOnce) {
    Scheduler s(dir.path(), dir.path(), clock, settings, dialogs, state);
    const qint32 id = addTask(*s.store, [](Schedule&) {});
    Peer station(dir.path());
    s.messages.during = [&] {
        EXPECT_EQ(station.ask(QStringLiteral("task-load-put %1 Backup, renamed").arg(id)),
                  QStringLiteral("0"));
    };
    s.ticks(state, 5);
    EXPECT_EQ(s.messages.shown, QStringList{QStringLiteral("Backup")});
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(state.schedulerActive);
    // The other station's version is the one advanced, and the occurrence ran once.
    const Schedule t = s.task(id);
    EXPECT_EQ(Clip(t.description), QStringLiteral("Backup, renamed"));
    EXPECT_EQ(t.date, D(2026, 12, 9));
    EXPECT_EQ(t.lastRunDate, D(2026, 12, 8));
    EXPECT_EQ(s.descriptions(),
              (QStringList{QStringLiteral("Backup, renamed"), QStringLiteral("Backup, renamed")}));
    EXPECT_EQ(log().count(QStringLiteral("Task changed meanwhile")), 1);
}

TEST_F(MonitorStop, ATaskDeletedWhileItsAdvanceWarningShowsIsGone) {
    BusyDialogs boxes;
    Scheduler s(dir.path(), dir.path(), clock, settings, boxes, state);
    const qint32 id = addTask(*s.store, [&](Schedule& t) {
        t.date = clock.today() + 1;
        t.advanceWarnDate = clock.today();
        t.advanceWarnTime = clock.now() - kOneMinute;
    });
    Peer station(dir.path());
    boxes.during = [&] { EXPECT_EQ(station.ask(QStringLiteral("delete %1").arg(id)), QStringLiteral("0")); };
    for (int i = 0; i < 3; ++i)
        s.monitor->checkAdvanceWarnings();
    EXPECT_EQ(boxes.captions, QStringList{QStringLiteral("Advanced Warning")});
    EXPECT_TRUE(state.schedulerActive);
    EXPECT_TRUE(s.descriptions().isEmpty());
    EXPECT_EQ(log().count(QStringLiteral("Task deleted meanwhile")), 1);
}

// Runs as another user for file access when the tests run as root, whom permissions do not stop.
class ActAsNobody {
public:
    ActAsNobody()
        : root_(::geteuid() == 0) {
        if (root_) {
            ::setfsgid(65534);
            ::setfsuid(65534);
        }
    }
    ~ActAsNobody() {
        if (root_) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }
    ActAsNobody(const ActAsNobody&) = delete;
    ActAsNobody& operator=(const ActAsNobody&) = delete;

private:
    bool root_;
};

TEST_F(MonitorStop, ADueTaskThatCannotBeWrittenRunsOnceAndStopsTheScheduler) {
    TempDir logDir;
    qint32 id = 0;
    {
        Scheduler s(dir.path(), logDir.path(), clock, settings, dialogs, state);
        id = addTask(*s.store, [](Schedule&) {});
    }
    const QString file = dir.file(kDataFileName);
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(logDir.path(), QFile::ReadOther | QFile::WriteOther | QFile::ExeOther |
                                                         QFile::ReadOwner | QFile::WriteOwner |
                                                         QFile::ExeOwner));
    {
        ActAsNobody nobody;
        Scheduler s(dir.path(), logDir.path(), clock, settings, dialogs, state);
        s.ticks(state, 3);
        clock.advance(500);
        s.ticks(state, 20);

        // Ran once, said so once, and nothing more runs.
        EXPECT_EQ(s.messages.shown.size(), 1);
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error!"));
        EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("Backup could not be saved")));
        EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("Setup")));
        EXPECT_FALSE(state.schedulerActive);
        EXPECT_EQ(state.inactiveReason, DueTaskMonitor::kNotWrittenReason);
        // The file holds the task as it was: due, not advanced.
        EXPECT_EQ(s.task(id).date, D(2026, 12, 8));

        // Turned back on while the file still cannot be written: the occurrence that ran is
        // not run again; the user hears why the scheduler stopped once more.
        state.schedulerActive = true;
        state.inactiveReason.clear();
        s.ticks(state, 5);
        EXPECT_EQ(s.messages.shown.size(), 1);
        EXPECT_EQ(dialogs.shown.size(), 2u);
        EXPECT_FALSE(state.schedulerActive);
    }
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The same with the writes refused by the database itself (a failing disk, a server's rule)
// while the program still takes itself for a writer: every station of the schedule is refused.
TEST_F(MonitorStop, ADueTaskWhoseAdvanceIsRefusedRunsOnceAndStopsTheScheduler) {
    TempDir logDir;
    Scheduler s(dir.path(), logDir.path(), clock, settings, dialogs, state);
    const qint32 id = addTask(*s.store, [](Schedule&) {});
    Table<Schedule> refusing(*s.store);
    ASSERT_TRUE(RefuseChanges(refusing, QStringLiteral("UPDATE 1"), QStringLiteral("no_update")).ok());
    ASSERT_TRUE(RefuseChanges(refusing, QStringLiteral("INSERT 1"), QStringLiteral("no_insert")).ok());
    s.ticks(state, 3);
    clock.advance(500);
    s.ticks(state, 20);

    EXPECT_EQ(s.messages.shown.size(), 1);
    ASSERT_EQ(dialogs.shown.size(), 1u) << dialogs.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error!"));
    EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("Backup could not be saved")));
    EXPECT_FALSE(state.schedulerActive);
    EXPECT_EQ(state.inactiveReason, DueTaskMonitor::kNotWrittenReason);
    EXPECT_EQ(s.task(id).date, D(2026, 12, 8));
    EXPECT_EQ(s.descriptions(), QStringList{QStringLiteral("Backup")}); // no half-written copy

    // Turned back on while the writes are still refused: the occurrence that ran does not run
    // again. Once they are taken again, the task advances and the scheduler goes on.
    state.schedulerActive = true;
    state.inactiveReason.clear();
    s.ticks(state, 5);
    EXPECT_EQ(s.messages.shown.size(), 1);
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_FALSE(state.schedulerActive);
    ASSERT_TRUE(AllowChanges(refusing, QStringLiteral("no_update")).ok());
    ASSERT_TRUE(AllowChanges(refusing, QStringLiteral("no_insert")).ok());
    state.schedulerActive = true;
    state.inactiveReason.clear();
    s.ticks(state, 5);
    EXPECT_EQ(s.messages.shown.size(), 1);
    EXPECT_TRUE(state.schedulerActive);
}

} // namespace
} // namespace kr::test
