#pragma once

// What the script runner needs from the task launcher: starting a program as a waitable
// process and asking for the exit code of the last one.

#include <QString>

namespace kr {

class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    // Starts the command in the folder; with `wait` as a process the runner can wait on.
    // Returns whether it started.
    virtual bool startProgram(const QString& command, const QString& folder, const QString& verb,
                              int windowMode, int priority, bool wait) = 0;
    // The exit code of the last process started: 259 while it runs, -1 when there is none.
    virtual int lastExitCode() = 0;
    // The result of the most recent start, kept with each queued entry.
    virtual int lastStartResult() const = 0;
};

} // namespace kr
