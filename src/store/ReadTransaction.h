#pragma once

// One consistent read over many statements: a transaction that only reads, on the database of
// a table, so that a long series of lookups takes the file's lock once instead of once per
// statement. Without it (a file opened read-only, a transaction already open) the reads go on
// one by one as ever. Ends, writing nothing, when it goes out of scope.

#include "store/Database.h"
#include "store/Table.h"
#include "store/TableFile.h"

#include <mutex>

namespace kr {

class ReadTransaction {
public:
    explicit ReadTransaction(TableAccess& table)
        : db_(table.tableFile()->file()) {
        std::lock_guard lock(db_.mutex());
        if (!db_.inTransaction() && !db_.readOnly())
            began_ = db_.begin(Database::kLongestWaitMs, false).ok();
    }
    ~ReadTransaction() {
        if (!began_)
            return;
        std::lock_guard lock(db_.mutex());
        db_.rollback();
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    Database& db_;
    bool began_ = false;
};

} // namespace kr
