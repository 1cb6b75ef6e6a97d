// How late a due task starts: the time from its due moment to its message being shown, with
// the frame's coarse 1.25 s tick alone and with the due timer beside it. Real clock, real data
// file, the real monitor.
//
//   due_latency [tasks]     prints median and worst latency in milliseconds for both

#include "platform/Processes.h"
#include "scheduler/DueTimer.h"
#include "scheduler/Monitor.h"
#include "scheduler/Occurrence.h"
#include "store/Numbering.h"
#include "support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

using namespace kr;

struct Silent final : Sound {
    void beep() override {}
    void play(const QString&) override {}
};

// Notes when each task's message comes up.
struct Stopwatch final : MessageDisplay {
    std::vector<qint64> shownAt; // ms since the epoch
    int openCount() const override { return 0; }
    void show(const MessageInputs&) override { shownAt.push_back(QDateTime::currentMSecsSinceEpoch()); }
};

qint64 MomentMs(Date date, Time time) {
    return QDateTime(ToQDate(date), QTime::fromMSecsSinceStartOfDay((time - 1) * 10)).toMSecsSinceEpoch();
}

std::vector<qint64> Measure(int count, bool precise) {
    QTemporaryDir dir;
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    SystemClock clock;
    Settings settings;
    ProgramState state;
    ActiveScriptQueue queue;
    NoFrame frame;
    Silent sound;
    Stopwatch messages;
    LinuxProcesses processes;
    Store store(dir.path(), dialogs, end);
    store.declareLayouts();
    EventLog log(dir.filePath(kEventLogName), settings, clock);
    Launcher launcher({store, settings, clock, dialogs, log, queue, processes, frame});
    DueTaskMonitor monitor(
        {store, settings, clock, dialogs, log, queue, state, frame, sound, messages, launcher});

    // Tasks about 2.3 s apart at odd hundredths, starting two seconds from now: far enough
    // apart that the tick alone is never still busy with the one before.
    std::mt19937 random(42);
    std::vector<qint64> due;
    {
        Table<Schedule> tasks(store);
        Date date = clock.today();
        Time time = clock.now() + 200;
        for (int i = 0; i < count; ++i) {
            AddToMoment(date, time, 200 + static_cast<int>(random() % 61));
            Schedule t;
            t.taskType = QStringLiteral("Display Message");
            t.description = QStringLiteral("Task %1").arg(i);
            t.scheduleType = kOnce;
            t.noHistory = 1;
            t.date = date;
            t.time = time;
            ReserveRecordNumber(tasks, t);
            due.push_back(MomentMs(date, time));
        }
    }

    QTimer tick; // the frame's idle tick: 1.25 s, a coarse timer as the frame's is
    tick.setInterval(1250);
    std::unique_ptr<DueTimer> dueTimer;
    auto scan = [&] {
        monitor.scanDueTask();
        if (dueTimer)
            dueTimer->rearm();
        if (static_cast<int>(messages.shownAt.size()) == count)
            QCoreApplication::quit();
    };
    if (precise)
        dueTimer = std::make_unique<DueTimer>(store, clock, state, scan);
    QObject::connect(&tick, &QTimer::timeout, scan);
    tick.start();
    scan();
    QTimer giveUp; // this run's own: it must not end the next one
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::quit(); });
    giveUp.start(count * 3000 + 5000);
    QCoreApplication::exec();

    std::vector<qint64> late;
    for (std::size_t i = 0; i < messages.shownAt.size() && i < due.size(); ++i)
        late.push_back(messages.shownAt[i] - due[i]);
    return late;
}

void Report(const char* what, std::vector<qint64> late, int count) {
    if (late.empty()) {
        std::printf("%-24s no task ran\n", what);
        return;
    }
    std::sort(late.begin(), late.end());
    std::printf("%-24s tasks %zu/%d  median %lld ms  worst %lld ms  best %lld ms\n", what, late.size(), count,
                static_cast<long long>(late[late.size() / 2]), static_cast<long long>(late.back()),
                static_cast<long long>(late.front()));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 12;
    Report("tick alone", Measure(count, false), count);
    Report("tick with due timer", Measure(count, true), count);
    return 0;
}
