#pragma once

// The due-task monitor: on every tick the earliest enabled task is run, asked about or
// skipped, advanced and copied to history; advance warnings come due; old history goes once a
// day. The schedule list runs tasks at once through it too.

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Sound.h"
#include "scheduler/ChangeMark.h"
#include "scheduler/FrameView.h"
#include "scheduler/Launcher.h"
#include "scheduler/MessageDisplay.h"
#include "scheduler/ProgramState.h"
#include "scheduler/RunRecorder.h"
#include "script/ActiveScriptQueue.h"
#include "store/EventLog.h"
#include "store/RemovalPass.h"
#include "store/Settings.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"

#include <functional>
#include <map>
#include <memory>
#include <tuple>

namespace kr {

struct MonitorContext {
    Store& store;
    const Settings& settings;
    const Clock& clock;
    Dialogs& dialogs;
    EventLog& log;
    ActiveScriptQueue& queue;
    ProgramState& state;
    FrameView& frame;
    Sound& sound;
    MessageDisplay& messages;
    Launcher& launcher;
};

class DueTaskMonitor {
public:
    // Why the scheduler stopped itself when a task could not be saved.
    static inline const QString kNotWrittenReason = QStringLiteral("task changes cannot be saved");
    // More message windows than this and a task's message comes as a plain box.
    static constexpr int kMaxMessageWindows = 60;

    explicit DueTaskMonitor(MonitorContext ctx);

    void scanDueTask();
    void checkAdvanceWarnings();
    // True when today's removal pass has run to its end. A long pass is done a slice per call
    // (per tick); the calls in between answer false.
    bool removeOldHistory();
    // How large a slice of the history removal is (smaller ones for the tests).
    void setRemovalLimits(const RemovalLimits& limits) { removalLimits_ = limits; }
    // Runs a task at once, as the schedule list asks: not advanced, not written.
    void runTaskNow(const Schedule& task);
    // Every occurrence handled and every Run Now leave a record there; their records go with
    // the history, their output files (in `outputFolder`) with them.
    void setRunRecorder(RunRecorder* runs, QString outputFolder) {
        runs_ = runs;
        outputFolder_ = std::move(outputFolder);
    }
    // While the mark stands still the scans do not read the schedule again: the first task
    // and the next warning read last stand until their moment comes.
    void setChangeMark(ChangeMark mark) { mark_ = std::move(mark); }
    // How often the scans read the schedule (for the measurements and the tests).
    int reads() const { return reads_; }
    // Told of every task the monitor starts (its message shown, its program launched).
    void setStartedHandler(std::function<void(const Schedule&)> started) { started_ = std::move(started); }

    Date historyCheckDate() const { return historyCheckDate_; }
    const Schedule& currentTask() const { return current_; }

private:
    void processDueTask(Schedule& task);
    void soundAlarm(const Schedule& task);
    bool askToRun(const QString& caption, const QString& question);
    void showMessage(const Schedule& task, bool withReply, bool captioned);
    // A due task's advance (or warning) could not be written: says so and stops the scheduler.
    void advanceNotWritten(const Schedule& task, const StoreError& error);

    // An occurrence that ran but whose advance could not be written: when it comes due again
    // (the scheduler turned back on) it is only advanced, never run a second time.
    struct Unsaved {
        bool skipped = false;
        Date lastRunDate = 0;
        Time lastRunTime = 0;
    };
    // The write of a task that ran failed: a task deleted or changed elsewhere meanwhile is
    // logged and the scheduler goes on; any other failure stops it.
    void writeFailed(const Schedule& task, StoreError error, const std::tuple<qint32, Date, Time>& key,
                     const Unsaved& ran);
    // Whether the failed write met a task deleted or changed by someone else (logged then).
    enum class Elsewhere { Nothing, Deleted, Changed };
    Elsewhere happenedElsewhere(const Schedule& task, StoreError error);
    // Deletes the task that ran, provided it is still as it was read.
    StoreError removeUnchanged(const Schedule& task);
    std::map<std::tuple<qint32, Date, Time>, Unsaved> unsaved_;

    // The title and the status line for the first task (none when null).
    void showNext(const Schedule* first);

    MonitorContext ctx_;
    Table<Schedule> tasks_;
    Schedule current_;
    ChangeMark mark_;
    std::optional<std::uint64_t> scanMark_;
    std::optional<std::uint64_t> warnMark_;
    bool scanKnown_ = false; // current_ (or none_) is what the last read found
    bool none_ = true;
    bool warnKnown_ = false; // the next warning's moment below is what the last read found
    bool warnNone_ = true;
    Date warnDate_ = 0;
    Time warnTime_ = 0;
    int reads_ = 0;
    Date historyCheckDate_ = 0;
    std::unique_ptr<RemovalPass<Schedule>> history_; // today's history removal, while it goes on
    std::unique_ptr<RemovalPass<Runs>> runHistory_;  // then the run records of the same age
    bool removeOldRuns(Date today);
    void record(const Schedule& task, const QString& trigger, const QString& result,
                const QString& reason = {});
    RunRecorder* runs_ = nullptr;
    QString outputFolder_;
    RemovalLimits removalLimits_;
    std::function<void(const Schedule&)> started_;
};

} // namespace kr
