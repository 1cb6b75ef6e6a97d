#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace kr::test {

// A private session bus for one test suite, stopped with it.
class SessionBus {
public:
    // With the desktop's services, a call to a name nobody owns launches the daemon installed
    // for it (the accessibility bus, say). Without them it fails at once: a suite that starts
    // its own daemon for a name (a secret store with its login collection) is then not raced
    // by a second one that its first probe launched.
    enum class Services { Desktop, None };

    explicit SessionBus(Services services = Services::Desktop) {
        if (services == Services::Desktop) {
            start({QStringLiteral("--session")});
            return;
        }
        const QString config = configDir_.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (file.open(QIODevice::WriteOnly))
            file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig>\n"
                       "  <type>session</type>\n"
                       "  <listen>unix:tmpdir=/tmp</listen>\n"
                       "  <auth>EXTERNAL</auth>\n"
                       "  <policy context=\"default\">\n"
                       "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                       "    <allow eavesdrop=\"true\"/>\n"
                       "    <allow own=\"*\"/>\n"
                       "  </policy>\n"
                       "</busconfig>\n");
        file.close();
        start({QStringLiteral("--config-file=") + config});
    }
    ~SessionBus() {
        daemon_.kill();
        daemon_.waitForFinished(3000);
    }
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;
    const QString& address() const { return address_; }

private:
    void start(QStringList args) {
        args << QStringLiteral("--nofork") << QStringLiteral("--print-address=1");
        daemon_.start(QStringLiteral("dbus-daemon"), args);
        daemon_.waitForStarted(5000);
        for (int i = 0; i < 50 && !daemon_.canReadLine(); ++i)
            daemon_.waitForReadyRead(100);
        address_ = QString::fromLatin1(daemon_.readLine()).trimmed();
    }

    QTemporaryDir configDir_;
    QProcess daemon_;
    QString address_;
};

} // namespace kr::test
