#pragma once

// LaunchProgram: the one way the program starts other programs, and QueueTaskScript, which
// puts a started task's script items into the active-script queue.

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Processes.h"
#include "scheduler/FrameView.h"
#include "script/ActiveScriptQueue.h"
#include "script/ProgramStarter.h"
#include "store/EventLog.h"
#include "store/Settings.h"
#include "store/Store.h"

namespace kr {

struct LauncherContext {
    Store& store;
    const Settings& settings;
    const Clock& clock;
    Dialogs& dialogs;
    EventLog& log;
    ActiveScriptQueue& queue;
    ProcessControl& processes;
    FrameView& frame;
};

// The companion programs installed beside this one: the external message program and the
// program that ends other programs by name.
QString CompanionProgram(const QString& name);

class Launcher final : public ProgramStarter {
public:
    explicit Launcher(LauncherContext ctx)
        : ctx_(ctx) {}

    // Starts the command (through the desktop's opener, or as a process when `processResult`
    // is given, which then receives 1 or 0) and, for a task, queues its script. "N/A" starts
    // nothing; a command beginning with "KRCHAIN" hands over and closes the program.
    void launchProgram(qint32 taskId, const QString& command, const QString& directory, const QString& verb,
                       int windowMode, bool useDefaultMode, bool verbIsOpen, bool useNormalPriority,
                       int priority, int* processResult = nullptr);
    // The due task's way: open with the default mode, normal priority, no waiting.
    void launchTask(qint32 taskId, const QString& command, const QString& directory) {
        launchProgram(taskId, command, directory, QStringLiteral("open"), 0, true, true, true, 0);
    }
    void queueTaskScript(qint32 taskId);

    bool startProgram(const QString& command, const QString& folder, const QString& verb, int windowMode,
                      int priority, bool wait) override;
    int lastExitCode() override;
    int lastStartResult() const override { return lastStartResult_; }

    pid_t lastProcess() const { return lastProcess_; }
    const QString& lastCommand() const { return lastCommand_; }
    int lastWindowMode() const { return lastWindowMode_; }

private:
    int shellStart(const QString& command, const QString& directory, const QString& verb);
    int shellExecute(const QString& file, const QString& parameters, const QString& directory,
                     const QString& verb);

    LauncherContext ctx_;
    int lastStartResult_ = 0;
    pid_t lastProcess_ = 0;
    QString lastCommand_;
    int lastWindowMode_ = 0;
};

} // namespace kr
