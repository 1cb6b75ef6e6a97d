#include "store/Store.h"

#include "store/Tables.h"
#include "store/pg/PgDatabase.h"
#include "store/sqlite/DataFile.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

namespace kr {

QString ResolveFileName(const QString& path) {
    const QFileInfo info(path);
    if (info.exists())
        return info.absoluteFilePath();
    const QDir dir = info.absoluteDir();
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& e : entries) {
        if (e.compare(info.fileName(), Qt::CaseInsensitive) == 0)
            return dir.absoluteFilePath(e);
    }
    return info.absoluteFilePath();
}

QString Store::DatabaseFromEnvironment() {
    const QString value = qEnvironmentVariable("KELVRAY_DATABASE");
    return IsServerUri(value) ? value : QString();
}

Store::Store(QString workDir, Dialogs& dialogs, ProgramEnd& programEnd, QString database)
    : workDir_(QDir(workDir).absolutePath())
    , database_(std::move(database))
    , dialogs_(dialogs)
    , programEnd_(programEnd) {}

Store::~Store() = default;

void Store::declareLayouts() {
    std::lock_guard lock(mutex_);
    if (!declarations_.empty())
        return;
    for (const TableDecl* d : DeclaredTables())
        declarations_.push_back(Declaration{d->prefix, d->name, d->version});
}

int Store::declaredVersion(const TableDecl& decl) const {
    std::lock_guard lock(mutex_);
    for (const auto& d : declarations_) {
        if (d.name == decl.name)
            return d.version;
    }
    return decl.version;
}

namespace {

bool SamePath(const QString& a, const QString& b) {
    const QFileInfo x(a), y(b);
    if (x.exists() && y.exists())
        return x.canonicalFilePath() == y.canonicalFilePath();
    return x.absoluteFilePath().compare(y.absoluteFilePath(), Qt::CaseInsensitive) == 0;
}

} // namespace

bool Store::isDataFile(const QString& path) const {
    return SamePath(path, filePath(Schedule::decl())) || SamePath(path, filePath(Tag::decl()));
}

QString Store::filePath(const TableDecl& decl, const QString& file) const {
    if (decl.file == FileKind::Data && file.isEmpty() && onServer())
        return ServerDisplayName(database_);
    QString name = file;
    if (name.isEmpty()) {
        switch (decl.file) {
        case FileKind::Data:
            name = kDataFileName;
            break;
        case FileKind::Tag:
            name = kTagFileName;
            break;
        case FileKind::Sync:
            name = decl.fileName;
            break;
        }
    }
    if (QFileInfo(name).isRelative())
        name = QDir(workDir_).filePath(name);
    return ResolveFileName(name);
}

QString Store::entryKey(const TableDecl& decl, const QString& path) const {
    return decl.name + QLatin1Char('|') + path.toLower();
}

std::shared_ptr<DataFile> Store::dataFile(const QString& path, bool enciphered) {
    std::lock_guard lock(mutex_);
    const QString key = path.toLower();
    if (auto existing = files_[key].lock())
        return existing;
    auto file = std::make_shared<DataFile>(path, enciphered);
    files_[key] = file;
    return file;
}

std::shared_ptr<Database> Store::databaseFor(const TableDecl& decl, const QString& path) {
    if (decl.file == FileKind::Data && onServer() && path == filePath(decl)) {
        std::lock_guard lock(mutex_);
        if (!server_)
            server_ = OpenServerDatabase(database_);
        return server_;
    }
    return dataFile(path, decl.enciphered());
}

bool Store::changedByOthers() {
    std::shared_ptr<Database> file;
    {
        std::lock_guard lock(mutex_);
        if (onServer()) {
            file = server_;
        } else {
            // Asked on every tick: the file is looked up (on disk, whatever the letter case of
            // its name) only until it is found, and again once it was closed.
            file = changesWatched_.lock();
            if (!file) {
                auto it = files_.find(filePath(Schedule::decl()).toLower());
                if (it != files_.end())
                    file = it->second.lock();
                changesWatched_ = file;
            }
        }
    }
    if (!file)
        return false;
    std::lock_guard lock(file->mutex());
    return file->changedByOthers();
}

std::shared_ptr<TableFile> Store::openTable(const TableDecl& decl, const QString& file, OpenMode mode) {
    std::lock_guard lock(mutex_);
    if (declarations_.empty())
        declareLayouts();
    const QString path = filePath(decl, file);
    Entry& entry = open_[entryKey(decl, path)];
    if (entry.count == 0) {
        auto table = std::make_shared<TableFile>(databaseFor(decl, path), decl);
        openProcedure(*table, mode);
        entry.table = table;
    }
    ++entry.count;
    return entry.table;
}

void Store::closeTable(const std::shared_ptr<TableFile>& table) {
    if (!table)
        return;
    std::lock_guard lock(mutex_);
    auto it = open_.find(entryKey(table->decl(), table->file().path()));
    if (it == open_.end() || it->second.count == 0)
        return;
    if (--it->second.count == 0)
        open_.erase(it);
}

int Store::useCount(const TableDecl& decl, const QString& file) const {
    std::lock_guard lock(mutex_);
    auto it = open_.find(entryKey(decl, filePath(decl, file)));
    return it == open_.end() ? 0 : it->second.count;
}

std::vector<TableSpec> Store::tablesOf(FileKind kind) const {
    std::vector<TableSpec> specs;
    if (kind == FileKind::Data) {
        for (const TableDecl* d : DataFileTables())
            specs.push_back(TableSpec{d, declaredVersion(*d)});
    } else if (kind == FileKind::Tag) {
        specs.push_back(TableSpec{&Tag::decl(), declaredVersion(Tag::decl())});
    }
    return specs;
}

void Store::makeTables(TableFile& table, OpenMode mode) {
    Database& file = table.file();
    const std::vector<TableSpec> specs = tablesOf(table.decl().file);
    if (specs.empty())
        return;
    std::lock_guard lock(file.mutex());
    if (file.tablesMade())
        return;
    if (!file.existsOnDisk()) {
        if (file.createFile([&] { return CreateTables(file, specs); }).ok())
            file.setTablesMade();
        return;
    }
    if (!file.connect(mode).ok() || file.readOnly())
        return;
    if (CreateTables(file, specs).ok())
        file.setTablesMade();
}

void Store::openProcedure(TableFile& table, OpenMode mode) {
    const int version = declaredVersion(table.decl());
    // The table and the data file it lives in, so the user can find the file.
    const QString file =
        table.decl().fileName + QStringLiteral(" in ") + QDir::toNativeSeparators(table.file().path());
    const QString press = QStringLiteral(".  Press OK to end this application.");

    makeTables(table, mode);
    StoreError e = table.open(mode, version);
    if (e.code == Err::IsLocked) {
        // Left locked, for example by a station that stopped in the middle of a transaction.
        table.file().send(QStringLiteral("Recover=10"));
        e = table.open(mode, version);
    }
    if (e.code == Err::InvalidFile) {
        // Another station may be making the file at this very moment (an earlier version made
        // it in place): look once more after a moment before taking it for damaged.
        QThread::msleep(250);
        e = table.open(mode, version);
    }

    switch (e.code) {
    case Err::None:
    case Err::AlreadyOpen:
        return;
    case Err::FileNotFound:
        // A file that can only be read is read: a table it does not hold is empty.
        if (table.file().existsOnDisk() && table.file().readOnly()) {
            e = table.openAbsent();
            if (e.ok())
                return;
            break;
        }
        e = table.create(version);
        if (!e.ok()) {
            dialogs_.message(QStringLiteral("Error: (") + e.describe() + QStringLiteral(") creating ") +
                                 file + press,
                             QStringLiteral("File Creation Error"), Dialogs::Icon::Hand);
            programEnd_.endProgram(QStringLiteral("File Creation Error!"));
        }
        e = table.open(mode, version);
        if (!e.ok()) {
            dialogs_.message(QStringLiteral("Error: (") + e.describe() +
                                 QStringLiteral(") opening created ") + QStringLiteral("file:") + file +
                                 press,
                             QStringLiteral("File Creation Error"), Dialogs::Icon::Hand);
            programEnd_.endProgram(QStringLiteral("File Creation Error!"));
        }
        return;
    case Err::KeysInvalid:
        if (dialogs_.message(file + QStringLiteral(" key file is invalid.  Do you ") +
                                 QStringLiteral("want to rebuild the key?"),
                             QStringLiteral("Invalid Key"), Dialogs::Icon::Question,
                             Dialogs::Yes | Dialogs::No, Dialogs::Yes) != Dialogs::Yes)
            programEnd_.endProgram(QStringLiteral("Invalid Key!"));
        e = table.rebuildKeys();
        if (!e.ok()) {
            dialogs_.message(QStringLiteral("Error: (") + e.describe() +
                                 QStringLiteral(") repairing key for ") + file + press,
                             QStringLiteral("Key Rebuild Error"), Dialogs::Icon::Hand);
            programEnd_.endProgram(QStringLiteral("Error Rebuilding Key!"));
        }
        e = table.open(mode, version);
        break;
    case Err::LayoutDiffers:
        table.upgrade(version);
        e = table.open(mode, version);
        if (e.ok())
            return;
        programEnd_.endProgram(QStringLiteral("The databases must be upgraded before using this version.  "
                                              "Consult your documentation for instructions on this."));
    default:
        break;
    }

    if (e.ok())
        return;
    if (e.code == Err::InvalidFile || e.code == Err::FileDamaged || e.code == Err::StorageError) {
        table.upgrade(version);
        const StoreError retry = table.open(mode, version);
        if (retry.ok())
            return;
        e = retry;
    }
    dialogs_.message(QStringLiteral("File (") + file + QStringLiteral(") could not be ") +
                         QStringLiteral("opened.  Error: ") + e.describe() + QLatin1Char('.'),
                     QStringLiteral("File Access Error"), Dialogs::Icon::Hand);
    programEnd_.endProgram(QStringLiteral("Disk Error"));
}

} // namespace kr
