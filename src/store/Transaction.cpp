#include "store/Transaction.h"

#include <algorithm>

namespace kr {

Transaction::~Transaction() {
    rollback();
}

Err Transaction::begin(std::initializer_list<TableAccess*> tables, int waitSeconds) {
    if (active()) {
        error_ = StoreError{Err::TransactionActive, {}, 0};
        return error_.code;
    }
    std::vector<std::shared_ptr<Database>> files;
    for (TableAccess* t : tables) {
        const auto& f = t->tableFile()->fileHandle();
        if (std::find(files.begin(), files.end(), f) == files.end())
            files.push_back(f);
    }
    for (const auto& f : files) {
        std::lock_guard lock(f->mutex());
        const StoreError e = f->begin(waitSeconds * 1000, false);
        if (!e.ok()) {
            rollback();
            error_ = e;
            return e.code;
        }
        files_.push_back(f);
    }
    error_ = {};
    return Err::None;
}

Err Transaction::commit() {
    error_ = {};
    for (const auto& f : files_) {
        std::lock_guard lock(f->mutex());
        const StoreError e = f->commit();
        if (!e.ok() && error_.ok())
            error_ = e;
    }
    files_.clear();
    return error_.code;
}

void Transaction::rollback() {
    for (const auto& f : files_) {
        std::lock_guard lock(f->mutex());
        f->rollback();
    }
    files_.clear();
}

} // namespace kr
