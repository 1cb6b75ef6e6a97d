// The frame of a station on a real PostgreSQL server whose connection the server ends: the
// scheduler stops with the reason in the title, the status line and the event log, said once;
// the frame keeps answering; the connection is made again in the background and the
// scheduler goes on by itself.

#include "FrameFixture.h"
#include "app/ServerWake.h"
#include "app/ServerWatch.h"
#include "scheduler/DueTimer.h"
#include "scheduler/WakePlan.h"
#include "support/EventLoop.h"
#include "store/pg/PgDatabase.h"
#include "support/PgTestDatabase.h"

#include <QElapsedTimer>
#include <QThread>

namespace kr::test {
namespace {

// The schedule of the test's frame on a schema of the suite's server.
struct OnServer {
    OnServer() {
        if (server.available())
            qputenv("KELVRAY_DATABASE",
                    (server.uri() + QStringLiteral(" application_name=") + name()).toUtf8());
    }
    ~OnServer() { qunsetenv("KELVRAY_DATABASE"); }
    QString name() const { return QStringLiteral("frame_") + server.schema(); }
    // The server ends the connections of the frame's store.
    bool endConnections() {
        return server.admin()
            .query(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = ?1"),
                   {name()})
            .ok();
    }
    PgTestDatabase server;
};

class ServerFrameTest : public OnServer, public FrameFixture {};

TEST_F(ServerFrameTest, ALostServerStopsTheSchedulerOnceAndItGoesOnWhenTheServerIsBack) {
    KR_REQUIRE_PG(server);
    ASSERT_TRUE(store->onServer());
    writeIni("[Settings]\nLogEvents=1\n");
    MainFrame& f = makeFrame();
    f.start();
    ASSERT_TRUE(state.schedulerActive);
    f.tick();
    EXPECT_TRUE(f.windowTitle().startsWith(QStringLiteral("Kelvray 98 1.7d - kelvray@")))
        << f.windowTitle().toStdString();

    ASSERT_TRUE(endConnections());
    // The ticks find the connection gone; none of them waits long.
    QElapsedTimer timer;
    timer.start();
    qint64 longest = 0;
    for (int i = 0; i < 20 && state.schedulerActive; ++i) {
        QElapsedTimer one;
        one.start();
        f.tick();
        longest = std::max(longest, one.elapsed());
        QThread::msleep(20);
    }
    EXPECT_FALSE(state.schedulerActive);
    EXPECT_LT(longest, 2000);
    f.tick();
    EXPECT_EQ(f.windowTitle(),
              QStringLiteral("Kelvray 98 (Inactive: the database server cannot be reached)"));
    EXPECT_EQ(f.zone(2), QStringLiteral("Inactive: the database server cannot be reached"));
    EXPECT_EQ(logLines().filter(QStringLiteral("Database server lost")).size(), 1)
        << logLines().join('\n').toStdString();
    EXPECT_TRUE(dialogs.shown.empty()); // no message box for it

    // Back within the next try or two, by itself.
    timer.restart();
    while (!state.schedulerActive && timer.elapsed() < 3 * ServerWatch::kRetryMs) {
        QElapsedTimer one;
        one.start();
        f.tick();
        longest = std::max(longest, one.elapsed());
        QThread::msleep(50);
    }
    EXPECT_TRUE(state.schedulerActive);
    EXPECT_LT(longest, 2000);
    EXPECT_EQ(logLines().filter(QStringLiteral("Database server lost")).size(), 1);
    EXPECT_EQ(logLines().filter(QStringLiteral("Database server back")).size(), 1);
    f.tick();
    EXPECT_TRUE(f.windowTitle().startsWith(QStringLiteral("Kelvray 98 1.7d - kelvray@")));
    // The tables work on the new connection.
    Table<Todo> todos(*store);
    Todo t;
    t.todo = QStringLiteral("after");
    EXPECT_EQ(todos.add(t), Err::None) << todos.error().describe().toStdString();
}

TEST_F(ServerFrameTest, HiddenInTheTrayItSleepsAndAnotherStationsSaveWakesIt) {
    KR_REQUIRE_PG(server);
    MainFrame& f = makeFrame();
    f.start();
    DueTimer due(*store, clock, state, [&f] { f.tick(); });
    WakePlan plan(*store, clock, state, due);
    ServerWake wake(*store, [&f] { f.wake(); });
    Table<Schedule> tasks(*store);
    bool sawOthersTask = false;
    f.hooks().scanDueTask = [&] {
        Schedule other;
        other.id = 7;
        sawOthersTask = tasks.get(Schedule::KEYID, other) == Err::None;
        due.rearm();
    };
    f.hooks().msToNextEvent = [&plan] { return plan.msToNext(); };
    f.hooks().othersNeedPoll = [&wake] { return !wake.arm(); };
    f.goToTray();
    f.tick();
    ASSERT_TRUE(f.asleep());
    EXPECT_TRUE(wake.armed());
    EXPECT_GT(f.msToNextTick(), 59 * 1000);

    // Another station (a connection of its own) saves a task: the server's announcement wakes
    // the frame, whose tick reads it, long before the frame would have woken by itself.
    TempDir otherDir;
    Store other(otherDir.path(), dialogs, end);
    other.declareLayouts();
    ASSERT_TRUE(other.onServer());
    Table<Schedule> theirs(other);
    Schedule t;
    t.id = 7;
    t.description = QStringLiteral("Saved elsewhere");
    t.date = clock.today() + 1;
    t.time = TimeFromHms(9, 0, 0);
    ASSERT_EQ(theirs.add(t), Err::None) << theirs.error().describe().toStdString();
    QElapsedTimer seen;
    seen.start();
    EXPECT_TRUE(TurnLoopUntil([&] { return sawOthersTask; }, 3000));
    EXPECT_LT(seen.elapsed(), 1500);
    // And asleep again afterwards, the watch set once more.
    f.tick();
    EXPECT_TRUE(f.asleep());
    EXPECT_TRUE(wake.armed());

    // The server ends the connection: that wakes the frame too, which says so and keeps
    // ticking to make it again.
    ASSERT_TRUE(endConnections());
    EXPECT_TRUE(TurnLoopUntil([&] { return !state.schedulerActive; }, 3000));
    EXPECT_EQ(state.inactiveReason, MainFrame::kServerLostReason);
    EXPECT_FALSE(f.asleep());
}

TEST_F(ServerFrameTest, ASchedulerTheUserStoppedStaysStoppedWhenTheServerIsBack) {
    KR_REQUIRE_PG(server);
    writeIni("[Settings]\nLogEvents=1\n");
    MainFrame& f = makeFrame();
    f.start();
    state.schedulerActive = false; // the user's choice
    ASSERT_TRUE(endConnections());
    QElapsedTimer timer;
    timer.start();
    while (logLines().filter(QStringLiteral("Database server back")).isEmpty() &&
           timer.elapsed() < 3 * ServerWatch::kRetryMs) {
        f.tick();
        QThread::msleep(50);
    }
    EXPECT_EQ(logLines().filter(QStringLiteral("Database server back")).size(), 1);
    EXPECT_FALSE(state.schedulerActive);
}

} // namespace
} // namespace kr::test
