#include "scheduler/Launcher.h"
#include "platform/Text.h"

#include "store/Table.h"
#include "store/Tables.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace kr {

namespace {

// Puts the current directory back whichever way the launch ends.
class DirectoryGuard {
public:
    DirectoryGuard()
        : saved_(QDir::currentPath()) {}
    ~DirectoryGuard() { QDir::setCurrent(saved_); }
    DirectoryGuard(const DirectoryGuard&) = delete;
    DirectoryGuard& operator=(const DirectoryGuard&) = delete;

private:
    QString saved_;
};

} // namespace

QString CompanionProgram(const QString& name) {
    const QString n = name.trimmed().toUpper();
    QString program;
    if (n == QStringLiteral("DODAR.EXE") || n == QStringLiteral("DODAR"))
        program = QStringLiteral("kelvray-notify");
    else if (n == QStringLiteral("KILLPROC.EXE") || n == QStringLiteral("KILLPROC"))
        program = QStringLiteral("kelvray-killproc");
    else
        return name;
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(program);
    if (QFileInfo(beside).isExecutable())
        return beside;
    // Built but not installed: the companions live in their own build folder.
    const QString built =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../companions/") + program);
    return QFileInfo(built).isExecutable() ? QFileInfo(built).absoluteFilePath() : program;
}

int Launcher::shellExecute(const QString& file, const QString& parameters, const QString& directory,
                           const QString& verb) {
    lastStartResult_ = ctx_.processes.shellExecute(file, parameters, directory, verb);
    return lastStartResult_;
}

int Launcher::shellStart(const QString& command, const QString& directory, const QString& verb) {
    const QString file = Clip(command);
    const QString dir = Clip(directory);
    int result = shellExecute(file, QString(), dir, verb);
    if (result > 32)
        return result;

    // Split into program and parameters and try again.
    QString program;
    QString parameters;
    bool split = false;
    if (file.startsWith(QLatin1Char('"'))) {
        const QString rest = file.mid(1);
        const qsizetype quote = rest.indexOf(QLatin1Char('"'));
        if (quote >= 0) {
            program = rest.left(quote);
            parameters = rest.mid(quote + 1).trimmed();
            split = true;
        } else {
            program = rest;
        }
    } else if (const qsizetype blank = file.indexOf(QLatin1Char(' ')); blank >= 0) {
        program = file.left(blank);
        parameters = file.mid(blank + 1).trimmed();
        split = true;
    } else {
        return result;
    }
    result = shellExecute(program, parameters, dir, verb);
    if (result > 32 || !split)
        return result;

    // Every blank from the end towards the beginning divides program and parameters.
    for (qsizetype i = file.size() - 2; i >= 2; --i) {
        if (file.at(i) != QLatin1Char(' '))
            continue;
        result = shellExecute(Clip(file.left(i)), file.mid(i + 1).trimmed(), dir, verb);
        if (result > 32)
            return result;
    }
    return result;
}

void Launcher::launchProgram(qint32 taskId, const QString& command, const QString& directory,
                             const QString& verb, int windowMode, bool useDefaultMode, bool verbIsOpen,
                             bool useNormalPriority, int priority, int* processResult) {
    const int mode = useDefaultMode ? 1 : windowMode;
    DirectoryGuard guard;
    ctx_.log.log(QStringLiteral("Run Program"), command);

    if (command.left(7).toUpper() == QStringLiteral("KRCHAIN")) {
        const QStringList words = SplitCommandLine(Clip(command));
        if (!words.isEmpty())
            LinuxProcesses::startDetached(words.first(), words.mid(1));
        ctx_.frame.closeDown();
        return;
    }
    if (!Clip(directory).isEmpty())
        QDir::setCurrent(Clip(directory));

    const QString theVerb = verbIsOpen ? QStringLiteral("open") : verb.trimmed().toLower();
    if (Clip(command).toUpper() != QStringLiteral("N/A")) {
        lastCommand_ = Clip(command).left(255);
        if (processResult != nullptr) {
            const Priority p = useNormalPriority || (priority != 1 && priority != 3) ? Priority::Normal
                               : priority == 1                                       ? Priority::Low
                                                                                     : Priority::High;
            if (mode == 0 || mode == 1 || mode == 2 || mode == 3 || mode == 7 || mode == 8)
                lastWindowMode_ = mode;
            lastProcess_ = ctx_.processes.startProcess(lastCommand_, p);
            *processResult = lastProcess_ > 0 ? 1 : 0;
            if (lastProcess_ <= 0) {
                shellStart(command, directory, theVerb);
                return;
            }
        } else {
            const int result = shellStart(command, directory, theVerb);
            if (result <= 32) {
                ctx_.dialogs.message(QStringLiteral("Could not start ") + Clip(command) + QLatin1Char('.'),
                                     QStringLiteral("Error Code ") + QString::number(result),
                                     Dialogs::Icon::Exclamation);
                return;
            }
        }
    }
    if (taskId != 0)
        queueTaskScript(taskId);
}

void Launcher::queueTaskScript(qint32 taskId) {
    DirectoryGuard guard;
    Table<Scripting> items(ctx_.store);
    const Time delay = ctx_.settings.scriptingDelay;
    const Date today = ctx_.clock.today();
    Date date = today;
    Time time = ctx_.clock.now() + 2 * delay;
    if (!ctx_.queue.empty()) {
        const QueueEntry& last = ctx_.queue.entries().back();
        if (time < last.dueTime && today == last.dueDate) {
            time = last.dueTime + delay;
        } else if (today < last.dueDate) {
            date = last.dueDate;
            time = last.dueTime + delay;
        }
    }
    const Date baseDate = date;
    const Time baseTime = time;

    Scripting item;
    item.id = taskId;
    item.sequence = std::numeric_limits<qint32>::min();
    items.set(Scripting::KEYID, item);
    for (;;) {
        const Err e = items.next(item);
        if (e == Err::NoMoreRecords || (e == Err::None && item.id != taskId))
            break;
        if (e != Err::None) {
            ctx_.dialogs.message(QStringLiteral("Error executing script: ") + items.error().text(),
                                 QString());
            break;
        }
        if (item.action.left(4) == QStringLiteral("Wait")) {
            if (Clip(item.ddeApplicationName).compare(QStringLiteral("Or"), Qt::CaseInsensitive) == 0)
                item.timeElapsed = 0;
            else
                AddSeconds(date, time, item.secondsToWait);
        } else if (!item.action.contains(QStringLiteral("..."))) {
            AddToMoment(date, time, delay);
        }
        CarryDays(date, time);
        QueueEntry entry;
        entry.item = item;
        entry.item.meta = {};
        entry.dueDate = date;
        entry.dueTime = time;
        if (entry.item.action.left(4) == QStringLiteral("If T")) {
            // The limit in seconds becomes a moment counted from the script's start.
            Date deadlineDate = baseDate;
            Time deadlineTime = baseTime;
            AddSeconds(deadlineDate, deadlineTime, entry.item.timeElapsed);
            entry.item.secondsToWait = deadlineDate;
            entry.item.timeElapsed = deadlineTime;
        }
        entry.startHandle = lastStartResult_;
        ctx_.queue.append(entry);
    }
    QueueEntry end;
    end.item.action = kEndMarker;
    end.dueDate = date;
    end.dueTime = time;
    ctx_.queue.append(end);
}

bool Launcher::startProgram(const QString& command, const QString& folder, const QString& verb,
                            int windowMode, int priority, bool wait) {
    Q_UNUSED(wait);
    int started = 0;
    launchProgram(0, command, folder, verb, windowMode, false, Clip(verb).isEmpty(), false, priority,
                  &started);
    return started == 1;
}

int Launcher::lastExitCode() {
    return lastProcess_ > 0 ? ctx_.processes.exitCode(lastProcess_) : -1;
}

} // namespace kr
