#include "app/Program.h"
#include "platform/Paths.h"
#include "platform/PrivateFiles.h"
#include "platform/dbus/Instance.h"
#include "platform/qt/Keyboard.h"
#include "store/pg/PgDatabase.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QThread>

#include <cstdio>
#include <cstring>

namespace {

// Asks the program that owns the folder's bus name to show its frame. It may still be starting:
// its object appears a moment after its name.
bool ShowRunningProgram(QDBusConnection& bus, const QString& name) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
        const QDBusMessage reply =
            bus.call(QDBusMessage::createMethodCall(name, kr::kProgramObjectPath, kr::kProgramInterface,
                                                    QStringLiteral("Show")),
                     QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
        if (!bus.interface()->isServiceRegistered(name))
            return false; // it ended meanwhile
        QThread::msleep(100);
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    kr::ProgramOptions options;
    QString database = qEnvironmentVariable("KELVRAY_DATABASE");
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QStringLiteral("--data-dir") && i + 1 < argc) {
            options.dataDir = QString::fromLocal8Bit(argv[++i]);
        } else if (a.startsWith(QStringLiteral("--data-dir="))) {
            options.dataDir = a.mid(11);
        } else if (a == QStringLiteral("--database") && i + 1 < argc) {
            database = QString::fromLocal8Bit(argv[++i]);
        } else if (a.startsWith(QStringLiteral("--database="))) {
            database = a.mid(11);
        } else if (a.compare(QStringLiteral("/I"), Qt::CaseInsensitive) == 0) {
            options.inactive = true;
        } else if (a == QStringLiteral("--help")) {
            std::printf("usage: kelvray [--data-dir DIR] [--database URL|DIR] [/I] [--version]\n");
            return 0;
        } else if (a == QStringLiteral("--version")) {
            std::printf("kelvray %s\n", KELVRAY_VERSION);
            return 0;
        }
    }
    // Window automation needs X11: under a Wayland session the program runs through XWayland.
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QStringLiteral("wayland") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY")) {
            qputenv("QT_QPA_PLATFORM", "xcb");
            options.waylandSession = true;
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "kelvray: no display to show its windows on (DISPLAY is not set)\n");
        return 1;
    }
    // A server holds the shared schedule; a folder is the data folder.
    if (kr::IsServerUri(database))
        options.database = database;
    else if (!database.isEmpty() && options.dataDir.isEmpty())
        options.dataDir = database;
    if (options.dataDir.isEmpty())
        options.dataDir = kr::DefaultDataDir();
    options.configDir = kr::DefaultConfigDir();
    if (!kr::MakePrivateDir(options.dataDir) || !QDir::setCurrent(options.dataDir)) {
        std::fprintf(stderr, "kelvray: cannot work in %s\n", qPrintable(options.dataDir));
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvray"));
    QApplication::setApplicationVersion(QStringLiteral("1.7d"));
    QApplication::setDesktopFileName(QStringLiteral("kelvray"));
    QApplication::setQuitOnLastWindowClosed(false);

    // One program per user and data folder: two would run every due task twice. The session
    // bus name of the folder lets a second start raise the first; the lock file in the folder
    // holds against a program started without the bus (over ssh, from a timer unit), so both
    // are always taken.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const QString name = kr::InstanceBusName(options.dataDir);
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
            bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            options.exportOnBus = true;
        } else if (reply.isValid()) {
            if (ShowRunningProgram(bus, name))
                return 0;
            std::fprintf(stderr, "kelvray: already running for %s, and it does not answer\n",
                         qPrintable(options.dataDir));
            return 1;
        }
    }
    const QString lockPath = QDir(options.dataDir).filePath(QStringLiteral("kelvray.lock"));
    QLockFile lock(lockPath);
    if (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError) {
            std::fprintf(stderr, "kelvray: cannot take the lock file %s\n", qPrintable(lockPath));
            return 1;
        }
        // The one running was started without the session bus: it cannot be raised from here.
        std::fprintf(stderr, "kelvray: already running for %s%s\n", qPrintable(options.dataDir),
                     options.exportOnBus ? " (started without the session bus)" : "");
        return 0;
    }
    kr::TightenFile(lockPath);
    kr::GuardUnansweredAltKeys();
    return kr::RunProgram(options);
}
