// The timer that runs the tick at the first task's due moment.

#include "scheduler/DueTimer.h"
#include "../store/Peer.h"
#include "platform/FileChanges.h"
#include "scheduler/Occurrence.h"
#include "store/Numbering.h"
#include "store/WriteCount.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "scheduler_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        new QCoreApplication(argc, argv);
}

class DueTimerTest : public ::testing::Test {
protected:
    DueTimerTest() {
        EnsureApplication();
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        tasks = std::make_unique<Table<Schedule>>(*store);
        timer = std::make_unique<DueTimer>(*store, clock, state, [this] { ++ticks; });
    }
    qint32 addTask(Time time, quint8 disabled = 0) {
        Schedule t;
        t.taskType = QStringLiteral("None");
        t.scheduleType = kDayOfWeek;
        t.description = QStringLiteral("Task");
        t.date = clock.today();
        t.time = time;
        t.disabled = disabled;
        EXPECT_TRUE(ReserveRecordNumber(*tasks, t));
        return t.id;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 0, 0)};
    ProgramState state;
    std::unique_ptr<Store> store;
    std::unique_ptr<Table<Schedule>> tasks;
    int ticks = 0;
    std::unique_ptr<DueTimer> timer;
};

TEST_F(DueTimerTest, IsSetForTheFirstEnabledTaskOnly) {
    timer->rearm();
    EXPECT_FALSE(timer->armed()); // nothing to wait for

    addTask(TimeFromHms(9, 0, 2), 1); // disabled: never due
    timer->rearm();
    EXPECT_FALSE(timer->armed());

    addTask(TimeFromHms(9, 0, 5));
    addTask(TimeFromHms(9, 30, 0));
    timer->rearm();
    ASSERT_TRUE(timer->armed());
    EXPECT_GT(timer->remainingMs(), 4900);
    EXPECT_LE(timer->remainingMs(), 5001);

    // Due already: the running tick takes it, the timer does not spin.
    clock.advance(500);
    timer->rearm();
    EXPECT_FALSE(timer->armed());

    // Inactive: nothing is run, so nothing is waited for.
    clock.set(clock.today(), TimeFromHms(9, 0, 0));
    state.schedulerActive = false;
    timer->rearm();
    EXPECT_FALSE(timer->armed());
}

TEST_F(DueTimerTest, ScheduleChangedSetsItAgain) {
    addTask(TimeFromHms(9, 30, 0));
    timer->rearm();
    ASSERT_TRUE(timer->armed());
    EXPECT_GT(timer->remainingMs(), 1700 * 1000);

    addTask(TimeFromHms(9, 0, 3));
    state.listeners.post();
    QCoreApplication::processEvents();
    ASSERT_TRUE(timer->armed());
    EXPECT_LE(timer->remainingMs(), 3001);
}

TEST_F(DueTimerTest, RunsTheTickAtTheDueMomentAndNotBefore) {
    addTask(TimeFromHms(9, 0, 0) + 30); // 0.3 s ahead
    timer->rearm();
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (ticks > 0)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    EXPECT_EQ(ticks, 1);
    EXPECT_GE(elapsed.elapsed(), 300);
}

TEST_F(DueTimerTest, WhileNothingIsWrittenTheFirstTaskIsNotReadAgainAndAnotherProcesssWriteIsSeen) {
    FileChanges changes(store->filePath(Schedule::decl()), {QStringLiteral("-journal"), QStringLiteral("-wal")});
    ASSERT_TRUE(changes.watching());
    std::uint64_t told = 0;
    QObject::connect(&changes, &FileChanges::changed, [&] { ++told; });
    timer->setChangeMark([&]() -> std::optional<std::uint64_t> { return told + WritesThroughTables(); });
    const qint32 first = addTask(TimeFromHms(9, 0, 5));
    addTask(TimeFromHms(9, 30, 0));
    // The kernel's word on our own writes arrives a moment later, and moves the mark once more.
    TurnLoopUntil([] { return false; }, 300);
    timer->rearm();
    const int reads = timer->reads();
    for (int i = 0; i < 5; ++i)
        timer->rearm();
    EXPECT_EQ(timer->reads(), reads);
    ASSERT_TRUE(timer->armed());
    // The time goes on: the timer follows the moment it read, still without reading.
    clock.advance(200);
    timer->rearm();
    EXPECT_EQ(timer->reads(), reads);
    EXPECT_LE(timer->remainingMs(), 3001);
    EXPECT_GT(timer->remainingMs(), 2500);

    // Another process removes the first task: the kernel tells, and the next look reads.
    Peer peer(dir.path());
    const std::uint64_t before = told;
    EXPECT_EQ(peer.ask(QStringLiteral("delete %1").arg(first)), QStringLiteral("0"));
    EXPECT_TRUE(TurnLoopUntil([&] { return told > before; }));
    timer->rearm();
    EXPECT_EQ(timer->reads(), reads + 1);
    EXPECT_GT(timer->remainingMs(), 1700 * 1000);
}

} // namespace
} // namespace kr::test
