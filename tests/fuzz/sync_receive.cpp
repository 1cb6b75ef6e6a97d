// Receiving synchronization files, each read through the reader program of the build. The first
// byte picks the mode:
//   even: the rest is decoded into a small content (colliding descriptions, categories,
//         stamps and numbers, now and then a value the program never writes) written to a real
//         synchronization file, and received into a data file of random tasks;
//   odd:  a real synchronization file with bytes flipped and cut off as the rest says;
//   3 modulo 4: a real synchronization file changed through the storage library as the rest
//         picks from a list of crafts (catalogue entries of another making, planner statistics
//         that crash the library, keys out of order, values of the wrong kind or range).
// Properties: every script item names a task; a second receipt leaves the to-do list as the
// first left it, entry for entry; a local task newer than every received task of its type and
// description stays; exception links of received tasks name a task or are 0; a file with a
// value the program never writes, and a damaged file, are reported and change nothing; the
// received file is never written.

#include "exchange/Sync.h"
#include "exchange/SyncReader.h"
#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "platform/Progress.h"
#include "store/Cipher.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "support/FuzzInput.h"

#include <QTemporaryDir>

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include <algorithm>
#include <set>
#include <tuple>

namespace {

using namespace kr;

class QuietDialogs final : public Dialogs {
public:
    Button show(const QString& text, const QString&, Icon, unsigned, Button def) override {
        texts << text;
        return def;
    }
    QStringList texts;
};

class FuzzEnd final : public ProgramEnd {
public:
    [[noreturn]] void endProgram(const QString& text) override {
        std::fprintf(stderr, "program end: %s\n", qPrintable(text));
        std::abort();
    }
};

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size)
        : data_(data)
        , size_(size) {}
    int next(int n) { return pos_ < size_ ? data_[pos_++] % n : 0; }
    bool done() const { return pos_ >= size_; }
    size_t pos() const { return pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

const QString kDescriptions[] = {QStringLiteral("Backup"), QStringLiteral("backup"), QStringLiteral("Report"),
                                 QString()};
const QString kCategories[] = {QString(), QStringLiteral("Admin"), QStringLiteral("Work")};
const QString kTypes[] = {QStringLiteral("Run Program"), QStringLiteral("Both")};
const QString kTodos[] = {QStringLiteral("call"), QStringLiteral("Call"), QString()};

// Stamps of no date, or of two days; now and then one far beyond any the program writes.
Date Stamp(Bytes& in, bool& foreign) {
    const int n = in.next(7);
    if (n == 6) {
        foreign = true;
        return 99999999;
    }
    return n < 2 ? 0 : 4 + n % 2;
}

template <class R> void FillTask(R& t, Bytes& in, bool& foreign) {
    t.description = kDescriptions[in.next(4)];
    t.category = kCategories[in.next(3)];
    t.taskType = kTypes[in.next(2)];
    t.lastChangeDate = Stamp(in, foreign);
    t.lastChangeTime = in.next(3);
    t.id = in.next(12) + 1;
}

// A to-do entry as the comparison after each receipt sees it.
using TodoKey = std::tuple<QString, qint32, qint32, QString>;
std::vector<TodoKey> TodoList(Store& store);

// In memory where the system offers it: every commit of the store waits for the disk.
QString FolderTemplate() {
    return QFileInfo(QStringLiteral("/dev/shm")).isWritable()
               ? QStringLiteral("/dev/shm/kelvray-fuzz-XXXXXX")
               : QDir::tempPath() + QStringLiteral("/kelvray-fuzz-XXXXXX");
}

struct Fixture {
    QTemporaryDir dir{FolderTemplate()};
    QuietDialogs dialogs;
    FuzzEnd end;
    Store store{dir.path(), dialogs, end};
    QString sync() const { return dir.filePath(QStringLiteral("in.syn")); }
};

template <class R> std::vector<R> All(Store& store, const TableDecl& decl, const QString& file = {}) {
    Table<R> t(store, decl, file);
    std::vector<R> out;
    t.set(-1);
    R r;
    while (t.next(r) == Err::None) {
        out.push_back(r);
        r = R{};
    }
    return out;
}

// Local tasks with their items and to-do entries; the ids of the tasks.
std::vector<Schedule> SeedLocal(Store& store, Bytes& in) {
    Table<Schedule> tasks(store);
    Table<Scripting> items(store);
    Table<Todo> todos(store);
    std::vector<Schedule> seeded;
    bool unused = false;
    for (int n = in.next(6); n > 0; --n) {
        Schedule t;
        FillTask(t, in, unused);
        if (tasks.add(t) != Err::None)
            continue;
        seeded.push_back(t);
        for (int k = in.next(3); k > 0; --k) {
            Scripting s;
            s.id = t.id;
            s.sequence = k;
            items.add(s);
        }
    }
    for (int n = in.next(4); n > 0; --n) {
        Todo d;
        d.todo = kTodos[in.next(3)];
        d.priority = 5;
        d.lastChangeDate = Stamp(in, unused);
        todos.add(d);
    }
    return seeded;
}

void CheckItems(Store& store) {
    std::set<qint32> ids;
    for (const Schedule& t : All<Schedule>(store, Schedule::decl()))
        ids.insert(t.id);
    for (const Scripting& s : All<Scripting>(store, Scripting::decl()))
        FUZZ_CHECK(ids.count(s.id) == 1);
}

std::vector<TodoKey> TodoList(Store& store) {
    std::vector<TodoKey> out;
    for (const Todo& d : All<Todo>(store, Todo::decl()))
        out.emplace_back(d.todo, d.lastChangeDate, d.lastChangeTime, d.notes);
    std::sort(out.begin(), out.end());
    return out;
}

QByteArray ReadFile(const QString& path);

void Content(Bytes& in) {
    Fixture f;
    f.store.declareLayouts();
    const std::vector<Schedule> local = SeedLocal(f.store, in);
    std::vector<SyncSchedule> sent;
    bool foreign = false; // a value the program never writes was sent
    {
        Table<SyncSchedule> tasks(f.store, f.sync());
        Table<Scripting> items(f.store, SyncScriptingDecl(), f.sync());
        Table<Todo> todos(f.store, SyncTodoDecl(), f.sync());
        for (int n = in.next(8); n > 0; --n) {
            SyncSchedule t;
            // Only a record that went into the file makes it one of a value never written.
            bool far = false;
            FillTask(t, in, far);
            t.exceptionLink = in.next(14);
            t.biMonthly = static_cast<quint8>(in.next(2));
            if (tasks.add(t) != Err::None)
                continue;
            foreign = foreign || far;
            sent.push_back(t);
            for (int k = in.next(4); k > 0; --k) {
                Scripting s;
                s.id = t.id;
                s.sequence = k;
                items.add(s);
            }
        }
        for (int n = in.next(5); n > 0; --n) {
            Todo d;
            d.todo = kTodos[in.next(3)];
            d.priority = static_cast<quint8>(1 + in.next(10));
            bool far = false;
            d.lastChangeDate = Stamp(in, far);
            d.lastChangeTime = in.next(2);
            d.notes = QStringLiteral("sent %1").arg(n);
            if (todos.add(d) == Err::None)
                foreign = foreign || far;
        }
    }
    const QByteArray file = ReadFile(f.sync());
    NoProgress none;
    if (foreign) {
        const QByteArray data = ReadFile(f.store.filePath(Schedule::decl()));
        FUZZ_CHECK(!SyncReceive(f.store, none, f.sync()));
        FUZZ_CHECK(f.dialogs.texts.size() == 1);
        FUZZ_CHECK(f.dialogs.texts[0].contains(QStringLiteral(" cannot be received: ")));
        FUZZ_CHECK(f.dialogs.texts[0].contains(QStringLiteral("99999999")));
        FUZZ_CHECK(ReadFile(f.store.filePath(Schedule::decl())) == data);
        FUZZ_CHECK(ReadFile(f.sync()) == file);
        return;
    }
    FUZZ_CHECK(SyncReceive(f.store, none, f.sync()));
    FUZZ_CHECK(f.dialogs.texts.isEmpty());
    FUZZ_CHECK(ReadFile(f.sync()) == file);
    CheckItems(f.store);

    const auto after = All<Schedule>(f.store, Schedule::decl());
    std::set<qint32> present;
    for (const Schedule& t : after)
        present.insert(t.id);
    // A local task newer than everything received of its type and description stays.
    for (const Schedule& l : local) {
        bool newest = true;
        for (const SyncSchedule& r : sent) {
            if (r.taskType == l.taskType && r.description == l.description &&
                !(l.lastChangeDate > r.lastChangeDate ||
                  (l.lastChangeDate == r.lastChangeDate && l.lastChangeTime > r.lastChangeTime)))
                newest = false;
        }
        if (newest)
            FUZZ_CHECK(present.count(l.id) == 1);
    }
    for (const Schedule& t : after)
        FUZZ_CHECK(t.exceptionLink == 0 || present.count(t.exceptionLink) == 1);

    // The same file again: every entry finds its own copy, none is lost or doubled.
    const std::vector<TodoKey> first = TodoList(f.store);
    FUZZ_CHECK(SyncReceive(f.store, none, f.sync()));
    FUZZ_CHECK(TodoList(f.store) == first);
    CheckItems(f.store);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A real file of a few tasks, made once.
const QByteArray& SampleFile() {
    static const QByteArray bytes = [] {
        Fixture f;
        f.store.declareLayouts();
        {
            Table<Schedule> tasks(f.store);
            Table<Scripting> items(f.store);
            Table<Todo> todos(f.store);
            for (qint32 id = 1; id <= 30; ++id) {
                Schedule t;
                t.id = id;
                t.description = QStringLiteral("Task %1").arg(id);
                t.message = QString(200, QLatin1Char('m'));
                tasks.add(t);
                Scripting s;
                s.id = id;
                s.sequence = 1;
                items.add(s);
                Todo d;
                d.todo = QStringLiteral("todo %1").arg(id);
                d.priority = 5;
                todos.add(d);
            }
        }
        NoProgress none;
        if (!SyncSend(f.store, none, f.sync()))
            std::abort();
        return ReadFile(f.sync());
    }();
    return bytes;
}

void Damaged(Bytes& in) {
    QByteArray bytes = SampleFile();
    const int flips = in.next(8);
    for (int i = 0; i < flips && !bytes.isEmpty(); ++i) {
        const qsizetype at = (static_cast<qsizetype>(in.next(256)) * 256 + in.next(256)) % bytes.size();
        bytes[at] = static_cast<char>(bytes[at] ^ (1 + in.next(255)));
    }
    if (in.next(2) == 1)
        bytes.truncate((static_cast<qsizetype>(in.next(256)) * 256 + in.next(256)) % (bytes.size() + 1));
    Fixture f;
    f.store.declareLayouts();
    SeedLocal(f.store, in);
    {
        QFile out(f.sync());
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            std::abort();
    }
    const QByteArray data = ReadFile(f.store.filePath(Schedule::decl()));
    NoProgress none;
    const bool received = SyncReceive(f.store, none, f.sync());
    if (!received) {
        FUZZ_CHECK(f.dialogs.texts.size() == 1);
        FUZZ_CHECK(f.dialogs.texts[0].endsWith(QStringLiteral(" is not a synchronization file.")) ||
                   f.dialogs.texts[0].endsWith(QStringLiteral(". Nothing was received.")));
        FUZZ_CHECK(ReadFile(f.store.filePath(Schedule::decl())) == data);
    }
    // Received or not, the file is only read.
    FUZZ_CHECK(ReadFile(f.sync()) == bytes);
    CheckItems(f.store);
}

// Changes made behind the program's back. A craft may leave a sound file (the last few), which
// is then received.
const char* const kCrafts[] = {
    "PRAGMA writable_schema=ON; INSERT INTO sqlite_master VALUES('table','x','x',0,'CREATE TABLE x AS SELECT "
    "1');",
    "ANALYZE;",
    "ANALYZE; DELETE FROM sqlite_stat1; INSERT INTO sqlite_stat1 VALUES('_layout',NULL,'3 sz=0');",
    "ANALYZE; UPDATE sqlite_stat1 SET stat='0 0 sz=0';",
    "CREATE TABLE extra(x);",
    "CREATE TRIGGER t AFTER INSERT ON todo BEGIN DELETE FROM s; END;",
    "CREATE VIEW v AS SELECT * FROM s;",
    "CREATE INDEX ix ON s(\"ID\");",
    "DROP INDEX \"s__KEYTASKNAME\";",
    "UPDATE _layout SET version=version+1 WHERE name='scr';",
    "INSERT INTO _layout VALUES('other',1);",
    "PRAGMA application_id=0;",
    "UPDATE s SET \"DATE\"='soon' WHERE _id=1;",
    "UPDATE s SET \"EVERY\"=-2147483648 WHERE _id=2;",
    "UPDATE todo SET \"PRIORITY\"=0 WHERE _id=3;",
    "UPDATE scr SET \"TIMEELAPSED\"=X'00' WHERE _id=1;",
    "UPDATE s SET \"DESCRIPTION\"=NULL WHERE _id=5;",
    // The description key declared the other way round, rows added, and declared back.
    "PRAGMA writable_schema=ON; UPDATE sqlite_master SET "
    "sql=replace(sql,'\"f_DESCRIPTION\",','\"f_DESCRIPTION\" "
    "DESC,') WHERE name='s__KEYTASKNAME';",
    "INSERT INTO s(\"ID\",\"DESCRIPTION\",\"f_DESCRIPTION\") SELECT \"ID\"+100,\"DESCRIPTION\"||'x',"
    "\"f_DESCRIPTION\"||'X' FROM s;",
    "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql=replace(sql,' DESC','') WHERE "
    "name='s__KEYTASKNAME';",
    "DELETE FROM s WHERE _id % 2 = 0;",
    "UPDATE s SET \"DESCRIPTION\"='changed' WHERE _id=4;",
    "PRAGMA user_version=7;",
};

// Runs SQL on the file, as another program would.
void Exec(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    const QByteArray key = OwnerRawKey();
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK &&
        sqlite3_key(db, key.constData(), static_cast<int>(key.size())) == SQLITE_OK)
        sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void Crafted(Bytes& in) {
    Fixture f;
    f.store.declareLayouts();
    SeedLocal(f.store, in);
    {
        QFile out(f.sync());
        if (!out.open(QIODevice::WriteOnly) || out.write(SampleFile()) != SampleFile().size())
            std::abort();
    }
    // A crafted schema may crash the library here, in this process: the file is made apart.
    for (int n = 1 + in.next(3); n > 0 && !in.done(); --n) {
        const int craft = in.next(static_cast<int>(std::size(kCrafts)));
        if (craft == 0) {
            // Written last, since no statement can read the file after it.
            Exec(f.sync(), kCrafts[0]);
            break;
        }
        Exec(f.sync(), kCrafts[craft]);
    }
    const QByteArray bytes = ReadFile(f.sync());
    const QByteArray data = ReadFile(f.store.filePath(Schedule::decl()));
    NoProgress none;
    if (!SyncReceive(f.store, none, f.sync())) {
        FUZZ_CHECK(f.dialogs.texts.size() == 1);
        FUZZ_CHECK(f.dialogs.texts[0].endsWith(QStringLiteral(" is not a synchronization file.")) ||
                   f.dialogs.texts[0].endsWith(QStringLiteral(". Nothing was received.")));
        FUZZ_CHECK(ReadFile(f.store.filePath(Schedule::decl())) == data);
    } else {
        FUZZ_CHECK(f.dialogs.texts.isEmpty());
    }
    FUZZ_CHECK(ReadFile(f.sync()) == bytes);
    CheckItems(f.store);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool reader = [] {
        // A long run can use a copy of the reader, so that the build may relink it meanwhile.
        const QString own = qEnvironmentVariable("KELVRAY_SYNCREAD");
        SyncReaderOptions().program = own.isEmpty() ? QStringLiteral(KELVRAY_SYNCREAD) : own;
        // The receive's copy, and the reader's own reference file, in memory too.
        if (QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
            qputenv("TMPDIR", "/dev/shm");
            qputenv("XDG_RUNTIME_DIR", "/dev/shm");
        }
        return true;
    }();
    (void)reader;
    if (size == 0)
        return 0;
    Bytes in(data + 1, size - 1);
    if (data[0] % 2 == 0)
        Content(in);
    else if (data[0] % 4 == 3)
        Crafted(in);
    else
        Damaged(in);
    return 0;
}
