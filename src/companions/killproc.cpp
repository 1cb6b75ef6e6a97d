// kelvray-killproc NAME: ends the user's own processes whose executable is called NAME
// (letter case and a ".exe" ending ignored). Asks them to end, and forces those that are
// still running after three seconds. Exit status 0 when at least one was found, 1 otherwise.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QString BareName(QString name) {
    name = QFileInfo(name.trimmed()).fileName();
    if (name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
        name.chop(4);
    return name;
}

// Still running: a process that has ended but not been collected by its parent yet counts
// as gone.
bool Alive(pid_t pid) {
    if (::kill(pid, 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray fields = stat.readAll();
    const qsizetype close = fields.lastIndexOf(')');
    return close < 0 || fields.mid(close + 2, 1) != "Z";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kelvray-killproc NAME\n");
        return 2;
    }
    const QString wanted = BareName(QString::fromLocal8Bit(argv[1]));
    const uid_t me = ::getuid();
    const pid_t self = ::getpid();
    std::vector<pid_t> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& e : entries) {
        bool ok = false;
        const pid_t pid = e.toInt(&ok);
        if (!ok || pid == self)
            continue;
        struct stat st {};
        if (::stat(QFile::encodeName(QStringLiteral("/proc/") + e).constData(), &st) != 0 || st.st_uid != me)
            continue;
        // The executable's name, or the command name when the executable cannot be read.
        QString name = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(e))).fileName();
        QFile comm(QStringLiteral("/proc/%1/comm").arg(e));
        QString commName;
        if (comm.open(QIODevice::ReadOnly))
            commName = QString::fromLocal8Bit(comm.readAll()).trimmed();
        if (BareName(name).compare(wanted, Qt::CaseInsensitive) == 0 ||
            BareName(commName).compare(wanted.left(15), Qt::CaseInsensitive) == 0)
            found.push_back(pid);
    }
    for (pid_t pid : found)
        ::kill(pid, SIGTERM);
    for (int i = 0; i < 30; ++i) {
        bool any = false;
        for (pid_t pid : found)
            any = any || Alive(pid);
        if (!any)
            break;
        QThread::msleep(100);
    }
    for (pid_t pid : found) {
        if (Alive(pid))
            ::kill(pid, SIGKILL);
    }
    return found.empty() ? 1 : 0;
}
