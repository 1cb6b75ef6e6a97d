// What the run records cost, on real enciphered files in a temporary folder (or
// KELVRAY_BENCH_DIR):
//
//   runs_figures [TASKS] [RUNS] [--files-every N]
//
// TASKS (100,000) tasks and RUNS (1,000,000) run records over them, due over the last 300 days,
// every Nth (10) with an output file, are written once; then
//   record     the cost a run record adds to a launch: the record made, the start and the end
//              written (the median of 200, in microseconds)
//   status     `kelvray-cli status` on them, a process of its own (the median of 3, wall)
//   list       the schedule list's first rows with its last-result column
//   removal    every run record and its file going with the history, a slice on each tick of
//              the frame: the longest time the frame did not answer, and the whole removal

#include "platform/Processes.h"
#include "scheduler/Monitor.h"
#include "scheduler/RunRecorder.h"
#include "scheduler/ui/ScheduleList.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace kr;

const Date kToday = DateFromYmd(2026, 12, 8);

struct Silent final : Sound {
    void beep() override {}
    void play(const QString&) override {}
};

void Fill(const QString& dir, int taskCount, int runCount, int filesEvery) {
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    Store store(dir, dialogs, end);
    store.declareLayouts();
    Table<Schedule> tasks(store);
    Table<Runs> runs(store);
    QDir().mkpath(QDir(dir).filePath(QStringLiteral("runs")));
    Transaction tx;
    tx.begin({&tasks, &runs});
    for (int i = 1; i <= taskCount; ++i) {
        Schedule t;
        t.id = i;
        t.taskType = QStringLiteral("Run Program");
        t.description = QStringLiteral("Task %1").arg(i);
        t.command = QStringLiteral("/bin/true");
        t.scheduleType = QStringLiteral("Day of Week");
        t.date = kToday + 1 + i % 300;
        t.time = 1 + (i * 7919) % 8640000;
        tasks.add(t);
    }
    for (int i = 1; i <= runCount; ++i) {
        Runs r;
        r.run = i;
        r.taskId = 1 + (i * 7919) % taskCount;
        r.description = QStringLiteral("Task %1").arg(r.taskId);
        r.station = QStringLiteral("bench");
        r.trigger = QStringLiteral("due");
        // In the order they ran: the older a record, the lower its number.
        r.dueDate = r.startDate = kToday - 300 + static_cast<int>(static_cast<qint64>(i) * 300 / runCount);
        r.dueTime = r.startTime = 1 + (i * 104729) % 8640000;
        r.result = QStringLiteral("ended");
        r.exited = 1;
        r.exitStatus = i % 17 == 0 ? 1 : 0;
        r.duration = 1200;
        r.bytesLeftOut = QStringLiteral("0");
        if (filesEvery > 0 && i % filesEvery == 0) {
            r.output = QStringLiteral("%1.out").arg(i);
            QFile f(QDir(dir).filePath(QStringLiteral("runs/") + r.output));
            if (f.open(QIODevice::WriteOnly))
                f.write("done\n");
            r.bytesKept = 5;
        }
        runs.add(r);
    }
    if (tx.commit() != Err::None)
        std::fprintf(stderr, "could not fill the data file\n");
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int taskCount = 100000;
    int runCount = 1000000;
    int filesEvery = 10;
    QStringList numbers;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--files-every") && i + 1 < args.size())
            filesEvery = args[++i].toInt();
        else
            numbers << args[i];
    }
    if (!numbers.isEmpty())
        taskCount = std::max(1, numbers[0].toInt());
    if (numbers.size() > 1)
        runCount = std::max(1, numbers[1].toInt());
    test::TempDir temp;
    const QString dir =
        qEnvironmentVariableIsSet("KELVRAY_BENCH_DIR") ? qEnvironmentVariable("KELVRAY_BENCH_DIR") : temp.path();
    QDir().mkpath(dir);
    QElapsedTimer fill;
    fill.start();
    Fill(dir, taskCount, runCount, filesEvery);
    std::printf("%d tasks, %d run records (every %d with a file) in %s, written in %.1f s\n", taskCount, runCount,
                filesEvery, qPrintable(dir), static_cast<double>(fill.elapsed()) / 1000.0);
    std::fflush(stdout);

    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    test::FakeClock clock{kToday, TimeFromHms(12, 0, 0)};
    Settings settings;
    {
        Store store(dir, dialogs, end);
        store.declareLayouts();
        RunRecorder recorder({store, settings, clock, {}}, QStringLiteral("bench"));
        Schedule task;
        task.id = 1;
        task.description = QStringLiteral("Task 1");
        std::vector<double> us;
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer t;
            t.start();
            recorder.occurrence(task, run::kRunNow, run::kStarted);
            RunStarted started;
            started.run = static_cast<std::uint64_t>(i + 1);
            started.taskId = 1;
            started.kind = RunStarted::Kind::Process;
            started.pid = 4242;
            started.startedUtc = QDateTime::currentDateTimeUtc();
            recorder.runStarted(started);
            recorder.launchDone();
            RunEnded ended;
            ended.run = started.run;
            ended.pid = 4242;
            ended.how = ProcessEnd::How::Exited;
            ended.startedUtc = started.startedUtc;
            ended.endedUtc = QDateTime::currentDateTimeUtc();
            recorder.runEnded(ended);
            us.push_back(static_cast<double>(t.nsecsElapsed()) / 1000.0);
        }
        std::printf("record     a launch's run record (made, started, ended): median %.0f us\n", Median(us));

        std::vector<double> ms;
        for (int i = 0; i < 3; ++i) {
            QProcess cli;
            cli.setStandardOutputFile(QStringLiteral("/dev/null"));
            QElapsedTimer t;
            t.start();
            cli.start(QStringLiteral(KELVRAY_CLI), {QStringLiteral("status"), QStringLiteral("--data-dir"), dir});
            cli.waitForFinished(600000);
            ms.push_back(static_cast<double>(t.elapsed()));
            if (cli.exitCode() != 0)
                std::fprintf(stderr, "status: %s\n", cli.readAllStandardError().constData());
        }
        std::printf("status     kelvray-cli status: median %.0f ms (of 3: %.0f %.0f %.0f)\n", Median(ms), ms[0], ms[1],
                    ms[2]);

        QElapsedTimer t;
        t.start();
        ScheduleListModel list(store, QStringLiteral("d3"));
        ScheduleListModel::Filter f;
        f.view = ScheduleView::AllByDate;
        list.setFilter(f);
        for (int r = 0; r < 30; ++r)
            list.data(list.index(r, ScheduleListModel::LastResultColumn), Qt::DisplayRole);
        std::printf("list       the schedule list's first 30 rows with their last results: %.1f ms\n",
                    static_cast<double>(t.nsecsElapsed()) / 1e6);
        std::fflush(stdout);
    }
    {
        Store store(dir, dialogs, end);
        store.declareLayouts();
        settings.historyExpires = 1;
        ProgramState state;
        ActiveScriptQueue queue;
        NoFrame frame;
        Silent sound;
        BoxMessageDisplay messages{dialogs};
        LinuxProcesses processes;
        EventLog log(QDir(dir).filePath(kEventLogName), settings, clock);
        Launcher launcher({store, settings, clock, dialogs, log, queue, processes, frame});
        DueTaskMonitor monitor({store, settings, clock, dialogs, log, queue, state, frame, sound, messages, launcher});
        RunRecorder recorder({store, settings, clock, {}}, QStringLiteral("bench"));
        monitor.setRunRecorder(&recorder, QDir(dir).filePath(QStringLiteral("runs")));
        qint64 longest = 0;
        int ticks = 0;
        QElapsedTimer whole;
        whole.start();
        bool done = false;
        while (!done) {
            QElapsedTimer slice;
            slice.start();
            done = monitor.removeOldHistory();
            longest = std::max(longest, slice.elapsed());
            ++ticks;
            QCoreApplication::processEvents();
        }
        const qint64 left = Table<Runs>(store).records();
        const qint64 files = static_cast<qint64>(QDir(QDir(dir).filePath(QStringLiteral("runs"))).entryList(QDir::Files).size());
        std::printf("removal    longest slice %lld ms, %d slices, whole removal %.1f s of slices; %lld records and "
                    "%lld files left\n",
                    static_cast<long long>(longest), ticks, static_cast<double>(whole.elapsed()) / 1000.0,
                    static_cast<long long>(left), static_cast<long long>(files));
    }
    return 0;
}
