#pragma once

// Noticing that a file was written by another process: on a local file system the kernel says
// so (inotify on the file's folder, which also sees the journal files that come and go beside
// it); on a network file system writes from other machines are not seen that way, and the
// caller must keep looking itself.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QSocketNotifier;

namespace kr {

enum class FileSystemKind { Local, Network };

// What kind of file system holds the path (statfs): NFS, SMB/CIFS, FUSE, AFS, Ceph, 9P and
// Coda count as network file systems. A path that cannot be examined counts as network, so
// that it is looked at the careful way.
FileSystemKind FileSystemKindOf(const QString& path);

class FileChanges final : public QObject {
    Q_OBJECT
public:
    using KindOf = std::function<FileSystemKind(const QString&)>;

    // Watches `file` and the files named by it plus one of `companions` (e.g. "-journal",
    // "-wal"), in the file's folder. `kindOf` tells the file system (tests replace it).
    FileChanges(const QString& file, const QStringList& companions, KindOf kindOf = FileSystemKindOf,
                QObject* parent = nullptr);
    ~FileChanges() override;

    // Whether changes are reported: a local file system and the kernel's watch set up.
    bool watching() const { return fd_ >= 0; }
    FileSystemKind kind() const { return kind_; }

    // How long the files must stay quiet before a change is told: a writer that removed its
    // journal still holds its lock for a moment, and a reader then would find the file busy.
    static constexpr int kQuietMs = 50;
    // The longest a writer that never stops is waited for.
    static constexpr int kLongestWaitMs = 1000;

Q_SIGNALS:
    // One of the files was written, made, renamed or removed (by any process), and then the
    // files stayed quiet for a moment. Several changes in a row are told once.
    void changed();

private:
    void readEvents();

    QStringList names_;
    FileSystemKind kind_ = FileSystemKind::Network;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer quiet_;
    QElapsedTimer waiting_; // since the first change not told yet
};

} // namespace kr
