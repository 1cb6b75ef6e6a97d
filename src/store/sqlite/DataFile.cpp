#include "store/sqlite/DataFile.h"

#include "platform/PrivateFiles.h"
#include "store/Cipher.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <map>
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

DataFile::DataFile(QString path, bool enciphered)
    : Database(std::move(path))
    , enciphered_(enciphered) {}

DataFile::~DataFile() {
    disconnect();
}

bool DataFile::existsOnDisk() const {
    return QFileInfo::exists(name_);
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
        const int rc = conn_.execCode(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        return rc == SQLITE_OK ? SQLITE_ROW : rc;
    });
}

int DataFile::openKeyed(OpenMode mode) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        int rc = openConnection(name_, false, Keying::Raw);
        if (rc == SQLITE_OK) {
            if (mode == OpenMode::DenyWrite)
                conn_.execCode(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
            rc = probe();
        }
        if (rc == SQLITE_ROW || !enciphered_ || (rc & 0xff) != SQLITE_NOTADB)
            return rc;
        // A file of an earlier version, keyed with the password itself: read it that way and
        // re-key it, so that later opens are quick.
        rc = openConnection(name_, false, Keying::Password);
        if (rc == SQLITE_OK) {
            if (mode == OpenMode::DenyWrite)
                conn_.execCode(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
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
        closeConnection();
    }
    return SQLITE_NOTADB;
}

StoreError DataFile::connect(OpenMode mode) {
    if (!existsOnDisk())
        return StoreError{Err::FileNotFound, {}, 0};
    const bool fresh = !conn_.isOpen();
    int rc = SQLITE_ROW;
    if (fresh) {
        TightenFile(name_);
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
    const QFileInfo info(name_);
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
        rc = conn_.execCode(QStringLiteral("PRAGMA application_id=%1;"
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
        closeConnection();
        removeTemp();
        return made;
    }
    closeConnection();
    const QByteArray finalNative = QFile::encodeName(name_);
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
    const int rc = conn_.execCode(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (name TEXT PRIMARY KEY, "
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

void DataFile::disconnect() {
    tablesMade_ = false;
    if (transaction_) {
        conn_.execCode(QStringLiteral("ROLLBACK"));
        setTransaction(false);
    }
    closeConnection();
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
        return conn_.execCode(exclusive ? QStringLiteral("BEGIN EXCLUSIVE")
                                        : QStringLiteral("BEGIN IMMEDIATE"));
    });
    if (rc != SQLITE_OK)
        return fail(rc);
    setTransaction(true);
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
    conn_.execCode(QStringLiteral("PRAGMA cache_size=-%1").arg(kilobytes));
}

StoreError DataFile::commit() {
    if (!transaction_)
        return {};
    const int rc = conn_.execCode(QStringLiteral("COMMIT"));
    if (rc != SQLITE_OK) {
        StoreError e = fail(rc);
        conn_.execCode(QStringLiteral("ROLLBACK"));
        setTransaction(false);
        setCache(kCacheKb);
        return e;
    }
    setTransaction(false);
    setCache(kCacheKb);
    return {};
}

StoreError DataFile::rollback() {
    if (!transaction_)
        return {};
    const int rc = conn_.execCode(QStringLiteral("ROLLBACK"));
    setTransaction(false);
    setCache(kCacheKb);
    return rc == SQLITE_OK ? StoreError{} : fail(rc);
}

void DataFile::closeConnection() {
    // A statement still prepared would keep the closed file open.
    versionQuery_.reset();
    conn_.close();
}

qint64 DataFile::readDataVersion() {
    if (!conn_.isOpen())
        return -1;
    return waitingFor(0, [this] {
        // Asked on every tick: prepared once for the connection.
        if (!versionQuery_ || !versionQuery_->valid())
            versionQuery_ = std::make_unique<sql::Statement>(conn_, QStringLiteral("PRAGMA data_version"));
        qint64 version = -1;
        if (versionQuery_->valid() && versionQuery_->step() == sql::Step::Row)
            version = versionQuery_->columnInt(0);
        versionQuery_->reset();
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
    sql::Statement st(conn_, QStringLiteral("SELECT version FROM %1 WHERE name=?1").arg(kLayouts));
    if (!st.valid())
        return 0;
    st.bind(1, table.toLower());
    return st.step() == sql::Step::Row ? static_cast<int>(st.columnInt(0)) : 0;
}

QStringList DataFile::tableNames() {
    QStringList names;
    sql::Statement st(conn_, QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"));
    while (st.step() == sql::Step::Row)
        names << st.columnText(0);
    return names;
}

bool DataFile::tableExists(const Schema& schema) {
    sql::Statement st(
        conn_, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE"));
    if (!st.valid())
        return false;
    st.bind(1, schema.tableName);
    return st.step() == sql::Step::Row;
}

bool DataFile::layoutMatches(const Schema& schema) {
    QStringList actual;
    sql::Statement p(conn_, QStringLiteral("PRAGMA table_info(%1)").arg(schema.table));
    while (p.step() == sql::Step::Row)
        actual << QuoteIdent(p.columnText(1));
    const QStringList expected = QStringList{QStringLiteral("\"_id\""), QStringLiteral("\"_ver\"")} +
                                 schema.columns + schema.foldedColumns;
    return actual == expected;
}

bool DataFile::keysMatch(const Schema& schema) {
    sql::Statement st(conn_, QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type='index' AND "
                                            "tbl_name=?1 COLLATE NOCASE AND sql IS NOT NULL"));
    if (!st.valid())
        return false;
    st.bind(1, schema.tableName);
    std::map<QString, QString> present;
    while (st.step() == sql::Step::Row)
        present[st.columnText(0)] = st.columnText(1);
    if (present.size() != schema.keys.size())
        return false;
    for (const auto& k : schema.keys) {
        auto it = present.find(k.indexName);
        if (it == present.end() || it->second != k.createSql)
            return false;
    }
    return true;
}

StoreError DataFile::createKeys(const Schema& schema) {
    for (const auto& k : schema.keys) {
        StoreError e = conn_.exec(k.createSql);
        if (!e.ok())
            return e;
    }
    return {};
}

StoreError DataFile::recordVersion(const Schema& schema, int version) {
    sql::Statement st(conn_, QStringLiteral("INSERT OR REPLACE INTO _layout(name, version) VALUES (?1, ?2)"));
    if (!st.valid())
        return st.prepareError();
    st.bind(1, schema.tableName.toLower());
    st.bind(2, static_cast<qint64>(version));
    return st.step() == sql::Step::Done ? StoreError{} : st.error();
}

StoreError DataFile::makeTable(const Schema& schema, int version) {
    StoreError e = conn_.exec(schema.createTableAs(schema.tableName));
    if (e.ok())
        e = createKeys(schema);
    if (e.ok())
        e = recordVersion(schema, version);
    return e;
}

StoreError DataFile::makeTemporaryTable(const Schema& schema) {
    QString sql = schema.createTableAs(schema.tableName);
    sql.replace(0, qsizetype(sizeof("CREATE TABLE") - 1), QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS"));
    return conn_.exec(sql);
}

StoreError DataFile::dropTable(const Schema& schema) {
    StoreError e = conn_.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(schema.table));
    if (!e.ok())
        return e;
    sql::Statement st(conn_, QStringLiteral("DELETE FROM _layout WHERE name=?1"));
    if (!st.valid())
        return st.prepareError();
    st.bind(1, schema.tableName.toLower());
    return st.step() == sql::Step::Done ? StoreError{} : st.error();
}

StoreError DataFile::rebuildKeys(const Schema& schema, const TableDecl& decl) {
    // Drop whatever indexes the table has, refresh the folded copies, build the keys anew.
    QStringList drops;
    {
        sql::Statement st(conn_, QStringLiteral("SELECT name FROM sqlite_master WHERE type='index' AND "
                                                "tbl_name=?1 COLLATE NOCASE AND sql IS NOT NULL"));
        if (!st.valid())
            return st.prepareError();
        st.bind(1, schema.tableName);
        while (st.step() == sql::Step::Row)
            drops << QStringLiteral("DROP INDEX ") + QuoteIdent(st.columnText(0));
    }
    for (const QString& d : drops) {
        StoreError e = conn_.exec(d);
        if (!e.ok())
            return e;
    }
    if (!schema.foldedFields.empty()) {
        QStringList sets;
        for (int f : schema.foldedFields) {
            const FieldDecl& fd = (*decl.fields)[static_cast<std::size_t>(f)];
            sets << QuoteIdent(FoldedColumnName(fd)) + QStringLiteral("=kr_fold(") +
                        QuoteIdent(ColumnName(fd)) + QLatin1Char(')');
        }
        StoreError e =
            conn_.exec(QStringLiteral("UPDATE %1 SET %2").arg(schema.table, sets.join(QLatin1Char(','))));
        if (!e.ok())
            return e;
    }
    return createKeys(schema);
}

StoreError DataFile::convertTable(const Schema& schema, const TableDecl& decl, int version) {
    // The columns the old layout has; each field of the declared layout takes the column of
    // the same name, or its default when the old layout had no such field.
    QStringList old;
    {
        sql::Statement p(conn_, QStringLiteral("PRAGMA table_info(%1)").arg(schema.table));
        while (p.step() == sql::Step::Row)
            old << p.columnText(1).toUpper();
    }
    const auto& fields = *decl.fields;
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
        if (schema.folded[static_cast<std::size_t>(&f - fields.data())]) {
            into << QuoteIdent(FoldedColumnName(f));
            from << QStringLiteral("kr_fold(rtrim(substr(CAST(%1 AS TEXT),1,%2),' '))")
                        .arg(q)
                        .arg(f.maxChars());
        }
    }
    const QString temp = schema.tableName + QStringLiteral("__upgrade");
    StoreError e = conn_.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(QuoteIdent(temp)));
    if (e.ok())
        e = conn_.exec(schema.createTableAs(temp));
    if (e.ok())
        e = conn_.exec(QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4")
                           .arg(QuoteIdent(temp), into.join(QLatin1Char(',')), from.join(QLatin1Char(',')),
                                schema.table));
    if (e.ok())
        e = conn_.exec(QStringLiteral("DROP TABLE %1").arg(schema.table));
    if (e.ok())
        e = conn_.exec(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(QuoteIdent(temp), schema.table));
    if (e.ok())
        e = createKeys(schema);
    if (e.ok())
        e = recordVersion(schema, version);
    return e;
}

std::unique_ptr<Database> DataFile::another() const {
    return std::make_unique<DataFile>(name_, enciphered_);
}

Schema DataFile::schemaOf(const TableDecl& decl) const {
    return BuildSchema(decl);
}

QString DataFile::indexedBy(const KeySchema& key) const {
    return QStringLiteral(" INDEXED BY ") + QuoteIdent(key.indexName);
}

} // namespace kr
