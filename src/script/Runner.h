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
    Progress* progress = nullptr;
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
    bool startScript(const QString& file, const QString& loadType, qint32 taskId);

    bool waiting() const { return waiting_; }
    qint32 lastFileResult() const { return lastFileResult_; }
    qint32 lastMailResult() const { return lastMailResult_; }

private:
    void dispatch();
    void showStatus();
    void skipToEndIf();
    void windowTest(QueueEntry& e);
    void timeTest(QueueEntry& e);
    void windowWait(QueueEntry& e);
    void completeWait();
    void startProgram(QueueEntry& e);
    void programWait(QueueEntry& e);
    void sendEmail(QueueEntry& e);
    void removeHead();
    void debugMessage(const QString& text, const QString& title);

    RunnerContext ctx_;
    bool keepHead_ = false;
    bool waiting_ = false;
    Date waitStartDate_ = 0;
    Time waitStartTime_ = 0;
    qint32 lastTimeout_ = 0;
    qint32 lastFileResult_ = 0;
    qint32 lastMailResult_ = 0;
};

} // namespace kr
