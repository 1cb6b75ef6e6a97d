// The item editor, driven through its widgets: what each page stores is what the runner
// reads, on a real data file through the queue and the runner.

#include "script/ui/UpdateScripting.h"
#include "ScriptWindowsFixture.h"
#include "platform/Processes.h"
#include "scheduler/FrameView.h"
#include "scheduler/Launcher.h"
#include "script/Runner.h"
#include "script/ScriptItems.h"
#include "support/Accelerators.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

namespace kr::test {
namespace {

// Every call the runner makes outside itself, as text.
struct RecordingServices final : ScriptServices {
    QStringList calls;
    bool windowExists(const QString& pattern, const QString& confirm) override {
        calls << QStringLiteral("exists:") + Clip(pattern) + QLatin1Char('|') + Clip(confirm);
        return false;
    }
    bool activateWindow(const QString& pattern, const QString& confirm) override {
        calls << QStringLiteral("activate:") + Clip(pattern) + QLatin1Char('|') + Clip(confirm);
        return true;
    }
    void setFocus(QueueEntry& e) override {
        calls << QStringLiteral("focus:") + Clip(e.item.focusOnWindow) + QLatin1Char('|') +
                     Clip(e.item.waitForWindow.left(40));
    }
    void closeProgram(QueueEntry& e) override { calls << QStringLiteral("close:") + Clip(e.item.command); }
    void sendKeystrokes(QueueEntry& e) override {
        calls << QStringLiteral("keys:") + Clip(e.item.keystrokes);
    }
    qint32 fileAction(const QString& type, const QString& first, const QString& second) override {
        calls << QStringLiteral("file:") + Clip(type) + QLatin1Char('|') + Clip(first) + QLatin1Char('|') +
                     Clip(second);
        return 1;
    }
    void dde(QueueEntry& e) override {
        calls << QStringLiteral("dde:") + Clip(e.item.ddeApplicationName) + QLatin1Char('|') +
                     Clip(e.item.ddeApplicationTopic) + QLatin1Char('|') + Clip(e.item.ddeCommand);
    }
    qint32 sendEmail(qint32 id) override {
        calls << QStringLiteral("mail:") + QString::number(id);
        return 1;
    }
};

struct RecordingStarter final : ProgramStarter {
    QStringList* calls = nullptr;
    bool startProgram(const QString& command, const QString& folder, const QString& verb, int windowMode,
                      int priority, bool wait) override {
        *calls << QStringLiteral("start:%1|%2|%3|%4|%5|%6")
                      .arg(Clip(command), Clip(folder), verb)
                      .arg(windowMode)
                      .arg(priority)
                      .arg(wait ? 1 : 0);
        return true;
    }
    int lastExitCode() override { return 0; }
    int lastStartResult() const override { return 1; }
};

class UpdateScriptingTest : public ScriptWindowsTest {
protected:
    UpdateScriptingTest() {
        settings.scriptingDelay = 50;
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        launcher = std::make_unique<Launcher>(
            LauncherContext{*store, settings, clock, dialogs, *log, queue, processes, frame});
        starter.calls = &services.calls;
        runner = std::make_unique<ScriptRunner>(RunnerContext{
            queue, values, settings, clock, dialogs, *log, starter, services, debug, {}, nullptr});
    }
    // Queues the task's script as a due task does and runs it to its end.
    void run(qint32 task) {
        services.calls.clear();
        launcher->queueTaskScript(task);
        for (int steps = 0; !queue.empty() && steps < 200; ++steps) {
            clock.advance(100);
            runner->runScriptStep();
        }
        EXPECT_TRUE(queue.empty());
    }
    // Whether the chooser shows any action.
    static bool AnyChosen(UpdateScripting& form) {
        for (const QString& a : ActionCatalogue()) {
            if (form.actionButton(a)->isChecked())
                return true;
        }
        return false;
    }
    template <class T> static QList<T*> PageWidgets(UpdateScripting& form) {
        return form.findChild<QWidget*>(form.pageName())->findChildren<T*>();
    }
    static void Choose(UpdateScripting& form, const QString& action) {
        ASSERT_NE(form.actionButton(action), nullptr) << action.toStdString();
        form.actionButton(action)->click();
    }

    ActiveScriptQueue queue;
    NoFrame frame;
    LinuxProcesses processes;
    RecordingServices services;
    RecordingStarter starter;
    int debug = 0;
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<ScriptRunner> runner;
};

TEST_F(UpdateScriptingTest, EveryPageStoresWhatTheRunnerReads) {
    Messages message;
    message.emailId = 4;
    message.emailTo = QStringLiteral("ann@example.org");
    message.subject = QStringLiteral("Weekly report");
    {
        Table<Messages> messages(*store);
        ASSERT_EQ(messages.add(message), Err::None);
    }
    const QString scriptFile = dir.file(QStringLiteral("more.krs"));
    {
        QFile f(scriptFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\"Send Keystrokes\",\"from file\",\"\",\"\",\"\",\"\"\n");
    }
    values.setValue(QStringLiteral("COUNT"), QStringLiteral("5"));
    values.setValue(QStringLiteral("LIMIT"), QStringLiteral("3"));
    const QString after = QStringLiteral("keys:after");

    struct Case {
        QString action;
        std::function<void(UpdateScripting&)> fill;
        QStringList run;     // what the runner did, a Send Keystrokes "after" following the item
        QString description; // the list's details
    };
    const std::vector<Case> cases{
        {QStringLiteral("Send Keystrokes"),
         [](UpdateScripting& f) {
             PageField<QLineEdit>(f, QStringLiteral("keystrokes"))->setText("Hello[Enter]");
         },
         {QStringLiteral("keys:Hello[Enter]"), after},
         QStringLiteral("Hello[Enter]")},
        {QStringLiteral("Set Focus"),
         [](UpdateScripting& f) {
             PageField<QComboBox>(f, QStringLiteral("focusOnWindow"))
                 ->setEditText(QStringLiteral("*Notepad"));
             WhenShown<UpdateScriptingGetChildFocus>([](UpdateScriptingGetChildFocus& w) {
                 EXPECT_EQ(w.objectName(), QStringLiteral("UpdateScriptingGetChildFocus"));
                 w.textField()->setEditText(QStringLiteral("Save"));
                 w.accept();
             });
             PageField<QPushButton>(f, QStringLiteral("advanced"))->click();
         },
         {QStringLiteral("focus:*Notepad|Save"), after},
         QStringLiteral("*Notepad")},
        {QStringLiteral("Wait"),
         [](UpdateScripting& f) {
             PageField<QSpinBox>(f, QStringLiteral("secondsToWait"))->setValue(10);
             PageField<QRadioButton>(f, QStringLiteral("or"))->click();
             PageField<QComboBox>(f, QStringLiteral("waitForWindow"))
                 ->setEditText(QStringLiteral("*Notepad"));
             WhenShown<UpdateScriptingGetChild>([](UpdateScriptingGetChild& w) {
                 EXPECT_EQ(w.objectName(), QStringLiteral("UpdateScriptingGetChild"));
                 EXPECT_EQ(w.windowTitle(), QStringLiteral("Advanced Settings"));
                 w.textField()->setEditText(QStringLiteral("OK"));
                 w.reject(); // Escape keeps the text, as the window's one button does
             });
             PageField<QPushButton>(f, QStringLiteral("advanced"))->click();
         },
         {QStringLiteral("activate:*Notepad|OK"), after},
         QStringLiteral("10 seconds Or *Notepad")},
        {QStringLiteral("Display Message"),
         [](UpdateScripting& f) {
             PageField<QLineEdit>(f, QStringLiteral("messageTitle"))->setText(QStringLiteral("Reminder"));
             PageField<QLineEdit>(f, QStringLiteral("message"))->setText(QStringLiteral("Back up now"));
         },
         {QStringLiteral("message:Back up now|Reminder"), after},
         QStringLiteral("Back up now Reminder")},
        {QStringLiteral("If Window..."),
         [](UpdateScripting& f) {
             PageWidgets<QRadioButton>(f)[1]->click(); // Window Doesn't Exist
             PageField<QComboBox>(f, QStringLiteral("windowTitleToCheckFor"))->setEditText("Untitled - *");
             WhenShown<UpdateScriptingGetChild>([](UpdateScriptingGetChild& w) {
                 w.textField()->setEditText(QStringLiteral("Cancel"));
                 w.accept();
             });
             PageField<QPushButton>(f, QStringLiteral("advanced"))->click();
         },
         {QStringLiteral("exists:Untitled - *|Cancel"), after},
         QStringLiteral("Untitled - */Cancel - Window Doesn't Exist")},
        {QStringLiteral("If Time Elapsed..."),
         [](UpdateScripting& f) {
             PageWidgets<QRadioButton>(f)[1]->click(); // Less Than
             PageField<QSpinBox>(f, QStringLiteral("timeElapsed"))->setValue(3600);
         },
         {after},
         QStringLiteral("3600 seconds")},
        {QStringLiteral("If Value..."),
         [](UpdateScripting& f) {
             PageField<QLineEdit>(f, QStringLiteral("valueName"))->setText(QStringLiteral("COUNT"));
             auto* op = PageField<QComboBox>(f, QStringLiteral("comparison"));
             op->setCurrentIndex(op->findText(QStringLiteral("=>")));
             PageField<QLineEdit>(f, QStringLiteral("compareTo"))->setText(QStringLiteral("[LIMIT]"));
         },
         {after},
         QStringLiteral("COUNT => [LIMIT]")},
        {QStringLiteral("...End If"), [](UpdateScripting&) {}, {after}, QString()},
        {QStringLiteral("Start Program"),
         [](UpdateScripting& f) {
             PageField<QLineEdit>(f, QStringLiteral("command"))->setText(QStringLiteral("/usr/bin/gedit"));
             PageField<QLineEdit>(f, QStringLiteral("startIn"))->setText(QStringLiteral("/tmp"));
             WhenShown<ScriptingStartProgramAdvanced>([](ScriptingStartProgramAdvanced& w) {
                 w.startTypes()->button(2)->click(); // Print
                 w.waitBox()->click();
                 w.timeoutField()->setValue(30);
                 w.priorities()->button(3)->click();
                 w.windowModes()->button(7)->click();
                 w.accept();
             });
             PageField<QPushButton>(f, QStringLiteral("advanced"))->click();
         },
         {QStringLiteral("start:/usr/bin/gedit|/tmp|Print|7|3|1"), after},
         QStringLiteral("/usr/bin/gedit /tmp")},
        {QStringLiteral("Close Program"),
         [](UpdateScripting& f) { PageField<QLineEdit>(f, QStringLiteral("executable"))->setText("gedit"); },
         {QStringLiteral("close:gedit"), after},
         QStringLiteral("gedit")},
        {QStringLiteral("Start Script"),
         [this, scriptFile](UpdateScripting& f) {
             files.answer(scriptFile);
             PageField<QToolButton>(f, QString())->click();
             auto* type = PageField<QComboBox>(f, QStringLiteral("loadType"));
             type->setCurrentIndex(type->findText(QStringLiteral("Insert (Execute and continue)")));
         },
         {QStringLiteral("keys:from file"), after},
         scriptFile + QStringLiteral(" Insert (Execute and continue)")},
        {QStringLiteral("DDE"),
         [](UpdateScripting& f) {
             PageField<QLineEdit>(f, QStringLiteral("ddeApplicationName"))->setText("org.example.Notes");
             PageField<QLineEdit>(f, QStringLiteral("ddeApplicationTopic"))->setText("/notes");
             PageField<QLineEdit>(f, QStringLiteral("ddeCommand"))->setText("[open]");
         },
         {QStringLiteral("dde:org.example.Notes|/notes|[open]"), after},
         QStringLiteral(" org.example.Notes /notes")},
        {QStringLiteral("File Actions"),
         [](UpdateScripting& f) {
             auto* type = PageField<QComboBox>(f, QStringLiteral("fileAction"));
             type->setCurrentIndex(type->findText(QStringLiteral("Get File Size")));
             PageField<QLineEdit>(f, QStringLiteral("parameter1"))->setText(QStringLiteral("/tmp/a.txt"));
             PageField<QLineEdit>(f, QStringLiteral("parameter2"))->setText(QStringLiteral("/tmp/b.txt"));
         },
         {QStringLiteral("file:Get File Size|/tmp/a.txt|/tmp/b.txt"), after},
         QStringLiteral("Get File Size ( /tmp/a.txt , /tmp/b.txt )")},
        {QStringLiteral("Send Email"),
         [](UpdateScripting& f) {
             WhenShown<SelectMessage>([](SelectMessage& w) {
                 EXPECT_EQ(w.list()->rowCount(), 1);
                 EXPECT_EQ(w.list()->item(0, 0)->text(), QStringLiteral("Weekly report"));
                 w.accept();
             });
             PageWidgets<QPushButton>(f)[0]->click();
             EXPECT_EQ(PageField<QLineEdit>(f, QStringLiteral("emailTo"))->text(), "ann@example.org");
             EXPECT_EQ(PageField<QLineEdit>(f, QStringLiteral("subject"))->text(), "Weekly report");
         },
         {QStringLiteral("mail:4"), after},
         QString()},
        {QStringLiteral("Set Value"),
         [](UpdateScripting& f) {
             PageField<QLineEdit>(f, QStringLiteral("valueName"))->setText(QStringLiteral("TARGET"));
             PageField<QLineEdit>(f, QStringLiteral("value"))->setText(QStringLiteral("done"));
         },
         {QStringLiteral("value:done"), after},
         QStringLiteral("TARGET = done")},
        {QStringLiteral("Exit Script"), [](UpdateScripting&) {}, {}, QString()},
    };
    ASSERT_EQ(cases.size(), static_cast<std::size_t>(ActionCatalogue().size()));

    qint32 task = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action.toStdString());
        ++task;
        dialogs.shown.clear();
        UpdateScripting form(*ctx, task);
        ASSERT_TRUE(form.ready());
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Adding Scripting"));
        Choose(form, c.action);
        c.fill(form);
        form.accept();
        ASSERT_EQ(form.result(), QDialog::Accepted);
        addItems(task, {QStringLiteral("after")}, 2);

        const auto stored = script(task);
        ASSERT_EQ(stored.size(), 2u);
        EXPECT_EQ(stored[0].action, c.action);
        EXPECT_EQ(stored[0].sequence, 1);
        EXPECT_EQ(stored[0].networkUser, QStringLiteral("desk-1"));
        EXPECT_EQ(stored[0].lastChangeDate, clock.today());
        EXPECT_EQ(stored[0].originalId, task);
        EXPECT_EQ(DescribeScriptItem(stored[0]), c.description);

        dialogs.shown.clear();
        run(task);
        QStringList did = services.calls;
        for (const auto& shown : dialogs.shown)
            did.prepend(QStringLiteral("message:") + shown.text + QLatin1Char('|') + shown.caption);
        if (values.getValue(QStringLiteral("TARGET")) == QStringLiteral("done")) {
            did.prepend(QStringLiteral("value:done"));
            values.setValue(QStringLiteral("TARGET"), QString());
        }
        EXPECT_EQ(did, c.run);
    }
}

TEST_F(UpdateScriptingTest, MessageFieldsAreTheirOwnAndDdeFieldsStayOnTheDdePage) {
    UpdateScripting form(*ctx, 7);
    Choose(form, QStringLiteral("Display Message"));
    EXPECT_EQ(form.pageName(), QStringLiteral("Display Message"));
    EXPECT_EQ(form.helpBox()->toPlainText(),
              QStringLiteral("This will display a message with a title, and OK button."));
    PageField<QLineEdit>(form, QStringLiteral("messageTitle"))->setText(QStringLiteral("Title here"));
    PageField<QLineEdit>(form, QStringLiteral("message"))->setText(QStringLiteral("Text here"));
    form.accept();
    Scripting saved = script(7).at(0);
    EXPECT_EQ(saved.ddeApplicationName, QStringLiteral("Text here"));
    EXPECT_EQ(saved.ddeApplicationTopic, QStringLiteral("Title here"));

    UpdateScripting change(*ctx, watched(saved));
    EXPECT_EQ(change.windowTitle(), QStringLiteral("Changing Scripting"));
    EXPECT_EQ(PageField<QLineEdit>(change, QStringLiteral("messageTitle"))->text(),
              QStringLiteral("Title here"));
    EXPECT_EQ(PageField<QLineEdit>(change, QStringLiteral("message"))->text(), QStringLiteral("Text here"));
    change.reject();
    EXPECT_EQ(script(7).size(), 1u); // cancelling a change deletes nothing

    Scripting dde = saved;
    dde.sequence = 2;
    dde.action = QStringLiteral("DDE");
    dde.ddeApplicationName = QStringLiteral("org.example.Notes");
    dde.ddeApplicationTopic = QStringLiteral("/notes");
    {
        Table<Scripting> items(*store);
        ASSERT_EQ(items.add(dde), Err::None);
    }
    UpdateScripting ddeForm(*ctx, watched(dde));
    EXPECT_EQ(ddeForm.pageName(), QStringLiteral("DDE"));
    EXPECT_EQ(PageField<QLineEdit>(ddeForm, QStringLiteral("ddeApplicationName"))->text(),
              "org.example.Notes");
    EXPECT_EQ(PageField<QLineEdit>(ddeForm, QStringLiteral("ddeApplicationTopic"))->text(), "/notes");
    Choose(ddeForm, QStringLiteral("Display Message"));
    EXPECT_EQ(PageField<QLineEdit>(ddeForm, QStringLiteral("messageTitle"))->text(), QString());
    EXPECT_EQ(PageField<QLineEdit>(ddeForm, QStringLiteral("message"))->text(), QString());
    Choose(ddeForm, QStringLiteral("DDE"));
    EXPECT_EQ(PageField<QLineEdit>(ddeForm, QStringLiteral("ddeApplicationTopic"))->text(), "/notes");
}

TEST_F(UpdateScriptingTest, ABlankStartOptionOpensAsTheDefaultsAndIsSavedAs021) {
    UpdateScripting form(*ctx, 7);
    Choose(form, QStringLiteral("Start Program"));
    bool checked = false;
    WhenShown<ScriptingStartProgramAdvanced>([&checked](ScriptingStartProgramAdvanced& w) {
        checked = true;
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Advanced..."));
        EXPECT_FALSE(w.waitBox()->isChecked());
        EXPECT_EQ(w.priorities()->checkedButton()->text(), QStringLiteral("Normal"));
        EXPECT_EQ(w.windowModes()->checkedButton()->text(), QStringLiteral("Start and give focus"));
        EXPECT_EQ(w.startTypes()->checkedButton()->text(), QStringLiteral("Open"));
        // The time-out only counts while waiting, the start type only while not.
        EXPECT_FALSE(w.timeoutField()->isEnabled());
        EXPECT_TRUE(w.startTypeGroup()->isEnabled());
        w.waitBox()->click();
        EXPECT_TRUE(w.timeoutField()->isEnabled());
        EXPECT_FALSE(w.startTypeGroup()->isEnabled());
        w.waitBox()->click();
        w.accept();
    });
    PageField<QPushButton>(form, QStringLiteral("advanced"))->click();
    EXPECT_TRUE(checked);
    form.accept();
    const Scripting saved = script(7).at(0);
    EXPECT_EQ(saved.ddeApplicationName, QStringLiteral("021"));
    EXPECT_EQ(saved.ddeApplicationTopic, QStringLiteral("Open"));
    EXPECT_EQ(saved.timeElapsed, 86400); // the new item's default time-out, kept

    // Cancel leaves the options as they were.
    UpdateScripting change(*ctx, watched(saved));
    WhenShown<ScriptingStartProgramAdvanced>([](ScriptingStartProgramAdvanced& w) {
        w.waitBox()->click();
        w.reject();
    });
    PageField<QPushButton>(change, QStringLiteral("advanced"))->click();
    change.accept();
    EXPECT_EQ(script(7).at(0).ddeApplicationName, QStringLiteral("021"));
}

TEST_F(UpdateScriptingTest, ExitScriptAndUnknownActionsUseTheOtherPage) {
    UpdateScripting form(*ctx, 7);
    Choose(form, QStringLiteral("Exit Script"));
    EXPECT_EQ(form.pageName(), QStringLiteral("Other"));
    EXPECT_EQ(form.action(), QStringLiteral("Other"));
    EXPECT_EQ(form.pageFrame()->title(), QStringLiteral("Exit Script"));
    EXPECT_TRUE(form.findChild<QWidget*>(QStringLiteral("Other"))
                    ->findChild<QLabel*>()
                    ->text()
                    .contains(QStringLiteral("No information is required for this action.")));
    EXPECT_TRUE(form.actionButton(QStringLiteral("Exit Script"))->isChecked());
    EXPECT_EQ(form.groups()->currentIndex(), 3);
    form.accept();
    EXPECT_TRUE(dialogs.shown.empty());
    const Scripting saved = script(7).at(0);
    EXPECT_EQ(saved.action, QStringLiteral("Exit Script"));

    // Reopened, it is on the Other page again and is saved as it was.
    UpdateScripting again(*ctx, watched(saved));
    EXPECT_EQ(again.pageName(), QStringLiteral("Other"));
    again.accept();
    EXPECT_EQ(script(7).at(0).action, QStringLiteral("Exit Script"));

    // A text the form does not know is kept as it is; "Other" itself is reported, and saved.
    Scripting odd = saved;
    odd.action = QStringLiteral("Dance");
    {
        Table<Scripting> items(*store);
        Scripting s = watched(saved);
        s.action = odd.action;
        ASSERT_EQ(items.put(s), Err::None);
    }
    UpdateScripting dance(*ctx, watched(odd));
    EXPECT_EQ(dance.pageName(), QStringLiteral("Other"));
    EXPECT_FALSE(AnyChosen(dance));
    dance.accept();
    EXPECT_EQ(script(7).at(0).action, QStringLiteral("Dance"));

    Scripting other = script(7).at(0);
    {
        Table<Scripting> items(*store);
        Scripting s = watched(other);
        s.action = QStringLiteral("Other");
        ASSERT_EQ(items.put(s), Err::None);
    }
    UpdateScripting placeholder(*ctx, watched(other));
    placeholder.accept();
    EXPECT_EQ(placeholder.result(), QDialog::Accepted);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("\"Other\" script item not recorded correctly.  Re-enter."));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(script(7).at(0).action, QStringLiteral("Other"));
}

TEST_F(UpdateScriptingTest, TheOlderDdeNameOpensOnTheDdePageWithItsHelp) {
    addItems(7, {QString()});
    Scripting old = script(7).at(0);
    {
        Table<Scripting> items(*store);
        Scripting s = watched(old);
        s.action = QStringLiteral("DDE (Dynamic Data Exchange)");
        s.ddeCommand = QStringLiteral("[open]");
        ASSERT_EQ(items.put(s), Err::None);
    }
    UpdateScripting form(*ctx, watched(old));
    EXPECT_EQ(form.pageName(), QStringLiteral("DDE"));
    EXPECT_EQ(form.pageFrame()->title(), QStringLiteral("DDE (Dynamic Data Exchange)"));
    EXPECT_TRUE(form.helpBox()->toPlainText().startsWith(
        QStringLiteral("This executes a DDE command of your choice with the application you specify.")));
    EXPECT_TRUE(form.actionButton(QStringLiteral("DDE"))->isChecked());
    EXPECT_EQ(PageField<QLineEdit>(form, QStringLiteral("ddeCommand"))->text(), QStringLiteral("[open]"));
    form.accept();
    EXPECT_EQ(script(7).at(0).action, QStringLiteral("DDE (Dynamic Data Exchange)"));
}

TEST_F(UpdateScriptingTest, TheProgramPickerFillsTheFolderOnlyWhenItIsBlank) {
    UpdateScripting form(*ctx, 7);
    Choose(form, QStringLiteral("Start Program"));
    files.answer(QStringLiteral("/usr/bin/gedit"));
    form.browseProgram();
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_EQ(files.asked[0].title, QStringLiteral("Select a Program"));
    EXPECT_EQ(files.asked[0].filter,
              QStringLiteral("All Files|*.*|EXEs|*.EXE|COMs|*.COM|BATs|*.BAT|Shortcuts|*.LNK"));
    EXPECT_EQ(PageField<QLineEdit>(form, QStringLiteral("command"))->text(),
              QStringLiteral("/usr/bin/gedit"));
    EXPECT_EQ(PageField<QLineEdit>(form, QStringLiteral("startIn"))->text(), QStringLiteral("/usr/bin"));

    PageField<QLineEdit>(form, QStringLiteral("startIn"))->setText(QStringLiteral("/home/ann"));
    files.answer(QStringLiteral("/opt/tool/run"));
    form.browseProgram();
    EXPECT_EQ(files.asked[1].directory, QStringLiteral("/home/ann"));
    EXPECT_EQ(PageField<QLineEdit>(form, QStringLiteral("command"))->text(), QStringLiteral("/opt/tool/run"));
    EXPECT_EQ(PageField<QLineEdit>(form, QStringLiteral("startIn"))->text(), QStringLiteral("/home/ann"));
    form.browseProgram(); // cancelled: nothing changes
    EXPECT_EQ(PageField<QLineEdit>(form, QStringLiteral("command"))->text(), QStringLiteral("/opt/tool/run"));
    form.accept();
    EXPECT_EQ(script(7).at(0).path, QStringLiteral("/home/ann"));
}

TEST_F(UpdateScriptingTest, CancelTakesTheNewItemBackAndATasklessItemIsReported) {
    addItems(7, {QStringLiteral("kept")});
    {
        UpdateScripting form(*ctx, 7);
        EXPECT_EQ(form.item().sequence, 2);
        EXPECT_EQ(script(7).size(), 2u); // added at once
        form.reject();
    }
    EXPECT_EQ(order(7), QStringList{QStringLiteral("1:kept")});
    EXPECT_TRUE(dialogs.shown.empty());

    UpdateScripting orphan(*ctx, 0);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Unable to attach script to scheduled item."));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Internal Error"));
    orphan.reject();
    EXPECT_TRUE(script(0).empty());
}

TEST_F(UpdateScriptingTest, AnotherStationsChangeIsShownAndNotOverwritten) {
    addItems(7, {QStringLiteral("original")});
    UpdateScripting form(*ctx, watched(script(7).at(0)));
    {
        ScriptedDialogs otherDialogs;
        Store other(dir.path(), otherDialogs, end);
        Table<Scripting> items(other);
        Scripting theirs = script(7).at(0);
        items.watch();
        ASSERT_EQ(items.get(Scripting::KEYID, theirs), Err::None);
        theirs.keystrokes = QStringLiteral("theirs");
        ASSERT_EQ(items.put(theirs), Err::None);
    }
    PageField<QLineEdit>(form, QStringLiteral("keystrokes"))->setText(QStringLiteral("mine"));
    form.accept();
    EXPECT_EQ(form.result(), 0); // still open
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("This record was changed by another station.")});
    EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Update Operation Error")});
    EXPECT_EQ(PageField<QLineEdit>(form, QStringLiteral("keystrokes"))->text(), QStringLiteral("theirs"));
    EXPECT_EQ(script(7).at(0).keystrokes, QStringLiteral("theirs"));
    form.accept(); // saved over the version now shown
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(script(7).at(0).keystrokes, QStringLiteral("theirs"));
    EXPECT_EQ(script(7).at(0).networkUser, QStringLiteral("desk-1"));
}

TEST_F(UpdateScriptingTest, WindowListsFollowTheDesktopWhenDroppedDown) {
    desktop.windows = {
        {QStringLiteral("Untitled - Notes"), 11, 0}, {QString(), 12, 0}, {QStringLiteral("Mail"), 13, 0}};
    desktop.children[11] = {{QStringLiteral("button"), QStringLiteral("&Save"), 21, false},
                            {QStringLiteral("static"), QStringLiteral("<>"), 22, false},
                            {QStringLiteral("static"), QString(60, QLatin1Char('x')), 23, false}};
    UpdateScripting form(*ctx, 7);
    Choose(form, QStringLiteral("Wait"));
    auto* box = PageField<LiveListBox>(form, QStringLiteral("waitForWindow"));
    EXPECT_EQ(box->count(), 2); // untitled windows are not listed
    box->setEditText(QStringLiteral("Untitled*"));
    desktop.windows.push_back({QStringLiteral("Calculator"), 14, 0});
    box->showPopup();
    box->hidePopup();
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(2), QStringLiteral("Calculator"));
    EXPECT_EQ(box->currentText(), QStringLiteral("Untitled*")); // what was typed stays

    // The confirming text offers the texts inside the window the title finds.
    WhenShown<UpdateScriptingGetChild>([](UpdateScriptingGetChild& w) {
        w.textField()->showPopup();
        w.textField()->hidePopup();
        EXPECT_EQ(w.textField()->count(), 2);
        EXPECT_EQ(w.textField()->itemText(0), QStringLiteral("&Save"));
        EXPECT_EQ(w.textField()->itemText(1), QString(40, QLatin1Char('x')));
        EXPECT_EQ(w.textField()->toolTip(), QStringLiteral("Contents of window to locate"));
        w.textField()->setCurrentIndex(0);
        w.accept();
    });
    PageField<QPushButton>(form, QStringLiteral("advanced"))->click();
    form.accept();
    EXPECT_EQ(script(7).at(0).focusOnWindow, QStringLiteral("&Save"));
    EXPECT_EQ(script(7).at(0).waitForWindow, QStringLiteral("Untitled*"));
}

TEST_F(UpdateScriptingTest, TheChooserHasItsGroupsInTheCatalogueOrderWithTheirHelp) {
    UpdateScripting form(*ctx, 7);
    ASSERT_EQ(form.groups()->count(), 4);
    EXPECT_EQ(form.groups()->tabText(0), QStringLiteral("Basic Actions"));
    EXPECT_EQ(form.groups()->tabText(1), QStringLiteral("Conditions"));
    EXPECT_EQ(form.groups()->tabText(2), QStringLiteral("Program Control"));
    EXPECT_EQ(form.groups()->tabText(3), QStringLiteral("Miscellaneous"));
    QStringList offered;
    for (int g = 0; g < 4; ++g)
        for (QRadioButton* b : form.groups()->widget(g)->findChildren<QRadioButton*>())
            offered << b->text();
    EXPECT_EQ(offered, ActionCatalogue());
    // A new item starts as keystrokes.
    EXPECT_EQ(form.pageName(), QStringLiteral("Keys"));
    EXPECT_TRUE(form.helpBox()->toPlainText().startsWith(QStringLiteral("Enter the keystrokes you wish")));
    Choose(form, QStringLiteral("...End If"));
    EXPECT_EQ(form.helpBox()->toPlainText(), QString());
    EXPECT_EQ(form.groups()->currentIndex(), 1);
    Choose(form, QStringLiteral("Set Focus"));
    EXPECT_TRUE(
        form.helpBox()->toPlainText().contains(QStringLiteral("Enter one of the following:  |  (a)")));
}

TEST_F(UpdateScriptingTest, TheFrameShowsThePageOfTheChosenActionOnlyInItsGroup) {
    // The pages the user can see, by name.
    const auto visiblePages = [](UpdateScripting& form) {
        QStringList shown;
        for (QWidget* w : form.pageFrame()->findChildren<QWidget*>()) {
            if (qobject_cast<QStackedWidget*>(w->parentWidget()) != nullptr && w->isVisible() &&
                !w->objectName().isEmpty())
                shown << w->objectName();
        }
        return shown;
    };
    const auto turnTo = [](UpdateScripting& form, int group) {
        QTabBar* bar = form.groups()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(group).center());
        ASSERT_EQ(form.groups()->currentIndex(), group);
    };
    const auto chosenIn = [](UpdateScripting& form, int group) {
        QStringList chosen;
        for (QRadioButton* b : form.groups()->widget(group)->findChildren<QRadioButton*>())
            if (b->isChecked())
                chosen << b->text();
        return chosen;
    };

    UpdateScripting form(*ctx, 7);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(visiblePages(form), QStringList{QStringLiteral("Keys")});
    PageField<QLineEdit>(form, QStringLiteral("keystrokes"))->setText(QStringLiteral("[AltF]x"));

    // Turned to a group that does not hold the chosen action: no page, title or help of it.
    turnTo(form, 2);
    EXPECT_EQ(chosenIn(form, 2), QStringList());
    EXPECT_EQ(visiblePages(form), QStringList());
    EXPECT_EQ(form.pageFrame()->title(), QString());
    EXPECT_EQ(form.helpBox()->toPlainText(), QString());
    // Back in its own group it is there again, with what was typed.
    turnTo(form, 0);
    EXPECT_EQ(visiblePages(form), QStringList{QStringLiteral("Keys")});
    EXPECT_EQ(form.pageFrame()->title(), QStringLiteral("Send Keystrokes"));
    EXPECT_EQ(PageField<QLineEdit>(form, QStringLiteral("keystrokes"))->text(), QStringLiteral("[AltF]x"));

    // Choosing in the group turned to shows that action's page; the keys wait on their own.
    turnTo(form, 2);
    Choose(form, QStringLiteral("Start Script"));
    EXPECT_EQ(visiblePages(form), QStringList{QStringLiteral("Start Script")});
    EXPECT_EQ(form.pageFrame()->title(), QStringLiteral("Start Script"));
    turnTo(form, 0);
    EXPECT_EQ(chosenIn(form, 0), QStringList());
    EXPECT_EQ(visiblePages(form), QStringList());
    Choose(form, QStringLiteral("Send Keystrokes"));
    EXPECT_EQ(visiblePages(form), QStringList{QStringLiteral("Keys")});
    EXPECT_EQ(PageField<QLineEdit>(form, QStringLiteral("keystrokes"))->text(), QStringLiteral("[AltF]x"));

    // OK while another group is turned to saves the chosen action as it stands.
    turnTo(form, 3);
    form.accept();
    EXPECT_TRUE(dialogs.shown.empty());
    const Scripting saved = script(7).at(0);
    EXPECT_EQ(saved.action, QStringLiteral("Send Keystrokes"));
    EXPECT_EQ(saved.keystrokes, QStringLiteral("[AltF]x"));

    // An action the chooser does not show keeps its page in every group.
    {
        Table<Scripting> items(*store);
        Scripting s = watched(saved);
        s.action = QStringLiteral("Dance");
        ASSERT_EQ(items.put(s), Err::None);
    }
    UpdateScripting dance(*ctx, watched(saved));
    dance.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dance));
    for (int group = 0; group < 4; ++group) {
        turnTo(dance, group);
        EXPECT_EQ(chosenIn(dance, group), QStringList());
        EXPECT_EQ(visiblePages(dance), QStringList{QStringLiteral("Other")}) << group;
        EXPECT_EQ(dance.pageFrame()->title(), QStringLiteral("Dance"));
    }
    dance.reject();
}

TEST_F(UpdateScriptingTest, NoTwoControlsShareAnAcceleratorOnAnyPage) {
    UpdateScripting form(*ctx, 7);
    for (int group = 0; group < form.groups()->count(); ++group) {
        form.groups()->setCurrentIndex(group);
        for (const QString& action : ActionCatalogue()) {
            Choose(form, action);
            form.groups()->setCurrentIndex(group);
            EXPECT_EQ(AcceleratorClashes(&form), QStringList()) << action.toStdString() << " / " << group;
            // The help speaks of this desktop, not of another one.
            for (const char* other : {"Windows", "EXE", ".exe"})
                EXPECT_FALSE(form.helpBox()->toPlainText().contains(QLatin1String(other)))
                    << action.toStdString();
        }
    }
    UpdateScriptingGetChild child(*ctx, QString(), QString());
    EXPECT_EQ(AcceleratorClashes(&child), QStringList());
    Scripting item;
    ScriptingStartProgramAdvanced options(*ctx, item);
    EXPECT_EQ(AcceleratorClashes(&options), QStringList());
    SelectMessage messages(*ctx, 0);
    EXPECT_EQ(AcceleratorClashes(&messages), QStringList());
    form.reject();
}

TEST_F(UpdateScriptingTest, CtrlTabTurnsTheActionGroupsWhereverTheFocusIs) {
    UpdateScripting form(*ctx, 7);
    form.show();
    QApplication::setActiveWindow(&form);
    Choose(form, QStringLiteral("Send Keystrokes"));
    QWidget* keys = PageField<QLineEdit>(form, QStringLiteral("keystrokes"));
    keys->setFocus();
    ASSERT_EQ(form.groups()->currentIndex(), 0);
    QTest::keyClick(keys, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form.groups()->currentIndex(), 1);
    QTest::keyClick(keys, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(keys, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form.groups()->currentIndex(), 3);
    form.reject();
}

} // namespace
} // namespace kr::test
