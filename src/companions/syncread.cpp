// kelvray-syncread FILE: reads a synchronization file that came from outside and writes its
// records to standard output (a pipe), for the program to receive. The file is opened read-only
// and never written; it is taken only when its catalogue is exactly the one this program gives
// a synchronization file (its three tables with their keys: no other table, index, view,
// trigger or planner statistics) and its integrity check passes.
//
// It runs as a process of its own because the storage library crashes on some crafted files:
// a crash here is a refusal there. Exit status 0 when every record was written, 2 when the file
// is not a synchronization file (the reason on standard error), 3 when the output failed, 64
// for a wrong call.

#include "exchange/SyncStream.h"
#include "store/Cipher.h"
#include "store/Schema.h"
#include "store/TableFile.h"
#include "store/Tables.h"
#include "store/sqlite/DataFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

// The address sanitizer reserves far more address space than any limit on it would allow.
#if defined(__SANITIZE_ADDRESS__)
#define KELVRAY_SYNCREAD_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVRAY_SYNCREAD_ASAN 1
#endif
#endif

namespace {

using namespace kr;

constexpr int kNotSyncFile = 2;
constexpr int kOutputFailed = 3;
constexpr int kUsage = 64;

[[noreturn]] void Refuse(const QString& why) {
    std::fprintf(stderr, "kelvray-syncread: not a synchronization file: %s\n", qPrintable(why));
    std::exit(kNotSyncFile);
}

// One entry of the catalogue: type, name, table, statement (empty for the storage's own
// indexes, which have none).
using Entry = std::tuple<QString, QString, QString, QString>;
struct Catalogue {
    std::set<Entry> entries;
    std::set<std::pair<QString, qint64>> layouts;
    qint64 applicationId = 0;
    QString encoding;
    bool operator==(const Catalogue&) const = default;
};

const std::vector<const TableDecl*>& SyncTables() {
    static const std::vector<const TableDecl*> tables{&SyncSchedule::decl(), &SyncScriptingDecl(),
                                                      &SyncTodoDecl()};
    return tables;
}

QString Text(sqlite3_stmt* st, int col) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    return p == nullptr ? QString() : QString::fromUtf8(p, sqlite3_column_bytes(st, col));
}

// Reads the catalogue; what cannot be read leaves `ok` false.
Catalogue ReadCatalogue(sqlite3* db, bool& ok) {
    Catalogue c;
    ok = false;
    sqlite3_stmt* st = nullptr;
    // The catalogue first, before any statement that the planner's statistics could steer.
    if (sqlite3_prepare_v2(db, "SELECT type, name, tbl_name, sql FROM sqlite_master", -1, &st, nullptr) !=
        SQLITE_OK)
        return c;
    int rc = 0;
    bool plain = true;
    while (plain && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        for (int col = 0; col < 4; ++col) {
            const int type = sqlite3_column_type(st, col);
            plain = plain && (type == SQLITE_TEXT || (col == 3 && type == SQLITE_NULL));
        }
        c.entries.emplace(Text(st, 0), Text(st, 1), Text(st, 2), Text(st, 3));
        // A crafted catalogue may be long; a real one has a few dozen entries.
        plain = plain && c.entries.size() <= 1000;
    }
    sqlite3_finalize(st);
    if (!plain || rc != SQLITE_DONE)
        return c;
    auto pragma = [&](const char* sql, qint64* number, QString* text) {
        sqlite3_stmt* p = nullptr;
        const bool read =
            sqlite3_prepare_v2(db, sql, -1, &p, nullptr) == SQLITE_OK && sqlite3_step(p) == SQLITE_ROW;
        if (read && number != nullptr)
            *number = sqlite3_column_int64(p, 0);
        if (read && text != nullptr)
            *text = Text(p, 0);
        sqlite3_finalize(p);
        return read;
    };
    ok = pragma("PRAGMA application_id", &c.applicationId, nullptr) &&
         pragma("PRAGMA encoding", nullptr, &c.encoding);
    return c;
}

bool ReadLayouts(sqlite3* db, Catalogue& c) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name, version FROM _layout", -1, &st, nullptr) != SQLITE_OK)
        return false;
    int rc = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW && c.layouts.size() < 100) {
        if (sqlite3_column_type(st, 0) != SQLITE_TEXT || sqlite3_column_type(st, 1) != SQLITE_INTEGER) {
            rc = SQLITE_MISMATCH;
            break;
        }
        c.layouts.emplace(Text(st, 0), sqlite3_column_int64(st, 1));
    }
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

// The catalogue of a synchronization file as this program makes one, made afresh in a
// folder of its own: in the session's runtime folder where there is one (in memory, so that no
// write waits for the disk).
Catalogue ExpectedCatalogue() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString base = !runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable()
                             ? runtime
                             : QDir::tempPath();
    QTemporaryDir dir(QDir(base).filePath(QStringLiteral("kelvray-syncread-XXXXXX")));
    if (!dir.isValid())
        Refuse(QStringLiteral("no folder for the reference file"));
    Catalogue c;
    {
        auto file = std::make_shared<DataFile>(dir.filePath(QStringLiteral("reference.syn")), true);
        for (const TableDecl* d : SyncTables()) {
            TableFile table(file, *d);
            if (!table.create(d->version).ok())
                Refuse(QStringLiteral("the reference file could not be made"));
        }
        bool ok = false;
        c = ReadCatalogue(file->connection().handle(), ok);
        if (!ok || !ReadLayouts(file->connection().handle(), c))
            Refuse(QStringLiteral("the reference file could not be read"));
    }
    return c;
}

// What this process may do once the foreign file is open: no file written, no core left
// behind, bounded memory and processor time (the program's own time limit is shorter).
void Confine() {
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    // Unless its own output goes to a file (someone looking at it by hand).
    struct stat out {};
    struct stat err {};
    if (::fstat(STDOUT_FILENO, &out) == 0 && !S_ISREG(out.st_mode) && ::fstat(STDERR_FILENO, &err) == 0 &&
        !S_ISREG(err.st_mode))
        ::setrlimit(RLIMIT_FSIZE, &none);
    const rlimit cpu{300, 300};
    ::setrlimit(RLIMIT_CPU, &cpu);
#ifndef KELVRAY_SYNCREAD_ASAN
    const rlimit memory{rlim_t{2} << 30, rlim_t{2} << 30};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
}

// Opens the file read-only as it is: immutable, so that neither a journal beside it nor a
// lock is looked at, and nothing is ever written to it.
sqlite3* OpenForeign(int fd, const QString& path, const QByteArray& key) {
    QString name = QStringLiteral("/proc/self/fd/%1").arg(fd);
    if (!QFileInfo::exists(name))
        name = QString::fromLatin1(QUrl::toPercentEncoding(path, "/"));
    const QByteArray uri = (QStringLiteral("file:") + name + QStringLiteral("?mode=ro&immutable=1")).toUtf8();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    if (sqlite3_key(db, key.constData(), static_cast<int>(key.size())) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

// Whether the key reads the file: the first page deciphers to a database.
bool KeyReads(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    const bool ok = sqlite3_prepare_v2(db, "PRAGMA schema_version", -1, &st, nullptr) == SQLITE_OK &&
                    sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    return ok;
}

class Output {
public:
    void flushIfFull() {
        if (buffer.size() >= (1 << 20))
            flush();
    }
    void flush() {
        const char* p = buffer.constData();
        qsizetype left = buffer.size();
        while (left > 0) {
            const ssize_t n = ::write(STDOUT_FILENO, p, static_cast<size_t>(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                std::exit(kOutputFailed);
            p += n;
            left -= n;
        }
        buffer.clear();
    }
    QByteArray buffer;
};

qint64 Stream(sqlite3* db, const TableDecl& decl, char tag, Output& out) {
    const Schema schema = BuildSchema(decl);
    const QByteArray sql = (QStringLiteral("SELECT ") + schema.columns.join(QLatin1Char(',')) +
                            QStringLiteral(" FROM ") + schema.table + QStringLiteral(" ORDER BY _id"))
                               .toUtf8();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK)
        Refuse(QStringLiteral("the table %1 cannot be read").arg(decl.sqlName));
    const auto& fields = *decl.fields;
    qint64 rows = 0;
    int rc = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        syncstream::BeginRecord(out.buffer, tag);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const FieldDecl& f = fields[i];
            const int col = static_cast<int>(i);
            const int type = sqlite3_column_type(st, col);
            if (f.isText()) {
                if (type != SQLITE_TEXT)
                    Refuse(QStringLiteral("%1 of row %2 is not a text").arg(decl.label(col)).arg(rows + 1));
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
                const qsizetype n =
                    qMin<qsizetype>(sqlite3_column_bytes(st, col), syncstream::MaxTextBytes(f));
                syncstream::AppendText(out.buffer, p, n);
            } else {
                if (type != SQLITE_INTEGER)
                    Refuse(QStringLiteral("%1 of row %2 is not a number").arg(decl.label(col)).arg(rows + 1));
                syncstream::AppendNumber(out.buffer, sqlite3_column_int64(st, col));
            }
        }
        ++rows;
        out.flushIfFull();
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        Refuse(QStringLiteral("the table %1 cannot be read to its end").arg(decl.sqlName));
    return rows;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelvray-syncread FILE\n");
        return kUsage;
    }
    const QString path = QFile::decodeName(argv[1]);
    const Catalogue expected = ExpectedCatalogue();

    // Only a plain file, opened without waiting: a pipe or a device is no synchronization file.
    const int fd = ::open(argv[1], O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        Refuse(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        Refuse(QStringLiteral("not a plain file"));
    Confine();

    // A file of an earlier version is enciphered under the password itself: read, not re-keyed.
    sqlite3* db = nullptr;
    for (const QByteArray& key : {OwnerRawKey(), OwnerPassword()}) {
        db = OpenForeign(fd, path, key);
        if (db != nullptr && KeyReads(db))
            break;
        sqlite3_close(db);
        db = nullptr;
    }
    if (db == nullptr)
        Refuse(QStringLiteral("not enciphered as this program enciphers its files"));

    bool ok = false;
    Catalogue found = ReadCatalogue(db, ok);
    if (!ok)
        Refuse(QStringLiteral("its catalogue cannot be read"));
    if (found.entries != expected.entries) {
        for (const Entry& e : found.entries) {
            if (!expected.entries.contains(e))
                Refuse(QStringLiteral("the catalogue holds %1 %2").arg(std::get<0>(e), std::get<1>(e)));
        }
        Refuse(QStringLiteral("the catalogue lacks entries of a synchronization file"));
    }
    if (!ReadLayouts(db, found) || found != expected)
        Refuse(QStringLiteral("its layouts are not those of this version"));
    {
        sqlite3_stmt* check = nullptr;
        const bool sound =
            sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK &&
            sqlite3_step(check) == SQLITE_ROW && Text(check, 0) == QLatin1String("ok");
        const QString said = check != nullptr ? Text(check, 0) : QString();
        sqlite3_finalize(check);
        if (!sound)
            Refuse(QStringLiteral("the integrity check failed: ") + said.left(200));
    }

    Output out;
    syncstream::AppendMagic(out.buffer);
    std::array<qint64, 3> counts{};
    const char tags[] = {syncstream::TaskTag, syncstream::ItemTag, syncstream::TodoTag};
    for (std::size_t i = 0; i < SyncTables().size(); ++i)
        counts[i] = Stream(db, *SyncTables()[i], tags[i], out);
    sqlite3_close(db);
    ::close(fd);
    syncstream::AppendEnd(out.buffer, counts);
    out.flush();
    return 0;
}
