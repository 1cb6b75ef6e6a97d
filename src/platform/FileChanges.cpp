#include "platform/FileChanges.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace kr {

namespace {

// File system magic numbers (linux/magic.h and the file systems' own headers).
constexpr unsigned long kNetworkMagic[] = {
    0x6969,     // NFS
    0x517B,     // SMB
    0xFF534D42, // CIFS
    0xFE534D42, // SMB2
    0x65735546, // FUSE (sshfs, rclone, virtiofs, ...)
    0x5346414F, // AFS
    0x6B414653, // kAFS
    0x00C36400, // Ceph
    0x01021997, // 9P
    0x73757245, // Coda
};

} // namespace

FileSystemKind FileSystemKindOf(const QString& path) {
    struct statfs fs {};
    if (::statfs(QFile::encodeName(path).constData(), &fs) != 0)
        return FileSystemKind::Network;
    const auto magic = static_cast<unsigned long>(fs.f_type) & 0xFFFFFFFFUL;
    for (unsigned long m : kNetworkMagic)
        if (magic == m)
            return FileSystemKind::Network;
    return FileSystemKind::Local;
}

FileChanges::FileChanges(const QString& file, const QStringList& companions, KindOf kindOf, QObject* parent)
    : QObject(parent) {
    quiet_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, &FileChanges::changed);
    const QFileInfo info(file);
    names_ << info.fileName();
    for (const QString& c : companions)
        names_ << info.fileName() + c;
    const QString folder = info.absolutePath();
    kind_ = kindOf ? kindOf(folder) : FileSystemKindOf(folder);
    if (kind_ != FileSystemKind::Local)
        return;
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0)
        return;
    const uint32_t mask = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM;
    if (::inotify_add_watch(fd_, QFile::encodeName(folder).constData(), mask) < 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &FileChanges::readEvents);
}

FileChanges::~FileChanges() {
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
}

void FileChanges::readEvents() {
    // Every event waiting is read; one signal for all that name a watched file.
    alignas(struct inotify_event) std::array<char, 4096> buffer;
    bool ours = false;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const struct inotify_event*>(buffer.data() + at);
            if ((e->mask & IN_Q_OVERFLOW) != 0)
                ours = true; // events were lost: any of them may have been one of ours
            else if (e->len > 0 && names_.contains(QFile::decodeName(e->name)))
                ours = true;
            at += static_cast<ssize_t>(sizeof(struct inotify_event) + e->len);
        }
    }
    if (!ours)
        return;
    if (!quiet_.isActive())
        waiting_.start();
    // Told once the files are quiet, or after the longest wait for a writer that goes on.
    if (waiting_.elapsed() < kLongestWaitMs)
        quiet_.start(kQuietMs);
}

} // namespace kr
