#pragma once

// A folder that a program started by the test can only read. Root may write whatever the
// rights say, so as root the program gets a read-only view of its own (a bind mount in a mount
// namespace of its own); otherwise the rights of the folder and of its files are taken away
// for as long as the view lives.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

namespace kr::test {

class ReadOnlyView {
public:
    explicit ReadOnlyView(const QString& dir)
        : dir_(dir) {
        if (::geteuid() != 0) {
            files_ = QDir(dir).entryList(QDir::Files | QDir::Hidden);
            for (const QString& f : files_)
                ::chmod(QFile::encodeName(dir + QLatin1Char('/') + f).constData(), 0400);
            ::chmod(QFile::encodeName(dir).constData(), 0500);
            restore_ = true;
            return;
        }
        QProcess probe;
        probe.start(QStringLiteral("unshare"),
                    {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                     Mount() + QStringLiteral(" && ! touch \"$0/.probe\" 2>/dev/null"), dir});
        if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit ||
            probe.exitCode() != 0)
            why_ = QStringLiteral("no read-only mount can be made here: ") +
                   QString::fromLocal8Bit(probe.readAllStandardError()).trimmed();
        else
            mounted_ = true;
    }
    ~ReadOnlyView() {
        if (!restore_)
            return;
        ::chmod(QFile::encodeName(dir_).constData(), 0700);
        for (const QString& f : files_)
            ::chmod(QFile::encodeName(dir_ + QLatin1Char('/') + f).constData(), 0600);
    }
    ReadOnlyView(const ReadOnlyView&) = delete;
    ReadOnlyView& operator=(const ReadOnlyView&) = delete;

    // Why no view could be made; empty when there is one.
    const QString& why() const { return why_; }
    // The program and arguments that run `program` with `arguments` in the view.
    QString program(const QString& program) const { return mounted_ ? QStringLiteral("unshare") : program; }
    QStringList arguments(const QString& program, const QStringList& arguments) const {
        if (!mounted_)
            return arguments;
        return QStringList{QStringLiteral("-m"),
                           QStringLiteral("sh"),
                           QStringLiteral("-c"),
                           Mount() + QStringLiteral(" && exec \"$@\""),
                           dir_,
                           program} +
               arguments;
    }

private:
    static QString Mount() { return QStringLiteral("mount --bind -o ro \"$0\" \"$0\""); }

    QString dir_;
    QStringList files_;
    QString why_;
    bool restore_ = false;
    bool mounted_ = false;
};

} // namespace kr::test
