#include "script/Runner.h"
#include "platform/Processes.h"
#include "scheduler/FrameView.h"
#include "scheduler/Launcher.h"
#include "script/ScriptFile.h"
#include "script/ScriptItems.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

// A desktop whose windows the test opens and closes.
struct FakeDesktop final : ScriptServices {
    QStringList windows;
    QStringList activated;
    QStringList done;
    bool windowExists(const QString& pattern, const QString&) override {
        return windows.contains(pattern.trimmed());
    }
    bool activateWindow(const QString& pattern, const QString& confirm) override {
        if (!windowExists(pattern, confirm))
            return false;
        activated << pattern.trimmed();
        return true;
    }
    void sendKeystrokes(QueueEntry& e) override { done << QStringLiteral("keys:") + Clip(e.item.keystrokes); }
    void setFocus(QueueEntry& e) override { done << QStringLiteral("focus:") + Clip(e.item.focusOnWindow); }
    qint32 fileAction(const QString& type, const QString&, const QString&) override {
        done << QStringLiteral("file:") + Clip(type);
        return 1;
    }
};

Date D(int y, int m, int d) {
    return DateFromYmd(y, m, d);
}

class RunnerTest : public ::testing::Test {
protected:
    RunnerTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        settings.logEvents = true;
        settings.scriptingDelay = 50;
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        launcher = std::make_unique<Launcher>(
            LauncherContext{*store, settings, clock, dialogs, *log, queue, processes, frame});
        runner = std::make_unique<ScriptRunner>(
            RunnerContext{queue, values, settings, clock, dialogs, *log, *launcher, desktop, debug,
                          [this](const QString& s) { status = s; }, nullptr});
    }
    // An entry due now for task `task`.
    QueueEntry& add(const QString& action, qint32 task = 1) {
        QueueEntry e;
        e.item.id = task;
        e.item.action = action;
        e.dueDate = clock.today();
        e.dueTime = clock.now();
        queue.append(e);
        return queue.entries().back();
    }
    QStringList actions() const {
        QStringList out;
        for (const auto& e : queue.entries())
            out << Clip(e.item.action) + (Clip(e.item.keystrokes).isEmpty()
                                              ? QString()
                                              : QLatin1Char(':') + Clip(e.item.keystrokes));
        return out;
    }
    QStringList logData() {
        QFile f(dir.file(kEventLogName));
        f.open(QIODevice::ReadOnly);
        QStringList out;
        for (const QString& l :
             QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            out << l.mid(52).trimmed();
        return out;
    }
    // Steps until the queue is empty or `max` steps were taken, moving the clock a second each.
    int runAll(int max = 100) {
        int steps = 0;
        while (!queue.empty() && steps < max) {
            clock.advance(100);
            runner->runScriptStep();
            ++steps;
        }
        return steps;
    }
    void writeFile(const QString& name, const QStringList& lines) {
        QFile f(dir.file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (const QString& l : lines)
            f.write((l + QLatin1Char('\n')).toUtf8());
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{D(2026, 12, 8), TimeFromHms(10, 0, 0)};
    Settings settings;
    ActiveScriptQueue queue;
    NoFrame frame;
    LinuxProcesses processes;
    FakeDesktop desktop;
    int debug = 0;
    QString status;
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<ScriptRunner> runner;
};

TEST_F(RunnerTest, EntriesRunOnlyWhenDueAndOneAtATime) {
    QueueEntry& keys = add(QStringLiteral("Send Keystrokes"));
    keys.item.keystrokes = QStringLiteral("hello");
    keys.dueTime = clock.now() + 500;
    add(kEndMarker).dueTime = clock.now() + 550;
    runner->runScriptStep();
    EXPECT_TRUE(desktop.done.isEmpty());
    EXPECT_EQ(status, QString());
    clock.advance(450); // less than a second away: the status line shows what comes
    runner->runScriptStep();
    EXPECT_EQ(status, QStringLiteral("Send Keystrokes-hello"));
    EXPECT_TRUE(desktop.done.isEmpty());
    clock.advance(51);
    runner->runScriptStep();
    EXPECT_EQ(desktop.done, QStringList{QStringLiteral("keys:hello")});
    EXPECT_EQ(queue.size(), 1u);
    // The end marker is the queue's own: never shown or logged as an item.
    EXPECT_EQ(status, QStringLiteral("Script Completed"));
    clock.advance(100);
    runner->runScriptStep();
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(status, QStringLiteral("Script Completed"));
    EXPECT_EQ(logData(), (QStringList{"Send Keystrokes"}));

    // A tomorrow entry waits for tomorrow.
    add(QStringLiteral("Set Value")).dueDate = clock.today() + 1;
    clock.advance(kOneHour);
    runner->runScriptStep();
    EXPECT_EQ(queue.size(), 1u);
}

TEST_F(RunnerTest, OnlyAScriptThatRanIsCompleted) {
    // A task without script items queues its end alone: nothing ran, nothing is completed.
    launcher->queueTaskScript(7);
    ASSERT_EQ(actions(), QStringList{kEndMarker});
    status = QStringLiteral("Next: Backup");
    runAll();
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(status, QStringLiteral("Next: Backup"));

    // One with an item: completed once it ran, and only then.
    {
        Table<Scripting> items(*store);
        Scripting s;
        s.id = 8;
        s.sequence = 1;
        s.action = QStringLiteral("Set Value");
        s.path = QStringLiteral("DONE");
        s.command = QStringLiteral("yes");
        ASSERT_EQ(items.add(s), Err::None);
    }
    launcher->queueTaskScript(8);
    launcher->queueTaskScript(7); // and an empty one after it
    ASSERT_EQ(actions(), (QStringList{QStringLiteral("Set Value"), kEndMarker, kEndMarker}));
    QStringList shown;
    while (!queue.empty() && shown.size() < 100) {
        clock.advance(100);
        runner->runScriptStep();
        if (shown.isEmpty() || shown.back() != status)
            shown << status;
    }
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.back(), QStringLiteral("Script Completed"));
    EXPECT_EQ(shown.count(QStringLiteral("Script Completed")), 1);
    EXPECT_EQ(values.getValue(QStringLiteral("DONE")), QStringLiteral("yes"));
}

TEST_F(RunnerTest, AFalseWindowTestRemovesItsBlockWithNestedBlocks) {
    QueueEntry& test = add(QStringLiteral("If Window..."));
    test.item.windowTitleToCheckFor = QStringLiteral("Calculator");
    test.item.windowExistance = QStringLiteral("Window Doesn't Exist");
    desktop.windows << QStringLiteral("Calculator");
    add(QStringLiteral("Send Keystrokes")).item.keystrokes = QStringLiteral("inside");
    add(QStringLiteral("If Value...")).item.command = QStringLiteral("X");
    add(QStringLiteral("Send Keystrokes")).item.keystrokes = QStringLiteral("nested");
    add(QStringLiteral("...End If"));
    add(QStringLiteral("...End If"));
    add(QStringLiteral("Send Keystrokes")).item.keystrokes = QStringLiteral("after");
    add(kEndMarker);
    clock.advance(100);
    runner->runScriptStep();
    EXPECT_EQ(actions(), (QStringList{"Send Keystrokes:after", "**End**"}));
    EXPECT_EQ(logData(), (QStringList{"If Window...", "...End If"}));
    runAll();
    EXPECT_EQ(desktop.done, QStringList{QStringLiteral("keys:after")});

    // The same test passes when the window is gone; in debug mode it says so.
    debug = 1;
    desktop.windows.clear();
    QueueEntry& again = add(QStringLiteral("If Window..."));
    again.item.windowTitleToCheckFor = QStringLiteral("Calculator");
    again.item.windowExistance = QStringLiteral("Window Doesn't Exist");
    add(QStringLiteral("...End If"));
    runAll();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Test passed"));
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Next item will be processed."));
}

TEST_F(RunnerTest, ElapsedTimeTestsCountFromTheScriptsStart) {
    Scripting greater;
    greater.id = 5;
    greater.sequence = 1;
    greater.action = QStringLiteral("If Time Elapsed...");
    greater.ifTimeElapsed = QStringLiteral("Greater Than");
    greater.timeElapsed = 0;
    Scripting keys;
    keys.id = 5;
    keys.sequence = 2;
    keys.action = QStringLiteral("Send Keystrokes");
    keys.keystrokes = QStringLiteral("greater");
    Scripting endIf;
    endIf.id = 5;
    endIf.sequence = 3;
    endIf.action = QStringLiteral("...End If");
    Scripting less = greater;
    less.sequence = 4;
    less.ifTimeElapsed = QStringLiteral("Less Than");
    less.timeElapsed = 3600;
    Scripting keys2 = keys;
    keys2.sequence = 5;
    keys2.keystrokes = QStringLiteral("less");
    Scripting endIf2 = endIf;
    endIf2.sequence = 6;
    {
        Table<Scripting> items(*store);
        for (Scripting* s : {&greater, &keys, &endIf, &less, &keys2, &endIf2})
            ASSERT_EQ(items.add(*s), Err::None);
    }
    launcher->launchTask(5, QStringLiteral("N/A"), QString());
    runAll();
    EXPECT_EQ(desktop.done, (QStringList{"keys:greater", "keys:less"}));

    // An hour and more after the start, "Less Than 3600" is false.
    desktop.done.clear();
    launcher->launchTask(5, QStringLiteral("N/A"), QString());
    clock.advance(kOneHour + 500);
    runAll();
    EXPECT_EQ(desktop.done, (QStringList{"keys:greater"}));
}

TEST_F(RunnerTest, AWaitForAWindowToCloseShiftsTheRestOfTheQueue) {
    QueueEntry& wait = add(QStringLiteral("Wait"));
    wait.item.waitForWindow = QStringLiteral("~Untitled - *");
    desktop.windows << QStringLiteral("Untitled - *");
    QueueEntry& keys = add(QStringLiteral("Send Keystrokes"));
    keys.item.keystrokes = QStringLiteral("later");
    keys.dueTime = clock.now() + 50;
    add(kEndMarker).dueTime = clock.now() + 100;
    clock.advance(1);
    runner->runScriptStep();
    EXPECT_TRUE(runner->waiting());
    for (int i = 0; i < 10; ++i) {
        clock.advance(100);
        runner->runScriptStep();
    }
    EXPECT_EQ(queue.size(), 3u); // still waiting after ten seconds
    desktop.windows.clear();
    clock.advance(100);
    runner->runScriptStep();
    EXPECT_FALSE(runner->waiting());
    ASSERT_EQ(queue.size(), 2u);
    // Eleven seconds spent waiting move the rest on by as much.
    EXPECT_EQ(queue.entries()[0].dueTime, TimeFromHms(10, 0, 0) + 50 + 1100);
    EXPECT_EQ(queue.entries()[1].dueTime, TimeFromHms(10, 0, 0) + 100 + 1100);
}

TEST_F(RunnerTest, AWaitForAWindowActivatesItAndAnOrWaitEndsAtItsDeadline) {
    QueueEntry& wait = add(QStringLiteral("Wait"));
    wait.item.waitForWindow = QStringLiteral("Editor");
    clock.advance(1);
    runner->runScriptStep();
    EXPECT_EQ(queue.size(), 1u);
    desktop.windows << QStringLiteral("Editor");
    runner->runScriptStep();
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(desktop.activated, QStringList{QStringLiteral("Editor")});

    QueueEntry& orWait = add(QStringLiteral("Wait"));
    orWait.item.waitForWindow = QStringLiteral("Never");
    orWait.item.ddeApplicationName = QStringLiteral("Or");
    orWait.item.secondsToWait = 10;
    add(kEndMarker);
    clock.advance(1);
    runner->runScriptStep();
    EXPECT_EQ(queue.front().item.timeElapsed, clock.now() + 1000);
    EXPECT_EQ(runAll(9), 9);
    EXPECT_EQ(queue.size(), 2u);
    runAll(2);
    EXPECT_EQ(queue.size(), 1u);
    EXPECT_FALSE(runner->waiting());
}

TEST_F(RunnerTest, UnknownActionsAreReportedAndTheScriptGoesOn) {
    add(QStringLiteral("Dance"));
    add(QStringLiteral("Send Keystrokes")).item.keystrokes = QStringLiteral("next");
    runAll();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Invalid script option:  Dance"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Script Error"));
    EXPECT_EQ(desktop.done, QStringList{QStringLiteral("keys:next")});
}

TEST_F(RunnerTest, ExitScriptEndsOnlyItsOwnScript) {
    add(QStringLiteral("Exit Script"), 1);
    add(QStringLiteral("Send Keystrokes"), 1).item.keystrokes = QStringLiteral("skipped");
    add(kEndMarker, 1);
    add(QStringLiteral("Send Keystrokes"), 2).item.keystrokes = QStringLiteral("other task");
    add(kEndMarker, 2);
    clock.advance(1);
    runner->runScriptStep();
    EXPECT_EQ(actions(), (QStringList{"Send Keystrokes:other task", "**End**"}));
    EXPECT_TRUE(logData().isEmpty());
}

// Hears the scripts' endings.
struct RecordingWatcher final : ScriptWatcher {
    QStringList heard;
    void scriptEnded(qint32 taskId, const QString& ending) override {
        heard << QStringLiteral("%1 %2").arg(taskId).arg(ending);
    }
    void programWaited(qint32 taskId, const QString& command, int exitCode) override {
        heard << QStringLiteral("%1 waited %2: %3").arg(taskId).arg(command).arg(exitCode);
    }
};

TEST_F(RunnerTest, EachScriptsEndingIsToldOnceWithTheFirstItemThatFailed) {
    RecordingWatcher watcher;
    runner = std::make_unique<ScriptRunner>(RunnerContext{queue, values, settings, clock, dialogs, *log, *launcher,
                                                          desktop, debug, {}, nullptr, &watcher});
    add(QStringLiteral("Send Keystrokes"), 1).item.keystrokes = QStringLiteral("a");
    add(kEndMarker, 0);
    add(QStringLiteral("Exit Script"), 2);
    add(QStringLiteral("Send Keystrokes"), 2).item.keystrokes = QStringLiteral("never");
    add(kEndMarker, 0);
    add(QStringLiteral("Dance"), 3);
    QueueEntry& missing = add(QStringLiteral("Start Program"), 3);
    missing.item.command = dir.file(QStringLiteral("no-such-program"));
    add(kEndMarker, 0);
    add(kEndMarker, 0); // a task without items: nothing ran, nothing ended
    runAll();
    EXPECT_EQ(watcher.heard, (QStringList{"1 Script Completed", "2 Exit Script", "3 item failed: Dance"}));
    EXPECT_EQ(desktop.done, QStringList{QStringLiteral("keys:a")});

    // Stop Running Script empties the queue under a script that has not reached its end.
    watcher.heard.clear();
    add(QStringLiteral("Send Keystrokes"), 4).item.keystrokes = QStringLiteral("b");
    add(QStringLiteral("Send Keystrokes"), 4).item.keystrokes = QStringLiteral("c");
    add(kEndMarker, 0);
    clock.advance(100);
    runner->runScriptStep();
    queue.clear();
    runner->runScriptStep();
    runner->runScriptStep();
    EXPECT_EQ(watcher.heard, QStringList{QStringLiteral("4 stopped by the user")});

    // A program waited for: its exit status, and the script goes on to its end.
    watcher.heard.clear();
    const QString exit2 = dir.file(QStringLiteral("exit2"));
    {
        QFile f(exit2);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nexit 2\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    QueueEntry& waited = add(QStringLiteral("Start Program"), 5);
    waited.item.command = exit2;
    waited.item.ddeApplicationName = QStringLiteral("121");
    add(kEndMarker, 0);
    QElapsedTimer t;
    t.start();
    while (!queue.empty() && t.elapsed() < 10000) {
        QThread::msleep(20);
        clock.advance(10);
        runner->runScriptStep();
    }
    EXPECT_EQ(watcher.heard, (QStringList{QStringLiteral("5 waited %1: 2").arg(exit2), "5 Script Completed"}));
}

TEST_F(RunnerTest, MessagesAndValuesUseSubstitution) {
    QueueEntry& set = add(QStringLiteral("Set Value"));
    set.item.path = QStringLiteral("who");
    set.item.command = QStringLiteral("Ann");
    QueueEntry& msg = add(QStringLiteral("Display Message"));
    msg.item.ddeApplicationName = QStringLiteral("Hello [WHO]");
    msg.item.ddeApplicationTopic = QStringLiteral("For [who]");
    QueueEntry& test = add(QStringLiteral("If Value..."));
    test.item.command = QStringLiteral("WHO");
    test.item.windowTitleToCheckFor = QStringLiteral("=");
    test.item.waitForWindow = QStringLiteral("Bob");
    add(QStringLiteral("Send Keystrokes")).item.keystrokes = QStringLiteral("bob only");
    add(QStringLiteral("...End If"));
    runAll();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Hello Ann"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("For Ann"));
    EXPECT_TRUE(desktop.done.isEmpty());
    EXPECT_TRUE(
        logData().contains(QStringLiteral("If Value...").leftJustified(27) + QStringLiteral(" *FALSE*")));
}

TEST_F(RunnerTest, AProgramIsWaitedForUntilItEndsOrTimesOut) {
    const QString script = dir.file(QStringLiteral("exit7"));
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nsleep 0.3\nexit 7\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    QueueEntry& start = add(QStringLiteral("Start Program"));
    start.item.command = script;
    start.item.ddeApplicationName = QStringLiteral("121");
    add(QStringLiteral("Send Keystrokes")).item.keystrokes = QStringLiteral("after");
    clock.advance(1);
    runner->runScriptStep();
    EXPECT_EQ(Clip(queue.front().item.action), QStringLiteral("Wait for Program End"));
    QElapsedTimer t;
    t.start();
    while (Clip(queue.front().item.action) == QStringLiteral("Wait for Program End") && t.elapsed() < 10000) {
        QThread::msleep(50);
        runner->runScriptStep();
    }
    EXPECT_EQ(values.getValue(QStringLiteral("ExitCode")), QStringLiteral("7"));
    EXPECT_EQ(Clip(queue.front().item.action), QStringLiteral("Send Keystrokes"));

    // One that stays open: after its time-out the script goes on with ExitCode 259.
    queue.clear();
    QueueEntry& sleeper = add(QStringLiteral("Start Program"));
    sleeper.item.command = QStringLiteral("sleep 30");
    sleeper.item.ddeApplicationName = QStringLiteral("1");
    sleeper.item.timeElapsed = 2;
    add(kEndMarker);
    clock.advance(1);
    runner->runScriptStep();
    runner->runScriptStep();
    EXPECT_EQ(values.getValue(QStringLiteral("ExitCode")), QStringLiteral("259"));
    EXPECT_EQ(queue.size(), 2u);
    clock.advance(201);
    runner->runScriptStep();
    EXPECT_EQ(queue.size(), 1u);
    ::kill(launcher->lastProcess(), SIGTERM);
}

TEST_F(RunnerTest, StartScriptInsertsJumpsOrAppends) {
    writeFile(QStringLiteral("two.krs"),
              {QStringLiteral("\"Send Keystrokes\",\"one\",\"\",\"\",\"\",\"\""),
               QStringLiteral("\"Mystery\",\"x\""), QStringLiteral("\"Send Keystrokes\",\"two\"")});
    auto prepare = [&](const QString& type, const QString& file) {
        queue.clear();
        QueueEntry& start = add(QStringLiteral("Start Script"), 7);
        start.item.command = dir.file(file);
        start.item.path = type;
        add(QStringLiteral("Send Keystrokes"), 7).item.keystrokes = QStringLiteral("rest");
        add(kEndMarker, 7);
        add(QStringLiteral("Send Keystrokes"), 8).item.keystrokes = QStringLiteral("other");
        clock.advance(1);
        runner->runScriptStep();
    };
    prepare(QStringLiteral("Insert (Execute and continue)"), QStringLiteral("two.krs"));
    EXPECT_EQ(actions(), (QStringList{"Send Keystrokes:one", "Mystery", "Send Keystrokes:two",
                                      "Send Keystrokes:rest", "**End**", "Send Keystrokes:other"}));
    EXPECT_EQ(queue.front().item.id, 7);
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("Unrecognized script action: Mystery"));
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("Import Error"));

    prepare(QStringLiteral("Jump to (Execute and skip)"), QStringLiteral("two.krs"));
    EXPECT_EQ(actions(), (QStringList{"Send Keystrokes:one", "Mystery", "Send Keystrokes:two"}));

    prepare(QStringLiteral("Append"), QStringLiteral("two.krs"));
    EXPECT_EQ(actions(), (QStringList{"Send Keystrokes:rest", "**End**", "Send Keystrokes:other",
                                      "Send Keystrokes:one", "Mystery", "Send Keystrokes:two", "**End**"}));
    // The loaded items come after everything already queued.
    EXPECT_GT(queue.entries()[3].dueTime, queue.entries()[2].dueTime);

    const std::size_t before = dialogs.shown.size();
    prepare(QStringLiteral("Jump to (Execute and skip)"), QStringLiteral("missing.krs"));
    EXPECT_TRUE(queue.empty());
    ASSERT_GT(dialogs.shown.size(), before);
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("File Error"));
    prepare(QStringLiteral("Insert (Execute and continue)"), QStringLiteral("missing.krs"));
    EXPECT_EQ(actions(), (QStringList{"Send Keystrokes:rest", "**End**", "Send Keystrokes:other"}));
}

TEST_F(RunnerTest, StartScriptReadsAFileOfAnOlderInstallationInItsCodePage) {
    // Windows-1252, as the older installations wrote their scripts.
    QFile f(dir.file(QStringLiteral("old.krs")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\"Wait\",\"0\",\"Caf\xe9 \x96 Men\xfc\",\"And\",\"\",\"\"\r\n"
            "\"Send Keystrokes\",\"\x80 5\",\"\",\"\",\"\",\"\"\r\n");
    f.close();
    QueueEntry& start = add(QStringLiteral("Start Script"), 7);
    start.item.command = dir.file(QStringLiteral("old.krs"));
    start.item.path = QStringLiteral("Jump to (Execute and skip)");
    clock.advance(1);
    runner->runScriptStep();
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(Clip(queue.entries()[0].item.waitForWindow), QString::fromUtf8("Café – Menü"));
    EXPECT_EQ(Clip(queue.entries()[1].item.keystrokes), QString::fromUtf8("€ 5"));
    EXPECT_TRUE(dialogs.shown.empty());
}

} // namespace
} // namespace kr::test
