// The next moment a frame with nothing to do must look again: the first due task, the next
// advance warning or midnight, whichever comes first.

#include "scheduler/WakePlan.h"
#include "store/Numbering.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class WakePlanTest : public ::testing::Test {
protected:
    WakePlanTest() {
        EnsureCoreApplication();
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        tasks = std::make_unique<Table<Schedule>>(*store);
        due = std::make_unique<DueTimer>(*store, clock, state, [] {});
        // Sleeps of up to a day, so that the moments themselves decide.
        plan = std::make_unique<WakePlan>(*store, clock, state, *due, kOneDay * 10LL);
    }
    // A task at `time` today; with `warnAt`, warned in advance then.
    void addTask(Time time, Time warnAt = 0, quint8 disabled = 0) {
        Schedule t;
        t.taskType = QStringLiteral("None");
        t.scheduleType = QStringLiteral("Day of Week");
        t.description = QStringLiteral("Task");
        t.date = clock.today();
        t.time = time;
        t.disabled = disabled;
        t.advanceWarned = warnAt == 0 ? 1 : 0;
        t.advanceWarnDate = warnAt == 0 ? 0 : clock.today();
        t.advanceWarnTime = warnAt;
        ASSERT_TRUE(ReserveRecordNumber(*tasks, t));
    }
    // What the tick does after its scan: the due timer set from the first task.
    qint64 next() {
        due->rearm();
        return plan->msToNext();
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(22, 0, 0)};
    ProgramState state;
    std::unique_ptr<Store> store;
    std::unique_ptr<Table<Schedule>> tasks;
    std::unique_ptr<DueTimer> due;
    std::unique_ptr<WakePlan> plan;
};

TEST_F(WakePlanTest, NothingAheadSleepsToMidnightOrTheLongestSleep) {
    EXPECT_EQ(next(), 2 * 3600 * 1000);
    // The program's own plan looks again every minute at least.
    WakePlan program(*store, clock, state, *due);
    EXPECT_EQ(program.msToNext(), WakePlan::kLongestSleepMs);
    EXPECT_EQ(WakePlan::kLongestSleepMs, 60 * 1000);
    EXPECT_FALSE(plan->msToDue().has_value());
    EXPECT_FALSE(plan->msToWarning().has_value());

    // Midnight: the day's history pass and the new date in the status line.
    clock.set(clock.today(), TimeFromHms(23, 40, 0));
    EXPECT_EQ(next(), 20 * 60 * 1000);
    clock.set(clock.today(), TimeFromHms(23, 59, 59) + 99);
    EXPECT_EQ(next(), 10);

    // Disabled tasks (history) are never due and never warn.
    clock.set(clock.today(), TimeFromHms(22, 0, 0));
    addTask(TimeFromHms(22, 0, 5), 0, 1);
    EXPECT_EQ(next(), 2 * 3600 * 1000);
}

TEST_F(WakePlanTest, TheFirstDueTaskTheNextWarningOrMidnightWhicheverIsFirst) {
    addTask(TimeFromHms(22, 30, 0), TimeFromHms(22, 10, 0));
    addTask(TimeFromHms(22, 5, 0));
    // The due task at 22:05 comes first: the due timer's own wait.
    qint64 ms = next();
    EXPECT_LE(ms, 5 * 60 * 1000 + 10);
    EXPECT_GT(ms, 5 * 60 * 1000 - 1000);
    ASSERT_TRUE(plan->msToWarning().has_value());
    // The warning is given on the first tick after its moment.
    EXPECT_EQ(*plan->msToWarning(), 10 * 60 * 1000 + 10);

    // Past the first task: the warning at 22:10 is next.
    clock.set(clock.today(), TimeFromHms(22, 6, 0));
    tasks->set(Schedule::KEYDATEENABLED);
    Schedule first;
    ASSERT_EQ(tasks->next(first), Err::None);
    ASSERT_EQ(tasks->remove(first), Err::None);
    EXPECT_EQ(next(), 4 * 60 * 1000 + 10);

    // A warning past its moment is given by the very next tick: no sleep.
    clock.set(clock.today(), TimeFromHms(22, 10, 1));
    EXPECT_EQ(next(), 0);

    // Warned: then the task itself, at 22:30, unless midnight comes first.
    tasks->set(Schedule::KEYADVANCED);
    Schedule warned;
    ASSERT_EQ(tasks->next(warned), Err::None);
    warned.advanceWarned = 1;
    ASSERT_EQ(tasks->put(warned), Err::None);
    ms = next();
    EXPECT_LE(ms, (20 * 60 - 1) * 1000 + 10);
    EXPECT_GT(ms, (20 * 60 - 2) * 1000);
}

TEST_F(WakePlanTest, TheWarningIsReadAgainOnlyWhenTheMarkMoves) {
    addTask(TimeFromHms(23, 30, 0), TimeFromHms(22, 10, 0));
    std::uint64_t mark = 1;
    plan->setChangeMark([&mark] { return std::optional<std::uint64_t>(mark); });
    EXPECT_EQ(plan->msToWarning(), 10 * 60 * 1000 + 10);
    // Warned behind the mark's back: the moment read before still stands, counted from now.
    tasks->set(Schedule::KEYADVANCED);
    Schedule t;
    ASSERT_EQ(tasks->next(t), Err::None);
    t.advanceWarned = 1;
    ASSERT_EQ(tasks->put(t), Err::None);
    clock.set(clock.today(), TimeFromHms(22, 5, 0));
    EXPECT_EQ(plan->msToWarning(), 5 * 60 * 1000 + 10);
    // The mark moved: read again, nothing is ahead.
    ++mark;
    EXPECT_FALSE(plan->msToWarning().has_value());
    // No mark to go by: every look reads.
    plan->setChangeMark([] { return std::optional<std::uint64_t>(); });
    t.advanceWarned = 0;
    ASSERT_EQ(tasks->put(t), Err::None);
    EXPECT_EQ(plan->msToWarning(), 5 * 60 * 1000 + 10);
}

TEST_F(WakePlanTest, ADueTaskOrAnInactiveSchedulerDecideAtOnce) {
    addTask(TimeFromHms(21, 59, 0)); // a minute late: the next tick takes it
    EXPECT_EQ(next(), 0);
    ASSERT_TRUE(plan->msToDue().has_value());
    EXPECT_EQ(*plan->msToDue(), 0);

    // Inactive: nothing runs and nothing is warned, only midnight matters.
    state.schedulerActive = false;
    addTask(TimeFromHms(22, 30, 0), TimeFromHms(22, 10, 0));
    clock.set(clock.today(), TimeFromHms(23, 30, 0));
    EXPECT_EQ(next(), 30 * 60 * 1000);
    EXPECT_FALSE(plan->msToDue().has_value());
    EXPECT_FALSE(plan->msToWarning().has_value());
}

} // namespace
} // namespace kr::test
