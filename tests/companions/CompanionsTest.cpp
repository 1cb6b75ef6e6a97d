// The companion programs, run as the scheduler runs them.

#include "support/RecordingNotifications.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace kr::test {
namespace {

// The bus, with the test's connection to it closed before it stops.
struct PrivateBus : SessionBus {
    ~PrivateBus() { QDBusConnection::disconnectFromBus(QStringLiteral("test-bus")); }
};

TEST(Notify, ShowsTheMessageAsADesktopNotification) {
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), QStringLiteral("test-bus"));
    ASSERT_TRUE(connection.isConnected());
    RecordingNotifications service;
    ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                          QDBusConnection::ExportAllSlots));
    QProcess notify;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    notify.setProcessEnvironment(env);
    notify.start(QStringLiteral(KELVRAY_NOTIFY), {QStringLiteral("Time for the meeting")});
    QElapsedTimer t;
    t.start();
    while (notify.state() != QProcess::NotRunning && t.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        notify.waitForFinished(20);
    }
    EXPECT_EQ(notify.exitCode(), 0);
    EXPECT_EQ(service.bodies, QStringList{QStringLiteral("Time for the meeting")});
}

TEST(Notify, SaysSoWhenNothingCanShowIt) {
    QProcess notify;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    notify.setProcessEnvironment(env);
    notify.start(QStringLiteral(KELVRAY_NOTIFY), {QStringLiteral("Lost message")});
    ASSERT_TRUE(notify.waitForFinished(20000));
    EXPECT_EQ(notify.exitCode(), 1);
    EXPECT_TRUE(notify.readAllStandardError().contains("Lost message"));
}

TEST(KillProc, EndsTheNamedProgramsOfThisUser) {
    TempDir dir;
    const QString sleeper = dir.file(QStringLiteral("kr-sleeper"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), sleeper));
    QFile::setPermissions(sleeper, QFile::permissions(sleeper) | QFileDevice::ExeOwner);
    QProcess a, b;
    a.start(sleeper, {QStringLiteral("60")});
    b.start(sleeper, {QStringLiteral("60")});
    ASSERT_TRUE(a.waitForStarted());
    ASSERT_TRUE(b.waitForStarted());
    QThread::msleep(100);

    QProcess kill;
    kill.start(QStringLiteral(KELVRAY_KILLPROC), {QStringLiteral("KR-SLEEPER.EXE")});
    ASSERT_TRUE(kill.waitForFinished(20000));
    EXPECT_EQ(kill.exitCode(), 0);
    EXPECT_TRUE(a.waitForFinished(5000));
    EXPECT_TRUE(b.waitForFinished(5000));
    EXPECT_EQ(a.exitStatus(), QProcess::CrashExit); // ended by a signal

    QProcess none;
    none.start(QStringLiteral(KELVRAY_KILLPROC), {QStringLiteral("kr-sleeper")});
    ASSERT_TRUE(none.waitForFinished(20000));
    EXPECT_EQ(none.exitCode(), 1);
}

} // namespace
} // namespace kr::test

