#pragma once

// The script runner: one entry of the active-script queue per tick.

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Progress.h"
#include "script/ActiveScriptQueue.h"
#include "script/ProgramStarter.h"
#include "script/Values.h"
#include "store/EventLog.h"
#include "store/Settings.h"

#include <functional>

namespace kr {

// The actions that reach out to the desktop, the files and the mail. Each does nothing and
// completes until the part of the program that carries it out is attached.
class ScriptServices {
public:
    virtual ~ScriptServices() = default;
    // FindWindowByPattern found a window.
    virtual bool windowExists(const QString& pattern, const QString& confirm);
    // Finds the window and brings it to the front; false when there is none.
    virtual bool activateWindow(const QString& pattern, const QString& confirm);
    virtual void setFocus(QueueEntry& entry);
    virtual void closeProgram(QueueEntry& entry);
    virtual void sendKeystrokes(QueueEntry& entry);
    virtual qint32 fileAction(const QString& type, const QString& first, const QString& second);
    virtual void dde(QueueEntry& entry);
    // Starts sending a stored message: its result, or kEmailPending while the send runs on;
    // the runner then asks emailResult() on later steps until the result is known.
    static constexpr qint32 kEmailPending = -1;
    virtual qint32 sendEmail(qint32 emailId);
    virtual qint32 emailResult();
};

// Hears how each task's script ended and how each program it waited for ended.
class ScriptWatcher {
public:
    virtual ~ScriptWatcher() = default;
    // "Script Completed", "Exit Script", "stopped by the user" or "item failed: " and the item.
    virtual void scriptEnded(qint32 taskId, const QString& ending) = 0;
    // A Start Program item the script waited for ended with this exit code.
    virtual void programWaited(qint32 taskId, const QString& command, int exitCode) = 0;
};

struct RunnerContext {
    ActiveScriptQueue& queue;
    ValueStore& values;
    const Settings& settings;
    const Clock& clock;
    Dialogs& dialogs;
    EventLog& log;
    ProgramStarter& starter;
    ScriptServices& services;
    const int& debug; // the "Debug" entry of KR98.INI
    // Status zone 2 of the main frame.
    std::function<void(const QString&)> status;
    // The progress windows of Start Script; none by default.
    ProgressWindows progress = {};
    // Told of each script's end; none by default.
    ScriptWatcher* watcher = nullptr;
};

class ScriptRunner {
public:
    // Load types of Start Script, by their first character.
    static constexpr QChar kInsert = QLatin1Char('I');
    static constexpr QChar kJump = QLatin1Char('J');
    static constexpr QChar kAppend = QLatin1Char('A');

    explicit ScriptRunner(RunnerContext ctx)
        : ctx_(std::move(ctx)) {}

    // RunScriptStep: runs the head entry when it is due.
    void runScriptStep();
    // StartScript: loads a script file into the queue; true when the queue was replaced.
    // `caller`: the queue entry that asked; when it has left the queue by the time the file
    // is read (the script was stopped), the queue is left alone.
    bool startScript(const QString& file, const QString& loadType, qint32 taskId, quint64 caller = 0);
    // Forgets everything about the scripts that ran: done on the next step after the queue
    // was emptied, whichever way.
    void reset();

    bool waiting() const { return waiting_; }
    qint32 lastFileResult() const { return lastFileResult_; }
    qint32 lastMailResult() const { return lastMailResult_; }

private:
    void dispatch();
    void showStatus();
    void skipToEndIf();
    void windowTest(const QueueEntry& e);
    void timeTest(const QueueEntry& e);
    void windowWait(QueueEntry& e);
    void completeWait();
    void startProgram(QueueEntry& e);
    void programWait(const QueueEntry& e);
    void sendEmail(const QueueEntry& e);
    void removeHead();
    // Shows a debug box; then, as after every box, false when the step's entry is no longer
    // at the head of the queue.
    bool debugMessage(const QString& text, const QString& title);
    bool stillHead();
    // The script of `scriptTask_` is over, this way.
    void scriptOver(const QString& ending);

    RunnerContext ctx_;
    bool keepHead_ = false;
    bool waiting_ = false;
    quint64 waitSerial_ = 0; // the Wait entry the waiting flag belongs to
    Date waitStartDate_ = 0;
    Time waitStartTime_ = 0;
    qint32 lastTimeout_ = 0;
    qint32 lastFileResult_ = 0;
    qint32 lastMailResult_ = 0;
    quint64 current_ = 0;         // the entry the step works on
    bool abandoned_ = false;      // the queue changed under a box: the step touches nothing more
    quint64 emptiedSeen_ = 0;     // the queue's emptied count at the last reset
    bool scriptRan_ = false;      // an item of the script now at the head has run
    bool endedScriptRan_ = false; // the script whose end was reached last ran an item
    qint32 scriptTask_ = 0;       // the task whose script is under way, 0 between scripts
    QString failedItem_;          // the first item of that script that failed
};

} // namespace kr
