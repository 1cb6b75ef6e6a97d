// The monitor with a task that has no further occurrence, and with a data file it cannot write.

#include "platform/Processes.h"
#include "platform/Text.h"
#include "scheduler/Monitor.h"
#include "scheduler/Occurrence.h"
#include "store/Numbering.h"
#include "support/FakeClock.h"
#include "support/RecordingSound.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QFile>

#include <sys/fsuid.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

struct CountingMessages final : MessageDisplay {
    QStringList shown;
    int openCount() const override { return 0; }
    void show(const MessageInputs& in) override { shown << Clip(in.title); }
};

Date D(int y, int m, int d) {
    return DateFromYmd(y, m, d);
}

// The program as far as the monitor needs it, on the data file in `dir`.
struct Scheduler {
    Scheduler(const QString& dir, const QString& logDir, const Clock& clock, Settings& settings,
              ScriptedDialogs& dialogs, ProgramState& state) {
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
    QStringList log() {
        QFile f(dir.file(kEventLogName));
        QStringList labels;
        if (f.open(QIODevice::ReadOnly))
            for (const QString& l :
                 QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                labels << l.mid(22, 30).trimmed();
        return labels;
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

} // namespace
} // namespace kr::test
