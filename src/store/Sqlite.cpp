#include "store/Sqlite.h"

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

namespace kr::sql {

namespace {

void FoldFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const QByteArray folded = Fold(QString::fromUtf8(text, sqlite3_value_bytes(argv[0]))).toUtf8();
    sqlite3_result_text(ctx, folded.constData(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

} // namespace

QString Fold(const QString& text) {
    return text.toUpper();
}

Statement::Statement(sqlite3* db, const QString& sql) {
    const QByteArray utf8 = sql.toUtf8();
    prepareRc_ = sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &stmt_, nullptr);
    if (prepareRc_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept
    : stmt_(other.stmt_)
    , prepareRc_(other.prepareRc_) {
    other.stmt_ = nullptr;
}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = other.stmt_;
        prepareRc_ = other.prepareRc_;
        other.stmt_ = nullptr;
    }
    return *this;
}

void Statement::bind(int index, qint64 value) {
    sqlite3_bind_int64(stmt_, index, value);
}

void Statement::bind(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(stmt_, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

int Statement::step() {
    return sqlite3_step(stmt_);
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

qint64 Statement::columnInt(int col) const {
    return sqlite3_column_int64(stmt_, col);
}

QString Statement::columnText(int col) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt_, col));
}

QByteArrayView Statement::columnUtf8(int col) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return {text, sqlite3_column_bytes(stmt_, col)};
}

bool Statement::columnIsText(int col) const {
    return sqlite3_column_type(stmt_, col) == SQLITE_TEXT;
}

Connection::~Connection() {
    close();
}

int Connection::open(const QString& path, bool create, const QByteArray& key) {
    close();
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (create)
        flags |= SQLITE_OPEN_CREATE;
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
        return rc;
    }
    sqlite3_extended_result_codes(db_, 1);
    if (!key.isEmpty()) {
        rc = sqlite3_key(db_, key.constData(), static_cast<int>(key.size()));
        if (rc != SQLITE_OK)
            return rc;
    }
    return sqlite3_create_function_v2(db_, "kr_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      &FoldFunction, nullptr, nullptr, nullptr);
}

bool Connection::readOnly() const {
    return db_ != nullptr && sqlite3_db_readonly(db_, "main") == 1;
}

int Connection::rekey(const QByteArray& key) {
    return sqlite3_rekey(db_, key.constData(), static_cast<int>(key.size()));
}

void Connection::close() {
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

int Connection::exec(const QString& sql) {
    return sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
}

void Connection::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(db_, milliseconds);
}

void Connection::setBusyHandler(int (*handler)(void*, int), void* arg) {
    sqlite3_busy_handler(db_, handler, arg);
}

qint64 Connection::changes() const {
    return sqlite3_changes(db_);
}

qint64 Connection::totalChanges() const {
    return sqlite3_total_changes(db_);
}

qint64 Connection::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(db_);
}

QString Connection::errorMessage() const {
    return db_ != nullptr ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
}

int Connection::extendedErrorCode() const {
    return db_ != nullptr ? sqlite3_extended_errcode(db_) : SQLITE_NOMEM;
}

StoreError ToStoreError(int rc, const Connection& conn) {
    StoreError e;
    switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return e;
    case SQLITE_CONSTRAINT:
        e.code = Err::DuplicateKey;
        break;
    case SQLITE_NOTADB:
        e.code = Err::InvalidFile;
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        e.code = Err::IsLocked;
        break;
    case SQLITE_CORRUPT:
        e.code = Err::FileDamaged;
        break;
    case SQLITE_CANTOPEN:
        e.code = Err::StorageError;
        break;
    default:
        e.code = Err::StorageError;
        break;
    }
    e.driverText = conn.isOpen() ? conn.errorMessage() : QString::fromUtf8(sqlite3_errstr(rc));
    e.driverCode = rc;
    return e;
}

} // namespace kr::sql
