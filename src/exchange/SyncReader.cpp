#include "exchange/SyncReader.h"

#include "exchange/Slices.h"
#include "exchange/SyncStream.h"
#include "exchange/SyncValues.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"
#include "store/sqlite/DataFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <mutex>

namespace kr {

namespace {

constexpr int kStartMs = 2000;
// Records filed into the copy per transaction at most, so that a slice stays short.
constexpr std::size_t kCopyBatch = 500;

const QString kReaderName = QStringLiteral("kelvray-syncread");

class Reader {
public:
    explicit Reader(const QString& file) {
        process_.setProgram(SyncReaderProgram());
        process_.setArguments({file});
        process_.setStandardInputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.setReadChannel(QProcess::StandardOutput);
    }
    ~Reader() { stop(); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool start(QString& problem) {
        process_.start(QIODevice::ReadOnly);
        if (process_.waitForStarted(kStartMs))
            return true;
        problem = process_.errorString();
        return false;
    }
    // Waits at most `ms` for output; what came is in `out`. False once the reader ended and all
    // of its output was taken.
    bool read(int ms, QByteArray& out) {
        out = process_.readAllStandardOutput();
        if (!out.isEmpty())
            return true;
        if (process_.state() == QProcess::NotRunning)
            return false;
        process_.waitForReadyRead(ms);
        out = process_.readAllStandardOutput();
        return !out.isEmpty() || process_.state() != QProcess::NotRunning;
    }
    // Whether it ended by itself with all its records written.
    bool succeeded() const {
        return process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit &&
               process_.exitCode() == 0;
    }
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.kill();
        process_.waitForFinished(kStartMs);
    }

private:
    QProcess process_;
};

// The received records not yet filed into the copy.
struct Pending {
    std::vector<SyncSchedule> tasks;
    std::vector<Scripting> items;
    std::vector<Todo> todos;
    std::size_t size() const { return tasks.size() + items.size() + todos.size(); }
};

} // namespace

SyncReaderSettings& SyncReaderOptions() {
    static SyncReaderSettings settings;
    return settings;
}

QString SyncReaderProgram() {
    if (!SyncReaderOptions().program.isEmpty())
        return SyncReaderOptions().program;
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& candidate :
         {here.filePath(kReaderName), here.filePath(QStringLiteral("../companions/") + kReaderName)}) {
        if (QFileInfo(candidate).isExecutable())
            return QFileInfo(candidate).absoluteFilePath();
    }
    return kReaderName;
}

StoreError CreateSyncTables(Store& store, const QString& path) {
    auto file = store.dataFile(path, true);
    for (const TableDecl* d : {&SyncSchedule::decl(), &SyncScriptingDecl(), &SyncTodoDecl()}) {
        TableFile table(file, *d);
        const StoreError e = table.create(store.declaredVersion(*d));
        if (!e.ok())
            return e;
    }
    return {};
}

CopyResult CopyForeignSyncFile(Store& store, Progress& progress, const QString& file, const QString& copy,
                               QString& problem, StoreError& error) {
    error = CreateSyncTables(store, copy);
    if (!error.ok())
        return CopyResult::CopyFailed;
    Table<SyncSchedule> tasks(store, copy);
    Table<Scripting> items(store, SyncScriptingDecl(), copy);
    Table<Todo> todos(store, SyncTodoDecl(), copy);
    {
        // The copy lives only as long as the receive and nobody else opens it: its writes need
        // not wait for the disk.
        Database& copyFile = tasks.tableFile()->file();
        std::lock_guard lock(copyFile.mutex());
        copyFile.connection().exec(QStringLiteral("PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY"));
    }

    Reader reader(file);
    if (!reader.start(problem))
        return CopyResult::NoReader;
    const qint64 limit = SyncReaderOptions().limitMs > 0
                             ? SyncReaderOptions().limitMs
                             : 60000 + QFileInfo(file).size() / (1024 * 1024) * 1000;
    QElapsedTimer clock;
    clock.start();

    syncstream::Reader stream;
    ReceivedRecords checked;
    Pending pending;
    // Files what was read in one transaction on the copy, which no other station knows.
    auto fileInCopy = [&] {
        if (pending.size() == 0)
            return true;
        Transaction tx;
        bool ok = tx.begin({&tasks, &items, &todos}) == Err::None;
        if (!ok)
            error = tx.error();
        auto add = [&](auto& table, auto& records) {
            for (auto& r : records) {
                if (!ok)
                    return;
                if (table.add(r) != Err::None) {
                    error = table.error();
                    ok = false;
                }
            }
            records.clear();
        };
        add(tasks, pending.tasks);
        add(items, pending.items);
        add(todos, pending.todos);
        if (ok && tx.commit() != Err::None) {
            error = tx.error();
            ok = false;
        }
        return ok;
    };
    // Takes the records that are whole; false when the stream is not one of the reader's or a
    // record is refused.
    CopyResult refusal = CopyResult::NotSyncFile;
    auto parse = [&] {
        syncstream::RawRecord raw;
        for (;;) {
            switch (stream.next(raw)) {
            case syncstream::Reader::Result::NeedMore:
            case syncstream::Reader::Result::End:
                return true;
            case syncstream::Reader::Result::Broken:
                refusal = CopyResult::NotSyncFile;
                return false;
            case syncstream::Reader::Result::Record:
                break;
            }
            bool ok = false;
            switch (raw.tag) {
            case syncstream::TaskTag:
                ok = checked.take(raw, &pending.tasks.emplace_back());
                break;
            case syncstream::ItemTag:
                ok = checked.take(raw, &pending.items.emplace_back());
                break;
            default:
                ok = checked.take(raw, &pending.todos.emplace_back());
                break;
            }
            if (!ok) {
                problem = checked.problem();
                refusal = CopyResult::Refused;
                return false;
            }
        }
    };

    for (bool running = true; running;) {
        QElapsedTimer slice;
        slice.start();
        while (slice.elapsed() < kSliceMs && pending.size() < kCopyBatch) {
            QByteArray bytes;
            if (!reader.read(static_cast<int>(qMax<qint64>(1, kSliceMs - slice.elapsed())), bytes)) {
                running = false;
                break;
            }
            stream.feed(bytes.constData(), bytes.size());
            if (!parse()) {
                reader.stop();
                return refusal;
            }
        }
        if (!fileInCopy()) {
            reader.stop();
            return CopyResult::CopyFailed;
        }
        if (!running)
            break;
        progress.update(0);
        if (progress.cancelled()) {
            reader.stop();
            return CopyResult::Cancelled;
        }
        if (clock.elapsed() > limit) {
            reader.stop();
            return CopyResult::NotSyncFile;
        }
    }
    return reader.succeeded() && stream.ended() ? CopyResult::Copied : CopyResult::NotSyncFile;
}

} // namespace kr
