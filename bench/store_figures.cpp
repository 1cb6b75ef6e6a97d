// The store's figures, one measurement each, on real enciphered files in a temporary folder:
//
//   store_figures list CLI [RUNS]     kelvray-cli list on a small file (median and best of RUNS)
//   store_figures fill N [adds]       N bulk adds in one transaction, a whole-key scan of them,
//                                     and a schedule view's first rows and jumps ("adds": the adds only)
//   store_figures scan [next|date|id] the scans of `fill` again on the file a `fill` left in
//                                     KELVRAY_BENCH_DIR
//   store_figures import LINES        importing a script file of LINES lines (stops after 120 s)
//   store_figures writers [SECONDS]   four writer processes; the longest single store call and
//                                     the longest reservation of a record number
//
// The 1,000,000-row runs take minutes; run them one at a time on a quiet machine.

#include "platform/DateTime.h"
#include "platform/Progress.h"
#include "script/ScriptCommands.h"
#include "script/ScriptFile.h"
#include "store/KeyView.h"
#include "store/Numbering.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using namespace kr;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// CPU time of the process, which a busy machine disturbs less than the wall clock.
double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000 + static_cast<double>(ts.tv_nsec) / 1e6;
}

struct Files {
    test::TempDir temp;
    QDir dir;
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    Store store;
    // In a temporary folder, or in KELVRAY_BENCH_DIR when set (kept for later `scan` runs).
    Files()
        : dir(qEnvironmentVariableIsSet("KELVRAY_BENCH_DIR") ? qEnvironmentVariable("KELVRAY_BENCH_DIR")
                                                             : temp.path())
        , store(dir.path(), dialogs, end) {
        store.declareLayouts();
    }
};

Schedule Task(int i, int total) {
    Schedule t;
    t.id = i;
    t.taskType = QStringLiteral("Run Program");
    t.description = QStringLiteral("Task %1").arg(i);
    t.category = i % 3 == 0 ? QStringLiteral("Work") : QStringLiteral("Home");
    t.command = QStringLiteral("/bin/true");
    t.scheduleType = QStringLiteral("Once");
    t.date = DateFromYmd(2020, 1, 1) + (i * 7) % 2500;
    t.time = 1 + (i * 7919) % 8640000;
    t.completed = t.disabled = i <= total - 1000 ? 1 : 0;
    t.networkUser = QStringLiteral("station%1").arg(i % 4);
    return t;
}

int List(const QString& cli, int runs) {
    Files f;
    {
        Table<Schedule> tasks(f.store);
        for (int i = 1; i <= 20; ++i) {
            Schedule t = Task(i, 20);
            tasks.add(t);
        }
    }
    std::vector<double> times;
    std::vector<double> cpus;
    const QByteArray program = cli.toLocal8Bit();
    const QByteArray dir = f.dir.path().toLocal8Bit();
    for (int r = 0; r < runs; ++r) {
        const auto start = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            dup2(null, 1);
            execl(program.constData(), program.constData(), "list", "--data-dir", dir.constData(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        times.push_back(Ms(start));
        cpus.push_back(static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "kelvray-cli list failed\n");
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::sort(cpus.begin(), cpus.end());
    std::printf("kelvray-cli list, 20 tasks: median %.1f ms, best %.1f ms, median CPU %.1f ms (%d runs)\n",
                times[times.size() / 2], times.front(), cpus[cpus.size() / 2], runs);
    return 0;
}

int Scans(Table<Schedule>& tasks, const QString& only = {});

int Fill(int n, bool addsOnly) {
    Files f;
    Table<Schedule> tasks(f.store);
    auto start = Clock::now();
    double cpu = CpuMs();
    {
        Transaction tx;
        tx.begin({&tasks});
        for (int i = 1; i <= n; ++i) {
            Schedule t = Task(i, n);
            if (tasks.add(t) != Err::None) {
                std::fprintf(stderr, "add failed: %s\n", qPrintable(tasks.error().describe()));
                return 1;
            }
        }
        if (tx.commit() != Err::None)
            return 1;
    }
    const double fill = Ms(start);
    std::printf("%d bulk adds: %.2f s, CPU %.2f s (%.1f us per add), file %.0f MB\n", n, fill / 1000,
                (CpuMs() - cpu) / 1000, fill * 1000 / n,
                static_cast<double>(QFileInfo(f.dir.filePath(kDataFileName)).size()) / 1e6);
    return addsOnly ? 0 : Scans(tasks);
}

int Scan(const QString& only) {
    if (!qEnvironmentVariableIsSet("KELVRAY_BENCH_DIR")) {
        std::fprintf(stderr, "scan: set KELVRAY_BENCH_DIR to a folder a `fill` left\n");
        return 2;
    }
    Files f;
    Table<Schedule> tasks(f.store);
    return Scans(tasks, only);
}

int Scans(Table<Schedule>& tasks, const QString& only) {
    auto start = Clock::now();
    double cpu = CpuMs();
    Schedule t;
    int seen = 0;
    if (only.isEmpty() || only == QStringLiteral("next")) {
        tasks.set(Schedule::KEYDATE);
        while (tasks.next(t) == Err::None)
            ++seen;
        std::printf("whole-key scan through next(): %d records in %.0f ms, CPU %.0f ms\n", seen, Ms(start),
                    CpuMs() - cpu);
    }

    std::vector<Schedule> batch;
    // As the long scans read: each next batch asked for while the current one is taken in.
    tasks.readAhead();
    if (only.isEmpty() || only == QStringLiteral("date")) {
        start = Clock::now();
        cpu = CpuMs();
        tasks.set(Schedule::KEYDATE);
        seen = 0;
        while (tasks.nextBatch(batch, 512) == Err::None)
            seen += static_cast<int>(batch.size());
        std::printf("whole-key scan through nextBatch(512): %d records in %.0f ms, CPU %.0f ms\n", seen,
                    Ms(start), CpuMs() - cpu);
    }

    if (only.isEmpty() || only == QStringLiteral("id")) {
        start = Clock::now();
        cpu = CpuMs();
        tasks.set(Schedule::KEYID);
        seen = 0;
        while (tasks.nextBatch(batch, 512) == Err::None)
            seen += static_cast<int>(batch.size());
        std::printf("number-key scan through nextBatch(512): %d records in %.0f ms, CPU %.0f ms\n", seen,
                    Ms(start), CpuMs() - cpu);
    }
    if (!only.isEmpty())
        return 0;

    for (int round = 0; round < 2; ++round) {
        start = Clock::now();
        KeyView view(tasks, Schedule::KEYDATE);
        const qint64 count = view.count();
        std::vector<qint64> rows;
        view.rowids(0, 30, rows);
        std::printf("view by date, %s: count %lld and first 30 rows in %.1f ms\n",
                    round == 0 ? "first open" : "second open", static_cast<long long>(count), Ms(start));
        for (double at : {0.5, 0.25, 0.999}) {
            start = Clock::now();
            view.rowids(static_cast<qint64>(at * static_cast<double>(count)), 30, rows);
            std::printf("  jump to %.1f%%: 30 rows in %.2f ms\n", at * 100, Ms(start));
        }
        start = Clock::now();
        const qint64 pos = view.positionOf(rows.empty() ? 1 : rows.front());
        std::printf("  position of a row (%lld) in %.2f ms\n", static_cast<long long>(pos), Ms(start));
    }
    return 0;
}

class TimedProgress final : public Progress {
public:
    explicit TimedProgress(double limitMs)
        : limitMs_(limitMs) {}
    void doBegin(const QString&, const QString&) override { start_ = Clock::now(); }
    void doUpdate(int percent) override { percent_ = percent; }
    bool cancelled() const override { return Ms(start_) > limitMs_; }
    void end() override {}
    int percent() const { return percent_; }

private:
    double limitMs_;
    Clock::time_point start_ = Clock::now();
    int percent_ = 0;
};

int Import(int lines) {
    Files f;
    const QString path = f.dir.filePath(QStringLiteral("big.krs"));
    {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < lines; ++i) {
            ExchangeRecord r;
            r.type = i % 2 == 0 ? QStringLiteral("Wait") : QStringLiteral("Send Keystrokes");
            r.fields[0] = i % 2 == 0 ? QStringLiteral("10") : QStringLiteral("Line %1{ENTER}").arg(i);
            out.write((FormatExchangeLine(r) + QLatin1Char('\n')).toUtf8());
        }
    }
    TimedProgress progress(120000);
    const auto start = Clock::now();
    const double cpu = CpuMs();
    const int added = ImportScript(f.store, progress, 1, path);
    const double ms = Ms(start);
    std::printf("script import of %d lines: %d items in %.2f s, CPU %.2f s%s\n", lines, added, ms / 1000,
                (CpuMs() - cpu) / 1000, added < lines ? " (stopped at the time limit)" : "");
    return 0;
}

// One writer: numbers and writes tasks as the task form and kelvray-cli do (a number reserved
// outside any transaction, then the record written), and now and then adds a run of records in
// one transaction as an import does. Prints its longest single call and its longest
// reservation of a record number, each a wait the task form's window would see whole.
int Writer(const QString& dir, double seconds) {
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    Store store(dir, dialogs, end);
    store.declareLayouts();
    Table<Schedule> tasks(store);
    double longest = 0;
    double longestReservation = 0;
    int calls = 0;
    int busy = 0;
    int reservations = 0;
    auto timed = [&](auto&& call) {
        const auto start = Clock::now();
        const Err e = call();
        longest = std::max(longest, Ms(start));
        ++calls;
        if (e == Err::IsLocked)
            ++busy;
        return e;
    };
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    int round = 0;
    while (Clock::now() < until) {
        Schedule t = Task(0, 0);
        const auto start = Clock::now();
        // Three failed adds in a row ask whether to go on; the scripted answer is Cancel.
        const bool reserved = ReserveRecordNumber(tasks, t);
        longestReservation = std::max(longestReservation, Ms(start));
        ++reservations;
        if (!reserved) {
            ++busy;
            continue;
        }
        t.networkUser = QStringLiteral("writer");
        timed([&] { return tasks.put(t); });
        if (++round % 20 == 0) {
            Transaction tx;
            if (timed([&] { return tx.begin({&tasks}); }) != Err::None)
                continue;
            for (int i = 0; i < 200; ++i) {
                Schedule h = Task(1000000 + round * 1000 + i, 0);
                h.id = 0;
                tasks.add(h);
            }
            timed([&] { return tx.commit(); });
        }
    }
    std::printf("%.1f %.1f %d %d %d\n", longest, longestReservation, calls, reservations, busy);
    return 0;
}

int Writers(const QString& self, double seconds) {
    Files f;
    { Table<Schedule> tasks(f.store); }
    std::vector<std::unique_ptr<QProcess>> procs;
    for (int i = 0; i < 4; ++i) {
        auto p = std::make_unique<QProcess>();
        p->start(self, {QStringLiteral("writer"), f.dir.path(), QString::number(seconds)});
        procs.push_back(std::move(p));
    }
    double longest = 0;
    double longestReservation = 0;
    int calls = 0;
    int reservations = 0;
    int busy = 0;
    for (auto& p : procs) {
        p->waitForFinished(static_cast<int>(seconds * 1000) + 60000);
        const QStringList parts =
            QString::fromLatin1(p->readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
        if (parts.size() != 5) {
            std::fprintf(stderr, "a writer failed: %s\n", p->readAllStandardError().constData());
            return 1;
        }
        longest = std::max(longest, parts[0].toDouble());
        longestReservation = std::max(longestReservation, parts[1].toDouble());
        calls += parts[2].toInt();
        reservations += parts[3].toInt();
        busy += parts[4].toInt();
    }
    std::printf("four writers for %.0f s: longest single store call %.0f ms, longest record-number "
                "reservation %.0f ms (%d calls, %d reservations, %d gave up busy)\n",
                seconds, longest, longestReservation, calls, reservations, busy);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString what = args.value(1);
    if (what == QStringLiteral("list") && args.size() >= 3)
        return List(args[2], args.value(3, QStringLiteral("31")).toInt());
    if (what == QStringLiteral("fill") && args.size() >= 3)
        return Fill(args[2].toInt(), args.value(3) == QStringLiteral("adds"));
    if (what == QStringLiteral("scan"))
        return Scan(args.value(2));
    if (what == QStringLiteral("import") && args.size() >= 3)
        return Import(args[2].toInt());
    if (what == QStringLiteral("writers"))
        return Writers(QCoreApplication::applicationFilePath(),
                       args.value(2, QStringLiteral("10")).toDouble());
    if (what == QStringLiteral("writer") && args.size() >= 4)
        return Writer(args[2], args[3].toDouble());
    std::fprintf(stderr,
                 "usage: store_figures list CLI [RUNS] | fill N [adds] | scan [next|date|id] | import LINES "
                 "| writers [SECONDS]\n");
    return 2;
}
