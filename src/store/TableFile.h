#pragma once

// One table inside a database, shared by every user of the table in the process and holding
// the prepared statements that walk its keys.

#include "store/Database.h"
#include "store/Record.h"
#include "store/Schema.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace kr {

class TableFile {
public:
    // The *N statements read forward like their one-record kinds, up to a number of records
    // bound as their last parameter.
    enum Stmt {
        First,
        Last,
        After,
        Before,
        RowFrom,
        RowTo,
        ValueFrom,
        ValueTo,
        Equal,
        Exists,
        FirstN,
        AfterN,
        RowFromN,
        ValueFromN,
        KeyStmtCount
    };
    enum TableStmt { Insert, Update, UpdateChecked, Delete, ByRowid, Count, Empty, TableStmtCount };

    TableFile(std::shared_ptr<Database> file, const TableDecl& decl);

    const TableDecl& decl() const { return decl_; }
    const Schema& schema() const { return schema_; }
    Database& file() { return *file_; }
    const std::shared_ptr<Database>& fileHandle() const { return file_; }

    // Open: the file and the table must exist, with the declared layout and sound keys.
    StoreError open(OpenMode mode, int declaredVersion);
    // Create: makes the file if needed and the table with its keys.
    StoreError create(int version);
    // A table that a read-only file does not hold: read as an empty table that exists only
    // for this connection; writes to it fail as every write to the file does.
    StoreError openAbsent();
    // Remove: deletes the table from its file.
    StoreError remove();
    // Build: rebuilds every key of the table.
    StoreError rebuildKeys();
    // Converts the table on disk to the declared layout, keeping every record.
    StoreError upgrade(int declaredVersion);

    // Prepared statements; key -1 is physical order. Call under the file's mutex.
    sql::Statement* keyStatement(Stmt kind, int key);
    // The same statement reading only the fields given (their columns in that order after the
    // row number and the version).
    sql::Statement* keyStatement(Stmt kind, int key, const std::vector<int>& fields);
    sql::Statement* tableStatement(TableStmt kind);

private:
    QString keySql(Stmt kind, int key, const QString& selectList) const;
    QString tableSql(TableStmt kind) const;
    void finalizeStatements();

    std::shared_ptr<Database> file_;
    const TableDecl& decl_;
    Schema schema_;
    std::vector<sql::Statement> keyStatements_;
    std::map<std::vector<int>, sql::Statement> projected_; // kind, key + 1, then the fields
    std::vector<sql::Statement> tableStatements_;
};

// A table to make, with the layout version recorded for it.
struct TableSpec {
    const TableDecl* decl;
    int version;
};

// Makes every table of the list that the file does not hold yet, each with its keys and
// layout version, in one transaction; the tables it holds already are left as they are.
StoreError CreateTables(Database& file, const std::vector<TableSpec>& tables);

} // namespace kr
