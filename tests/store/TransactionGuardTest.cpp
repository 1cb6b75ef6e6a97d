// The guard against event loops inside a transaction, on real data files: every way a
// transaction begins and ends is counted once, and the seams refuse while one is open.

#include "StoreFixture.h"
#include "platform/Progress.h"
#include "store/Cipher.h"
#include "store/Transaction.h"
#include "store/sqlite/DataFile.h"
#include "store/sqlite/Sqlite.h"
#include "support/ScriptedFileDialogs.h"

#include <gtest/gtest-spi.h>

#include <string>
#include <vector>

namespace kr::test {
namespace {

std::vector<std::string> g_refused;

void Note(const char* what) {
    g_refused.emplace_back(what);
}

// Takes the refusals down instead of failing the test, for as long as it lives.
class GuardTest : public StoreFixture {
protected:
    GuardTest()
        : previous_(SetTransactionGuardHandler(&Note)) {
        g_refused.clear();
    }
    ~GuardTest() override { SetTransactionGuardHandler(previous_); }

    // Asks every seam once; returns what was refused.
    std::vector<std::string> askEverything() {
        g_refused.clear();
        dialogs.message(QStringLiteral("a question"), QStringLiteral("Caption"));
        NoProgress progress;
        progress.begin(QStringLiteral("Title"), QString());
        progress.update(50);
        progress.setText(QStringLiteral("text"));
        ScriptedFileDialogs files;
        files.openFile(QStringLiteral("Open"), QStringLiteral("All|*.*"), dir.path());
        files.saveFile(QStringLiteral("Save"), QStringLiteral("All|*.*"), dir.path());
        ProcessEvents();
        return g_refused;
    }

    TransactionGuardHandler previous_;
};

const std::vector<std::string> kEverySeam{"a message box",   "a progress window", "a progress step",
                                          "a progress step", "a file dialog",     "a file dialog",
                                          "processEvents"};

TEST_F(GuardTest, EverySeamRefusesInsideATransactionAndOnlyThere) {
    Table<Schedule> tasks(*store);
    EXPECT_TRUE(askEverything().empty());
    EXPECT_EQ(OpenTransactions::count(), 0);

    Transaction tx;
    ASSERT_EQ(tx.begin({&tasks}), Err::None);
    EXPECT_EQ(OpenTransactions::count(), 1);
    EXPECT_EQ(askEverything(), kEverySeam);
    // The boxes were shown all the same: the guard says so, the program does not stop.
    EXPECT_EQ(dialogs.shown.size(), 2u);
    ASSERT_EQ(tx.commit(), Err::None);
    EXPECT_EQ(OpenTransactions::count(), 0);
    EXPECT_TRUE(askEverything().empty());

    ASSERT_EQ(tx.begin({&tasks}), Err::None);
    tx.rollback();
    EXPECT_EQ(OpenTransactions::count(), 0);
    {
        Transaction dropped;
        ASSERT_EQ(dropped.begin({&tasks}), Err::None);
        EXPECT_EQ(OpenTransactions::count(), 1);
    }
    EXPECT_EQ(OpenTransactions::count(), 0);
}

TEST_F(GuardTest, LocksAndRunsOfWritesAreTransactionsToo) {
    Table<Schedule> tasks(*store);
    ASSERT_EQ(tasks.lock(1), Err::None);
    EXPECT_EQ(OpenTransactions::count(), 1);
    EXPECT_EQ(askEverything(), kEverySeam);
    ASSERT_EQ(tasks.unlock(), Err::None);
    EXPECT_EQ(OpenTransactions::count(), 0);

    ASSERT_EQ(tasks.stream(), Err::None);
    EXPECT_EQ(OpenTransactions::count(), 1);
    ASSERT_EQ(tasks.flush(), Err::None);
    EXPECT_EQ(OpenTransactions::count(), 0);
    {
        // A handle that goes while its run of writes is open ends the run.
        Table<Categories> other(*store);
        ASSERT_EQ(other.stream(), Err::None);
        EXPECT_EQ(OpenTransactions::count(), 1);
    }
    EXPECT_EQ(OpenTransactions::count(), 0);
    EXPECT_TRUE(askEverything().empty());
}

TEST_F(GuardTest, ACommitThatFailsEndsTheTransactionOnceAndKeepsNothing) {
    Table<Schedule> tasks(*store);
    tasks.send(QStringLiteral("LockWait=50"));
    Transaction tx;
    ASSERT_EQ(tx.begin({&tasks}), Err::None);
    Schedule t = Task(1);
    ASSERT_EQ(tasks.add(t), Err::None);

    // Another station reads the file and keeps reading: the commit cannot take it.
    sql::SqliteConnection reader;
    ASSERT_EQ(reader.open(dataFile(), false, OwnerRawKey()), 0);
    ASSERT_EQ(reader.execCode(QStringLiteral("BEGIN; SELECT count(*) FROM s")), 0);
    EXPECT_EQ(tx.commit(), Err::IsLocked);
    EXPECT_FALSE(tx.active());
    EXPECT_EQ(OpenTransactions::count(), 0);
    EXPECT_TRUE(askEverything().empty());
    reader.execCode(QStringLiteral("COMMIT"));

    // The add went with the failed commit, and the file takes the next transaction.
    EXPECT_EQ(tasks.records(), 0);
    ASSERT_EQ(tx.begin({&tasks}), Err::None);
    EXPECT_EQ(OpenTransactions::count(), 1);
    ASSERT_EQ(tx.commit(), Err::None);
    EXPECT_EQ(OpenTransactions::count(), 0);
}

TEST_F(GuardTest, ABeginThatFailsOpensNothingAndADisconnectEndsAnOpenOne) {
    Table<Schedule> tasks(*store);
    sql::SqliteConnection other;
    ASSERT_EQ(other.open(dataFile(), false, OwnerRawKey()), 0);
    ASSERT_EQ(other.execCode(QStringLiteral("BEGIN IMMEDIATE")), 0);
    Transaction tx;
    EXPECT_EQ(tx.begin({&tasks}, 0), Err::IsLocked);
    EXPECT_EQ(OpenTransactions::count(), 0);
    other.execCode(QStringLiteral("ROLLBACK"));

    // A file of its own, closed in the middle of a transaction.
    auto file = std::make_shared<DataFile>(dataFile(), true);
    ASSERT_TRUE(file->connect(OpenMode::Shared).ok());
    ASSERT_TRUE(file->begin(1000, false).ok());
    EXPECT_EQ(OpenTransactions::count(), 1);
    EXPECT_EQ(file->begin(1000, false).code, Err::TransactionActive);
    EXPECT_EQ(OpenTransactions::count(), 1);
    file->disconnect();
    EXPECT_EQ(OpenTransactions::count(), 0);
    EXPECT_TRUE(file->commit().ok()); // nothing left to end
    EXPECT_EQ(OpenTransactions::count(), 0);
}

// The store of the test below: EXPECT_NONFATAL_FAILURE takes no local names.
Store* g_store = nullptr;

void AskInsideATransaction() {
    Table<Schedule> tasks(*g_store);
    Transaction tx;
    ASSERT_EQ(tx.begin({&tasks}), Err::None);
    NoProgress progress;
    progress.update(10);
    tx.rollback();
}

void AskAfterTheTransaction() {
    Table<Schedule> tasks(*g_store);
    Transaction tx;
    ASSERT_EQ(tx.begin({&tasks}), Err::None);
    tx.rollback();
    NoProgress progress;
    progress.update(10);
}

TEST_F(GuardTest, EveryTestProgramFailsATestThatAsksInsideATransaction) {
    // The handler every test program links in, not this fixture's.
    SetTransactionGuardHandler(previous_);
    g_store = store.get();
    EXPECT_NONFATAL_FAILURE(AskInsideATransaction(),
                            "a progress step was asked for while a transaction is open");
    // The same step once the transaction has ended is no failure.
    AskAfterTheTransaction();
    g_store = nullptr;
    EXPECT_EQ(OpenTransactions::count(), 0);
}

} // namespace
} // namespace kr::test
