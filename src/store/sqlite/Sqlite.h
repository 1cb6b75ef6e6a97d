#pragma once

// The SQLCipher driver: a thin owner of a connection to an enciphered file and its
// statements. Nothing of SQLite is seen above the store's driver interface.

#include "store/Database.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kr::sql {

class SqliteConnection final : public Connection {
public:
    SqliteConnection() = default;
    ~SqliteConnection() override;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Opens the file; with a key it is enciphered under that key. Returns an SQLite result.
    int open(const QString& path, bool create, const QByteArray& key);
    void close();
    bool isOpen() const override { return db_ != nullptr; }
    // Whether the file could only be opened for reading.
    bool readOnly() const;
    sqlite3* handle() const { return db_; }

    // Enciphers the open file under another key, rewriting every page in one transaction.
    int rekey(const QByteArray& key);

    std::unique_ptr<PreparedStatement> prepare(const QString& sql, StoreError& error) override;
    StoreError exec(const QString& sql) override;
    // The SQLite result of running statements without results.
    int execCode(const QString& sql);
    // A handler SQLite calls while a lock it needs is held elsewhere: non-zero to try again.
    void setBusyHandler(int (*handler)(void*, int), void* arg);
    qint64 changes() const override;
    // Every row this connection changed since it opened.
    qint64 totalChanges() const;
    qint64 lastInsertRowid() const override;
    QString errorMessage() const;

    // The program's error for an SQLite result code, with the storage layer's own text.
    StoreError error(int rc) const;

private:
    sqlite3* db_ = nullptr;
};

// The storage layer's error for a write to a file that can only be read.
StoreError SqliteReadOnlyError();

} // namespace kr::sql
