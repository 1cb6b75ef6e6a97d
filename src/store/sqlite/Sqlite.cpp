#include "store/sqlite/Sqlite.h"

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

StoreError ErrorOf(int rc, sqlite3* db) {
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
    default:
        e.code = Err::StorageError;
        break;
    }
    e.driverText =
        db != nullptr ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    e.driverCode = rc;
    return e;
}

class SqliteStatement final : public PreparedStatement {
public:
    SqliteStatement(sqlite3* db, sqlite3_stmt* stmt)
        : db_(db)
        , stmt_(stmt) {}
    ~SqliteStatement() override { sqlite3_finalize(stmt_); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    void bind(int index, qint64 value) override { sqlite3_bind_int64(stmt_, index, value); }
    void bind(int index, const QString& value) override {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(stmt_, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    Step step() override {
        rc_ = sqlite3_step(stmt_);
        if (rc_ == SQLITE_ROW)
            return Step::Row;
        return rc_ == SQLITE_DONE ? Step::Done : Step::Failed;
    }
    void reset() override {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    qint64 columnInt(int col) const override { return sqlite3_column_int64(stmt_, col); }
    QString columnText(int col) const override {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        return QString::fromUtf8(text, sqlite3_column_bytes(stmt_, col));
    }
    QByteArrayView columnUtf8(int col) const override {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        return {text, sqlite3_column_bytes(stmt_, col)};
    }
    bool columnIsText(int col) const override { return sqlite3_column_type(stmt_, col) == SQLITE_TEXT; }
    StoreError error() const override { return ErrorOf(rc_, db_); }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_;
    int rc_ = SQLITE_OK;
};

} // namespace

SqliteConnection::~SqliteConnection() {
    close();
}

namespace {

// Before the library's first use: no count of the memory it takes is kept. The count is taken
// under one lock for the whole process at every allocation, which connections reading on
// several threads would otherwise wait for in turn (nothing here asks for the count).
void ConfigureLibrary() {
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return true;
    }();
    (void)configured;
}

} // namespace

int SqliteConnection::open(const QString& path, bool create, const QByteArray& key) {
    ConfigureLibrary();
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

bool SqliteConnection::readOnly() const {
    return db_ != nullptr && sqlite3_db_readonly(db_, "main") == 1;
}

int SqliteConnection::rekey(const QByteArray& key) {
    return sqlite3_rekey(db_, key.constData(), static_cast<int>(key.size()));
}

void SqliteConnection::close() {
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

std::unique_ptr<PreparedStatement> SqliteConnection::prepare(const QString& sql, StoreError& error) {
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v2(db_, utf8.constData(), static_cast<int>(utf8.size()), &stmt, nullptr);
    if (rc != SQLITE_OK || stmt == nullptr) {
        sqlite3_finalize(stmt);
        error = ErrorOf(rc == SQLITE_OK ? SQLITE_MISUSE : rc, db_);
        return nullptr;
    }
    error = {};
    return std::make_unique<SqliteStatement>(db_, stmt);
}

int SqliteConnection::execCode(const QString& sql) {
    return sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
}

StoreError SqliteConnection::exec(const QString& sql) {
    return error(execCode(sql));
}

void SqliteConnection::setBusyHandler(int (*handler)(void*, int), void* arg) {
    sqlite3_busy_handler(db_, handler, arg);
}

qint64 SqliteConnection::changes() const {
    return sqlite3_changes(db_);
}

qint64 SqliteConnection::totalChanges() const {
    return sqlite3_total_changes(db_);
}

qint64 SqliteConnection::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(db_);
}

QString SqliteConnection::errorMessage() const {
    return db_ != nullptr ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
}

StoreError SqliteConnection::error(int rc) const {
    return ErrorOf(rc, db_);
}

StoreError SqliteReadOnlyError() {
    return StoreError{Err::StorageError, QString::fromUtf8(sqlite3_errstr(SQLITE_READONLY)), SQLITE_READONLY};
}

} // namespace kr::sql
