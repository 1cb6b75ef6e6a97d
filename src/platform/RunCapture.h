#pragma once

// The output of one started process: standard output and standard error through one pipe,
// read as it arrives on the event loop of the thread that made the capture (never a blocking
// read), and written as it comes to a file of its own (0600, in a 0700 folder). At most
// kRunOutputKept bytes are kept: the first half as it came and the last half, joined by a
// marked cut line. A program that prints nothing leaves no file. The record ends when the
// process that was started ends, whatever a program it started in turn does with the pipe.

#include "platform/Processes.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace kr {

inline constexpr std::int64_t kRunOutputKept = 1024 * 1024;

// The line that stands for the bytes left out between the two halves.
QByteArray RunOutputCutLine(std::int64_t leftOut);

class RunCapture {
public:
    // The output goes to `path`; its folder is made (0700) when the first byte arrives.
    explicit RunCapture(QString path);
    // A capture still running keeps what has arrived so far, its file joined as at the end.
    ~RunCapture();
    RunCapture(const RunCapture&) = delete;
    RunCapture& operator=(const RunCapture&) = delete;

    // Makes the pipes and takes the start moment, just before the start. False, with the
    // reason, when they cannot be made: the program is then started as without a capture.
    bool prepare(QString* error = nullptr);
    // What the start hands to the program.
    ChildOutput& childOutput() { return child_; }
    // The start took the pipe: reading begins. `ended` is called once, on this thread's event
    // loop, when the process has ended and everything it wrote is kept.
    void begin(pid_t pid, std::function<void()> ended = {});
    // The start did not take the pipe (a document handed to the desktop, a failed start).
    void cancel();

    bool running() const { return running_; }
    bool finished() const { return finished_; }
    pid_t pid() const { return pid_; }
    const QString& path() const { return path_; }
    // Whether the program printed anything, so that the file exists.
    bool hasFile() const { return madeFile_; }

    QDateTime startedUtc() const { return startedUtc_; }
    QDateTime endedUtc() const { return endedUtc_; }
    // From the start to the end, on the monotonic clock.
    std::int64_t durationNs() const { return durationNs_; }
    const ProcessEnd& end() const { return end_; }

    std::int64_t bytesReceived() const { return received_; }
    std::int64_t bytesKept() const;
    std::int64_t bytesLeftOut() const { return received_ - bytesKept(); }
    // Why the output could not be written in full; empty when it was.
    const QString& writeError() const { return writeError_; }

private:
    void readable();
    void processEnded();
    void readAvailable(std::int64_t limit);
    void keep(const char* data, std::int64_t n);
    bool openFile();
    bool writeAt(const char* data, std::int64_t n, std::int64_t offset);
    void writeTail();
    void tailChanged();
    void closeOutput(bool now);
    void finish(bool tellEnd);
    void failWrite(int error);
    void closeAll();

    QString path_;
    ChildOutput child_;
    int readFd_ = -1;
    int endReadFd_ = -1;
    int fileFd_ = -1;
    bool madeFile_ = false;
    bool running_ = false;
    bool finished_ = false;
    pid_t pid_ = 0;
    std::function<void()> ended_;
    std::unique_ptr<QSocketNotifier> outputNotifier_;
    std::unique_ptr<QSocketNotifier> endNotifier_;
    std::unique_ptr<QTimer> tailTimer_;

    QDateTime startedUtc_;
    QDateTime endedUtc_;
    std::int64_t startedNs_ = 0;
    std::int64_t durationNs_ = 0;
    ProcessEnd end_;

    std::int64_t received_ = 0;
    QByteArray ring_; // the last half, once the output has reached it
    std::int64_t tailWrittenAt_ = 0;
    bool tailDirty_ = false;
    std::int64_t keptOnError_ = 0; // what the file holds in order when a write failed
    QString writeError_;
};

} // namespace kr
