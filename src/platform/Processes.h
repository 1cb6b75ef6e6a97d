#pragma once

// Starting other programs: through the desktop's opener (documents, folders, addresses) or
// directly, and as waitable processes with a priority.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <sys/types.h>

namespace kr {

// Results follow the convention of the desktop the program came from: above 32 is success
// (here the started process's id), 0 to 32 say why it failed.
namespace shell {
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kAccessDenied = 5;
inline constexpr int kOutOfMemory = 8;
inline constexpr int kNoAssociation = 31;
} // namespace shell

// The exit code of a process that is still running.
inline constexpr int kStillActive = 259;

enum class Priority { Low = 1, Normal = 2, High = 3 };

// Where the output of a program started directly goes, for a caller that keeps it. Both
// descriptors stay the caller's: the started program gets `output` as its standard output
// and standard error, and a copy of `ended` is closed once the process has ended and its
// end can be asked for (EndOf). A document or address handed to the desktop's opener, and
// printing, never take them.
struct ChildOutput {
    int output = -1;
    int ended = -1;
    // Set by the start that took them, with the process id.
    bool taken = false;
    pid_t pid = 0;
};

// How a process this program started ended.
struct ProcessEnd {
    enum class How { Running, Exited, Signalled, Unknown };
    How how = How::Unknown;
    int exitStatus = 0; // when exited
    int signal = 0;     // when ended by a signal
    // When its end was seen: the monotonic clock (nanoseconds, as MonotonicNs) and UTC
    // milliseconds since the epoch.
    std::int64_t monotonicNs = 0;
    std::int64_t utcMs = 0;
};

// The end of a process started here; How::Unknown for a process this program did not start.
ProcessEnd EndOf(pid_t pid);
// The monotonic clock in nanoseconds, the one ProcessEnd::monotonicNs is read from.
std::int64_t MonotonicNs();

class ProcessControl {
public:
    virtual ~ProcessControl() = default;

    // Opens the file with the verb as the desktop does: a program is started with the
    // parameters, a document, folder or address goes to the desktop's opener. The directory,
    // when not blank, is the started program's working directory.
    virtual int shellExecute(const QString& file, const QString& parameters, const QString& directory,
                             const QString& verb) = 0;
    // Starts a command line as a process in the current directory, inheriting no open files.
    // A priority that cannot be raised falls back to normal. Returns the process id, 0 when
    // the program could not be started.
    virtual pid_t startProcess(const QString& commandLine, Priority priority) = 0;
    // The exit code of a process this program started: kStillActive while it runs, -1 when
    // the process is unknown.
    virtual int exitCode(pid_t pid) = 0;

    // The same starts, with the output of a program started directly going where `output`
    // says (`output.taken` tells whether it did). Without their own, nothing is taken.
    virtual int shellExecuteWith(const QString& file, const QString& parameters, const QString& directory,
                                 const QString& verb, ChildOutput& /*output*/) {
        return shellExecute(file, parameters, directory, verb);
    }
    virtual pid_t startProcessWith(const QString& commandLine, Priority priority, ChildOutput& /*output*/) {
        return startProcess(commandLine, priority);
    }
};

// The real thing on Linux.
class LinuxProcesses final : public ProcessControl {
public:
    int shellExecute(const QString& file, const QString& parameters, const QString& directory,
                     const QString& verb) override;
    pid_t startProcess(const QString& commandLine, Priority priority) override;
    int exitCode(pid_t pid) override;
    int shellExecuteWith(const QString& file, const QString& parameters, const QString& directory,
                         const QString& verb, ChildOutput& output) override;
    pid_t startProcessWith(const QString& commandLine, Priority priority, ChildOutput& output) override;

    // Starts a program without keeping track of it; true when it started.
    static bool startDetached(const QString& program, const QStringList& arguments,
                              const QString& directory = {});

private:
    int shellStart(const QString& file, const QString& parameters, const QString& directory,
                   const QString& verb, ChildOutput* output);
    pid_t startCommand(const QString& commandLine, Priority priority, ChildOutput* output);
    pid_t spawn(const QString& program, const QStringList& arguments, const QString& directory, int niceness,
                int* error, ChildOutput* output = nullptr);
};

// Splits a command line into words as a shell would for quotes and blanks.
QStringList SplitCommandLine(const QString& commandLine);

} // namespace kr
