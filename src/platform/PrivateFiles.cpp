#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kr {

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

bool Tighten(const QByteArray& path, mode_t keep) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return false;
    if ((st.st_mode & ~keep & 07777) == 0)
        return true;
    // Another user's file is left as it is: it is not ours to change.
    if (st.st_uid != ::geteuid())
        return true;
    return ::chmod(path.constData(), st.st_mode & keep & 07777) == 0;
}

} // namespace

bool MakePrivateDir(const QString& path) {
    const QString absolute = QDir(path).absolutePath();
    // Parents that are missing are made one by one, each 0700.
    QStringList missing;
    QString p = absolute;
    while (!p.isEmpty() && !QFileInfo::exists(p)) {
        missing.prepend(p);
        const QString parent = QFileInfo(p).path();
        if (parent == p)
            break;
        p = parent;
    }
    for (const QString& m : missing) {
        if (::mkdir(Native(m).constData(), kPrivateDirMode) != 0 && errno != EEXIST)
            return false;
    }
    if (!QFileInfo(absolute).isDir())
        return false;
    return Tighten(Native(absolute), kPrivateDirMode);
}

bool TightenFile(const QString& path) {
    const QByteArray native = Native(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return errno == ENOENT;
    return Tighten(native, S_ISDIR(st.st_mode) ? kPrivateDirMode : kPrivateFileMode);
}

int OpenPrivateFile(const QString& path, int flags) {
    const int fd = ::open(Native(path).constData(), flags | O_CLOEXEC, kPrivateFileMode);
    if (fd < 0)
        return fd;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
        ::fchmod(fd, st.st_mode & kPrivateFileMode);
    return fd;
}

bool EnsurePrivateFile(const QString& path) {
    const int fd = OpenPrivateFile(path, O_WRONLY | O_CREAT);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    // A file we may not write (read-only folder or file) can still be tightened.
    return TightenFile(path) && QFileInfo::exists(path);
}

} // namespace kr
