// The runner when the queue changes under it: stopped scripts, message boxes during which the
// user empties the queue, conditions without their end, and waits too long to count.

#include "platform/Processes.h"
#include "scheduler/FrameView.h"
#include "scheduler/Launcher.h"
#include "script/Runner.h"
#include "script/ScriptItems.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QFile>

#include <functional>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

// Message boxes during which the test acts as another window would.
class BoxDialogs final : public Dialogs {
public:
    Button show(const QString& text, const QString& caption, Icon, unsigned, Button def) override {
        captions << caption + QLatin1Char(':') + text.section(QLatin1Char('\n'), 0, 0);
        if (whileOpen)
            whileOpen();
        return def;
    }
    QStringList captions;
    std::function<void()> whileOpen;
};

struct Desktop final : ScriptServices {
    QStringList windows;
    QStringList done;
    bool windowExists(const QString& pattern, const QString&) override {
        return windows.contains(pattern.trimmed());
    }
    bool activateWindow(const QString& pattern, const QString& c) override {
        return windowExists(pattern, c);
    }
    void sendKeystrokes(QueueEntry& e) override { done << Clip(e.item.keystrokes); }
};

class RunnerQueue : public ::testing::Test {
protected:
    RunnerQueue() {
        store = std::make_unique<Store>(dir.path(), scripted, end);
        store->declareLayouts();
        settings.logEvents = true;
        settings.scriptingDelay = 50;
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        launcher = std::make_unique<Launcher>(
            LauncherContext{*store, settings, clock, dialogs, *log, queue, processes, frame});
        runner = std::make_unique<ScriptRunner>(RunnerContext{
            queue, values, settings, clock, dialogs, *log, *launcher, desktop, debug, {}, nullptr});
    }
    QueueEntry& add(const QString& action, const QString& keys = {}) {
        QueueEntry e;
        e.item.id = 1;
        e.item.action = action;
        e.item.keystrokes = keys;
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
    void step() {
        clock.advance(1);
        runner->runScriptStep();
    }

    TempDir dir;
    ScriptedDialogs scripted;
    BoxDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(10, 0, 0)};
    Settings settings;
    ActiveScriptQueue queue;
    NoFrame frame;
    LinuxProcesses processes;
    Desktop desktop;
    int debug = 0;
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<ScriptRunner> runner;
};

TEST_F(RunnerQueue, StoppingScriptsEndsTheWaitSoTheNextScriptStartsAfresh) {
    add(QStringLiteral("Wait")).item.waitForWindow = QStringLiteral("Never");
    add(kEndMarker);
    step();
    ASSERT_TRUE(runner->waiting());
    clock.advance(kOneHour);
    step();
    queue.clear(); // Stop Running Script

    // The next script starts with a wait of its own, for a window that is there at once.
    add(QStringLiteral("Wait")).item.waitForWindow = QStringLiteral("Editor");
    QueueEntry& keys = add(QStringLiteral("Send Keystrokes"), QStringLiteral("typed"));
    keys.dueTime = clock.now() + 50;
    add(kEndMarker).dueTime = clock.now() + 100;
    const Time keysDue = keys.dueTime;
    desktop.windows << QStringLiteral("Editor");
    step();
    EXPECT_FALSE(runner->waiting());
    // Not an hour later: the old wait's start is gone with its script.
    ASSERT_EQ(actions(), (QStringList{"Send Keystrokes:typed", "**End**"}));
    EXPECT_LE(queue.front().dueTime, keysDue + 100);
}

TEST_F(RunnerQueue, ANestedConditionWithoutItsEndStopsAtItsOwnScriptsEnd) {
    // Three levels deep, none closed; the next task's script must be left whole.
    QueueEntry& outer = add(QStringLiteral("If Value..."));
    outer.item.command = QStringLiteral("A");
    outer.item.windowTitleToCheckFor = QStringLiteral("=");
    outer.item.waitForWindow = QStringLiteral("B");
    add(QStringLiteral("Send Keystrokes"), QStringLiteral("one"));
    add(QStringLiteral("If Window..."));
    add(QStringLiteral("If Value..."));
    add(QStringLiteral("Send Keystrokes"), QStringLiteral("three"));
    add(kEndMarker);
    add(QStringLiteral("Send Keystrokes"), QStringLiteral("next task"));
    add(QStringLiteral("...End If"));
    add(kEndMarker);
    step();
    EXPECT_EQ(actions(), (QStringList{"Send Keystrokes:next task", "...End If", "**End**"}));
    for (int i = 0; i < 5; ++i)
        step();
    EXPECT_EQ(desktop.done, QStringList{QStringLiteral("next task")});

    // Closed blocks inside an unclosed one are still skipped whole.
    add(QStringLiteral("If Window...")).item.windowExistance = QStringLiteral("Window Exists");
    add(QStringLiteral("If Value..."));
    add(QStringLiteral("...End If"));
    add(QStringLiteral("Send Keystrokes"), QStringLiteral("inside"));
    add(kEndMarker);
    add(QStringLiteral("Send Keystrokes"), QStringLiteral("after"));
    add(kEndMarker);
    step();
    EXPECT_EQ(actions(), (QStringList{"Send Keystrokes:after", "**End**"}));
}

TEST_F(RunnerQueue, EmptyingTheQueueDuringAMessageBoxLeavesTheNewEntriesAlone) {
    add(QStringLiteral("Display Message")).item.ddeApplicationName = QStringLiteral("Hello");
    add(kEndMarker);
    dialogs.whileOpen = [&] {
        queue.clear(); // Stop Running Script from the tray menu
        add(QStringLiteral("Send Keystrokes"), QStringLiteral("new task"));
        add(kEndMarker);
        dialogs.whileOpen = nullptr;
    };
    step();
    EXPECT_EQ(actions(), (QStringList{"Send Keystrokes:new task", "**End**"}));
    step();
    EXPECT_EQ(desktop.done, QStringList{QStringLiteral("new task")});
}

TEST_F(RunnerQueue, DebugBoxesOfAProgramStartDoNotWriteIntoARemovedEntry) {
    debug = 1;
    QueueEntry& start = add(QStringLiteral("Start Program"));
    start.item.command = QStringLiteral("true");
    start.item.ddeApplicationName = QStringLiteral("1"); // wait for its end
    start.item.timeElapsed = 5;
    add(kEndMarker);
    dialogs.whileOpen = [&] {
        queue.clear();
        add(QStringLiteral("Send Keystrokes"), QStringLiteral("other"));
        dialogs.whileOpen = nullptr;
    };
    step();
    ASSERT_EQ(dialogs.captions.size(), 1);
    EXPECT_TRUE(dialogs.captions[0].startsWith(QStringLiteral("Debug - No Operation Sent")));
    // The new head is not turned into a program wait, and it is not removed.
    EXPECT_EQ(actions(), QStringList{QStringLiteral("Send Keystrokes:other")});

    // The same in a failed test: the skip stops at once when its box let the queue change.
    queue.clear();
    add(QStringLiteral("If Window...")).item.windowExistance = QStringLiteral("Window Exists");
    add(QStringLiteral("Send Keystrokes"), QStringLiteral("skipped"));
    add(QStringLiteral("...End If"));
    dialogs.whileOpen = [&] {
        queue.clear();
        add(QStringLiteral("Send Keystrokes"), QStringLiteral("kept"));
        add(QStringLiteral("...End If"));
        dialogs.whileOpen = nullptr;
    };
    step();
    EXPECT_EQ(actions(), (QStringList{"Send Keystrokes:kept", "...End If"}));
}

TEST_F(RunnerQueue, WaitsOfBillionsOfSecondsAreCountedNotWrappedAround) {
    // 2^31 - 1 seconds are 24855 days, 3:14:07; twice that passes the last date.
    Table<Scripting> items(*store);
    qint32 sequence = 0;
    auto item = [&](const QString& action, const std::function<void(Scripting&)>& shape) {
        Scripting s;
        s.id = 7;
        s.sequence = ++sequence;
        s.action = action;
        shape(s);
        ASSERT_EQ(items.add(s), Err::None);
    };
    item(QStringLiteral("Wait"), [](Scripting& s) { s.secondsToWait = 2147483647; });
    item(QStringLiteral("If Time Elapsed..."), [](Scripting& s) {
        s.ifTimeElapsed = QStringLiteral("Less Than");
        s.timeElapsed = 2147483647;
    });
    item(QStringLiteral("Wait"), [](Scripting& s) { s.secondsToWait = 2147483647; });
    launcher->queueTaskScript(7);
    ASSERT_EQ(queue.size(), 4u);
    const Time start = TimeFromHms(10, 0, 1); // now + twice the delay between items
    EXPECT_EQ(queue.entries()[0].dueDate, clock.today() + 24855);
    EXPECT_EQ(queue.entries()[0].dueTime, start + 1164700);
    EXPECT_EQ(queue.entries()[1].item.secondsToWait, clock.today() + 24855); // the deadline's date
    EXPECT_EQ(queue.entries()[1].item.timeElapsed, start + 1164700);
    EXPECT_EQ(queue.entries()[2].dueDate, kLastDate);
    EXPECT_EQ(queue.entries()[3].dueDate, kLastDate);

    // An Or wait of as long keeps waiting: its deadline is decades ahead, not in the past.
    queue.clear();
    QueueEntry& orWait = add(QStringLiteral("Wait"));
    orWait.item.ddeApplicationName = QStringLiteral("Or");
    orWait.item.waitForWindow = QStringLiteral("Never");
    orWait.item.secondsToWait = 2147483647;
    step();
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.front().item.nextTaskId, clock.today() + 24855);
    clock.advance(kOneHour);
    step();
    EXPECT_EQ(queue.size(), 1u);
}

} // namespace
} // namespace kr::test
