#pragma once

// A filtered view of a table in the order of one of its keys, read by position. A list
// window shows a few rows of a large table without loading the others: it counts the view,
// asks for the records at the positions it shows, and finds a record's position again after
// a refresh.

#include "store/Sqlite.h"
#include "store/Table.h"

#include <vector>

namespace kr {

class KeyView {
public:
    struct Condition {
        enum Op { Equal, EqualNoCase, Zero };
        int field;
        Op op;
        Value value = qint64{0};
    };

    // Records of `key` (with the key's own rule for records whose key fields are all blank,
    // unless `allRecords`) that meet every condition, in the key's order.
    KeyView(TableAccess& table, int key, std::vector<Condition> conditions = {}, bool allRecords = false);

    // How many records the view holds; -1 after an error.
    qint64 count();
    // The row numbers of up to `n` records from position `first` on, in key order. Far into
    // the view it reads from the end, so that the last rows come as quickly as the first.
    bool rowids(qint64 first, int n, std::vector<qint64>& out);
    // The position of the record in the view; -1 when the view does not hold it.
    qint64 positionOf(qint64 rowid);

    TableAccess& table() { return table_; }
    const StoreError& error() const { return error_; }

private:
    void bindConditions(sql::Statement& st, int first) const;
    bool prepare(sql::Statement& st, const QString& sql);

    TableAccess& table_;
    std::vector<Condition> conditions_;
    QString where_;   // the key's rule and the conditions
    QString orderUp_; // key columns and row number, ascending
    QString orderDown_;
    QStringList keyColumns_;
    sql::Statement count_;
    sql::Statement up_;
    sql::Statement down_;
    sql::Statement position_;
    qint64 cachedCount_ = -1;
    StoreError error_;
};

} // namespace kr
