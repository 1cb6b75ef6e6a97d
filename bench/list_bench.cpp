// The schedule list on a large schedule: how long the first rows take to show, and how long a
// jump to the middle or the end of the list takes.
//   list_bench [--tasks N]   (default 1,000,000; the data file is made once in a temporary folder)

#include "platform/DateTime.h"
#include "scheduler/ui/ScheduleList.h"
#include "store/Table.h"
#include "store/Transaction.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

namespace {

int g_tasks = 1000000;

// One data file for every measurement: mostly history (completed tasks of past days), a
// thousand tasks still to come.
struct LargeSchedule {
    kr::test::TempDir dir;
    kr::test::ScriptedDialogs dialogs;
    kr::test::ThrowingProgramEnd end;
    std::unique_ptr<kr::Store> store;

    LargeSchedule() {
        store = std::make_unique<kr::Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        kr::Table<kr::Schedule> tasks(*store);
        kr::Transaction tx;
        tx.begin({&tasks});
        for (int i = 1; i <= g_tasks; ++i) {
            kr::Schedule t;
            t.id = i;
            t.taskType = QStringLiteral("Run Program");
            t.description = QStringLiteral("Task %1").arg(i);
            t.category = i % 3 == 0 ? QStringLiteral("Work") : QStringLiteral("Home");
            t.scheduleType = QStringLiteral("Once");
            t.date = kr::DateFromYmd(2020, 1, 1) + (i * 7) % 2500;
            t.time = 1 + (i * 7919) % 8640000;
            // Done tasks are kept disabled, as the scheduler leaves its history.
            t.completed = t.disabled = i <= g_tasks - 1000 ? 1 : 0;
            tasks.add(t);
        }
        tx.commit();
    }
    static LargeSchedule& get() {
        static LargeSchedule s;
        return s;
    }
};

kr::ScheduleListModel::Filter AllByDate() {
    kr::ScheduleListModel::Filter f;
    f.view = kr::ScheduleView::AllByDate;
    return f;
}

// What a list window does to show its first screen: count the view and read 30 rows.
void ShowRows(kr::ScheduleListModel& m, int first) {
    for (int r = first; r < first + 30 && r < m.rowCount(); ++r)
        benchmark::DoNotOptimize(
            m.data(m.index(r, kr::ScheduleListModel::DescriptionColumn), Qt::DisplayRole));
}

void BM_OpenAllByDate(benchmark::State& state) {
    LargeSchedule& s = LargeSchedule::get();
    for (auto _ : state) {
        kr::ScheduleListModel m(*s.store, QStringLiteral("d3"));
        m.setFilter(AllByDate());
        ShowRows(m, 0);
    }
}

void BM_OpenActiveOnly(benchmark::State& state) {
    LargeSchedule& s = LargeSchedule::get();
    for (auto _ : state) {
        kr::ScheduleListModel m(*s.store, QStringLiteral("d3"));
        auto f = AllByDate();
        f.activeOnly = true;
        m.setFilter(f);
        ShowRows(m, 0);
    }
}

void BM_OpenCategory(benchmark::State& state) {
    LargeSchedule& s = LargeSchedule::get();
    for (auto _ : state) {
        kr::ScheduleListModel m(*s.store, QStringLiteral("d3"));
        kr::ScheduleListModel::Filter f;
        f.view = kr::ScheduleView::AllByCategory;
        f.category = QStringLiteral("work");
        m.setFilter(f);
        ShowRows(m, 0);
    }
}

// A jump of the scroll bar: rows never read before.
void BM_Jump(benchmark::State& state) {
    LargeSchedule& s = LargeSchedule::get();
    kr::ScheduleListModel m(*s.store, QStringLiteral("d3"));
    m.setFilter(AllByDate());
    const double at = static_cast<double>(state.range(0)) / 100.0;
    int shift = 0;
    for (auto _ : state) {
        state.PauseTiming();
        m.refresh(); // forget the pages read
        state.ResumeTiming();
        const int first = std::max(0, static_cast<int>(at * (m.rowCount() - 30)) - shift);
        ShowRows(m, first);
        shift = (shift + 997) % 5000;
    }
}

// Scrolling on from a position: the pages near it.
void BM_ScrollAtEnd(benchmark::State& state) {
    LargeSchedule& s = LargeSchedule::get();
    kr::ScheduleListModel m(*s.store, QStringLiteral("d3"));
    m.setFilter(AllByDate());
    int first = m.rowCount() - 30;
    for (auto _ : state) {
        ShowRows(m, first);
        first = first > 40 ? first - 37 : m.rowCount() - 30;
    }
}

BENCHMARK(BM_OpenAllByDate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenActiveOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCategory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jump)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollAtEnd)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--tasks") == 0)
            g_tasks = std::atoi(argv[i + 1]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
