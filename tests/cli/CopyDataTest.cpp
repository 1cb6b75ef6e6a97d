// kelvray-cli copy-data between data folders and a real PostgreSQL server: every record of
// every shared table comes through with its number, stamp and texts; a target that holds
// records is refused; a copy that fails leaves the target as it was.

#include "store/Cipher.h"
#include "store/Schema.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/sqlite/Sqlite.h"
#include "support/PgTestDatabase.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

struct CliRun {
    int code = -1;
    QString out;
    QString err;
};

CliRun Cli(const QStringList& arguments) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("KELVRAY_DATABASE"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KELVRAY_CLI), arguments);
    EXPECT_TRUE(p.waitForFinished(120000));
    return CliRun{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                  QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString RandomText(QRandomGenerator& rng, int most) {
    static const QString letters = QStringLiteral("abcXYZ 019äöüßÉçØ€漢字\"'\\,;");
    const int n = static_cast<int>(rng.bounded(std::min(most, 60) + 1));
    QString t;
    for (int i = 0; i < n; ++i)
        t += letters[static_cast<qsizetype>(rng.bounded(static_cast<quint32>(letters.size())))];
    return t;
}

// Adds `count` records with every field set at random, then removes every fifth, so that the
// record numbers have gaps a copy must keep.
template <class R> void Fill(Store& store, int count, QRandomGenerator& rng) {
    Table<R> table(store);
    const auto& fields = *R::decl().fields;
    std::vector<R> added;
    for (int i = 0; i < count; ++i) {
        R r;
        for (const FieldDecl& f : fields) {
            if (f.isText())
                f.set(&r, RandomText(rng, f.isMemo() ? 2000 : f.maxChars()));
            else if (f.type == FieldType::Byte)
                f.set(&r, static_cast<qint64>(rng.bounded(256)));
            else
                f.set(&r, static_cast<qint64>(rng.bounded(200000)) - 100000);
        }
        if (table.add(r) == Err::None)
            added.push_back(r);
    }
    for (std::size_t i = 0; i < added.size(); i += 5)
        ASSERT_EQ(table.remove(added[i]), Err::None);
}

// Every row of every shared table of a data file, columns as texts, in record-number order.
std::vector<QStringList> Rows(const QString& dataDir) {
    sql::SqliteConnection c;
    EXPECT_EQ(c.open(QDir(dataDir).filePath(kDataFileName), false, OwnerRawKey()), 0);
    std::vector<QStringList> rows;
    for (const TableDecl* d : DataFileTables()) {
        const Schema schema = BuildSchema(*d);
        sql::Statement st(
            c, QStringLiteral("SELECT %1 FROM %2 ORDER BY _id").arg(schema.selectList, schema.table));
        EXPECT_TRUE(st.valid()) << d->sqlName.toStdString();
        const int columns = 2 + static_cast<int>(schema.columns.size());
        while (st.step() == sql::Step::Row) {
            QStringList row{d->sqlName};
            for (int col = 0; col < columns; ++col)
                row << st.columnText(col);
            rows.push_back(row);
        }
    }
    return rows;
}

class CopyData : public ::testing::Test {
protected:
    void SetUp() override { KR_REQUIRE_PG(server); }

    void fill(const QString& dataDir) {
        ASSERT_TRUE(QDir().mkpath(dataDir));
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(dataDir, dialogs, end, QString());
        store.declareLayouts();
        QRandomGenerator rng(29);
        Fill<Schedule>(store, 60, rng);
        Fill<Scripting>(store, 80, rng);
        Fill<Categories>(store, 12, rng);
        Fill<Todo>(store, 30, rng);
        Fill<Contact>(store, 20, rng);
        Fill<ContactCategories>(store, 8, rng);
        Fill<Clipboard>(store, 15, rng);
        Fill<Holidays>(store, 10, rng);
        Fill<Messages>(store, 10, rng);
        Fill<Configuration>(store, 10, rng);
    }

    PgTestDatabase server;
    TempDir home;
};

TEST_F(CopyData, AFileGoesToTheServerAndBackRecordForRecord) {
    const QString a = home.file(QStringLiteral("a"));
    const QString b = home.file(QStringLiteral("b"));
    fill(a);
    const std::vector<QStringList> before = Rows(a);
    ASSERT_GT(before.size(), 150u);

    const CliRun up = Cli({"copy-data", "--from", a, "--to", server.uri()});
    ASSERT_EQ(up.code, 0) << up.err.toStdString();
    EXPECT_TRUE(up.out.contains(QStringLiteral("Schedule 48\n"))) << up.out.toStdString();
    const CliRun down = Cli({"copy-data", "--from", server.uri(), "--to", b});
    ASSERT_EQ(down.code, 0) << down.err.toStdString();
    EXPECT_EQ(down.out, up.out);
    EXPECT_EQ(Rows(b), before);

    // The server goes on numbering after the records it was given.
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    Store onServer(home.path(), dialogs, end, server.uri());
    Table<Todo> todos(onServer);
    Todo t;
    t.todo = QStringLiteral("after the copy");
    ASSERT_EQ(todos.add(t), Err::None) << todos.error().describe().toStdString();
}

TEST_F(CopyData, ATargetThatHoldsRecordsIsRefusedAndKeptAsItIs) {
    const QString a = home.file(QStringLiteral("a"));
    fill(a);
    ASSERT_EQ(Cli({"copy-data", "--from", a, "--to", server.uri()}).code, 0);
    const CliRun again = Cli({"copy-data", "--from", a, "--to", server.uri()});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("already holds"))) << again.err.toStdString();

    const QString b = home.file(QStringLiteral("b"));
    ASSERT_EQ(Cli({"copy-data", "--from", server.uri(), "--to", b}).code, 0);
    const std::vector<QStringList> held = Rows(b);
    EXPECT_EQ(Cli({"copy-data", "--from", a, "--to", b}).code, 1);
    EXPECT_EQ(Rows(b), held);

    const CliRun none = Cli({"copy-data", "--from", home.file(QStringLiteral("nothing")), "--to", b});
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(none.err.contains(QStringLiteral("No data file"))) << none.err.toStdString();
    EXPECT_EQ(Cli({"copy-data", "--from", a}).code, 2);
}

TEST_F(CopyData, ACopyThatFailsOnTheWayLeavesTheTargetEmpty) {
    const QString a = home.file(QStringLiteral("a"));
    fill(a);
    // The last table copied refuses its rows: everything copied before it must go again.
    PgTestDatabase other;
    KR_REQUIRE_PG(other);
    {
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store made(home.path(), dialogs, end, other.uri());
        made.declareLayouts();
        Table<Configuration> config(made); // makes every table
    }
    ASSERT_TRUE(
        other.admin()
            .exec(QStringLiteral("CREATE FUNCTION \"%1\".refuse() RETURNS trigger LANGUAGE plpgsql AS "
                                 "$$BEGIN RAISE EXCEPTION 'refused'; END$$; "
                                 "CREATE TRIGGER refuse BEFORE INSERT ON \"%1\".\"%2\" "
                                 "FOR EACH ROW EXECUTE FUNCTION \"%1\".refuse()")
                      .arg(other.schema(), Configuration::decl().sqlName))
            .ok());
    const CliRun failed = Cli({"copy-data", "--from", a, "--to", other.uri()});
    EXPECT_EQ(failed.code, 1);
    EXPECT_TRUE(failed.err.contains(QStringLiteral("nothing was copied"))) << failed.err.toStdString();
    const pg::PgConnection::Rows left = other.admin().query(
        QStringLiteral("SELECT count(*) FROM \"%1\".\"%2\"").arg(other.schema(), Schedule::decl().sqlName));
    ASSERT_TRUE(left.ok());
    EXPECT_EQ(left.rows.front().front(), QStringLiteral("0"));
}

} // namespace
} // namespace kr::test
