#pragma once

// A thin owner of SQLCipher connections and statements.

#include "store/Errors.h"

#include <QString>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace kr::sql {

class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, const QString& sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool valid() const { return stmt_ != nullptr; }
    int prepareResult() const { return prepareRc_; }

    void bind(int index, qint64 value);
    void bind(int index, const QString& value);
    // Steps once: SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    // Resets so that the statement holds no lock, and clears the bindings.
    void reset();

    qint64 columnInt(int col) const;
    QString columnText(int col) const;
    // The column's text as UTF-8, valid until the next step or reset.
    QByteArrayView columnUtf8(int col) const;
    bool columnIsText(int col) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    int prepareRc_ = 0;
};

class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the file; with a key it is enciphered under that key. Returns an SQLite result.
    int open(const QString& path, bool create, const QByteArray& key);
    void close();
    bool isOpen() const { return db_ != nullptr; }
    // Whether the file could only be opened for reading.
    bool readOnly() const;
    sqlite3* handle() const { return db_; }

    // Enciphers the open file under another key, rewriting every page in one transaction.
    int rekey(const QByteArray& key);

    // Runs statements without results; returns an SQLite result code.
    int exec(const QString& sql);
    void setBusyTimeout(int milliseconds);
    // A handler SQLite calls while a lock it needs is held elsewhere: non-zero to try again.
    void setBusyHandler(int (*handler)(void*, int), void* arg);
    qint64 changes() const;
    // Every row this connection changed since it opened.
    qint64 totalChanges() const;
    qint64 lastInsertRowid() const;
    QString errorMessage() const;
    int extendedErrorCode() const;

private:
    sqlite3* db_ = nullptr;
};

// The program's error for an SQLite result code, with the storage layer's own text.
StoreError ToStoreError(int rc, const Connection& conn);

// Case folding used for the keys that ignore letter case.
QString Fold(const QString& text);

} // namespace kr::sql
