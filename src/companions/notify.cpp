// kelvray-notify "MESSAGE": shows a task's message outside the scheduler, as a desktop
// notification; without a notification service, in a small window of its own.

#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char** argv) {
    QString message;
    for (int i = 1; i < argc; ++i)
        message += (i > 1 ? QStringLiteral(" ") : QString()) + QString::fromLocal8Bit(argv[i]);
    if (message.isEmpty()) {
        std::fprintf(stderr, "usage: kelvray-notify MESSAGE\n");
        return 2;
    }

    QDBusInterface notifications(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QDBusConnection::sessionBus());
    if (notifications.isValid()) {
        const QDBusReply<uint> id = notifications.call(
            QStringLiteral("Notify"), QStringLiteral("Kelvray"), 0u, QStringLiteral("kelvray"),
            QStringLiteral("Kelvray"), message, QStringList(), QVariantMap(), 0);
        if (id.isValid())
            return 0;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "kelvray-notify: no notification service and no display for: %s\n",
                     message.toLocal8Bit().constData());
        return 1;
    }
    QApplication app(argc, argv);
    QMessageBox box(QMessageBox::Information, QStringLiteral("Kelvray"), message, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    return 0;
}
