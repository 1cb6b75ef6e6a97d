#pragma once

// A filtered view of a table in the order of one of its keys, read by position. A list
// window shows a few rows of a large table without loading the others: it counts the view,
// asks for the records at the positions it shows, and finds a record's position again after
// a refresh.
//
// Counting a large view means walking all of it, so a view keeps, per process, its count and
// a mark (the key values) at every kMarkEvery-th position; a position is then found by a seek
// to the mark before it and a short walk. The marks of a view that another write has made
// stale still place a row nearly right; while they are refreshed on a thread of their own,
// count() gives the last count (or, for a view never counted, an estimate) and the view tells
// its owner when the exact count differs.

#include "store/Database.h"
#include "store/Table.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
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

    static constexpr int kMarkEvery = 512;

    // Records of `key` (with the key's own rule for records whose key fields are all blank,
    // unless `allRecords`) that meet every condition, in the key's order.
    KeyView(TableAccess& table, int key, std::vector<Condition> conditions = {}, bool allRecords = false);
    ~KeyView();
    KeyView(const KeyView&) = delete;
    KeyView& operator=(const KeyView&) = delete;

    // How many records the view holds; -1 after an error. For a large view that changed it
    // may be the last count or an estimate until the count in the background is done.
    qint64 count();
    // Whether the last count() was exact.
    bool exact() const { return exact_; }
    // `refined` runs on `context`'s thread once the background count is done, when it differs
    // from what count() gave; the owner reads the view again then.
    void onRefined(QObject* context, std::function<void()> refined);
    // The row numbers of up to `n` records from position `first` on, in key order.
    bool rowids(qint64 first, int n, std::vector<qint64>& out);
    // The position of the record in the view; -1 when the view does not hold it.
    qint64 positionOf(qint64 rowid);

    TableAccess& table() { return table_; }
    const StoreError& error() const { return error_; }

    // How long count() walks a changed view itself before it leaves the rest to a thread of
    // its own (tests set 0 to take that path with small tables).
    static void setCountHereMs(qint64 ms);

    struct Marks;
    struct Notifier;
    using MarkList = std::vector<std::vector<Value>>;

private:
    void bindConditions(sql::Statement& st, int first) const;
    bool prepare(sql::Statement& st, const QString& sql);
    QString cacheKey() const;
    bool countSmall(qint64 limit, qint64& n);
    void startRefresh(const std::shared_ptr<Marks>& marks);
    bool offsetRowids(qint64 first, int n, std::vector<qint64>& out);
    std::vector<Value> markAt(qint64 position, qint64& markPosition) const;
    bool keyOf(qint64 rowid, std::vector<Value>& tuple, bool& inView);
    qint64 slowPositionOf(qint64 rowid);

    TableAccess& table_;
    std::vector<Condition> conditions_;
    int bound_ = 0;   // conditions that bind a value
    QString where_;   // the key's rule and the conditions
    QString orderUp_; // key columns and row number, ascending
    QString orderDown_;
    QString tuple_; // "(key columns,_id)"
    QStringList keyColumns_;
    sql::Statement count_;
    sql::Statement up_;
    sql::Statement down_;
    sql::Statement fromMark_;
    sql::Statement sinceMark_;
    sql::Statement keyOf_;
    sql::Statement position_;
    qint64 cachedCount_ = -1;
    bool exact_ = false;
    std::shared_ptr<Marks> marks_;
    std::shared_ptr<const MarkList> seen_; // the marks this view counted with
    std::shared_ptr<Notifier> notifier_;
    StoreError error_;
};

} // namespace kr
