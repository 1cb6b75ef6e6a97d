#include "platform/x11/Accessibility.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

namespace kr {

namespace {

// An accessible object: the bus name of its program and its object path.
struct ObjectRef {
    QString service;
    QDBusObjectPath path;
};

const QDBusArgument& operator>>(const QDBusArgument& a, ObjectRef& r) {
    a.beginStructure();
    a >> r.service >> r.path;
    a.endStructure();
    return a;
}

QDBusArgument& operator<<(QDBusArgument& a, const ObjectRef& r) {
    a.beginStructure();
    a << r.service << r.path;
    a.endStructure();
    return a;
}

constexpr int kTimeoutMs = 300;
constexpr int kMaxObjects = 800;
constexpr int kMaxDepth = 16;
const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");

} // namespace

} // namespace kr

Q_DECLARE_METATYPE(kr::ObjectRef)

namespace kr {

namespace {

std::vector<ObjectRef> Children(const QDBusConnection& bus, const ObjectRef& of) {
    QDBusMessage call = QDBusMessage::createMethodCall(of.service, of.path.path(), kAccessible,
                                                       QStringLiteral("GetChildren"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMs);
    std::vector<ObjectRef> out;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return out;
    const QDBusArgument arg = reply.arguments().first().value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        ObjectRef r;
        arg >> r;
        out.push_back(r);
    }
    arg.endArray();
    return out;
}

QString StringCall(const QDBusConnection& bus, const ObjectRef& of, const QString& method) {
    QDBusMessage call = QDBusMessage::createMethodCall(of.service, of.path.path(), kAccessible, method);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
               ? reply.arguments().first().toString()
               : QString();
}

QString Name(const QDBusConnection& bus, const ObjectRef& of) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        of.service, of.path.path(), QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << kAccessible << QStringLiteral("Name");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant().toString();
}

} // namespace

Accessibility::Accessibility(QString sessionAddress)
    : sessionAddress_(std::move(sessionAddress))
    , name_(QStringLiteral("kelvray-a11y")) {
    qDBusRegisterMetaType<ObjectRef>();
    qDBusRegisterMetaType<QList<ObjectRef>>();
}

Accessibility::~Accessibility() {
    if (connected_)
        QDBusConnection::disconnectFromBus(name_);
}

bool Accessibility::connect() {
    // The accessibility bus may come up after this program; try again now and then.
    if (connected_ || (lastTry_.isValid() && lastTry_.elapsed() < 5000))
        return connected_;
    lastTry_.start();
    // The accessibility bus is started on demand: asking for its address starts it.
    QDBusConnection session =
        sessionAddress_.isEmpty()
            ? QDBusConnection::sessionBus()
            : QDBusConnection::connectToBus(sessionAddress_, name_ + QStringLiteral("-session"));
    if (!session.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                       QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    const QDBusMessage reply = session.call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    const QString address = reply.arguments().first().toString();
    connected_ = QDBusConnection::connectToBus(address, name_).isConnected();
    return connected_;
}

std::vector<std::pair<QString, QString>> Accessibility::objectsOf(pid_t pid, const QString& windowTitle) {
    std::vector<std::pair<QString, QString>> out;
    if (pid <= 0 || !connect())
        return out;
    const QDBusConnection bus(name_);
    // The programs registered with the accessibility registry, one of which is the window's.
    const ObjectRef root{QStringLiteral("org.a11y.atspi.Registry"),
                         QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root"))};
    for (const ObjectRef& app : Children(bus, root)) {
        const QDBusReply<uint> owner = bus.interface()->servicePid(app.service);
        if (!owner.isValid() || static_cast<pid_t>(owner.value()) != pid)
            continue;
        // Its top-level objects (windows); the one with the window's title, or all of them.
        const std::vector<ObjectRef> frames = Children(bus, app);
        std::vector<ObjectRef> chosen;
        for (const ObjectRef& f : frames)
            if (Name(bus, f) == windowTitle)
                chosen.push_back(f);
        if (chosen.empty())
            chosen = frames;
        std::vector<std::pair<ObjectRef, int>> pending;
        for (auto it = chosen.rbegin(); it != chosen.rend(); ++it)
            pending.emplace_back(*it, 0);
        while (!pending.empty() && out.size() < static_cast<std::size_t>(kMaxObjects)) {
            const auto [object, depth] = pending.back();
            pending.pop_back();
            const std::vector<ObjectRef> children = Children(bus, object);
            for (const ObjectRef& c : children) {
                const QString n = Name(bus, c);
                out.emplace_back(StringCall(bus, c, QStringLiteral("GetRoleName")), n);
            }
            if (depth < kMaxDepth)
                for (auto it = children.rbegin(); it != children.rend(); ++it)
                    pending.emplace_back(*it, depth + 1);
        }
    }
    return out;
}

} // namespace kr
