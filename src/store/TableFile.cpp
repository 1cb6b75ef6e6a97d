#include "store/TableFile.h"

namespace kr {

// ------------------------------------------------------------------------------ TableFile

TableFile::TableFile(std::shared_ptr<Database> file, const TableDecl& decl)
    : file_(std::move(file))
    , decl_(decl)
    , schema_(file_->schemaOf(decl)) {}

void TableFile::finalizeStatements() {
    keyStatements_.clear();
    projected_.clear();
    tableStatements_.clear();
}

StoreError TableFile::open(OpenMode mode, int declaredVersion) {
    std::lock_guard lock(file_->mutex());
    StoreError e = file_->connect(mode);
    if (!e.ok())
        return e;
    if (!file_->tableExists(schema_))
        return StoreError{Err::FileNotFound, {}, 0};
    if (file_->recordedVersion(schema_.tableName) != declaredVersion || !file_->layoutMatches(schema_))
        return StoreError{Err::LayoutDiffers, {}, 0};
    if (!file_->keysMatch(schema_))
        return StoreError{Err::KeysInvalid, {}, 0};
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
    if (!file_->tableExists(schema_))
        e = file_->makeTable(schema_, version);
    if (!e.ok()) {
        file_->rollback();
        return e;
    }
    return file_->commit();
}

StoreError TableFile::openAbsent() {
    std::lock_guard lock(file_->mutex());
    finalizeStatements();
    if (file_->tableExists(schema_))
        return {};
    return file_->makeTemporaryTable(schema_);
}

StoreError CreateTables(Database& file, const std::vector<TableSpec>& tables) {
    std::lock_guard lock(file.mutex());
    auto missing = [&] {
        QStringList present;
        for (const QString& name : file.tableNames())
            present << name.toLower();
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
        e = file.makeTable(file.schemaOf(*t.decl), t.version);
        if (!e.ok()) {
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
    return file_->dropTable(schema_);
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
    e = file_->rebuildKeys(schema_, decl_);
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
    if (!file_->tableExists(schema_))
        return file_->commit();
    e = file_->convertTable(schema_, decl_, declaredVersion);
    if (!e.ok()) {
        file_->rollback();
        return e;
    }
    return file_->commit();
}

QString TableFile::keySql(Stmt kind, int key, const QString& selectList) const {
    QStringList cols;
    QString opt = QStringLiteral("1=1");
    if (key >= 0) {
        const KeySchema& k = schema_.keys[static_cast<std::size_t>(key)];
        cols = k.columns;
        opt = k.optCondition;
    }
    const QString from = QStringLiteral("SELECT ") + selectList + QStringLiteral(" FROM ") +
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
        st = sql::Statement(file_->connection(), keySql(kind, key, schema_.selectList));
    return &st;
}

sql::Statement* TableFile::keyStatement(Stmt kind, int key, const std::vector<int>& fields) {
    std::vector<int> id{static_cast<int>(kind), key + 1};
    id.insert(id.end(), fields.begin(), fields.end());
    sql::Statement& st = projected_[id];
    if (!st.valid()) {
        QStringList columns{QStringLiteral("_id"), QStringLiteral("_ver")};
        for (int f : fields)
            columns << schema_.columns[static_cast<qsizetype>(f)];
        st = sql::Statement(file_->connection(), keySql(kind, key, columns.join(QLatin1Char(','))));
    }
    return &st;
}

sql::Statement* TableFile::tableStatement(TableStmt kind) {
    if (tableStatements_.empty())
        tableStatements_.resize(TableStmtCount);
    sql::Statement& st = tableStatements_[kind];
    if (!st.valid())
        st = sql::Statement(file_->connection(), tableSql(kind));
    return &st;
}

} // namespace kr
