// The frame while nothing happens: ticks that repeat nothing, and hidden in the tray with
// nothing to do, no ticks until the next moment something can happen.

#include "../store/Peer.h"
#include "FrameFixture.h"
#include "platform/FileChanges.h"
#include "scheduler/DueTimer.h"
#include "scheduler/WakePlan.h"
#include "store/Numbering.h"
#include "support/EventLoop.h"

#include <QElapsedTimer>

namespace kr::test {
namespace {

constexpr qint64 kFortyMinutes = 40 * 60 * 1000;
// The normal tick's interval, with the slack of a coarse timer.
constexpr int kNormalTickMs = 1250 * 105 / 100;

class IdleFrameTest : public FrameFixture {
protected:
    // A started frame whose scan counts itself and sets the title and tray icon as the
    // scheduler's scan does.
    MainFrame& startFrame() {
        MainFrame& f = makeFrame();
        f.start();
        f.hooks().scanDueTask = [this, &f] {
            ++scans;
            f.setTitleText(f.normalTitle() + QStringLiteral(" - Backup OCT 31,1959 6:00PM"));
            f.setSchedulerStatus(QStringLiteral("Next: Backup"));
            f.refreshTrayIcon();
        };
        f.hooks().msToNextEvent = [this] { return planned; };
        return f;
    }
    bool ticksWithin(int ms) {
        const int before = scans;
        return TurnLoopUntil([&] { return scans > before; }, ms);
    }

    int scans = 0;
    qint64 planned = kFortyMinutes;
};

TEST_F(IdleFrameTest, ATickSetsNothingToTheValueItHasAndKeepsTheTimersPace) {
    MainFrame& f = startFrame();
    f.goToTray();
    ASSERT_EQ(tray.icons.size(), 1u);
    for (int i = 0; i < 20; ++i)
        f.tick();
    // The scan's title showed once in the tip; the same icon and tip are not set again.
    EXPECT_EQ(tray.icons.size(), 2u);
    EXPECT_EQ(tray.tip, QStringLiteral("Kelvray 98 1.7d - Backup OCT 31,1959 6:00PM"));

    // Shown: the timer runs on at its interval, not from each tick anew.
    f.hooks().msToNextEvent = nullptr;
    tray.click();
    QCoreApplication::processEvents();
    ASSERT_TRUE(f.isVisible());
    f.tick();
    TurnLoopUntil([] { return false; }, 400);
    f.tick();
    EXPECT_EQ(f.timerInterval(), 125);
    EXPECT_LT(f.msToNextTick(), 1250 - 300);

    // The clock zones follow the minute.
    clock.advance(kOneMinute);
    f.tick();
    EXPECT_EQ(f.zone(4), QStringLiteral("5:06PM"));
    clock.set(clock.today() + 1, TimeFromHms(17, 6, 30));
    f.tick();
    EXPECT_TRUE(f.zone(3).startsWith(QStringLiteral("Sunday, NOV"))) << f.zone(3).toStdString();
    EXPECT_EQ(f.zone(4), QStringLiteral("5:06PM"));
}

TEST_F(IdleFrameTest, HiddenWithNothingToDoTheTimerSleepsUntilTheNextEvent) {
    MainFrame& f = startFrame();
    f.tick();
    EXPECT_FALSE(f.asleep()); // shown: the normal tick
    EXPECT_LE(f.msToNextTick(), kNormalTickMs);

    f.goToTray();
    f.tick();
    EXPECT_TRUE(f.asleep());
    EXPECT_GT(f.msToNextTick(), kFortyMinutes - 1000);
    EXPECT_LE(f.msToNextTick(), kFortyMinutes);
    EXPECT_EQ(f.timerInterval(), 125); // the interval it comes back to

    // Something due sooner than the next tick: the normal tick takes it.
    planned = 900;
    f.tick();
    EXPECT_FALSE(f.asleep());
    planned = kFortyMinutes;

    // Each of these keeps the tick running at its interval.
    const std::vector<std::pair<const char*, std::function<void(bool)>>> busy{
        {"clipboard watched", [this](bool on) { settings.monitorClipboard = on; }},
        {"script queued",
         [this](bool on) {
             if (on)
                 queueEntry();
             else
                 queue.clear();
         }},
        {"message open", [&f](bool on) { f.hooks().busy = [on] { return on; }; }},
        {"others looked for", [&f](bool on) { f.hooks().othersNeedPoll = [on] { return on; }; }},
    };
    f.hooks().runScriptStep = [] {};
    for (const auto& [what, set] : busy) {
        set(true);
        f.tick();
        EXPECT_FALSE(f.asleep()) << what;
        EXPECT_LE(f.msToNextTick(), kNormalTickMs) << what;
        set(false);
        f.tick();
        f.tick(); // the tray icon's animation ends first
        EXPECT_TRUE(f.asleep()) << what;
    }
}

TEST_F(IdleFrameTest, AnythingFromOutsideBringsTheTickBackAtOnce) {
    MainFrame& f = startFrame();
    f.goToTray();
    QObject bus;
    f.wakeOnCallsTo(&bus);
    const std::vector<std::pair<const char*, std::function<void()>>> wakers{
        {"schedule changed", [this] { state.listeners.post(); }},
        {"call from the bus",
         [&bus] {
             QMetaObject::invokeMethod(
                 &bus, [] {}, Qt::QueuedConnection);
         }},
        {"script queued", [&f] { f.setTimerInterval(50); }},
        {"shown again", [this] { tray.click(); }},
    };
    for (const auto& [what, wake] : wakers) {
        f.tick();
        ASSERT_TRUE(f.asleep()) << what;
        wake();
        // Asleep, the next tick would be forty minutes away.
        EXPECT_TRUE(ticksWithin(500)) << what;
    }
    // Back in view, the normal tick goes on.
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.asleep());
    EXPECT_LE(f.msToNextTick(), kNormalTickMs);
}

// The frame as the program puts it together: the due timer, the plan of the next moments and
// the watch on the data file, with a fixed clock.
class SleepingStationTest : public IdleFrameTest {
protected:
    MainFrame& startStation(FileChanges::KindOf kindOf = FileSystemKindOf) {
        MainFrame& f = makeFrame();
        f.start();
        due = std::make_unique<DueTimer>(*store, clock, state, [&f] { f.tick(); });
        plan = std::make_unique<WakePlan>(*store, clock, state, *due);
        tasks = std::make_unique<Table<Schedule>>(*store);
        changes = std::make_unique<FileChanges>(store->filePath(Schedule::decl()),
                                                QStringList{QStringLiteral("-journal")}, kindOf);
        QObject::connect(changes.get(), &FileChanges::changed, &f, [&f] { f.wake(); });
        f.hooks().scanDueTask = [this] {
            ++scans;
            scanAt.push_back(elapsed.elapsed());
            Schedule other;
            other.id = 7;
            sawOthersTask = tasks->get(Schedule::KEYID, other) == Err::None;
            due->rearm();
        };
        f.hooks().msToNextEvent = [this] { return plan->msToNext(); };
        f.hooks().othersNeedPoll = [this] { return !changes->watching(); };
        f.goToTray();
        elapsed.start();
        return f;
    }
    void addTask(Time time) {
        Schedule t;
        t.taskType = QStringLiteral("None");
        t.scheduleType = QStringLiteral("Day of Week");
        t.description = QStringLiteral("Backup");
        t.date = clock.today();
        t.time = time;
        t.advanceWarned = 1;
        ASSERT_TRUE(ReserveRecordNumber(*tasks, t));
    }

    std::unique_ptr<DueTimer> due;
    std::unique_ptr<WakePlan> plan;
    std::unique_ptr<Table<Schedule>> tasks;
    std::unique_ptr<FileChanges> changes;
    QElapsedTimer elapsed;
    std::vector<qint64> scanAt;
    bool sawOthersTask = false; // the last scan found task 7
};

TEST_F(SleepingStationTest, ATaskAddedWhileAsleepIsScannedAtItsDueMoment) {
    MainFrame& f = startStation();
    f.tick();
    ASSERT_TRUE(f.asleep());
    EXPECT_GT(f.msToNextTick(), 59 * 1000); // the longest sleep: midnight is further

    // Added by this program (a bus call, a window): the schedule change wakes the frame,
    // whose scan sets the due timer for the new task's moment, 2 s ahead.
    addTask(clock.now() + 200);
    state.listeners.post();
    ASSERT_TRUE(ticksWithin(500));
    TurnLoopUntil([] { return false; }, 300); // the write's own wake-up, if any
    // The clock stands still: the moment is 2 s after the last scan that set the timer.
    const qint64 lastScan = scanAt.back();
    ASSERT_TRUE(due->armed());
    EXPECT_GT(due->remainingMs(), 1000);
    EXPECT_TRUE(f.asleep()); // still nothing to do before it
    // The tick runs at the moment, however long the frame would sleep.
    scanAt.clear();
    ASSERT_TRUE(ticksWithin(3000));
    EXPECT_GE(scanAt.front() - lastScan, 1990);
    EXPECT_LE(scanAt.front() - lastScan, 2300);
}

TEST_F(SleepingStationTest, AnotherProcessWritingTheDataFileWakesTheScan) {
    MainFrame& f = startStation();
    f.tick();
    ASSERT_TRUE(f.asleep());
    ASSERT_TRUE(changes->watching());
    Peer peer(dir.path());
    // A task added by the other station: the kernel tells of the write, and the scan that
    // follows (which sets the due timer) reads it, long before the frame would have woken.
    EXPECT_EQ(peer.ask(QStringLiteral("add 7 Backup elsewhere")), QStringLiteral("0"));
    EXPECT_TRUE(TurnLoopUntil([&] { return sawOthersTask; }, 3000));
    EXPECT_LT(scanAt.back(), 5000);
}

TEST_F(SleepingStationTest, ADataFileOnANetworkFileSystemKeepsThePoll) {
    MainFrame& f = startStation([](const QString&) { return FileSystemKind::Network; });
    EXPECT_FALSE(changes->watching());
    f.tick();
    EXPECT_FALSE(f.asleep());
    EXPECT_EQ(f.timerInterval(), 125);
    EXPECT_LE(f.msToNextTick(), kNormalTickMs);
}

// What the tick asks on every interval where the kernel cannot watch: whether another
// station wrote the data file, whichever time the file was opened.
TEST(OtherStationsTest, WritesAreSeenWhileTheDataFileIsOpenAndAfterItIsOpenedAgain) {
    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    Store store(dir.path(), dialogs, end);
    store.declareLayouts();
    Peer peer(dir.path());
    EXPECT_FALSE(store.changedByOthers()); // nothing open: nothing to ask
    for (int round = 1; round <= 2; ++round) {
        auto tasks = std::make_unique<Table<Schedule>>(store);
        EXPECT_FALSE(store.changedByOthers()) << round; // takes note
        EXPECT_EQ(peer.ask(QStringLiteral("add %1 Elsewhere").arg(round)), QStringLiteral("0"));
        EXPECT_TRUE(store.changedByOthers()) << round;
        EXPECT_FALSE(store.changedByOthers()) << round;
        // The station's own write is not another's.
        Schedule own;
        own.id = 10 + round;
        own.description = QStringLiteral("Here");
        EXPECT_EQ(tasks->add(own), Err::None);
        EXPECT_FALSE(store.changedByOthers()) << round;
        tasks.reset();
        EXPECT_EQ(store.useCount(Schedule::decl()), 0) << round;
    }
}

} // namespace
} // namespace kr::test
