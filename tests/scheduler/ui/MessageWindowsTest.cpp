#include "scheduler/ui/MessageWindows.h"
#include "../../store/Peer.h"
#include "store/Table.h"
#include "support/Accelerators.h"
#include "support/FakeClock.h"
#include "support/RecordingSound.h"
#include "support/ScriptedDialogs.h"
#include "support/TableEvents.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

struct RecordingProcesses final : ProcessControl {
    QStringList calls;
    int shellExecute(const QString& file, const QString& parameters, const QString&,
                     const QString& verb) override {
        calls << file + QLatin1Char('|') + parameters + QLatin1Char('|') + verb;
        return file.startsWith(QLatin1Char('"')) ? 2 : 1000;
    }
    pid_t startProcess(const QString&, Priority) override { return 0; }
    int exitCode(pid_t) override { return -1; }
};

Date D(int y, int m, int d) {
    return DateFromYmd(y, m, d);
}

class MessageWindowsTest : public ::testing::Test {
protected:
    MessageWindowsTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        settings.logEvents = true;
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        launcher = std::make_unique<Launcher>(
            LauncherContext{*store, settings, clock, dialogs, *log, queue, processes, frame});
        windows = std::make_unique<MessageWindows>(
            MessageContext{*store, settings, clock, dialogs, *log, sound, *launcher,
                           IniFile(dir.file(QStringLiteral("POSITION.INI"))), dir.path(),
                           [this] { replies << QDir::currentPath(); }});
    }
    ~MessageWindowsTest() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) != nullptr)
                delete w;
    }
    MessageInputs inputs(const QString& alarm = {}) {
        return MessageInputs{QStringLiteral("Dentist"), QStringLiteral("Call Dr. Brown at 3."), alarm,
                             QString()};
    }
    QStringList logLines() {
        QFile f(dir.file(kEventLogName));
        f.open(QIODevice::ReadOnly);
        QStringList out;
        for (const QString& l :
             QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            out << l.mid(22, 30).trimmed() + QLatin1Char('|') + l.mid(52).trimmed();
        return out;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{D(2026, 12, 8), TimeFromHms(23, 55, 0)};
    Settings settings;
    ActiveScriptQueue queue;
    NoFrame frame;
    RecordingSound sound;
    RecordingProcesses processes;
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<MessageWindows> windows;
    QStringList replies; // the current directory while each reply was written
};

TEST_F(MessageWindowsTest, AWindowOfTheProgramIsCountedWhileOpen) {
    windows->show(inputs(QStringLiteral("/sounds/bell.wav  ")));
    windows->show(inputs());
    ASSERT_EQ(windows->windows().size(), 2u);
    EXPECT_EQ(windows->openCount(), 2);
    MessageWindow* w = windows->windows()[0];
    EXPECT_EQ(w->kind(), MessageWindow::Kind::InFrame);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Message"));
    EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    ASSERT_NE(w->button(QStringLiteral("Cl&ose")), nullptr);
    ASSERT_NE(w->button(QStringLiteral("&Snooze")), nullptr);
    ASSERT_NE(w->button(QStringLiteral("&Add to To Do List")), nullptr);
    EXPECT_EQ(w->button(QStringLiteral("&Reply")), nullptr);
    w->button(QStringLiteral("Cl&ose"))->click();
    QApplication::processEvents();
    EXPECT_EQ(windows->openCount(), 1);
    EXPECT_EQ(logLines(), (QStringList{"Message|Dentist /sounds/bell.wav", "Message|Dentist"}));
    // Its position is kept.
    EXPECT_FALSE(IniFile(dir.file(QStringLiteral("POSITION.INI")))
                     .read(QStringLiteral("ShowMessage"), QStringLiteral("Width"))
                     .isEmpty());
}

TEST_F(MessageWindowsTest, TheSettingsChooseTheWay) {
    settings.useWinMessage = true;
    windows->show(inputs());
    EXPECT_TRUE(windows->windows().empty());
    QMessageBox* box = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b != nullptr && b->isVisible())
            box = b;
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Dentist"));
    EXPECT_EQ(box->text(), QStringLiteral("Call Dr. Brown at 3."));
    EXPECT_FALSE(box->isModal());

    settings.useWinMessage = false;
    settings.useModalMessage = true;
    windows->show(inputs());
    ASSERT_EQ(windows->windows().size(), 1u);
    EXPECT_EQ(windows->windows()[0]->kind(), MessageWindow::Kind::OnTop);
    EXPECT_TRUE(windows->windows()[0]->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(windows->openCount(), 0);

    // The external program wins over the modal window.
    settings.useExternalMessage = true;
    windows->show(MessageInputs{QStringLiteral("Quote"), QStringLiteral("Say \"cheese\"   "), {}, {}});
    EXPECT_EQ(windows->windows().size(), 1u);
    ASSERT_FALSE(processes.calls.isEmpty());
    EXPECT_TRUE(processes.calls.last().contains(QStringLiteral("kelvray-notify")));
    EXPECT_TRUE(processes.calls.last().endsWith(QStringLiteral("|\"Say \"\"\"cheese\"\"\"\"|open")))
        << processes.calls.last().toStdString();
}

TEST_F(MessageWindowsTest, AReplyWindowIgnoresTheSettings) {
    settings.useWinMessage = true;
    windows->show(
        MessageInputs{QStringLiteral("From Ann"), QStringLiteral("Lunch?"), {}, QStringLiteral("/home/ann")});
    ASSERT_EQ(windows->windows().size(), 1u);
    MessageWindow* w = windows->windows()[0];
    EXPECT_EQ(w->kind(), MessageWindow::Kind::Reply);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    ASSERT_NE(w->button(QStringLiteral("&To Do")), nullptr);
    ASSERT_NE(w->button(QStringLiteral("&Reply")), nullptr);
    EXPECT_EQ(w->button(QStringLiteral("&Add to To Do List")), nullptr);
}

TEST_F(MessageWindowsTest, AReplyIsWrittenInTheSendersFolder) {
    TempDir sender;
    const QString before = QDir::currentPath();
    windows->show(MessageInputs{QStringLiteral("From Ann"), QStringLiteral("Lunch?"), {}, sender.path()});
    windows->windows()[0]->button(QStringLiteral("&Reply"))->click();
    EXPECT_EQ(replies, QStringList{QDir(sender.path()).canonicalPath()});
    EXPECT_EQ(QDir::currentPath(), dir.path()); // back in the program's own folder
    QDir::setCurrent(before);

    // A folder that is gone: the user is told, and nothing is written anywhere.
    windows->show(MessageInputs{
        QStringLiteral("From Bob"), QStringLiteral("Hi"), {}, dir.file(QStringLiteral("gone"))});
    windows->windows()[1]->button(QStringLiteral("&Reply"))->click();
    EXPECT_EQ(replies.size(), 1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error!"));
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("The folder ") + dir.file(QStringLiteral("gone")) +
                                         QStringLiteral(" cannot be opened, so the reply cannot be added."));
}

TEST_F(MessageWindowsTest, SnoozingAtFiveToMidnightComesBackAtFivePast) {
    windows->show(inputs(QStringLiteral("/sounds/bell.wav")));
    windows->windows()[0]->button(QStringLiteral("&Snooze"))->click();
    QApplication::processEvents();
    EXPECT_EQ(windows->openCount(), 0);
    Table<Schedule> tasks(*store);
    Schedule t;
    tasks.set(Schedule::KEYID);
    ASSERT_EQ(tasks.next(t), Err::None);
    EXPECT_EQ(t.id, 1);
    EXPECT_EQ(t.date, D(2026, 12, 9));
    EXPECT_EQ(t.time, TimeFromHms(0, 5, 0));
    EXPECT_EQ(t.taskType, QStringLiteral("Display Message"));
    EXPECT_EQ(t.category, QStringLiteral("Snooze"));
    EXPECT_EQ(t.scheduleType, QStringLiteral("Once"));
    EXPECT_EQ(t.description, QStringLiteral("Dentist"));
    EXPECT_EQ(t.message, QStringLiteral("Call Dr. Brown at 3."));
    EXPECT_EQ(t.skipIfMissed, 1);
    EXPECT_EQ(t.alarm, 0);
}

TEST_F(MessageWindowsTest, AddingToTheToDoListKeepsTheWindowOpen) {
    windows->show(inputs());
    MessageWindow* w = windows->windows()[0];
    w->button(QStringLiteral("&Add to To Do List"))->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Added to To Do List:\nDentist"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Saved"));
    Table<Todo> todo(*store);
    Todo d;
    todo.set(-1);
    ASSERT_EQ(todo.next(d), Err::None);
    EXPECT_EQ(d.todo, QStringLiteral("Dentist"));
    EXPECT_EQ(d.notes, QStringLiteral("Call Dr. Brown at 3."));
    EXPECT_EQ(d.priority, 5);
    EXPECT_EQ(d.category, QStringLiteral("General"));
    EXPECT_EQ(d.done, 0);
    EXPECT_TRUE(w->isVisible());
}

// Another station holds the data file: neither button may pretend it wrote anything.
TEST_F(MessageWindowsTest, AFailedSnoozeOrToDoKeepsTheWindowAndSaysWhy) {
    windows->show(inputs());
    MessageWindow* w = windows->windows()[0];
    EXPECT_EQ(Table<Todo>(*store).records(), 0); // the table is made before the peer locks the file
    Peer peer(dir.path());
    ASSERT_EQ(peer.ask(QStringLiteral("begin")), QStringLiteral("0"));

    w->button(QStringLiteral("&Snooze"))->click();
    QApplication::processEvents();
    ASSERT_EQ(windows->windows().size(), 1u);
    EXPECT_TRUE(w->isVisible());
    w->button(QStringLiteral("&Add to To Do List"))->click();
    EXPECT_EQ(dialogs.captions(),
              (QStringList{QStringLiteral("Record Insert Error"), QStringLiteral("Record Insert Error")}));
    ASSERT_EQ(peer.ask(QStringLiteral("rollback")), QStringLiteral("0"));
    EXPECT_EQ(Table<Schedule>(*store).records(), 0);
    EXPECT_EQ(Table<Todo>(*store).records(), 0);

    // Once the other station lets go, both work, and the lists of the two tables hear of it.
    TableEventRecorder scheduleList;
    TableEventRecorder todoList;
    TableListeners listeners;
    listeners.add(&scheduleList);
    listeners.add(&todoList, QStringLiteral("Todo"));
    windows =
        std::make_unique<MessageWindows>(MessageContext{*store,
                                                        settings,
                                                        clock,
                                                        dialogs,
                                                        *log,
                                                        sound,
                                                        *launcher,
                                                        IniFile(dir.file(QStringLiteral("POSITION.INI"))),
                                                        dir.path(),
                                                        {},
                                                        &listeners});
    windows->show(inputs());
    w = windows->windows()[0];
    w->button(QStringLiteral("&Add to To Do List"))->click();
    EXPECT_EQ(dialogs.captions().last(), QStringLiteral("Saved"));
    w->button(QStringLiteral("&Snooze"))->click();
    QApplication::processEvents();
    EXPECT_TRUE(windows->windows().empty());
    EXPECT_EQ(Table<Schedule>(*store).records(), 1);
    EXPECT_EQ(Table<Todo>(*store).records(), 1);
    EXPECT_EQ(scheduleList.take(), QStringList{QStringLiteral("Schedule")});
    EXPECT_EQ(todoList.take(), QStringList{QStringLiteral("Todo")});
}

TEST_F(MessageWindowsTest, TheAlarmRepeatsOnTheWindowsTimer) {
    settings.repeatAlarmInterval = 30;
    clock.set(D(2026, 12, 8), TimeFromHms(10, 0, 0));
    windows->show(inputs(QStringLiteral("/sounds/bell.wav")));
    windows->show(inputs());
    MessageWindow* ringing = windows->windows()[0];
    MessageWindow* silent = windows->windows()[1];
    clock.advance(29 * 100);
    ringing->timerTick();
    silent->timerTick();
    EXPECT_TRUE(sound.played.isEmpty());
    clock.advance(100);
    ringing->timerTick();
    silent->timerTick();
    EXPECT_EQ(sound.played, QStringList{QStringLiteral("/sounds/bell.wav")});
    clock.advance(1500);
    ringing->timerTick();
    EXPECT_EQ(sound.played.size(), 1);
    clock.advance(1500);
    ringing->timerTick();
    EXPECT_EQ(sound.played.size(), 2);
    // Closed, it rings no more.
    ringing->close();
    QApplication::processEvents();
    EXPECT_EQ(windows->windows().size(), 1u);

    settings.repeatAlarmInterval = 0;
    windows->show(inputs(QStringLiteral("/sounds/bell.wav")));
    clock.advance(100000);
    windows->windows().back()->timerTick();
    EXPECT_EQ(sound.played.size(), 2);
}

TEST_F(MessageWindowsTest, NoTwoControlsShareAnAccelerator) {
    windows->show(inputs(QStringLiteral("/sounds/bell.wav")));
    ASSERT_EQ(windows->windows().size(), 1u);
    EXPECT_EQ(AcceleratorClashes(windows->windows()[0]), QStringList());
    windows->windows()[0]->button(QStringLiteral("Cl&ose"))->click();
}

} // namespace
} // namespace kr::test
