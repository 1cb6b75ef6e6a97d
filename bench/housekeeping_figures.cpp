// Clearing a large history, and how long the frame did not answer meanwhile. One run on real
// enciphered files in a temporary folder (or KELVRAY_BENCH_DIR):
//
//   housekeeping_figures [ROWS] [--before-rows N] [--tick MS]
//
// ROWS (100,000) disabled, completed history entries (numbered in the order they were made,
// over 300 days) and ten tasks to come are written once;
// each measurement works on a fresh copy of that file, inside an event loop whose probe timer
// fires every 10 ms: the longest gap between two probes is the longest time the frame did not
// answer.
//
//   before   the removal as the program did it up to now: one record per commit, all in one call
//            (on the first N rows only when --before-rows is given: it takes minutes)
//   tick     the scheduler's own removal, a slice on each tick of the frame (every MS, 1250)
//   setup    Setup's "Clear all completed tasks" under its progress window

#include "app/Setup.h"
#include "platform/Processes.h"
#include "platform/qt/QtProgress.h"
#include "platform/qt/WindowPosition.h"
#include "scheduler/Monitor.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

using namespace kr;

const Date kToday = DateFromYmd(2026, 12, 8);

struct Silent final : Sound {
    void beep() override {}
    void play(const QString&) override {}
};

// Answers every question with Yes, as the user who asked for the clearing would.
class Agreeing final : public Dialogs {
public:
    Button show(const QString& text, const QString& caption, Icon, unsigned buttons, Button def) override {
        if (caption != QStringLiteral("Housekeeping") || (buttons & Yes) == 0)
            std::fprintf(stderr, "  message: %s | %s\n", qPrintable(caption), qPrintable(text));
        return (buttons & Yes) != 0 ? Yes : def;
    }
};

void Fill(const QString& dir, int rows) {
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    Store store(dir, dialogs, end);
    store.declareLayouts();
    Table<Schedule> tasks(store);
    Transaction tx;
    tx.begin({&tasks});
    for (int i = 1; i <= rows; ++i) {
        Schedule t;
        t.id = i;
        t.taskType = QStringLiteral("Run Program");
        t.scheduleType = QStringLiteral("Day of Week");
        t.description = QStringLiteral("History %1").arg(i);
        t.category = i % 3 == 0 ? QStringLiteral("Work") : QStringLiteral("Home");
        t.command = QStringLiteral("/bin/true");
        // Added as the tasks ran: the older an entry, the lower its number.
        t.date = kToday - 400 + static_cast<int>(static_cast<qint64>(i) * 300 / rows);
        t.time = 1 + (i * 7919) % 8640000;
        t.disabled = 1;
        t.completed = 1;
        t.advanceWarned = 1;
        tasks.add(t);
    }
    for (int i = 1; i <= 10; ++i) {
        Schedule t;
        t.id = rows + i;
        t.taskType = QStringLiteral("Run Program");
        t.scheduleType = QStringLiteral("Day of Week");
        t.description = QStringLiteral("Upcoming %1").arg(i);
        t.date = kToday + 1;
        t.time = TimeFromHms(9, i, 0);
        tasks.add(t);
    }
    if (tx.commit() != Err::None)
        std::fprintf(stderr, "could not fill the data file\n");
}

// A fresh copy of the filled data file in a folder of its own.
QString CopyOf(const QString& filled, const QString& name) {
    const QString dir = QDir(filled).filePath(name);
    QDir().mkpath(dir);
    QFile::remove(QDir(dir).filePath(kDataFileName));
    QFile::copy(QDir(filled).filePath(kDataFileName), QDir(dir).filePath(kDataFileName));
    return dir;
}

struct Answering {
    qint64 longestMs = 0; // the longest gap between two probes
    qint64 totalMs = 0;
};

// Runs `start` from an event loop with a probe every 10 ms; `start` calls `done` at the end.
Answering Measure(const std::function<void(const std::function<void()>& done)>& start) {
    QEventLoop loop;
    QElapsedTimer wall;
    QElapsedTimer sinceProbe;
    Answering a;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout,
                     [&] { a.longestMs = std::max(a.longestMs, sinceProbe.restart()); });
    bool finished = false;
    QTimer::singleShot(0, [&] {
        wall.start();
        sinceProbe.start();
        probe.start();
        start([&] {
            finished = true;
            a.longestMs = std::max(a.longestMs, sinceProbe.elapsed());
            a.totalMs = wall.elapsed();
            loop.quit();
        });
    });
    if (!finished)
        loop.exec();
    return a;
}

qint64 Records(const QString& dir) {
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    Store store(dir, dialogs, end);
    return Table<Schedule>(store).records();
}

void Report(const char* what, const Answering& a, const QString& dir, const QString& extra = {}) {
    std::printf("%-7s longest without an answer %8lld ms   whole run %9.1f s   records left %lld%s\n", what,
                static_cast<long long>(a.longestMs), static_cast<double>(a.totalMs) / 1000.0,
                static_cast<long long>(Records(dir)), qPrintable(extra));
    std::fflush(stdout);
}

// The removal as it was: every record in its own commit, all of it in one call.
void RemoveOneByOne(const QString& dir, qint64 limit) {
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    Store store(dir, dialogs, end);
    Table<Schedule> tasks(store);
    Schedule t;
    t.disabled = 1;
    tasks.set(Schedule::KEYDATEENABLED, t);
    qint64 n = 0;
    while (n < limit && tasks.next(t) == Err::None) {
        if (t.date + 30 > kToday)
            break;
        if (t.completed == 0)
            continue;
        tasks.remove(t);
        ++n;
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rows = 100000;
    qint64 beforeRows = -1;
    int tickMs = 1250;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--before-rows") && i + 1 < args.size())
            beforeRows = args[++i].toLongLong();
        else if (args[i] == QStringLiteral("--tick") && i + 1 < args.size())
            tickMs = args[++i].toInt();
        else
            rows = args[i].toInt();
    }
    test::TempDir temp;
    const QString base = qEnvironmentVariableIsSet("KELVRAY_BENCH_DIR")
                             ? qEnvironmentVariable("KELVRAY_BENCH_DIR")
                             : temp.path();
    QDir().mkpath(base);
    std::printf("%d history rows in %s\n", rows, qPrintable(base));
    std::fflush(stdout);
    Fill(base, rows);

    {
        const QString dir = CopyOf(base, QStringLiteral("before"));
        const qint64 limit = beforeRows < 0 ? rows : beforeRows;
        const Answering a = Measure([&](const std::function<void()>& done) {
            RemoveOneByOne(dir, limit);
            done();
        });
        Report("before", a, dir,
               limit < rows ? QStringLiteral("   (first %1 rows only)").arg(limit) : QString());
    }
    {
        const QString dir = CopyOf(base, QStringLiteral("tick"));
        test::ScriptedDialogs dialogs;
        test::ThrowingProgramEnd end;
        test::FakeClock clock{kToday, TimeFromHms(12, 0, 0)};
        Store store(dir, dialogs, end);
        store.declareLayouts();
        Settings settings;
        settings.historyExpires = 30;
        ProgramState state;
        ActiveScriptQueue queue;
        NoFrame frame;
        Silent sound;
        BoxMessageDisplay messages{dialogs};
        LinuxProcesses processes;
        EventLog log(QDir(dir).filePath(kEventLogName), settings, clock);
        Launcher launcher({store, settings, clock, dialogs, log, queue, processes, frame});
        DueTaskMonitor monitor(
            {store, settings, clock, dialogs, log, queue, state, frame, sound, messages, launcher});
        int ticks = 0;
        QTimer tick;
        tick.setInterval(tickMs);
        const Answering a = Measure([&](const std::function<void()>& done) {
            QObject::connect(&tick, &QTimer::timeout, [&, done] {
                ++ticks;
                monitor.scanDueTask();
                monitor.checkAdvanceWarnings();
                if (monitor.removeOldHistory()) {
                    tick.stop();
                    done();
                }
            });
            tick.start();
        });
        Report("tick", a, dir, QStringLiteral("   (%1 ticks of %2 ms)").arg(ticks).arg(tickMs));
    }
    {
        const QString dir = CopyOf(base, QStringLiteral("setup"));
        Agreeing dialogs;
        test::ThrowingProgramEnd end;
        Store store(dir, dialogs, end);
        store.declareLayouts();
        ConfigStore config(store, QDir(dir).filePath(QStringLiteral("KR98.INI")));
        Settings settings;
        config.loadSettings(settings);
        SetupEnvironment env{store, config, settings, dialogs, IniFile(QDir(dir).filePath(kPositionIniName)),
                             false, {},     {},       nullptr, nullptr,
                             {},    {}};
        Setup window(env);
        window.show();
        const Answering a = Measure([&](const std::function<void()>& done) {
            window.clearCompletedTasks();
            done();
        });
        Report("setup", a, dir);
    }
    return 0;
}
