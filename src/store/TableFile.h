#pragma once

// The files behind the tables. A DataFile is one file on disk with its one connection per
// process; a TableFile is one table inside it, shared by every user of the table in the
// process and holding the prepared statements that walk its keys.

#include "store/Errors.h"
#include "store/Record.h"
#include "store/Schema.h"
#include "store/Sqlite.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace kr {

enum class OpenMode {
    Shared,    // read/write, other stations read and write too
    DenyWrite, // read/write, other stations may not write
};

class DataFile;

// The file's lock, held by every store call for as long as the call works on the file. The
// first hold of a call starts the call's wait for other stations: however many locks SQLite
// asks for inside it (a write takes one, its commit another), the call waits at most the
// statement wait in all.
class FileLock {
public:
    explicit FileLock(DataFile& file)
        : file_(file) {}
    void lock();
    bool try_lock();
    void unlock();

private:
    std::recursive_mutex mutex_;
    int depth_ = 0;
    DataFile& file_;
};

class DataFile {
public:
    DataFile(QString path, bool enciphered);
    ~DataFile();
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    const QString& path() const { return path_; }
    bool enciphered() const { return enciphered_; }
    FileLock& mutex() { return lock_; }
    sql::Connection& connection() { return conn_; }
    bool existsOnDisk() const;

    // Opens the connection when it is not open yet and checks that the file can be read.
    // Waits for a lock held by another station up to the open wait.
    StoreError connect(OpenMode mode);
    // Makes the file when it does not exist yet (enciphered when it should be), and its
    // catalogue of layouts. `fill` runs on the new file before any other station can see it
    // (making its tables); a file that exists is left as it is.
    StoreError createFile(const std::function<StoreError()>& fill = {});
    void disconnect();

    // Whether the open file can only be read (no right to write it, a read-only file system).
    bool readOnly() const;
    // What a write to such a file gives: the storage layer's own error.
    static StoreError readOnlyError();
    // Whether every table of the file was made or found since it was opened.
    bool tablesMade() const { return tablesMade_; }
    void setTablesMade() { tablesMade_ = true; }

    // Driver options: "Recover=N" lets the next opens wait N seconds for a stale lock (the one
    // wait longer than kLongestWaitMs: an open that fails ends the program);
    // "LockWait=N" lets a single write wait N milliseconds for another station's lock;
    // "QUICKSCAN=on|off" needs nothing from this storage.
    void send(const QString& option);

    // Transactions: Logout waits at most `waitMs` for the other stations.
    StoreError begin(int waitMs, bool exclusive);
    StoreError commit();
    StoreError rollback();
    bool inTransaction() const { return transaction_; }

    int openWaitMs() const { return openWaitMs_; }
    int statementWaitMs() const { return statementWaitMs_; }

    // The layout version recorded for a table, 0 when none is recorded.
    int recordedVersion(const QString& table);

    // Whether another connection (another station, or another process of this one) committed
    // a change to the file since the last call; the first call only takes note. Never waits
    // for a lock: a file being written now is seen as changed at the call after its commit.
    bool changedByOthers();

    // A value that differs whenever the file changed since it was taken, by this process or by
    // another; nullopt when it cannot be told without waiting for a lock.
    struct ChangeStamp {
        qint64 dataVersion = -1;
        qint64 ownChanges = -1;
        bool operator==(const ChangeStamp&) const = default;
    };
    std::optional<ChangeStamp> changeStamp();

    // The longest a single operation waits for another station's lock before it fails: the
    // program's window thread never waits longer than this.
    static constexpr int kLongestWaitMs = 2000;
    static constexpr int kStatementWaitMs = kLongestWaitMs;

    // One wait shared by every call made while it lives (on this thread), for a routine that
    // the user sees as one wait however many calls it takes: the reservation of a record
    // number. Calls inside it wait at most what is left of it.
    // It holds the file's lock for as long as it lives.
    class SharedWait {
    public:
        SharedWait(DataFile& file, int ms);
        ~SharedWait();
        SharedWait(const SharedWait&) = delete;
        SharedWait& operator=(const SharedWait&) = delete;
        // Whether nothing is left of it.
        bool spent() const;

    private:
        DataFile& file_;
        qint64 previous_;
    };

private:
    friend class FileLock;
    // The calls' waits: a deadline for the call under way, and SQLite's busy handler.
    void startCall();
    void endCall();
    // Runs statements that may wait `ms` for other stations' locks (within a shared wait, no
    // longer than it); the call's own wait is as before afterwards.
    template <class F> auto waitingFor(int ms, F&& work);
    static int Busy(void* self, int count);
    qint64 deadlineFor(int ms) const;
    enum class Keying { Raw, Password };
    StoreError fail(int rc);
    int openConnection(const QString& path, bool create, Keying keying);
    int openKeyed(OpenMode mode);
    int probe();
    StoreError publishNewFile(const std::function<StoreError()>& fill);
    qint64 readDataVersion();
    void setCache(int kilobytes);

    static constexpr int kCacheKb = 32 * 1024;
    // The most cache a run of writes may take: a quarter of the memory, at most 1 GB.
    static int transactionCacheKb();

    QString path_;
    bool enciphered_;
    FileLock lock_{*this};
    sql::Connection conn_;
    bool transaction_ = false;
    bool tablesMade_ = false;
    int openWaitMs_ = kLongestWaitMs;
    qint64 dataVersion_ = -1;
    int statementWaitMs_ = kStatementWaitMs;
    // Milliseconds of the monotonic clock; 0 when none is set.
    qint64 callDeadline_ = 0;
    qint64 sharedDeadline_ = 0;
    int lockWaitMs_ = kStatementWaitMs; // a wait outside any call (none of the program's)
    qint64 busySince_ = 0;
};

class TableFile {
public:
    // The *N statements read forward like their one-record kinds, up to a number of records
    // bound as their last parameter.
    enum Stmt {
        First,
        Last,
        After,
        Before,
        RowFrom,
        RowTo,
        ValueFrom,
        ValueTo,
        Equal,
        Exists,
        FirstN,
        AfterN,
        RowFromN,
        ValueFromN,
        KeyStmtCount
    };
    enum TableStmt { Insert, Update, UpdateChecked, Delete, ByRowid, Count, Empty, TableStmtCount };

    TableFile(std::shared_ptr<DataFile> file, const TableDecl& decl);

    const TableDecl& decl() const { return decl_; }
    const Schema& schema() const { return schema_; }
    DataFile& file() { return *file_; }
    const std::shared_ptr<DataFile>& fileHandle() const { return file_; }

    // Open: the file and the table must exist, with the declared layout and sound keys.
    StoreError open(OpenMode mode, int declaredVersion);
    // Create: makes the file if needed and the table with its keys.
    StoreError create(int version);
    // A table that a read-only file does not hold: read as an empty table that exists only
    // for this connection; writes to it fail as every write to the file does.
    StoreError openAbsent();
    // Remove: deletes the table from its file.
    StoreError remove();
    // Build: rebuilds every key of the table.
    StoreError rebuildKeys();
    // Converts the table on disk to the declared layout, keeping every record.
    StoreError upgrade(int declaredVersion);

    // Prepared statements; key -1 is physical order. Call under the file's mutex.
    sql::Statement* keyStatement(Stmt kind, int key);
    sql::Statement* tableStatement(TableStmt kind);
    StoreError statementError(int rc);

private:
    QString keySql(Stmt kind, int key) const;
    QString tableSql(TableStmt kind) const;
    bool tableExists();
    bool layoutMatches();
    bool keysMatch();
    StoreError createKeys();
    void finalizeStatements();

    std::shared_ptr<DataFile> file_;
    const TableDecl& decl_;
    Schema schema_;
    std::vector<sql::Statement> keyStatements_;
    std::vector<sql::Statement> tableStatements_;
};

// A table to make, with the layout version recorded for it.
struct TableSpec {
    const TableDecl* decl;
    int version;
};

// Makes every table of the list that the file does not hold yet, each with its keys and
// layout version, in one transaction; the tables it holds already are left as they are.
StoreError CreateTables(DataFile& file, const std::vector<TableSpec>& tables);

} // namespace kr
