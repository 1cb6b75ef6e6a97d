#include "store/Cipher.h"
#include "StoreFixture.h"
#include "store/Sqlite.h"

#include <QFile>
#include <QProcess>

namespace kr::test {
namespace {

using Cipher = StoreFixture;

QString RunTool(const QString& program, const QStringList& args, const QByteArray& input, int* exitCode) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(20000);
    *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAll());
}

TEST_F(Cipher, TheDataFileOpensOnlyUnderTheOwnerPassword) {
    {
        Table<Schedule> s(*store);
        Schedule t = Task(1, QStringLiteral("secret plans"));
        ASSERT_EQ(s.add(t), Err::None);
    }
    EXPECT_EQ(OwnerPassword().size(), 9);
    for (char c : OwnerPassword())
        EXPECT_TRUE(c > ' ' && c < 127);

    // Nothing of the contents is readable in the file itself.
    QFile f(dataFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    EXPECT_FALSE(raw.contains("secret plans"));
    EXPECT_FALSE(raw.startsWith("SQLite format 3"));

    sql::Connection right;
    ASSERT_EQ(right.open(dataFile(), false, OwnerPassword()), 0);
    EXPECT_EQ(right.exec(QStringLiteral("SELECT count(*) FROM s")), 0);
    sql::Connection wrong;
    ASSERT_EQ(wrong.open(dataFile(), false, QByteArray("kR7!vq#2N")), 0);
    EXPECT_EQ(wrong.exec(QStringLiteral("SELECT count(*) FROM s")), 26); // not a database

    int code = 0;
    const QString plain =
        RunTool(QStringLiteral("sqlite3"), {dataFile(), QStringLiteral("SELECT * FROM s;")}, {}, &code);
    EXPECT_NE(code, 0);
    EXPECT_TRUE(plain.contains(QStringLiteral("not a database"))) << plain.toStdString();

    // Another installation of the same storage reads it under the same password.
    const QString other =
        RunTool(QStringLiteral("sqlcipher"), {dataFile()},
                "PRAGMA key='" + OwnerPassword() + "';\nSELECT DESCRIPTION FROM s;\n", &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(other.contains(QStringLiteral("secret plans"))) << other.toStdString();
}

TEST_F(Cipher, TheTagFileHasNoPassword) {
    {
        Table<Tag> t(*store);
        Tag tag;
        tag.tbl = 1;
        tag.ptr = 5;
        tag.val = QStringLiteral("5");
        ASSERT_EQ(t.add(tag), Err::None);
    }
    int code = 0;
    const QString out = RunTool(QStringLiteral("sqlite3"),
                                {dir.file(kTagFileName), QStringLiteral("SELECT PTR FROM Tag;")}, {}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out.trimmed(), QStringLiteral("5"));
}

} // namespace
} // namespace kr::test
