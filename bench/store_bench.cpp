// Table access on a large task table: adding in one transaction, finding the first enabled
// task (the scheduler's lookup on every tick), one Next step, Get by number, and the tick's
// look for other stations' writes.
//
//   build/bench/store_bench [--benchmark_filter=...]

#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"
#include "support/ScriptedDialogs.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

using namespace kr;

struct Fixture {
    QTemporaryDir dir;
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    std::unique_ptr<Store> store;
    std::unique_ptr<Table<Schedule>> table;
};

Schedule MakeTask(qint32 id, QRandomGenerator& rng) {
    Schedule t;
    t.id = id;
    t.taskType = QStringLiteral("Run Program");
    t.description = QStringLiteral("Task number %1").arg(id);
    t.category = QStringLiteral("Category %1").arg(rng.bounded(20));
    t.command = QStringLiteral("/usr/bin/true");
    t.scheduleType = QStringLiteral("Day of Week");
    t.date = 80000 + static_cast<qint32>(rng.bounded(20000));
    t.time = 1 + static_cast<qint32>(rng.bounded(8640000));
    t.disabled = rng.bounded(10) == 0 ? 1 : 0;
    t.message = QStringLiteral("A message of moderate length for task %1.").arg(id);
    return t;
}

// Adds `count` tasks in one transaction; returns the seconds it took.
double Fill(Fixture& f, qint32 count) {
    QRandomGenerator rng(42);
    Transaction tx;
    const auto start = std::chrono::steady_clock::now();
    tx.begin({f.table.get()});
    for (qint32 id = 1; id <= count; ++id) {
        Schedule t = MakeTask(id, rng);
        if (f.table->add(t) != Err::None)
            std::abort();
    }
    tx.commit();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::unique_ptr<Fixture> NewFixture() {
    auto f = std::make_unique<Fixture>();
    f->store = std::make_unique<Store>(f->dir.path(), f->dialogs, f->end);
    f->store->declareLayouts();
    f->table = std::make_unique<Table<Schedule>>(*f->store);
    return f;
}

// One filled table per size, shared by the lookups.
Fixture& Filled(qint32 count) {
    static std::map<qint32, std::unique_ptr<Fixture>> cache;
    auto& f = cache[count];
    if (!f) {
        f = NewFixture();
        Fill(*f, count);
    }
    return *f;
}

void BM_AddInOneTransaction(benchmark::State& state) {
    for (auto _ : state) {
        auto f = NewFixture();
        state.SetIterationTime(Fill(*f, static_cast<qint32>(state.range(0))));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AddInOneTransaction)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_FirstEnabledTask(benchmark::State& state) {
    Fixture& f = Filled(static_cast<qint32>(state.range(0)));
    Schedule t;
    for (auto _ : state) {
        f.table->set(Schedule::KEYDATEENABLED);
        if (f.table->next(t) != Err::None)
            state.SkipWithError("no task");
        benchmark::DoNotOptimize(t.id);
    }
}
BENCHMARK(BM_FirstEnabledTask)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_NextStep(benchmark::State& state) {
    Fixture& f = Filled(static_cast<qint32>(state.range(0)));
    Schedule t;
    f.table->set(Schedule::KEYDATEENABLED);
    for (auto _ : state) {
        if (f.table->next(t) != Err::None) {
            state.PauseTiming();
            f.table->set(Schedule::KEYDATEENABLED);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(t.id);
    }
}
BENCHMARK(BM_NextStep)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_GetById(benchmark::State& state) {
    const auto count = static_cast<qint32>(state.range(0));
    Fixture& f = Filled(count);
    QRandomGenerator rng(7);
    Schedule t;
    for (auto _ : state) {
        t.id = 1 + static_cast<qint32>(rng.bounded(count));
        if (f.table->get(Schedule::KEYID, t) != Err::None)
            state.SkipWithError("not found");
        benchmark::DoNotOptimize(t.date);
    }
}
BENCHMARK(BM_GetById)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// The look every tick takes at the data file for other stations' writes.
void BM_ChangedElsewhere(benchmark::State& state) {
    Fixture& f = Filled(static_cast<qint32>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(f.store->changedByOthers());
}
BENCHMARK(BM_ChangedElsewhere)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
