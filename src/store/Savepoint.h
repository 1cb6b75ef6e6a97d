#pragma once

// A part of a transaction that may fail while the transaction goes on. Where a failed
// statement ends the whole transaction (a server), the part runs under a savepoint: a failure
// undoes the part alone and the rest of the transaction stays usable. Elsewhere it costs
// nothing and changes nothing.

#include "store/Database.h"
#include "store/Table.h"

#include <mutex>

namespace kr {

class Savepoint {
public:
    explicit Savepoint(TableAccess& table)
        : db_(table.tableFile()->file()) {
        std::lock_guard lock(db_.mutex());
        if (db_.inTransaction() && db_.failuresEndTransactions())
            active_ = db_.connection().exec(QStringLiteral("SAVEPOINT kr_part")).ok();
    }
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;
    // Undone unless it was kept.
    ~Savepoint() { end(false); }

    // Keeps the part (`ok`) or undoes it; false when the savepoint itself could not be ended,
    // which leaves the transaction to fail at its commit.
    bool end(bool ok) {
        if (!active_)
            return true;
        active_ = false;
        std::lock_guard lock(db_.mutex());
        sql::Connection& conn = db_.connection();
        StoreError e = ok ? StoreError{} : conn.exec(QStringLiteral("ROLLBACK TO SAVEPOINT kr_part"));
        if (e.ok())
            e = conn.exec(QStringLiteral("RELEASE SAVEPOINT kr_part"));
        return e.ok();
    }

private:
    Database& db_;
    bool active_ = false;
};

} // namespace kr
