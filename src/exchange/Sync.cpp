#include "exchange/Sync.h"

#include "exchange/CsvExchange.h"
#include "exchange/Slices.h"
#include "exchange/SyncReader.h"
#include "platform/PrivateFiles.h"
#include "platform/Text.h"
#include "scheduler/ProgramState.h"
#include "store/Numbering.h"
#include "store/RecordChanges.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"
#include "store/Warnings.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace kr {

namespace {

constexpr int kBatch = 25;
int Percent(qint64 done, qint64 total) {
    return total <= 0 ? 100 : static_cast<int>(qMin<qint64>(100, done * 100 / total));
}

// The progress window of a step that runs to its end even after Cancel: the events still go
// through at each look.
class KeepGoing final : public Progress {
public:
    KeepGoing(Progress& inner, int percent)
        : inner_(inner)
        , percent_(percent) {}
    void doBegin(const QString&, const QString&) override {}
    void doUpdate(int) override { inner_.update(percent_); }
    bool cancelled() const override { return false; }
    void end() override {}

private:
    Progress& inner_;
    int percent_;
};

// Tasks with neither description nor category are not in the description key: after the
// key's end they are read in stored order, so that they travel too.
class KeylessTasks {
public:
    // Goes on with the tasks left out of the key; false when that is done already.
    bool next(TableAccess& table) {
        if (tail_)
            return false;
        tail_ = true;
        table.set(-1);
        return true;
    }
    template <class R> void filter(std::vector<R>& batch) const {
        if (tail_)
            std::erase_if(batch, [](const R& r) {
                return !Clip(r.description).isEmpty() || !Clip(r.category).isEmpty();
            });
    }

private:
    bool tail_ = false;
};

// Field numbers of the same names in two declarations, worked out once per pair.
class FieldMap {
public:
    FieldMap(const TableDecl& from, const TableDecl& to) {
        for (std::size_t i = 0; i < to.fields->size(); ++i) {
            const int k = from.fieldIndex((*to.fields)[i].name());
            if (k >= 0)
                pairs_.emplace_back(k, static_cast<int>(i));
        }
        from_ = from.fields;
        to_ = to.fields;
    }
    void copy(const void* src, void* dst) const {
        for (const auto& [f, t] : pairs_)
            (*to_)[static_cast<std::size_t>(t)].set(dst, (*from_)[static_cast<std::size_t>(f)].get(src));
    }

private:
    std::vector<std::pair<int, int>> pairs_;
    const std::vector<FieldDecl>* from_ = nullptr;
    const std::vector<FieldDecl>* to_ = nullptr;
};

const FieldMap& ToSync() {
    static const FieldMap m(Schedule::decl(), SyncSchedule::decl());
    return m;
}
const FieldMap& FromSync() {
    static const FieldMap m(SyncSchedule::decl(), Schedule::decl());
    return m;
}

void RemoveDatabaseFiles(const QString& path) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

template <class A, class B> bool Older(const A& local, const B& received) {
    if (local.lastChangeDate != received.lastChangeDate)
        return local.lastChangeDate < received.lastChangeDate;
    return local.lastChangeTime < received.lastChangeTime;
}

template <class A, class B> bool SameStamp(const A& local, const B& received) {
    return local.lastChangeDate == received.lastChangeDate && local.lastChangeTime == received.lastChangeTime;
}

// Whether a path names a plain file (no pipe, device or folder), as a synchronization file is.
bool IsPlainFile(const QString& path, bool* exists = nullptr) {
    struct stat st {};
    const bool there = ::stat(QFile::encodeName(path).constData(), &st) == 0;
    if (exists != nullptr)
        *exists = there;
    return there && S_ISREG(st.st_mode);
}

void NotSyncFile(Dialogs& dialogs, const QString& path) {
    dialogs.message(QDir::toNativeSeparators(path) + QStringLiteral(" is not a synchronization file."),
                    kSyncCaption, Dialogs::Icon::Exclamation);
}

// The records a receive has added so far: a file may hold several tasks (or to-do entries)
// alike, and each of them arrives; none replaces the copy of another from the same file. For
// the to-do entries also those a received entry was paired with (and kept).
using Fresh = std::unordered_set<qint64>; // rowids

// Finds the local tasks a received one replaces or yields to: from its description and
// category on, as long as type and description are equal. A task with neither description
// nor category is missing from that key, so those are looked for one by one.
bool TaskMatches(Table<Schedule>& table, const SyncSchedule& r, const Fresh& fresh,
                 std::vector<Schedule>& out) {
    out.clear();
    const QString description = Clip(r.description);
    const QString type = Clip(r.taskType);
    if (description.isEmpty() && Clip(r.category).isEmpty()) {
        table.set(-1);
        std::vector<Schedule> batch;
        Err e = Err::None;
        while ((e = table.nextBatch(batch, 200)) == Err::None) {
            for (Schedule& s : batch) {
                if (Clip(s.description).isEmpty() && Clip(s.category).isEmpty() && Clip(s.taskType) == type &&
                    !fresh.contains(s.meta.rowid))
                    out.push_back(std::move(s));
            }
        }
        return e == Err::NoMoreRecords;
    }
    Schedule probe;
    probe.description = r.description;
    probe.category = r.category;
    Err e = table.set(Schedule::KEYTASKNAME, probe);
    Schedule s;
    while (e == Err::None && (e = table.next(s)) == Err::None) {
        if (Clip(s.taskType) != type || Clip(s.description) != description)
            break;
        if (!fresh.contains(s.meta.rowid))
            out.push_back(s);
        s = Schedule{};
    }
    return e == Err::None || e == Err::NoMoreRecords;
}

bool TodoMatches(Table<Todo>& table, const Todo& d, const Fresh& fresh, std::vector<Todo>& out) {
    out.clear();
    const QString text = Clip(d.todo);
    if (text.isEmpty()) {
        table.set(-1);
        std::vector<Todo> batch;
        Err e = Err::None;
        while ((e = table.nextBatch(batch, 200)) == Err::None) {
            for (Todo& t : batch) {
                if (Clip(t.todo).isEmpty() && !fresh.contains(t.meta.rowid))
                    out.push_back(std::move(t));
            }
        }
        return e == Err::NoMoreRecords;
    }
    Todo probe;
    probe.todo = d.todo;
    Err e = table.set(Todo::KEYTODO, probe);
    Todo t;
    while (e == Err::None && (e = table.next(t)) == Err::None && Clip(t.todo) == text) {
        if (!fresh.contains(t.meta.rowid))
            out.push_back(t);
        t = Todo{};
    }
    return e == Err::None || e == Err::NoMoreRecords;
}

// Deletes a task with its script items.
bool DeleteTask(Table<Schedule>& tasks, Table<Scripting>& items, Schedule& task) {
    std::vector<Scripting> list;
    if (!ReadTaskItems(items, task.id, list))
        return false;
    for (Scripting& s : list) {
        if (items.remove(s) != Err::None)
            return false;
    }
    return tasks.remove(task) == Err::None;
}

// Merges the received to-do entries. Each received entry is paired with at most one local
// entry of its text that no other received entry took: one with the same stamp first, which
// stays; else the newest of the strictly older ones, which the received entry replaces. An
// entry that finds no partner is added, unless every local entry of its text is newer.
bool MergeTodos(Store& store, Progress& progress, Table<Todo>& local, Table<Todo>& received,
                SyncCounts& counts) {
    Dialogs& dialogs = store.dialogs();
    received.set(-1);
    const qint64 total = received.records();
    qint64 done = 0;
    std::vector<Todo> batch;
    std::vector<Todo> matches;
    Fresh taken;
    SliceNotes notes;
    auto failed = [&](std::function<void()> message) {
        notes.message = std::move(message);
        return Batch::Failed;
    };
    return RunSliced(
        {&local}, progress, [&] { return Percent(done, total); },
        [&](const StoreError& e) {
            warn::TransactionFraming(dialogs, QStringLiteral("Insert"), Todo::decl().name, e);
        },
        notes,
        [&] {
            const Err e = received.nextBatch(batch, kBatch);
            if (e == Err::NoMoreRecords)
                return Batch::Done;
            if (e != Err::None)
                return failed([&dialogs, err = received.error()] {
                    warn::FileError(dialogs, SyncTodoDecl().name, err);
                });
            for (Todo& d : batch) {
                if (!TodoMatches(local, d, taken, matches))
                    return failed([&dialogs, err = local.error()] {
                        warn::FileError(dialogs, Todo::decl().name, err);
                    });
                ++done;
                const auto same = std::find_if(matches.begin(), matches.end(),
                                               [&](const Todo& m) { return SameStamp(m, d); });
                if (same != matches.end()) {
                    taken.insert(same->meta.rowid);
                    continue;
                }
                Todo* older = nullptr;
                for (Todo& m : matches) {
                    if (Older(m, d) && (older == nullptr || Older(*older, m)))
                        older = &m;
                }
                if (older == nullptr && !matches.empty())
                    continue; // every local entry of the text is newer
                if (older != nullptr && local.remove(*older) != Err::None)
                    return failed([&dialogs, err = local.error()] {
                        warn::DeleteError(dialogs, Todo::decl().name, err);
                    });
                d.meta = RecordMeta{};
                if (local.add(d) != Err::None)
                    return failed([&dialogs, err = local.error()] { warn::InsertError(dialogs, err); });
                taken.insert(d.meta.rowid);
                ++counts.todos;
            }
            return Batch::More;
        });
}

} // namespace

QString SyncFileBase(const QString& name) {
    const qsizetype cut = name.indexOf(QStringLiteral("\\!"));
    return cut < 0 ? name : name.left(cut);
}

QString ChooseSyncFile(FileDialogs& dialogs, bool send, QString& remembered) {
    QString start = SyncFileBase(remembered);
    if (start.isEmpty())
        start = QDir::current().filePath(QStringLiteral("SyncSch.syn"));
    const QString chosen =
        send ? dialogs.saveFile(QStringLiteral("File to Send to..."), kSyncFilter, start)
             : dialogs.openFile(QStringLiteral("File to Receive from..."), kSyncFilter, start);
    if (chosen.isEmpty())
        return {};
    remembered = SyncFileBase(chosen);
    return remembered;
}

bool SyncSend(Store& store, Progress& progress, const QString& target, SyncCounts* countsOut) {
    Dialogs& dialogs = store.dialogs();
    const QString file = QFileInfo(SyncFileBase(target)).absoluteFilePath();
    const QString native = QDir::toNativeSeparators(file);
    if (store.isDataFile(file)) {
        dialogs.message(native + QStringLiteral(" is a file of this program and cannot be written to."),
                        kSyncCaption, Dialogs::Icon::Exclamation);
        return false;
    }
    // Only a plain file is replaced: not a folder, a pipe or a device.
    bool exists = false;
    if (!IsPlainFile(file, &exists) && exists) {
        dialogs.message(native + QStringLiteral(" is not a file that can be written to."),
                        QStringLiteral("Cannot CREATE ") + native, Dialogs::Icon::Exclamation);
        return false;
    }
    // The file is written under a name of its own and put in place only when complete, so
    // that a failed send leaves the old file as it was.
    const QFileInfo info(file);
    const QString temp = info.absoluteDir().filePath(
        QStringLiteral(".%1.%2.%3.sending")
            .arg(info.fileName())
            .arg(::getpid())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    auto cannotCreate = [&](int number, const QString& text) {
        dialogs.message(QStringLiteral("Error #%1 - %2").arg(number).arg(text),
                        QStringLiteral("Cannot CREATE ") + native, Dialogs::Icon::Exclamation);
    };
    // A folder that cannot be written, or a medium too full for even the empty tables, is
    // reported here: the open procedure would end the program instead.
    {
        const int fd = OpenPrivateFile(temp, O_WRONLY | O_CREAT | O_EXCL);
        if (fd < 0) {
            const int error = errno;
            cannotCreate(error, QString::fromLocal8Bit(std::strerror(error)));
            return false;
        }
        ::close(fd);
        ::unlink(QFile::encodeName(temp).constData());
        const StoreError e = CreateSyncTables(store, temp);
        if (!e.ok()) {
            RemoveDatabaseFiles(temp);
            cannotCreate(e.number(), e.code == Err::StorageError ? e.describe() : e.text());
            return false;
        }
    }
    SyncCounts counts;
    bool ok = true;
    SliceNotes notes;
    {
        Table<Schedule> tasks(store);
        Table<Scripting> items(store);
        Table<Todo> todos(store);
        Table<SyncSchedule> sTasks(store, temp);
        Table<Scripting> sItems(store, SyncScriptingDecl(), temp);
        Table<Todo> sTodos(store, SyncTodoDecl(), temp);

        progress.begin(QStringLiteral("Processing Records"), QStringLiteral("Sending"));
        const qint64 total = tasks.records();
        tasks.send(QStringLiteral("QUICKSCAN=on"));
        tasks.set(Schedule::KEYTASKNAME);
        std::vector<Schedule> batch;
        std::vector<Scripting> list;
        qint64 done = 0;
        // A table that could not be read or written: said once the slice's transaction ended.
        auto fail = [&](const QString& table, const StoreError& e) {
            notes.message = [&dialogs, table, e] { warn::FileError(dialogs, table, e); };
            ok = false;
            return Batch::Failed;
        };
        auto framing = [&](const StoreError& e) {
            warn::FileError(dialogs, SyncSchedule::decl().name, e);
            ok = false;
        };
        KeylessTasks keyless;
        RunSliced(
            {&sTasks, &sItems}, progress, [&] { return Percent(done, total); }, framing, notes,
            [&] {
                const Err e = tasks.nextBatch(batch, kBatch);
                if (e == Err::NoMoreRecords)
                    return keyless.next(tasks) ? Batch::More : Batch::Done;
                if (e != Err::None)
                    return fail(Schedule::decl().name, tasks.error());
                keyless.filter(batch);
                for (const Schedule& task : batch) {
                    SyncSchedule s;
                    ToSync().copy(&task, &s);
                    s.biMonthly = 0;
                    if (sTasks.add(s) != Err::None)
                        return fail(SyncSchedule::decl().name, sTasks.error());
                    list.clear();
                    if (!ReadTaskItems(items, task.id, list))
                        return fail(Scripting::decl().name, items.error());
                    for (Scripting& item : list) {
                        item.meta = RecordMeta{};
                        if (sItems.add(item) != Err::None)
                            return fail(SyncScriptingDecl().name, sItems.error());
                    }
                    counts.items += static_cast<qint64>(list.size());
                    ++counts.tasks;
                    ++done;
                }
                return Batch::More;
            });
        tasks.send(QStringLiteral("QUICKSCAN=off"));

        // Every to-do entry goes, whether the tasks were all written or the user cancelled.
        if (ok) {
            todos.set(-1);
            std::vector<Todo> todoBatch;
            KeepGoing todoProgress(progress, Percent(done, total));
            RunSliced(
                {&sTodos}, todoProgress, [] { return 100; }, framing, notes,
                [&] {
                    const Err e = todos.nextBatch(todoBatch, kBatch);
                    if (e == Err::NoMoreRecords)
                        return Batch::Done;
                    if (e != Err::None)
                        return fail(Todo::decl().name, todos.error());
                    for (Todo& t : todoBatch) {
                        t.meta = RecordMeta{};
                        if (sTodos.add(t) != Err::None)
                            return fail(SyncTodoDecl().name, sTodos.error());
                    }
                    counts.todos += static_cast<qint64>(todoBatch.size());
                    return Batch::More;
                });
        }
        if (ok)
            progress.setText(QStringLiteral("Process Completed"));
        progress.end();
    }
    if (ok && ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(file).constData()) != 0) {
        const int error = errno;
        warn::FileError(dialogs, native,
                        StoreError{Err::StorageError, QString::fromLocal8Bit(std::strerror(error)), error});
        ok = false;
    }
    if (!ok)
        RemoveDatabaseFiles(temp);
    if (countsOut != nullptr)
        *countsOut = counts;
    return ok;
}

namespace {

// Tells why a file from outside was not received; nothing was changed.
void ReportUnreceived(Dialogs& dialogs, CopyResult result, const QString& file, const QString& copy,
                      const QString& problem, const StoreError& error) {
    const QString native = QDir::toNativeSeparators(file);
    switch (result) {
    case CopyResult::Copied:
    case CopyResult::Cancelled:
        return;
    case CopyResult::NotSyncFile:
        NotSyncFile(dialogs, file);
        return;
    case CopyResult::Refused:
        dialogs.message(native + QStringLiteral(" cannot be received: ") + problem +
                            QStringLiteral(". Nothing was received."),
                        kSyncCaption, Dialogs::Icon::Exclamation);
        return;
    case CopyResult::CopyFailed:
        warn::FileError(dialogs, QDir::toNativeSeparators(copy), error);
        return;
    case CopyResult::NoReader:
        dialogs.message(QStringLiteral("The program that reads synchronization files (") +
                            SyncReaderProgram() + QStringLiteral(") could not be started: ") + problem +
                            QLatin1Char('.'),
                        kSyncCaption, Dialogs::Icon::Exclamation);
        return;
    }
}

} // namespace

bool SyncReceive(Store& store, Progress& progress, const QString& source, TableListeners* listeners,
                 SyncCounts* countsOut) {
    Dialogs& dialogs = store.dialogs();
    const QString file = ResolveFileName(QFileInfo(SyncFileBase(source)).absoluteFilePath());
    if (store.isDataFile(file) || !IsPlainFile(file)) {
        NotSyncFile(dialogs, file);
        return false;
    }
    // The file itself is only ever read by the reader program; what it holds comes into a copy
    // of this program's making, in a folder of the user's alone.
    QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("kelvray-receive-XXXXXX")));
    if (!folder.isValid()) {
        warn::FileError(dialogs, QDir::toNativeSeparators(folder.path()),
                        StoreError{Err::StorageError, folder.errorString(), 0});
        return false;
    }
    const QString copy = folder.filePath(QStringLiteral("received.syn"));
    progress.begin(QStringLiteral("Processing Records"), QString());
    {
        QString problem;
        StoreError error;
        const CopyResult read = CopyForeignSyncFile(store, progress, file, copy, problem, error);
        if (read != CopyResult::Copied) {
            progress.end();
            ReportUnreceived(dialogs, read, file, copy, problem, error);
            return false;
        }
    }
    SyncCounts counts;
    bool ok = true;
    SliceNotes notes;
    // Sender's task numbers and the numbers their copies got here, for the exception links.
    std::map<qint32, qint32> renumbered;
    std::vector<std::pair<qint32, qint32>> links; // new number, sender's link
    {
        Table<Schedule> tasks(store);
        Table<Scripting> items(store);
        Table<Todo> todos(store);
        Table<SyncSchedule> sTasks(store, copy);
        Table<Scripting> sItems(store, SyncScriptingDecl(), copy);
        Table<Todo> sTodos(store, SyncTodoDecl(), copy);

        const qint64 total = sTasks.records();
        sTasks.send(QStringLiteral("QUICKSCAN=on"));
        sTasks.set(SyncSchedule::KEYTASKNAME);
        std::vector<SyncSchedule> batch;
        std::vector<Schedule> matches;
        std::vector<Scripting> list;
        Fresh fresh;
        qint64 done = 0;
        // A table that could not be read or written: said once the slice's transaction ended.
        auto fail = [&](const QString& table, const StoreError& e) {
            notes.message = [&dialogs, table, e] { warn::FileError(dialogs, table, e); };
            ok = false;
            return false;
        };
        // One received task: the local matches it replaces or yields to, then its copy.
        auto receiveTask = [&](const SyncSchedule& r) {
            if (!TaskMatches(tasks, r, fresh, matches))
                return fail(Schedule::decl().name, tasks.error());
            bool newer = false;
            bool replaced = false;
            for (Schedule& m : matches) {
                if (!Older(m, r) && !SameStamp(m, r)) {
                    newer = true;
                    continue;
                }
                if (!DeleteTask(tasks, items, m))
                    return fail(Schedule::decl().name, tasks.error().ok() ? items.error() : tasks.error());
                replaced = true;
            }
            if (newer && !replaced)
                return true;
            Schedule t;
            FromSync().copy(&r, &t);
            // Linked to its copy once the whole file is in, in this file's numbering.
            t.exceptionLink = 0;
            if (AddTaskCopy(tasks, t) != Err::None)
                return fail(Schedule::decl().name, tasks.error());
            fresh.insert(t.meta.rowid);
            renumbered[r.id] = t.id;
            if (r.exceptionLink != 0)
                links.emplace_back(t.id, r.exceptionLink);
            std::vector<Scripting> stale;
            list.clear();
            if (!ReadTaskItems(items, t.id, stale) || !ReadTaskItems(sItems, r.id, list))
                return fail(Scripting::decl().name, items.error().ok() ? sItems.error() : items.error());
            for (Scripting& old : stale) {
                if (items.remove(old) != Err::None)
                    return fail(Scripting::decl().name, items.error());
            }
            for (Scripting& item : list) {
                item.id = t.id;
                item.meta = RecordMeta{};
                if (items.add(item) != Err::None)
                    return fail(Scripting::decl().name, items.error());
            }
            ++counts.tasks;
            counts.items += static_cast<qint64>(list.size());
            return true;
        };
        KeylessTasks keyless;
        RunSliced(
            {&tasks, &items}, progress, [&] { return Percent(done, total); },
            [&](const StoreError& e) {
                warn::TransactionFraming(dialogs, QStringLiteral("Insert"), Schedule::decl().name, e);
                ok = false;
            },
            notes,
            [&] {
                const Err e = sTasks.nextBatch(batch, kBatch);
                if (e == Err::NoMoreRecords)
                    return keyless.next(sTasks) ? Batch::More : Batch::Done;
                if (e != Err::None) {
                    fail(SyncSchedule::decl().name, sTasks.error());
                    return Batch::Failed;
                }
                keyless.filter(batch);
                for (const SyncSchedule& r : batch) {
                    if (!receiveTask(r))
                        return Batch::Failed;
                    ++done;
                }
                return Batch::More;
            });
        sTasks.send(QStringLiteral("QUICKSCAN=off"));

        // The links between the tasks received, in this file's numbers; a link to a task that
        // did not come (or did not stay) is dropped.
        // A link that could not be written is said once the transaction has ended.
        if (!links.empty()) {
            std::optional<StoreError> failed;
            {
                Transaction tx;
                if (tx.begin({&tasks}) != Err::None)
                    failed = tx.error();
                for (auto link = links.begin(); !failed && link != links.end(); ++link) {
                    const auto it = renumbered.find(link->second);
                    if (it == renumbered.end())
                        continue;
                    Schedule target;
                    target.id = it->second;
                    if (tasks.get(Schedule::KEYID, target) != Err::None)
                        continue;
                    Schedule task;
                    task.id = link->first;
                    if (tasks.get(Schedule::KEYID, task) != Err::None)
                        continue;
                    task.exceptionLink = it->second;
                    if (tasks.put(task) != Err::None)
                        failed = tasks.error();
                }
                if (failed)
                    tx.rollback();
                else if (tx.commit() != Err::None)
                    failed = tx.error();
            }
            if (failed) {
                warn::FileError(dialogs, Schedule::decl().name, *failed);
                ok = false;
            }
        }

        // The to-do list is merged however the tasks went.
        KeepGoing todoProgress(progress, Percent(done, total));
        MergeTodos(store, todoProgress, todos, sTodos, counts);
        progress.setText(QStringLiteral("Process Completed"));
        progress.end();
    }
    if (listeners != nullptr) {
        listeners->post(Schedule::decl().name);
        listeners->post(Todo::decl().name);
    }
    if (countsOut != nullptr)
        *countsOut = counts;
    return ok;
}

} // namespace kr
