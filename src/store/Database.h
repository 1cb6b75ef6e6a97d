#pragma once

// The one interface above the store's drivers. A Connection prepares and steps statements and
// reports the store's own error numbers; a Database owns one connection with the catalogue
// work (making, checking, upgrading tables), the transactions and change detection. The
// embedded data file (DataFile) and a database server (PgDatabase) implement it; everything
// above (tables, keys, record changes, numbering) is written against it alone.
//
// Statement texts are shared by the drivers: parameters are written ?N (or ? for the next
// one), text compares byte for byte, and every table has the bookkeeping columns _id (the row
// number, given by the database on an insert) and _ver.

#include "store/Errors.h"
#include "store/Schema.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <memory>
#include <vector>
#include <mutex>
#include <optional>

namespace kr {

enum class OpenMode {
    Shared,    // read/write, other stations read and write too
    DenyWrite, // read/write, other stations may not write
};

namespace sql {

enum class Step { Row, Done, Failed };

// One prepared statement of a driver.
class PreparedStatement {
public:
    virtual ~PreparedStatement() = default;
    virtual void bind(int index, qint64 value) = 0;
    virtual void bind(int index, const QString& value) = 0;
    virtual Step step() = 0;
    // Ends the statement so that it holds no lock, and clears the bindings.
    virtual void reset() = 0;
    // A column of the current row: an integer (0 for NULL, 1/0 for a truth value), a text.
    virtual qint64 columnInt(int col) const = 0;
    virtual QString columnText(int col) const = 0;
    // The column's text as UTF-8, valid until the next step or reset.
    virtual QByteArrayView columnUtf8(int col) const = 0;
    virtual bool columnIsText(int col) const = 0;
    // What the last step failed with; kept until the next step, whatever reset() does.
    virtual StoreError error() const = 0;
    // For the next execution only: once its answer is in and holds `limit` rows, the driver
    // may ask `next` for the following batch at once, binding the last row's `columns` and
    // then `limit`, while this answer is taken in; `next` takes that answer when it is run
    // with the same bindings. Drivers that gain nothing by it ignore it.
    virtual void readAheadInto(PreparedStatement* /*next*/, std::vector<int> /*columns*/, int /*limit*/) {}
};

class Connection {
public:
    virtual ~Connection() = default;
    virtual bool isOpen() const = 0;
    // A prepared statement, or nullptr with the reason.
    virtual std::unique_ptr<PreparedStatement> prepare(const QString& sql, StoreError& error) = 0;
    // Runs statements without results.
    virtual StoreError exec(const QString& sql) = 0;
    // Rows the last finished write changed; the row number its insert gave.
    virtual qint64 changes() const = 0;
    virtual qint64 lastInsertRowid() const = 0;
};

// A statement as its users hold it: prepared on a connection, stepped, reset, reused.
class Statement {
public:
    Statement() = default;
    Statement(Connection& conn, const QString& sql) { impl_ = conn.prepare(sql, prepareError_); }

    bool valid() const { return impl_ != nullptr; }
    const StoreError& prepareError() const { return prepareError_; }

    void bind(int index, qint64 value) { impl_->bind(index, value); }
    void bind(int index, const QString& value) { impl_->bind(index, value); }
    Step step() { return impl_ ? impl_->step() : Step::Failed; }
    void reset() {
        if (impl_)
            impl_->reset();
    }
    qint64 columnInt(int col) const { return impl_->columnInt(col); }
    QString columnText(int col) const { return impl_->columnText(col); }
    QByteArrayView columnUtf8(int col) const { return impl_->columnUtf8(col); }
    bool columnIsText(int col) const { return impl_->columnIsText(col); }
    StoreError error() const { return impl_ ? impl_->error() : prepareError_; }
    void readAheadInto(Statement* next, std::vector<int> columns, int limit) {
        if (impl_)
            impl_->readAheadInto(next ? next->impl_.get() : nullptr, std::move(columns), limit);
    }

private:
    std::unique_ptr<PreparedStatement> impl_;
    StoreError prepareError_;
};

// Case folding used for the keys that ignore letter case: done by the program on every
// driver, so that both order and match non-ASCII text alike.
QString Fold(const QString& text);

} // namespace sql

class Database;

// The database's lock, held by every store call for as long as the call works on it. The
// first hold of a call starts the call's wait for other stations: however many locks the
// driver asks for inside it, the call waits at most the statement wait in all.
class FileLock {
public:
    explicit FileLock(Database& db)
        : db_(db) {}
    void lock();
    bool try_lock();
    void unlock();

private:
    std::recursive_mutex mutex_;
    int depth_ = 0;
    Database& db_;
};

class Database {
public:
    explicit Database(QString name);
    virtual ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // The data file's path, or the server database as the user named it.
    const QString& path() const { return name_; }
    virtual bool enciphered() const { return false; }
    FileLock& mutex() { return lock_; }
    virtual sql::Connection& connection() = 0;
    // Whether there is something to connect to (the file exists; a server is always tried).
    virtual bool existsOnDisk() const = 0;

    // Connects when not connected yet and checks that the database can be read.
    virtual StoreError connect(OpenMode mode) = 0;
    // Makes the database when it does not exist yet, with its catalogue of layouts. `fill`
    // runs on the new database before any other station can see it (making its tables).
    virtual StoreError createFile(const std::function<StoreError()>& fill = {}) = 0;
    virtual void disconnect() = 0;

    // Whether it can only be read, and what a write to it then gives.
    virtual bool readOnly() const = 0;
    virtual StoreError readOnlyError() const = 0;
    bool tablesMade() const { return tablesMade_; }
    void setTablesMade() { tablesMade_ = true; }

    // Driver options: "Recover=N" lets the next opens wait N seconds; "LockWait=N" lets a
    // single write wait N milliseconds for another station's lock.
    virtual void send(const QString& option);

    // Transactions: Logout waits at most `waitMs` for the other stations.
    virtual StoreError begin(int waitMs, bool exclusive) = 0;
    virtual StoreError commit() = 0;
    virtual StoreError rollback() = 0;
    bool inTransaction() const { return transaction_; }
    // Whether a statement that fails inside a transaction ends the whole transaction, so that
    // a write expected to fail must run under a savepoint.
    virtual bool failuresEndTransactions() const { return false; }

    int openWaitMs() const { return openWaitMs_; }
    int statementWaitMs() const { return statementWaitMs_; }

    // Whether another connection committed a change since the last call; the first call only
    // takes note. Never waits.
    virtual bool changedByOthers() = 0;
    // A value that differs whenever the database changed since it was taken, by this process
    // or by another; nullopt when it cannot be told without waiting.
    struct ChangeStamp {
        qint64 dataVersion = -1;
        qint64 ownChanges = -1;
        bool operator==(const ChangeStamp&) const = default;
    };
    virtual std::optional<ChangeStamp> changeStamp() = 0;

    // ---- the catalogue (called under the lock, inside a transaction where they write)
    // The layout version recorded for a table, 0 when none is recorded.
    virtual int recordedVersion(const QString& table) = 0;
    virtual QStringList tableNames() = 0;
    virtual bool tableExists(const Schema& schema) = 0;
    // Whether the table has exactly the schema's columns, and exactly its keys.
    virtual bool layoutMatches(const Schema& schema) = 0;
    virtual bool keysMatch(const Schema& schema) = 0;
    // Makes the table with its keys and records its layout version.
    virtual StoreError makeTable(const Schema& schema, int version) = 0;
    // An empty table that lives only as long as this connection.
    virtual StoreError makeTemporaryTable(const Schema& schema) = 0;
    virtual StoreError dropTable(const Schema& schema) = 0;
    // Drops and rebuilds every key, refreshing the folded copies first.
    virtual StoreError rebuildKeys(const Schema& schema, const TableDecl& decl) = 0;
    // Converts the table to the schema, keeping every record: each field takes the column of
    // the same name or its default; records its layout version.
    virtual StoreError convertTable(const Schema& schema, const TableDecl& decl, int version) = 0;

    // Records were added with the row numbers they had elsewhere: the numbers the database
    // gives next must follow them.
    virtual StoreError rowNumbersTaken(const Schema& schema);

    // A database object of its own on the same database, for work on another thread.
    virtual std::unique_ptr<Database> another() const = 0;

    // ---- the dialect
    // The schema of a table in this database.
    virtual Schema schemaOf(const TableDecl& decl) const = 0;
    // What to put after a table's name so that a count reads only the key's index.
    virtual QString indexedBy(const KeySchema& key) const;

    // The longest a single operation waits for another station before it fails: the
    // program's window thread never waits longer than this.
    static constexpr int kLongestWaitMs = 2000;
    static constexpr int kStatementWaitMs = kLongestWaitMs;

    // One wait shared by every call made while it lives (on this thread), for a routine that
    // the user sees as one wait however many calls it takes: the reservation of a record
    // number. Calls inside it wait at most what is left of it. It holds the lock while it
    // lives.
    class SharedWait {
    public:
        SharedWait(Database& db, int ms);
        ~SharedWait();
        SharedWait(const SharedWait&) = delete;
        SharedWait& operator=(const SharedWait&) = delete;
        bool spent() const;

    private:
        Database& db_;
        qint64 previous_;
    };

protected:
    friend class FileLock;
    // The calls' waits: a deadline for the call under way.
    virtual void startCall();
    virtual void endCall();
    qint64 deadlineFor(int ms) const;
    // Milliseconds left before the call's deadline (its statement wait outside any call).
    int msLeft() const;
    static qint64 NowMs();
    // Runs work that may wait `ms` for other stations (within a shared wait, no longer than
    // it); the call's own wait is as before afterwards.
    template <class F> auto waitingFor(int ms, F&& work) {
        const qint64 saved = callDeadline_;
        const int savedWait = lockWaitMs_;
        callDeadline_ = deadlineFor(ms);
        lockWaitMs_ = ms;
        auto result = work();
        callDeadline_ = saved;
        lockWaitMs_ = savedWait;
        return result;
    }
    void setTransaction(bool open);

    QString name_;
    FileLock lock_{*this};
    bool transaction_ = false;
    bool tablesMade_ = false;
    int openWaitMs_ = kLongestWaitMs;
    int statementWaitMs_ = kStatementWaitMs;
    // Milliseconds of the monotonic clock; 0 when none is set.
    qint64 callDeadline_ = 0;
    qint64 sharedDeadline_ = 0;
    int lockWaitMs_ = kStatementWaitMs; // a wait outside any call (none of the program's)
};

} // namespace kr
