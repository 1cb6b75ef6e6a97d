#pragma once

// The store on a PostgreSQL server: one schema (the first of the connection's search_path)
// holds the tables of one shared schedule with their catalogue of layouts. Writers are
// serialized by an advisory lock taken with a bounded wait, as stations are on the data file;
// every table sends a notification when a statement changed it, which tells the other
// stations that something changed without their asking the server.

#include "store/Database.h"
#include "store/pg/PgConnection.h"

namespace kr {

class PgDatabase final : public Database {
public:
    // `uri`: a libpq connection URI or conninfo.
    explicit PgDatabase(QString uri);
    ~PgDatabase() override;

    sql::Connection& connection() override { return conn_; }
    bool existsOnDisk() const override { return true; }

    StoreError connect(OpenMode mode) override;
    StoreError createFile(const std::function<StoreError()>& fill = {}) override;
    void disconnect() override;

    bool readOnly() const override { return readOnly_; }
    StoreError readOnlyError() const override;

    void send(const QString& option) override;

    StoreError begin(int waitMs, bool exclusive) override;
    StoreError commit() override;
    bool failuresEndTransactions() const override { return true; }
    StoreError rollback() override;

    bool changedByOthers() override;
    std::optional<ChangeStamp> changeStamp() override;

    int recordedVersion(const QString& table) override;
    QStringList tableNames() override;
    bool tableExists(const Schema& schema) override;
    bool layoutMatches(const Schema& schema) override;
    bool keysMatch(const Schema& schema) override;
    StoreError makeTable(const Schema& schema, int version) override;
    StoreError makeTemporaryTable(const Schema& schema) override;
    StoreError dropTable(const Schema& schema) override;
    StoreError rebuildKeys(const Schema& schema, const TableDecl& decl) override;
    StoreError convertTable(const Schema& schema, const TableDecl& decl, int version) override;

    StoreError rowNumbersTaken(const Schema& schema) override;
    Schema schemaOf(const TableDecl& decl) const override;

    // Another connection to the same database, not yet connected.
    std::unique_ptr<Database> another() const override;

    // The connection as the server driver has it (its server process, its notifications).
    pg::PgConnection& server() { return conn_; }
    // The schema that holds the tables.
    const QString& schemaName() const { return schema_; }

    // The channel every table's changes are announced on; the payload is "schema.table".
    static constexpr const char* kChannel = "kelvray_changes";

private:
    StoreError setUp();
    StoreError setLockTimeout();
    StoreError recordVersion(const QString& table, int version);
    StoreError ensureNotifyFunction();
    StoreError makeKeys(const Schema& schema);
    StoreError makeTrigger(const Schema& schema);
    StoreError refreshFolded(const Schema& schema, const TableDecl& decl);
    bool layoutExists();
    void takeNotifications();

    QString uri_;
    pg::PgConnection conn_;
    QString schema_;
    qint64 schemaKey_ = 0;
    bool readOnly_ = false;
    // Others' changes seen, and the count the last changedByOthers() took note of.
    qint64 othersSeen_ = 0;
    qint64 othersNoted_ = -1;
    qint64 ownBase_ = 0;
    // While createFile runs `fill`, the transactions it asks for are the one createFile holds.
    bool creating_ = false;
    bool creationFailed_ = false;
};

// A database on a server for a libpq URI or conninfo.
std::shared_ptr<Database> OpenServerDatabase(const QString& uri);
// How messages and the window title name a server database: role, host, port, database and
// schema, never a password.
QString ServerDisplayName(const QString& uri);
// How a login to a server goes, tried once: without a password that libpq cannot find itself
// (~/.pgpass, PGPASSWORD, peer or GSSAPI), with a wrong one, or not at all.
struct LoginProbe {
    enum Result { Accepted, NeedsPassword, Refused, Unreachable } result = Unreachable;
    QString server; // host and port, as messages name them
    QString role;
    QString text; // the server's or libpq's reason
};
LoginProbe ProbeLogin(const QString& uri, int waitMs);
// The same database as key=value text with the password given.
QString WithPassword(const QString& uri, const QString& password);

// Whether a database name is a server's (postgresql:// or postgres://, or a conninfo) rather
// than a data folder.
bool IsServerUri(const QString& name);

} // namespace kr
