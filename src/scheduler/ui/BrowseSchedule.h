#pragma once

// The schedule list ("View Schedule"): the tasks by day, by date, by category or as the last
// search selected them, with the buttons and the context menu that add, change and start them.

#include "platform/qt/ListFormat.h"
#include "scheduler/ProgramState.h"
#include "scheduler/ui/ScheduleList.h"
#include "scheduler/ui/TaskForm.h"

#include <QDialog>
#include <QTimer>

#include <functional>

class QLabel;
class QMenu;
class QTabBar;
class QTableView;

namespace kr {

// What the search window hands back to the list that opened it.
struct SearchOutcome {
    enum Kind { Nothing, Edit, SelectionChanged };
    Kind kind = Nothing;
    qint32 task = 0; // Edit: the task to change
};

struct ScheduleListContext {
    TaskFormContext& forms;
    ProgramState& state;
    // RunTaskNow of the due-task monitor.
    std::function<void(const Schedule&)> runNow;
    // The category picker; "Pick &Category" is disabled without it.
    std::function<QString(const QString& current)> pickCategory;
    // The task numbers the last search tagged, for the "Selected" view.
    std::function<std::vector<qint32>()> taggedTasks;
    // The search window; "Search" is disabled without it.
    std::function<SearchOutcome(QWidget* parent)> search;
    // Opens a task window and tells whether the task was saved; the real windows when empty.
    std::function<bool(TaskWindow window, Request request, Schedule& task, Date selectedDay)> openForm;
};

// The list's column format: "width~Title~@picture@" per column, joined by "|".
QString BuiltInScheduleFormat();

class BrowseSchedule final : public QDialog {
    Q_OBJECT
public:
    explicit BrowseSchedule(ScheduleListContext ctx, QWidget* parent = nullptr);
    ~BrowseSchedule() override;

    ScheduleListModel* model() const { return model_; }
    QTableView* list() const { return list_; }
    QTabBar* tabs() const { return tabs_; }
    QPushButton* button(const QString& text) const;
    Date selectedDay() const { return selectedDay_; }
    const QString& pickedCategory() const { return category_; }
    bool activeOnly() const { return activeOnly_; }
    ScheduleView view() const;

    // The buttons' and the menu's work, on the highlighted task.
    void addTask();
    void copyTask();
    void editTask();
    void deleteTask();
    void rescheduleTask();
    void runTaskNow();
    void pickDay();
    void pickCategory();
    void quickStart(Time delay);
    void openScript();
    void showRuns();
    void setActiveOnly(bool on);
    void setSelectedDay(Date day);
    // Builds the context menu as it stands now (the caller shows and deletes it).
    QMenu* contextMenu();
    // The window's timer: moves the selected day on when the day has changed.
    void checkDay();
    // Reads the list again and keeps the highlighted task highlighted.
    void refresh();
    // The highlighted task, reloaded with change detection armed; false when there is none.
    bool highlighted(Schedule& task);
    void highlightTask(qint32 id);
    // "Search": opens the search window and edits the task it hands back, or shows the
    // "Selected" view after a selection.
    void search();
    // Opens the task form on the task with this number, reloaded with change detection.
    void editTaskNumber(qint32 id);
    // The format the columns are laid out in now.
    QString currentFormat() const;

    void done(int result) override;

protected:
    bool event(QEvent* e) override;

private:
    // Shows the tab's view; the first row is highlighted unless `keepHighlight`.
    void applyFilter(bool keepHighlight = false);
    // Around every reading of the list: the highlighted record and its place on the screen.
    void rememberHighlight();
    void restoreHighlight();
    // The record a command acts on (its row number in the table), 0 for none.
    qint64 targetRow();
    void applyFormat(const QString& format);
    void updateButtons();
    void updateLabels();
    bool open(TaskWindow window, Request request, Schedule& task);
    void changed();

    ScheduleListContext ctx_;
    ScheduleListModel* model_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QTableView* list_ = nullptr;
    QLabel* dayLabel_ = nullptr;
    QLabel* categoryLabel_ = nullptr;
    std::vector<QPushButton*> buttons_;
    // Runs out just after midnight (and at least once a minute, should the clock be set or
    // the machine sleep), not every second: an idle list costs no wake-ups.
    QTimer dayTimer_;
    void armDayTimer();
    Date selectedDay_ = 0;
    Date lastDay_ = 0;
    QString category_;
    bool activeOnly_ = false;
    // The highlighted record before the list was read again.
    struct Kept {
        qint64 rowid = 0;
        int row = -1;
        int y = 0; // its place in the list's viewport
        bool inSight = false;
        int scroll = 0;
    };
    Kept kept_;
    bool keepHighlight_ = true;
    // While a context menu's command runs: the record the menu was opened on.
    qint64 menuTarget_ = 0;
};

} // namespace kr
