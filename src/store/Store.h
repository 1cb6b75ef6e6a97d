#pragma once

// The process-wide side of the tables: where their files are, the layouts declared at
// start-up, and the use counts through which every window and routine opens and closes them.

#include "platform/Dialogs.h"
#include "store/TableFile.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace kr {

class DataFile;

inline const QString kDataFileName = QStringLiteral("KR97.TPS");
inline const QString kTagFileName = QStringLiteral("TagFile_.TPS");

class Store {
public:
    // `database`: a database server that holds the shared tables in place of the data file (a
    // libpq connection URI or key=value text); empty for the data file in the working directory.
    // The tag file, synchronization files and the event log stay in the working directory.
    Store(QString workDir, Dialogs& dialogs, ProgramEnd& programEnd,
          QString database = DatabaseFromEnvironment());
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const QString& workDir() const { return workDir_; }
    // The server database, empty when the data file is used.
    const QString& database() const { return database_; }
    bool onServer() const { return !database_.isEmpty(); }
    // The server from KELVRAY_DATABASE when it names one, else empty.
    static QString DatabaseFromEnvironment();
    Dialogs& dialogs() const { return dialogs_; }
    ProgramEnd& programEnd() const { return programEnd_; }

    // Declares the layout of every table to the upgrader, in the start-up order. Done once,
    // before the first table is opened; opening declares them if nobody did.
    void declareLayouts();
    struct Declaration {
        QString prefix;
        QString name;
        int version;
    };
    const std::vector<Declaration>& declarations() const { return declarations_; }
    int declaredVersion(const TableDecl& decl) const;

    // The file that holds a table: the data file and the tag file live in the working
    // directory; a synchronization table lives in the file its caller names. An existing file
    // is found whatever the letter case of its name.
    QString filePath(const TableDecl& decl, const QString& file = {}) const;
    // Whether a path names the data file or the tag file of this working directory (whatever
    // the letter case, or through a link).
    bool isDataFile(const QString& path) const;

    // Opens a table for one more user: the first user opens it (creating, repairing or
    // upgrading it as needed), later users share it. Returns only when the table is usable;
    // every failure that cannot be repaired ends the program after its message.
    std::shared_ptr<TableFile> openTable(const TableDecl& decl, const QString& file = {},
                                         OpenMode mode = OpenMode::Shared);
    // One user fewer; the last user closes the table.
    void closeTable(const std::shared_ptr<TableFile>& table);
    int useCount(const TableDecl& decl, const QString& file = {}) const;

    // Whether another station or process wrote the data file since the last call (the first
    // call only takes note). Cheap enough for every tick: no lock is waited for, and nothing
    // is read while the data file is not open in this process.
    bool changedByOthers();

    // The file behind a path, one per process, shared by the tables in it.
    std::shared_ptr<DataFile> dataFile(const QString& path, bool enciphered);
    // The database that holds a table kept at `path` (as filePath() gives it).
    std::shared_ptr<Database> databaseFor(const TableDecl& decl, const QString& path);

private:
    struct Entry {
        int count = 0;
        std::shared_ptr<TableFile> table;
    };
    QString entryKey(const TableDecl& decl, const QString& path) const;
    void openProcedure(TableFile& table, OpenMode mode);
    // Makes the table's file with every table it holds, or the tables an older file lacks,
    // in one transaction, so that no reader ever makes a table on its first use. Nothing is
    // made in a file that can only be read; what cannot be made now is made by the open.
    void makeTables(TableFile& table, OpenMode mode);
    std::vector<TableSpec> tablesOf(FileKind kind) const;

    QString workDir_;
    QString database_;
    std::shared_ptr<Database> server_;
    Dialogs& dialogs_;
    ProgramEnd& programEnd_;
    std::vector<Declaration> declarations_;
    mutable std::recursive_mutex mutex_;
    std::map<QString, Entry> open_;
    std::map<QString, std::weak_ptr<DataFile>> files_;
    std::weak_ptr<Database> changesWatched_; // the data file changedByOthers() asks
};

// Finds an existing file whatever the letter case of its name; returns the path as given
// when there is none.
QString ResolveFileName(const QString& path);

} // namespace kr
