// Schedule searches on a large schedule: a keyed prefix, a year, a full scan of the messages,
// a selection of 100,000 tasks with their tags, and the list's "Selected" view on them.
//   search_bench [--tasks N]   (default 1,000,000; the data file is made once in a temporary folder)
// Prints the time of each case and its slowest slice (one timer tick of the search window).

#include "BenchTasks.h"
#include "platform/DateTime.h"
#include "scheduler/ui/ScheduleList.h"
#include "search/Scan.h"
#include "store/Table.h"
#include "store/Transaction.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

int g_tasks = 1000000;

struct Figure {
    double seconds = 0;
    double slowestTickMs = 0;
    double startMs = 0; // choosing the start and the progress total
    qint64 matched = 0;
    qint64 examined = 0;
};

Figure Select(kr::Store& store, kr::Tags& tags, const kr::Criterion& c) {
    tags.newTag(kr::kSelectedTasks);
    QElapsedTimer all;
    all.start();
    kr::ScheduleScan scan(store, {c}, kr::SearchMode::Select, tags);
    Figure f;
    f.startMs = static_cast<double>(all.nsecsElapsed()) / 1e6;
    for (;;) {
        QElapsedTimer tick;
        tick.start();
        const kr::ScheduleScan::Result r = scan.step();
        f.slowestTickMs = std::max(f.slowestTickMs, static_cast<double>(tick.nsecsElapsed()) / 1e6);
        if (r != kr::ScheduleScan::Result::Working)
            break;
    }
    f.seconds = static_cast<double>(all.nsecsElapsed()) / 1e9;
    f.matched = scan.matched();
    f.examined = scan.examined();
    return f;
}

// Every match through edit mode's "find next": the scan without the tagging.
Figure Find(kr::Store& store, kr::Tags& tags, const kr::Criterion& c) {
    QElapsedTimer all;
    all.start();
    kr::ScheduleScan scan(store, {c}, kr::SearchMode::Edit, tags);
    Figure f;
    f.startMs = static_cast<double>(all.nsecsElapsed()) / 1e6;
    for (;;) {
        QElapsedTimer tick;
        tick.start();
        const kr::ScheduleScan::Result r = scan.step();
        f.slowestTickMs = std::max(f.slowestTickMs, static_cast<double>(tick.nsecsElapsed()) / 1e6);
        if (r == kr::ScheduleScan::Result::Done || r == kr::ScheduleScan::Result::Failed)
            break;
    }
    f.seconds = static_cast<double>(all.nsecsElapsed()) / 1e9;
    f.matched = scan.matched();
    f.examined = scan.examined();
    return f;
}

void Print(const char* name, const Figure& f) {
    std::printf("%-44s %8.3f s  start %7.1f ms  slowest tick %7.1f ms  matched %7lld  examined %8lld\n", name,
                f.seconds, f.startMs, f.slowestTickMs, static_cast<long long>(f.matched),
                static_cast<long long>(f.examined));
    std::fflush(stdout);
}

kr::Criterion On(int field, int type, const kr::Schedule& example) {
    return kr::MakeCriterion(field, type, example);
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--tasks") == 0)
            g_tasks = std::atoi(argv[i + 1]);
    QGuiApplication app(argc, argv);
    kr::test::TempDir dir;
    kr::test::ScriptedDialogs dialogs;
    kr::test::ThrowingProgramEnd end;
    kr::Store store(dir.path(), dialogs, end);
    store.declareLayouts();
    QElapsedTimer fill;
    fill.start();
    kr::bench::FillHistory(store, g_tasks);
    std::printf("%d tasks written in %.1f s\n", g_tasks, static_cast<double>(fill.elapsed()) / 1000.0);
    kr::Tags tags(store, {});

    kr::Schedule example;
    example.description = QStringLiteral("backup");
    Print("(a) description begins with, 1,000",
          Select(store, tags, On(kr::Schedule::DESCRIPTION, kr::BeginsWith, example)));
    example.date = kr::DateFromYmd(2019, 6, 1);
    Print("(b) date in this year, 10,000",
          Select(store, tags, On(kr::Schedule::DATE, kr::SameYear, example)));
    example.message = QStringLiteral("needle");
    Print("(c) message contains (full scan), 1,000",
          Select(store, tags, On(kr::Schedule::MESSAGE, kr::Contains, example)));
    example.description = QStringLiteral("bulk");
    Print("(d0) the same 100,000 found, without tags",
          Find(store, tags, On(kr::Schedule::DESCRIPTION, kr::BeginsWith, example)));
    Print("(d) select 100,000 with their tags",
          Select(store, tags, On(kr::Schedule::DESCRIPTION, kr::BeginsWith, example)));

    // "Date less than": the tasks without date or time that the date key leaves out are
    // looked for as well (there are none here).
    example.date = kr::DateFromYmd(2019, 1, 5);
    Print("(f) date less than, with the left-out query",
          Find(store, tags, On(kr::Schedule::DATE, kr::LessThan, example)));

    QElapsedTimer open;
    open.start();
    kr::ScheduleListModel model(store, QStringLiteral("d3"));
    kr::ScheduleListModel::Filter f;
    f.view = kr::ScheduleView::Selected;
    f.tagged = tags.listTags(kr::kSelectedTasks);
    const double tagsRead = static_cast<double>(open.nsecsElapsed()) / 1e9;
    model.setFilter(std::move(f));
    for (int r = 0; r < 30 && r < model.rowCount(); ++r)
        (void)model.data(model.index(r, kr::ScheduleListModel::DescriptionColumn), Qt::DisplayRole);
    std::printf("%-44s %8.3f s  (tags read in %.3f s)  rows %d\n", "(e) \"Selected\" view on 100,000 tags",
                static_cast<double>(open.nsecsElapsed()) / 1e9, tagsRead, model.rowCount());
    return 0;
}
