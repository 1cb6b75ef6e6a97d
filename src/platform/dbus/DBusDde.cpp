#include "platform/dbus/DBusDde.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace kr {

QString DBusDde::TopicPath(const QString& topic) {
    QString path;
    for (const QString& element : topic.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/');
        for (const QChar c : element) {
            const bool allowed = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                                 (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                                 (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_');
            path += allowed ? c : QLatin1Char('_');
        }
    }
    return path.isEmpty() ? QStringLiteral("/") : path;
}

bool DBusDde::execute(const QString& application, const QString& topic, const QString& command) {
    if (!bus_.isConnected() || application.isEmpty())
        return false;
    QDBusConnectionInterface* names = bus_.interface();
    if (names == nullptr)
        return false;
    // A name that is not a bus name, or one nobody owns, means no program is listening.
    const QDBusReply<bool> registered = names->isServiceRegistered(application);
    if (!registered.isValid() || !registered.value())
        return false;
    // An interface name cannot hold the "-" a bus name may.
    QString interfaceName = application;
    interfaceName.replace(QLatin1Char('-'), QLatin1Char('_'));
    QDBusMessage call = QDBusMessage::createMethodCall(application, TopicPath(topic), interfaceName,
                                                       QStringLiteral("Execute"));
    if (call.type() != QDBusMessage::MethodCallMessage)
        return false;
    call << command;
    call.setAutoStartService(false);
    // The answer is not awaited: the script goes on while the other program works.
    return bus_.send(call);
}

} // namespace kr
