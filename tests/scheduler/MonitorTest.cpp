#include "scheduler/Monitor.h"
#include "platform/Pictures.h"
#include "platform/Processes.h"
#include "scheduler/Occurrence.h"
#include "store/Numbering.h"
#include "store/Transaction.h"
#include "store/WriteCount.h"
#include "support/FakeClock.h"
#include "support/RecordingSound.h"
#include "support/Refusals.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

struct RecordingMessages final : MessageDisplay {
    std::vector<MessageInputs> shown;
    int open = 0;
    int openCount() const override { return open; }
    void show(const MessageInputs& in) override { shown.push_back(in); }
};

struct RecordingFrame final : FrameView {
    bool minimized = false;
    QString title;
    QString status;
    int restored = 0;
    int interval = 0;
    bool iconized() const override { return minimized; }
    QString normalTitle() const override { return QStringLiteral("Kelvray 98 1.7d"); }
    void setTitleText(const QString& t) override { title = t; }
    void setSchedulerStatus(const QString& s) override { status = s; }
    void refreshTrayIcon() override {}
    void restoreForTask(const Schedule&) override { ++restored; }
    void setTimerInterval(int h) override { interval = h; }
    void closeDown() override {}
};

Date D(int y, int m, int d) {
    return DateFromYmd(y, m, d);
}

class MonitorTest : public ::testing::Test {
protected:
    MonitorTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        settings.logEvents = true;
        settings.scriptingDelay = 50;
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        launcher = std::make_unique<Launcher>(
            LauncherContext{*store, settings, clock, dialogs, *log, queue, processes, frame});
        monitor = std::make_unique<DueTaskMonitor>(MonitorContext{
            *store, settings, clock, dialogs, *log, queue, state, frame, sound, messages, *launcher});
        tasks = std::make_unique<Table<Schedule>>(*store);
    }

    // A daily message task on a date at a time.
    qint32 addTask(const QString& description, Date date, Time time,
                   const QString& type = QStringLiteral("Display Message")) {
        Schedule t;
        t.taskType = type;
        t.description = description;
        t.message = QStringLiteral("Message of ") + description;
        t.scheduleType = kDayOfWeek;
        t.date = date;
        t.time = time;
        t.command = QStringLiteral("N/A");
        EXPECT_TRUE(ReserveRecordNumber(*tasks, t));
        last = t;
        return t.id;
    }
    void update(const std::function<void(Schedule&)>& change) {
        Schedule t;
        t.id = last.id;
        ASSERT_EQ(tasks->get(Schedule::KEYID, t), Err::None);
        change(t);
        ASSERT_EQ(tasks->put(t), Err::None);
        last = t;
    }
    Schedule task(qint32 id) {
        Schedule t;
        t.id = id;
        tasks->get(Schedule::KEYID, t);
        return t;
    }
    // Every task in number order.
    std::vector<Schedule> all() {
        std::vector<Schedule> out;
        Schedule t;
        tasks->set(Schedule::KEYID);
        while (tasks->next(t) == Err::None)
            out.push_back(t);
        return out;
    }
    QStringList logLabels() {
        QFile f(dir.file(kEventLogName));
        QStringList labels;
        if (f.open(QIODevice::ReadOnly))
            for (const QString& l :
                 QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                labels << l.mid(22, 30).trimmed() + QLatin1Char('|') + l.mid(52).trimmed();
        return labels;
    }
    void addItems(qint32 taskId, int count) {
        Table<Scripting> items(*store);
        for (int i = 1; i <= count; ++i) {
            Scripting s;
            s.id = taskId;
            s.sequence = i;
            s.action = QStringLiteral("Set Value");
            ASSERT_EQ(items.add(s), Err::None);
        }
    }
    int itemsOf(qint32 taskId) {
        Table<Scripting> items(*store);
        Scripting s;
        s.id = taskId;
        items.set(Scripting::KEYID, s);
        int n = 0;
        while (items.next(s) == Err::None && s.id == taskId)
            ++n;
        return n;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{D(2026, 12, 8), TimeFromHms(9, 0, 0)};
    Settings settings;
    ProgramState state;
    ActiveScriptQueue queue;
    RecordingFrame frame;
    RecordingSound sound;
    RecordingMessages messages;
    LinuxProcesses processes;
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<DueTaskMonitor> monitor;
    std::unique_ptr<Table<Schedule>> tasks;
    Schedule last;
};

TEST_F(MonitorTest, ADueTaskRunsAdvancesAndLeavesAHistoryCopy) {
    const qint32 id = addTask(QStringLiteral("Stand-up"), D(2026, 12, 8), TimeFromHms(9, 0, 0));
    clock.set(D(2026, 12, 8), TimeFromHms(8, 59, 0));
    monitor->scanDueTask();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(frame.status, QStringLiteral("Next: Stand-up"));
    EXPECT_EQ(frame.title, QStringLiteral("Kelvray 98 1.7d"));

    clock.set(D(2026, 12, 8), TimeFromHms(9, 0, 0));
    monitor->scanDueTask();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, QStringLiteral("Stand-up"));
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Message of Stand-up"));
    EXPECT_EQ(frame.restored, 1);

    // Tomorrow at the same time, never a second run today.
    const Schedule t = task(id);
    EXPECT_EQ(t.date, D(2026, 12, 9));
    EXPECT_EQ(t.time, TimeFromHms(9, 0, 0));
    EXPECT_EQ(t.lastRunDate, D(2026, 12, 8));
    EXPECT_EQ(t.lastRunTime, TimeFromHms(9, 0, 0));
    const auto everything = all();
    ASSERT_EQ(everything.size(), 2u);
    const Schedule& history = everything[1];
    EXPECT_EQ(history.id, id + 1);
    EXPECT_EQ(history.disabled, 1);
    EXPECT_EQ(history.completed, 1);
    EXPECT_EQ(history.advanceWarned, 1);
    EXPECT_EQ(history.date, D(2026, 12, 8));
    EXPECT_EQ(history.description, QStringLiteral("Stand-up"));
    EXPECT_EQ(history.message, QStringLiteral("Message of Stand-up"));

    monitor->scanDueTask();
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(MonitorTest, TwoTasksDueTogetherRunOnConsecutiveTicks) {
    const qint32 a = addTask(QStringLiteral("First"), D(2026, 12, 8), TimeFromHms(8, 0, 0));
    const qint32 b = addTask(QStringLiteral("Second"), D(2026, 12, 8), TimeFromHms(8, 0, 0));
    monitor->scanDueTask();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, QStringLiteral("First"));
    monitor->scanDueTask();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].title, QStringLiteral("Second"));
    EXPECT_EQ(task(a).date, D(2026, 12, 9));
    EXPECT_EQ(task(b).date, D(2026, 12, 9));
}

TEST_F(MonitorTest, MissedDaysAreHandledOnceAndTheAnswerNoStillAdvances) {
    const qint32 id = addTask(QStringLiteral("Report"), D(2026, 12, 5), TimeFromHms(8, 0, 0),
                              QStringLiteral("Run Program"));
    update([](Schedule& t) { t.warn = 1; });
    dialogs.answer(Dialogs::No);
    monitor->scanDueTask();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Missed Task"));
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Report was not run.  Run it now?"));
    EXPECT_EQ(dialogs.shown[0].buttons, unsigned(Dialogs::Yes | Dialogs::No));
    EXPECT_EQ(dialogs.shown[0].defaultButton, Dialogs::No);
    EXPECT_TRUE(queue.empty()); // not run: nothing queued

    const Schedule t = task(id);
    EXPECT_EQ(t.date, D(2026, 12, 9)); // past today, the missed days not replayed
    EXPECT_EQ(t.lastRunDate, D(2026, 12, 8));
    const auto everything = all();
    ASSERT_EQ(everything.size(), 2u);
    EXPECT_EQ(everything[1].description, QStringLiteral("(Skipped) Report"));
    EXPECT_EQ(everything[1].date, D(2026, 12, 5));
    EXPECT_TRUE(logLabels().contains(QStringLiteral("Missed task skipped|Report")));
    monitor->scanDueTask();
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(MonitorTest, AnOverdueTaskIsSkippedWithoutAQuestion) {
    const qint32 id =
        addTask(QStringLiteral("Late"), D(2026, 12, 7), TimeFromHms(8, 0, 0), QStringLiteral("Run Program"));
    update([](Schedule& t) {
        t.warn = 1;
        t.skipIfMissed = 1;
    });
    monitor->scanDueTask();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(queue.empty());
    EXPECT_TRUE(logLabels().contains(QStringLiteral("Overdue task skipped|Late")));
    // Advanced from the start of today: past today.
    EXPECT_EQ(task(id).date, D(2026, 12, 9));
    EXPECT_EQ(all()[1].description, QStringLiteral("(Skipped) Late"));
}

TEST_F(MonitorTest, NineMinutesLateIsNotOverdue) {
    addTask(QStringLiteral("Nearly"), D(2026, 12, 8), TimeFromHms(8, 51, 0), QStringLiteral("Run Program"));
    update([](Schedule& t) { t.skipIfMissed = 1; });
    monitor->scanDueTask();
    EXPECT_FALSE(queue.empty()); // run: its (empty) script was queued
    EXPECT_EQ(queue.entries().back().item.action, kEndMarker);
    EXPECT_EQ(frame.interval, 50);
}

TEST_F(MonitorTest, AMissedMessageIsShownWithoutTheQuestion) {
    addTask(QStringLiteral("Birthday"), D(2026, 12, 7), TimeFromHms(8, 0, 0));
    update([](Schedule& t) { t.warn = 1; });
    monitor->scanDueTask();
    EXPECT_TRUE(dialogs.shown.empty());
    ASSERT_EQ(messages.shown.size(), 1u);
}

TEST_F(MonitorTest, ConfirmingCanSkip) {
    addTask(QStringLiteral("Ask me"), D(2026, 12, 8), TimeFromHms(9, 0, 0));
    update([](Schedule& t) { t.userSkip = 1; });
    dialogs.answer(Dialogs::No);
    monitor->scanDueTask();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Confirm Task"));
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Ask me is due to run.  Run it now?"));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(logLabels().contains(QStringLiteral("Task skipped|Ask me")));
}

TEST_F(MonitorTest, SkipNextTimePassesOverOneOccurrenceQuietly) {
    const qint32 id = addTask(QStringLiteral("Gym"), D(2026, 12, 8), TimeFromHms(9, 0, 0));
    update([](Schedule& t) {
        t.skipNextTime = 1;
        t.alarm = 1;
        t.alarmFile = QStringLiteral("BEEP");
        t.userSkip = 1;
    });
    monitor->scanDueTask();
    EXPECT_TRUE(sound.played.isEmpty());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(messages.shown.empty());
    const Schedule t = task(id);
    EXPECT_EQ(t.skipNextTime, 0);
    EXPECT_EQ(t.lastRunDate, 0);
    EXPECT_EQ(all()[1].description, QStringLiteral("Gym")); // no "(Skipped) "
    EXPECT_EQ(frame.restored, 0);

    // The next occurrence rings.
    clock.set(D(2026, 12, 9), TimeFromHms(9, 0, 0));
    dialogs.answer(Dialogs::Yes);
    monitor->scanDueTask();
    EXPECT_EQ(sound.played, QStringList{QStringLiteral("BEEP")});
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(MonitorTest, AlarmSoundFilesPlayAndGoWithTheMessage) {
    addTask(QStringLiteral("Tea"), D(2026, 12, 8), TimeFromHms(9, 0, 0));
    update([](Schedule& t) {
        t.alarm = 1;
        t.alarmFile = QStringLiteral("/sounds/kettle.wav");
        t.path = QStringLiteral("Reply to:/home/ann");
    });
    monitor->scanDueTask();
    EXPECT_EQ(sound.played, QStringList{QStringLiteral("/sounds/kettle.wav")});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].sound, QStringLiteral("/sounds/kettle.wav"));
    EXPECT_EQ(messages.shown[0].replyAddress, QStringLiteral("/home/ann"));
}

TEST_F(MonitorTest, TooManyMessageWindowsGiveAPlainBox) {
    addTask(QStringLiteral("Crowded"), D(2026, 12, 8), TimeFromHms(9, 0, 0));
    messages.open = 60;
    monitor->scanDueTask();
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Message of Crowded"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Crowded"));
}

TEST_F(MonitorTest, OneTimeTasksBecomeTheirOwnHistoryOrGo) {
    const qint32 keep = addTask(QStringLiteral("Once kept"), D(2026, 12, 8), TimeFromHms(8, 0, 0),
                                QStringLiteral("Run Program"));
    update([](Schedule& t) { t.scheduleType = kOnce; });
    addItems(keep, 2);
    const qint32 gone = addTask(QStringLiteral("Once gone"), D(2026, 12, 8), TimeFromHms(8, 30, 0),
                                QStringLiteral("Run Program"));
    update([](Schedule& t) {
        t.scheduleType = kOnce;
        t.noHistory = 1;
    });
    addItems(gone, 3);

    monitor->scanDueTask();
    Schedule k = task(keep);
    EXPECT_EQ(k.disabled, 1);
    EXPECT_EQ(k.completed, 1);
    EXPECT_EQ(k.date, D(2026, 12, 8));
    EXPECT_EQ(itemsOf(keep), 0); // scripts go with the history unless kept
    EXPECT_EQ(queue.size(), 3u); // its two items and the end were queued before

    monitor->scanDueTask();
    EXPECT_EQ(all().size(), 1u); // "Once gone" and its items are gone
    EXPECT_EQ(itemsOf(gone), 0);
}

TEST_F(MonitorTest, SavedScriptsFollowTheHistoryCopy) {
    settings.saveScripts = true;
    const qint32 id = addTask(QStringLiteral("Scripted"), D(2026, 12, 8), TimeFromHms(9, 0, 0),
                              QStringLiteral("Run Program"));
    addItems(id, 3);
    monitor->scanDueTask();
    const auto everything = all();
    ASSERT_EQ(everything.size(), 2u);
    EXPECT_EQ(itemsOf(id), 3);
    EXPECT_EQ(itemsOf(everything[1].id), 3);
    EXPECT_EQ(queue.size(), 4u);
}

TEST_F(MonitorTest, WhileNothingIsWrittenTheScansDoNotReadYetEveryMomentStillComes) {
    std::uint64_t others = 0; // what the kernel told of other processes' writes
    monitor->setChangeMark([&]() -> std::optional<std::uint64_t> { return others + WritesThroughTables(); });
    addTask(QStringLiteral("Meeting"), D(2026, 12, 8), TimeFromHms(10, 0, 0));
    update([](Schedule& t) {
        t.advanceWarnDate = D(2026, 12, 8);
        t.advanceWarnTime = TimeFromHms(9, 0, 0);
    });
    clock.set(D(2026, 12, 8), TimeFromHms(8, 59, 0));
    monitor->scanDueTask();
    monitor->checkAdvanceWarnings();
    const int reads = monitor->reads();
    for (int i = 0; i < 10; ++i) {
        clock.advance(100);
        monitor->scanDueTask();
        monitor->checkAdvanceWarnings();
    }
    EXPECT_EQ(monitor->reads(), reads);
    EXPECT_EQ(frame.status, QStringLiteral("Next: Meeting"));
    frame.minimized = true; // the title still follows the frame, from what was read
    monitor->scanDueTask();
    EXPECT_EQ(frame.title, QStringLiteral("Kelvray 98 1.7d - Meeting DEC 08,2026 10:00AM"));

    // Another station's write, told by the kernel: the next scan reads it.
    others = 1;
    monitor->scanDueTask();
    EXPECT_EQ(monitor->reads(), reads + 1);

    // The warning's moment and the task's come without anything written.
    clock.set(D(2026, 12, 8), TimeFromHms(9, 0, 1));
    monitor->checkAdvanceWarnings();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Advanced Warning"));
    clock.set(D(2026, 12, 8), TimeFromHms(10, 0, 0));
    monitor->scanDueTask();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, QStringLiteral("Meeting"));
    // Its advance was written here: the next scan reads tomorrow's occurrence.
    const int afterRun = monitor->reads();
    monitor->scanDueTask();
    EXPECT_EQ(monitor->reads(), afterRun + 1);
    monitor->scanDueTask();
    EXPECT_EQ(monitor->reads(), afterRun + 1);
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(MonitorTest, AnAdvanceWarningComesOncePerOccurrence) {
    const qint32 id = addTask(QStringLiteral("Meeting"), D(2026, 12, 8), TimeFromHms(10, 0, 0));
    update([](Schedule& t) {
        t.advanceWarnDate = D(2026, 12, 8);
        t.advanceWarnTime = TimeFromHms(9, 0, 0);
    });
    clock.set(D(2026, 12, 8), TimeFromHms(8, 59, 0));
    monitor->checkAdvanceWarnings();
    EXPECT_TRUE(dialogs.shown.empty());
    clock.set(D(2026, 12, 8), TimeFromHms(9, 1, 0));
    monitor->checkAdvanceWarnings();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Advanced Warning"));
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("DEC 08,2026 10:00AM\nMessage of Meeting"));
    monitor->checkAdvanceWarnings();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(logLabels().contains(QStringLiteral("Advanced Warning|Meeting")));

    // Run: the warning keeps its hour before the next occurrence and is armed again.
    clock.set(D(2026, 12, 8), TimeFromHms(10, 0, 0));
    monitor->scanDueTask();
    const Schedule t = task(id);
    EXPECT_EQ(t.date, D(2026, 12, 9));
    EXPECT_EQ(t.advanceWarnDate, D(2026, 12, 9));
    EXPECT_EQ(t.advanceWarnTime, TimeFromHms(9, 0, 0));
    EXPECT_EQ(t.advanceWarned, 0);
    monitor->checkAdvanceWarnings();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    clock.set(D(2026, 12, 9), TimeFromHms(9, 30, 0));
    monitor->checkAdvanceWarnings();
    EXPECT_EQ(dialogs.shown.size(), 2u);
}

TEST_F(MonitorTest, WarningTextsFollowTheTaskType) {
    addTask(QStringLiteral("Prog"), D(2026, 12, 9), TimeFromHms(10, 0, 0), QStringLiteral("Run Program"));
    update([](Schedule& t) {
        t.command = QStringLiteral("/usr/bin/backup --all");
        t.advanceWarnDate = D(2026, 12, 8);
    });
    monitor->checkAdvanceWarnings();
    addTask(QStringLiteral("Both"), D(2026, 12, 9), TimeFromHms(10, 0, 0), QStringLiteral("Both"));
    update([](Schedule& t) {
        t.command = QStringLiteral("/usr/bin/backup");
        t.message = QStringLiteral("   indented");
        t.advanceWarnDate = D(2026, 12, 8);
    });
    monitor->checkAdvanceWarnings();
    addTask(QStringLiteral("None"), D(2026, 12, 9), TimeFromHms(10, 0, 0), QStringLiteral("None"));
    update([](Schedule& t) {
        t.command = QString();
        t.message = QStringLiteral("  just a note");
        t.advanceWarnDate = D(2026, 12, 8);
    });
    monitor->checkAdvanceWarnings();
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("DEC 09,2026 10:00AM\nCommand:  /usr/bin/backup --all"));
    EXPECT_EQ(dialogs.shown[1].text,
              QStringLiteral("DEC 09,2026 10:00AM\nindented\nCommand: /usr/bin/backup"));
    EXPECT_EQ(dialogs.shown[2].text, QStringLiteral("DEC 09,2026 10:00AM\njust a note"));
}

TEST_F(MonitorTest, OldHistoryGoesOnceADay) {
    settings.historyExpires = 3;
    for (int daysAgo : {2, 3, 10}) {
        addTask(QStringLiteral("Old %1").arg(daysAgo), D(2026, 12, 8) - daysAgo, TimeFromHms(9, 0, 0));
        update([](Schedule& t) {
            t.disabled = 1;
            t.completed = 1;
        });
    }
    addTask(QStringLiteral("Uncompleted"), D(2026, 12, 1), TimeFromHms(9, 0, 0));
    update([](Schedule& t) { t.disabled = 1; });
    addTask(QStringLiteral("Active"), D(2026, 11, 1), TimeFromHms(9, 0, 0));

    EXPECT_TRUE(monitor->removeOldHistory());
    QStringList left;
    for (const Schedule& t : all())
        left << t.description;
    EXPECT_EQ(left, (QStringList{"Old 2", "Uncompleted", "Active"}));
    EXPECT_FALSE(monitor->removeOldHistory()); // once a day
    EXPECT_TRUE(logLabels().contains(QStringLiteral("History|Checked for tasks needing removal")));

    settings.removeUncompleted = true;
    clock.set(D(2026, 12, 9), TimeFromHms(0, 0, 1));
    EXPECT_TRUE(monitor->removeOldHistory());
    EXPECT_EQ(all().size(), 1u);

    settings.historyExpires = 0;
    clock.set(D(2026, 12, 10), TimeFromHms(0, 0, 1));
    EXPECT_FALSE(monitor->removeOldHistory());
}

TEST_F(MonitorTest, ALongHistoryGoesASliceATickAndTheSchedulerRunsBetween) {
    settings.historyExpires = 3;
    settings.saveScripts = true;
    constexpr int kOld = 500;
    RemovalLimits slice;
    slice.records = 120;
    slice.batch = 16;
    monitor->setRemovalLimits(slice);
    {
        Transaction tx;
        ASSERT_EQ(tx.begin({tasks.get()}), Err::None);
        for (int i = 1; i <= kOld; ++i) {
            Schedule t;
            t.id = i;
            t.description = QStringLiteral("History %1").arg(i);
            t.scheduleType = kDayOfWeek;
            t.date = D(2026, 1, 1) + i % 100;
            t.time = TimeFromHms(9, 0, 0);
            t.disabled = 1;
            t.completed = 1;
            ASSERT_EQ(tasks->add(t), Err::None);
        }
        ASSERT_EQ(tx.commit(), Err::None);
    }
    addItems(7, 3); // a history entry's script goes with it
    // One history entry cannot be deleted; the pass says so once and goes on.
    ASSERT_TRUE(RefuseChanges(*tasks, QStringLiteral("DELETE old.ID = 400")).ok());
    const qint32 due = addTask(QStringLiteral("Due meanwhile"), D(2026, 12, 8), TimeFromHms(9, 1, 0));

    int ticks = 0;
    qint64 left = tasks->records();
    bool done = false;
    while (!done && ticks < 100) {
        done = monitor->removeOldHistory();
        ++ticks;
        // Between slices nothing is held open and what went is gone for good.
        EXPECT_EQ(OpenTransactions::count(), 0);
        const qint64 now = tasks->records();
        EXPECT_LE(now, left);
        left = now;
        if (ticks == 2) {
            // The scheduler goes on meanwhile.
            clock.set(D(2026, 12, 8), TimeFromHms(9, 1, 0));
            monitor->scanDueTask();
            EXPECT_EQ(messages.shown.size(), 1u);
        }
    }
    EXPECT_TRUE(done);
    EXPECT_GE(ticks, 3); // a slice at a time
    EXPECT_EQ(task(due).date, D(2026, 12, 9));
    QStringList kept;
    for (const Schedule& t : all())
        kept << t.description;
    // The refused entry, the task that ran and its new history copy.
    EXPECT_EQ(kept, (QStringList{"History 400", "Due meanwhile", "Due meanwhile"}));
    EXPECT_EQ(itemsOf(7), 0);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Cannot Remove History"));
    EXPECT_TRUE(dialogs.shown[0].text.endsWith(QStringLiteral(" error while removing history")));
    EXPECT_EQ(logLabels().count(QStringLiteral("History|Checked for tasks needing removal")), 1);
    EXPECT_FALSE(monitor->removeOldHistory()); // once a day
}

TEST_F(MonitorTest, ADisabledOrEmptyScheduleShowsThePlainTitle) {
    monitor->scanDueTask();
    EXPECT_EQ(frame.title, QStringLiteral("Kelvray 98 1.7d"));
    EXPECT_EQ(frame.status, QString());
    addTask(QStringLiteral("Off"), D(2026, 12, 1), TimeFromHms(9, 0, 0));
    update([](Schedule& t) { t.disabled = 1; });
    frame.status = QStringLiteral("stale");
    monitor->scanDueTask();
    EXPECT_EQ(frame.status, QString());
    EXPECT_TRUE(messages.shown.empty());

    // Iconized, the title names the next task.
    addTask(QStringLiteral("Dentist"), D(2026, 12, 24), TimeFromHms(15, 30, 0));
    frame.minimized = true;
    monitor->scanDueTask();
    EXPECT_EQ(frame.title, QStringLiteral("Kelvray 98 1.7d - Dentist DEC 24,2026 3:30PM"));
}

TEST_F(MonitorTest, AnAdvanceOntoAHolidayMakesTheOneTimeCopy) {
    {
        Table<Holidays> h(*store);
        Holidays r;
        r.holidayDate = D(2026, 12, 9);
        ASSERT_EQ(h.add(r), Err::None);
    }
    const qint32 id = addTask(QStringLiteral("Daily"), D(2026, 12, 8), TimeFromHms(9, 0, 0));
    update([](Schedule& t) {
        t.exceptHolidays = 1;
        t.shiftType = QStringLiteral("Next Day");
    });
    monitor->scanDueTask();
    const Schedule t = task(id);
    EXPECT_EQ(t.date, D(2026, 12, 9));
    EXPECT_EQ(t.skipNextTime, 1);
    ASSERT_NE(t.exceptionLink, 0);
    EXPECT_EQ(task(t.exceptionLink).date, D(2026, 12, 10));
    // The history copy records the occurrence that ran.
    const auto everything = all();
    ASSERT_EQ(everything.size(), 3u);
    EXPECT_EQ(everything[2].disabled, 1);
    EXPECT_EQ(everything[2].date, D(2026, 12, 8));
    EXPECT_EQ(everything[2].skipNextTime, 1);
}

TEST_F(MonitorTest, RunningNowNeitherAdvancesNorWrites) {
    const qint32 id =
        addTask(QStringLiteral("Now"), D(2026, 12, 20), TimeFromHms(9, 0, 0), QStringLiteral("Both"));
    update([](Schedule& t) { t.path = QStringLiteral("Reply to:someone"); });
    messages.open = 0;
    monitor->runTaskNow(task(id));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].replyAddress, QString()); // never with a reply address
    EXPECT_EQ(queue.size(), 1u);                          // the script's end marker
    EXPECT_EQ(task(id).date, D(2026, 12, 20));
    EXPECT_EQ(task(id).lastRunDate, 0);
    EXPECT_EQ(all().size(), 1u);
    EXPECT_EQ(frame.interval, 0);
}

} // namespace
} // namespace kr::test
