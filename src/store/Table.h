#pragma once

// Record-at-a-time access to one table: a user's handle with its own position in a key.
// Constructing a handle opens the table through the use counts (creating, repairing or
// upgrading it when needed); destroying it releases the table.

#include "store/Store.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kr {

// Where a record stands in a key, to come back to it later.
struct Position {
    int key = -1;
    std::vector<Value> values;
    qint64 rowid = 0;
};

class TableAccess {
public:
    TableAccess(Store& store, const TableDecl& decl, const QString& file = {},
                OpenMode mode = OpenMode::Shared);
    ~TableAccess();
    TableAccess(const TableAccess&) = delete;
    TableAccess& operator=(const TableAccess&) = delete;

    const TableDecl& decl() const { return table_->decl(); }
    Store& store() const { return store_; }
    // The error left by the last operation.
    const StoreError& error() const { return error_; }

    // Set(key): before the first record in key order (key -1: physical order).
    Err set(int key);
    // Set(key, key): at the first record whose key value is not below the record's.
    Err setFrom(int key, const void* record);
    Err next(void* record);
    Err previous(void* record);
    // Up to `n` records forward from the position in one statement: `append` gives the place
    // of each record read. The statement is closed again before it returns, so that no lock is
    // held between calls. 33 when none was left.
    Err nextBatch(int n, const std::function<void*()>& append);
    // The same, reading only the fields given (and the key's own): the others are left as
    // `append` made them. For scans that look at a few fields of many records.
    Err nextBatch(int n, std::vector<int> fields, const std::function<void*()>& append);
    // Get(key): the record whose key fields equal the record's; 35 when there is none.
    Err get(int key, void* record);
    // Loads the record at a stable address (its row number).
    Err fetch(qint64 rowid, void* record);
    Err add(void* record);
    // An add that may duplicate a key inside a transaction, where the caller goes on after a
    // 40: a failure undoes this add alone and the transaction stays usable on every driver.
    Err tryAdd(void* record);
    // Rewrites the record last loaded; 89 when it was watched and another station wrote it.
    Err put(void* record);
    Err remove(void* record);
    // Whether adding the record would duplicate the key (the record itself excepted).
    bool duplicate(int key, const void* record);
    // The first unique key that adding the record would duplicate, -1 when none.
    int duplicateKey(const void* record);
    // Arms change detection for the next record loaded.
    void watch() { watchNext_ = true; }
    // The batches are read one after another to the end of a scan: where the driver gains by
    // it (a database server), each next batch is asked for as soon as the current one is in.
    // Anything else read or written on the connection in between is seen by the next batch
    // all the same: a batch asked ahead is then dropped and asked again. Send("QUICKSCAN=on")
    // and "=off" turn it on and off too.
    void readAhead(bool on = true) { readAhead_ = on; }
    qint64 records();
    // How many records hold the value in the field (a text as stored: trailing blanks
    // removed), counted through the field's index when it leads one; -1 after an error.
    qint64 countEqual(int field, const Value& value);

    // The highest row number in the table, 0 when it is empty.
    qint64 lastRow();
    // How many records the key holds, counted through its index alone: fewer than records()
    // when the key leaves some out. -1 after an error.
    qint64 keyRecords(int key);
    // The rows numbered above `after` and up to `upTo` whose fields of the opt key are all
    // blank, that is the records the key leaves out, in row order: a large table is looked
    // through in slices of rows.
    Err leftOutRows(int key, qint64 after, qint64 upTo, std::vector<qint64>& out);

    Position position(const void* record) const;
    // Next reads the remembered record again, Previous the one before it.
    Err reset(const Position& position);
    Err reget(const Position& position, void* record);

    // Lock, Empty, Unlock: delete every record under a lock held at most `waitSeconds`.
    Err lock(int waitSeconds = 1);
    Err empty();
    Err unlock();
    // Stream, Flush: bracket a run of many writes.
    Err stream();
    Err flush();
    void send(const QString& option);

    const std::shared_ptr<TableFile>& tableFile() const { return table_; }

private:
    enum class Mode { Start, FromValue, FromRow, AtRow };
    struct Cursor {
        int key = -1;
        Mode mode = Mode::Start;
        std::vector<Value> values;
        qint64 rowid = 0;
    };

    std::vector<Value> keyValues(int key, const void* record) const;
    RecordMeta& meta(const void* record) const;
    Err read(sql::Statement* st, void* record);
    void load(sql::Statement* st, void* record);
    // Loads the fields in `fields` from the columns after the row number and the version.
    void load(sql::Statement* st, void* record, const std::vector<int>& fields);
    void loadField(sql::Statement* st, int column, std::size_t field, void* record);
    void loadMeta(sql::Statement* st, void* record);
    Err batch(int n, const std::vector<int>* fields, const std::function<void*()>& append);
    // Tells the batch's statement how the batch after it is asked for.
    void askAhead(sql::Statement* st, int n, const std::vector<int>* fields);
    Err step(bool forward, void* record);
    // The statement that goes on from the cursor, with the cursor's key values and row bound:
    // `kinds` names the statement (TableFile::Stmt) for a cursor at the start, from a value,
    // from a row and at a row. `next` is the first parameter left free.
    Err cursorStatement(const int (&kinds)[4], sql::Statement*& st, int& next,
                        const std::vector<int>* fields = nullptr);
    Err setError(Err code);
    Err setError(const StoreError& e);
    void bindRecord(sql::Statement& st, int first, const void* record) const;

    Store& store_;
    std::shared_ptr<TableFile> table_;
    StoreError error_;
    Cursor cursor_;
    // The last text read into each field: a value repeated from one record to the next (a
    // category, a task type) is shared instead of decoded and allocated again.
    struct LastText {
        std::string utf8;
        QString text;
    };
    std::vector<LastText> lastText_;
    bool watchNext_ = false;
    bool readAhead_ = false;
    bool streaming_ = false;
    bool locked_ = false;
};

// The typed handle used by the program.
template <class R> class Table : public TableAccess {
public:
    explicit Table(Store& store, const QString& file = {}, OpenMode mode = OpenMode::Shared)
        : TableAccess(store, R::decl(), file, mode) {}
    // For the tables that share a record structure under another declaration.
    Table(Store& store, const TableDecl& decl, const QString& file = {}, OpenMode mode = OpenMode::Shared)
        : TableAccess(store, decl, file, mode) {}

    Err set(int key) { return TableAccess::set(key); }
    Err set(int key, const R& r) { return setFrom(key, &r); }
    Err next(R& r) { return TableAccess::next(&r); }
    Err previous(R& r) { return TableAccess::previous(&r); }
    // Replaces `out` with up to `n` following records; 33 (and `out` empty) when none is left.
    Err nextBatch(std::vector<R>& out, int n) {
        out.clear();
        out.reserve(static_cast<std::size_t>(n > 0 ? n : 0));
        return TableAccess::nextBatch(n, [&out]() -> void* { return &out.emplace_back(); });
    }
    // Only the fields given (R's field numbers) and the key's are read; the rest stay empty.
    Err nextBatch(std::vector<R>& out, int n, std::vector<int> fields) {
        out.clear();
        out.reserve(static_cast<std::size_t>(n > 0 ? n : 0));
        return TableAccess::nextBatch(n, std::move(fields), [&out]() -> void* { return &out.emplace_back(); });
    }
    Err get(int key, R& r) { return TableAccess::get(key, &r); }
    Err fetch(qint64 rowid, R& r) { return TableAccess::fetch(rowid, &r); }
    Err add(R& r) { return TableAccess::add(&r); }
    Err tryAdd(R& r) { return TableAccess::tryAdd(&r); }
    Err put(R& r) { return TableAccess::put(&r); }
    Err remove(R& r) { return TableAccess::remove(&r); }
    bool duplicate(int key, const R& r) { return TableAccess::duplicate(key, &r); }
    int duplicateKey(const R& r) { return TableAccess::duplicateKey(&r); }
    Position position(const R& r) const { return TableAccess::position(&r); }
    Err reget(const Position& p, R& r) { return TableAccess::reget(p, &r); }
};

} // namespace kr
