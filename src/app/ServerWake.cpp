#include "app/ServerWake.h"

#include "store/TableFile.h"
#include "store/pg/PgDatabase.h"

#include <QSocketNotifier>

namespace kr {

ServerWake::ServerWake(Store& store, std::function<void()> wake, QObject* parent)
    : QObject(parent)
    , wake_(std::move(wake)) {
    if (store.onServer())
        tasks_ = std::make_unique<Table<Schedule>>(store);
}

ServerWake::~ServerWake() = default;

bool ServerWake::armed() const {
    return notifier_ && notifier_->isEnabled();
}

bool ServerWake::arm() {
    if (!tasks_)
        return false;
    auto* server = dynamic_cast<PgDatabase*>(&tasks_->tableFile()->file());
    if (server == nullptr)
        return false;
    pg::PgConnection& conn = server->server();
    const int socket = conn.socket();
    if (socket < 0) {
        notifier_.reset();
        return false;
    }
    if (!notifier_ || socket != socket_ || conn.generation() != generation_) {
        socket_ = socket;
        generation_ = conn.generation();
        notifier_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
            // Once: what arrived is read by the tick it wakes, and until then the socket stays
            // readable.
            notifier_->setEnabled(false);
            if (wake_)
                wake_();
        });
    }
    notifier_->setEnabled(true);
    return true;
}

} // namespace kr
