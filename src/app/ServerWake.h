#pragma once

// A station on a database server that sleeps in the tray is woken by the server itself: the
// connection's socket turns readable when another station's change is announced, or when the
// connection breaks. The watch is set as the frame goes to sleep and ends at the first word
// from the server; after a reconnect it watches the new connection.

#include "store/Table.h"
#include "store/Tables.h"

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace kr {

class ServerWake final : public QObject {
    Q_OBJECT
public:
    ServerWake(Store& store, std::function<void()> wake, QObject* parent = nullptr);
    ~ServerWake() override;

    // Watches the connection until the server sends something; false when it cannot (not on a
    // server, or not connected), and then the frame must keep looking on every tick.
    bool arm();
    bool armed() const;

private:
    std::unique_ptr<Table<Schedule>> tasks_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> wake_;
    quint64 generation_ = 0;
    int socket_ = -1;
};

} // namespace kr
