#include "scheduler/Launcher.h"
#include "platform/Processes.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class LauncherTest : public ::testing::Test {
protected:
    LauncherTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        settings.logEvents = true;
        settings.scriptingDelay = 100;
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        launcher = std::make_unique<Launcher>(
            LauncherContext{*store, settings, clock, dialogs, *log, queue, processes, frame});
        QDir().mkpath(dir.file(QStringLiteral("Program Files/Tools")));
        QDir().mkpath(dir.file(QStringLiteral("plain")));
        writer(QStringLiteral("Program Files/Tools/writer"));
        writer(QStringLiteral("plain/writer"));
    }
    // A program that writes its arguments and working directory into "out".
    void writer(const QString& relative) {
        QFile f(dir.file(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\necho \"$*|$(pwd)\" > '%1'\n")
                    .arg(dir.file(QStringLiteral("out")))
                    .toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    QString waitForOutput() {
        QElapsedTimer t;
        t.start();
        QFile f(dir.file(QStringLiteral("out")));
        while (t.elapsed() < 10000) {
            if (f.exists() && f.size() > 0 && f.open(QIODevice::ReadOnly))
                return QString::fromUtf8(f.readAll()).trimmed();
            QThread::msleep(20);
        }
        return QStringLiteral("<nothing>");
    }
    void addItem(qint32 task, qint32 sequence, const QString& action, qint32 seconds = 0,
                 const QString& mode = {}) {
        Table<Scripting> items(*store);
        Scripting s;
        s.id = task;
        s.sequence = sequence;
        s.action = action;
        s.secondsToWait = seconds;
        s.ddeApplicationName = mode;
        ASSERT_EQ(items.add(s), Err::None);
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(10, 0, 0)};
    Settings settings;
    ActiveScriptQueue queue;
    NoFrame frame;
    LinuxProcesses processes;
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Launcher> launcher;
};

TEST_F(LauncherTest, APathWithBlanksIsFoundByScanningBackwards) {
    launcher->launchTask(
        0, dir.file(QStringLiteral("Program Files/Tools/writer")) + QStringLiteral(" report.txt"), QString());
    EXPECT_EQ(waitForOutput().section(QLatin1Char('|'), 0, 0), QStringLiteral("report.txt"));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_GT(launcher->lastStartResult(), 32);
}

TEST_F(LauncherTest, AQuotedProgramTakesTheRestAsParameters) {
    launcher->launchTask(0,
                         QLatin1Char('"') + dir.file(QStringLiteral("Program Files/Tools/writer")) +
                             QStringLiteral("\" -a"),
                         dir.file(QStringLiteral("plain")));
    const QString out = waitForOutput();
    EXPECT_EQ(out.section(QLatin1Char('|'), 0, 0), QStringLiteral("-a"));
    // Started in its start directory; ours is put back.
    EXPECT_EQ(out.section(QLatin1Char('|'), 1), dir.file(QStringLiteral("plain")));
    EXPECT_NE(QDir::currentPath(), dir.file(QStringLiteral("plain")));
}

TEST_F(LauncherTest, ASimpleCommandSplitsAtItsFirstBlank) {
    launcher->launchTask(0, dir.file(QStringLiteral("plain/writer")) + QStringLiteral(" -x  -y "), QString());
    EXPECT_EQ(waitForOutput().section(QLatin1Char('|'), 0, 0), QStringLiteral("-x -y"));
}

TEST_F(LauncherTest, ACommandThatCannotStartIsReportedAndQueuesNothing) {
    addItem(5, 1, QStringLiteral("Set Value"));
    launcher->launchTask(5, QStringLiteral("/no/such/program --now"), QString());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Could not start /no/such/program --now."));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error Code 3"));
    EXPECT_TRUE(queue.empty());
}

TEST_F(LauncherTest, NotApplicableOnlyQueuesTheScriptAtItsMoments) {
    addItem(7, 1, QStringLiteral("Set Value"));
    addItem(7, 2, QStringLiteral("Send Keystrokes"));
    addItem(7, 3, QStringLiteral("Start Program"));
    launcher->launchTask(7, QStringLiteral("n/a"), QString());
    ASSERT_EQ(queue.size(), 4u);
    const Time now = clock.now();
    EXPECT_EQ(queue.entries()[0].dueTime, now + 300);
    EXPECT_EQ(queue.entries()[1].dueTime, now + 400);
    EXPECT_EQ(queue.entries()[2].dueTime, now + 500);
    EXPECT_EQ(queue.entries()[3].item.action, kEndMarker);
    EXPECT_EQ(queue.entries()[3].dueTime, now + 500);
    EXPECT_EQ(queue.entries()[0].item.id, 7);
    EXPECT_EQ(queue.entries()[0].dueDate, clock.today());

    // A second script starts one delay after the last entry already queued.
    addItem(8, 1, QStringLiteral("Set Value"));
    launcher->launchTask(8, QStringLiteral("N/A"), QString());
    ASSERT_EQ(queue.size(), 6u);
    EXPECT_EQ(queue.entries()[4].dueTime, now + 500 + 100 + 100);
    EXPECT_EQ(queue.entries()[5].item.action, kEndMarker);
}

TEST_F(LauncherTest, WaitsConditionsAndDeadlinesAreTimedAsQueued) {
    addItem(9, 1, QStringLiteral("Wait"), 5);
    addItem(9, 2, QStringLiteral("If Time Elapsed..."));
    addItem(9, 3, QStringLiteral("Wait"), 10, QStringLiteral("Or"));
    addItem(9, 4, QStringLiteral("...End If"));
    addItem(9, 5, QStringLiteral("Send Keystrokes"));
    {
        Table<Scripting> items(*store);
        Scripting s;
        s.id = 9;
        s.sequence = 2;
        ASSERT_EQ(items.get(Scripting::KEYID, s), Err::None);
        s.timeElapsed = 60;
        ASSERT_EQ(items.put(s), Err::None);
    }
    clock.set(DateFromYmd(2026, 12, 8), kOneDay - 300); // late in the evening
    launcher->launchTask(9, QStringLiteral("N/A"), QString());
    ASSERT_EQ(queue.size(), 6u);
    const Time base = kOneDay - 300 + 200;
    // The wait is due its seconds after the start, carried into tomorrow.
    EXPECT_EQ(queue.entries()[0].dueDate, DateFromYmd(2026, 12, 9));
    EXPECT_EQ(queue.entries()[0].dueTime, base + 500 - kOneDay);
    // The condition costs nothing and carries its deadline from the script's start.
    EXPECT_EQ(queue.entries()[1].dueTime, queue.entries()[0].dueTime);
    EXPECT_EQ(queue.entries()[1].item.secondsToWait, DateFromYmd(2026, 12, 9));
    EXPECT_EQ(queue.entries()[1].item.timeElapsed, base + 6000 - kOneDay);
    // An "Or" wait costs nothing either, and starts without a deadline.
    EXPECT_EQ(queue.entries()[2].dueTime, queue.entries()[0].dueTime);
    EXPECT_EQ(queue.entries()[2].item.timeElapsed, 0);
    EXPECT_EQ(queue.entries()[3].dueTime, queue.entries()[0].dueTime);
    EXPECT_EQ(queue.entries()[4].dueTime, queue.entries()[0].dueTime + 100);
}

TEST_F(LauncherTest, AProcessCanBeWaitedForAndGivesItsExitCode) {
    const QString script = dir.file(QStringLiteral("slow"));
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nsleep 0.5\nexit 7\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    ASSERT_TRUE(launcher->startProgram(script, QString(), QString(), 1, 2, true));
    EXPECT_EQ(launcher->lastExitCode(), kStillActive);
    QElapsedTimer t;
    t.start();
    while (launcher->lastExitCode() == kStillActive && t.elapsed() < 10000)
        QThread::msleep(20);
    EXPECT_EQ(launcher->lastExitCode(), 7);
    EXPECT_EQ(launcher->lastWindowMode(), 1);

    // A program that is not there: the process start fails, no message.
    EXPECT_FALSE(launcher->startProgram(QStringLiteral("/no/such/thing"), QString(), QString(), 1, 2, true));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(LauncherTest, LowPriorityRunsNiced) {
    ASSERT_TRUE(launcher->startProgram(QStringLiteral("sleep 2"), QString(), QString(), 1, 1, true));
    QFile stat(QStringLiteral("/proc/%1/stat").arg(launcher->lastProcess()));
    ASSERT_TRUE(stat.open(QIODevice::ReadOnly));
    const QString fields = QString::fromLatin1(stat.readAll()).section(QLatin1Char(')'), 1);
    EXPECT_EQ(fields.split(QLatin1Char(' '), Qt::SkipEmptyParts).value(16), QStringLiteral("19"));
}

TEST_F(LauncherTest, ChainingStartsTheCommandAndClosesTheProgram) {
    const QString chain = dir.file(QStringLiteral("KRCHAIN"));
    {
        QFile f(chain);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            QStringLiteral("#!/bin/sh\necho \"$*\" > '%1'\n").arg(dir.file(QStringLiteral("out"))).toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.path()) + ':' + path);
    addItem(3, 1, QStringLiteral("Set Value"));
    launcher->launchTask(3, QStringLiteral("KRCHAIN next-step"), QString());
    qputenv("PATH", path);
    EXPECT_EQ(waitForOutput(), QStringLiteral("next-step"));
    EXPECT_TRUE(frame.closed);
    EXPECT_TRUE(queue.empty());
}

} // namespace
} // namespace kr::test
