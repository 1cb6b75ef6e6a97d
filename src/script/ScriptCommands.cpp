#include "script/ScriptCommands.h"

#include "platform/PrivateFiles.h"
#include "platform/Text.h"
#include "script/ScriptFile.h"
#include "script/ScriptItems.h"
#include "store/Table.h"
#include "store/Transaction.h"
#include "store/Warnings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <limits>

namespace kr {

namespace {

const QString kProcessing = QStringLiteral("Processing Records");

// A file that could not be opened, as the standard file-error message shows it.
int Percent(qint64 done, qint64 total) {
    return total <= 0 ? 100 : static_cast<int>(qMin<qint64>(100, done * 100 / total));
}

// Whether the file has text whose last line is not ended, so that appending would join it.
bool EndsWithoutNewline(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() == 0 || !f.seek(f.size() - 1))
        return false;
    char last = 0;
    return f.getChar(&last) && last != '\n';
}

// The progress window of one run, ended however the run ends.
class ProgressRun {
public:
    ProgressRun(Progress& progress, const QString& title, const QString& text)
        : progress_(progress) {
        progress_.begin(title, text);
    }
    ~ProgressRun() { progress_.end(); }
    ProgressRun(const ProgressRun&) = delete;
    ProgressRun& operator=(const ProgressRun&) = delete;
    // Shows how far the run is; false when the user cancelled it.
    bool step(qint64 done, qint64 total) {
        progress_.update(Percent(done, total));
        return !progress_.cancelled();
    }

private:
    Progress& progress_;
};

} // namespace

bool ReadTaskScript(Store& store, qint32 taskId, std::vector<Scripting>& items) {
    Table<Scripting> table(store);
    if (ReadTaskItems(table, taskId, items))
        return true;
    warn::FileError(store.dialogs(), Scripting::decl().name, table.error());
    return false;
}

int ExportScript(Store& store, Progress& progress, qint32 taskId, const QString& file) {
    Dialogs& dialogs = store.dialogs();
    std::vector<Scripting> items;
    if (!ReadTaskScript(store, taskId, items))
        return -1;
    const bool separate = EndsWithoutNewline(file);
    // A file the export makes is the user's alone; one the user chose that exists keeps its rights.
    if (!QFileInfo::exists(file))
        EnsurePrivateFile(file);
    // Unbuffered, so that a failed write is seen at the item that failed.
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        warn::FileError(dialogs, file, FileOpenError(f));
        return -1;
    }
    if (separate)
        f.write("\n");
    int written = 0;
    {
        ProgressRun run(progress, kProcessing, QStringLiteral("Exporting Script Items"));
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (const auto record = ItemToRecord(items[i])) {
                const QByteArray line = (FormatExchangeLine(*record) + QLatin1Char('\n')).toUtf8();
                if (f.write(line) == line.size())
                    ++written;
                else
                    dialogs.message(QStringLiteral("Error exporting script item ") + f.errorString(),
                                    QStringLiteral("Error!"), Dialogs::Icon::Exclamation);
            }
            if (!run.step(static_cast<qint64>(i + 1), static_cast<qint64>(items.size())))
                break;
        }
    }
    f.close();
    dialogs.message(QStringLiteral("Process Completed"), kProcessing, Dialogs::Icon::Information);
    return written;
}

int ImportScript(Store& store, Progress& progress, qint32 taskId, const QString& file) {
    // Not in text mode, which would drop the bare carriage returns that end lines.
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        warn::FileError(store.dialogs(), file, FileOpenError(f));
        return -1;
    }
    return ImportScript(store, progress, taskId, f, file, ScriptFileEncoding(file));
}

int ImportScript(Store& store, Progress& progress, qint32 taskId, QIODevice& f, const QString& name,
                 ScriptEncoding encoding) {
    Dialogs& dialogs = store.dialogs();
    Table<Scripting> table(store);
    ProgressRun run(progress, kProcessing, QStringLiteral("Importing Script Items"));
    const qint64 size = f.size();
    qint32 counter = 0;
    int added = 0;
    // The items go in in batches, one transaction each: a commit per item makes a large file
    // take minutes, and one transaction for the whole file would keep the other stations out
    // of the data file while it lasts. No box and no progress step while a batch is open: an
    // error is noted, the batch stored, and then the error shown, so that the items before it
    // are kept and the user is asked with the data file free.
    Transaction tx;
    int inBatch = 0;
    QElapsedTimer batchTime;
    struct Note {
        QString text;
        QString caption;
    };
    std::vector<Note> noted;
    auto endBatch = [&]() {
        if (!tx.active())
            return true;
        if (tx.commit() == Err::None) {
            inBatch = 0;
            return true;
        }
        added -= inBatch;
        inBatch = 0;
        noted.push_back(
            {QStringLiteral("Error adding script item ") + tx.error().text(), QStringLiteral("Error!")});
        return false;
    };
    auto sayNoted = [&]() {
        for (const Note& n : noted)
            dialogs.message(n.text, n.caption, Dialogs::Icon::Exclamation);
        noted.clear();
    };
    bool stopped = false;
    while (const std::optional<QString> line = NextScriptLine(f, encoding)) {
        const ExchangeRecord record = ParseExchangeLine(*line);
        Scripting item;
        item.id = taskId;
        item.sequence = counter;
        if (!RecordToItem(record, item)) {
            noted.push_back({QStringLiteral("Unrecognized script action: ") + Clip(record.type),
                             QStringLiteral("Import Error")});
        } else {
            if (!tx.active()) {
                if (tx.begin({&table}) != Err::None) {
                    sayNoted();
                    warn::TransactionFraming(dialogs, QStringLiteral("Insert"), Scripting::decl().name,
                                             tx.error());
                    stopped = true;
                    break;
                }
                batchTime.start();
            }
            // The number is used up whether or not the item could be added.
            ++counter;
            if (table.add(item) == Err::None) {
                ++added;
                ++inBatch;
            } else {
                noted.push_back({QStringLiteral("Error adding script item ") + table.error().text(),
                                 QStringLiteral("Error!")});
            }
        }
        const bool full =
            tx.active() && (inBatch >= kImportBatchItems || batchTime.elapsed() >= kImportBatchMs);
        if (tx.active() && noted.empty() && !full)
            continue;
        // The batch ends here: stored first, then the boxes and the progress window's look.
        stopped = !endBatch();
        sayNoted();
        if (stopped)
            break;
        if (!run.step(f.pos(), size)) {
            stopped = true;
            break;
        }
    }
    if (!endBatch())
        stopped = true;
    sayNoted();
    if (stopped)
        return added;
    if (ScriptReadFailed(f)) {
        // A file that cannot be read to its end is not taken for a shorter one.
        warn::FileError(dialogs, name, ScriptReadError(f));
        return -1;
    }
    run.step(f.pos(), size);
    return added;
}

int DeleteScript(Store& store, Progress& progress, qint32 taskId) {
    std::vector<Scripting> items;
    ReadTaskScript(store, taskId, items);
    Table<Scripting> table(store);
    ProgressRun run(progress, kProcessing, QStringLiteral("Deleting Script"));
    int deleted = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (table.remove(items[i]) == Err::None)
            ++deleted;
        else
            warn::FileError(store.dialogs(), QStringLiteral("Delete"), table.error());
        run.step(static_cast<qint64>(i + 1), static_cast<qint64>(items.size()));
    }
    return deleted;
}

int CopyScript(Store& store, Progress& progress, qint32 fromTask, qint32 toTask, bool replace) {
    if (fromTask == toTask)
        return 0;
    std::vector<Scripting> items;
    if (!ReadTaskScript(store, fromTask, items) && items.empty())
        return 0;
    if (replace)
        DeleteTaskScript(store, toTask);
    Table<Scripting> table(store);
    ProgressRun run(progress, kProcessing, QStringLiteral("Copying Script"));
    int added = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        Scripting copy = items[i];
        copy.id = toTask;
        copy.meta = RecordMeta{};
        const Err e = table.add(copy);
        if (e == Err::None)
            ++added;
        else if (e != Err::DuplicateKey)
            store.dialogs().message(QStringLiteral("Error adding script record:") + QLatin1Char('\n') +
                                        table.error().text(),
                                    QStringLiteral("Error"), Dialogs::Icon::Exclamation);
        run.step(static_cast<qint64>(i + 1), static_cast<qint64>(items.size()));
    }
    return added;
}

QString PrintedDetail(const Scripting& s) {
    const QString a = Clip(s.action);
    QString d;
    if (a == action::StartProgram)
        d = Clip(s.command) + QLatin1Char(' ') + s.path;
    else if (a == action::SendKeystrokes)
        d = s.keystrokes;
    else if (a == action::DdeOld)
        d = Clip(s.ddeType) + QLatin1Char(' ') + Clip(s.ddeApplicationName) + QLatin1Char(' ') +
            s.ddeApplicationTopic;
    else if (a == action::SetFocus)
        d = s.focusOnWindow;
    else if (a == action::Wait)
        d = s.secondsToWait == 0
                ? s.waitForWindow
                : QString::number(s.secondsToWait) + QStringLiteral(" seconds ") + s.waitForWindow;
    else if (a == action::IfWindow)
        d = s.windowTitleToCheckFor;
    else if (a == action::IfTimeElapsed)
        d = QString::number(s.timeElapsed) + QStringLiteral(" seconds");
    return d.left(80);
}

ScriptReport MakeScriptReport(Store& store, Progress& progress, const Schedule& task) {
    ScriptReport report;
    report.title = QStringLiteral("Script");
    report.description = Clip(task.description);
    std::vector<Scripting> items;
    ReadTaskScript(store, task.id, items);
    ProgressRun run(progress, report.title, QStringLiteral("Generating Report"));
    for (std::size_t i = 0; i < items.size(); ++i) {
        report.lines.push_back({Clip(items[i].action.left(27)), PrintedDetail(items[i])});
        if (!run.step(static_cast<qint64>(i + 1), static_cast<qint64>(items.size())))
            break;
    }
    return report;
}

} // namespace kr
