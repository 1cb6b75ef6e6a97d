#pragma once

// Inter-application commands over the D-Bus session bus. The application is a bus name, the
// topic an object path on it, and the command one string argument to the method "Execute"
// of the interface named like the application:
//
//   application "org.example.Editor", topic "docs", command "open report.txt"
//   → org.example.Editor /docs org.example.Editor.Execute("open report.txt")

#include "platform/Dde.h"

#include <QDBusConnection>

namespace kr {

class DBusDde : public DdeClient {
public:
    explicit DBusDde(QDBusConnection bus = QDBusConnection::sessionBus())
        : bus_(std::move(bus)) {}

    bool execute(const QString& application, const QString& topic, const QString& command) override;

    // The object path a topic names: "/" in front, characters a path cannot hold as "_",
    // empty elements dropped.
    static QString TopicPath(const QString& topic);

private:
    QDBusConnection bus_;
};

} // namespace kr
