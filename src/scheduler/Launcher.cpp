#include "scheduler/Launcher.h"
#include "platform/Text.h"

#include "store/Table.h"
#include "store/Tables.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>

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

QString StartFailureReason(int failure) {
    switch (failure) {
    case 0:
        return QStringLiteral("out of resources");
    case shell::kFileNotFound:
        return QStringLiteral("file not found");
    case shell::kPathNotFound:
        return QStringLiteral("folder not found");
    case shell::kAccessDenied:
        return QStringLiteral("not allowed to run");
    case shell::kOutOfMemory:
        return QStringLiteral("out of memory");
    case shell::kNoAssociation:
        return QStringLiteral("no program to open it with");
    default:
        return QStringLiteral("error %1").arg(failure);
    }
}

int Launcher::shellExecute(const QString& file, const QString& parameters, const QString& directory,
                           const QString& verb, ChildOutput* output) {
    lastStartResult_ = output != nullptr
                           ? ctx_.processes.shellExecuteWith(file, parameters, directory, verb, *output)
                           : ctx_.processes.shellExecute(file, parameters, directory, verb);
    return lastStartResult_;
}

int Launcher::shellStart(const QString& command, const QString& directory, const QString& verb,
                         ChildOutput* output) {
    const QString file = Clip(command);
    const QString dir = Clip(directory);
    int result = shellExecute(file, QString(), dir, verb, output);
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
    result = shellExecute(program, parameters, dir, verb, output);
    if (result > 32 || !split)
        return result;

    // Every blank from the end towards the beginning divides program and parameters.
    for (qsizetype i = file.size() - 2; i >= 2; --i) {
        if (file.at(i) != QLatin1Char(' '))
            continue;
        result = shellExecute(Clip(file.left(i)), file.mid(i + 1).trimmed(), dir, verb, output);
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
        RunStarted run;
        std::unique_ptr<RunCapture> capture;
        if (sink_ != nullptr) {
            dropEndedCaptures();
            run.run = nextRun_++;
            run.taskId = taskId;
            run.asProcess = processResult != nullptr;
            run.command = Clip(command);
            run.startedUtc = QDateTime::currentDateTimeUtc();
            capture = prepareCapture(run);
        }
        ChildOutput* output = capture ? &capture->childOutput() : nullptr;
        if (processResult != nullptr) {
            const Priority p = useNormalPriority || (priority != 1 && priority != 3) ? Priority::Normal
                               : priority == 1                                       ? Priority::Low
                                                                                     : Priority::High;
            if (mode == 0 || mode == 1 || mode == 2 || mode == 3 || mode == 7 || mode == 8)
                lastWindowMode_ = mode;
            lastProcess_ = output != nullptr ? ctx_.processes.startProcessWith(lastCommand_, p, *output)
                                             : ctx_.processes.startProcess(lastCommand_, p);
            *processResult = lastProcess_ > 0 ? 1 : 0;
            if (lastProcess_ <= 0) {
                const int result = shellStart(command, directory, theVerb, output);
                tellStart(run, std::move(capture), result > 32, result);
                return;
            }
            tellStart(run, std::move(capture), true, 0);
        } else {
            const int result = shellStart(command, directory, theVerb, output);
            tellStart(run, std::move(capture), result > 32, result);
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

void Launcher::captureRuns(const QString& folder, RunSink* sink) {
    runsFolder_ = folder;
    sink_ = sink;
    dropEndedCaptures();
}

std::size_t Launcher::runsUnderWay() const {
    return static_cast<std::size_t>(std::count_if(captures_.begin(), captures_.end(),
                                                  [](const Capture& c) { return c.capture->running(); }));
}

std::unique_ptr<RunCapture> Launcher::prepareCapture(RunStarted& run) {
    // Unique across the stations that may share the data folder, and sorted by start.
    const QString name = QStringLiteral("task%1-%2-%3.out")
                             .arg(run.taskId)
                             .arg(run.startedUtc.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")))
                             .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
    auto capture = std::make_unique<RunCapture>(QDir(runsFolder_).filePath(name));
    QString error;
    if (!capture->prepare(&error)) {
        run.captureError = error;
        return nullptr;
    }
    return capture;
}

void Launcher::tellStart(RunStarted& run, std::unique_ptr<RunCapture> capture, bool started, int failure) {
    if (sink_ == nullptr)
        return;
    if (capture && capture->childOutput().taken) {
        run.kind = RunStarted::Kind::Process;
        run.pid = capture->childOutput().pid;
        run.outputPath = capture->path();
        run.startedUtc = capture->startedUtc();
        RunCapture* raw = capture.get();
        const std::uint64_t number = run.run;
        const qint32 taskId = run.taskId;
        raw->begin(run.pid, [this, number, taskId, raw] { tellEnd(number, taskId, *raw); });
        captures_.push_back({number, taskId, std::move(capture)});
    } else {
        // Handed to the desktop's opener, or not started: nothing of it is kept.
        if (capture)
            capture->cancel();
        if (started && run.captureError.isEmpty()) {
            run.kind = RunStarted::Kind::Desktop;
        } else if (started) {
            run.kind = run.asProcess ? RunStarted::Kind::Process : RunStarted::Kind::Desktop;
            run.pid = run.asProcess ? lastProcess_ : 0;
        } else {
            run.kind = RunStarted::Kind::Failed;
            run.failure = failure;
            run.failureText = QStringLiteral("Could not start ") + run.command + QLatin1Char('.');
            run.failureReason = StartFailureReason(failure);
        }
    }
    sink_->runStarted(run);
}

void Launcher::tellEnd(std::uint64_t run, qint32 taskId, const RunCapture& capture) {
    if (sink_ == nullptr)
        return;
    RunEnded ended;
    ended.run = run;
    ended.taskId = taskId;
    ended.pid = capture.pid();
    ended.how = capture.end().how;
    ended.exitStatus = capture.end().exitStatus;
    ended.signal = capture.end().signal;
    ended.startedUtc = capture.startedUtc();
    ended.endedUtc = capture.endedUtc();
    ended.durationNs = capture.durationNs();
    ended.outputPath = capture.hasFile() ? capture.path() : QString();
    ended.bytesKept = capture.bytesKept();
    ended.bytesLeftOut = capture.bytesLeftOut();
    ended.writeError = capture.writeError();
    // The sink may start another program from here: nothing of the capture is used after it.
    sink_->runEnded(ended);
}

void Launcher::dropEndedCaptures() {
    std::erase_if(captures_, [](const Capture& c) { return c.capture->finished(); });
}

int Launcher::lastExitCode() {
    return lastProcess_ > 0 ? ctx_.processes.exitCode(lastProcess_) : -1;
}

} // namespace kr
