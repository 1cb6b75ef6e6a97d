// The task form and the wizards, driven through their fields on a real data file.

#include "scheduler/ui/TaskForm.h"
#include "../../store/Peer.h"
#include "platform/qt/Ditto.h"
#include "platform/qt/Fields.h"
#include "scheduler/Occurrence.h"
#include "scheduler/TaskEditing.h"
#include "script/ScriptItems.h"
#include "store/Numbering.h"
#include "store/Table.h"
#include "support/Accelerators.h"
#include "support/FakeClock.h"
#include "support/RecordingSound.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedFileDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

// Not hidden by the form's rules (the page it sits on may not be the one showing).
bool Shown(const QWidget* w) {
    return !w->isHidden();
}

Date D(int y, int m, int d) {
    return DateFromYmd(y, m, d);
}

class TaskFormTest : public ::testing::Test {
protected:
    TaskFormTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        config = std::make_unique<ConfigStore>(*store, dir.file(QStringLiteral("KR98.INI")));
        settings.dateFormat = QStringLiteral("d6"); // dd/mm/yyyy
        settings.userId = QStringLiteral("desk-1");
        ctx = std::make_unique<TaskFormContext>(TaskFormContext{
            *store,
            dialogs,
            files,
            clock,
            settings,
            *config,
            IniFile(dir.file(QStringLiteral("POSITION.INI"))),
            sound,
            QStringLiteral("/home/ann/kelvray"),
            [this](Date date, const QString& title, const QString& option, const Schedule& task) {
                calendarCalls << title + QLatin1Char('|') + option;
                calendarTask = task;
                return calendarAnswer != 0 ? calendarAnswer : date;
            },
            {}});
    }
    Schedule stored(qint32 id) {
        Table<Schedule> tasks(*store);
        Schedule t;
        t.id = id;
        EXPECT_EQ(tasks.get(Schedule::KEYID, t), Err::None);
        return t;
    }
    qint64 taskCount() {
        Table<Schedule> tasks(*store);
        return tasks.records();
    }
    Schedule addTask(const Schedule& t) {
        Table<Schedule> tasks(*store);
        Schedule copy = t;
        EXPECT_EQ(tasks.add(copy), Err::None);
        return loadWatched(copy.id);
    }
    Schedule loadWatched(qint32 id) {
        Table<Schedule> tasks(*store);
        Schedule t;
        t.id = id;
        tasks.watch();
        EXPECT_EQ(tasks.get(Schedule::KEYID, t), Err::None);
        return t;
    }
    void addItems(qint32 task, int count) {
        Table<Scripting> script(*store);
        for (int i = 1; i <= count; ++i) {
            Scripting s;
            s.id = task;
            s.sequence = i;
            s.action = QStringLiteral("Set Value");
            ASSERT_EQ(script.add(s), Err::None);
        }
    }
    int itemCount(qint32 task) {
        Table<Scripting> script(*store);
        Scripting s;
        script.set(-1);
        int n = 0;
        while (script.next(s) == Err::None)
            n += s.id == task ? 1 : 0;
        return n;
    }
    static void enter(QLineEdit* field, const QString& text) {
        field->setText(text);
        field->setModified(true);
        Q_EMIT field->editingFinished();
    }
    static void choose(QComboBox* box, const QString& text) {
        box->setCurrentIndex(box->findText(text));
        Q_EMIT box->activated(box->currentIndex());
    }
    static void click(QAbstractButton* b) { b->click(); }

    TempDir dir;
    ScriptedDialogs dialogs;
    ScriptedFileDialogs files;
    ThrowingProgramEnd end;
    FakeClock clock{D(2026, 12, 8), TimeFromHms(9, 30, 0)};
    Settings settings;
    RecordingSound sound;
    std::unique_ptr<Store> store;
    std::unique_ptr<ConfigStore> config;
    std::unique_ptr<TaskFormContext> ctx;
    QStringList calendarCalls;
    Schedule calendarTask;
    Date calendarAnswer = 0;
};

TEST_F(TaskFormTest, ANewTaskStartsOnTheSelectedDayEveryDayOfTheWeek) {
    UpdateSchedule form(*ctx, Request::Insert, Schedule{}, D(2026, 12, 24));
    ASSERT_TRUE(form.ready());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Adding a Schedule Task"));
    EXPECT_EQ(taskCount(), 1); // the number is reserved at once...
    {
        // ...by a record the scheduler does not see until it is saved.
        Table<Schedule> tasks(*store);
        Schedule probe;
        tasks.set(Schedule::KEYDATEENABLED);
        EXPECT_EQ(tasks.next(probe), Err::NoMoreRecords);
    }
    Schedule t = form.task();
    EXPECT_EQ(t.id, 1);
    EXPECT_EQ(t.date, D(2026, 12, 24));
    EXPECT_EQ(t.time, clock.now());
    EXPECT_EQ(t.taskType, QStringLiteral("Both"));
    EXPECT_EQ(t.scheduleType, QStringLiteral("Day of Week"));
    EXPECT_EQ(t.sunday + t.monday + t.tuesday + t.wednesday + t.thursday + t.friday + t.saturday, 7);
    EXPECT_EQ(t.everyLast, 1);
    EXPECT_EQ(t.warn, 1);
    EXPECT_EQ(t.every, 1);
    EXPECT_EQ(t.everyType, QStringLiteral("hour(s)"));
    EXPECT_EQ(form.dateField()->text(), QStringLiteral("24/12/2026"));
    EXPECT_EQ(form.timeField()->text(), QStringLiteral("9:30AM"));
    EXPECT_TRUE(Shown(form.weekdayBox(1)));
    EXPECT_FALSE(Shown(form.exceptButton())); // not for days of the week

    // Cancel gives the number back, with the script items added meanwhile.
    addItems(1, 2);
    form.reject();
    EXPECT_EQ(taskCount(), 0);
    EXPECT_EQ(itemCount(1), 0);

    // Without a selected day: today.
    UpdateSchedule today(*ctx, Request::Insert, Schedule{});
    EXPECT_EQ(today.task().date, clock.today());
    today.reject();
}

TEST_F(TaskFormTest, TheScheduleTypeDecidesWhichRepetitionFieldsShow) {
    UpdateSchedule form(*ctx, Request::Insert, Schedule{});
    choose(form.scheduleTypeField(), QStringLiteral("Day of Month"));
    EXPECT_TRUE(Shown(form.ordinalBox(4)));
    EXPECT_TRUE(form.ordinalBox(4)->isChecked()); // "Last", and all seven days: the last week
    for (int d = 0; d < 7; ++d)
        EXPECT_TRUE(form.weekdayBox(d)->isChecked());
    EXPECT_TRUE(Shown(form.monthEndBox()));
    EXPECT_TRUE(Shown(form.exceptButton()));
    EXPECT_FALSE(Shown(form.everyField()));
    // Month End takes over: the days are disabled but keep their values.
    form.monthEndBox()->setChecked(true);
    EXPECT_FALSE(form.ordinalBox(0)->isEnabled());
    EXPECT_FALSE(form.weekdayBox(3)->isEnabled());
    EXPECT_TRUE(form.weekdayBox(3)->isChecked());
    form.monthEndBox()->setChecked(false);
    EXPECT_TRUE(form.weekdayBox(3)->isEnabled());

    choose(form.scheduleTypeField(), QStringLiteral("Monthly"));
    EXPECT_EQ(form.repetitionGroup()->title(), QStringLiteral("&Repeat (Per Month)"));
    EXPECT_TRUE(form.monthRepeatButton(0)->isChecked()); // a blank repeat becomes "Once"
    EXPECT_TRUE(Shown(form.offsetField()));
    EXPECT_FALSE(form.offsetField()->isEnabled());
    EXPECT_FALSE(form.tipsButton()->isEnabled());
    EXPECT_FALSE(Shown(form.weekdayBox(0)));
    click(form.monthRepeatButton(1));
    EXPECT_TRUE(form.offsetField()->isEnabled());
    click(form.tipsButton());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Offset Tips"));
    EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("4th and the 18th")));
    EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("14th and on the second-last day")));

    choose(form.scheduleTypeField(), QStringLiteral("Custom"));
    EXPECT_EQ(form.repetitionGroup()->title(), QStringLiteral("&Every..."));
    EXPECT_TRUE(Shown(form.everyField()));
    EXPECT_TRUE(Shown(form.everyTypeField()));
    EXPECT_FALSE(Shown(form.monthRepeatButton(0)->parentWidget()));

    choose(form.scheduleTypeField(), QStringLiteral("Yearly"));
    EXPECT_TRUE(Shown(form.exceptButton()));
    EXPECT_FALSE(Shown(form.everyField()));
    choose(form.scheduleTypeField(), QStringLiteral("Once"));
    EXPECT_FALSE(Shown(form.exceptButton()));
    form.reject();
}

TEST_F(TaskFormTest, TheTaskTypeDecidesWhatShowsAndNoneRunsAtTheEndOfTheDay) {
    UpdateSchedule form(*ctx, Request::Insert, Schedule{});
    QTabWidget* tabs = form.tabs();
    ASSERT_EQ(tabs->count(), 5);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("&Task"));
    EXPECT_EQ(tabs->tabText(4), QStringLiteral("&Advanced"));
    click(form.taskTypeButton(QStringLiteral("Run Program")));
    EXPECT_TRUE(tabs->isTabVisible(1));
    EXPECT_FALSE(tabs->isTabVisible(2));
    click(form.taskTypeButton(QStringLiteral("Display Message")));
    EXPECT_FALSE(tabs->isTabVisible(1));
    EXPECT_TRUE(tabs->isTabVisible(2));
    EXPECT_TRUE(Shown(form.timeField()));
    click(form.taskTypeButton(QStringLiteral("None")));
    EXPECT_FALSE(tabs->isTabVisible(1));
    EXPECT_TRUE(tabs->isTabVisible(2));
    EXPECT_FALSE(Shown(form.timeField()));
    EXPECT_EQ(form.task().time, 8639500);

    // The message starts as the description when the user goes to it empty.
    form.descriptionField()->setText(QStringLiteral("Water the plants"));
    tabs->setCurrentIndex(2);
    form.show();
    form.messageField()->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(form.messageField()->toPlainText(), QStringLiteral("Water the plants"));
    form.reject();
}

TEST_F(TaskFormTest, AScriptTheTaskTypeNeverRunsIsSaidWhereTheTypeIsChosen) {
    Schedule t;
    t.id = 12;
    t.description = QStringLiteral("Script demo");
    t.taskType = QStringLiteral("Both");
    t.scheduleType = kDayOfWeek;
    t.date = D(2026, 12, 9);
    t.time = TimeFromHms(9, 0, 0);
    addTask(t);
    t.id = 13;
    t.description = QStringLiteral("No script");
    addTask(t);
    addItems(12, 2);

    UpdateSchedule form(*ctx, Request::Change, loadWatched(12));
    QLabel* note = form.scriptNotRunNote();
    EXPECT_FALSE(Shown(note));
    click(form.taskTypeButton(QStringLiteral("Display Message")));
    EXPECT_TRUE(Shown(note));
    EXPECT_EQ(form.tabs()->indexOf(note->parentWidget()), 0); // beside the task type
    EXPECT_TRUE(note->text().startsWith(QStringLiteral(
        "This script does not run: only \"Run Program\" and \"Both\" tasks run their scripts, and this task "
        "is a \"Display Message\" task.")));
    click(form.taskTypeButton(QStringLiteral("None")));
    EXPECT_TRUE(Shown(note));
    EXPECT_TRUE(note->text().contains(QStringLiteral("is a \"None\" task")));
    click(form.taskTypeButton(QStringLiteral("Run Program")));
    EXPECT_FALSE(Shown(note));
    form.reject();

    // Without a script there is nothing to say.
    UpdateSchedule other(*ctx, Request::Change, loadWatched(13));
    click(other.taskTypeButton(QStringLiteral("Display Message")));
    EXPECT_FALSE(Shown(other.scriptNotRunNote()));
    other.reject();
}

TEST_F(TaskFormTest, DatesAreCheckedAgainstTheScheduleAndTheWarningDefaults) {
    config->ini().write(QStringLiteral("Warning"), QStringLiteral("Active"), QStringLiteral("1"));
    config->ini().write(QStringLiteral("Warning"), QStringLiteral("DateWarning"), QStringLiteral("1"));
    config->ini().write(QStringLiteral("Warning"), QStringLiteral("TimeWarning"), QStringLiteral("0"));
    UpdateSchedule form(*ctx, Request::Insert, Schedule{});
    choose(form.scheduleTypeField(), QStringLiteral("Monthly"));
    click(form.monthRepeatButton(1)); // twice: the 1st and the 15th
    enter(form.dateField(), QStringLiteral("20/12/2026"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Date given does not match schedule type."));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Warning"));
    EXPECT_EQ(form.dateField()->text(), QStringLiteral("20/12/2026")); // kept as entered
    EXPECT_EQ(form.warnDateField()->text(), QStringLiteral("19/12/2026"));
    EXPECT_EQ(form.warnTimeField()->text(), form.timeField()->text());

    enter(form.dateField(), QStringLiteral("15/01/2027")); // fits: no word
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(form.warnDateField()->text(), QStringLiteral("14/01/2027"));

    // An advance warning after the task is cleared.
    enter(form.warnDateField(), QStringLiteral("16/01/2027"));
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, QStringLiteral("Advanced Warning cannot be after scheduled task."));
    EXPECT_EQ(form.warnDateField()->text(), QString());
    EXPECT_EQ(form.task().advanceWarnTime, 0);

    // A date that is no date stays in the field to be corrected.
    enter(form.dateField(), QStringLiteral("31/02/2027"));
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_TRUE(form.dateField()->hasSelectedText() ||
                form.dateField()->text() == QStringLiteral("31/02/2027"));

    // Saved as entered; the scheduler moves it on from there.
    enter(form.dateField(), QStringLiteral("20/12/2026"));
    form.descriptionField()->setText(QStringLiteral("Pay rent"));
    form.accept();
    ASSERT_EQ(form.result(), QDialog::Accepted);
    Schedule t = stored(1);
    EXPECT_EQ(t.date, D(2026, 12, 20));
    EXPECT_EQ(t.monthRepeat, QStringLiteral("Twice - 1st, 15th"));
    AdvanceOccurrence(t, t.date, t.time, dialogs);
    EXPECT_EQ(t.date, D(2027, 1, 15));
}

TEST_F(TaskFormTest, TheCalendarsAreOfferedTheTaskAndTheRightDays) {
    UpdateSchedule form(*ctx, Request::Insert, Schedule{});
    form.descriptionField()->setText(QStringLiteral("Check"));
    calendarAnswer = D(2026, 12, 28);
    click(form.dateCalendarButton());
    click(form.warnCalendarButton());
    EXPECT_EQ(calendarCalls,
              (QStringList{QStringLiteral("Select Date|"), QStringLiteral("Select Date|None")}));
    EXPECT_EQ(calendarTask.description, QStringLiteral("Check"));
    EXPECT_EQ(form.task().date, D(2026, 12, 28));
    // The warning picked on the task's own day at the task's time is allowed.
    EXPECT_EQ(form.task().advanceWarnDate, D(2026, 12, 28));
    form.reject();
}

TEST_F(TaskFormTest, SavingFillsTheBlankCommandAndStampsTheStation) {
    UpdateSchedule form(*ctx, Request::Insert, Schedule{});
    click(form.taskTypeButton(QStringLiteral("Run Program")));
    form.descriptionField()->setText(QStringLiteral("Backup"));
    form.accept();
    ASSERT_EQ(form.result(), QDialog::Accepted);
    Schedule t = stored(1);
    EXPECT_EQ(t.command, QStringLiteral("N/A"));
    EXPECT_EQ(t.description, QStringLiteral("Backup"));
    EXPECT_EQ(t.networkUser, QStringLiteral("desk-1"));
    EXPECT_EQ(t.lastChangeDate, clock.today());
    EXPECT_EQ(t.originalId, 1);

    // Changed later on another day: the stamps move, the number stays.
    clock.advance(kOneDay);
    Schedule loaded = loadWatched(1);
    UpdateSchedule change(*ctx, Request::Change, loaded);
    EXPECT_EQ(change.windowTitle(), QStringLiteral("Changing a Schedule Task"));
    EXPECT_EQ(change.commandField()->text(), QStringLiteral("N/A"));
    change.accept();
    ASSERT_EQ(change.result(), QDialog::Accepted);
    EXPECT_EQ(stored(1).lastChangeDate, clock.today());
    EXPECT_EQ(taskCount(), 1);
}

TEST_F(TaskFormTest, AnotherStationsChangeIsShownAndTheTypedValuesRecalled) {
    Schedule t;
    t.id = 7;
    t.description = QStringLiteral("Original");
    t.taskType = QStringLiteral("Display Message");
    t.scheduleType = QStringLiteral("Once");
    t.date = D(2026, 12, 10);
    Schedule loaded = addTask(t);
    UpdateSchedule form(*ctx, Request::Change, loaded);

    {
        // The other station, with a connection of its own to the same file.
        ScriptedDialogs otherDialogs;
        Store other(dir.path(), otherDialogs, end);
        Table<Schedule> tasks(other);
        Schedule theirs;
        theirs.id = 7;
        tasks.watch();
        ASSERT_EQ(tasks.get(Schedule::KEYID, theirs), Err::None);
        theirs.description = QStringLiteral("Theirs");
        ASSERT_EQ(tasks.put(theirs), Err::None);
    }

    form.descriptionField()->setText(QStringLiteral("Mine"));
    form.accept();
    EXPECT_EQ(form.result(), 0); // still open
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("This record was changed by another station.")});
    EXPECT_EQ(form.descriptionField()->text(), QStringLiteral("Theirs"));

    form.show();
    form.descriptionField()->setFocus();
    QTest::keyClick(form.descriptionField(), Qt::Key_Apostrophe, Qt::ControlModifier);
    EXPECT_EQ(form.descriptionField()->text(), QStringLiteral("Mine"));
    form.accept();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(stored(7).description, QStringLiteral("Mine"));
}

// A task whose occurrence falls on a holiday and moves to the next day through a copy; the
// other station, a process of its own, changes it while the form is open.
TEST_F(TaskFormTest, ARefusedSaveWritesNoExceptionsAndNoCopy) {
    {
        Table<Holidays> holidays(*store);
        Holidays h;
        h.holidayDate = D(2026, 12, 14);
        h.holiday = QStringLiteral("Closed");
        ASSERT_EQ(holidays.add(h), Err::None);
    }
    Schedule t;
    t.id = 7;
    t.description = QStringLiteral("Original");
    t.taskType = QStringLiteral("Display Message");
    t.message = QStringLiteral("Room 4");
    t.scheduleType = kDayOfWeek;
    t.monday = 1;
    t.date = D(2026, 12, 14);
    t.time = TimeFromHms(9, 0, 0);
    t.exceptHolidays = 1;
    t.shiftType = QStringLiteral("Next Day");
    UpdateSchedule form(*ctx, Request::Change, addTask(t));

    Peer peer(dir.path());
    ASSERT_EQ(peer.ask(QStringLiteral("task-load-put 7 Theirs")), QStringLiteral("0"));

    form.descriptionField()->setText(QStringLiteral("Mine"));
    form.accept();
    EXPECT_EQ(form.result(), 0); // still open, showing the other station's version
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("This record was changed by another station.")});
    EXPECT_EQ(form.descriptionField()->text(), QStringLiteral("Theirs"));
    EXPECT_EQ(taskCount(), 1); // no copy
    Schedule theirs = stored(7);
    EXPECT_EQ(theirs.description, QStringLiteral("Theirs"));
    EXPECT_EQ(theirs.skipNextTime, 0);
    EXPECT_EQ(theirs.exceptionLink, 0);
    EXPECT_NE(theirs.networkUser, QStringLiteral("desk-1"));

    // Saved again over their version: the occurrence is marked and the copy made once.
    form.descriptionField()->setText(QStringLiteral("Mine"));
    form.accept();
    ASSERT_EQ(form.result(), QDialog::Accepted);
    const Schedule mine = stored(7);
    EXPECT_EQ(mine.description, QStringLiteral("Mine"));
    EXPECT_EQ(mine.skipNextTime, 1);
    ASSERT_NE(mine.exceptionLink, 0);
    EXPECT_EQ(stored(mine.exceptionLink).date, D(2026, 12, 15));
    EXPECT_EQ(stored(mine.exceptionLink).description, QStringLiteral("Mine"));
    EXPECT_EQ(taskCount(), 2);
}

TEST_F(TaskFormTest, TheSoundFollowsTheLastOneChosen) {
    config->ini().write(QStringLiteral("Settings"), QStringLiteral("LastWAVFile"),
                        QStringLiteral("/snd/ini.wav"));
    UpdateSchedule form(*ctx, Request::Insert, Schedule{});
    EXPECT_FALSE(form.soundField()->isEnabled());
    click(form.alarmBox());
    EXPECT_TRUE(form.soundField()->isEnabled());
    EXPECT_EQ(form.soundField()->text(), QStringLiteral("/snd/ini.wav"));

    // Play with no file chooses one; a chosen file is kept as the last one and played.
    form.soundField()->clear();
    const QString wav = dir.file(QStringLiteral("bell.wav"));
    QFile(wav).open(QIODevice::WriteOnly);
    files.answer(wav);
    click(form.playButton());
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_EQ(files.asked[0].title, QStringLiteral("Select WAV File for Alarm"));
    EXPECT_EQ(files.asked[0].filter, QStringLiteral("WAV Files|*.WAV"));
    EXPECT_EQ(form.soundField()->text(), wav);
    EXPECT_EQ(config->getConfig(QStringLiteral("LastWAVFile")), wav);
    click(form.playButton());
    EXPECT_EQ(sound.played, QStringList{wav});
    // A file that cannot be played points to Browse without opening it.
    form.show();
    form.soundField()->setText(dir.file(QStringLiteral("gone.wav")));
    click(form.playButton());
    EXPECT_EQ(files.asked.size(), 1u);
    EXPECT_EQ(sound.played, QStringList{wav});
    EXPECT_EQ(form.focusWidget(), form.soundBrowseButton());
    form.reject();

    // The wizards take the last sound from the settings table.
    AddMessageWizard wizard(*ctx, Request::Insert, Schedule{});
    click(wizard.alarmBox());
    EXPECT_EQ(wizard.soundField()->text(), wav);
    wizard.reject();
}

TEST_F(TaskFormTest, TheProgramBrowserFillsCommandAndFolder) {
    UpdateSchedule form(*ctx, Request::Insert, Schedule{});
    files.answer(QStringLiteral("/usr/bin/gedit"));
    click(form.commandBrowseButton());
    EXPECT_EQ(form.commandField()->text(), QStringLiteral("/usr/bin/gedit"));
    EXPECT_EQ(form.pathField()->text(), QStringLiteral("/usr/bin"));
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_EQ(files.asked[0].title, QStringLiteral("Choose a Program to Start"));
    EXPECT_EQ(files.asked[0].filter,
              QStringLiteral("All Files|*.*|EXEs|*.EXE|COMs|*.COM|BATs|*.BAT|Shortcuts|*.LNK"));
    // A folder already given stays, and the browser opens there.
    files.answer(QStringLiteral("/opt/tool/run.sh"));
    click(form.commandBrowseButton());
    EXPECT_EQ(form.pathField()->text(), QStringLiteral("/usr/bin"));
    EXPECT_EQ(files.asked[1].directory, QStringLiteral("/usr/bin"));
    form.reject();
}

TEST_F(TaskFormTest, TheGenericWizardSkipsThePagesTheTaskTypeDoesNotUse) {
    AddTaskWizard wizard(*ctx, Request::Insert, Schedule{});
    EXPECT_EQ(wizard.windowTitle(), QStringLiteral("Add Task Wizard"));
    EXPECT_EQ(wizard.task().category, QStringLiteral("General"));
    using P = TaskForm::Page;
    auto walk = [&] {
        std::vector<P> seen{wizard.currentPage()};
        while (wizard.nextButton()->isEnabled()) {
            wizard.goNext();
            seen.push_back(wizard.currentPage());
        }
        return seen;
    };
    EXPECT_EQ(walk(), (std::vector<P>{P::Task, P::Category, P::Command, P::Message, P::When, P::Advanced}));
    while (wizard.backButton()->isEnabled())
        wizard.goBack();
    click(wizard.taskTypeButton(QStringLiteral("Display Message")));
    EXPECT_EQ(walk(), (std::vector<P>{P::Task, P::Category, P::Message, P::When, P::Advanced}));
    wizard.goBack();
    wizard.goBack();
    wizard.goBack();
    EXPECT_EQ(wizard.currentPage(), P::Category);
    click(wizard.taskTypeButton(QStringLiteral("Run Program")));
    EXPECT_EQ(walk(), (std::vector<P>{P::Category, P::Command, P::When, P::Advanced}));
    wizard.descriptionField()->setText(QStringLiteral("Nightly build"));
    wizard.accept();
    ASSERT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_EQ(stored(1).category, QStringLiteral("General"));
    Table<Categories> categories(*store);
    Categories general;
    general.category = QStringLiteral("General");
    EXPECT_EQ(categories.get(Categories::KEYCATEGORY, general), Err::None);
}

TEST_F(TaskFormTest, TheMessageAndProgramWizardsAndTheirDefaults) {
    AddMessageWizard message(*ctx, Request::Insert, Schedule{});
    EXPECT_EQ(message.windowTitle(), QStringLiteral("Add Message Wizard"));
    EXPECT_EQ(message.pages(), (std::vector<TaskForm::Page>{TaskForm::Page::Message, TaskForm::Page::When,
                                                            TaskForm::Page::Advanced}));
    EXPECT_EQ(message.task().taskType, QStringLiteral("Display Message"));
    EXPECT_TRUE(Shown(message.descriptionField()));
    message.reject();

    AddProgramWizard program(*ctx, Request::Insert, Schedule{});
    EXPECT_EQ(program.task().taskType, QStringLiteral("Run Program"));
    EXPECT_EQ(program.task().scheduleType, QStringLiteral("Day of Week"));
    bool note = false;
    for (QLabel* l : program.findChildren<QLabel*>())
        note = note || l->text() == QStringLiteral("To use scripting only, enter N/A as the command.");
    EXPECT_TRUE(note);
    program.reject();
    EXPECT_EQ(taskCount(), 0);
}

TEST_F(TaskFormTest, AReplyIsAOneTimeMessageThatNamesTheWayBack) {
    FastAdd reply(*ctx);
    EXPECT_EQ(reply.windowTitle(), QStringLiteral("Reply..."));
    EXPECT_EQ(reply.objectName(), QStringLiteral("FastAdd"));
    EXPECT_EQ(reply.task().scheduleType, QStringLiteral("Once"));
    EXPECT_EQ(reply.task().taskType, QStringLiteral("Display Message"));
    choose(reply.scheduleTypeField(), QStringLiteral("Day of Month"));
    EXPECT_FALSE(Shown(reply.monthEndBox()));
    choose(reply.scheduleTypeField(), QStringLiteral("Monthly"));
    EXPECT_TRUE(Shown(reply.monthRepeatButton(0)->parentWidget()));
    EXPECT_TRUE(Shown(reply.monthRepeatButton(0)));
    EXPECT_FALSE(Shown(reply.monthRepeatButton(1)));
    EXPECT_FALSE(Shown(reply.monthRepeatButton(2)));
    choose(reply.scheduleTypeField(), QStringLiteral("Once"));
    reply.descriptionField()->setText(QStringLiteral("Re: lunch"));
    reply.messageField()->setPlainText(QStringLiteral("Yes, at one."));
    reply.accept();
    ASSERT_EQ(reply.result(), QDialog::Accepted);
    const Schedule t = stored(1);
    EXPECT_EQ(t.path, QStringLiteral("Reply to:/home/ann/kelvray"));
    EXPECT_EQ(t.message, QStringLiteral("Yes, at one."));
}

TEST_F(TaskFormTest, TheRescheduleWizardCopiesTheTaskAndCanSkipItsNextRun) {
    Schedule weekly;
    weekly.id = 5;
    weekly.description = QStringLiteral("Team meeting");
    weekly.taskType = QStringLiteral("Both");
    weekly.command = QStringLiteral("/usr/bin/true");
    weekly.scheduleType = QStringLiteral("Day of Week");
    weekly.monday = 1;
    weekly.date = D(2026, 12, 14);
    weekly.disabled = 1;
    weekly.advanceWarned = 1;
    Schedule original = addTask(weekly);
    addItems(5, 3);

    SpecialEventWizard wizard(*ctx, original);
    EXPECT_EQ(wizard.windowTitle(), QStringLiteral("Reschedule Event Wizard"));
    EXPECT_EQ(wizard.skipNextBox()->text(),
              QStringLiteral("&Skip next regular occurance of task being copied"));
    const Schedule copy = wizard.task();
    EXPECT_EQ(copy.id, 6);
    EXPECT_EQ(copy.scheduleType, QStringLiteral("Once"));
    EXPECT_EQ(copy.description, QStringLiteral("Team meeting"));
    EXPECT_EQ(copy.disabled, 0);
    EXPECT_EQ(copy.advanceWarned, 0);
    EXPECT_EQ(itemCount(6), 3); // the script came along

    enter(wizard.dateField(), QStringLiteral("15/12/2026"));
    wizard.skipNextBox()->setChecked(true);
    wizard.accept();
    ASSERT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_EQ(stored(6).skipNextTime, 0);
    EXPECT_EQ(stored(6).date, D(2026, 12, 15));
    EXPECT_EQ(stored(5).skipNextTime, 1);

    // Cancelled, a copy leaves nothing behind.
    SpecialEventWizard again(*ctx, loadWatched(5));
    EXPECT_EQ(itemCount(7), 3);
    again.reject();
    EXPECT_EQ(itemCount(7), 0);
    EXPECT_EQ(taskCount(), 2);
}

TEST_F(TaskFormTest, EscapeAndTheCloseBoxAskBeforeThrowingAwayWhatWasEntered) {
    // Nothing entered: Escape cancels without a word.
    {
        UpdateSchedule form(*ctx, Request::Insert, Schedule{});
        form.show();
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.result(), QDialog::Rejected);
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_EQ(taskCount(), 0);
    }
    // A description typed: Escape asks, No (the default) keeps the form and the reservation.
    UpdateSchedule form(*ctx, Request::Insert, Schedule{});
    form.show();
    form.descriptionField()->setText(QStringLiteral("Water the plants"));
    QTest::keyClick(&form, Qt::Key_Escape);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Discard the changes?"));
    EXPECT_EQ(dialogs.shown[0].buttons, unsigned{Dialogs::Yes | Dialogs::No});
    EXPECT_EQ(dialogs.shown[0].defaultButton, Dialogs::No);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(taskCount(), 1);
    dialogs.answer(Dialogs::Yes);
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(taskCount(), 0);
    // The program closing its windows as it ends does not wait for an answer: it cancels.
    // (The user's close box, which asks, is tried on a real display.)
    UpdateSchedule closing(*ctx, Request::Insert, Schedule{});
    closing.show();
    closing.descriptionField()->setText(QStringLiteral("Half typed"));
    EXPECT_TRUE(closing.close());
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(taskCount(), 0);

    // Script items given to a new task count as entered, in the wizards too.
    AddTaskWizard wizard(*ctx, Request::Insert, Schedule{});
    wizard.show();
    const qint32 id = wizard.task().id;
    QTest::keyClick(&wizard, Qt::Key_Escape);
    EXPECT_FALSE(wizard.isVisible());
    EXPECT_EQ(dialogs.shown.size(), 2u);
    AddTaskWizard again(*ctx, Request::Insert, Schedule{});
    again.show();
    addItems(again.task().id, 1);
    QTest::keyClick(&again, Qt::Key_Escape);
    EXPECT_EQ(dialogs.shown.size(), 3u);
    EXPECT_TRUE(again.isVisible());
    EXPECT_EQ(itemCount(again.task().id), 1);
    // Cancel itself keeps its meaning: no question, everything goes.
    again.reject();
    EXPECT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(itemCount(again.task().id), 0);
    EXPECT_EQ(taskCount(), 0);
    (void)id;

    // A changed task: only a real change asks.
    Schedule t;
    t.id = 8;
    t.description = QStringLiteral("Backup");
    t.scheduleType = QStringLiteral("Once");
    t.taskType = QStringLiteral("Display Message");
    UpdateSchedule change(*ctx, Request::Change, addTask(t));
    change.show();
    EXPECT_FALSE(change.changedByUser());
    change.skipNextBox()->setChecked(true);
    EXPECT_TRUE(change.changedByUser());
    change.skipNextBox()->setChecked(false);
    QTest::keyClick(&change, Qt::Key_Escape);
    EXPECT_FALSE(change.isVisible());
    EXPECT_EQ(dialogs.shown.size(), 3u);
}

TEST_F(TaskFormTest, ATaskWithoutADescriptionIsNotSaved) {
    UpdateSchedule form(*ctx, Request::Insert, Schedule{});
    form.show();
    form.tabs()->setCurrentIndex(3); // When
    form.descriptionField()->setText(QStringLiteral("   "));
    form.accept();
    ASSERT_EQ(dialogs.texts(), QStringList{QStringLiteral("Enter a description for the task.")});
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.tabs()->currentIndex(), 0);              // back on the Task tab...
    EXPECT_EQ(form.focusWidget(), form.descriptionField()); // ...in the field
    EXPECT_TRUE(Clip(stored(form.task().id).description).isEmpty());
    EXPECT_EQ(stored(form.task().id).date, 0); // still only the reservation
    form.descriptionField()->setText(QStringLiteral("Pay rent"));
    form.accept();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(Clip(stored(1).description), QStringLiteral("Pay rent"));

    // Finish on a wizard's first page, untouched: refused, and the page with the description shown.
    AddMessageWizard wizard(*ctx, Request::Insert, Schedule{});
    wizard.show();
    wizard.goNext();
    EXPECT_EQ(wizard.currentPage(), TaskForm::Page::When);
    wizard.finishButton()->click();
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_TRUE(wizard.isVisible());
    EXPECT_EQ(wizard.currentPage(), TaskForm::Page::Message);
    EXPECT_EQ(wizard.focusWidget(), wizard.descriptionField());
    wizard.reject();
    EXPECT_EQ(taskCount(), 1);
}

TEST_F(TaskFormTest, TheMessageFilledFromTheDescriptionIsReplacedByTyping) {
    AddTaskWizard wizard(*ctx, Request::Insert, Schedule{});
    wizard.show();
    wizard.activateWindow();
    wizard.descriptionField()->setText(QStringLiteral("Call Bob"));
    wizard.goNext(); // Category
    wizard.goNext(); // Command
    wizard.goNext(); // Message
    ASSERT_EQ(wizard.currentPage(), TaskForm::Page::Message);
    wizard.messageField()->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(wizard.messageField()->toPlainText(), QStringLiteral("Call Bob"));
    QTest::keyClicks(wizard.messageField(), QStringLiteral("Ring Bob at 5"));
    EXPECT_EQ(wizard.messageField()->toPlainText(), QStringLiteral("Ring Bob at 5"));
    wizard.reject();
}

TEST_F(TaskFormTest, TheMessageWizardsOfferedMessageIsReplacedWhereverTheFieldIsEntered) {
    AddMessageWizard wizard(*ctx, Request::Insert, Schedule{});
    wizard.show();
    QApplication::setActiveWindow(&wizard);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard));
    ASSERT_EQ(wizard.currentPage(), TaskForm::Page::Message);
    QPlainTextEdit* message = wizard.messageField();
    wizard.descriptionField()->setFocus();
    QTest::keyClicks(wizard.descriptionField(), QStringLiteral("Script demo"));

    // Entered with a click: the description is offered, selected, and typing replaces it.
    QTest::mouseClick(message->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
    ASSERT_TRUE(message->hasFocus());
    EXPECT_EQ(message->toPlainText(), QStringLiteral("Script demo"));
    EXPECT_EQ(message->textCursor().selectedText(), QStringLiteral("Script demo"));
    // Left and entered again, still holding what was offered: selected again.
    QTest::keyClick(message, Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_FALSE(message->hasFocus());
    QTest::mouseClick(message->viewport(), Qt::LeftButton, {}, QPoint(60, 10));
    EXPECT_EQ(message->textCursor().selectedText(), QStringLiteral("Script demo"));
    QTest::keyClicks(message, QStringLiteral("demo message"));
    EXPECT_EQ(message->toPlainText(), QStringLiteral("demo message"));

    // What the user typed is theirs: entering the field again places the cursor as usual.
    wizard.descriptionField()->setFocus();
    QTest::mouseClick(message->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(message->textCursor().selectedText().isEmpty());
    QTest::keyClick(message, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(message, QStringLiteral("!"));
    EXPECT_EQ(message->toPlainText(), QStringLiteral("demo message!"));
    wizard.reject();
}

TEST_F(TaskFormTest, EveryFormFitsASmallScreenWhateverTheScheduleType) {
    const QSize screen(1366, 768);
    const int frame = 60; // the window manager's title bar and borders, a panel
    auto fits = [&](TaskForm& form, const QString& what) {
        QApplication::processEvents();
        form.layout()->activate();
        const QSize size = form.size();
        EXPECT_LE(size.width(), screen.width()) << what.toStdString();
        EXPECT_LE(size.height() + frame, screen.height()) << what.toStdString();
        return size;
    };
    std::vector<std::unique_ptr<TaskForm>> forms;
    forms.push_back(std::make_unique<UpdateSchedule>(*ctx, Request::Insert, Schedule{}));
    forms.push_back(std::make_unique<AddMessageWizard>(*ctx, Request::Insert, Schedule{}));
    forms.push_back(std::make_unique<AddProgramWizard>(*ctx, Request::Insert, Schedule{}));
    forms.push_back(std::make_unique<AddTaskWizard>(*ctx, Request::Insert, Schedule{}));
    Schedule source;
    source.id = 40;
    source.description = QStringLiteral("Source");
    forms.push_back(std::make_unique<SpecialEventWizard>(*ctx, addTask(source)));
    forms.push_back(std::make_unique<FastAdd>(*ctx));
    for (auto& form : forms) {
        form->show();
        // The When page in front, where the schedule types change the fields.
        if (auto* update = qobject_cast<UpdateSchedule*>(form.get()))
            update->tabs()->setCurrentIndex(3);
        else if (auto* wizard = qobject_cast<TaskWizard*>(form.get()))
            while (wizard->currentPage() != TaskForm::Page::When)
                wizard->goNext();
        QSize first;
        for (int i = 0; i < form->scheduleTypeField()->count(); ++i) {
            choose(form->scheduleTypeField(), form->scheduleTypeField()->itemText(i));
            const QString what =
                form->windowTitle() + QLatin1Char('/') + form->scheduleTypeField()->itemText(i);
            const QSize size = fits(*form, what);
            // The fields that come and go share one place: the window keeps its size.
            if (first.isEmpty())
                first = size;
            EXPECT_EQ(size, first) << what.toStdString() << " " << size.width() << "x" << size.height()
                                   << " first " << first.width() << "x" << first.height();
            EXPECT_EQ(form->repetitionGroup()->isHidden(), form->scheduleTypeField()->itemText(i) == kOnce)
                << what.toStdString();
        }
        form->reject();
    }
}

TEST_F(TaskFormTest, NoTwoControlsShareAnAcceleratorOnAnyPageInAnyState) {
    std::vector<std::unique_ptr<TaskForm>> forms;
    forms.push_back(std::make_unique<UpdateSchedule>(*ctx, Request::Insert, Schedule{}));
    forms.push_back(std::make_unique<AddMessageWizard>(*ctx, Request::Insert, Schedule{}));
    forms.push_back(std::make_unique<AddProgramWizard>(*ctx, Request::Insert, Schedule{}));
    forms.push_back(std::make_unique<AddTaskWizard>(*ctx, Request::Insert, Schedule{}));
    Schedule source;
    source.id = 40;
    source.description = QStringLiteral("Source");
    forms.push_back(std::make_unique<SpecialEventWizard>(*ctx, addTask(source)));
    forms.push_back(std::make_unique<FastAdd>(*ctx));
    int states = 0;
    for (auto& form : forms) {
        auto* update = qobject_cast<UpdateSchedule*>(form.get());
        auto* wizard = qobject_cast<TaskWizard*>(form.get());
        const int pages = update != nullptr ? update->tabs()->count() : wizard->stack()->count();
        for (const QString& taskType : TaskTypes()) {
            if (QRadioButton* b = form->taskTypeButton(taskType)) {
                b->setChecked(true);
                form->taskTypeChanged();
            }
            for (int type = 0; type < form->scheduleTypeField()->count(); ++type) {
                choose(form->scheduleTypeField(), form->scheduleTypeField()->itemText(type));
                for (int page = 0; page < pages; ++page) {
                    if (update != nullptr)
                        update->tabs()->setCurrentIndex(page);
                    else
                        wizard->stack()->setCurrentIndex(page);
                    ++states;
                    EXPECT_EQ(AcceleratorClashes(form.get()), QStringList())
                        << form->windowTitle().toStdString() << " / " << taskType.toStdString() << " / "
                        << form->scheduleTypeField()->itemText(type).toStdString() << " / page " << page;
                }
            }
        }
        form->reject();
    }
    EXPECT_GT(states, 500);
}

TEST_F(TaskFormTest, DeletingATaskAsksAndTakesItsScript) {
    Schedule t;
    t.id = 3;
    t.description = QStringLiteral("Old");
    Schedule loaded = addTask(t);
    addItems(3, 2);
    dialogs.answer(Dialogs::Cancel);
    EXPECT_FALSE(DeleteTask(*store, loaded));
    EXPECT_EQ(taskCount(), 1);
    dialogs.answer(Dialogs::Ok);
    EXPECT_TRUE(DeleteTask(*store, loaded));
    EXPECT_EQ(taskCount(), 0);
    EXPECT_EQ(itemCount(3), 0);
}

} // namespace
} // namespace kr::test
