// The passwords through the real QtKeychain code, against gnome-keyring on a private
// session bus: unlocked (KELVRAY_KEYRING=unlocked) it keeps them; without a login
// collection it refuses, and the run-only copy takes over. With KELVRAY_KEYRING=hung the
// secret store is a daemon the bus starts on demand that never comes up, so every read waits.

#include "MailFixture.h"
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

bool Hung() {
    return qEnvironmentVariable("KELVRAY_KEYRING") == QStringLiteral("hung");
}

TEST(KeychainTest, PasswordsGoToTheSecretStoreOrStayForThisRun) {
    if (Hung())
        GTEST_SKIP() << "the store of this run never answers";
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

TEST(HungKeychainTest, AReadWaitsItsTimeOrStopsWhenCancelled) {
    if (!Hung())
        GTEST_SKIP() << "the store of this run answers";
    const QString key =
        SecretStore::key(QStringLiteral("smtp"), QStringLiteral("mail.test"), QStringLiteral("u"));
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(KeychainSecretStore(700).readPassword(key), std::nullopt);
    EXPECT_GE(t.elapsed(), 650); // the store really does not answer
    t.restart();
    EXPECT_EQ(KeychainSecretStore().readPassword(key, [&] { return t.elapsed() > 200; }), std::nullopt);
    EXPECT_LT(t.elapsed(), 1000);
}

class HungKeychainSendTest : public MailFixture {};

TEST_F(HungKeychainSendTest, ASenderGoingWhileItWaitsForAPasswordWaitsForNothing) {
    if (!Hung())
        GTEST_SKIP() << "the store of this run answers";
    KeychainSecretStore keychain;
    secretStore = &keychain;
    build();
    settings.host = QStringLiteral("127.0.0.1:1");
    settings.smtpUser = QStringLiteral("robot");
    Messages m{};
    m.emailTo = QStringLiteral("ann@example.test");
    m.subject = QStringLiteral("s");
    const qint32 id = addMessage(m);
    ASSERT_EQ(sender->sendStoredMessage(id), MailSender::kPending);
    QThread::msleep(300); // the worker waits for the store
    QElapsedTimer t;
    t.start();
    sender.reset();
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(message(id).lastDateSent, 0);
    EXPECT_EQ(mailLog(), (QStringList{QStringLiteral("Mail Error|Error:  User Cancel"),
                                      QStringLiteral("Mail Error|Could not send ann@example.test")}));
}

} // namespace
} // namespace kr::test

namespace {

// A bus whose secret store is started on demand and never takes its name: a call to it waits.
int RunWithHungStore(int argc, char** argv) {
    kr::test::TempDir config;
    QDir().mkpath(config.file(QStringLiteral("services")));
    QFile service(config.file(QStringLiteral("services/org.freedesktop.secrets.service")));
    if (!service.open(QIODevice::WriteOnly))
        return 1;
    service.write("[D-BUS Service]\nName=org.freedesktop.secrets\nExec=/bin/sleep 120\n");
    service.close();
    QFile bus(config.file(QStringLiteral("bus.conf")));
    if (!bus.open(QIODevice::WriteOnly))
        return 1;
    bus.write(("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
               "<servicedir>" +
               config.file(QStringLiteral("services")).toUtf8() +
               "</servicedir><policy context=\"default\"><allow send_destination=\"*\"/><allow own=\"*\"/>"
               "</policy></busconfig>\n"));
    bus.close();
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + bus.fileName(), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    daemon.waitForStarted(5000);
    for (int i = 0; i < 50 && !daemon.canReadLine(); ++i)
        daemon.waitForReadyRead(100);
    qputenv("DBUS_SESSION_BUS_ADDRESS", daemon.readLine().trimmed());
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    daemon.kill();
    daemon.waitForFinished(3000);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    // The bus and the keyring are private: their files live in a folder of the test.
    kr::test::TempDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.file(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    if (kr::test::Hung())
        return RunWithHungStore(argc, argv);
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
