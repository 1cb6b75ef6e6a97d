#pragma once

#include "store/Table.h"

#include <initializer_list>
#include <vector>

namespace kr {

// A transaction over the listed tables (Logout, Commit, Rollback). Beginning waits at most
// the given seconds for other stations; a transaction still open when the object goes is
// rolled back.
class Transaction {
public:
    Transaction() = default;
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    Err begin(std::initializer_list<TableAccess*> tables, int waitSeconds = 2);
    Err commit();
    void rollback();
    bool active() const { return !files_.empty(); }
    const StoreError& error() const { return error_; }

private:
    std::vector<std::shared_ptr<Database>> files_;
    StoreError error_;
};

} // namespace kr
