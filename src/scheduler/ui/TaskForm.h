#pragma once

// The windows that enter and change tasks: the full form UpdateSchedule, the wizards
// (AddMessageWizard, AddProgramWizard, AddTaskWizard, SpecialEventWizard) and the quick
// reply FastAdd. They share one set of fields and rules (TaskForm); they differ in how the
// fields are laid out (tabs or pages) and in the table of differences below.

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/FileDialogs.h"
#include "platform/IniFile.h"
#include "platform/Progress.h"
#include "platform/Sound.h"
#include "store/RecordChanges.h"
#include "store/Settings.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QCloseEvent;
class QKeyEvent;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTabWidget;

namespace kr {

class DateField;
class Ditto;
class TimeField;

struct TaskFormContext {
    Store& store;
    Dialogs& dialogs;
    FileDialogs& files;
    const Clock& clock;
    const Settings& settings;
    ConfigStore& config; // LastWAVFile, and KR98.INI with its "Warning" section
    IniFile positions;   // POSITION.INI
    Sound& sound;
    // The directory the program started in: a reply names it as the way back.
    QString startDirectory;
    // The date picker; the real calendar when empty.
    std::function<Date(Date date, const QString& title, const QString& option, const Schedule& task)>
        calendar;
    // Opens the script list of a task; the button is disabled when empty.
    std::function<void(const Schedule& task)> scripting;
    // The progress windows of long runs (copying a script); none by default.
    ProgressWindows progress = {};
};

// Which window, with what differs between them.
enum class TaskWindow {
    UpdateSchedule,
    AddMessageWizard,
    AddProgramWizard,
    AddTaskWizard,
    SpecialEventWizard,
    FastAdd
};

class TaskForm : public QDialog {
    Q_OBJECT
public:
    enum class Page { Task, Category, Command, Message, When, Advanced };

    ~TaskForm() override;

    // False when the window could not open (a new task's number could not be reserved).
    bool ready() const { return ready_; }
    TaskWindow window() const { return window_; }
    Request request() const { return request_; }
    // The task as the fields hold it now.
    Schedule task() const;
    const std::vector<Page>& pages() const { return pages_; }

    // The fields, for the windows' tests.
    QRadioButton* taskTypeButton(const QString& type) const;
    QComboBox* categoryField() const { return category_; }
    QLineEdit* descriptionField() const { return description_; }
    QLineEdit* commandField() const { return command_; }
    QPushButton* commandBrowseButton() const { return commandBrowse_; }
    QLineEdit* pathField() const { return path_; }
    QPushButton* scriptingButton() const { return scripting_; }
    QPushButton* showRunsButton() const { return showRuns_; }
    // The note that the task's script does not run with the chosen type; hidden otherwise.
    QLabel* scriptNotRunNote() const { return scriptNote_; }
    QPlainTextEdit* messageField() const { return message_; }
    QComboBox* scheduleTypeField() const { return scheduleType_; }
    QGroupBox* repetitionGroup() const { return repetition_; }
    QCheckBox* ordinalBox(int index) const { return ordinals_[index]; } // 0..4: 1st .. Last
    QCheckBox* monthEndBox() const { return monthEnd_; }
    QCheckBox* weekdayBox(int day) const { return weekdays_[day]; } // 0 Sunday .. 6 Saturday
    QSpinBox* everyField() const { return every_; }
    QComboBox* everyTypeField() const { return everyType_; }
    QRadioButton* monthRepeatButton(int index) const { return monthRepeat_[index]; }
    QSpinBox* offsetField() const { return offset_; }
    QPushButton* tipsButton() const { return tips_; }
    QPushButton* exceptButton() const { return except_; }
    DateField* dateField() const { return date_; }
    QPushButton* dateCalendarButton() const { return dateCalendar_; }
    TimeField* timeField() const { return time_; }
    QLabel* lastPerformedLabel() const { return lastPerformed_; }
    QCheckBox* skipNextBox() const { return skipNext_; }
    DateField* warnDateField() const { return warnDate_; }
    QPushButton* warnCalendarButton() const { return warnCalendar_; }
    TimeField* warnTimeField() const { return warnTime_; }
    QCheckBox* alarmBox() const { return alarm_; }
    QLineEdit* soundField() const { return sound_; }
    QPushButton* soundBrowseButton() const { return soundBrowse_; }
    QPushButton* playButton() const { return play_; }
    QCheckBox* warnBox() const { return warn_; }
    QCheckBox* skipIfMissedBox() const { return skipIfMissed_; }
    QCheckBox* userSkipBox() const { return userSkip_; }
    QCheckBox* disableBox() const { return disable_; }
    QCheckBox* noHistoryBox() const { return noHistory_; }
    Ditto* ditto() const { return ditto_; }

    // The field rules, as the fields' signals run them.
    void taskTypeChanged();
    void scheduleTypeChanged();
    void monthRepeatChanged();
    void dateAccepted();
    void warnDateAccepted();
    void alarmToggled();
    void soundAccepted();
    void browseProgram();
    void browseSound();
    void playSound();
    void pickDate();
    void pickWarnDate();
    void openExceptions();
    void showTips();

    // OK / Finish, and Cancel.
    void accept() override;
    void reject() override;
    void done(int result) override;
    // Whether the form holds anything the user entered since it opened (script items of a
    // new task included).
    bool changedByUser() const;
    // Escape and the window's close box: Cancel, after "Discard the changes?" when the form
    // holds anything entered. False when the user keeps the form.
    bool cancelAsked();
    // The group of the repetition fields that come and go with the schedule type.
    QStackedWidget* repetitionPages() const { return repetitionPages_; }

protected:
    TaskForm(TaskFormContext& ctx, TaskWindow window, Request request, const Schedule& task, Date selectedDay,
             QWidget* parent);
    // Builds the page's fields into a widget of its own.
    QWidget* buildPage(Page page);
    // Shows the fields a task type and a schedule type call for.
    virtual void applyVisibility();
    QString procedure() const;
    bool hasPage(Page page) const;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Brings the page or tab holding the field to the front.
    virtual void revealField(QWidget* field);
    // The label texts that differ between the full form and the wizards.
    bool wizard() const { return window_ != TaskWindow::UpdateSchedule; }

    TaskFormContext& ctx_;

private:
    void buildFields();
    void load(const Schedule& task);
    void collect(Schedule& task) const;
    void fillCategories(const QString& current);
    bool checkFields();
    void afterSave(const Schedule& saved);
    void focusFirstField();
    bool descriptionGiven();
    // What the user may change, as it stood when the form opened.
    void takeSnapshot();
    std::vector<Scripting> scriptItems() const;
    QString taskType() const;
    QString monthRepeat() const;
    qint32 taskId() const { return record_.id; }

    TaskWindow window_;
    Request request_;
    Schedule record_;       // the record as loaded (or as reserved), with its place in the table
    qint32 copiedFrom_ = 0; // the task a prepared copy was made of
    bool ready_ = true;
    bool saving_ = false;
    // The description put into the empty message field, and whether the click that entered
    // the field is to select it rather than place the cursor.
    QString offeredMessage_;
    bool selectOnClick_ = false;
    Schedule snapshot_;
    std::vector<Scripting> scriptSnapshot_;
    std::vector<Page> pages_;
    std::unique_ptr<Table<Schedule>> table_;
    std::unique_ptr<RecordEditor<Schedule>> editor_;
    Ditto* ditto_ = nullptr;

    QButtonGroup* taskTypes_ = nullptr;
    QGroupBox* taskTypeBox_ = nullptr;
    QComboBox* category_ = nullptr;
    QLineEdit* description_ = nullptr;
    QLineEdit* command_ = nullptr;
    QPushButton* commandBrowse_ = nullptr;
    QLineEdit* path_ = nullptr;
    QPushButton* scripting_ = nullptr;
    QPushButton* showRuns_ = nullptr; // the task's runs, for a task already saved
    QLabel* commandNote_ = nullptr;
    QLabel* scriptNote_ = nullptr;
    QPlainTextEdit* message_ = nullptr;
    QComboBox* scheduleType_ = nullptr;
    QGroupBox* repetition_ = nullptr;
    QStackedWidget* repetitionPages_ = nullptr;
    QWidget* daysPage_ = nullptr;
    QWidget* monthlyPage_ = nullptr;
    QWidget* customPage_ = nullptr;
    QWidget* nothingPage_ = nullptr;
    QCheckBox* ordinals_[5] = {};
    QCheckBox* monthEnd_ = nullptr;
    QCheckBox* weekdays_[7] = {};
    QLabel* everyLabel_ = nullptr;
    QSpinBox* every_ = nullptr;
    QComboBox* everyType_ = nullptr;
    QGroupBox* monthRepeatBox_ = nullptr;
    QButtonGroup* monthRepeats_ = nullptr;
    QRadioButton* monthRepeat_[3] = {};
    QLabel* offsetLabel_ = nullptr;
    QSpinBox* offset_ = nullptr;
    QPushButton* tips_ = nullptr;
    QPushButton* except_ = nullptr;
    DateField* date_ = nullptr;
    QPushButton* dateCalendar_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    TimeField* time_ = nullptr;
    QLabel* lastPerformed_ = nullptr;
    QCheckBox* skipNext_ = nullptr;
    DateField* warnDate_ = nullptr;
    QPushButton* warnCalendar_ = nullptr;
    TimeField* warnTime_ = nullptr;
    QCheckBox* alarm_ = nullptr;
    QLineEdit* sound_ = nullptr;
    QPushButton* soundBrowse_ = nullptr;
    QPushButton* play_ = nullptr;
    QCheckBox* warn_ = nullptr;
    QCheckBox* skipIfMissed_ = nullptr;
    QCheckBox* userSkip_ = nullptr;
    QCheckBox* disable_ = nullptr;
    QCheckBox* noHistory_ = nullptr;
};

// The full form, one tab per group of fields.
class UpdateSchedule final : public TaskForm {
    Q_OBJECT
public:
    // `task` is the task to change, or for an insert a blank record or a prepared copy;
    // `selectedDay` is the day picked in the schedule list (0 = none).
    UpdateSchedule(TaskFormContext& ctx, Request request, const Schedule& task, Date selectedDay = 0,
                   QWidget* parent = nullptr);
    QTabWidget* tabs() const { return tabs_; }

protected:
    void applyVisibility() override;
    void revealField(QWidget* field) override;

private:
    QTabWidget* tabs_ = nullptr;
    QWidget* commandTab_ = nullptr;
    QWidget* messageTab_ = nullptr;
};

// The wizards: one page at a time with "<- &Back", "&Next ->", "&Finish" and "Cancel".
class TaskWizard : public TaskForm {
    Q_OBJECT
public:
    QStackedWidget* stack() const { return stack_; }
    Page currentPage() const;
    QPushButton* backButton() const { return back_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* finishButton() const { return finish_; }
    void goNext();
    void goBack();

protected:
    TaskWizard(TaskFormContext& ctx, TaskWindow window, Request request, const Schedule& task,
               Date selectedDay, QWidget* parent);
    void applyVisibility() override;
    void revealField(QWidget* field) override;

private:
    bool skipped(Page page) const;
    void showPage(int index);
    void updateButtons();

    QStackedWidget* stack_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* finish_ = nullptr;
};

class AddMessageWizard final : public TaskWizard {
    Q_OBJECT
public:
    AddMessageWizard(TaskFormContext& ctx, Request request, const Schedule& task, Date selectedDay = 0,
                     QWidget* parent = nullptr)
        : TaskWizard(ctx, TaskWindow::AddMessageWizard, request, task, selectedDay, parent) {}
};

class AddProgramWizard final : public TaskWizard {
    Q_OBJECT
public:
    AddProgramWizard(TaskFormContext& ctx, Request request, const Schedule& task, Date selectedDay = 0,
                     QWidget* parent = nullptr)
        : TaskWizard(ctx, TaskWindow::AddProgramWizard, request, task, selectedDay, parent) {}
};

class AddTaskWizard final : public TaskWizard {
    Q_OBJECT
public:
    AddTaskWizard(TaskFormContext& ctx, Request request, const Schedule& task, Date selectedDay = 0,
                  QWidget* parent = nullptr)
        : TaskWizard(ctx, TaskWindow::AddTaskWizard, request, task, selectedDay, parent) {}
};

// A one-time copy of an existing task ("Reschedule Event Wizard"), which may skip the next
// regular run of the task it was copied from.
class SpecialEventWizard final : public TaskWizard {
    Q_OBJECT
public:
    SpecialEventWizard(TaskFormContext& ctx, const Schedule& original, QWidget* parent = nullptr)
        : TaskWizard(ctx, TaskWindow::SpecialEventWizard, Request::Insert, original, 0, parent) {}
};

// A quick message for another station, opened by a message's "&Reply".
class FastAdd final : public TaskWizard {
    Q_OBJECT
public:
    explicit FastAdd(TaskFormContext& ctx, QWidget* parent = nullptr)
        : TaskWizard(ctx, TaskWindow::FastAdd, Request::Insert, Schedule{}, 0, parent) {}
};

// The delete request of a task: confirmation, then the task with its script items.
bool DeleteTask(Store& store, Schedule& task);

} // namespace kr
