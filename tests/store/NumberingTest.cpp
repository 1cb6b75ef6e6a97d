#include "store/Numbering.h"
#include "Peer.h"
#include "StoreFixture.h"
#include "store/Cipher.h"
#include "store/sqlite/DataFile.h"
#include "store/sqlite/Sqlite.h"

#include <QElapsedTimer>

namespace kr::test {
namespace {

using NumberingTest = StoreFixture;

TEST_F(NumberingTest, FirstNumberIsOneAndTheHighestIsHandedOutAgain) {
    Table<Schedule> s(*store);
    Schedule primed;
    primed.taskType = QStringLiteral("Display Message");
    Schedule a = primed;
    ASSERT_TRUE(ReserveRecordNumber(s, a));
    EXPECT_EQ(a.id, 1);
    EXPECT_EQ(a.taskType, QStringLiteral("Display Message"));
    Schedule b = primed;
    ASSERT_TRUE(ReserveRecordNumber(s, b));
    EXPECT_EQ(b.id, 2);
    Schedule c = primed;
    ASSERT_TRUE(ReserveRecordNumber(s, c));
    EXPECT_EQ(c.id, 3);
    ASSERT_EQ(s.remove(c), Err::None);
    Schedule d = primed;
    ASSERT_TRUE(ReserveRecordNumber(s, d));
    EXPECT_EQ(d.id, 3);
    // The reserved record is in the table, and the window edits it from then on.
    d.description = QStringLiteral("edited");
    ASSERT_EQ(s.put(d), Err::None);
    EXPECT_EQ(s.records(), 3);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(NumberingTest, ContactsAreNumberedTheSameWay) {
    Table<Contact> c(*store);
    Contact primed;
    primed.lastName = QStringLiteral("Smith");
    for (int expected = 1; expected <= 3; ++expected) {
        Contact r = primed;
        ASSERT_TRUE(ReserveRecordNumber(c, r));
        EXPECT_EQ(r.clientId, expected);
    }
}

TEST_F(NumberingTest, ThreeFailuresAskWhetherToRetry) {
    Table<Schedule> s(*store);
    Schedule existing = Task(1);
    ASSERT_EQ(s.add(existing), Err::None);

    // Another station holds a write transaction: reading goes on, every add fails.
    sql::SqliteConnection other;
    ASSERT_EQ(other.open(dataFile(), false, OwnerRawKey()), 0);
    ASSERT_EQ(other.execCode(QStringLiteral("BEGIN IMMEDIATE")), 0);
    s.send(QStringLiteral("LockWait=50"));

    dialogs.answer(Dialogs::Retry);
    dialogs.answer(Dialogs::Cancel);
    Schedule r;
    EXPECT_FALSE(ReserveRecordNumber(s, r));
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Auto Increment Error"));
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Attempts to automatically number this record have failed.  "
                             "Error: File Is Already Locked (32)."));
    EXPECT_EQ(dialogs.shown[0].buttons, unsigned(Dialogs::Retry | Dialogs::Cancel));
    EXPECT_EQ(dialogs.shown[0].defaultButton, Dialogs::Cancel);
    other.execCode(QStringLiteral("ROLLBACK"));
    EXPECT_EQ(s.records(), 1);
}

TEST_F(NumberingTest, TheAttemptsAreOneWaitOfTwoSecondsAtMostBeforeTheQuestion) {
    Table<Schedule> s(*store);
    Schedule existing = Task(1);
    ASSERT_EQ(s.add(existing), Err::None);
    // Another station writes the next number in a transaction of its own and keeps it open:
    // reading goes on, every add of that number waits for it.
    Peer peer(dir.path());
    ASSERT_EQ(peer.ask(QStringLiteral("begin")), QStringLiteral("0"));
    ASSERT_EQ(peer.ask(QStringLiteral("add 2 Held")), QStringLiteral("0"));
    dialogs.answer(Dialogs::Cancel);
    Schedule r;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(ReserveRecordNumber(s, r));
    const qint64 waited = timer.elapsed();
    EXPECT_GE(waited, 1500);
    EXPECT_LE(waited, 2500);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Auto Increment Error"));
    EXPECT_EQ(peer.ask(QStringLiteral("rollback")), QStringLiteral("0"));

    // With the file free again, the next reservation takes the next number at once.
    Schedule next;
    ASSERT_TRUE(ReserveRecordNumber(s, next));
    EXPECT_EQ(next.id, 2);
}

TEST_F(NumberingTest, TaskCopyTakesTheNextFreeNumber) {
    Table<Schedule> s(*store);
    for (int id : {1, 2, 5}) {
        Schedule t = Task(id);
        ASSERT_EQ(s.add(t), Err::None);
    }
    Schedule copy = Task(2, QStringLiteral("copy of two"));
    copy.message = QStringLiteral("the message");
    ASSERT_EQ(AddTaskCopy(s, copy), Err::None);
    EXPECT_EQ(copy.id, 6);
    Schedule back;
    back.id = 6;
    ASSERT_EQ(s.get(Schedule::KEYID, back), Err::None);
    EXPECT_EQ(back.message, QStringLiteral("the message"));
    EXPECT_EQ(s.records(), 4);
}

TEST(StationStamps, OriginalNumberIsSetOnlyOnce) {
    Schedule t;
    t.id = 12;
    StampTask(t, QStringLiteral("station1"), 1000, 500);
    EXPECT_EQ(t.networkUser, QStringLiteral("station1"));
    EXPECT_EQ(t.lastChangeDate, 1000);
    EXPECT_EQ(t.lastChangeTime, 500);
    EXPECT_EQ(t.originalId, 12);
    t.id = 40;
    StampTask(t, QStringLiteral("station2"), 1001, 600);
    EXPECT_EQ(t.originalId, 12);
    EXPECT_EQ(t.networkUser, QStringLiteral("station2"));

    Scripting item;
    item.id = 9;
    StampScriptItem(item, QStringLiteral("u"), 1, 2);
    EXPECT_EQ(item.originalId, 9);

    Todo todo;
    StampTodo(todo, QStringLiteral("u"), 1, 2, 12);
    EXPECT_EQ(todo.originalId, 12);
    StampTodo(todo, QStringLiteral("u"), 1, 2, 13);
    EXPECT_EQ(todo.originalId, 12);
}

} // namespace
} // namespace kr::test
