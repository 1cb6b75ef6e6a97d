// kelvray-cli where a shell user waits, each beside the window's own path on the same data:
// a full scan and a month's keyed range of the search on 1,000,000 tasks, and the
// comma-delimited export and import of 100,000 tasks.
//   cli_figures [--tasks N] [--csv-tasks N] [--runs N]
// The data files are made in a temporary folder, or kept in and taken again from
// $KELVRAY_BENCH_DIR. Each shell figure is the wall time of the whole command (start, reading,
// printing), the best of --runs (3); the window's is the same work through its routine.

#include "BenchTasks.h"
#include "exchange/CsvExchange.h"
#include "exchange/ExchangeTables.h"
#include "search/Scan.h"
#include "store/Store.h"
#include "store/Tags.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

using namespace kr;

int g_runs = 3;

// The best wall time of a few runs of the command, in seconds; its standard output's lines.
double Shell(const QStringList& args, qint64* lines = nullptr, const std::function<void()>& before = {}) {
    double best = 1e9;
    for (int i = 0; i < g_runs; ++i) {
        if (before)
            before();
        QProcess p;
        p.setProcessEnvironment([] {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            // Never the running program of a desktop: the data file itself.
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
            return env;
        }());
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral(KELVRAY_CLI), args);
        p.waitForFinished(600000);
        const double s = static_cast<double>(t.nsecsElapsed()) / 1e9;
        if (p.exitCode() != 0) {
            std::fprintf(stderr, "kelvray-cli %s: %s\n", qPrintable(args.join(QLatin1Char(' '))),
                         p.readAllStandardError().constData());
            std::exit(1);
        }
        if (lines)
            *lines = p.readAllStandardOutput().count('\n');
        best = std::min(best, s);
    }
    return best;
}

// The window's scan: every match found in turn, as its Find Next walks them.
double WindowSearch(Store& store, std::vector<Criterion> criteria, qint64* matched) {
    double best = 1e9;
    for (int i = 0; i < g_runs; ++i) {
        Tags tags(store, {});
        QElapsedTimer t;
        t.start();
        ScheduleScan scan(store, criteria, SearchMode::Edit, tags);
        ScheduleScan::Result r = ScheduleScan::Result::Working;
        while ((r = scan.step()) != ScheduleScan::Result::Done && r != ScheduleScan::Result::Failed) {
        }
        best = std::min(best, static_cast<double>(t.nsecsElapsed()) / 1e9);
        *matched = scan.matched();
    }
    return best;
}

void Row(const char* what, double window, double shell, qint64 windowCount, qint64 shellCount, const char* target) {
    std::printf("%-40s window %7.3f s   kelvray-cli %7.3f s   (%lld / %lld)   target %s\n", what, window, shell,
                static_cast<long long>(windowCount), static_cast<long long>(shellCount), target);
    std::fflush(stdout);
}

// The folder of a data file of `count` tasks, made unless kept from an earlier run.
QString Filled(const QString& base, const QString& name, int count, const std::function<void(Store&)>& fill) {
    const QString dir = QDir(base).filePath(QStringLiteral("%1-%2").arg(name).arg(count));
    const QString marker = QDir(dir).filePath(QStringLiteral("filled"));
    if (QFile::exists(marker))
        return dir;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    Store store(dir, dialogs, end);
    store.declareLayouts();
    QElapsedTimer t;
    t.start();
    fill(store);
    std::printf("%s: %d tasks written in %.1f s\n", qPrintable(name), count, static_cast<double>(t.elapsed()) / 1000);
    QFile f(marker);
    f.open(QIODevice::WriteOnly);
    return dir;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int tasks = 1000000;
    int csvTasks = 100000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--tasks") == 0)
            tasks = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--csv-tasks") == 0)
            csvTasks = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--runs") == 0)
            g_runs = std::max(1, std::atoi(argv[++i]));
    }
    std::unique_ptr<test::TempDir> scratch;
    QString base = qEnvironmentVariable("KELVRAY_BENCH_DIR");
    if (base.isEmpty()) {
        scratch = std::make_unique<test::TempDir>();
        base = scratch->path();
    }
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;

    // The searches.
    {
        const QString dir = Filled(base, QStringLiteral("history"), tasks,
                                   [tasks](Store& s) { bench::FillHistory(s, tasks); });
        Store store(dir, dialogs, end);
        store.declareLayouts();
        qint64 found = 0;
        qint64 printed = 0;
        Schedule example;
        example.message = QStringLiteral("needle");
        double window = WindowSearch(store, {MakeCriterion(Schedule::MESSAGE, Contains, example)}, &found);
        double shell = Shell({QStringLiteral("search"), QStringLiteral("--data-dir"), dir, QStringLiteral("message"),
                              QStringLiteral("contains"), QStringLiteral("needle")},
                             &printed);
        Row("search message contains (full scan)", window, shell, found, printed, "<= 1 s");
        Schedule from;
        from.date = DateFromYmd(2021, 3, 1);
        const Criterion month = MakeCriterion(Schedule::DATE, InsideRange, from, DateFromYmd(2021, 3, 31));
        window = WindowSearch(store, {month}, &found);
        shell = Shell({QStringLiteral("search"), QStringLiteral("--data-dir"), dir, QStringLiteral("date"),
                       QStringLiteral("inside"), QStringLiteral("2021-03-01"), QStringLiteral("2021-03-31")},
                      &printed);
        Row("search date inside a month (keyed)", window, shell, found, printed, "<= 50 ms");
    }

    // The comma-delimited files.
    {
        const QString dir = Filled(base, QStringLiteral("full"), csvTasks, [csvTasks](Store& s) {
            Table<Schedule> t(s);
            Transaction tx;
            tx.begin({&t});
            for (qint32 id = 1; id <= csvTasks; ++id) {
                Schedule task = bench::FullTask(id);
                t.add(task);
            }
            tx.commit();
        });
        const ExchangeTable& table = ScheduleExchange();
        const QString windowFile = QDir(base).filePath(QStringLiteral("window.csv"));
        const QString shellFile = QDir(base).filePath(QStringLiteral("shell.csv"));
        double window = 1e9;
        qint64 written = 0;
        for (int i = 0; i < g_runs; ++i) {
            Store store(dir, dialogs, end);
            store.declareLayouts();
            NoProgress progress;
            QElapsedTimer t;
            t.start();
            written = ExportTable(store, progress, table, table.exportFields, true, windowFile);
            window = std::min(window, static_cast<double>(t.nsecsElapsed()) / 1e9);
        }
        const double shell = Shell({QStringLiteral("export-csv"), QStringLiteral("--data-dir"), dir,
                                    QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--header"),
                                    shellFile});
        QFile a(windowFile);
        QFile b(shellFile);
        a.open(QIODevice::ReadOnly);
        b.open(QIODevice::ReadOnly);
        const bool same = a.readAll() == b.readAll();
        Row(same ? "export-csv, all fields (the same bytes)" : "export-csv, all fields (FILES DIFFER)", window,
            shell, written, written, "<= 2 s");

        const QString into = QDir(base).filePath(QStringLiteral("into"));
        auto empty = [&into] {
            QDir(into).removeRecursively();
            QDir().mkpath(into);
        };
        window = 1e9;
        qint64 added = 0;
        for (int i = 0; i < g_runs; ++i) {
            empty();
            Store store(into, dialogs, end);
            store.declareLayouts();
            NoProgress progress;
            QElapsedTimer t;
            t.start();
            ImportFile in;
            if (!in.load(windowFile, dialogs))
                return 1;
            Assignments assigned;
            AutoAssign(table, in.fields(), assigned);
            added = ImportTable(store, progress, table, in, assigned, true);
            window = std::min(window, static_cast<double>(t.nsecsElapsed()) / 1e9);
        }
        const double importShell =
            Shell({QStringLiteral("import-csv"), QStringLiteral("--data-dir"), into, QStringLiteral("--table"),
                   QStringLiteral("schedule"), QStringLiteral("--auto"), windowFile},
                  nullptr, empty);
        Row("import-csv --auto, all fields", window, importShell, added, added, "<= 15 s");
        QDir(into).removeRecursively();
    }
    return dialogs.shown.empty() ? 0 : 1;
}
