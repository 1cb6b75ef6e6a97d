#include "cli/ProgramCalls.h"

#include "cli/CsvCommands.h"
#include "cli/TaskOptions.h"
#include "platform/dbus/Instance.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QTimer>

namespace kr::cli {

namespace {

void ThrowIfError(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ErrorMessage)
        return;
    if (reply.errorName() == kErrorInvalidArgument)
        throw UsageError{reply.errorMessage()};
    throw Failure{reply.errorMessage()};
}

QDBusMessage MethodCall(const QString& name, const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(name, kProgramObjectPath, kProgramInterface, method);
    call.setArguments(arguments);
    return call;
}

} // namespace

std::optional<QString> RunningProgram(const QString& dir) {
    // Qt hands an error answer on inside as a QDBusError and the QDBusMessage of the call; left
    // to be registered on first use, its bus thread may meet them unregistered as the program
    // ends and add "Trying to construct an instance of an invalid type" to the answer's text.
    qRegisterMetaType<QDBusError>();
    qRegisterMetaType<QDBusMessage>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    const QString name = InstanceBusName(dir);
    if (!bus.interface()->isServiceRegistered(name))
        return std::nullopt;
    return name;
}

QDBusMessage Call(const QString& name, const QString& method, const QVariantList& arguments) {
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(MethodCall(name, method, arguments), QDBus::Block, 30000);
    ThrowIfError(reply);
    return reply;
}

void ProgressRelay::percent(int value) {
    if (!begun_) {
        progress_.begin(QStringLiteral("Kelvray"), QStringLiteral("running in Kelvray"));
        begun_ = true;
    }
    progress_.update(value);
}

QVariantMap LongCall(const QString& name, const QString& method, const QVariantList& arguments,
                     Progress& progress) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    ProgressRelay relay(progress);
    bus.connect(name, kProgramObjectPath, kProgramInterface, QStringLiteral("Progress"), &relay,
                SLOT(percent(int)));
    // No limit but the program's own end: a day is the longest a bus call may be given.
    constexpr int kNoLimitMs = 24 * 60 * 60 * 1000;
    QDBusPendingCall pending = bus.asyncCall(MethodCall(name, method, arguments), kNoLimitMs);
    QDBusPendingCallWatcher watcher(pending);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    bool asked = false;
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (asked || !InterruptCancels::requested())
            return;
        asked = true;
        bus.call(MethodCall(name, QStringLiteral("Cancel"), {}), QDBus::NoBlock);
    });
    poll.start();
    if (!pending.isFinished())
        loop.exec();
    bus.disconnect(name, kProgramObjectPath, kProgramInterface, QStringLiteral("Progress"), &relay,
                   SLOT(percent(int)));
    progress.end();
    const QDBusMessage reply = pending.reply();
    ThrowIfError(reply);
    return qdbus_cast<QVariantMap>(reply.arguments().value(0));
}

} // namespace kr::cli
