#include "platform/RunCapture.h"
#include "platform/Processes.h"
#include "support/EventLoop.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <csignal>
#include <memory>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

constexpr std::int64_t kHalf = 512 * 1024;

unsigned ModeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 07777;
}

// A command line that runs the script with `sh -c` (a double quote inside is written three times).
QString Shell(const QString& script) {
    QString quoted = script;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\"\""));
    return QStringLiteral("sh -c \"") + quoted + QLatin1Char('"');
}

class RunCaptureTest : public ::testing::Test {
protected:
    RunCaptureTest() { EnsureCoreApplication(); }

    // Starts the command with its output kept in runs/<name>.
    std::unique_ptr<RunCapture> start(const QString& command,
                                      const QString& name = QStringLiteral("run.out")) {
        auto capture = std::make_unique<RunCapture>(dir.file(QStringLiteral("runs/") + name));
        EXPECT_TRUE(capture->prepare());
        const pid_t pid = processes.startProcessWith(command, Priority::Normal, capture->childOutput());
        EXPECT_GT(pid, 0) << command.toStdString();
        EXPECT_TRUE(capture->childOutput().taken);
        EXPECT_EQ(capture->childOutput().pid, pid);
        capture->begin(pid, [this] { ++ends; });
        return capture;
    }
    bool waitForEnd(const RunCapture& c, int ms = 20000) {
        return TurnLoopUntil([&c] { return c.finished(); }, ms);
    }
    QByteArray output() const { return FileBytes(dir.file(QStringLiteral("runs/run.out"))); }

    TempDir dir;
    LinuxProcesses processes;
    int ends = 0;
};

TEST_F(RunCaptureTest, BothStreamsGoToOnePrivateFileInTheOrderWritten) {
    const mode_t saved = ::umask(0); // the modes must not come from the umask
    auto c = start(Shell(QStringLiteral("echo one; echo two >&2; echo three; exit 0")));
    ::umask(saved);
    ASSERT_TRUE(waitForEnd(*c));
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(output(), QByteArray("one\ntwo\nthree\n"));
    EXPECT_EQ(c->end().how, ProcessEnd::How::Exited);
    EXPECT_EQ(c->end().exitStatus, 0);
    EXPECT_TRUE(c->hasFile());
    EXPECT_EQ(c->bytesKept(), 14);
    EXPECT_EQ(c->bytesLeftOut(), 0);
    EXPECT_TRUE(c->writeError().isEmpty());
    EXPECT_EQ(ModeOf(dir.file(QStringLiteral("runs"))), 0700u);
    EXPECT_EQ(ModeOf(dir.file(QStringLiteral("runs/run.out"))), 0600u);
    // The moments: UTC, in order, and the duration on the monotonic clock.
    EXPECT_EQ(c->startedUtc().timeSpec(), Qt::UTC);
    EXPECT_LE(c->startedUtc(), c->endedUtc());
    EXPECT_GT(c->durationNs(), 0);
    EXPECT_LT(c->durationNs(), 20'000'000'000LL);
}

TEST_F(RunCaptureTest, AnExistingFolderIsTightenedAndAnExitStatusKept) {
    QDir().mkpath(dir.file(QStringLiteral("runs")));
    QFile::setPermissions(dir.file(QStringLiteral("runs")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                              QFileDevice::ReadOther | QFileDevice::ExeOther);
    auto c = start(Shell(QStringLiteral("echo failing >&2; exit 3")));
    ASSERT_TRUE(waitForEnd(*c));
    EXPECT_EQ(c->end().how, ProcessEnd::How::Exited);
    EXPECT_EQ(c->end().exitStatus, 3);
    EXPECT_EQ(output(), QByteArray("failing\n"));
    EXPECT_EQ(ModeOf(dir.file(QStringLiteral("runs"))), 0700u);
}

TEST_F(RunCaptureTest, ALongOutputKeepsItsFirstAndLastHalvesAroundACutLine) {
    // 3 MiB that cannot be mistaken for one another at any offset.
    QByteArray data(3 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator gen(42);
    gen.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    const QString source = dir.file(QStringLiteral("source"));
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    auto c = start(QStringLiteral("cat ") + source);
    ASSERT_TRUE(waitForEnd(*c));
    const QByteArray expected =
        data.left(kHalf) + QByteArray("\n[... 2097152 bytes left out ...]\n") + data.right(kHalf);
    const QByteArray file = output();
    EXPECT_EQ(file.size(), expected.size());
    EXPECT_TRUE(file == expected);
    EXPECT_EQ(file.left(16), data.left(16));
    EXPECT_EQ(file.right(16), data.right(16));
    EXPECT_EQ(c->bytesReceived(), data.size());
    EXPECT_EQ(c->bytesKept(), 1024 * 1024);
    EXPECT_EQ(c->bytesLeftOut(), 2 * 1024 * 1024);
}

TEST_F(RunCaptureTest, PiecesOfAnySizeAreJoinedInOrderAcrossTheHalvesAndTheRing) {
    QByteArray data(300000, Qt::Uninitialized);
    QRandomGenerator gen(7);
    for (char& b : data)
        b = static_cast<char>(gen.bounded(256));
    const QString source = dir.file(QStringLiteral("piece"));
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    // Pieces that end just before, on and after the middle and the limit, and wrap the ring
    // several times.
    const std::vector<int> sizes = {1,      299999, 224287, 1,     300000, 223999, 1,      300000, 300000,
                                    300000, 12345,  65536,  65537, 299999, 7,      300000, 300000, 4097};
    QString script;
    QByteArray all;
    for (int n : sizes) {
        script += QStringLiteral("head -c %1 %2; ").arg(n).arg(source);
        all += data.left(n);
    }
    auto c = start(Shell(script));
    ASSERT_TRUE(waitForEnd(*c, 60000));
    ASSERT_GT(all.size(), 3 * kHalf);
    EXPECT_EQ(c->bytesReceived(), all.size());
    const QByteArray expected = all.left(kHalf) + RunOutputCutLine(all.size() - 2 * kHalf) + all.right(kHalf);
    EXPECT_TRUE(output() == expected);
}

TEST_F(RunCaptureTest, AHugeOutputNeverTakesMoreThanItsShareOfTheDisk) {
    // 256 MiB of zeros with a last line that must survive.
    auto c = start(Shell(QStringLiteral("head -c 268435456 /dev/zero; echo; echo the-last-line")));
    const QString path = dir.file(QStringLiteral("runs/run.out"));
    const qint64 most = 1024 * 1024 + RunOutputCutLine(268435456).size();
    qint64 largest = 0;
    ASSERT_TRUE(TurnLoopUntil(
        [&] {
            largest = std::max(largest, QFileInfo(path).size());
            return c->finished();
        },
        120000));
    EXPECT_LE(largest, most);
    const QByteArray file = output();
    EXPECT_EQ(file.size(), 1024 * 1024 + RunOutputCutLine(c->bytesLeftOut()).size());
    EXPECT_TRUE(file.endsWith(QByteArray("\0\nthe-last-line\n", 16)));
    EXPECT_EQ(c->bytesReceived(), 268435456 + 15);
    EXPECT_TRUE(
        file.contains("[... " + QByteArray::number(268435456 + 15 - 1024 * 1024) + " bytes left out ...]"));
}

TEST_F(RunCaptureTest, AProgramThatPrintsNothingLeavesNoFile) {
    auto c = start(QStringLiteral("true"));
    ASSERT_TRUE(waitForEnd(*c));
    EXPECT_EQ(c->end().how, ProcessEnd::How::Exited);
    EXPECT_FALSE(c->hasFile());
    EXPECT_FALSE(QFileInfo::exists(c->path()));
    EXPECT_EQ(c->bytesKept(), 0);
}

TEST_F(RunCaptureTest, AProgramEndedByASignalSaysWhich) {
    auto c = start(Shell(QStringLiteral("echo before; kill -KILL $$; echo after")));
    ASSERT_TRUE(waitForEnd(*c));
    EXPECT_EQ(c->end().how, ProcessEnd::How::Signalled);
    EXPECT_EQ(c->end().signal, SIGKILL);
    EXPECT_EQ(output(), QByteArray("before\n"));

    auto d = start(QStringLiteral("sleep 30"), QStringLiteral("other.out"));
    TurnLoopUntil([] { return false; }, 100);
    ASSERT_EQ(::kill(d->pid(), SIGTERM), 0);
    ASSERT_TRUE(waitForEnd(*d));
    EXPECT_EQ(d->end().how, ProcessEnd::How::Signalled);
    EXPECT_EQ(d->end().signal, SIGTERM);
    EXPECT_LT(d->durationNs(), 20'000'000'000LL);
}

TEST_F(RunCaptureTest, TheRecordEndsWithTheProgramNotWithAChildHoldingThePipe) {
    auto c = start(Shell(QStringLiteral("(sleep 6; echo late) & echo early; exit 4")));
    ASSERT_TRUE(waitForEnd(*c, 4000)); // long before the child lets the pipe go
    EXPECT_EQ(c->end().how, ProcessEnd::How::Exited);
    EXPECT_EQ(c->end().exitStatus, 4);
    EXPECT_EQ(output(), QByteArray("early\n"));
    EXPECT_LT(c->durationNs(), 4'000'000'000LL);
}

TEST_F(RunCaptureTest, AProgramThatClosesItsOutputIsFollowedToItsEnd) {
    auto c = start(Shell(QStringLiteral("echo said; exec >&- 2>&-; sleep 1; exit 5")));
    ASSERT_TRUE(TurnLoopUntil([&] { return output() == "said\n"; }));
    EXPECT_TRUE(c->running());
    ASSERT_TRUE(waitForEnd(*c));
    EXPECT_EQ(c->end().exitStatus, 5);
    EXPECT_EQ(output(), QByteArray("said\n"));
    EXPECT_GE(c->durationNs(), 900'000'000LL);
}

TEST_F(RunCaptureTest, OutputIsWrittenAsItComesWhileTheLoopKeepsTurning) {
    auto c = start(Shell(QStringLiteral("echo first; sleep 3; echo second")));
    // A timer every 10 ms, whose longest gap says how long the loop was held.
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    int ticks = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (ticks++ > 0)
            longest = std::max(longest, sinceTick.elapsed());
        sinceTick.restart();
    });
    sinceTick.start();
    ticker.start(10);
    ASSERT_TRUE(TurnLoopUntil([&] { return output() == "first\n"; }));
    EXPECT_TRUE(c->running());
    const int ticksAtFirst = ticks;
    ASSERT_TRUE(waitForEnd(*c));
    ticker.stop();
    EXPECT_EQ(output(), QByteArray("first\nsecond\n"));
    // While the program slept for 3 s the loop went on turning.
    EXPECT_GT(ticks - ticksAtFirst, 50);
    EXPECT_LT(longest, 1000);
}

TEST_F(RunCaptureTest, AnOutputThatCannotBeWrittenDoesNotStopTheProgram) {
    // The folder would have to be made inside a plain file.
    {
        QFile f(dir.file(QStringLiteral("runs")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    auto c = start(Shell(QStringLiteral("echo lost; exit 6")));
    ASSERT_TRUE(waitForEnd(*c));
    EXPECT_EQ(c->end().exitStatus, 6);
    EXPECT_FALSE(c->writeError().isEmpty());
    EXPECT_EQ(c->bytesKept(), 0);
    EXPECT_EQ(c->bytesLeftOut(), 5);
    EXPECT_FALSE(c->hasFile());
}

TEST_F(RunCaptureTest, ACaptureLetGoWhileItsProgramRunsKeepsWhatArrived) {
    auto c = start(Shell(QStringLiteral("echo so-far; sleep 30")));
    ASSERT_TRUE(TurnLoopUntil([&] { return c->bytesReceived() == 7; }));
    const pid_t pid = c->pid();
    c.reset();
    EXPECT_EQ(output(), QByteArray("so-far\n"));
    EXPECT_EQ(ends, 0);
    ::kill(pid, SIGKILL);
}

// Every word of a command line as the started program received it.
QStringList ArgumentsSeenBy(const QString& record) {
    const QByteArray bytes = FileBytes(record);
    QStringList words;
    for (const QByteArray& w : bytes.split('\0'))
        words << QString::fromUtf8(w);
    if (!words.isEmpty())
        words.removeLast(); // after the last terminator
    return words;
}

TEST_F(RunCaptureTest, KeepingTheOutputStartsTheSameArgumentVector) {
    const QString program = dir.file(QStringLiteral("args"));
    {
        QFile f(program);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" > \"$0.$1\"\necho printed\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    const QString rest = QStringLiteral(" \"two words\" it's a\\b \"\" \"x \"\"\"y\"\"\"\"  tail ");
    const QStringList expected = SplitCommandLine(program + QStringLiteral(" plain") + rest);
    ASSERT_EQ(expected.size(), 7); // the command line is split as a shell would for quotes and blanks
    EXPECT_EQ(expected[2], QStringLiteral("two words"));
    const auto words = expected.size();
    auto waitFor = [words](const QString& path) {
        return TurnLoopUntil([&] { return FileBytes(path).count('\0') >= words; });
    };
    // As a process, without and with the output kept.
    ASSERT_GT(processes.startProcess(program + QStringLiteral(" plain") + rest, Priority::Normal), 0);
    ASSERT_TRUE(waitFor(program + QStringLiteral(".plain")));
    auto c = start(program + QStringLiteral(" kept") + rest);
    ASSERT_TRUE(waitForEnd(*c));
    ASSERT_TRUE(waitFor(program + QStringLiteral(".kept")));
    const QStringList plain = ArgumentsSeenBy(program + QStringLiteral(".plain"));
    QStringList kept = ArgumentsSeenBy(program + QStringLiteral(".kept"));
    EXPECT_EQ(plain, expected);
    kept[1] = QStringLiteral("plain");
    EXPECT_EQ(kept, plain);
    EXPECT_EQ(output(), QByteArray("printed\n"));
}

} // namespace
} // namespace kr::test
