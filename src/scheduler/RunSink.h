#pragma once

// What the launcher tells, when asked to keep runs, about each program it starts: the start
// (a process whose output is kept, a document or address handed to the desktop, or a start
// that failed) and, for a process, its end.

#include "platform/Processes.h"

#include <QDateTime>
#include <QString>

#include <cstdint>

namespace kr {

struct RunStarted {
    enum class Kind {
        Process, // started directly; its output is kept and its end follows
        Desktop, // handed to the desktop's opener: nothing to wait for
        Failed,  // could not be started
    };
    // The launcher's number for this run, the same in its end.
    std::uint64_t run = 0;
    // The task whose program this is; 0 for a script's Start Program item, the external
    // message program or a contact's address.
    qint32 taskId = 0;
    // Started the way a script's Start Program item is (a process it can wait for).
    bool asProcess = false;
    Kind kind = Kind::Failed;
    QString command;
    QDateTime startedUtc;
    // Process: its id and the file that receives its output (made only when it prints).
    pid_t pid = 0;
    QString outputPath;
    // Why its output is not kept, when the pipe for it could not be made: the program runs all
    // the same, but no end follows (and a program started through the shell's way is then
    // told as Desktop, since it cannot be told apart from the desktop's opener).
    QString captureError;
    // Failed: the launcher's failure number (0 to 32), its message and what the number means.
    int failure = 0;
    QString failureText;
    QString failureReason;
};

struct RunEnded {
    std::uint64_t run = 0;
    qint32 taskId = 0;
    pid_t pid = 0;
    // Exited with exitStatus, or ended by signal; Unknown when the end could not be learned.
    ProcessEnd::How how = ProcessEnd::How::Unknown;
    int exitStatus = 0;
    int signal = 0;
    QDateTime startedUtc;
    QDateTime endedUtc;
    std::int64_t durationNs = 0;
    // Empty when the program printed nothing (no file) or its output could not be kept.
    QString outputPath;
    std::int64_t bytesKept = 0;
    std::int64_t bytesLeftOut = 0;
    QString writeError;
};

class RunSink {
public:
    virtual ~RunSink() = default;
    // Called at once after the start, before any message the launcher shows about it.
    virtual void runStarted(const RunStarted& run) = 0;
    // Called on the launching thread's event loop when the process has ended.
    virtual void runEnded(const RunEnded& run) = 0;
};

} // namespace kr
