// The tables of a file are made with the file, or all at once when an older file lacks some;
// a file that can only be read is read, and nothing is made or written in it.

#include "Peer.h"
#include "StoreFixture.h"
#include "store/Cipher.h"
#include "store/Transaction.h"
#include "store/sqlite/DataFile.h"
#include "store/sqlite/Sqlite.h"
#include "support/ReadOnlyView.h"

#include <QFile>

namespace kr::test {
namespace {

using FileTables = StoreFixture;

// The tables a data file holds and the layout versions it records, as "name version".
QStringList TablesIn(const QString& path) {
    sql::SqliteConnection c;
    EXPECT_EQ(c.open(path, false, OwnerRawKey()), 0);
    QStringList out;
    sql::Statement st(c, QStringLiteral("SELECT m.name, l.version FROM sqlite_master m LEFT JOIN "
                                        "_layout l ON l.name=lower(m.name) WHERE m.type='table' "
                                        "AND m.name<>'_layout' ORDER BY lower(m.name)"));
    while (st.step() == sql::Step::Row)
        out << st.columnText(0) + QLatin1Char(' ') + QString::number(st.columnInt(1));
    return out;
}

QStringList EveryDataTable(const Store& store) {
    QStringList out;
    for (const TableDecl* d : DataFileTables())
        out << d->sqlName + QLatin1Char(' ') + QString::number(store.declaredVersion(*d));
    out.sort(Qt::CaseInsensitive);
    return out;
}

void Tamper(const QString& path, const QString& sql) {
    sql::SqliteConnection c;
    ASSERT_EQ(c.open(path, false, OwnerRawKey()), 0);
    ASSERT_EQ(c.execCode(sql), 0) << c.errorMessage().toStdString();
}

TEST_F(FileTables, TheFirstUseOfAnyTableMakesTheFileWithEveryTable) {
    { Table<Holidays> holidays(*store); }
    EXPECT_EQ(TablesIn(dataFile()), EveryDataTable(*store));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FileTables, AnOlderFileGetsTheTablesItLacksAtItsFirstOpen) {
    {
        Table<Schedule> tasks(*store);
        Schedule t = Task(1);
        ASSERT_EQ(tasks.add(t), Err::None);
    }
    store.reset();
    Tamper(dataFile(), QStringLiteral("DROP TABLE Hol; DROP TABLE CF; DELETE FROM _layout WHERE name IN "
                                      "('hol','cf')"));
    resetStore();
    {
        Table<Schedule> tasks(*store);
        EXPECT_EQ(tasks.records(), 1);
    }
    EXPECT_EQ(TablesIn(dataFile()), EveryDataTable(*store));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FileTables, TablesOpenWhileAnotherStationWritesForNoneIsMadeOnItsFirstUse) {
    {
        Table<Schedule> tasks(*store);
        Schedule t = Task(1);
        ASSERT_EQ(tasks.add(t), Err::None);
    }
    store.reset();
    // Another station holds the file's write lock while this one starts and opens every table
    // for the first time.
    Peer peer(dir.path());
    ASSERT_EQ(peer.ask(QStringLiteral("begin")), QStringLiteral("0"));
    resetStore();
    for (const TableDecl* d : DataFileTables()) {
        TableAccess t(*store, *d);
        EXPECT_EQ(t.records(), d == &Schedule::decl() ? 1 : 0) << d->name.toStdString();
    }
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(peer.ask(QStringLiteral("rollback")), QStringLiteral("0"));
}

TEST_F(FileTables, AFileThatCanOnlyBeReadIsReadAndNothingIsMadeOrWrittenInIt) {
    {
        Table<Schedule> tasks(*store);
        Schedule t = Task(1, QStringLiteral("the only task"));
        ASSERT_EQ(tasks.add(t), Err::None);
    }
    store.reset();
    // A file of an older installation, without the holidays.
    Tamper(dataFile(), QStringLiteral("DROP TABLE Hol; DELETE FROM _layout WHERE name='hol'"));
    const QByteArray before = FileBytes(dataFile());

    ReadOnlyView view(dir.path());
    if (!view.why().isEmpty())
        GTEST_SKIP() << view.why().toStdString();
    {
        Peer peer(view.program(QStringLiteral(STORE_PEER)),
                  view.arguments(QStringLiteral(STORE_PEER), {dir.path()}), {});
        // Every read works, the table the file lacks read as empty; no message is shown.
        EXPECT_EQ(peer.ask(QStringLiteral("holidays")), QStringLiteral("0 0"));
        EXPECT_EQ(peer.ask(QStringLiteral("load 1")), QStringLiteral("0 the only task"));
        EXPECT_EQ(peer.ask(QStringLiteral("open")), QStringLiteral("0"));
        EXPECT_EQ(peer.ask(QStringLiteral("count")), QStringLiteral("0 1"));
        // Writes fail with the storage layer's error, to the table the file has and to the one
        // it lacks alike, and so does a transaction.
        const QString readOnly = QStringLiteral("90 attempt to write a readonly database");
        EXPECT_EQ(peer.ask(QStringLiteral("add 2 another")), readOnly);
        EXPECT_EQ(peer.ask(QStringLiteral("put renamed")), QStringLiteral("90"));
        EXPECT_EQ(peer.ask(QStringLiteral("holiday-add 80000 New Year")), readOnly);
        EXPECT_EQ(peer.ask(QStringLiteral("begin")), QStringLiteral("90"));
        EXPECT_EQ(peer.ask(QStringLiteral("holidays")), QStringLiteral("0 0"));
    }
    EXPECT_EQ(FileBytes(dataFile()), before);
}

} // namespace
} // namespace kr::test
