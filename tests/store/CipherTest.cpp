#include "store/Cipher.h"
#include "StoreFixture.h"
#include "store/sqlite/DataFile.h"
#include "store/sqlite/Sqlite.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMessageAuthenticationCode>
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

    sql::SqliteConnection right;
    ASSERT_EQ(right.open(dataFile(), false, OwnerRawKey()), 0);
    EXPECT_EQ(right.execCode(QStringLiteral("SELECT count(*) FROM s")), 0);
    sql::SqliteConnection wrong;
    ASSERT_EQ(wrong.open(dataFile(), false, QByteArray("kR7!vq#2N")), 0);
    EXPECT_EQ(wrong.execCode(QStringLiteral("SELECT count(*) FROM s")), 26); // not a database

    int code = 0;
    const QString plain =
        RunTool(QStringLiteral("sqlite3"), {dataFile(), QStringLiteral("SELECT * FROM s;")}, {}, &code);
    EXPECT_NE(code, 0);
    EXPECT_TRUE(plain.contains(QStringLiteral("not a database"))) << plain.toStdString();

    // Another installation of the same storage reads it under the same key.
    const QString other =
        RunTool(QStringLiteral("sqlcipher"), {dataFile()},
                "PRAGMA key=\"" + OwnerRawKey() + "\";\nSELECT DESCRIPTION FROM s;\n", &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(other.contains(QStringLiteral("secret plans"))) << other.toStdString();
}

// The raw key is the owner password's derivation, fixed once: every installation keys its
// files alike.
TEST(CipherKey, TheRawKeyIsDerivedFromTheOwnerPassword) {
    // PBKDF2-HMAC-SHA256 with one block of output.
    const QByteArray salt(kOwnerKeySalt);
    QByteArray u = QMessageAuthenticationCode::hash(salt + QByteArray("\0\0\0\1", 4), OwnerPassword(),
                                                    QCryptographicHash::Sha256);
    QByteArray t = u;
    for (int i = 1; i < kOwnerKeyRounds; ++i) {
        u = QMessageAuthenticationCode::hash(u, OwnerPassword(), QCryptographicHash::Sha256);
        for (qsizetype j = 0; j < t.size(); ++j)
            t[j] = static_cast<char>(t[j] ^ u[j]);
    }
    EXPECT_EQ(OwnerRawKey(), "x'" + t.toHex() + "'");
}

TEST_F(Cipher, AFileKeyedWithThePasswordIsReadAndReKeyedOnItsFirstOpen) {
    {
        Table<Schedule> s(*store);
        Schedule t = Task(1, QStringLiteral("kept from before"));
        ASSERT_EQ(s.add(t), Err::None);
    }
    resetStore();
    // Key the file as the earlier versions did: under the password itself.
    {
        sql::SqliteConnection c;
        ASSERT_EQ(c.open(dataFile(), false, OwnerRawKey()), 0);
        ASSERT_EQ(c.rekey(OwnerPassword()), 0);
    }
    {
        sql::SqliteConnection old;
        ASSERT_EQ(old.open(dataFile(), false, OwnerPassword()), 0);
        ASSERT_EQ(old.execCode(QStringLiteral("SELECT count(*) FROM s")), 0);
    }
    {
        Table<Schedule> s(*store);
        Schedule t;
        t.id = 1;
        ASSERT_EQ(s.get(Schedule::KEYID, t), Err::None);
        EXPECT_EQ(t.description, QStringLiteral("kept from before"));
        EXPECT_TRUE(dialogs.shown.empty());
    }
    resetStore();
    sql::SqliteConnection now;
    ASSERT_EQ(now.open(dataFile(), false, OwnerRawKey()), 0);
    EXPECT_EQ(now.execCode(QStringLiteral("SELECT count(*) FROM s")), 0);
    sql::SqliteConnection password;
    ASSERT_EQ(password.open(dataFile(), false, OwnerPassword()), 0);
    EXPECT_EQ(password.execCode(QStringLiteral("SELECT count(*) FROM s")), 26);
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
