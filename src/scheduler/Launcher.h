#pragma once

// LaunchProgram: the one way the program starts other programs, and QueueTaskScript, which
// puts a started task's script items into the active-script queue.

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Processes.h"
#include "platform/RunCapture.h"
#include "scheduler/FrameView.h"
#include "scheduler/RunSink.h"
#include "script/ActiveScriptQueue.h"
#include "script/ProgramStarter.h"
#include "store/EventLog.h"
#include "store/Settings.h"
#include "store/Store.h"

#include <cstdint>
#include <memory>
#include <vector>

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

// What a failure number of a start (0 to 32) means, in a few words.
QString StartFailureReason(int failure);

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

    // From now on the output of every program started directly is kept in a file of its own
    // in `folder` (made 0700 when the first output arrives), and `sink` hears of every start
    // and of every such program's end. The output is read on the event loop of the thread that
    // launches. A null sink stops keeping runs (those under way are still kept to their end).
    void captureRuns(const QString& folder, RunSink* sink);
    // The programs started with their output kept that have not ended yet.
    std::size_t runsUnderWay() const;

private:
    struct Capture {
        std::uint64_t run = 0;
        qint32 taskId = 0;
        std::unique_ptr<RunCapture> capture;
    };

    int shellStart(const QString& command, const QString& directory, const QString& verb,
                   ChildOutput* output);
    int shellExecute(const QString& file, const QString& parameters, const QString& directory,
                     const QString& verb, ChildOutput* output);
    std::unique_ptr<RunCapture> prepareCapture(RunStarted& run);
    void tellStart(RunStarted& run, std::unique_ptr<RunCapture> capture, bool started, int failure);
    void tellEnd(std::uint64_t run, qint32 taskId, const RunCapture& capture);
    void dropEndedCaptures();

    LauncherContext ctx_;
    int lastStartResult_ = 0;
    pid_t lastProcess_ = 0;
    QString lastCommand_;
    int lastWindowMode_ = 0;

    QString runsFolder_;
    RunSink* sink_ = nullptr;
    std::uint64_t nextRun_ = 1;
    std::vector<Capture> captures_;
};

} // namespace kr
