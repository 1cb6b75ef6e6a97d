#include "store/RunRecords.h"
#include "platform/Text.h"
#include "scheduler/Monitor.h"
#include "scheduler/Occurrence.h"
#include "scheduler/RunRecorder.h"
#include "script/Runner.h"
#include "store/Numbering.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/RecordingSound.h"
#include "support/ScriptedDialogs.h"
#include "support/RunsWorld.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class RunRecordsTest : public ::testing::Test, protected RunsWorld {
protected:
    RunRecordsTest()
        : RunsWorld(QStringLiteral("station-a")) {}

    // A daily task due now.
    qint32 addTask(const QString& description, const QString& type, const QString& command) {
        Schedule t;
        t.taskType = type;
        t.description = description;
        t.message = QStringLiteral("Message of ") + description;
        t.scheduleType = kDayOfWeek;
        t.sunday = t.monday = t.tuesday = t.wednesday = t.thursday = t.friday = t.saturday = 1;
        t.date = clock.today();
        t.time = clock.now();
        t.command = command;
        EXPECT_TRUE(ReserveRecordNumber(*tasks, t));
        return t.id;
    }
    Schedule task(qint32 id) {
        Schedule t;
        t.id = id;
        tasks->get(Schedule::KEYID, t);
        return t;
    }
    std::vector<Runs> read(const RunQuery& q = {}) {
        std::vector<Runs> out;
        EXPECT_TRUE(ReadRuns(*store, q, out));
        return out;
    }
    Runs runOf(qint32 taskId) {
        Table<Runs> t(*store);
        Runs r;
        EXPECT_TRUE(LastRunOf(t, taskId, r));
        return r;
    }
    bool waitForResult(qint32 taskId, const QString& result) {
        return TurnLoopUntil([&] { return Clip(runOf(taskId).result) == result; }, 20000);
    }
};

TEST_F(RunRecordsTest, AProgramThatExitsThreeIsRecordedWithItsOutputAndCountsAsFailed) {
    const QString backup = program(QStringLiteral("backup"), "echo copying\necho 'disk full' >&2\nexit 3\n");
    const qint32 id = addTask(QStringLiteral("Nightly backup"), QStringLiteral("Run Program"), backup);
    const Schedule due = task(id);
    monitor->scanDueTask();
    // Recorded at once as running, with the process.
    const Runs running = runOf(id);
    EXPECT_EQ(Clip(running.result), run::kRunning);
    EXPECT_GT(running.pid, 0);
    ASSERT_TRUE(waitForResult(id, run::kEnded));

    const Runs r = runOf(id);
    EXPECT_GT(r.run, 0);
    EXPECT_EQ(Clip(r.description), QStringLiteral("Nightly backup"));
    EXPECT_EQ(Clip(r.station), QStringLiteral("station-a"));
    EXPECT_EQ(Clip(r.trigger), run::kDue);
    EXPECT_EQ(r.dueDate, due.date);
    EXPECT_EQ(r.dueTime, due.time);
    EXPECT_EQ(r.exited, run::Exited);
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_EQ(r.pid, running.pid);
    EXPECT_GE(r.duration, 0);
    EXPECT_NE(r.endDate, 0);
    EXPECT_TRUE(RunFailed(r));
    EXPECT_EQ(RunResultText(r), QStringLiteral("Exit status 3"));
    ASSERT_FALSE(Clip(r.output).isEmpty());
    EXPECT_EQ(FileBytes(QDir(runs()).filePath(Clip(r.output))), QByteArray("copying\ndisk full\n"));
    EXPECT_EQ(r.bytesKept, 18);
    EXPECT_EQ(RunBytesLeftOut(r), 0);
    // The task itself went on as ever: advanced to tomorrow, its history copy made.
    EXPECT_EQ(task(id).date, due.date + 1);
    EXPECT_TRUE(statusLines.isEmpty());
}

TEST_F(RunRecordsTest, ASilentSuccessLeavesNoFileAndTheQueryPicksTheFailedNewestFirst) {
    const QString fails = program(QStringLiteral("fails"), "exit 3\n");
    const qint32 good =
        addTask(QStringLiteral("Quiet"), QStringLiteral("Run Program"), QStringLiteral("true"));
    const qint32 bad = addTask(QStringLiteral("Loud"), QStringLiteral("Run Program"), fails);
    monitor->scanDueTask();
    monitor->scanDueTask();
    ASSERT_TRUE(waitForResult(good, run::kEnded));
    ASSERT_TRUE(waitForResult(bad, run::kEnded));
    const Runs quiet = runOf(good);
    EXPECT_EQ(RunResultText(quiet), QStringLiteral("Succeeded"));
    EXPECT_FALSE(RunFailed(quiet));
    EXPECT_TRUE(Clip(quiet.output).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(runs()) && !QDir(runs()).entryList(QDir::Files).isEmpty());

    // Run Now of the good one: a third record, the newest.
    monitor->runTaskNow(task(good));
    ASSERT_TRUE(TurnLoopUntil([&] { return read().size() == 3 && Clip(read()[0].result) == run::kEnded; }));
    const std::vector<Runs> all = read();
    EXPECT_EQ(all[0].taskId, good);
    EXPECT_EQ(Clip(all[0].trigger), run::kRunNow);
    EXPECT_GT(all[0].run, all[1].run);
    EXPECT_GT(all[1].run, all[2].run);

    RunQuery failed;
    failed.failed = true;
    const std::vector<Runs> f = read(failed);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].taskId, bad);
    RunQuery ofGood;
    ofGood.task = good;
    EXPECT_EQ(read(ofGood).size(), 2u);
    ofGood.limit = 1;
    ASSERT_EQ(read(ofGood).size(), 1u);
    EXPECT_EQ(read(ofGood)[0].run, all[0].run);
    RunQuery later;
    later.since = clock.today() + 1;
    EXPECT_TRUE(read(later).empty());
}

TEST_F(RunRecordsTest, AKilledProgramHasItsSignalAndAMissingOneItsFailure) {
    const qint32 slow =
        addTask(QStringLiteral("Slow"), QStringLiteral("Run Program"), QStringLiteral("sleep 60"));
    const qint32 missing =
        addTask(QStringLiteral("Missing"), QStringLiteral("Run Program"), QStringLiteral("/no/such/program"));
    monitor->scanDueTask();
    const Runs running = runOf(slow);
    ASSERT_EQ(Clip(running.result), run::kRunning);
    ASSERT_EQ(::kill(running.pid, SIGKILL), 0);
    ASSERT_TRUE(waitForResult(slow, run::kEnded));
    const Runs killed = runOf(slow);
    EXPECT_EQ(killed.exited, run::Signalled);
    EXPECT_EQ(killed.signal, SIGKILL);
    EXPECT_EQ(RunResultText(killed), QStringLiteral("Signal 9"));
    EXPECT_TRUE(RunFailed(killed));

    monitor->scanDueTask();
    const Runs f = runOf(missing);
    EXPECT_EQ(Clip(f.result), run::kFailedToStart);
    EXPECT_EQ(f.failure, 3);
    EXPECT_EQ(RunResultText(f), QStringLiteral("Failed to start: folder not found (3)"));
    EXPECT_TRUE(RunFailed(f));
}

TEST_F(RunRecordsTest, SkippedOccurrencesAndMessagesLeaveOneRecordEach) {
    const qint32 message = addTask(QStringLiteral("Stand up"), QStringLiteral("Display Message"), QString());
    monitor->scanDueTask();
    EXPECT_EQ(messages.shown, 1);
    EXPECT_EQ(Clip(runOf(message).result), run::kMessageOnly);
    EXPECT_FALSE(RunFailed(runOf(message)));

    // Missed yesterday, asked about, and the answer is No.
    const qint32 missed =
        addTask(QStringLiteral("Missed"), QStringLiteral("Run Program"), QStringLiteral("true"));
    Schedule t = task(missed);
    t.date -= 1;
    t.warn = 1;
    ASSERT_EQ(tasks->put(t), Err::None);
    dialogs.answer(Dialogs::No);
    monitor->scanDueTask();
    const Runs m = runOf(missed);
    EXPECT_EQ(Clip(m.result), run::kSkipped);
    EXPECT_EQ(Clip(m.reason), QStringLiteral("Missed task skipped"));
    EXPECT_EQ(m.dueDate, clock.today() - 1);
    EXPECT_EQ(RunResultText(m), QStringLiteral("Skipped (Missed task skipped)"));

    // Overdue by more than ten minutes with "skip if missed", and one skipped by its flag.
    const qint32 overdue =
        addTask(QStringLiteral("Overdue"), QStringLiteral("Run Program"), QStringLiteral("true"));
    t = task(overdue);
    t.time -= 20 * kOneMinute;
    t.skipIfMissed = 1;
    ASSERT_EQ(tasks->put(t), Err::None);
    monitor->scanDueTask();
    EXPECT_EQ(Clip(runOf(overdue).reason), QStringLiteral("Overdue task skipped"));
    const qint32 flagged =
        addTask(QStringLiteral("Flagged"), QStringLiteral("Run Program"), QStringLiteral("true"));
    t = task(flagged);
    t.skipNextTime = 1;
    ASSERT_EQ(tasks->put(t), Err::None);
    monitor->scanDueTask();
    EXPECT_EQ(Clip(runOf(flagged).result), run::kSkipped);

    RunQuery q;
    EXPECT_EQ(read(q).size(), 4u);
    for (qint32 id : {missed, overdue, flagged}) {
        q.task = id;
        EXPECT_EQ(read(q).size(), 1u) << id;
    }
}

TEST_F(RunRecordsTest, TheScriptsEndingIsKeptAndEachFailureIsToldOnce) {
    QStringList told;
    recorder->setFailureHandler([&](const Runs& r) { told << FailureNoticeText(r); });
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
    ScriptServices services;
    int debug = 0;
    ScriptRunner runner(RunnerContext{queue, values, settings, clock, dialogs, *log, *launcher, services, debug,
                                      {}, nullptr, recorder.get()});
    auto runScripts = [&] {
        return TurnLoopUntil(
            [&] {
                clock.advance(10);
                runner.runScriptStep();
                return queue.empty();
            },
            20000);
    };

    // A failing program and a succeeding one: the failure is told, the success is not.
    const qint32 bad = addTask(QStringLiteral("Loud"), QStringLiteral("Run Program"),
                               program(QStringLiteral("fails"), "echo secret-token\nexit 3\n"));
    const qint32 good = addTask(QStringLiteral("Quiet"), QStringLiteral("Run Program"), QStringLiteral("true"));
    monitor->scanDueTask();
    monitor->scanDueTask();
    ASSERT_TRUE(waitForResult(bad, run::kEnded));
    ASSERT_TRUE(waitForResult(good, run::kEnded));
    ASSERT_TRUE(runScripts());
    EXPECT_EQ(told, QStringList{QStringLiteral("Task failed: Loud - Exit status 3")});
    EXPECT_EQ(Clip(runOf(good).scriptEnd), QString()); // no items: no script ran

    // A script alone ("N/A"): a waited program that exits 2 is kept, an item that fails ends it.
    const qint32 scripted = addTask(QStringLiteral("Scripted"), QStringLiteral("Run Program"), QStringLiteral("N/A"));
    const QString exit2 = program(QStringLiteral("exit2"), "exit 2\n");
    {
        Table<Scripting> items(*store);
        Scripting s;
        s.id = scripted;
        s.sequence = 1;
        s.action = QStringLiteral("Start Program");
        s.command = exit2;
        s.ddeApplicationName = QStringLiteral("121"); // wait for it
        ASSERT_EQ(items.add(s), Err::None);
        s = Scripting{};
        s.id = scripted;
        s.sequence = 2;
        s.action = QStringLiteral("Dance");
        ASSERT_EQ(items.add(s), Err::None);
    }
    told.clear();
    monitor->scanDueTask();
    EXPECT_EQ(Clip(runOf(scripted).result), run::kScriptOnly);
    ASSERT_TRUE(runScripts());
    const Runs r = runOf(scripted);
    EXPECT_EQ(Clip(r.scriptEnd), QStringLiteral("item failed: Dance"));
    EXPECT_EQ(r.items, QStringLiteral("Start Program-%1: exit status 2\n").arg(exit2));
    EXPECT_TRUE(RunFailed(r));
    EXPECT_EQ(told, QStringList{QStringLiteral("Task failed: Scripted - Script only; script: item failed: Dance")});
    // Outputs may hold secrets: nothing of one reaches a notice.
    EXPECT_FALSE(told.join(QString()).contains(QStringLiteral("secret")));
}

TEST_F(RunRecordsTest, RunsLeftRunningBecomeUnknownAtTheNextStartOnThisStationOnly) {
    const qint32 slow =
        addTask(QStringLiteral("Slow"), QStringLiteral("Run Program"), QStringLiteral("sleep 60"));
    monitor->scanDueTask();
    const Runs running = runOf(slow);
    ASSERT_EQ(Clip(running.result), run::kRunning);
    // Another station's program runs meanwhile.
    auto other = makeRecorder(QStringLiteral("station-b"));
    const qint32 elsewhere = other->occurrence(task(slow), run::kRunNow, run::kStarted);
    RunStarted s;
    s.run = 1;
    s.taskId = slow;
    s.kind = RunStarted::Kind::Process;
    s.pid = 4242;
    other->runStarted(s);

    // This program was killed: the next one on the station finds the record running.
    launcher->captureRuns(runs(), nullptr);
    ::kill(running.pid, SIGKILL);
    auto next = makeRecorder(QStringLiteral("station-a"));
    EXPECT_EQ(next->fixUpLeftRunning(), 1);
    EXPECT_EQ(Clip(read()[1].result), run::kUnknown);
    EXPECT_EQ(read()[1].run, running.run);
    EXPECT_EQ(read()[0].run, elsewhere);
    EXPECT_EQ(Clip(read()[0].result), run::kRunning);
    EXPECT_EQ(next->fixUpLeftRunning(), 0);

    // Stopped properly while it runs: said so, and unknown after the start that follows.
    EXPECT_EQ(other->markStillRunning(), 1);
    EXPECT_EQ(Clip(read()[0].result), run::kStillRunning);
    EXPECT_EQ(makeRecorder(QStringLiteral("station-b"))->fixUpLeftRunning(), 1);
    EXPECT_EQ(Clip(read()[0].result), run::kUnknown);
}

TEST_F(RunRecordsTest, RecordsAndTheirOutputGoWithTheHistoryInSlices) {
    settings.historyExpires = 7;
    monitor->setRemovalLimits(RemovalLimits{5, 100, 2, 1, 3});
    const QString talker = program(QStringLiteral("talker"), "echo said\n");
    const qint32 id = addTask(QStringLiteral("Talker"), QStringLiteral("Run Program"), talker);
    // Twelve old occurrences, ten days ago, each with its output; then one of today.
    const Date today = clock.today();
    for (int i = 0; i < 12; ++i) {
        clock.set(today - 10, TimeFromHms(3, 0, i));
        Schedule t = task(id);
        t.date = clock.today();
        t.time = clock.now();
        ASSERT_EQ(tasks->put(t), Err::None);
        monitor->scanDueTask();
    }
    clock.set(today, TimeFromHms(3, 0, 0));
    Schedule t = task(id);
    t.date = today;
    t.time = clock.now();
    ASSERT_EQ(tasks->put(t), Err::None);
    monitor->scanDueTask();
    ASSERT_TRUE(TurnLoopUntil([&] {
        const auto all = read();
        return all.size() == 13 && std::all_of(all.begin(), all.end(),
                                               [](const Runs& r) { return Clip(r.result) == run::kEnded; });
    }));
    ASSERT_EQ(QDir(runs()).entryList(QDir::Files).size(), 13);
    const Runs young = read()[0];

    int ticks = 0;
    while (!monitor->removeOldHistory() && ++ticks < 100) {
    }
    EXPECT_GT(ticks, 2); // more than one slice
    const std::vector<Runs> left = read();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].run, young.run);
    EXPECT_EQ(QDir(runs()).entryList(QDir::Files), QStringList{Clip(young.output)});
}

} // namespace
} // namespace kr::test
