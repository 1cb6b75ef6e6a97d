// A station on a real PostgreSQL server whose connection the server ends: the watch says so
// once, tries again only every few seconds, and makes the connection again; the tables work
// on the new connection.

#include "app/ServerWatch.h"
#include "support/PgTestDatabase.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

TEST(ServerWatch, ALostConnectionIsToldOnceAndMadeAgainInTheBackground) {
    PgTestDatabase server;
    KR_REQUIRE_PG(server);
    const QString name = QStringLiteral("watch_") + server.schema();
    TempDir home;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    Store store(home.path(), dialogs, end, server.uri() + QStringLiteral(" application_name=") + name);
    store.declareLayouts();
    Table<Todo> todos(store);
    Todo t;
    t.todo = QStringLiteral("before");
    ASSERT_EQ(todos.add(t), Err::None);

    ServerWatch watch(store);
    EXPECT_EQ(watch.tick(0), ServerWatch::Change::None);

    // The server ends the station's connection; the next read finds it gone.
    const auto killed = server.admin().query(
        QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = ?1"),
        {name});
    ASSERT_TRUE(killed.ok()) << killed.error.describe().toStdString();
    ASSERT_FALSE(killed.rows.empty());
    QElapsedTimer waited;
    waited.start();
    while (todos.records() >= 0 && todos.error().ok() && waited.elapsed() < 5000)
        ;
    EXPECT_FALSE(todos.error().ok());

    EXPECT_EQ(watch.tick(100), ServerWatch::Change::Lost);
    EXPECT_TRUE(watch.lost());
    EXPECT_EQ(watch.tick(200), ServerWatch::Change::None); // said once
    EXPECT_EQ(watch.tick(100 + ServerWatch::kRetryMs - 1), ServerWatch::Change::None);

    QElapsedTimer attempt;
    attempt.start();
    EXPECT_EQ(watch.tick(100 + ServerWatch::kRetryMs), ServerWatch::Change::Back);
    EXPECT_LT(attempt.elapsed(), 2000);
    EXPECT_FALSE(watch.lost());

    // The statements prepared before are prepared again on the new connection.
    EXPECT_EQ(todos.records(), 1) << todos.error().describe().toStdString();
    t = Todo{};
    t.todo = QStringLiteral("after");
    EXPECT_EQ(todos.add(t), Err::None) << todos.error().describe().toStdString();
    EXPECT_EQ(todos.records(), 2);
}

TEST(ServerWatch, OnADataFileThereIsNothingToWatch) {
    TempDir home;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    Store store(home.path(), dialogs, end, QString());
    store.declareLayouts();
    ServerWatch watch(store);
    EXPECT_EQ(watch.tick(0), ServerWatch::Change::None);
    EXPECT_EQ(watch.tick(ServerWatch::kRetryMs * 3), ServerWatch::Change::None);
}

} // namespace
} // namespace kr::test
