#include "platform/Processes.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kr {

namespace {

// Exit statuses of the children, recorded by one waiting thread per child so that none is
// left a zombie and the last one's code can be asked for.
struct Child {
    int code = -1; // -1 while running
    ProcessEnd end;
};

struct Children {
    std::mutex mutex;
    std::map<pid_t, Child> known;
};

Children& Known() {
    static Children children;
    return children;
}

std::int64_t UtcMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// `ended`, when not -1, is this thread's own descriptor, closed once the end is recorded.
void Watch(pid_t pid, int ended) {
    {
        std::lock_guard lock(Known().mutex);
        Child& c = Known().known[pid];
        c.code = -1;
        c.end = {};
        c.end.how = ProcessEnd::How::Running;
    }
    std::thread([pid, ended] {
        int st = 0;
        pid_t r = 0;
        do {
            r = ::waitpid(pid, &st, 0);
        } while (r < 0 && errno == EINTR);
        ProcessEnd end;
        end.monotonicNs = MonotonicNs();
        end.utcMs = UtcMs();
        int code = -1;
        if (r == pid && WIFEXITED(st)) {
            code = WEXITSTATUS(st);
            end.how = ProcessEnd::How::Exited;
            end.exitStatus = code;
        } else if (r == pid && WIFSIGNALED(st)) {
            code = 128 + WTERMSIG(st);
            end.how = ProcessEnd::How::Signalled;
            end.signal = WTERMSIG(st);
        }
        {
            std::lock_guard lock(Known().mutex);
            Child& c = Known().known[pid];
            c.code = code < 0 ? 255 : code;
            c.end = end;
        }
        if (ended >= 0)
            ::close(ended);
    }).detach();
}

void CloseInheritedFiles(int keep) {
    // Everything above the standard three goes, except the pipe that reports a failed exec.
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, 3u, static_cast<unsigned>(keep - 1), 0u) == 0 &&
        ::syscall(SYS_close_range, static_cast<unsigned>(keep + 1), ~0u, 0u) == 0)
        return;
#endif
    for (int fd = 3; fd < 4096; ++fd) {
        if (fd != keep)
            ::close(fd);
    }
}

// In the child: the descriptor becomes both standard output and standard error, left open
// across the exec.
bool ToStandardOutput(int fd) {
    for (int target : {1, 2}) {
        if (fd == target) {
            if (::fcntl(target, F_SETFD, 0) != 0)
                return false;
        } else if (::dup2(fd, target) < 0) {
            return false;
        }
    }
    return true;
}

bool LooksLikeAddress(const QString& text) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(text).hasMatch() || text.startsWith(QStringLiteral("www."), Qt::CaseInsensitive);
}

int AsShellResult(pid_t pid) {
    return pid > 32 ? static_cast<int>(pid) : 33;
}

} // namespace

QStringList SplitCommandLine(const QString& commandLine) {
    return QProcess::splitCommand(commandLine);
}

std::int64_t MonotonicNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

ProcessEnd EndOf(pid_t pid) {
    std::lock_guard lock(Known().mutex);
    auto it = Known().known.find(pid);
    return it == Known().known.end() ? ProcessEnd{} : it->second.end;
}

pid_t LinuxProcesses::spawn(const QString& program, const QStringList& arguments, const QString& directory,
                            int niceness, int* error, ChildOutput* output) {
    // Everything the child needs is prepared before fork: after it only plain system calls.
    const QByteArray prog = QFile::encodeName(program);
    std::vector<QByteArray> args;
    args.push_back(prog);
    for (const QString& a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray dir = QFile::encodeName(directory);
    const int out = output != nullptr ? output->output : -1;
    // The waiting thread's own copy of the descriptor it closes at the end; made before the
    // fork so that a start that cannot make it changes nothing.
    int ended = -1;
    if (output != nullptr && output->ended >= 0) {
        ended = ::fcntl(output->ended, F_DUPFD_CLOEXEC, 3);
        if (ended < 0) {
            *error = errno;
            return 0;
        }
    }

    int report[2];
    auto dropEnded = [&ended] {
        if (ended >= 0)
            ::close(ended);
        ended = -1;
    };
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = errno;
        dropEnded();
        return 0;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        *error = errno;
        ::close(report[0]);
        ::close(report[1]);
        dropEnded();
        return 0;
    }
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGCHLD, SIGHUP})
            ::signal(sig, SIG_DFL);
        // A priority that cannot be raised stays normal.
        if (niceness != 0)
            ::setpriority(PRIO_PROCESS, 0, niceness);
        ::setsid();
        int e = 0;
        if (out >= 0 && !ToStandardOutput(out)) {
            e = errno;
        } else if (!dir.isEmpty() && ::chdir(dir.constData()) != 0) {
            e = errno;
        } else {
            CloseInheritedFiles(report[1]);
            ::execvp(argv[0], argv.data());
            e = errno;
        }
        [[maybe_unused]] const ssize_t n = ::write(report[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(report[1]);
    int childError = 0;
    ssize_t n = 0;
    do {
        n = ::read(report[0], &childError, sizeof childError);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof childError)) {
        int st = 0;
        ::waitpid(pid, &st, 0);
        *error = childError;
        dropEnded();
        return 0;
    }
    Watch(pid, ended);
    if (output != nullptr && out >= 0) {
        output->taken = true;
        output->pid = pid;
    }
    *error = 0;
    return pid;
}

bool LinuxProcesses::startDetached(const QString& program, const QStringList& arguments,
                                   const QString& directory) {
    LinuxProcesses p;
    int error = 0;
    return p.spawn(program, arguments, directory, 0, &error) > 0;
}

int LinuxProcesses::shellExecute(const QString& file, const QString& parameters, const QString& directory,
                                 const QString& verb) {
    return shellStart(file, parameters, directory, verb, nullptr);
}

int LinuxProcesses::shellExecuteWith(const QString& file, const QString& parameters, const QString& directory,
                                     const QString& verb, ChildOutput& output) {
    return shellStart(file, parameters, directory, verb, &output);
}

int LinuxProcesses::shellStart(const QString& file, const QString& parameters, const QString& directory,
                               const QString& verb, ChildOutput* output) {
    QString v = verb.trimmed().toLower();
    if (v.isEmpty())
        v = QStringLiteral("open");
    if (v != QStringLiteral("open") && v != QStringLiteral("explore") && v != QStringLiteral("edit") &&
        v != QStringLiteral("print"))
        return shell::kNoAssociation;
    const QString f = file.trimmed();
    if (f.isEmpty())
        return shell::kFileNotFound;
    const QString workDir = directory.trimmed();
    int error = 0;
    auto opener = [&](const QString& target) {
        const pid_t pid = spawn(QStringLiteral("xdg-open"), {target}, workDir, 0, &error);
        return pid > 0 ? AsShellResult(pid) : shell::kNoAssociation;
    };

    if (LooksLikeAddress(f) && !QFileInfo::exists(f))
        return v == QStringLiteral("print") ? shell::kNoAssociation : opener(f);

    QString path;
    QString name = f;
    if (name.startsWith(QStringLiteral("~/")))
        name = QDir::homePath() + name.mid(1);
    if (name.contains(QLatin1Char('/'))) {
        path = QDir::current().absoluteFilePath(name);
    } else {
        path = QStandardPaths::findExecutable(name);
        if (path.isEmpty() && QFileInfo::exists(name))
            path = QDir::current().absoluteFilePath(name);
    }
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return path.isEmpty() || info.absoluteDir().exists() ? shell::kFileNotFound : shell::kPathNotFound;

    if (info.isDir())
        return v == QStringLiteral("print") ? shell::kNoAssociation : opener(info.absoluteFilePath());
    if (info.isExecutable() && v == QStringLiteral("open")) {
        const pid_t pid =
            spawn(info.absoluteFilePath(), SplitCommandLine(parameters), workDir, 0, &error, output);
        if (pid > 0)
            return AsShellResult(pid);
        return error == ENOMEM ? shell::kOutOfMemory : shell::kAccessDenied;
    }
    if (v == QStringLiteral("print")) {
        const QString lp = QStandardPaths::findExecutable(QStringLiteral("lp"));
        if (lp.isEmpty())
            return shell::kNoAssociation;
        const pid_t pid = spawn(lp, {info.absoluteFilePath()}, workDir, 0, &error);
        return pid > 0 ? AsShellResult(pid) : shell::kNoAssociation;
    }
    return opener(info.absoluteFilePath());
}

pid_t LinuxProcesses::startProcess(const QString& commandLine, Priority priority) {
    return startCommand(commandLine, priority, nullptr);
}

pid_t LinuxProcesses::startProcessWith(const QString& commandLine, Priority priority, ChildOutput& output) {
    return startCommand(commandLine, priority, &output);
}

pid_t LinuxProcesses::startCommand(const QString& commandLine, Priority priority, ChildOutput* output) {
    const QStringList words = SplitCommandLine(commandLine);
    if (words.isEmpty())
        return 0;
    const int niceness = priority == Priority::Low ? 19 : priority == Priority::High ? -10 : 0;
    int error = 0;
    return spawn(words.first(), words.mid(1), QString(), niceness, &error, output);
}

int LinuxProcesses::exitCode(pid_t pid) {
    std::lock_guard lock(Known().mutex);
    auto it = Known().known.find(pid);
    if (it == Known().known.end())
        return -1;
    return it->second.code < 0 ? kStillActive : it->second.code;
}

} // namespace kr
