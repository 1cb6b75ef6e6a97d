#pragma once

// A desktop notification service for a private session bus: it keeps the body of every
// notification it is asked to show.

#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace kr::test {

class RecordingNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList bodies;
public Q_SLOTS:
    uint Notify(const QString&, uint, const QString&, const QString&, const QString& body, const QStringList&,
                const QVariantMap&, int) {
        bodies << body;
        return static_cast<uint>(bodies.size());
    }
};

} // namespace kr::test
