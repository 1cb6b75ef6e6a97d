#include "script/Runner.h"

#include "platform/Text.h"
#include "script/ScriptFile.h"
#include "script/ScriptItems.h"
#include "store/Warnings.h"

#include <QFile>
#include <QFileInfo>

namespace kr {

bool ScriptServices::windowExists(const QString&, const QString&) {
    return false;
}
bool ScriptServices::activateWindow(const QString&, const QString&) {
    return false;
}
void ScriptServices::setFocus(QueueEntry&) {}
void ScriptServices::closeProgram(QueueEntry&) {}
void ScriptServices::sendKeystrokes(QueueEntry&) {}
qint32 ScriptServices::fileAction(const QString&, const QString&, const QString&) {
    return 0;
}
void ScriptServices::dde(QueueEntry&) {}
qint32 ScriptServices::sendEmail(qint32) {
    return 0;
}
qint32 ScriptServices::emailResult() {
    return 0;
}

namespace {

// Whether now has passed a deadline.
bool Past(const Clock& clock, Date date, Time time) {
    return CompareMoments(clock.today(), clock.now(), date, time) > 0;
}

} // namespace

bool ScriptRunner::stillHead() {
    if (!ctx_.queue.empty() && ctx_.queue.front().serial == current_)
        return true;
    // Another window changed the queue while a message box was open (Stop Running Script,
    // a task run by hand): this step is over and touches nothing more.
    abandoned_ = true;
    return false;
}

bool ScriptRunner::debugMessage(const QString& text, const QString& title) {
    if (ctx_.debug != 0)
        ctx_.dialogs.message(text, title, Dialogs::Icon::Information);
    return stillHead();
}

void ScriptRunner::scriptOver(const QString& ending) {
    const qint32 task = scriptTask_;
    scriptTask_ = 0;
    failedItem_.clear();
    if (task != 0 && ctx_.watcher != nullptr)
        ctx_.watcher->scriptEnded(task, ending);
}

void ScriptRunner::reset() {
    // Emptied before the script reached its end: Stop Running Script.
    if (scriptTask_ != 0)
        scriptOver(QStringLiteral("stopped by the user"));
    keepHead_ = false;
    waiting_ = false;
    waitSerial_ = 0;
    waitStartDate_ = 0;
    waitStartTime_ = 0;
    lastTimeout_ = 0;
    scriptRan_ = false;
    endedScriptRan_ = false;
    emptiedSeen_ = ctx_.queue.emptiedCount();
}

void ScriptRunner::removeHead() {
    if (ctx_.queue.empty())
        return;
    // A wait that leaves the queue, completed or not, is over.
    if (ctx_.queue.front().serial == waitSerial_)
        waiting_ = false;
    ctx_.queue.popFront();
}

void ScriptRunner::runScriptStep() {
    // Emptied since the last step (Stop Running Script, the end of the last script): nothing
    // of the old scripts carries over to the new ones.
    if (ctx_.queue.emptiedCount() != emptiedSeen_)
        reset();
    if (ctx_.queue.empty())
        return;
    if (ctx_.queue.front().serial == 0)
        ctx_.queue.renumber();
    const QueueEntry& head = ctx_.queue.front();
    // The waiting flag belongs to the Wait entry that set it.
    if (waiting_ && head.serial != waitSerial_)
        waiting_ = false;
    const Date today = ctx_.clock.today();
    const Time now = ctx_.clock.now();
    if (today < head.dueDate)
        return;
    if (today > head.dueDate || now > head.dueTime) {
        dispatch();
        showStatus();
    } else if (head.dueTime - now < 100) {
        showStatus();
    }
}

void ScriptRunner::showStatus() {
    if (!ctx_.status)
        return;
    // The end of a task's script is the queue's own marker, never shown as an item; a script
    // is completed only when something of it ran (a task without script items queues its end
    // alone).
    if (ctx_.queue.empty() || Clip(ctx_.queue.front().item.action) == action::End) {
        if (ctx_.queue.empty() ? endedScriptRan_ : scriptRan_)
            ctx_.status(QStringLiteral("Script Completed"));
        return;
    }
    const Scripting& item = ctx_.queue.front().item;
    const QString description = DescribeScriptItem(item);
    ctx_.status(description.isEmpty() ? Clip(item.action)
                                      : Clip(item.action) + QLatin1Char('-') + description);
}

void ScriptRunner::dispatch() {
    keepHead_ = false;
    abandoned_ = false;
    current_ = ctx_.queue.front().serial;
    // A copy: message boxes and the desktop actions let other windows change the queue, so
    // no reference into it is kept across them.
    QueueEntry e = ctx_.queue.front();
    const QString a = Clip(e.item.action);
    if (a == action::End) {
        endedScriptRan_ = scriptRan_;
        scriptRan_ = false;
        // The queue's end marker closes the script under way.
        if (scriptTask_ != 0)
            scriptOver(failedItem_.isEmpty() ? QStringLiteral("Script Completed")
                                             : QStringLiteral("item failed: ") + failedItem_);
    } else {
        scriptRan_ = true;
        if (scriptTask_ != e.item.id) {
            scriptTask_ = e.item.id;
            failedItem_.clear();
        }
    }
    if (a == action::DisplayMessage) {
        const QString text = ctx_.values.substituteValues(e.item.ddeApplicationName);
        const QString title = ctx_.values.substituteValues(e.item.ddeApplicationTopic);
        ctx_.dialogs.message(text, title);
        stillHead();
    } else if (a == action::ExitScript) {
        scriptOver(action::ExitScript);
        ctx_.queue.popFront();
        while (!ctx_.queue.empty() && Clip(ctx_.queue.front().item.action) != action::End)
            removeHead();
        current_ = ctx_.queue.empty() ? 0 : ctx_.queue.front().serial;
    } else if (a == action::CloseProgram) {
        ctx_.services.closeProgram(e);
        stillHead();
    } else if (a == action::StartProgram) {
        startProgram(e);
    } else if (a == action::SendKeystrokes) {
        ctx_.services.sendKeystrokes(e);
        stillHead();
    } else if (a == action::Dde || a == action::DdeOld) {
        ctx_.services.dde(e);
        stillHead();
    } else if (a == action::SetFocus) {
        ctx_.services.setFocus(e);
        stillHead();
    } else if (a == action::FileActions) {
        lastFileResult_ = ctx_.services.fileAction(e.item.ddeType, e.item.command, e.item.path);
        stillHead();
    } else if (a == action::SendEmail) {
        sendEmail(e);
    } else if (a == action::SetValue) {
        ctx_.values.setValue(e.item.path, e.item.command);
    } else if (a == action::IfValue) {
        const bool result =
            ctx_.values.testValue(e.item.command, e.item.windowTitleToCheckFor, e.item.waitForWindow);
        ctx_.log.log(QStringLiteral("Script"),
                     e.item.action.leftJustified(27, QLatin1Char(' '), true) +
                         (result ? QStringLiteral(" *TRUE*") : QStringLiteral(" *FALSE*")));
        if (!result)
            skipToEndIf();
    } else if (a == action::StartScript) {
        if (startScript(e.item.command, e.item.path, e.item.id, current_))
            keepHead_ = true;
    } else if (a == action::Wait) {
        windowWait(e);
    } else if (a == action::WaitForProgramEnd) {
        programWait(e);
    } else if (a == action::IfWindow) {
        windowTest(e);
    } else if (a == action::IfTimeElapsed) {
        timeTest(e);
    } else if (a == action::EndIf || a == action::End) {
        // nothing to do
    } else {
        if (failedItem_.isEmpty())
            failedItem_ = Clip(e.item.action);
        ctx_.dialogs.message(QStringLiteral("Invalid script option:  ") + e.item.action,
                             QStringLiteral("Script Error"), Dialogs::Icon::Exclamation);
        stillHead();
    }

    if (abandoned_) {
        keepHead_ = false;
        return;
    }
    if (keepHead_) {
        keepHead_ = false;
        return;
    }
    if (ctx_.queue.empty())
        return;
    // The entry this step ends on: the item itself, or the end a skip or Exit Script reached.
    if (Clip(ctx_.queue.front().item.action) != action::End)
        ctx_.log.log(QStringLiteral("Script"), Clip(ctx_.queue.front().item.action));
    removeHead();
}

void ScriptRunner::skipToEndIf() {
    if (!debugMessage(QStringLiteral("Removing task items."), QStringLiteral("Test failed")))
        return;
    // The blocks of conditions met on the way are skipped whole; a skip never passes the
    // "**End**" of its own script, however deeply it is nested.
    int depth = 1;
    for (;;) {
        keepHead_ = false;
        removeHead();
        if (ctx_.queue.empty()) {
            keepHead_ = true;
            return;
        }
        current_ = ctx_.queue.front().serial;
        const QString a = Clip(ctx_.queue.front().item.action);
        if (a == action::End)
            return;
        if (a == action::EndIf || a.startsWith(QStringLiteral("End"))) {
            if (--depth == 0)
                return;
            continue;
        }
        if (a.startsWith(QStringLiteral("If "))) {
            if (!debugMessage(QStringLiteral("Removing task items."), QStringLiteral("Test failed")))
                return;
            ++depth;
        }
    }
}

void ScriptRunner::windowTest(const QueueEntry& e) {
    const bool found =
        ctx_.services.windowExists(e.item.windowTitleToCheckFor, e.item.focusOnWindow.left(40));
    if (!stillHead())
        return;
    const bool exists = e.item.windowExistance.mid(1).contains(QStringLiteral("Exists"));
    if ((!found && exists) || (found && !exists)) {
        ctx_.log.log(QStringLiteral("Script"), Clip(e.item.action));
        skipToEndIf();
        return;
    }
    debugMessage(QStringLiteral("Next item will be processed."), QStringLiteral("Test passed"));
}

void ScriptRunner::timeTest(const QueueEntry& e) {
    // Elapsed when now is at or after the deadline set at queuing.
    const bool elapsed =
        CompareMoments(ctx_.clock.today(), ctx_.clock.now(), e.item.secondsToWait, e.item.timeElapsed) >= 0;
    const bool greater = e.item.ifTimeElapsed.contains(QStringLiteral("Greater"));
    if ((elapsed && greater) || (!elapsed && !greater)) {
        debugMessage(QStringLiteral("Next item will be processed."), QStringLiteral("Test passed"));
        return;
    }
    ctx_.log.log(QStringLiteral("Script"), Clip(e.item.action));
    skipToEndIf();
}

void ScriptRunner::windowWait(QueueEntry& e) {
    const bool orMode = Clip(e.item.ddeApplicationName).toLower() == QStringLiteral("or");
    if (orMode && e.item.timeElapsed == 0) {
        e.item.nextTaskId = ctx_.clock.today();
        e.item.timeElapsed = ctx_.clock.now();
        AddSeconds(e.item.nextTaskId, e.item.timeElapsed, e.item.secondsToWait);
        QueueEntry& live = ctx_.queue.front(); // no box since the step began
        live.item.nextTaskId = e.item.nextTaskId;
        live.item.timeElapsed = e.item.timeElapsed;
    }
    if (orMode && Past(ctx_.clock, e.item.nextTaskId, e.item.timeElapsed))
        return; // the deadline ends the wait
    const QString pattern = Clip(e.item.waitForWindow);
    if (pattern.isEmpty())
        return;
    if (!waiting_ || waitSerial_ != current_) {
        waiting_ = true;
        waitSerial_ = current_;
        waitStartDate_ = ctx_.clock.today();
        waitStartTime_ = ctx_.clock.now();
    }
    const QString confirm = e.item.focusOnWindow.left(40);
    if (pattern.startsWith(QLatin1Char('~'))) {
        if (!ctx_.services.windowExists(pattern.mid(1), confirm)) {
            if (stillHead())
                completeWait();
            return;
        }
    } else if (ctx_.services.activateWindow(pattern, confirm)) {
        if (!stillHead())
            return;
        completeWait();
        if (!abandoned_)
            debugMessage(QStringLiteral("Switched to window:") + QLatin1Char('\n') + pattern,
                         QStringLiteral("Debug"));
        return;
    }
    if (stillHead())
        keepHead_ = true;
}

void ScriptRunner::completeWait() {
    if (!waiting_ || keepHead_)
        return;
    if (!debugMessage(QStringLiteral("Completed wait."), QStringLiteral("Debug")))
        return;
    waiting_ = false;
    if (ctx_.queue.size() < 2)
        return;
    // The rest of the queue keeps its spacing behind the wait.
    Date days = ctx_.clock.today() - waitStartDate_;
    Time spent = ctx_.clock.now() - waitStartTime_;
    if (spent < 0) {
        --days;
        spent += kOneDay;
    }
    if (days < 0) {
        days = 0;
        spent = 100;
    }
    auto& entries = ctx_.queue.entries();
    for (std::size_t i = 1; i < entries.size(); ++i) {
        AddToMoment(entries[i].dueDate, entries[i].dueTime, static_cast<qint64>(days) * kOneDay + spent);
    }
}

void ScriptRunner::startProgram(QueueEntry& e) {
    const StartOptions options = StartOptions::unpack(e.item.ddeApplicationName);
    lastTimeout_ = e.item.timeElapsed;
    if (ctx_.settings.translateFilenames) {
        e.item.path = ctx_.values.substituteValues(e.item.path);
        e.item.command = ctx_.values.substituteValues(e.item.command);
    }
    const QString verb = Clip(e.item.ddeApplicationTopic);
    const bool started = ctx_.starter.startProgram(e.item.command, e.item.path, verb, options.windowMode,
                                                   options.priority, options.wait);
    if (!started && failedItem_.isEmpty())
        failedItem_ = Clip(e.item.action) + QLatin1Char('-') + Clip(e.item.command);
    // A failed start is reported in a box of its own.
    if (!stillHead())
        return;
    if (ctx_.debug != 0) {
        const QStringList lines{Clip(e.item.command),
                                Clip(e.item.path),
                                QStringLiteral("0"),
                                QString::number(started ? 1 : 0),
                                QString::number(options.windowMode),
                                QString::number(options.priority),
                                QStringLiteral("0"),
                                verb};
        if (!debugMessage(lines.join(QLatin1Char('\n')), verb.isEmpty()
                                                             ? QStringLiteral("Debug - No Operation Sent")
                                                             : QStringLiteral("Debug - Full Command Sent")))
            return;
    }
    if (!options.wait)
        return;
    if (lastTimeout_ != 0) {
        e.item.nextTaskId = ctx_.clock.today();
        e.item.timeElapsed = ctx_.clock.now();
        AddSeconds(e.item.nextTaskId, e.item.timeElapsed, lastTimeout_);
    }
    e.item.action = action::WaitForProgramEnd;
    // The entry is still the head (checked after the last box): it becomes the program wait.
    QueueEntry& live = ctx_.queue.front();
    live.item.path = e.item.path;
    live.item.command = e.item.command;
    live.item.nextTaskId = e.item.nextTaskId;
    live.item.timeElapsed = e.item.timeElapsed;
    live.item.action = e.item.action;
    keepHead_ = true;
}

void ScriptRunner::programWait(const QueueEntry& e) {
    const int code = ctx_.starter.lastExitCode();
    if (code == -1) {
        ctx_.values.setValue(QStringLiteral("ExitCode"), QStringLiteral("-1"));
        return;
    }
    ctx_.values.setValue(QStringLiteral("ExitCode"), QString::number(code));
    if (code != 259) {
        if (ctx_.watcher != nullptr)
            ctx_.watcher->programWaited(e.item.id, Clip(e.item.command), code);
        return;
    }
    if (lastTimeout_ != 0 && Past(ctx_.clock, e.item.nextTaskId, e.item.timeElapsed))
        return;
    keepHead_ = true;
}

void ScriptRunner::sendEmail(const QueueEntry& e) {
    // The conversation runs on beside the program; the entry stays at the head until it ends.
    const qint32 r = e.sending ? ctx_.services.emailResult() : ctx_.services.sendEmail(e.item.emailId);
    if (!stillHead())
        return;
    const bool pending = r == ScriptServices::kEmailPending;
    ctx_.queue.front().sending = pending;
    if (pending) {
        keepHead_ = true;
        return;
    }
    lastMailResult_ = r;
}

bool ScriptRunner::startScript(const QString& file, const QString& loadType, qint32 taskId, quint64 caller) {
    const QChar type = loadType.trimmed().isEmpty() ? QChar() : loadType.trimmed().at(0).toUpper();
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

    // The file's items; the queue is read again only once the file is read, as boxes and the
    // progress window may have let other windows change it meanwhile.
    std::deque<QueueEntry> loaded;
    QFile f(Clip(file));
    if (!f.open(QIODevice::ReadOnly)) {
        warn::FileError(ctx_.dialogs, Clip(file), FileOpenError(f));
    } else {
        // A window of the step's own: another run's window (an import, a report) stays open.
        const std::unique_ptr<Progress> progress = ctx_.progress.open();
        progress->begin(QStringLiteral("Processing Records"), QStringLiteral("Importing Script Items"));
        const qint64 size = qMax<qint64>(1, f.size());
        const ScriptEncoding encoding = ScriptFileEncoding(Clip(file));
        while (const std::optional<QString> line = NextScriptLine(f, encoding)) {
            const ExchangeRecord record = ParseExchangeLine(*line);
            QueueEntry entry;
            entry.item.id = taskId;
            entry.item.sequence = 0;
            if (!RecordToItem(record, entry.item))
                ctx_.dialogs.message(QStringLiteral("Unrecognized script action: ") + Clip(record.type),
                                     QStringLiteral("Import Error"), Dialogs::Icon::Exclamation);
            if (entry.item.action.left(4) == QStringLiteral("Wait")) {
                if (Clip(entry.item.ddeApplicationName).compare(QStringLiteral("Or"), Qt::CaseInsensitive) ==
                    0)
                    entry.item.timeElapsed = 0;
                else
                    AddSeconds(date, time, entry.item.secondsToWait);
            } else if (!entry.item.action.contains(QStringLiteral("..."))) {
                AddToMoment(date, time, delay);
            }
            CarryDays(date, time);
            entry.dueDate = date;
            entry.dueTime = time;
            if (entry.item.action.left(4) == QStringLiteral("If T")) {
                // The deadline counts from this entry's own start.
                Date deadlineDate = date;
                Time deadlineTime = time;
                AddSeconds(deadlineDate, deadlineTime, entry.item.timeElapsed);
                entry.item.secondsToWait = deadlineDate;
                entry.item.timeElapsed = deadlineTime;
            }
            entry.startHandle = ctx_.starter.lastStartResult();
            loaded.push_back(entry);
            progress->update(static_cast<int>(qMin<qint64>(100, f.pos() * 100 / size)));
        }
        progress->end();
        if (ScriptReadFailed(f))
            warn::FileError(ctx_.dialogs, Clip(file), ScriptReadError(f));
    }

    if (caller != 0 && !stillHead())
        return false; // the script was stopped while its file was read

    const auto& queued = ctx_.queue.entries();
    std::deque<QueueEntry> list;
    if (type == kAppend && queued.size() > 1)
        list.insert(list.end(), queued.begin() + 1, queued.end());
    list.insert(list.end(), loaded.begin(), loaded.end());
    if (type == kInsert && queued.size() > 1) {
        list.insert(list.end(), queued.begin() + 1, queued.end());
    } else if (type == kAppend) {
        QueueEntry end;
        end.item.action = action::End;
        end.dueDate = date;
        end.dueTime = time;
        list.push_back(end);
    }
    waiting_ = false;
    ctx_.queue.replace(std::move(list));
    return true;
}

} // namespace kr
