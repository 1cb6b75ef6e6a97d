#include "platform/RunCapture.h"
#include "platform/PrivateFiles.h"

#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kr {

namespace {

constexpr std::int64_t kHalf = kRunOutputKept / 2;
// How much one wake-up reads before the event loop gets its turn again.
constexpr std::int64_t kReadPerWake = 1024 * 1024;
// How often the last half is brought up to date in the file while a long output goes on.
constexpr std::int64_t kTailEveryNs = 1000000000;

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// A notifier that may be delivering the call under way is only disabled and deleted later.
void Retire(std::unique_ptr<QSocketNotifier>& notifier, bool now) {
    if (!notifier)
        return;
    notifier->setEnabled(false);
    if (now)
        notifier.reset();
    else
        notifier.release()->deleteLater();
}

} // namespace

QByteArray RunOutputCutLine(std::int64_t leftOut) {
    return "\n[... " + QByteArray::number(static_cast<qlonglong>(leftOut)) + " bytes left out ...]\n";
}

RunCapture::RunCapture(QString path)
    : path_(std::move(path)) {}

RunCapture::~RunCapture() {
    if (running_) {
        int available = 0;
        if (readFd_ >= 0 && ::ioctl(readFd_, FIONREAD, &available) == 0 && available > 0)
            readAvailable(available);
        finish(false);
    }
    Retire(outputNotifier_, true);
    Retire(endNotifier_, true);
    closeAll();
}

bool RunCapture::prepare(QString* error) {
    int out[2] = {-1, -1};
    int end[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(end, O_CLOEXEC) != 0) {
        const int e = errno;
        CloseFd(out[0]);
        CloseFd(out[1]);
        if (error != nullptr)
            *error = QString::fromLocal8Bit(std::strerror(e));
        return false;
    }
    // Only this side reads without waiting; the program writes as to any pipe.
    ::fcntl(out[0], F_SETFL, ::fcntl(out[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(end[0], F_SETFL, ::fcntl(end[0], F_GETFL) | O_NONBLOCK);
    readFd_ = out[0];
    child_.output = out[1];
    endReadFd_ = end[0];
    child_.ended = end[1];
    startedUtc_ = QDateTime::currentDateTimeUtc();
    startedNs_ = MonotonicNs();
    return true;
}

void RunCapture::begin(pid_t pid, std::function<void()> ended) {
    // The program and the thread that waits for it hold their own copies now.
    CloseFd(child_.output);
    CloseFd(child_.ended);
    pid_ = pid;
    ended_ = std::move(ended);
    running_ = true;
    end_.how = ProcessEnd::How::Running;
    outputNotifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
    QObject::connect(outputNotifier_.get(), &QSocketNotifier::activated, outputNotifier_.get(),
                     [this] { readable(); });
    endNotifier_ = std::make_unique<QSocketNotifier>(endReadFd_, QSocketNotifier::Read);
    QObject::connect(endNotifier_.get(), &QSocketNotifier::activated, endNotifier_.get(),
                     [this] { processEnded(); });
}

void RunCapture::cancel() {
    Retire(outputNotifier_, false);
    Retire(endNotifier_, false);
    closeAll();
}

std::int64_t RunCapture::bytesKept() const {
    if (!writeError_.isEmpty())
        return keptOnError_;
    return std::min(received_, kRunOutputKept);
}

void RunCapture::readable() {
    readAvailable(kReadPerWake);
}

void RunCapture::readAvailable(std::int64_t limit) {
    char buffer[64 * 1024];
    while (limit > 0 && readFd_ >= 0) {
        const ssize_t n =
            ::read(readFd_, buffer, static_cast<size_t>(std::min<std::int64_t>(sizeof buffer, limit)));
        if (n > 0) {
            keep(buffer, n);
            limit -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // The program (and whatever it started) closed its output; the record goes on until
        // the process ends.
        closeOutput(false);
        return;
    }
}

void RunCapture::processEnded() {
    char c = 0;
    const ssize_t r = ::read(endReadFd_, &c, 1);
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    end_ = EndOf(pid_);
    // Everything the program wrote before it ended is in the pipe; what a program it started
    // writes from now on is not its output.
    int available = 0;
    if (readFd_ >= 0 && ::ioctl(readFd_, FIONREAD, &available) == 0 && available > 0)
        readAvailable(available);
    finish(true);
}

void RunCapture::keep(const char* data, std::int64_t n) {
    const std::int64_t at = received_;
    // The first kRunOutputKept bytes go straight to the file, in order.
    if (writeError_.isEmpty() && at < kRunOutputKept) {
        const std::int64_t take = std::min(n, kRunOutputKept - at);
        if (openFile()) {
            if (writeAt(data, take, at)) {
                keptOnError_ = at + take;
            } else {
                failWrite(errno);
                ::ftruncate(fileFd_, at);
            }
        }
    }
    // Everything from the middle on also goes to the ring of the last half.
    if (at + n > kHalf) {
        if (ring_.isEmpty())
            ring_.resize(kHalf);
        std::int64_t q = std::max({at, kHalf, at + n - kHalf});
        while (q < at + n) {
            const std::int64_t index = q % kHalf;
            const std::int64_t length = std::min(at + n - q, kHalf - index);
            std::memcpy(ring_.data() + index, data + (q - at), static_cast<size_t>(length));
            q += length;
        }
    }
    received_ = at + n;
    if (received_ > kRunOutputKept)
        tailChanged();
}

bool RunCapture::openFile() {
    if (fileFd_ >= 0)
        return true;
    if (!writeError_.isEmpty())
        return false;
    if (!MakePrivateDir(QFileInfo(path_).absolutePath())) {
        failWrite(errno != 0 ? errno : EACCES);
        return false;
    }
    fileFd_ = OpenPrivateFile(path_, O_WRONLY | O_CREAT | O_EXCL);
    if (fileFd_ < 0) {
        failWrite(errno);
        return false;
    }
    madeFile_ = true;
    return true;
}

bool RunCapture::writeAt(const char* data, std::int64_t n, std::int64_t offset) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fileFd_, data, static_cast<size_t>(n), offset);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = ENOSPC;
            return false;
        }
        data += w;
        n -= w;
        offset += w;
    }
    return true;
}

void RunCapture::tailChanged() {
    tailDirty_ = true;
    if (!writeError_.isEmpty())
        return;
    const std::int64_t since = MonotonicNs() - tailWrittenAt_;
    if (since >= kTailEveryNs) {
        writeTail();
        return;
    }
    if (!tailTimer_) {
        tailTimer_ = std::make_unique<QTimer>();
        tailTimer_->setSingleShot(true);
        QObject::connect(tailTimer_.get(), &QTimer::timeout, tailTimer_.get(), [this] {
            if (tailDirty_)
                writeTail();
        });
    }
    if (!tailTimer_->isActive())
        tailTimer_->start(static_cast<int>((kTailEveryNs - since) / 1000000) + 1);
}

void RunCapture::writeTail() {
    tailDirty_ = false;
    tailWrittenAt_ = MonotonicNs();
    if (!writeError_.isEmpty() || fileFd_ < 0 || received_ <= kRunOutputKept)
        return;
    const QByteArray cut = RunOutputCutLine(received_ - kRunOutputKept);
    const std::int64_t start = received_ % kHalf;
    const std::int64_t at = kHalf + cut.size();
    if (!writeAt(cut.constData(), cut.size(), kHalf) ||
        !writeAt(ring_.constData() + start, kHalf - start, at) ||
        !writeAt(ring_.constData(), start, at + kHalf - start) || ::ftruncate(fileFd_, at + kHalf) != 0) {
        const int e = errno;
        // What stays is the first half, as it came.
        ::ftruncate(fileFd_, kHalf);
        keptOnError_ = kHalf;
        failWrite(e);
    }
}

void RunCapture::failWrite(int error) {
    if (writeError_.isEmpty())
        writeError_ = QString::fromLocal8Bit(std::strerror(error));
    if (writeError_.isEmpty())
        writeError_ = QStringLiteral("error %1").arg(error);
}

void RunCapture::closeOutput(bool now) {
    Retire(outputNotifier_, now);
    CloseFd(readFd_);
}

void RunCapture::finish(bool tellEnd) {
    if (finished_)
        return;
    // Only the end's notifier can be the one delivering this call.
    closeOutput(true);
    Retire(endNotifier_, !tellEnd);
    CloseFd(endReadFd_);
    if (tailTimer_)
        tailTimer_->stop();
    if (received_ > kRunOutputKept)
        writeTail();
    if (fileFd_ >= 0 && ::close(fileFd_) != 0)
        failWrite(errno);
    fileFd_ = -1;
    ring_ = QByteArray();
    const std::int64_t endNs = end_.monotonicNs != 0 ? end_.monotonicNs : MonotonicNs();
    durationNs_ = std::max<std::int64_t>(0, endNs - startedNs_);
    endedUtc_ = end_.utcMs != 0 ? QDateTime::fromMSecsSinceEpoch(end_.utcMs, Qt::UTC)
                                : QDateTime::currentDateTimeUtc();
    running_ = false;
    finished_ = true;
    if (tellEnd && ended_) {
        auto ended = std::move(ended_);
        ended_ = nullptr;
        ended();
    }
}

void RunCapture::closeAll() {
    CloseFd(readFd_);
    CloseFd(endReadFd_);
    CloseFd(fileFd_);
    CloseFd(child_.output);
    CloseFd(child_.ended);
}

} // namespace kr
