#include "store/TableFile.h"

#include "platform/PrivateFiles.h"
#include "platform/TransactionGuard.h"
#include "store/Cipher.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <stdio.h>
#include <unistd.h>

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

namespace kr {

namespace {

// Marks our files, so that a foreign database is not taken for a data file.
constexpr int kApplicationId = 0x4b523937; // "KR97"

const QString kLayouts = QStringLiteral("_layout");

} // namespace

// ------------------------------------------------------------------------------- DataFile

namespace {

qint64 NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void FileLock::lock() {
    mutex_.lock();
    if (depth_++ == 0)
        file_.startCall();
}

bool FileLock::try_lock() {
    if (!mutex_.try_lock())
        return false;
    if (depth_++ == 0)
        file_.startCall();
    return true;
}

void FileLock::unlock() {
    if (--depth_ == 0)
        file_.endCall();
    mutex_.unlock();
}

qint64 DataFile::deadlineFor(int ms) const {
    const qint64 deadline = NowMs() + std::max(0, ms);
    return sharedDeadline_ != 0 ? std::min(deadline, sharedDeadline_) : deadline;
}

void DataFile::startCall() {
    callDeadline_ = deadlineFor(statementWaitMs_);
}

void DataFile::endCall() {
    callDeadline_ = 0;
}

template <class F> auto DataFile::waitingFor(int ms, F&& work) {
    const qint64 saved = callDeadline_;
    const int savedWait = lockWaitMs_;
    callDeadline_ = deadlineFor(ms);
    lockWaitMs_ = ms;
    auto result = work();
    callDeadline_ = saved;
    lockWaitMs_ = savedWait;
    return result;
}

int DataFile::Busy(void* self, int count) {
    auto* f = static_cast<DataFile*>(self);
    const qint64 now = NowMs();
    qint64 deadline = f->callDeadline_;
    if (deadline == 0) {
        // A statement outside any call of ours: its own wait, as SQLite's timeout would do.
        if (count == 0)
            f->busySince_ = now;
        deadline = f->busySince_ + f->lockWaitMs_;
    }
    if (now >= deadline)
        return 0;
    // SQLite's own steps: short at first, then a tenth of a second.
    static constexpr int kDelays[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
    const int step = count < static_cast<int>(std::size(kDelays)) ? kDelays[count] : 100;
    sqlite3_sleep(static_cast<int>(std::min<qint64>(step, deadline - now)));
    return 1;
}

DataFile::SharedWait::SharedWait(DataFile& file, int ms)
    : file_(file) {
    file_.lock_.lock();
    previous_ = file_.sharedDeadline_;
    file_.sharedDeadline_ = file_.deadlineFor(ms);
    file_.callDeadline_ = std::min(file_.callDeadline_, file_.sharedDeadline_);
}

DataFile::SharedWait::~SharedWait() {
    file_.sharedDeadline_ = previous_;
    file_.lock_.unlock();
}

bool DataFile::SharedWait::spent() const {
    return NowMs() >= file_.sharedDeadline_;
}

DataFile::DataFile(QString path, bool enciphered)
    : path_(std::move(path))
    , enciphered_(enciphered) {}

DataFile::~DataFile() {
    disconnect();
}

bool DataFile::existsOnDisk() const {
    return QFileInfo::exists(path_);
}

StoreError DataFile::fail(int rc) {
    return sql::ToStoreError(rc, conn_);
}

int DataFile::openConnection(const QString& path, bool create, Keying keying) {
    QByteArray key;
    if (enciphered_)
        key = keying == Keying::Raw ? OwnerRawKey() : OwnerPassword();
    const int rc = conn_.open(path, create, key);
    if (conn_.isOpen())
        conn_.setBusyHandler(&DataFile::Busy, this);
    if (rc == SQLITE_OK)
        setCache(kCacheKb);
    return rc;
}

int DataFile::probe() {
    // Reading the catalogue proves the key and the file; wait for a lock as allowed.
    return waitingFor(openWaitMs_, [this] {
        sql::Statement st(conn_.handle(), QStringLiteral("SELECT count(*) FROM sqlite_master"));
        return st.valid() ? st.step() : st.prepareResult();
    });
}

int DataFile::openKeyed(OpenMode mode) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        int rc = openConnection(path_, false, Keying::Raw);
        if (rc == SQLITE_OK) {
            if (mode == OpenMode::DenyWrite)
                conn_.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
            rc = probe();
        }
        if (rc == SQLITE_ROW || !enciphered_ || (rc & 0xff) != SQLITE_NOTADB)
            return rc;
        // A file of an earlier version, keyed with the password itself: read it that way and
        // re-key it, so that later opens are quick.
        rc = openConnection(path_, false, Keying::Password);
        if (rc == SQLITE_OK) {
            if (mode == OpenMode::DenyWrite)
                conn_.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
            rc = probe();
        }
        if (rc != SQLITE_ROW)
            return rc;
        const int rekeyed = waitingFor(openWaitMs_, [this] { return conn_.rekey(OwnerRawKey()); });
        if (rekeyed == SQLITE_OK)
            return probe();
        // Another station may be re-keying it at this moment: open it afresh once. Failing
        // that, the file is used under the password and re-keyed at a later open.
        if (attempt == 1)
            return probe();
        conn_.close();
    }
    return SQLITE_NOTADB;
}

StoreError DataFile::connect(OpenMode mode) {
    if (!existsOnDisk())
        return StoreError{Err::FileNotFound, {}, 0};
    const bool fresh = !conn_.isOpen();
    int rc = SQLITE_ROW;
    if (fresh) {
        TightenFile(path_);
        rc = openKeyed(mode);
    } else {
        rc = probe();
    }
    if (rc != SQLITE_ROW) {
        StoreError e = fail(rc);
        // A connection that other tables already use stays; a new one that failed goes.
        if (fresh)
            disconnect();
        return e;
    }
    return {};
}

StoreError DataFile::publishNewFile(const std::function<StoreError()>& fill) {
    // The file is made complete under a name of its own and only then given its name, so that
    // no other station ever opens it half made (with another salt, or no catalogue yet).
    const QFileInfo info(path_);
    const QString temp = info.absoluteDir().filePath(
        QStringLiteral(".%1.%2.%3.new")
            .arg(info.fileName())
            .arg(::getpid())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    const QByteArray tempNative = QFile::encodeName(temp);
    const int fd = OpenPrivateFile(temp, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0)
        return StoreError{Err::StorageError, QString::fromLocal8Bit(std::strerror(errno)), errno};
    ::close(fd);
    auto removeTemp = [&] {
        ::unlink(tempNative.constData());
        ::unlink((tempNative + "-journal").constData());
    };
    int rc = openConnection(temp, false, Keying::Raw);
    if (rc == SQLITE_OK)
        rc = conn_.exec(QStringLiteral("PRAGMA application_id=%1;"
                                       "CREATE TABLE IF NOT EXISTS %2 (name TEXT PRIMARY KEY, "
                                       "version INTEGER NOT NULL)")
                            .arg(kApplicationId)
                            .arg(kLayouts));
    StoreError made = rc == SQLITE_OK ? StoreError{} : fail(rc);
    if (made.ok() && fill)
        made = fill();
    if (!made.ok()) {
        if (transaction_)
            rollback();
        conn_.close();
        removeTemp();
        return made;
    }
    conn_.close();
    const QByteArray finalNative = QFile::encodeName(path_);
    int moved =
        ::renameat2(AT_FDCWD, tempNative.constData(), AT_FDCWD, finalNative.constData(), RENAME_NOREPLACE);
    if (moved != 0 && errno != EEXIST) {
        // A file system without renaming that refuses to replace: a hard link does the same.
        moved = ::link(tempNative.constData(), finalNative.constData());
    }
    const int why = errno;
    removeTemp();
    // Another station made the file first: theirs is used.
    if (moved != 0 && why != EEXIST)
        return StoreError{Err::StorageError, QString::fromLocal8Bit(std::strerror(why)), why};
    return {};
}

StoreError DataFile::createFile(const std::function<StoreError()>& fill) {
    if (!conn_.isOpen()) {
        if (!existsOnDisk()) {
            StoreError e = publishNewFile(fill);
            if (!e.ok())
                return e;
        }
        StoreError e = connect(OpenMode::Shared);
        if (!e.ok())
            return e;
    }
    // A file made by an earlier version may lack the catalogue of layouts.
    const int rc = conn_.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (name TEXT PRIMARY KEY, "
                                             "version INTEGER NOT NULL)")
                                  .arg(kLayouts));
    if (rc != SQLITE_OK) {
        StoreError e = fail(rc);
        disconnect();
        return e;
    }
    return {};
}

bool DataFile::readOnly() const {
    return conn_.isOpen() && conn_.readOnly();
}

StoreError DataFile::readOnlyError() {
    return StoreError{Err::StorageError, QString::fromUtf8(sqlite3_errstr(SQLITE_READONLY)), SQLITE_READONLY};
}

void DataFile::disconnect() {
    tablesMade_ = false;
    if (transaction_) {
        conn_.exec(QStringLiteral("ROLLBACK"));
        transaction_ = false;
        OpenTransactions::closed();
    }
    conn_.close();
}

void DataFile::send(const QString& option) {
    const QString o = option.trimmed();
    if (o.startsWith(QStringLiteral("Recover="), Qt::CaseInsensitive)) {
        bool ok = false;
        const int seconds = o.mid(8).toInt(&ok);
        if (ok && seconds > 0)
            openWaitMs_ = seconds * 1000;
    } else if (o.startsWith(QStringLiteral("LockWait="), Qt::CaseInsensitive)) {
        bool ok = false;
        const int ms = o.mid(9).toInt(&ok);
        if (ok && ms >= 0) {
            statementWaitMs_ = ms;
            lockWaitMs_ = ms;
        }
    }
    // QUICKSCAN needs nothing: reads are already streamed through the keys.
}

StoreError DataFile::begin(int waitMs, bool exclusive) {
    if (transaction_)
        return StoreError{Err::TransactionActive, {}, 0};
    if (!conn_.isOpen())
        return StoreError{Err::FileNotFound, {}, 0};
    // Every transaction is begun to write.
    if (readOnly())
        return readOnlyError();
    const int rc = waitingFor(waitMs, [&] {
        return conn_.exec(exclusive ? QStringLiteral("BEGIN EXCLUSIVE") : QStringLiteral("BEGIN IMMEDIATE"));
    });
    if (rc != SQLITE_OK)
        return fail(rc);
    transaction_ = true;
    OpenTransactions::opened();
    // A run of many writes (an import, a synchronization) adds to every key of its tables in
    // key order, that is all over the file: once the keys outgrow the page cache, every add
    // reads, deciphers, enciphers and writes pages it had a moment ago, and the adds get
    // slower as the table grows. Inside a transaction the cache may grow much further (a
    // million tasks with their keys take about 450 MB); the pages are only taken as they are
    // used, and given back at the commit.
    setCache(transactionCacheKb());
    return {};
}

int DataFile::transactionCacheKb() {
    static const int kb = [] {
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long pageSize = ::sysconf(_SC_PAGE_SIZE);
        const qint64 quarter = pages > 0 && pageSize > 0 ? qint64{pages} * pageSize / 4 / 1024 : 0;
        return static_cast<int>(std::clamp<qint64>(quarter, 64 * 1024, 1024 * 1024));
    }();
    return kb;
}

void DataFile::setCache(int kilobytes) {
    conn_.exec(QStringLiteral("PRAGMA cache_size=-%1").arg(kilobytes));
}

StoreError DataFile::commit() {
    if (!transaction_)
        return {};
    const int rc = conn_.exec(QStringLiteral("COMMIT"));
    if (rc != SQLITE_OK) {
        StoreError e = fail(rc);
        conn_.exec(QStringLiteral("ROLLBACK"));
        transaction_ = false;
        OpenTransactions::closed();
        setCache(kCacheKb);
        return e;
    }
    transaction_ = false;
    OpenTransactions::closed();
    setCache(kCacheKb);
    return {};
}

StoreError DataFile::rollback() {
    if (!transaction_)
        return {};
    const int rc = conn_.exec(QStringLiteral("ROLLBACK"));
    transaction_ = false;
    OpenTransactions::closed();
    setCache(kCacheKb);
    return rc == SQLITE_OK ? StoreError{} : fail(rc);
}

qint64 DataFile::readDataVersion() {
    if (!conn_.isOpen())
        return -1;
    return waitingFor(0, [this] {
        qint64 version = -1;
        sql::Statement st(conn_.handle(), QStringLiteral("PRAGMA data_version"));
        if (st.valid() && st.step() == SQLITE_ROW)
            version = st.columnInt(0);
        return version;
    });
}

bool DataFile::changedByOthers() {
    const qint64 version = readDataVersion();
    if (version < 0)
        return false;
    const bool changed = dataVersion_ >= 0 && version != dataVersion_;
    dataVersion_ = version;
    return changed;
}

std::optional<DataFile::ChangeStamp> DataFile::changeStamp() {
    const qint64 version = readDataVersion();
    if (version < 0)
        return std::nullopt;
    return ChangeStamp{version, conn_.totalChanges()};
}

int DataFile::recordedVersion(const QString& table) {
    sql::Statement st(conn_.handle(), QStringLiteral("SELECT version FROM %1 WHERE name=?1").arg(kLayouts));
    if (!st.valid())
        return 0;
    st.bind(1, table.toLower());
    return st.step() == SQLITE_ROW ? static_cast<int>(st.columnInt(0)) : 0;
}

// ------------------------------------------------------------------------------ TableFile

TableFile::TableFile(std::shared_ptr<DataFile> file, const TableDecl& decl)
    : file_(std::move(file))
    , decl_(decl)
    , schema_(BuildSchema(decl)) {}

void TableFile::finalizeStatements() {
    keyStatements_.clear();
    tableStatements_.clear();
}

StoreError TableFile::statementError(int rc) {
    return sql::ToStoreError(rc, file_->connection());
}

bool TableFile::tableExists() {
    sql::Statement st(
        file_->connection().handle(),
        QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE"));
    st.bind(1, schema_.tableName);
    return st.step() == SQLITE_ROW;
}

bool TableFile::layoutMatches() {
    QStringList actual;
    sql::Statement p(file_->connection().handle(),
                     QStringLiteral("PRAGMA table_info(%1)").arg(schema_.table));
    while (p.step() == SQLITE_ROW)
        actual << QuoteIdent(p.columnText(1));
    const QStringList expected = QStringList{QStringLiteral("\"_id\""), QStringLiteral("\"_ver\"")} +
                                 schema_.columns + schema_.foldedColumns;
    return actual == expected;
}

bool TableFile::keysMatch() {
    sql::Statement st(file_->connection().handle(),
                      QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type='index' AND "
                                     "tbl_name=?1 COLLATE NOCASE AND sql IS NOT NULL"));
    st.bind(1, schema_.tableName);
    std::map<QString, QString> present;
    while (st.step() == SQLITE_ROW)
        present[st.columnText(0)] = st.columnText(1);
    if (present.size() != schema_.keys.size())
        return false;
    for (const auto& k : schema_.keys) {
        auto it = present.find(k.indexName);
        if (it == present.end() || it->second != k.createSql)
            return false;
    }
    return true;
}

StoreError TableFile::open(OpenMode mode, int declaredVersion) {
    std::lock_guard lock(file_->mutex());
    StoreError e = file_->connect(mode);
    if (!e.ok())
        return e;
    if (!tableExists())
        return StoreError{Err::FileNotFound, {}, 0};
    if (file_->recordedVersion(schema_.tableName) != declaredVersion || !layoutMatches())
        return StoreError{Err::LayoutDiffers, {}, 0};
    if (!keysMatch())
        return StoreError{Err::KeysInvalid, {}, 0};
    return {};
}

StoreError TableFile::createKeys() {
    for (const auto& k : schema_.keys) {
        const int rc = file_->connection().exec(k.createSql);
        if (rc != SQLITE_OK)
            return statementError(rc);
    }
    return {};
}

StoreError TableFile::create(int version) {
    std::lock_guard lock(file_->mutex());
    finalizeStatements();
    StoreError e = file_->existsOnDisk() ? file_->connect(OpenMode::Shared) : StoreError{};
    if (!e.ok())
        return e;
    e = file_->createFile();
    if (!e.ok())
        return e;
    e = file_->begin(file_->openWaitMs(), false);
    if (!e.ok())
        return e;
    // Another station may have made the table meanwhile; then it is left as it is.
    if (!tableExists()) {
        auto& conn = file_->connection();
        int rc = conn.exec(schema_.createTableAs(schema_.tableName));
        if (rc == SQLITE_OK) {
            e = createKeys();
        } else {
            e = statementError(rc);
        }
        if (e.ok()) {
            sql::Statement st(
                conn.handle(),
                QStringLiteral("INSERT OR REPLACE INTO _layout(name, version) VALUES (?1, ?2)"));
            st.bind(1, schema_.tableName.toLower());
            st.bind(2, static_cast<qint64>(version));
            rc = st.step();
            if (rc != SQLITE_DONE)
                e = statementError(rc);
        }
    }
    if (!e.ok()) {
        file_->rollback();
        return e;
    }
    return file_->commit();
}

StoreError TableFile::openAbsent() {
    std::lock_guard lock(file_->mutex());
    finalizeStatements();
    if (tableExists())
        return {};
    QString sql = schema_.createTableAs(schema_.tableName);
    sql.replace(0, qsizetype(sizeof("CREATE TABLE") - 1), QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS"));
    const int rc = file_->connection().exec(sql);
    return rc == SQLITE_OK ? StoreError{} : statementError(rc);
}

StoreError CreateTables(DataFile& file, const std::vector<TableSpec>& tables) {
    std::lock_guard lock(file.mutex());
    auto& conn = file.connection();
    auto missing = [&] {
        QStringList present;
        {
            sql::Statement st(conn.handle(),
                              QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"));
            while (st.step() == SQLITE_ROW)
                present << st.columnText(0).toLower();
        }
        std::vector<TableSpec> out;
        for (const TableSpec& t : tables)
            if (!present.contains(t.decl->sqlName.toLower()))
                out.push_back(t);
        return out;
    };
    if (missing().empty())
        return {};
    StoreError e = file.begin(file.openWaitMs(), false);
    if (!e.ok())
        return e;
    // Looked at again inside the transaction: another station may have made them meanwhile.
    for (const TableSpec& t : missing()) {
        const Schema schema = BuildSchema(*t.decl);
        int rc = conn.exec(schema.createTableAs(schema.tableName));
        for (std::size_t k = 0; rc == SQLITE_OK && k < schema.keys.size(); ++k)
            rc = conn.exec(schema.keys[k].createSql);
        if (rc == SQLITE_OK) {
            sql::Statement st(
                conn.handle(),
                QStringLiteral("INSERT OR REPLACE INTO _layout(name, version) VALUES (?1, ?2)"));
            st.bind(1, schema.tableName.toLower());
            st.bind(2, static_cast<qint64>(t.version));
            const int stepped = st.step();
            rc = stepped == SQLITE_DONE ? SQLITE_OK : stepped;
        }
        if (rc != SQLITE_OK) {
            e = sql::ToStoreError(rc, conn);
            file.rollback();
            return e;
        }
    }
    return file.commit();
}

StoreError TableFile::remove() {
    std::lock_guard lock(file_->mutex());
    finalizeStatements();
    StoreError e = file_->connect(OpenMode::Shared);
    if (!e.ok())
        return e;
    auto& conn = file_->connection();
    int rc = conn.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(schema_.table));
    if (rc == SQLITE_OK) {
        sql::Statement st(conn.handle(), QStringLiteral("DELETE FROM _layout WHERE name=?1"));
        st.bind(1, schema_.tableName.toLower());
        rc = st.step() == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
    }
    return rc == SQLITE_OK ? StoreError{} : statementError(rc);
}

StoreError TableFile::rebuildKeys() {
    std::lock_guard lock(file_->mutex());
    finalizeStatements();
    StoreError e = file_->connect(OpenMode::Shared);
    if (!e.ok())
        return e;
    e = file_->begin(file_->openWaitMs(), true);
    if (!e.ok())
        return e;
    auto& conn = file_->connection();
    // Drop whatever indexes the table has, refresh the folded copies, build the keys anew.
    QStringList drops;
    {
        sql::Statement st(conn.handle(),
                          QStringLiteral("SELECT name FROM sqlite_master WHERE type='index' AND "
                                         "tbl_name=?1 COLLATE NOCASE AND sql IS NOT NULL"));
        st.bind(1, schema_.tableName);
        while (st.step() == SQLITE_ROW)
            drops << QStringLiteral("DROP INDEX ") + QuoteIdent(st.columnText(0));
    }
    int rc = SQLITE_OK;
    for (const QString& d : drops) {
        rc = conn.exec(d);
        if (rc != SQLITE_OK)
            break;
    }
    if (rc == SQLITE_OK && !schema_.foldedFields.empty()) {
        QStringList sets;
        for (int f : schema_.foldedFields) {
            const FieldDecl& fd = (*decl_.fields)[static_cast<std::size_t>(f)];
            sets << QuoteIdent(FoldedColumnName(fd)) + QStringLiteral("=kr_fold(") +
                        QuoteIdent(ColumnName(fd)) + QLatin1Char(')');
        }
        rc = conn.exec(QStringLiteral("UPDATE %1 SET %2").arg(schema_.table, sets.join(QLatin1Char(','))));
    }
    e = rc == SQLITE_OK ? createKeys() : statementError(rc);
    if (!e.ok()) {
        file_->rollback();
        return e;
    }
    return file_->commit();
}

StoreError TableFile::upgrade(int declaredVersion) {
    std::lock_guard lock(file_->mutex());
    finalizeStatements();
    StoreError e = file_->connect(OpenMode::Shared);
    if (!e.ok())
        return e; // nothing readable: the file stays as it is
    // The conversion holds the file exclusively, so no other station sees it half done.
    e = file_->begin(file_->openWaitMs(), true);
    if (!e.ok())
        return e;
    auto& conn = file_->connection();
    if (!tableExists()) {
        return file_->commit();
    }

    // The columns the old layout has; each field of the declared layout takes the column of
    // the same name, or its default when the old layout had no such field.
    QStringList old;
    {
        sql::Statement p(conn.handle(), QStringLiteral("PRAGMA table_info(%1)").arg(schema_.table));
        while (p.step() == SQLITE_ROW)
            old << p.columnText(1).toUpper();
    }
    const auto& fields = *decl_.fields;
    QStringList into{QStringLiteral("_id")};
    QStringList from{old.contains(QStringLiteral("_ID")) ? QStringLiteral("_id") : QStringLiteral("rowid")};
    if (old.contains(QStringLiteral("_VER"))) {
        into << QStringLiteral("_ver");
        from << QStringLiteral("_ver");
    }
    for (const auto& f : fields) {
        const QString col = ColumnName(f);
        if (!old.contains(col.toUpper()))
            continue;
        const QString q = QuoteIdent(col);
        into << q;
        if (f.isText())
            from << QStringLiteral("rtrim(substr(CAST(%1 AS TEXT),1,%2),' ')").arg(q).arg(f.maxChars());
        else
            from << QStringLiteral("CAST(%1 AS INTEGER)").arg(q);
        if (schema_.folded[static_cast<std::size_t>(&f - fields.data())]) {
            into << QuoteIdent(FoldedColumnName(f));
            from << QStringLiteral("kr_fold(rtrim(substr(CAST(%1 AS TEXT),1,%2),' '))")
                        .arg(q)
                        .arg(f.maxChars());
        }
    }
    const QString temp = schema_.tableName + QStringLiteral("__upgrade");
    int rc = conn.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(QuoteIdent(temp)));
    if (rc == SQLITE_OK)
        rc = conn.exec(schema_.createTableAs(temp));
    if (rc == SQLITE_OK)
        rc = conn.exec(QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4")
                           .arg(QuoteIdent(temp), into.join(QLatin1Char(',')), from.join(QLatin1Char(',')),
                                schema_.table));
    if (rc == SQLITE_OK)
        rc = conn.exec(QStringLiteral("DROP TABLE %1").arg(schema_.table));
    if (rc == SQLITE_OK)
        rc = conn.exec(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(QuoteIdent(temp), schema_.table));
    e = rc == SQLITE_OK ? createKeys() : statementError(rc);
    if (e.ok()) {
        sql::Statement st(conn.handle(),
                          QStringLiteral("INSERT OR REPLACE INTO _layout(name, version) VALUES (?1, ?2)"));
        st.bind(1, schema_.tableName.toLower());
        st.bind(2, static_cast<qint64>(declaredVersion));
        rc = st.step();
        if (rc != SQLITE_DONE)
            e = statementError(rc);
    }
    if (!e.ok()) {
        file_->rollback();
        return e;
    }
    return file_->commit();
}

QString TableFile::keySql(Stmt kind, int key) const {
    QStringList cols;
    QString opt = QStringLiteral("1");
    if (key >= 0) {
        const KeySchema& k = schema_.keys[static_cast<std::size_t>(key)];
        cols = k.columns;
        opt = k.optCondition;
    }
    const QString from = QStringLiteral("SELECT ") + schema_.selectList + QStringLiteral(" FROM ") +
                         schema_.table + QStringLiteral(" WHERE ") + opt;
    // The batched kinds bind their number of records after the key values.
    qsizetype limitParam = 0;
    switch (kind) {
    case FirstN:
        limitParam = 1;
        break;
    case AfterN:
    case RowFromN:
        limitParam = cols.size() + 2;
        break;
    case ValueFromN:
        limitParam = cols.size() + 1;
        break;
    default:
        break;
    }
    auto order = [&](bool asc) {
        QStringList o;
        for (const QString& c : cols)
            o << c + (asc ? QStringLiteral(" ASC") : QStringLiteral(" DESC"));
        o << (asc ? QStringLiteral("_id ASC") : QStringLiteral("_id DESC"));
        return QStringLiteral(" ORDER BY ") + o.join(QLatin1Char(',')) +
               (limitParam > 0 ? QStringLiteral(" LIMIT ?%1").arg(limitParam) : QStringLiteral(" LIMIT 1"));
    };
    auto params = [](qsizetype n) {
        QStringList p;
        for (qsizetype i = 1; i <= n; ++i)
            p << QStringLiteral("?%1").arg(i);
        return p.join(QLatin1Char(','));
    };
    const QStringList withRow = cols + QStringList{QStringLiteral("_id")};
    auto rowCompare = [&](const QStringList& c, const char* op) {
        return QStringLiteral(" AND (") + c.join(QLatin1Char(',')) + QStringLiteral(") ") +
               QLatin1String(op) + QStringLiteral(" (") + params(c.size()) + QLatin1Char(')');
    };
    switch (kind) {
    case First:
    case FirstN:
        return from + order(true);
    case Last:
        return from + order(false);
    case After:
    case AfterN:
        return from + rowCompare(withRow, ">") + order(true);
    case Before:
        return from + rowCompare(withRow, "<") + order(false);
    case RowFrom:
    case RowFromN:
        return from + rowCompare(withRow, ">=") + order(true);
    case RowTo:
        return from + rowCompare(withRow, "<=") + order(false);
    case ValueFrom:
    case ValueFromN:
        return cols.isEmpty() ? from + order(true) : from + rowCompare(cols, ">=") + order(true);
    case ValueTo:
        return cols.isEmpty() ? from + order(false) : from + rowCompare(cols, "<=") + order(false);
    case Equal:
    case Exists: {
        QString sql = kind == Equal ? from
                                    : QStringLiteral("SELECT _id FROM ") + schema_.table +
                                          QStringLiteral(" WHERE ") + opt;
        for (qsizetype i = 0; i < cols.size(); ++i)
            sql += QStringLiteral(" AND ") + cols[i] + QStringLiteral("=?%1").arg(i + 1);
        if (kind == Exists)
            sql += QStringLiteral(" AND _id<>?%1").arg(cols.size() + 1);
        return sql + order(true);
    }
    case KeyStmtCount:
        break;
    }
    return {};
}

QString TableFile::tableSql(TableStmt kind) const {
    const QStringList all = schema_.columns + schema_.foldedColumns;
    switch (kind) {
    case Insert: {
        QStringList p;
        for (qsizetype i = 0; i < all.size() + 1; ++i)
            p << QStringLiteral("?%1").arg(i + 1);
        return QStringLiteral("INSERT INTO %1 (_ver,%2) VALUES (%3)")
            .arg(schema_.table, all.join(QLatin1Char(',')), p.join(QLatin1Char(',')));
    }
    case Update:
    case UpdateChecked: {
        QStringList sets{QStringLiteral("_ver=?1")};
        for (qsizetype i = 0; i < all.size(); ++i)
            sets << all[i] + QStringLiteral("=?%1").arg(i + 2);
        QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE _id=?%3")
                          .arg(schema_.table, sets.join(QLatin1Char(',')))
                          .arg(all.size() + 2);
        if (kind == UpdateChecked)
            sql += QStringLiteral(" AND _ver=?%1").arg(all.size() + 3);
        return sql;
    }
    case Delete:
        return QStringLiteral("DELETE FROM %1 WHERE _id=?1").arg(schema_.table);
    case ByRowid:
        return QStringLiteral("SELECT %1 FROM %2 WHERE _id=?1").arg(schema_.selectList, schema_.table);
    case Count:
        return QStringLiteral("SELECT count(*) FROM %1").arg(schema_.table);
    case Empty:
        return QStringLiteral("DELETE FROM %1").arg(schema_.table);
    case TableStmtCount:
        break;
    }
    return {};
}

sql::Statement* TableFile::keyStatement(Stmt kind, int key) {
    if (keyStatements_.empty())
        keyStatements_.resize(static_cast<std::size_t>(KeyStmtCount) * (decl_.keys.size() + 1));
    const std::size_t slot = static_cast<std::size_t>(key + 1) * KeyStmtCount + kind;
    sql::Statement& st = keyStatements_[slot];
    if (!st.valid())
        st = sql::Statement(file_->connection().handle(), keySql(kind, key));
    return &st;
}

sql::Statement* TableFile::tableStatement(TableStmt kind) {
    if (tableStatements_.empty())
        tableStatements_.resize(TableStmtCount);
    sql::Statement& st = tableStatements_[kind];
    if (!st.valid())
        st = sql::Statement(file_->connection().handle(), tableSql(kind));
    return &st;
}

} // namespace kr
