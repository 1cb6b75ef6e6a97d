#pragma once

// The files behind the tables. A DataFile is one file on disk with its one connection per
// process; a TableFile is one table inside it, shared by every user of the table in the
// process and holding the prepared statements that walk its keys.

#include "store/Errors.h"
#include "store/Record.h"
#include "store/Schema.h"
#include "store/Sqlite.h"

#include <map>
#include <memory>
#include <mutex>

namespace kr {

enum class OpenMode {
    Shared,    // read/write, other stations read and write too
    DenyWrite, // read/write, other stations may not write
};

class DataFile {
public:
    DataFile(QString path, bool enciphered);
    ~DataFile();
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    const QString& path() const { return path_; }
    bool enciphered() const { return enciphered_; }
    std::recursive_mutex& mutex() { return mutex_; }
    sql::Connection& connection() { return conn_; }
    bool existsOnDisk() const;

    // Opens the connection when it is not open yet and checks that the file can be read.
    // Waits for a lock held by another station up to the open wait.
    StoreError connect(OpenMode mode);
    // Makes the file when it does not exist yet (enciphered when it should be), and its
    // catalogue of layouts.
    StoreError createFile();
    void disconnect();

    // Driver options: "Recover=N" lets the next opens wait N seconds for a stale lock;
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

    // True when another connection (another station, another program) committed a change
    // to the file since the last call; the first call only takes note. One cheap statement
    // that does not wait for another station's lock: a file that is busy reads as unchanged
    // until the next call.
    bool changedElsewhere();

    static constexpr int kStatementWaitMs = 5000;

private:
    StoreError fail(int rc);
    int openConnection(bool create);

    QString path_;
    bool enciphered_;
    std::recursive_mutex mutex_;
    sql::Connection conn_;
    bool transaction_ = false;
    int openWaitMs_ = 2000;
    int statementWaitMs_ = kStatementWaitMs;
    qint64 dataVersion_ = -1;
};

class TableFile {
public:
    enum Stmt { First, Last, After, Before, RowFrom, RowTo, ValueFrom, ValueTo, Equal, Exists, KeyStmtCount };
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

} // namespace kr
