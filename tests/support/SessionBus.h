#pragma once

#include <QProcess>
#include <QString>

namespace kr::test {

// A private session bus for one test suite, stopped with it.
class SessionBus {
public:
    SessionBus() {
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                      QStringLiteral("--print-address=1")});
        daemon_.waitForStarted(5000);
        for (int i = 0; i < 50 && !daemon_.canReadLine(); ++i)
            daemon_.waitForReadyRead(100);
        address_ = QString::fromLatin1(daemon_.readLine()).trimmed();
    }
    ~SessionBus() {
        daemon_.kill();
        daemon_.waitForFinished(3000);
    }
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;
    const QString& address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

} // namespace kr::test
