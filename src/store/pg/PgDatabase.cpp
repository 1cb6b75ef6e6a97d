#include "store/pg/PgDatabase.h"

#include <QRegularExpression>

#include <libpq-fe.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>

namespace kr {

namespace {

// Advisory lock classes; the second key is the schema's, so that schedules in other schemas
// of the same database do not wait for each other.
constexpr int kCreateLock = 0x4b520001;
constexpr int kWriterLock = 0x4b520002;

constexpr int kBatchRows = 1000;
// A round trip of the catalogue's long work (a batch of a conversion) may take this long.
constexpr int kSlowTripMs = 30000;
// The oldest server the store runs on.
constexpr int kOldestServer = 120000;

const QString kLayouts = QStringLiteral("_layout");
const QString kNotifyFunction = QStringLiteral("kr_notify_change");

QString Unquoted(QString name) {
    if (name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')) && name.size() >= 2) {
        name = name.mid(1, name.size() - 2);
        name.replace(QStringLiteral("\"\""), QStringLiteral("\""));
    }
    return name;
}

bool IsTrue(const QString& v) {
    return v == QStringLiteral("t") || v == QStringLiteral("on") || v == QStringLiteral("true");
}

// An array of texts in PostgreSQL's text form, bound as one parameter.
QString TextArray(const QStringList& items) {
    QString out = QStringLiteral("{");
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += QLatin1Char(',');
        QString item = items[i];
        item.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
        item.replace(QLatin1Char('"'), QStringLiteral("\\\""));
        out += QLatin1Char('"') + item + QLatin1Char('"');
    }
    return out + QLatin1Char('}');
}

// The table's oid from its bare name, NULL when the schema has no such table.
const QString kTableOid =
    QStringLiteral("to_regclass(quote_ident(current_schema()) || '.' || quote_ident(?1))");

} // namespace

PgDatabase::PgDatabase(QString uri)
    : Database(ServerDisplayName(uri))
    , uri_(std::move(uri)) {
    conn_.setWaitSource([this] { return msLeft(); });
}

PgDatabase::~PgDatabase() {
    disconnect();
}

StoreError PgDatabase::readOnlyError() const {
    return StoreError{Err::StorageError, QStringLiteral("The database %1 can only be read").arg(path()),
                      25006};
}

StoreError PgDatabase::connect(OpenMode) {
    if (conn_.isOpen())
        return {};
    // A lost connection took its transaction along: the server rolled it back.
    if (transaction_)
        setTransaction(false);
    const quint64 before = conn_.generation();
    ownBase_ += conn_.ownWrites();
    StoreError e = waitingFor(openWaitMs_, [&] {
        StoreError opened = conn_.open(uri_, msLeft());
        return opened.ok() ? setUp() : opened;
    });
    if (!e.ok()) {
        conn_.close();
        return e;
    }
    // What changed while the connection was lost was not announced to it.
    if (before != 0)
        ++othersSeen_;
    return {};
}

StoreError PgDatabase::setUp() {
    pg::PgConnection::Rows info = conn_.query(QStringLiteral(
        "SELECT coalesce(current_schema(), ''), current_setting('server_version_num'), "
        "current_setting('server_encoding'), "
        "current_setting('default_transaction_read_only') = 'on' OR pg_is_in_recovery(), "
        "hashtext(coalesce(current_schema(), '')), "
        "EXISTS(SELECT 1 FROM pg_tables WHERE schemaname = current_schema()), "
        "EXISTS(SELECT 1 FROM pg_tables WHERE schemaname = current_schema() AND "
        "has_table_privilege(quote_ident(schemaname) || '.' || quote_ident(tablename), 'INSERT')), "
        "coalesce(has_schema_privilege(current_schema(), 'CREATE'), false)"));
    if (!info.ok())
        return info.error;
    if (info.rows.size() != 1)
        return StoreError{Err::StorageError,
                          QStringLiteral("The database server gave no description of itself"), 0};
    const auto& row = info.rows.front();
    schema_ = row[0];
    if (schema_.isEmpty())
        return StoreError{
            Err::StorageError,
            QStringLiteral("No schema of the search path exists on the server %1").arg(conn_.serverName()),
            0};
    if (row[1].toInt() < kOldestServer)
        return StoreError{
            Err::StorageError,
            QStringLiteral("The database server %1 runs PostgreSQL %2; version 12 or later is needed")
                .arg(conn_.serverName(), row[1]),
            0};
    if (row[2] != QStringLiteral("UTF8"))
        return StoreError{
            Err::StorageError,
            QStringLiteral("The database is encoded in %1; it must be encoded in UTF8").arg(row[2]), 0};
    schemaKey_ = row[4].toLongLong();
    const bool serverReadOnly = IsTrue(row[3]);
    const bool hasTables = IsTrue(row[5]);
    const bool canInsert = IsTrue(row[6]);
    const bool canCreate = IsTrue(row[7]);
    readOnly_ = serverReadOnly || (hasTables ? !canInsert : !canCreate);
    StoreError e = setLockTimeout();
    if (e.ok())
        e = conn_.exec(QStringLiteral("LISTEN ") + QLatin1String(kChannel));
    return e;
}

StoreError PgDatabase::setLockTimeout() {
    return conn_.exec(QStringLiteral("SET lock_timeout = %1").arg(pg::LockTimeoutFor(statementWaitMs_)));
}

void PgDatabase::send(const QString& option) {
    const int before = statementWaitMs_;
    Database::send(option);
    if (before != statementWaitMs_ && conn_.isOpen() && !transaction_)
        setLockTimeout();
}

void PgDatabase::disconnect() {
    tablesMade_ = false;
    if (transaction_) {
        if (conn_.isOpen())
            conn_.exec(QStringLiteral("ROLLBACK"));
        setTransaction(false);
    }
    conn_.close();
}

bool PgDatabase::layoutExists() {
    const auto r = conn_.query(
        QStringLiteral("SELECT 1 FROM pg_tables WHERE schemaname = current_schema() AND tablename = ?1"),
        {kLayouts});
    return r.ok() && !r.rows.empty();
}

StoreError PgDatabase::createFile(const std::function<StoreError()>& fill) {
    StoreError e = connect(OpenMode::Shared);
    if (!e.ok())
        return e;
    if (layoutExists())
        return {};
    if (readOnly_)
        return readOnlyError();
    e = begin(openWaitMs_, true);
    if (!e.ok())
        return e;
    // Whoever made the database while this station waited for the lock made it whole.
    e = waitingFor(openWaitMs_, [&] {
        return conn_.exec(QStringLiteral("SET LOCAL lock_timeout = %1; SELECT pg_advisory_xact_lock(%2, %3)")
                              .arg(pg::LockTimeoutFor(msLeft()))
                              .arg(kCreateLock)
                              .arg(schemaKey_));
    });
    if (e.ok())
        e = setLockTimeout();
    if (!e.ok()) {
        rollback();
        return e;
    }
    if (layoutExists())
        return commit();
    const bool empty = tableNames().isEmpty();
    e = conn_.exec(
        QStringLiteral("CREATE TABLE %1 (name text COLLATE \"C\" PRIMARY KEY, version integer NOT NULL)")
            .arg(kLayouts));
    if (e.ok())
        e = ensureNotifyFunction();
    if (e.ok() && empty && fill) {
        creating_ = true;
        creationFailed_ = false;
        e = fill();
        creating_ = false;
        if (e.ok() && creationFailed_)
            e = StoreError{Err::StorageError, QStringLiteral("Making the tables was cancelled"), 0};
    }
    if (!e.ok()) {
        rollback();
        return e;
    }
    return commit();
}

StoreError PgDatabase::begin(int waitMs, bool) {
    if (creating_)
        return {};
    if (transaction_)
        return StoreError{Err::TransactionActive, {}, 0};
    if (!conn_.isOpen())
        return StoreError{Err::StorageError, QStringLiteral("Not connected to the database server"), 0};
    if (readOnly_)
        return readOnlyError();
    StoreError e = waitingFor(waitMs, [&] {
        return conn_.exec(
            QStringLiteral("BEGIN; SET LOCAL lock_timeout = %1; SELECT pg_advisory_xact_lock(%2, %3); "
                           "SET LOCAL lock_timeout = %4")
                .arg(pg::LockTimeoutFor(msLeft()))
                .arg(kWriterLock)
                .arg(schemaKey_)
                .arg(pg::LockTimeoutFor(statementWaitMs_)));
    });
    if (!e.ok()) {
        if (conn_.inServerTransaction())
            conn_.exec(QStringLiteral("ROLLBACK"));
        return e;
    }
    setTransaction(true);
    return {};
}

StoreError PgDatabase::commit() {
    if (creating_)
        return {};
    if (!transaction_)
        return {};
    StoreError e = conn_.exec(QStringLiteral("COMMIT"));
    if (e.ok() && conn_.lastCommand() != "COMMIT")
        e = StoreError{Err::StorageError,
                       QStringLiteral("The transaction failed on the server and was rolled back"), 0};
    if (!e.ok() && conn_.inServerTransaction())
        conn_.exec(QStringLiteral("ROLLBACK"));
    setTransaction(false);
    return e;
}

StoreError PgDatabase::rollback() {
    if (creating_) {
        creationFailed_ = true;
        return {};
    }
    if (!transaction_)
        return {};
    StoreError e = conn_.isOpen() ? conn_.exec(QStringLiteral("ROLLBACK")) : StoreError{};
    setTransaction(false);
    return e;
}

void PgDatabase::takeNotifications() {
    const int own = conn_.backendPid();
    const QString prefix = schema_ + QLatin1Char('.');
    for (const auto& n : conn_.takeNotifications()) {
        if (n.pid != own && n.channel == QLatin1String(kChannel) && n.payload.startsWith(prefix))
            ++othersSeen_;
    }
}

bool PgDatabase::changedByOthers() {
    takeNotifications();
    if (othersNoted_ < 0) {
        othersNoted_ = othersSeen_;
        return false;
    }
    const bool changed = othersSeen_ != othersNoted_;
    othersNoted_ = othersSeen_;
    return changed;
}

std::optional<Database::ChangeStamp> PgDatabase::changeStamp() {
    if (!conn_.isOpen())
        return std::nullopt;
    takeNotifications();
    return ChangeStamp{othersSeen_, ownBase_ + conn_.ownWrites()};
}

// ------------------------------------------------------------------------------ catalogue

int PgDatabase::recordedVersion(const QString& table) {
    if (!layoutExists())
        return 0;
    const auto r =
        conn_.query(QStringLiteral("SELECT version FROM _layout WHERE name = ?1"), {table.toLower()});
    return r.ok() && !r.rows.empty() ? r.rows.front()[0].toInt() : 0;
}

QStringList PgDatabase::tableNames() {
    QStringList names;
    const auto r = conn_.query(
        QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = current_schema() ORDER BY 1"));
    for (const auto& row : r.rows)
        names << row[0];
    return names;
}

bool PgDatabase::tableExists(const Schema& schema) {
    const auto r = conn_.query(
        QStringLiteral("SELECT 1 FROM pg_tables WHERE schemaname = current_schema() AND tablename = ?1"),
        {schema.tableName});
    return r.ok() && !r.rows.empty();
}

bool PgDatabase::layoutMatches(const Schema& schema) {
    // A text column that does not compare byte for byte would order the keys otherwise.
    const auto r = conn_.query(
        QStringLiteral(
            "SELECT attname, format_type(atttypid, atttypmod) || CASE WHEN attcollation <> 0 AND "
            "attcollation <> (SELECT oid FROM pg_collation WHERE collname = 'C' AND "
            "collnamespace = 'pg_catalog'::regnamespace) THEN ' (another collation)' ELSE '' END "
            "FROM pg_attribute WHERE attrelid = %1 AND attnum > 0 AND NOT attisdropped ORDER BY attnum")
            .arg(kTableOid),
        {schema.tableName});
    if (!r.ok())
        return false;
    QStringList actual;
    for (const auto& row : r.rows)
        actual << row[0] + QLatin1Char(' ') + row[1];
    // The expected columns with their types, as the table was made.
    QStringList expected{QStringLiteral("_id bigint"), QStringLiteral("_ver bigint")};
    const QString defs = schema.createTableSql;
    static const QRegularExpression column(QStringLiteral(", (\"(?:[^\"]|\"\")*\") (text|bigint)"));
    auto it = column.globalMatch(defs);
    while (it.hasNext()) {
        const auto m = it.next();
        expected << Unquoted(m.captured(1)) + QLatin1Char(' ') + m.captured(2);
    }
    return actual == expected;
}

bool PgDatabase::keysMatch(const Schema& schema) {
    const auto r = conn_.query(
        QStringLiteral("SELECT c.relname, i.indisunique, i.indnkeyatts, i.indpred IS NOT NULL, "
                       "array_to_string(ARRAY(SELECT a.attname FROM unnest(i.indkey::int2[]) WITH ORDINALITY "
                       "AS k(n, o) JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.n "
                       "ORDER BY k.o), ',') "
                       "FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
                       "WHERE i.indrelid = %1 AND NOT i.indisprimary")
            .arg(kTableOid),
        {schema.tableName});
    if (!r.ok() || r.rows.size() != schema.keys.size())
        return false;
    std::map<QString, std::vector<QString>> present;
    for (const auto& row : r.rows)
        present[row[0]] = row;
    for (const KeySchema& k : schema.keys) {
        const auto found = present.find(k.indexName);
        if (found == present.end())
            return false;
        const auto& row = found->second;
        const bool unique = k.createSql.startsWith(QStringLiteral("CREATE UNIQUE"));
        QStringList columns;
        for (const QString& c : k.columns)
            columns << Unquoted(c);
        columns << QStringLiteral("_id");
        const int keyColumns = static_cast<int>(unique ? k.columns.size() : k.columns.size() + 1);
        const bool partial = k.optCondition != QStringLiteral("1=1");
        if (IsTrue(row[1]) != unique || row[2].toInt() != keyColumns || IsTrue(row[3]) != partial ||
            row[4] != columns.join(QLatin1Char(',')))
            return false;
    }
    return true;
}

StoreError PgDatabase::recordVersion(const QString& table, int version) {
    StoreError e = conn_.exec(
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS %1 (name text COLLATE \"C\" PRIMARY KEY, version integer NOT NULL)")
            .arg(kLayouts));
    if (!e.ok())
        return e;
    return conn_
        .query(QStringLiteral("INSERT INTO _layout (name, version) VALUES (?1, ?2::integer) "
                              "ON CONFLICT (name) DO UPDATE SET version = EXCLUDED.version"),
               {table.toLower(), QString::number(version)})
        .error;
}

StoreError PgDatabase::ensureNotifyFunction() {
    const auto r =
        conn_.query(QStringLiteral("SELECT 1 FROM pg_proc WHERE proname = ?1 AND "
                                   "pronamespace = to_regnamespace(quote_ident(current_schema()))"),
                    {kNotifyFunction});
    if (!r.ok())
        return r.error;
    if (!r.rows.empty())
        return {};
    return conn_.exec(QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN "
                                     "PERFORM pg_notify('%2', TG_TABLE_SCHEMA || '.' || TG_TABLE_NAME); "
                                     "RETURN NULL; END$$")
                          .arg(kNotifyFunction, QLatin1String(kChannel)));
}

StoreError PgDatabase::makeKeys(const Schema& schema) {
    for (const KeySchema& k : schema.keys) {
        StoreError e = conn_.exec(k.createSql);
        if (!e.ok())
            return e;
    }
    return {};
}

StoreError PgDatabase::makeTrigger(const Schema& schema) {
    StoreError e = ensureNotifyFunction();
    if (!e.ok())
        return e;
    return conn_.exec(
        QStringLiteral("CREATE TRIGGER %1 AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON %2 "
                       "FOR EACH STATEMENT EXECUTE FUNCTION %3()")
            .arg(QuoteIdent(schema.tableName + QStringLiteral("__changes")), schema.table, kNotifyFunction));
}

StoreError PgDatabase::makeTable(const Schema& schema, int version) {
    StoreError e = conn_.exec(schema.createTableAs(schema.tableName));
    if (e.ok())
        e = makeKeys(schema);
    if (e.ok())
        e = makeTrigger(schema);
    if (e.ok())
        e = recordVersion(schema.tableName, version);
    return e;
}

StoreError PgDatabase::makeTemporaryTable(const Schema& schema) {
    QString sql = schema.createTableAs(schema.tableName);
    sql.replace(0, qsizetype(sizeof("CREATE TABLE") - 1),
                QStringLiteral("CREATE TEMPORARY TABLE IF NOT EXISTS"));
    return conn_.exec(sql);
}

StoreError PgDatabase::dropTable(const Schema& schema) {
    StoreError e = conn_.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(schema.table));
    if (e.ok() && layoutExists())
        e = conn_.query(QStringLiteral("DELETE FROM _layout WHERE name = ?1"), {schema.tableName.toLower()})
                .error;
    return e;
}

StoreError PgDatabase::refreshFolded(const Schema& schema, const TableDecl& decl) {
    if (schema.foldedFields.empty())
        return {};
    const auto& fields = *decl.fields;
    QStringList sources;
    QStringList sets;
    QStringList unnests{QStringLiteral("unnest(?1::bigint[]) AS id")};
    int param = 2;
    for (std::size_t i = 0; i < schema.foldedFields.size(); ++i) {
        const FieldDecl& f = fields[static_cast<std::size_t>(schema.foldedFields[i])];
        sources << QuoteIdent(ColumnName(f));
        sets << QuoteIdent(FoldedColumnName(f)) + QStringLiteral(" = v.c%1").arg(i);
        unnests << QStringLiteral("unnest(?%1::text[]) AS c%2").arg(param++).arg(i);
    }
    const QString read = QStringLiteral("SELECT _id, %1 FROM %2 WHERE _id > ?1 ORDER BY _id LIMIT %3")
                             .arg(sources.join(QLatin1Char(',')), schema.table)
                             .arg(kBatchRows);
    const QString write = QStringLiteral("UPDATE %1 AS t SET %2 FROM (SELECT %3) AS v WHERE t._id = v.id")
                              .arg(schema.table, sets.join(QLatin1Char(',')), unnests.join(QLatin1Char(',')));
    qint64 last = std::numeric_limits<qint64>::min();
    for (;;) {
        const auto rows = waitingFor(kSlowTripMs, [&] { return conn_.query(read, {QString::number(last)}); });
        if (!rows.ok())
            return rows.error;
        if (rows.rows.empty())
            return {};
        QStringList ids;
        std::vector<QStringList> folded(schema.foldedFields.size());
        for (const auto& row : rows.rows) {
            ids << row[0];
            for (std::size_t i = 0; i < folded.size(); ++i)
                folded[i] << sql::Fold(row[i + 1]);
        }
        last = rows.rows.back()[0].toLongLong();
        std::vector<QString> params{QLatin1Char('{') + ids.join(QLatin1Char(',')) + QLatin1Char('}')};
        for (const QStringList& f : folded)
            params.push_back(TextArray(f));
        const auto done = waitingFor(kSlowTripMs, [&] { return conn_.query(write, params); });
        if (!done.ok())
            return done.error;
    }
}

StoreError PgDatabase::rebuildKeys(const Schema& schema, const TableDecl& decl) {
    const auto r =
        conn_.query(QStringLiteral("SELECT quote_ident(c.relname) FROM pg_index i JOIN pg_class c ON "
                                   "c.oid = i.indexrelid WHERE i.indrelid = %1 AND NOT i.indisprimary")
                        .arg(kTableOid),
                    {schema.tableName});
    if (!r.ok())
        return r.error;
    for (const auto& row : r.rows) {
        StoreError e = conn_.exec(QStringLiteral("DROP INDEX %1").arg(QuoteIdent(Unquoted(row[0]))));
        if (!e.ok())
            return e;
    }
    StoreError e = refreshFolded(schema, decl);
    if (!e.ok())
        return e;
    return waitingFor(kSlowTripMs, [&] { return makeKeys(schema); });
}

StoreError PgDatabase::convertTable(const Schema& schema, const TableDecl& decl, int version) {
    const auto old =
        conn_.query(QStringLiteral("SELECT attname, format_type(atttypid, atttypmod) FROM pg_attribute "
                                   "WHERE attrelid = %1 AND attnum > 0 AND NOT attisdropped "
                                   "ORDER BY attnum")
                        .arg(kTableOid),
                    {schema.tableName});
    if (!old.ok())
        return old.error;
    if (old.rows.empty())
        return {};                                          // no such table: nothing to keep
    std::map<QString, std::pair<QString, QString>> columns; // upper-case name: name, type
    for (const auto& row : old.rows)
        columns[row[0].toUpper()] = {row[0], row[1]};

    QStringList into;
    QStringList from;
    for (const char* bookkeeping : {"_ID", "_VER"}) {
        const auto c = columns.find(QLatin1String(bookkeeping));
        if (c == columns.end())
            continue;
        into << QString::fromLatin1(bookkeeping).toLower();
        from << QStringLiteral("CAST(%1 AS bigint)").arg(QuoteIdent(c->second.first));
    }
    for (const FieldDecl& f : *decl.fields) {
        const auto c = columns.find(ColumnName(f).toUpper());
        if (c == columns.end())
            continue;
        const QString q = QuoteIdent(c->second.first);
        const bool wasText = !c->second.second.contains(QStringLiteral("int")) &&
                             !c->second.second.contains(QStringLiteral("numeric"));
        into << QuoteIdent(ColumnName(f));
        if (f.isText()) {
            from << QStringLiteral("rtrim(substr(CAST(%1 AS text), 1, %2), ' ')").arg(q).arg(f.maxChars());
        } else if (wasText) {
            // A number kept as text takes its leading digits, as a cast on the file does.
            from << QStringLiteral("coalesce(CAST(substring(CAST(%1 AS text) FROM '^\\s*([-+]?[0-9]{1,18})') "
                                   "AS bigint), 0)")
                        .arg(q);
        } else {
            from << QStringLiteral("CAST(%1 AS bigint)").arg(q);
        }
    }
    const QString temp = schema.tableName + QStringLiteral("__upgrade");
    StoreError e = conn_.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(QuoteIdent(temp)));
    if (e.ok())
        e = conn_.exec(schema.createTableAs(temp));
    if (e.ok() && !into.isEmpty())
        e = waitingFor(kSlowTripMs, [&] {
            return conn_.exec(QStringLiteral("INSERT INTO %1 (%2) OVERRIDING SYSTEM VALUE SELECT %3 FROM %4")
                                  .arg(QuoteIdent(temp), into.join(QLatin1Char(',')),
                                       from.join(QLatin1Char(',')), schema.table));
        });
    if (e.ok())
        e = conn_.exec(QStringLiteral("DROP TABLE %1").arg(schema.table));
    if (e.ok())
        e = conn_.exec(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(QuoteIdent(temp), schema.table));
    // The primary key and the row numbers' sequence take the table's own names again, so that
    // a later conversion can use the temporary names once more.
    if (e.ok()) {
        const auto names = conn_.query(
            QStringLiteral(
                "SELECT (SELECT conname FROM pg_constraint WHERE conrelid = %1 AND contype = 'p'), "
                "pg_get_serial_sequence(quote_ident(current_schema()) || '.' || quote_ident(?1), '_id')")
                .arg(kTableOid),
            {schema.tableName});
        e = names.error;
        if (e.ok() && names.rows.size() == 1) {
            const QString pkey = names.rows.front()[0];
            const QString sequence = names.rows.front()[1];
            if (!pkey.isEmpty())
                e = conn_.exec(QStringLiteral("ALTER TABLE %1 RENAME CONSTRAINT %2 TO %3")
                                   .arg(schema.table, QuoteIdent(pkey),
                                        QuoteIdent(schema.tableName + QStringLiteral("_pkey"))));
            if (e.ok() && !sequence.isEmpty()) {
                e = conn_
                        .query(
                            QStringLiteral("SELECT setval(?1::regclass, max(_id)) FROM %1").arg(schema.table),
                            {sequence})
                        .error;
                if (e.ok())
                    e = conn_.exec(
                        QStringLiteral("ALTER SEQUENCE %1 RENAME TO %2")
                            .arg(sequence, QuoteIdent(schema.tableName + QStringLiteral("__id_seq"))));
            }
        }
    }
    if (e.ok())
        e = refreshFolded(schema, decl);
    if (e.ok())
        e = waitingFor(kSlowTripMs, [&] { return makeKeys(schema); });
    if (e.ok())
        e = makeTrigger(schema);
    if (e.ok())
        e = recordVersion(schema.tableName, version);
    return e;
}

Schema PgDatabase::schemaOf(const TableDecl& decl) const {
    return BuildSchema(decl, Dialect::Postgres);
}

StoreError PgDatabase::rowNumbersTaken(const Schema& schema) {
    return conn_
        .query(QStringLiteral("SELECT setval(pg_get_serial_sequence(?1, '_id'), max(_id)) FROM %1")
                   .arg(schema.table),
               {schema.table})
        .error;
}

std::unique_ptr<Database> PgDatabase::another() const {
    return std::make_unique<PgDatabase>(uri_);
}

// ------------------------------------------------------------------------------ factory

std::shared_ptr<Database> OpenServerDatabase(const QString& uri) {
    return std::make_shared<PgDatabase>(uri);
}

QString ServerDisplayName(const QString& uri) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.toUtf8().constData(), &error);
    PQfreemem(error);
    if (options == nullptr)
        return QStringLiteral("a database server");
    QString user, host, port, dbname, search;
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        if (o->val == nullptr)
            continue;
        const QString value = QString::fromUtf8(o->val);
        const QByteArray key(o->keyword);
        if (key == "user")
            user = value;
        else if (key == "host")
            host = value;
        else if (key == "port")
            port = value;
        else if (key == "dbname")
            dbname = value;
        else if (key == "options") {
            static const QRegularExpression path(QStringLiteral("-c\\s*search_path=([^\\s,]+)"));
            const QRegularExpressionMatch m = path.match(value);
            if (m.hasMatch())
                search = m.captured(1);
        }
    }
    PQconninfoFree(options);
    QString name = host.isEmpty() ? QStringLiteral("localhost") : host;
    if (!port.isEmpty())
        name += QLatin1Char(':') + port;
    if (!user.isEmpty())
        name = user + QLatin1Char('@') + name;
    if (!dbname.isEmpty())
        name += QLatin1Char('/') + dbname;
    if (!search.isEmpty())
        name += QLatin1Char('/') + search;
    return name;
}

LoginProbe ProbeLogin(const QString& uri, int waitMs) {
    const QByteArray dbname = uri.toUtf8();
    const QByteArray timeout = QByteArray::number(std::max(2, (waitMs + 999) / 1000));
    const char* keys[] = {"dbname", "connect_timeout", "client_encoding", nullptr};
    const char* values[] = {dbname.constData(), timeout.constData(), "UTF8", nullptr};
    PGconn* c = PQconnectdbParams(keys, values, 1);
    LoginProbe p;
    if (c == nullptr)
        return p;
    const QString host = QString::fromUtf8(PQhost(c));
    const QString port = QString::fromUtf8(PQport(c));
    p.server = port.isEmpty() ? host : host + QLatin1Char(':') + port;
    p.role = QString::fromUtf8(PQuser(c));
    p.text = QString::fromUtf8(PQerrorMessage(c)).trimmed();
    if (PQstatus(c) == CONNECTION_OK)
        p.result = LoginProbe::Accepted;
    else if (PQconnectionNeedsPassword(c))
        p.result = LoginProbe::NeedsPassword;
    else if (PQconnectionUsedPassword(c))
        p.result = LoginProbe::Refused;
    PQfinish(c);
    return p;
}

QString WithPassword(const QString& uri, const QString& password) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.toUtf8().constData(), &error);
    PQfreemem(error);
    if (options == nullptr)
        return uri;
    auto quoted = [](QString v) {
        v.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
        v.replace(QLatin1Char('\''), QStringLiteral("\\'"));
        return QLatin1Char('\'') + v + QLatin1Char('\'');
    };
    QStringList parts;
    for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        if (o->val != nullptr && std::strcmp(o->keyword, "password") != 0)
            parts << QString::fromUtf8(o->keyword) + QLatin1Char('=') + quoted(QString::fromUtf8(o->val));
    }
    PQconninfoFree(options);
    parts << QStringLiteral("password=") + quoted(password);
    return parts.join(QLatin1Char(' '));
}

bool IsServerUri(const QString& name) {
    const QString n = name.trimmed();
    if (n.startsWith(QStringLiteral("postgresql://"), Qt::CaseInsensitive) ||
        n.startsWith(QStringLiteral("postgres://"), Qt::CaseInsensitive))
        return true;
    // A conninfo: keyword=value pairs, beginning with a keyword.
    static const QRegularExpression conninfo(QStringLiteral("^[A-Za-z_]+\\s*="));
    return n.contains(conninfo);
}

} // namespace kr
