// One script runner step with a long queue behind the head.

#include "script/Runner.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using namespace kr;

struct NoPrograms final : ProgramStarter {
    bool startProgram(const QString&, const QString&, const QString&, int, int, bool) override {
        return true;
    }
    int lastExitCode() override { return 0; }
    int lastStartResult() const override { return 42; }
};

void BM_RunnerStep(benchmark::State& state) {
    QTemporaryDir dir;
    test::ScriptedDialogs dialogs;
    test::FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(10, 0, 0)};
    Settings settings;
    settings.logEvents = false;
    EventLog log(dir.filePath(kEventLogName), settings, clock);
    ActiveScriptQueue queue;
    ValueStore values(clock, [] { return QStringLiteral("d3"); });
    NoPrograms programs;
    ScriptServices services;
    const int debug = 0;
    QString status;
    ScriptRunner runner({queue, values, settings, clock, dialogs, log, programs, services, debug,
                         [&status](const QString& s) { status = s; }, nullptr});
    const auto length = static_cast<std::size_t>(state.range(0));
    auto fill = [&] {
        queue.clear();
        for (std::size_t i = 0; i < length; ++i) {
            QueueEntry e;
            e.item.action = QStringLiteral("Set Value");
            e.item.path = QStringLiteral("COUNTER");
            e.item.command = QStringLiteral("%1").arg(i);
            e.dueDate = clock.today();
            e.dueTime = clock.now() - 1;
            queue.append(e);
        }
    };
    fill();
    for (auto _ : state) {
        if (queue.size() < 2) {
            state.PauseTiming();
            fill();
            state.ResumeTiming();
        }
        runner.runScriptStep();
    }
    benchmark::DoNotOptimize(status);
}
BENCHMARK(BM_RunnerStep)->Arg(10)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
