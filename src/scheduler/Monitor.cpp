#include "scheduler/Monitor.h"
#include "platform/Text.h"

#include "platform/Pictures.h"
#include "scheduler/Exceptions.h"
#include "scheduler/Occurrence.h"
#include "script/ScriptItems.h"
#include "store/Numbering.h"
#include "store/Transaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kr {

namespace {

bool IsMessageTask(const Schedule& t) {
    const QString type = Clip(t.taskType);
    return type == QStringLiteral("Display Message") || type == QStringLiteral("Both");
}

bool IsProgramTask(const Schedule& t) {
    const QString type = Clip(t.taskType);
    return type == QStringLiteral("Run Program") || type == QStringLiteral("Both");
}

QString MomentText(const Schedule& t) {
    return FormatDateAs(t.date, QStringLiteral("d3")) + QLatin1Char(' ') +
           FormatTimeAs(t.time, QStringLiteral("t3"));
}

} // namespace

DueTaskMonitor::DueTaskMonitor(MonitorContext ctx)
    : ctx_(std::move(ctx))
    , tasks_(ctx_.store) {}

void DueTaskMonitor::showNext(const Schedule* t) {
    if (t == nullptr) {
        ctx_.frame.setTitleText(ctx_.frame.normalTitle());
        ctx_.frame.setSchedulerStatus(QString());
        return;
    }
    if (ctx_.frame.iconized())
        ctx_.frame.setTitleText(ctx_.frame.normalTitle() + QStringLiteral(" - ") + Clip(t->description) +
                                QLatin1Char(' ') + MomentText(*t));
    else
        ctx_.frame.setTitleText(ctx_.frame.normalTitle());
    if (ctx_.queue.empty())
        ctx_.frame.setSchedulerStatus(QStringLiteral("Next: ") + Clip(t->description));
    if (!ctx_.settings.noTray)
        ctx_.frame.refreshTrayIcon();
}

void DueTaskMonitor::scanDueTask() {
    // Nothing written since the last read, and the first task not due yet: it still stands.
    if (Unchanged(mark_, scanMark_) && scanKnown_ &&
        (none_ || CompareMoments(ctx_.clock.today(), ctx_.clock.now(), current_.date, current_.time) < 0)) {
        showNext(none_ ? nullptr : &current_);
        return;
    }
    Schedule t;
    tasks_.set(Schedule::KEYDATEENABLED);
    // Watched: what is written back after the task ran must still be the task that ran,
    // whatever another station did meanwhile.
    tasks_.watch();
    ++reads_;
    scanKnown_ = true;
    if (tasks_.next(t) != Err::None || t.disabled != 0) {
        // A failed read is not remembered: the next scan reads again.
        scanKnown_ = tasks_.error().code == Err::NoMoreRecords || t.disabled != 0;
        none_ = true;
        showNext(nullptr);
        return;
    }
    none_ = false;
    showNext(&t);
    current_ = t;
    if (CompareMoments(ctx_.clock.today(), ctx_.clock.now(), t.date, t.time) >= 0) {
        processDueTask(t);
        ctx_.state.listeners.post();
    }
}

void DueTaskMonitor::soundAlarm(const Schedule& task) {
    if (task.alarm == 0)
        return;
    if (Clip(task.alarmFile).toUpper() == QStringLiteral("BEEP"))
        ctx_.sound.beep();
    else
        ctx_.sound.play(Clip(task.alarmFile));
}

bool DueTaskMonitor::askToRun(const QString& caption, const QString& question) {
    return ctx_.dialogs.message(question, caption, Dialogs::Icon::Exclamation, Dialogs::Yes | Dialogs::No,
                                Dialogs::No) == Dialogs::Yes;
}

void DueTaskMonitor::showMessage(const Schedule& task, bool withReply, bool captioned) {
    if (ctx_.messages.openCount() >= kMaxMessageWindows) {
        ctx_.dialogs.message(Clip(task.message), captioned ? task.description : QString());
        return;
    }
    MessageInputs in;
    in.title = task.description;
    in.text = task.message;
    in.sound = task.alarm != 0 ? task.alarmFile : QString();
    if (withReply && task.path.left(9) == QStringLiteral("Reply to:"))
        in.replyAddress = task.path.mid(9, 240);
    ctx_.messages.show(in);
}

void DueTaskMonitor::processDueTask(Schedule& t) {
    const qint32 id = t.id;
    bool skip = false;
    const Date today = ctx_.clock.today();
    const Time now = ctx_.clock.now();
    const auto key = std::make_tuple(t.id, t.date, t.time);
    const auto earlier = unsaved_.find(key);
    if (earlier != unsaved_.end()) {
        // It ran already: this time it is only advanced and recorded.
        skip = earlier->second.skipped;
        t.lastRunDate = earlier->second.lastRunDate;
        t.lastRunTime = earlier->second.lastRunTime;
    } else if (t.skipNextTime != 0) {
        record(t, run::kDue, run::kSkipped, QStringLiteral("skipped by its flags"));
    } else {
        ctx_.frame.restoreForTask(t);
        soundAlarm(t);

        const QString description = Clip(t.description);
        if (CompareMoments(today, now - 60000, t.date, t.time) > 0 && t.skipIfMissed != 0) {
            ctx_.log.log(QStringLiteral("Overdue task skipped"), t.description);
            record(t, run::kDue, run::kSkipped, QStringLiteral("Overdue task skipped"));
            skip = true;
        } else if (today > t.date && t.warn != 0 && Clip(t.taskType) != QStringLiteral("Display Message")) {
            if (!askToRun(QStringLiteral("Missed Task"),
                          description + QStringLiteral(" was not run.  Run it now?"))) {
                ctx_.log.log(QStringLiteral("Missed task skipped"), t.description);
                record(t, run::kDue, run::kSkipped, QStringLiteral("Missed task skipped"));
                skip = true;
            }
        } else if (t.userSkip != 0) {
            if (!askToRun(QStringLiteral("Confirm Task"),
                          description + QStringLiteral(" is due to run.  Run it now?"))) {
                ctx_.log.log(QStringLiteral("Task skipped"), t.description);
                record(t, run::kDue, run::kSkipped, QStringLiteral("Task skipped"));
                skip = true;
            }
        }

        t.lastRunDate = today;
        t.lastRunTime = now;

        if (!skip) {
            const bool program = IsProgramTask(t) && t.skipNextTime == 0;
            record(t, run::kDue, program ? run::kStarted : run::kMessageOnly);
            if (IsMessageTask(t))
                showMessage(t, true, true);
            if (program) {
                ctx_.launcher.launchTask(t.id, t.command, t.path);
                if (runs_ != nullptr)
                    runs_->launchDone();
                if (!ctx_.queue.empty())
                    ctx_.frame.setTimerInterval(50);
            }
            if (started_)
                started_(t);
        }
    }

    // Advance, with the warning kept at its distance before the task.
    const Date savedDate = t.date;
    const Time savedTime = t.time;
    const Date savedWarnDate = t.advanceWarnDate;
    const Time savedWarnTime = t.advanceWarnTime;
    bool relative = false;
    if (t.advanceWarnDate != 0) {
        t.advanceWarnDate -= t.date;
        relative = true;
    }
    if (t.advanceWarnTime != 0) {
        t.advanceWarnTime -= t.time;
        relative = true;
    }
    const bool further = today > t.date && t.skipIfMissed != 0
                             ? AdvanceOccurrence(t, today, 0, ctx_.dialogs)
                             : AdvanceOccurrence(t, today, now, ctx_.dialogs);
    if (!further) {
        // Nothing follows before the last date the program handles: the task ends like a
        // one-time task that ran.
        ctx_.log.log(QStringLiteral("No further occurrence"), t.description);
        t.completed = 1;
    }

    const Unsaved ran{skip, t.lastRunDate, t.lastRunTime};
    // The error is copied: finding out what happened reads the table again.
    auto notWritten = [&](StoreError e) { writeFailed(t, e, key, ran); };
    auto restoreOccurrence = [&](Schedule& r) {
        r.date = savedDate;
        r.time = savedTime;
        r.advanceWarnDate = savedWarnDate;
        r.advanceWarnTime = savedWarnTime;
    };

    if (t.completed != 0) {
        if (t.noHistory != 0) {
            if (const StoreError e = removeUnchanged(t); !e.ok()) {
                notWritten(e);
                return;
            }
            unsaved_.erase(key);
            DeleteTaskScript(ctx_.store, id);
            return;
        }
        // The one-time task becomes its own history entry.
        t.disabled = 1;
        t.completed = 1;
        restoreOccurrence(t);
        if (tasks_.put(t) != Err::None) {
            notWritten(tasks_.error());
            return;
        }
        unsaved_.erase(key);
        if (!ctx_.settings.saveScripts)
            DeleteTaskScript(ctx_.store, id);
        return;
    }

    t.skipNextTime = 0;
    if (relative) {
        t.advanceWarnDate += t.date;
        t.advanceWarnTime += t.time;
    }
    t.advanceWarned = 0;
    StoreError exceptionsFailed;
    const bool written = ApplyExceptions(ctx_.store, t, false, ctx_.clock, ctx_.dialogs, &exceptionsFailed);
    if (!exceptionsFailed.ok()) {
        // Neither the skip nor its one-time copy was written: the occurrence is not lost.
        notWritten(exceptionsFailed);
        return;
    }
    if (!written && tasks_.put(t) != Err::None) {
        notWritten(tasks_.error());
        return;
    }
    unsaved_.erase(key);

    if (t.noHistory != 0)
        return;
    Schedule copy = t;
    copy.disabled = 1;
    copy.completed = 1;
    copy.advanceWarned = 1;
    restoreOccurrence(copy);
    if (skip)
        copy.description = (QStringLiteral("(Skipped) ") + copy.description).left(40);
    if (AddTaskCopy(tasks_, copy) == Err::None && ctx_.settings.saveScripts && copy.id != id)
        CopyTaskScript(ctx_.store, id, copy.id, true);
}

StoreError DueTaskMonitor::removeUnchanged(const Schedule& t) {
    // A delete goes by the record's place alone: the record there must be the one that ran.
    Transaction tx;
    if (tx.begin({&tasks_}) != Err::None)
        return tx.error();
    Schedule stored;
    stored.id = t.id;
    const Err e = tasks_.get(Schedule::KEYID, stored);
    if (e == Err::RecordNotFound || (e == Err::None && stored.meta.rowid != t.meta.rowid))
        return StoreError{Err::NoMoreRecords, {}, 0};
    if (e != Err::None)
        return tasks_.error();
    if (stored.meta.version != t.meta.version)
        return StoreError{Err::RecordChanged, {}, 0};
    if (tasks_.remove(stored) != Err::None)
        return tasks_.error();
    if (tx.commit() != Err::None)
        return tx.error();
    return {};
}

DueTaskMonitor::Elsewhere DueTaskMonitor::happenedElsewhere(const Schedule& t, StoreError e) {
    if (e.code != Err::NoMoreRecords && e.code != Err::RecordChanged)
        return Elsewhere::Nothing;
    Schedule stored;
    stored.id = t.id;
    const Err found = tasks_.get(Schedule::KEYID, stored);
    if (found == Err::RecordNotFound || (found == Err::None && stored.meta.rowid != t.meta.rowid)) {
        // Deleted by another station (or another window) while it ran: a task that is gone
        // is gone.
        ctx_.log.log(QStringLiteral("Task deleted meanwhile"), t.description);
        return Elsewhere::Deleted;
    }
    if (found == Err::None && e.code == Err::RecordChanged) {
        // Changed elsewhere while it ran: that version stands, and the next scan reads it.
        ctx_.log.log(QStringLiteral("Task changed meanwhile"), t.description);
        return Elsewhere::Changed;
    }
    return Elsewhere::Nothing;
}

void DueTaskMonitor::writeFailed(const Schedule& t, StoreError e, const std::tuple<qint32, Date, Time>& key,
                                 const Unsaved& ran) {
    switch (happenedElsewhere(t, e)) {
    case Elsewhere::Deleted:
        unsaved_.erase(key);
        return;
    case Elsewhere::Changed:
        // Should the other version still hold the occurrence that ran, it is only advanced.
        unsaved_[key] = ran;
        return;
    case Elsewhere::Nothing:
        break;
    }
    unsaved_[key] = ran;
    advanceNotWritten(t, e);
}

void DueTaskMonitor::checkAdvanceWarnings() {
    const Date today = ctx_.clock.today();
    const Time now = ctx_.clock.now();
    auto reached = [&](Date date, Time time) { return today > date || (today == date && now > time); };
    // Nothing written since the last read, and the next warning's moment not come: it stands.
    if (Unchanged(mark_, warnMark_) && warnKnown_ && (warnNone_ || !reached(warnDate_, warnTime_)))
        return;
    Schedule t;
    tasks_.set(Schedule::KEYADVANCED);
    tasks_.watch();
    ++reads_;
    const Err read = tasks_.next(t);
    warnKnown_ = read == Err::None || read == Err::NoMoreRecords;
    warnNone_ = read != Err::None || t.advanceWarned != 0 || Clip(t.scheduleType).isEmpty();
    warnDate_ = t.advanceWarnDate;
    warnTime_ = t.advanceWarnTime;
    if (warnNone_)
        return;
    if (!reached(t.advanceWarnDate, t.advanceWarnTime))
        return;
    if (t.skipNextTime == 0) {
        ctx_.log.log(QStringLiteral("Advanced Warning"), t.description);
        const QString type = Clip(t.taskType);
        QString text = MomentText(t) + QLatin1Char('\n');
        if (type == QStringLiteral("Display Message"))
            text += t.message;
        else if (type == QStringLiteral("Run Program"))
            text += QStringLiteral("Command:  ") + t.command;
        else if (type == QStringLiteral("Both") || !Clip(t.command).isEmpty())
            text +=
                LeftTrimmed(Clip(t.message) + QLatin1Char('\n') + QStringLiteral("Command: ") + t.command);
        else
            text += LeftTrimmed(Clip(t.message));
        ctx_.dialogs.message(text, QStringLiteral("Advanced Warning"), Dialogs::Icon::Information);
    }
    t.advanceWarned = 1;
    if (tasks_.put(t) == Err::None)
        return;
    const StoreError e = tasks_.error(); // a copy: the table is read again below
    if (e.code == Err::RecordChanged) {
        // Changed elsewhere while the warning showed: marked warned there too, unless the
        // change moved the warning (then it comes again at its new moment).
        Schedule stored;
        stored.id = t.id;
        tasks_.watch();
        if (tasks_.get(Schedule::KEYID, stored) == Err::None && stored.meta.rowid == t.meta.rowid &&
            stored.advanceWarnDate == t.advanceWarnDate && stored.advanceWarnTime == t.advanceWarnTime &&
            stored.date == t.date && stored.time == t.time) {
            stored.advanceWarned = 1;
            if (tasks_.put(stored) == Err::None)
                return;
            const StoreError again = tasks_.error();
            if (happenedElsewhere(stored, again) == Elsewhere::Nothing)
                advanceNotWritten(stored, again);
            return;
        }
    }
    if (happenedElsewhere(t, e) == Elsewhere::Nothing)
        advanceNotWritten(t, e);
}

void DueTaskMonitor::advanceNotWritten(const Schedule& t, const StoreError& e) {
    // The task would come due again on every tick: nothing more runs until the user turns
    // the scheduler back on.
    ctx_.state.schedulerActive = false;
    ctx_.state.inactiveReason = kNotWrittenReason;
    ctx_.log.log(QStringLiteral("Scheduler stopped"), t.description);
    ctx_.dialogs.message(Clip(t.description) + QStringLiteral(" could not be saved with its next run:\n") +
                             e.describe() +
                             QStringLiteral("\n\nThe scheduler is now inactive so that no task runs twice. "
                                            "Once the data file can be written again, turn it back on in "
                                            "Setup (\"Scheduler active\")."),
                         QStringLiteral("Error!"), Dialogs::Icon::Exclamation);
}

void DueTaskMonitor::record(const Schedule& task, const QString& trigger, const QString& result,
                            const QString& reason) {
    if (runs_ != nullptr)
        runs_->occurrence(task, trigger, result, reason);
}

bool DueTaskMonitor::removeOldRuns(Date today) {
    if (!runHistory_) {
        using Pass = RemovalPass<Runs>;
        const qint32 expires = ctx_.settings.historyExpires;
        runHistory_ = std::make_unique<Pass>(
            ctx_.store, Runs::KEYDUE,
            [today, expires](const Runs& r) {
                // In due order: once one is too young, all after it are.
                return r.dueDate + expires > today ? Pass::Verdict::Stop : Pass::Verdict::Remove;
            },
            Pass::Before{}, removalLimits_);
        runHistory_->setGone([this](const Runs& r) {
            // Only once the record is gone for good: a slice that failed keeps both.
            if (!Clip(r.output).isEmpty() && !outputFolder_.isEmpty())
                QFile::remove(QDir(outputFolder_).filePath(QFileInfo(Clip(r.output)).fileName()));
        });
    }
    const bool more = runHistory_->step();
    if (more)
        return false;
    if (!runHistory_->error().ok())
        ctx_.dialogs.message(runHistory_->error().text() + QStringLiteral(" error while removing history"),
                             QStringLiteral("Cannot Remove History"), Dialogs::Icon::Exclamation);
    runHistory_.reset();
    return true;
}

bool DueTaskMonitor::removeOldHistory() {
    const Date today = ctx_.clock.today();
    if (runHistory_) {
        if (!removeOldRuns(historyCheckDate_))
            return false;
        ctx_.log.log(QStringLiteral("History"), QStringLiteral("Checked for tasks needing removal"));
        return true;
    }
    if (!history_) {
        if (ctx_.settings.historyExpires == 0 || historyCheckDate_ == today)
            return false;
        historyCheckDate_ = today;
        using Pass = RemovalPass<Schedule>;
        history_ = std::make_unique<Pass>(
            ctx_.store, Schedule::KEYDATEENABLED,
            [this, today](const Schedule& t) {
                // The key orders the disabled tasks by date: once one is too young, all after it are.
                if (t.date + ctx_.settings.historyExpires > today)
                    return Pass::Verdict::Stop;
                if (t.completed == 0 && !ctx_.settings.removeUncompleted)
                    return Pass::Verdict::Keep;
                return Pass::Verdict::Remove;
            },
            [this](const Schedule& t) {
                if (ctx_.settings.saveScripts)
                    DeleteTaskScript(ctx_.store, t.id);
                return StoreError{};
            },
            removalLimits_);
        Schedule first;
        first.disabled = 1;
        history_->startFrom(Schedule::KEYDATEENABLED, first);
    }
    // One slice a tick: the frame answers between them, and other stations wait at most a
    // slice for the file.
    const bool more = history_->step();
    QStringList told;
    for (const StoreError& e : history_->failures()) {
        if (told.contains(e.text()))
            continue; // one message for a kind of failure in a slice
        told << e.text();
        ctx_.dialogs.message(e.text() + QStringLiteral(" error while removing history"),
                             QStringLiteral("Cannot Remove History"), Dialogs::Icon::Exclamation);
    }
    if (more)
        return false;
    if (!history_->error().ok())
        ctx_.dialogs.message(history_->error().text() + QStringLiteral(" error while removing history"),
                             QStringLiteral("Cannot Remove History"), Dialogs::Icon::Exclamation);
    history_.reset();
    if (runs_ != nullptr && !removeOldRuns(today))
        return false;
    ctx_.log.log(QStringLiteral("History"), QStringLiteral("Checked for tasks needing removal"));
    return true;
}

void DueTaskMonitor::runTaskNow(const Schedule& task) {
    soundAlarm(task);
    const Date today = ctx_.clock.today();
    const QString description = Clip(task.description);
    if (today > task.date && task.warn != 0 && Clip(task.taskType) != QStringLiteral("Display Message")) {
        if (!askToRun(QStringLiteral("Missed Task"),
                      description + QStringLiteral(" was not run.  Run it now?"))) {
            ctx_.log.log(QStringLiteral("Missed task skipped"), task.description);
            record(task, run::kRunNow, run::kSkipped, QStringLiteral("Missed task skipped"));
            return;
        }
    } else if (task.userSkip != 0) {
        if (!askToRun(QStringLiteral("Confirm Task"),
                      description + QStringLiteral(" is due to run.  Run it now?"))) {
            ctx_.log.log(QStringLiteral("Task skipped"), task.description);
            record(task, run::kRunNow, run::kSkipped, QStringLiteral("Task skipped"));
            return;
        }
    }
    const bool program = IsProgramTask(task) && task.skipNextTime == 0;
    record(task, run::kRunNow, program ? run::kStarted : run::kMessageOnly);
    if (IsMessageTask(task))
        showMessage(task, false, false);
    if (program) {
        ctx_.launcher.launchTask(task.id, task.command, task.path);
        if (runs_ != nullptr)
            runs_->launchDone();
    }
    if (started_)
        started_(task);
}

} // namespace kr
