// Two stations on one data file: this process and a peer process.

#include "Peer.h"
#include "StoreFixture.h"
#include "store/Cipher.h"
#include "store/Transaction.h"
#include "store/sqlite/DataFile.h"
#include "store/sqlite/Sqlite.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <csignal>

namespace kr::test {
namespace {

using Concurrency = StoreFixture;

TEST_F(Concurrency, WatchedPutFromTheSecondWriterFails) {
    Table<Schedule> s(*store);
    Schedule t = Task(7, QStringLiteral("original"));
    ASSERT_EQ(s.add(t), Err::None);

    Peer peer(dir.path());
    EXPECT_EQ(peer.ask(QStringLiteral("load 7")), QStringLiteral("0 original"));
    Schedule mine;
    mine.id = 7;
    s.watch();
    ASSERT_EQ(s.get(Schedule::KEYID, mine), Err::None);

    // The peer saves first; our save then meets its change.
    EXPECT_EQ(peer.ask(QStringLiteral("put from the peer")), QStringLiteral("0"));
    mine.description = QStringLiteral("from here");
    EXPECT_EQ(s.put(mine), Err::RecordChanged);

    // Reloaded, ours goes through, and now the peer is the one that is told.
    s.watch();
    ASSERT_EQ(s.get(Schedule::KEYID, mine), Err::None);
    EXPECT_EQ(mine.description, QStringLiteral("from the peer"));
    EXPECT_EQ(peer.ask(QStringLiteral("load 7")), QStringLiteral("0 from the peer"));
    mine.description = QStringLiteral("from here");
    ASSERT_EQ(s.put(mine), Err::None);
    EXPECT_EQ(peer.ask(QStringLiteral("put again from the peer")), QStringLiteral("89"));
    EXPECT_EQ(peer.ask(QStringLiteral("load 7")), QStringLiteral("0 from here"));
}

TEST_F(Concurrency, ATransactionHeldElsewhereMakesOursFailAfterTwoSeconds) {
    Table<Schedule> s(*store);
    Table<Scripting> scr(*store);
    Peer peer(dir.path());
    EXPECT_EQ(peer.ask(QStringLiteral("begin")), QStringLiteral("0"));
    EXPECT_EQ(peer.ask(QStringLiteral("add 1 written by the peer")), QStringLiteral("0"));

    QElapsedTimer timer;
    timer.start();
    Transaction tx;
    EXPECT_EQ(tx.begin({&s, &scr}), Err::IsLocked);
    const qint64 waited = timer.elapsed();
    EXPECT_GE(waited, 1800);
    EXPECT_LT(waited, 4000);

    EXPECT_EQ(peer.ask(QStringLiteral("commit")), QStringLiteral("0"));
    ASSERT_EQ(tx.begin({&s, &scr}), Err::None);
    Schedule t = Task(2, QStringLiteral("written here"));
    ASSERT_EQ(s.add(t), Err::None);
    ASSERT_EQ(tx.commit(), Err::None);

    EXPECT_EQ(peer.ask(QStringLiteral("count")), QStringLiteral("0 2"));
    EXPECT_EQ(s.records(), 2);
}

TEST_F(Concurrency, AFileLockedByAnotherStationOpensAfterRecovery) {
    { Table<Schedule> s(*store); }
    resetStore();
    Peer peer(dir.path());
    EXPECT_EQ(peer.ask(QStringLiteral("count")), QStringLiteral("0 0"));
    peer.send(QStringLiteral("hold 3500"));
    EXPECT_EQ(peer.line(), QStringLiteral("0"));
    QElapsedTimer timer;
    timer.start();
    Table<Schedule> s(*store); // refused at first, opened once the lock is gone
    EXPECT_GE(timer.elapsed(), 2500);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(peer.line(), QStringLiteral("0 released"));
    EXPECT_EQ(s.records(), 0);
}

TEST_F(Concurrency, AStationKilledInATransactionLosesOnlyItsOpenChange) {
    {
        Table<Schedule> s(*store);
        Schedule t = Task(1, QStringLiteral("committed"));
        ASSERT_EQ(s.add(t), Err::None);
    }
    {
        Peer peer(dir.path());
        EXPECT_EQ(peer.ask(QStringLiteral("begin")), QStringLiteral("0"));
        EXPECT_EQ(peer.ask(QStringLiteral("add 2 never committed")), QStringLiteral("0"));
        ::kill(static_cast<pid_t>(peer.process().processId()), SIGKILL);
        peer.process().waitForFinished();
    }
    resetStore();
    Table<Schedule> s(*store);
    EXPECT_EQ(s.records(), 1);
    Schedule t;
    t.id = 1;
    ASSERT_EQ(s.get(Schedule::KEYID, t), Err::None);
    EXPECT_EQ(t.description, QStringLiteral("committed"));
    Schedule more = Task(2);
    EXPECT_EQ(s.add(more), Err::None);
}

TEST_F(Concurrency, AnUnusableFileEndsTheProcessWithItsMessage) {
    QByteArray junk(8192, 'x');
    {
        QFile f(dataFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(junk);
    }
    Peer peer(dir.path());
    peer.send(QStringLiteral("open"));
    EXPECT_EQ(peer.line(), QStringLiteral("message|File Access Error|File (KR97\\!s in ") + dataFile() +
                               QStringLiteral(") could not be opened.  Error: Invalid Data File (36)."));
    EXPECT_EQ(peer.line(), QStringLiteral("message|Kelvray 98|Disk Error"));
    ASSERT_TRUE(peer.process().waitForFinished(10000));
    EXPECT_EQ(peer.process().exitCode(), 1);
    EXPECT_TRUE(peer.process().readAllStandardError().contains("Disk Error"));
    QFile f(dataFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), junk);
}

TEST_F(Concurrency, RefusingAKeyRebuildEndsTheProcess) {
    { Table<Holidays> h(*store); }
    {
        sql::SqliteConnection c;
        ASSERT_EQ(c.open(dataFile(), false, OwnerRawKey()), 0);
        ASSERT_EQ(c.execCode(QStringLiteral("DROP INDEX \"Hol__KEYHOLIDAYDATE\"")), 0);
    }
    Peer peer(dir.path(), {QStringLiteral("No")});
    peer.send(QStringLiteral("open"));
    EXPECT_EQ(peer.line(), QStringLiteral("message|Invalid Key|KR97\\!Hol in ") + dataFile() +
                               QStringLiteral(" key file is invalid.  "
                                              "Do you want to rebuild the key?"));
    EXPECT_EQ(peer.line(), QStringLiteral("message|Kelvray 98|Invalid Key!"));
    ASSERT_TRUE(peer.process().waitForFinished(10000));
    EXPECT_EQ(peer.process().exitCode(), 1);
}

// Whether the ticks of the next second and a half see another station's change: a server
// tells of a commit a moment after it, a data file at once.
bool SeenWithinATick(Store& store) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (store.changedByOthers())
            return true;
        if (timer.elapsed() > 1500)
            return false;
        QThread::msleep(20);
    }
}

TEST_F(Concurrency, AnotherStationsWritesAreNoticedOnceAndOursNever) {
    Table<Schedule> s(*store);
    EXPECT_FALSE(store->changedByOthers()); // the first look only takes note
    Schedule t = Task(1, QStringLiteral("ours"));
    ASSERT_EQ(s.add(t), Err::None);
    EXPECT_FALSE(store->changedByOthers());

    Peer peer(dir.path());
    EXPECT_EQ(peer.ask(QStringLiteral("add 2 written by the peer")), QStringLiteral("0"));
    EXPECT_TRUE(SeenWithinATick(*store));
    EXPECT_FALSE(store->changedByOthers());

    // A station holding the file does not hold up the look, and its commit is seen after.
    EXPECT_EQ(peer.ask(QStringLiteral("exclusive")), QStringLiteral("0"));
    EXPECT_EQ(peer.ask(QStringLiteral("add 3 written under a lock")), QStringLiteral("0"));
    QElapsedTimer timer;
    timer.start();
    const bool seenDuringTheLock = store->changedByOthers();
    EXPECT_LT(timer.elapsed(), 500);
    EXPECT_EQ(peer.ask(QStringLiteral("unlock")), QStringLiteral("0"));
    EXPECT_TRUE(seenDuringTheLock || SeenWithinATick(*store));
    EXPECT_FALSE(store->changedByOthers());
}

} // namespace
} // namespace kr::test
