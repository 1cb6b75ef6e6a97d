#pragma once

// The embedded data file: one SQLCipher file on disk with its one connection per process.

#include "store/Database.h"
#include "store/sqlite/Sqlite.h"

namespace kr {

class DataFile final : public Database {
public:
    DataFile(QString path, bool enciphered);
    ~DataFile() override;

    bool enciphered() const override { return enciphered_; }
    sql::SqliteConnection& connection() override { return conn_; }
    bool existsOnDisk() const override;

    // Waits for a lock held by another station up to the open wait.
    StoreError connect(OpenMode mode) override;
    // The file is made complete under a name of its own and only then given its name.
    StoreError createFile(const std::function<StoreError()>& fill = {}) override;
    void disconnect() override;

    // No right to write the file, or a read-only file system.
    bool readOnly() const override;
    StoreError readOnlyError() const override { return sql::SqliteReadOnlyError(); }

    StoreError begin(int waitMs, bool exclusive) override;
    StoreError commit() override;
    StoreError rollback() override;

    // A file being written now is seen as changed at the call after its commit.
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

    std::unique_ptr<Database> another() const override;

    Schema schemaOf(const TableDecl& decl) const override;
    QString indexedBy(const KeySchema& key) const override;

private:
    static int Busy(void* self, int count);
    enum class Keying { Raw, Password };
    StoreError fail(int rc) const { return conn_.error(rc); }
    int openConnection(const QString& path, bool create, Keying keying);
    int openKeyed(OpenMode mode);
    int probe();
    StoreError publishNewFile(const std::function<StoreError()>& fill);
    qint64 readDataVersion();
    void closeConnection();
    void setCache(int kilobytes);
    StoreError recordVersion(const Schema& schema, int version);
    StoreError createKeys(const Schema& schema);

    static constexpr int kCacheKb = 32 * 1024;
    // The most cache a run of writes may take: a quarter of the memory, at most 1 GB.
    static int transactionCacheKb();

    bool enciphered_;
    sql::SqliteConnection conn_;
    qint64 dataVersion_ = -1;
    std::unique_ptr<sql::Statement> versionQuery_;
    qint64 busySince_ = 0;
};

} // namespace kr
