// The passwords through the real QtKeychain code, against gnome-keyring on a private
// session bus: unlocked (KELVRAY_KEYRING=unlocked) it keeps them; without a login
// collection it refuses, and the run-only copy takes over.

#include "mail/KeychainSecretStore.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>

namespace kr::test {
namespace {

bool Unlocked() {
    return qEnvironmentVariable("KELVRAY_KEYRING") == QStringLiteral("unlocked");
}

TEST(KeychainTest, PasswordsGoToTheSecretStoreOrStayForThisRun) {
    KeychainSecretStore keychain;
    SessionSecretStore secrets(&keychain);
    const QString key = SecretStore::key(QStringLiteral("smtp"), QStringLiteral("Mail.Example.test"),
                                         QStringLiteral("robot"));
    EXPECT_EQ(key, QStringLiteral("smtp:mail.example.test:robot"));
    QString error;
    const bool kept = secrets.writePassword(key, QStringLiteral("s3cret pw"), &error);
    EXPECT_EQ(secrets.readPassword(key), std::optional<QString>(QStringLiteral("s3cret pw")));
    if (Unlocked()) {
        EXPECT_TRUE(kept) << error.toStdString();
        // Read back from the store itself, not from the run-only copy.
        EXPECT_EQ(KeychainSecretStore().readPassword(key),
                  std::optional<QString>(QStringLiteral("s3cret pw")));
        EXPECT_EQ(KeychainSecretStore().readPassword(key + QStringLiteral("x")), std::nullopt);
    } else {
        EXPECT_FALSE(kept);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(keychain.readPassword(key), std::nullopt);
    }
}

} // namespace
} // namespace kr::test

int main(int argc, char** argv) {
    // The bus and the keyring are private: their files live in a folder of the test.
    kr::test::TempDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.file(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    kr::test::SessionBus bus(kr::test::SessionBus::Services::None);
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toLocal8Bit());
    QProcess keyring;
    // What the daemon complains of shows in the test's output.
    keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args{QStringLiteral("--foreground"), QStringLiteral("--components=secrets")};
    if (kr::test::Unlocked())
        args << QStringLiteral("--unlock");
    keyring.start(QStringLiteral("gnome-keyring-daemon"), args);
    if (!keyring.waitForStarted(10000)) {
        std::fprintf(stderr, "gnome-keyring-daemon did not start\n");
        return 1;
    }
    if (kr::test::Unlocked()) {
        keyring.write("keyring-test-password");
        keyring.waitForBytesWritten(5000);
    }
    keyring.closeWriteChannel();
    // It answers once it has its name on the bus, and an unlocked store once its login
    // collection stands.
    const QString path = kr::test::Unlocked() ? QStringLiteral("/org/freedesktop/secrets/collection/login")
                                              : QStringLiteral("/org/freedesktop/secrets");
    const QString interface = kr::test::Unlocked()
                                  ? QStringLiteral("string:org.freedesktop.Secret.Collection")
                                  : QStringLiteral("string:org.freedesktop.Secret.Service");
    // A loaded machine may take many seconds to make the login collection. The private bus
    // launches no daemon of its own for the probe, so only this one can answer.
    QElapsedTimer waited;
    waited.start();
    bool standing = false;
    QByteArray answer;
    while (!standing && waited.elapsed() < 60000) {
        QProcess probe;
        probe.start(QStringLiteral("dbus-send"),
                    {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                     QStringLiteral("--dest=org.freedesktop.secrets"), path,
                     QStringLiteral("org.freedesktop.DBus.Properties.GetAll"), interface});
        probe.waitForFinished(5000);
        answer = probe.readAllStandardError();
        standing = probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
        if (!standing)
            QThread::msleep(100);
    }
    if (!standing) {
        std::fprintf(stderr, "the secret store did not come up within a minute (%s; the daemon %s)\n",
                     answer.trimmed().constData(),
                     keyring.state() == QProcess::Running ? "runs" : "has ended");
        return 1;
    }
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    keyring.terminate();
    keyring.waitForFinished(3000);
    return status;
}
