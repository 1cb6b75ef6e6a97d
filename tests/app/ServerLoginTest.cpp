// Logging in to a real PostgreSQL server of the test's own that wants a password: the one
// kept in the secret store first, then the user's, asked again while refused; nothing asked
// of a server that needs no password.

#include "app/ServerLogin.h"
#include "store/pg/PgDatabase.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

const QString kPassword = QStringLiteral("s3c'ret\\x y");

// A cluster of its own whose role kelvray logs in with kPassword.
class PasswordServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir(QStringLiteral("/tmp/krl-XXXXXX")); // short: the socket is in it
        QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                QFile::ExeOther);
        QProcess p;
        p.start(QStringLiteral("bash"), {QStringLiteral(PG_SERVER_SCRIPT), QStringLiteral("start"),
                                         dir_->filePath(QStringLiteral("pg")), kPassword});
        started_ = p.waitForFinished(120000) && p.exitCode() == 0;
        if (!started_)
            std::fprintf(stderr, "%s\n", p.readAll().constData());
    }
    static void TearDownTestSuite() {
        QProcess p;
        p.start(QStringLiteral("bash"), {QStringLiteral(PG_SERVER_SCRIPT), QStringLiteral("stop"),
                                         dir_->filePath(QStringLiteral("pg"))});
        p.waitForFinished(60000);
        delete dir_;
    }
    void SetUp() override { ASSERT_TRUE(started_); }

    static QString database() {
        return QStringLiteral("host=%1 dbname=postgres user=kelvray")
            .arg(dir_->filePath(QStringLiteral("pg")));
    }

    static inline QTemporaryDir* dir_ = nullptr;
    static inline bool started_ = false;
};

TEST_F(PasswordServer, AWrongPasswordIsAskedAgainAndTheOneThatWorksIsKept) {
    qunsetenv("PGPASSWORD");
    MemorySecretStore secrets;
    QStringList asked;
    const auto login = LogInToServer(database(), &secrets, [&](const QString& text) {
        asked << text;
        return std::optional<QString>(asked.size() == 1 ? QStringLiteral("wrong") : kPassword);
    });
    ASSERT_TRUE(login.has_value());
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("asks for the password of the role kelvray")))
        << asked[0].toStdString();
    EXPECT_TRUE(asked[1].contains(QStringLiteral("refused the role kelvray"))) << asked[1].toStdString();
    EXPECT_EQ(ProbeLogin(*login, 2000).result, LoginProbe::Accepted);
    // What the title and messages show of it holds no password.
    EXPECT_FALSE(ServerDisplayName(*login).contains(QStringLiteral("s3c")));

    const LoginProbe probe = ProbeLogin(database(), 2000);
    EXPECT_EQ(secrets.readPassword(ServerPasswordKey(probe.server, probe.role)), kPassword);
    // The next start takes the kept one without asking.
    bool askedAgain = false;
    const auto again = LogInToServer(database(), &secrets, [&](const QString&) {
        askedAgain = true;
        return std::optional<QString>();
    });
    EXPECT_TRUE(again.has_value());
    EXPECT_FALSE(askedAgain);
}

TEST_F(PasswordServer, GivingUpOpensNothing) {
    MemorySecretStore secrets;
    int asked = 0;
    const auto login = LogInToServer(database(), &secrets, [&](const QString&) {
        ++asked;
        return std::optional<QString>();
    });
    EXPECT_FALSE(login.has_value());
    EXPECT_EQ(asked, 1);
}

TEST(ServerLogin, AServerThatNeedsNoPasswordIsNotAskedFor) {
    const QString server = qEnvironmentVariable("KELVRAY_TEST_PG");
    if (server.isEmpty())
        GTEST_SKIP() << "KELVRAY_TEST_PG is not set";
    const auto login = LogInToServer(server, nullptr, [](const QString&) -> std::optional<QString> {
        ADD_FAILURE() << "asked for a password";
        return std::nullopt;
    });
    EXPECT_EQ(login, std::optional<QString>(server));
}

} // namespace
} // namespace kr::test
