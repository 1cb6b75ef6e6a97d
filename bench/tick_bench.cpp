// One scheduler tick (other stations, due-task scan, advance warnings, history check) over a task table
// holding 1,000,000 history records, with nothing due; and what starting a task's program
// costs the frame's thread, with and without its output kept.

#include "platform/Processes.h"
#include "scheduler/Monitor.h"
#include "store/pg/PgConnection.h"
#include "store/Transaction.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace kr;

struct Silent final : Sound {
    void beep() override {}
    void play(const QString&) override {}
};

struct World {
    QTemporaryDir dir;
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    test::FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(12, 0, 0)};
    Settings settings;
    ProgramState state;
    ActiveScriptQueue queue;
    NoFrame frame;
    Silent sound;
    BoxMessageDisplay messages{dialogs};
    LinuxProcesses processes;
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<DueTaskMonitor> monitor;

    explicit World(int history) {
        settings.historyExpires = 100000; // nothing old enough to go
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        {
            Table<Schedule> tasks(*store);
            Transaction tx;
            tx.begin({&tasks});
            for (int i = 1; i <= history; ++i) {
                Schedule t;
                t.id = i;
                t.taskType = QStringLiteral("Run Program");
                t.scheduleType = QStringLiteral("Day of Week");
                t.description = QStringLiteral("History %1").arg(i);
                t.date = DateFromYmd(2020, 1, 1) + i % 2000;
                t.time = 1 + i % 8640000;
                t.disabled = 1;
                t.completed = 1;
                t.advanceWarned = 1;
                t.advanceWarnDate = t.date;
                tasks.add(t);
            }
            // The tasks still to come: tomorrow, warned an hour before.
            for (int i = 1; i <= 10; ++i) {
                Schedule t;
                t.id = history + i;
                t.taskType = QStringLiteral("Run Program");
                t.scheduleType = QStringLiteral("Day of Week");
                t.description = QStringLiteral("Upcoming %1").arg(i);
                t.date = DateFromYmd(2026, 12, 9);
                t.time = TimeFromHms(9, i, 0);
                t.advanceWarnDate = t.date;
                t.advanceWarnTime = t.time - kOneHour;
                tasks.add(t);
            }
            tx.commit();
        }
        log = std::make_unique<EventLog>(dir.filePath(kEventLogName), settings, clock);
        launcher = std::make_unique<Launcher>(
            LauncherContext{*store, settings, clock, dialogs, *log, queue, processes, frame});
        monitor = std::make_unique<DueTaskMonitor>(MonitorContext{
            *store, settings, clock, dialogs, *log, queue, state, frame, sound, messages, *launcher});
    }
};

World& WorldOf(int history) {
    static std::map<int, std::unique_ptr<World>> worlds;
    auto& w = worlds[history];
    if (!w)
        w = std::make_unique<World>(history);
    return *w;
}

void BM_DailyHistoryPass(benchmark::State& state) {
    World& w = WorldOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        w.clock.set(w.clock.today() + 1, TimeFromHms(12, 0, 0));
        benchmark::DoNotOptimize(w.monitor->removeOldHistory());
    }
    w.clock.set(DateFromYmd(2026, 12, 8), TimeFromHms(12, 0, 0));
}
BENCHMARK(BM_DailyHistoryPass)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_Tick(benchmark::State& state) {
    World& w = WorldOf(static_cast<int>(state.range(0)));
    w.monitor->removeOldHistory(); // today's pass is done; the ticks that follow only check the day
    const quint64 sentBefore = pg::RoundTrips();
    for (auto _ : state) {
        w.store->changedByOthers();
        w.monitor->scanDueTask();
        w.monitor->checkAdvanceWarnings();
        benchmark::DoNotOptimize(w.monitor->removeOldHistory());
    }
    // On a server: the statements a quiet tick sends.
    state.counters["statements"] = benchmark::Counter(static_cast<double>(pg::RoundTrips() - sentBefore),
                                                      benchmark::Counter::kAvgIterations);
    if (!w.dialogs.shown.empty())
        state.SkipWithError("something came due");
}
BENCHMARK(BM_Tick)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

struct CountingSink final : RunSink {
    void runStarted(const RunStarted& run) override { processes += run.kind == RunStarted::Kind::Process; }
    void runEnded(const RunEnded& run) override { kept += run.bytesKept; }
    int processes = 0;
    std::int64_t kept = 0;
};

// One launch of a program that prints a line, from the call to its return (the program runs
// on); Arg 1 keeps its output. The ends are collected outside the timing.
void BM_Launch(benchmark::State& state) {
    test::EnsureCoreApplication();
    World& w = WorldOf(1000);
    CountingSink sink;
    const bool keep = state.range(0) != 0;
    if (keep)
        w.launcher->captureRuns(w.dir.filePath(QStringLiteral("runs")), &sink);
    const QString command = QStringLiteral("/bin/echo launched");
    int n = 0;
    for (auto _ : state) {
        w.launcher->launchTask(0, command, QString());
        if (++n % 32 == 0) {
            state.PauseTiming();
            test::TurnLoopUntil([&] { return w.launcher->runsUnderWay() == 0; });
            state.ResumeTiming();
        }
    }
    test::TurnLoopUntil([&] { return w.launcher->runsUnderWay() == 0; });
    w.launcher->captureRuns(QString(), nullptr);
    if (keep && sink.processes != n)
        state.SkipWithError("a start was not kept");
}
BENCHMARK(BM_Launch)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A program that prints 64 MiB, from its start to the end of its record: what reading and
// keeping that much costs.
void BM_KeepLargeOutput(benchmark::State& state) {
    test::EnsureCoreApplication();
    World& w = WorldOf(1000);
    CountingSink sink;
    w.launcher->captureRuns(w.dir.filePath(QStringLiteral("runs")), &sink);
    for (auto _ : state) {
        w.launcher->launchTask(0, QStringLiteral("head -c 67108864 /dev/zero"), QString());
        test::TurnLoopUntil([&] { return w.launcher->runsUnderWay() == 0; }, 120000);
    }
    w.launcher->captureRuns(QString(), nullptr);
    if (sink.kept != static_cast<std::int64_t>(state.iterations()) * kRunOutputKept)
        state.SkipWithError("the output was not kept");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 67108864);
}
BENCHMARK(BM_KeepLargeOutput)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
