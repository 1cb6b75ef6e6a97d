#pragma once

// Moves a whole schedule between databases (a data file and a server, either way): every
// shared table with its record numbers, stamps and links, into an empty target only, in one
// transaction there, so that a copy that fails leaves the target as it was.

#include "store/Store.h"

#include <functional>
#include <vector>

namespace kr {

struct TableCopied {
    QString table;
    qint64 records = 0;
};

struct CopyOutcome {
    StoreError error; // a storage error, with `where` naming the table
    QString where;    //
    QString refusal;  // why nothing was copied (the target holds records)
    std::vector<TableCopied> tables;
    bool ok() const { return error.ok() && refusal.isEmpty(); }
};

// Told after each batch: the table, the records copied of it so far and how many it has.
using CopyProgress = std::function<void(const QString& table, qint64 copied, qint64 total)>;

// Records per batch read from the source and written to the target.
inline constexpr int kCopyBatch = 1000;

CopyOutcome CopyData(Store& from, Store& to, const CopyProgress& progress = {});

} // namespace kr
