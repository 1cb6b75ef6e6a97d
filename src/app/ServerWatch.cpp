#include "app/ServerWatch.h"

namespace kr {

ServerWatch::ServerWatch(Store& store) {
    if (store.onServer())
        tasks_ = std::make_unique<Table<Schedule>>(store);
}

ServerWatch::Change ServerWatch::tick(qint64 nowMs) {
    if (!tasks_)
        return Change::None;
    Database& db = tasks_->tableFile()->file();
    if (!lost_) {
        std::lock_guard lock(db.mutex());
        if (db.connection().isOpen())
            return Change::None;
        lost_ = true;
        nextTry_ = nowMs + kRetryMs;
        return Change::Lost;
    }
    if (nowMs < nextTry_)
        return Change::None;
    nextTry_ = nowMs + kRetryMs;
    Database::SharedWait wait(db, kTryWaitMs);
    if (!db.connect(OpenMode::Shared).ok())
        return Change::None;
    lost_ = false;
    return Change::Back;
}

} // namespace kr
