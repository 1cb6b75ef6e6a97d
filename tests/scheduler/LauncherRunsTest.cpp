#include "platform/Processes.h"
#include "scheduler/Launcher.h"
#include "store/Table.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

unsigned ModeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 07777;
}

struct RecordingSink final : RunSink {
    explicit RecordingSink(const ScriptedDialogs& d)
        : dialogs(d) {}
    void runStarted(const RunStarted& run) override {
        started.push_back(run);
        messagesAtStart.push_back(dialogs.shown.size());
    }
    void runEnded(const RunEnded& run) override { ended.push_back(run); }

    const ScriptedDialogs& dialogs;
    std::vector<RunStarted> started;
    std::vector<std::size_t> messagesAtStart;
    std::vector<RunEnded> ended;
};

class LauncherRunsTest : public ::testing::Test {
protected:
    LauncherRunsTest() {
        EnsureCoreApplication();
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        settings.scriptingDelay = 100;
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        launcher = std::make_unique<Launcher>(
            LauncherContext{*store, settings, clock, dialogs, *log, queue, processes, frame});
        QDir().mkpath(dir.file(QStringLiteral("Program Files/Tools")));
    }
    QString program(const QString& relative, const QByteArray& body) {
        const QString path = dir.file(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body);
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return path;
    }
    void capture() { launcher->captureRuns(runs(), &sink); }
    QString runs() const { return dir.file(QStringLiteral("runs")); }
    bool waitForEnds(std::size_t n) {
        return TurnLoopUntil([&] { return sink.ended.size() >= n; }, 20000);
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(10, 0, 0)};
    Settings settings;
    ActiveScriptQueue queue;
    NoFrame frame;
    LinuxProcesses processes;
    RecordingSink sink{dialogs};
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Launcher> launcher;
};

TEST_F(LauncherRunsTest, ATasksProgramHasItsOutputKeptAndItsEndTold) {
    const QString tool = program(QStringLiteral("Program Files/Tools/backup"),
                                 "echo copying \"$1\"\necho 'disk full' >&2\nexit 3\n");
    {
        Table<Scripting> items(*store);
        Scripting s;
        s.id = 12;
        s.sequence = 1;
        s.action = QStringLiteral("Set Value");
        ASSERT_EQ(items.add(s), Err::None);
    }
    capture();
    const QDateTime before = QDateTime::currentDateTimeUtc();
    launcher->launchTask(12, tool + QStringLiteral(" /home"), QString());
    ASSERT_EQ(sink.started.size(), 1u);
    const RunStarted s = sink.started[0];
    EXPECT_EQ(s.kind, RunStarted::Kind::Process);
    EXPECT_EQ(s.taskId, 12);
    EXPECT_FALSE(s.asProcess);
    EXPECT_GT(s.pid, 0);
    EXPECT_EQ(QFileInfo(s.outputPath).absolutePath(), runs());
    EXPECT_GE(s.startedUtc, before.addSecs(-1));
    EXPECT_EQ(s.command, tool + QStringLiteral(" /home"));
    // The task's script is queued as before.
    EXPECT_EQ(queue.size(), 2u);
    EXPECT_EQ(launcher->runsUnderWay(), 1u);

    ASSERT_TRUE(waitForEnds(1));
    const RunEnded e = sink.ended[0];
    EXPECT_EQ(e.run, s.run);
    EXPECT_EQ(e.taskId, 12);
    EXPECT_EQ(e.pid, s.pid);
    EXPECT_EQ(e.how, ProcessEnd::How::Exited);
    EXPECT_EQ(e.exitStatus, 3);
    EXPECT_EQ(e.outputPath, s.outputPath);
    EXPECT_EQ(FileBytes(e.outputPath), QByteArray("copying /home\ndisk full\n"));
    EXPECT_EQ(e.bytesKept, 24);
    EXPECT_EQ(e.bytesLeftOut, 0);
    EXPECT_LE(e.startedUtc, e.endedUtc);
    EXPECT_GT(e.durationNs, 0);
    EXPECT_EQ(ModeOf(runs()), 0700u);
    EXPECT_EQ(ModeOf(e.outputPath), 0600u);
    EXPECT_EQ(launcher->runsUnderWay(), 0u);

    // A second run of the same task gets a file of its own; a silent one none at all.
    launcher->launchTask(12, tool + QStringLiteral(" /srv"), QString());
    launcher->launchTask(12, QStringLiteral("true"), QString());
    ASSERT_TRUE(waitForEnds(3));
    EXPECT_NE(sink.started[1].run, sink.started[0].run);
    EXPECT_NE(sink.started[1].outputPath, s.outputPath);
    EXPECT_EQ(FileBytes(sink.started[1].outputPath), QByteArray("copying /srv\ndisk full\n"));
    const RunEnded silent = sink.ended[1].pid == sink.started[2].pid ? sink.ended[1] : sink.ended[2];
    EXPECT_EQ(silent.exitStatus, 0);
    EXPECT_TRUE(silent.outputPath.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(sink.started[2].outputPath));
    EXPECT_EQ(QDir(runs()).entryList(QDir::Files).size(), 2);
}

TEST_F(LauncherRunsTest, NothingIsKeptUnlessAskedFor) {
    const QString tool = program(QStringLiteral("tool"), "echo \"$1\" > \"$0.$1\"\n");
    launcher->launchTask(0, tool + QStringLiteral(" first"), QString());
    capture();
    launcher->captureRuns(runs(), nullptr);
    launcher->launchTask(0, tool + QStringLiteral(" second"), QString());
    ASSERT_TRUE(TurnLoopUntil([&] {
        return !FileBytes(tool + QStringLiteral(".first")).isEmpty() &&
               !FileBytes(tool + QStringLiteral(".second")).isEmpty();
    }));
    EXPECT_TRUE(sink.started.empty());
    EXPECT_FALSE(QFileInfo::exists(runs()));
    EXPECT_EQ(launcher->runsUnderWay(), 0u);
}

TEST_F(LauncherRunsTest, AnAddressIsHandedToTheDesktopWithNothingKept) {
    const QString opener =
        program(QStringLiteral("bin/xdg-open"), "echo opening \"$1\"\necho \"$1\" > \"$0.done\"\n");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.file(QStringLiteral("bin"))) + ':' + path);
    capture();
    launcher->launchProgram(0, QStringLiteral("https://example.org/"), QString(), QStringLiteral("open"), 0,
                            true, true, true, 0);
    qputenv("PATH", path);
    ASSERT_EQ(sink.started.size(), 1u);
    EXPECT_EQ(sink.started[0].kind, RunStarted::Kind::Desktop);
    EXPECT_EQ(sink.started[0].pid, 0);
    EXPECT_TRUE(sink.started[0].outputPath.isEmpty());
    ASSERT_TRUE(TurnLoopUntil([&] { return !FileBytes(opener + QStringLiteral(".done")).isEmpty(); }));
    TurnLoopUntil([] { return false; }, 200);
    EXPECT_TRUE(sink.ended.empty());
    EXPECT_FALSE(QFileInfo::exists(runs()));
    EXPECT_EQ(launcher->runsUnderWay(), 0u);
}

TEST_F(LauncherRunsTest, AFailedStartIsToldBeforeItsMessage) {
    capture();
    launcher->launchTask(5, QStringLiteral("/no/such/program --now"), QString());
    ASSERT_EQ(sink.started.size(), 1u);
    const RunStarted s = sink.started[0];
    EXPECT_EQ(s.kind, RunStarted::Kind::Failed);
    EXPECT_EQ(s.taskId, 5);
    EXPECT_EQ(s.failure, 3);
    EXPECT_EQ(s.failureText, QStringLiteral("Could not start /no/such/program --now."));
    EXPECT_EQ(s.failureReason, QStringLiteral("folder not found"));
    EXPECT_EQ(sink.messagesAtStart[0], 0u);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error Code 3"));

    // A script's start that fails shows nothing and is told all the same.
    EXPECT_FALSE(launcher->startProgram(QStringLiteral("/no/such/thing"), QString(), QString(), 1, 2, true));
    ASSERT_EQ(sink.started.size(), 2u);
    EXPECT_EQ(sink.started[1].kind, RunStarted::Kind::Failed);
    EXPECT_TRUE(sink.started[1].asProcess);
    EXPECT_GE(sink.started[1].failure, 0);
    EXPECT_LE(sink.started[1].failure, 32);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(sink.ended.empty());
}

TEST_F(LauncherRunsTest, AScriptsProgramIsKeptAndCanStillBeWaitedFor) {
    capture();
    const QString tool = program(QStringLiteral("step"), "echo step done\nsleep 0.3\nexit 2\n");
    ASSERT_TRUE(launcher->startProgram(tool, QString(), QString(), 1, 2, true));
    ASSERT_EQ(sink.started.size(), 1u);
    EXPECT_EQ(sink.started[0].kind, RunStarted::Kind::Process);
    EXPECT_TRUE(sink.started[0].asProcess);
    EXPECT_EQ(sink.started[0].pid, launcher->lastProcess());
    EXPECT_EQ(launcher->lastExitCode(), kStillActive);
    ASSERT_TRUE(waitForEnds(1));
    EXPECT_EQ(launcher->lastExitCode(), 2);
    EXPECT_EQ(sink.ended[0].exitStatus, 2);
    EXPECT_EQ(FileBytes(sink.ended[0].outputPath), QByteArray("step done\n"));

    // Ended by a signal.
    ASSERT_TRUE(launcher->startProgram(QStringLiteral("sleep 30"), QString(), QString(), 1, 2, true));
    ASSERT_EQ(::kill(launcher->lastProcess(), SIGKILL), 0);
    ASSERT_TRUE(waitForEnds(2));
    EXPECT_EQ(sink.ended[1].how, ProcessEnd::How::Signalled);
    EXPECT_EQ(sink.ended[1].signal, SIGKILL);
    EXPECT_EQ(launcher->lastExitCode(), 128 + SIGKILL);
}

TEST_F(LauncherRunsTest, KeepingRunsChangesNothingAboutHowACommandIsStarted) {
    // A program in a folder with a blank, found only by the backwards scan; it writes the words
    // it received, each ended by a zero byte, into a file named by its first one.
    const QString tool = program(QStringLiteral("Program Files/Tools/args"),
                                 "printf '%s\\0' \"$0\" \"$@\" > \"$0.$1\"\necho printed\n");
    const QString rest = QStringLiteral(" \"two words\" it's  a\\b \"x \"\"\"y\"\"\"\" tail");
    auto words = [&](const QString& tag) {
        const QString record = tool + QLatin1Char('.') + tag;
        EXPECT_TRUE(TurnLoopUntil([&] { return FileBytes(record).count('\0') >= 7; })) << tag.toStdString();
        QStringList w;
        for (const QByteArray& b : FileBytes(record).split('\0'))
            w << QString::fromUtf8(b);
        w.removeLast();
        if (w.size() > 1)
            w[1] = QStringLiteral("TAG");
        return w;
    };
    // The due task's way and a script's way (whose process start fails on the blank and falls
    // back to the same scan), each without and with keeping.
    launcher->launchTask(0, tool + QStringLiteral(" task") + rest, QString());
    launcher->startProgram(tool + QStringLiteral(" item") + rest, QString(), QString(), 1, 2, true);
    const QStringList task = words(QStringLiteral("task"));
    const QStringList item = words(QStringLiteral("item"));
    capture();
    launcher->launchTask(0, tool + QStringLiteral(" taskkept") + rest, QString());
    launcher->startProgram(tool + QStringLiteral(" itemkept") + rest, QString(), QString(), 1, 2, true);
    EXPECT_EQ(words(QStringLiteral("taskkept")), task);
    EXPECT_EQ(words(QStringLiteral("itemkept")), item);
    EXPECT_EQ(task,
              (QStringList{tool, QStringLiteral("TAG"), QStringLiteral("two words"), QStringLiteral("it's"),
                           QStringLiteral("a\\b"), QStringLiteral("x \"y\""), QStringLiteral("tail")}));
    EXPECT_EQ(item, task);
    ASSERT_TRUE(waitForEnds(2));
    ASSERT_EQ(sink.started.size(), 2u);
    for (const RunStarted& s : sink.started)
        EXPECT_EQ(s.kind, RunStarted::Kind::Process);
    for (const RunEnded& e : sink.ended)
        EXPECT_EQ(FileBytes(e.outputPath), QByteArray("printed\n"));
}

} // namespace
} // namespace kr::test
