#include "exchange/CsvExchange.h"

#include "exchange/Slices.h"
#include "organizer/Todo.h"
#include "platform/PrivateFiles.h"
#include "scheduler/TaskEditing.h"
#include "scheduler/TaskRules.h"
#include "store/Numbering.h"
#include "store/Schema.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"
#include "store/Warnings.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace kr {

namespace {

int Percent(qint64 done, qint64 total) {
    return total <= 0 ? 100 : static_cast<int>(qMin<qint64>(100, done * 100 / total));
}

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Writes all of the bytes; false with errno set when the file refuses them.
bool WriteAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Appends a line; a failure asks Abort or Retry. False when the user gave up.
bool AppendLine(Dialogs& dialogs, int fd, const QByteArray& line, const QString& file) {
    for (;;) {
        if (WriteAll(fd, line))
            return true;
        const int error = errno;
        if (dialogs.message(FileErrorText(error), QStringLiteral("Cannot ADD to ") + Native(file),
                            Dialogs::Icon::Exclamation, Dialogs::Abort | Dialogs::Retry,
                            Dialogs::Abort) != Dialogs::Retry)
            return false;
    }
}

template <class R>
qint64 ExportRecords(Store& store, Progress& progress, const ExchangeTable& t,
                     const std::vector<ExchangeField>& fields, int fd, const QString& file) {
    Dialogs& dialogs = store.dialogs();
    Table<R> table(store, *t.decl);
    const qint64 total = table.records();
    table.send(QStringLiteral("QUICKSCAN=on"));
    table.set(t.exportKey);
    std::vector<R> batch;
    qint64 written = 0;
    auto writeRecord = [&](const R& r) {
        CsvLine line;
        for (const ExchangeField& f : fields)
            AddExportValue(line, &r, t.fieldDecl(f.field), f.picture);
        if (!AppendLine(dialogs, fd, line.bytes(), file))
            return false;
        ++written;
        return true;
    };
    auto finish = [&] {
        table.send(QStringLiteral("QUICKSCAN=off"));
        return written;
    };
    for (;;) {
        const Err e = table.nextBatch(batch, kExchangeBatch);
        if (e != Err::None && e != Err::NoMoreRecords) {
            warn::FileError(dialogs, t.decl->name, table.error());
            return finish(); // the export stops there
        }
        bool stop = false;
        for (const R& r : batch) {
            if (!writeRecord(r)) {
                stop = true;
                break;
            }
        }
        // Each batch lets the program's events through, as a timer event of its own would.
        progress.update(Percent(written, total));
        if (stop || progress.cancelled())
            return finish();
        if (e == Err::NoMoreRecords)
            break;
    }
    // Records whose key fields are all blank are not in the key (a task with neither category
    // nor date): they follow in stored order rather than being left out of the file.
    if (written < total) {
        const KeyDecl& key = t.decl->keys[static_cast<std::size_t>(t.exportKey)];
        auto inKey = [&](const R& r) {
            for (const int c : key.components) {
                const Value v = t.fieldDecl(c).get(&r);
                if (const auto* s = std::get_if<QString>(&v)) {
                    // As the key itself tells: only trailing blanks make a text empty, not a
                    // tab or a non-breaking space.
                    if (!StoredText(t.fieldDecl(c), *s).isEmpty())
                        return true;
                } else if (std::get<qint64>(v) != 0) {
                    return true;
                }
            }
            return false;
        };
        table.set(-1);
        for (;;) {
            const Err e = table.nextBatch(batch, kExchangeBatch);
            if (e != Err::None && e != Err::NoMoreRecords) {
                warn::FileError(dialogs, t.decl->name, table.error());
                return finish();
            }
            for (const R& r : batch) {
                if (inKey(r))
                    continue;
                if (!writeRecord(r))
                    return finish();
            }
            progress.update(Percent(written, total));
            if (e == Err::NoMoreRecords || progress.cancelled())
                break;
        }
    }
    return finish();
}

enum class Added { Yes, NumberTaken, Failed };

// A record added under the next free number: highest + 1, taken again up to three times
// when another writer took it; then the user decides, once the transaction has ended.
// `next` is the number the last add left free (0 when not known yet): tried first, so that a
// long import does not look for the highest number before every record.
template <class R> Added AddNumbered(Table<R>& table, R& record, const ExchangeTable& t, qint64& next) {
    if (t.numberField < 0)
        return table.tryAdd(record) == Err::None ? Added::Yes : Added::Failed;
    const FieldDecl& number = t.fieldDecl(t.numberField);
    if (next > 0) {
        number.setInt(&record, next);
        record.meta = RecordMeta{};
        const Err e = table.tryAdd(record);
        if (e != Err::DuplicateKey) {
            next = e == Err::None ? next + 1 : 0;
            return e == Err::None ? Added::Yes : Added::Failed;
        }
    }
    next = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        R last;
        table.set(t.decl->primaryKey());
        const Err read = table.previous(last);
        if (read != Err::None && read != Err::NoMoreRecords)
            return Added::Failed;
        const qint64 highest = read == Err::NoMoreRecords ? 0 : std::get<qint64>(number.get(&last));
        number.setInt(&record, highest + 1);
        record.meta = RecordMeta{};
        const Err e = table.tryAdd(record);
        if (e == Err::None) {
            next = highest + 2;
            return Added::Yes;
        }
        if (e != Err::DuplicateKey)
            return Added::Failed;
    }
    return Added::NumberTaken;
}

// A record as a new one starts, before the line gives its fields: a task gets what a new
// task gets (a task type, a schedule, a repetition), but no date or time of its own, so that
// a file that gives none adds no task that comes due at once; a to-do entry the middle
// priority.
template <class R> R NewRecord() {
    R r{};
    if constexpr (std::is_same_v<R, Schedule>)
        PrimeNewTask(r, 0, 0, kBoth);
    if constexpr (std::is_same_v<R, Todo>)
        r.priority = kTodoDefaultPriority;
    return r;
}

template <class R>
qint64 ImportRecords(Store& store, Progress& progress, const ExchangeTable& t, const ImportPlan& plan,
                     CsvReader& reader) {
    Dialogs& dialogs = store.dialogs();
    Table<R> table(store, *t.decl);
    qint64 added = 0;
    qint64 next = 0;
    // A record whose number was taken three times: tried again when the user says so.
    std::optional<R> pending;
    SliceNotes notes;
    auto cannotAdd = [&](const StoreError& e) {
        notes.message = [&dialogs, e, caption = QStringLiteral("Cannot ADD to %1!").arg(t.decl->name)] {
            dialogs.message(QStringLiteral("Error #%1 - %2").arg(e.number()).arg(e.text()), caption,
                            Dialogs::Icon::Exclamation);
        };
    };
    RunSliced(
        {&table}, progress, [&] { return Percent(reader.bytesRead(), reader.size()); },
        [&](const StoreError& e) {
            warn::TransactionFraming(dialogs, QStringLiteral("Insert"), t.decl->name, e);
        },
        notes,
        [&] {
            for (int i = 0; i < kExchangeBatch; ++i) {
                R record;
                if (pending) {
                    record = std::move(*pending);
                    pending.reset();
                } else {
                    if (!reader.nextRecord())
                        return Batch::Done;
                    // A line of nothing but blanks holds no record (a gap between records, or
                    // the end).
                    if (reader.blankLine())
                        continue;
                    record = NewRecord<R>();
                    plan.convert(reader, &record);
                    if constexpr (std::is_same_v<R, Schedule>) {
                        // No task numbers travel in the file, so a link would name an unrelated
                        // task.
                        record.exceptionLink = 0;
                        if (record.advanceWarnDate == 0)
                            record.advanceWarnTime = 0;
                        CompleteCommand(record);
                    }
                }
                switch (AddNumbered(table, record, t, next)) {
                case Added::Yes:
                    ++added;
                    break;
                case Added::NumberTaken: {
                    const StoreError e = table.error();
                    cannotAdd(e);
                    notes.question = [&dialogs, e] { return detail::AskRetryNumbering(dialogs, e); };
                    pending = std::move(record);
                    return Batch::Ask;
                }
                case Added::Failed:
                    cannotAdd(table.error());
                    return Batch::Stop;
                }
            }
            return Batch::More;
        });
    return added;
}

} // namespace

QString FileErrorText(int error) {
    return QStringLiteral("Error #%1 - %2").arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
}

qint64 ExportTable(Store& store, Progress& progress, const ExchangeTable& t,
                   const std::vector<ExchangeField>& fields, bool header, const QString& file) {
    Dialogs& dialogs = store.dialogs();
    // The program's own files are never written over.
    if (store.isDataFile(file)) {
        dialogs.message(Native(file) + QStringLiteral(" is a data file of the program."),
                        QStringLiteral("Cannot CREATE ") + Native(file), Dialogs::Icon::Exclamation);
        return -1;
    }
    // A file the export makes is the user's alone; a file that is there already is written
    // over, its rights untouched. Only a plain file: a pipe would wait for a reader for ever,
    // a device is no file to keep.
    const QByteArray native = QFile::encodeName(file);
    auto cannotCreate = [&](const QString& text) {
        dialogs.message(text, QStringLiteral("Cannot CREATE ") + Native(file), Dialogs::Icon::Exclamation);
        return qint64{-1};
    };
    auto notAFile = [&](const struct stat& st) {
        return cannotCreate(S_ISDIR(st.st_mode)
                                ? FileErrorText(EISDIR)
                                : Native(file) + QStringLiteral(" is not a file that can be written to."));
    };
    struct stat st {};
    const bool there = ::stat(native.constData(), &st) == 0;
    if (there && !S_ISREG(st.st_mode))
        return notAFile(st);
    // Opened without waiting, and looked at again: the name may have been given to a pipe
    // since.
    const int fd = there ? ::open(native.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                         : OpenPrivateFile(file, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC);
    if (fd < 0)
        return cannotCreate(FileErrorText(errno));
    if (there) {
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            return notAFile(opened);
        }
        if (::ftruncate(fd, 0) != 0 || ::fcntl(fd, F_SETFL, 0) != 0) {
            const int error = errno;
            ::close(fd);
            return cannotCreate(FileErrorText(error));
        }
    }
    qint64 written = 0;
    bool go = true;
    if (header) {
        CsvLine line;
        for (const ExchangeField& f : fields)
            line.addHeader(f.name.left(50));
        go = AppendLine(dialogs, fd, line.bytes(), file);
    }
    if (go) {
        progress.begin(QStringLiteral("Exporting Records"), QString());
        if (t.decl == &Schedule::decl())
            written = ExportRecords<Schedule>(store, progress, t, fields, fd, file);
        else if (t.decl == &Contact::decl())
            written = ExportRecords<Contact>(store, progress, t, fields, fd, file);
        else
            written = ExportRecords<Todo>(store, progress, t, fields, fd, file);
        progress.setText(QStringLiteral("Process Completed"));
        progress.end();
    }
    if (::close(fd) != 0)
        dialogs.message(FileErrorText(errno), QStringLiteral("Cannot CLOSE ") + Native(file),
                        Dialogs::Icon::Exclamation);
    return written;
}

bool ImportFile::load(const QString& path, Dialogs& dialogs) {
    // Plain reads, so that a failure tells its errno.
    auto fail = [&](int error) {
        dialogs.message(FileErrorText(error), QStringLiteral("Cannot OPEN ") + Native(path),
                        Dialogs::Icon::Exclamation);
        return false;
    };
    // Only a plain file: reading a pipe or a device could wait or grow for ever.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return fail(errno);
    if (S_ISDIR(st.st_mode))
        return fail(EISDIR);
    if (!S_ISREG(st.st_mode)) {
        dialogs.message(Native(path) + QStringLiteral(" is not a file that can be imported."),
                        QStringLiteral("Cannot OPEN ") + Native(path), Dialogs::Icon::Exclamation);
        return false;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return fail(error);
        }
        if (n == 0)
            break;
        bytes.append(buffer, n);
    }
    ::close(fd);
    setBytes(std::move(bytes));
    return true;
}

void ImportFile::setBytes(QByteArray bytes) {
    bytes_ = std::move(bytes);
    fields_.clear();
    record_ = 0;
    CsvReader reader(bytes_);
    utf8_ = reader.utf8();
    if (!reader.nextRecord())
        return;
    for (int n = 1;; ++n) {
        CsvField f = reader.nextField();
        if (!f.present)
            break;
        fields_.push_back(
            Field{QStringLiteral("Field_%1").arg(n), QStringLiteral("@S1000"), f.value.left(100)});
    }
    if (reader.nextRecord()) {
        for (Field& field : fields_) {
            const CsvField f = reader.nextField();
            if (!f.present)
                break;
            if (!f.quoted)
                field.picture = QStringLiteral("@N30.9");
        }
    }
    reader.rewind();
    reader.nextRecord();
    showRecord(reader);
    record_ = 1;
}

void ImportFile::showRecord(CsvReader& reader) {
    for (Field& field : fields_)
        field.value = reader.nextField().value.left(100);
    while (!reader.recordEnded())
        reader.nextField();
    shownEnd_ = reader.bytesRead();
}

bool ImportFile::hasNext() const {
    CsvReader reader = this->reader();
    reader.skipTo(shownEnd_);
    return reader.nextRecord();
}

bool ImportFile::next() {
    CsvReader reader = this->reader();
    reader.skipTo(shownEnd_);
    if (!reader.nextRecord())
        return false;
    showRecord(reader);
    ++record_;
    return true;
}

void AutoAssign(const ExchangeTable& t, std::vector<ImportFile::Field>& fields, Assignments& assigned) {
    assigned.resize(t.targets.size(), -1);
    for (std::size_t i = 0; i < t.targets.size(); ++i) {
        if (assigned[i] >= 0)
            continue;
        for (std::size_t k = 0; k < fields.size(); ++k) {
            if (fields[k].value == t.targets[i].name) {
                assigned[i] = static_cast<int>(k);
                break;
            }
        }
    }
    if (t.decl != &Schedule::decl())
        return;
    for (std::size_t i = 0; i < t.targets.size(); ++i) {
        if (assigned[i] < 0)
            continue;
        switch (t.targets[i].field) {
        case Schedule::DATE:
        case Schedule::LASTRUNDATE:
        case Schedule::ADVANCEWARNDATE:
            fields[static_cast<std::size_t>(assigned[i])].picture = QStringLiteral("@d6");
            break;
        case Schedule::TIME:
        case Schedule::LASTRUNTIME:
        case Schedule::ADVANCEWARNTIME:
        case Schedule::EXCEPTTIMEBEGIN:
        case Schedule::EXCEPTTIMEEND:
            fields[static_cast<std::size_t>(assigned[i])].picture = QStringLiteral("@t3");
            break;
        default:
            break;
        }
    }
}

ImportPlan::ImportPlan(const ExchangeTable& table, const std::vector<ImportFile::Field>& fields,
                       const Assignments& assigned)
    : table_(table)
    , feeds_(fields.size()) {
    pictures_.reserve(fields.size());
    for (const auto& f : fields)
        pictures_.push_back(f.picture);
    for (std::size_t i = 0; i < assigned.size() && i < table.targets.size(); ++i) {
        const int k = assigned[i];
        if (k >= 0 && static_cast<std::size_t>(k) < feeds_.size())
            feeds_[static_cast<std::size_t>(k)].push_back(table.targets[i].field);
    }
}

void ImportPlan::convert(CsvReader& reader, void* record) const {
    for (std::size_t k = 0; k < feeds_.size() && !reader.recordEnded(); ++k) {
        const CsvField f = reader.nextField();
        if (!f.present || feeds_[k].empty())
            continue;
        const ImportValue v = ConvertImportText(f.value, pictures_[k]);
        for (const int target : feeds_[k])
            StoreImportValue(record, table_.fieldDecl(target), v);
    }
}

qint64 ImportTable(Store& store, Progress& progress, const ExchangeTable& t, const ImportFile& file,
                   const Assignments& assigned, bool skipHeader) {
    const ImportPlan plan(t, file.fields(), assigned);
    CsvReader reader = file.reader();
    if (skipHeader)
        reader.nextRecord();
    progress.begin(QStringLiteral("Importing Records"), QString());
    qint64 added = 0;
    if (t.decl == &Schedule::decl())
        added = ImportRecords<Schedule>(store, progress, t, plan, reader);
    else if (t.decl == &Contact::decl())
        added = ImportRecords<Contact>(store, progress, t, plan, reader);
    else
        added = ImportRecords<Todo>(store, progress, t, plan, reader);
    progress.setText(QStringLiteral("Process Completed"));
    progress.end();
    return added;
}

} // namespace kr
