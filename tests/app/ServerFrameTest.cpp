// The frame of a station on a real PostgreSQL server whose connection the server ends: the
// scheduler stops with the reason in the title, the status line and the event log, said once;
// the frame keeps answering; the connection is made again in the background and the
// scheduler goes on by itself.

#include "FrameFixture.h"
#include "app/ServerWatch.h"
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

    ASSERT_TRUE(server.admin()
                    .query(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                                          "application_name = ?1"),
                           {name()})
                    .ok());
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

TEST_F(ServerFrameTest, ASchedulerTheUserStoppedStaysStoppedWhenTheServerIsBack) {
    KR_REQUIRE_PG(server);
    writeIni("[Settings]\nLogEvents=1\n");
    MainFrame& f = makeFrame();
    f.start();
    state.schedulerActive = false; // the user's choice
    ASSERT_TRUE(server.admin()
                    .query(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                                          "application_name = ?1"),
                           {name()})
                    .ok());
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
