#pragma once

// The to-do list (ViewToDo) and the form for one entry (UpdateTodo).

#include "organizer/RecordListModel.h"
#include "organizer/ui/OrganizerContext.h"
#include "store/RecordChanges.h"
#include "store/Tables.h"

#include <QDialog>
#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabBar;
class QTableView;

namespace kr {

class DateField;
class TimeField;

class UpdateTodo final : public QDialog {
    Q_OBJECT
public:
    // Adds an entry (Request::Insert, from `entry` as primed) or changes the one given
    // (Request::Change), which the caller loaded with change detection armed.
    UpdateTodo(OrganizerContext& ctx, Request request, const Todo& entry, QWidget* parent = nullptr);

    const Todo& entry() const { return record_; }
    QLineEdit* todoField() const { return todo_; }
    QLineEdit* priorityField() const { return priority_; }
    QComboBox* categoryField() const { return category_; }
    QCheckBox* doneBox() const { return done_; }
    DateField* dateField() const { return date_; }
    TimeField* timeField() const { return time_; }
    QPlainTextEdit* notesField() const { return notes_; }
    QPlainTextEdit* resolutionField() const { return resolution_; }
    QPushButton* okButton() const { return ok_; }

    // Leaving the priority and category fields: false (and the focus back there) when the
    // value is refused.
    bool checkPriority();
    bool checkCategory();

    void accept() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load(const Todo& t);
    void read(Todo& t) const;

    OrganizerContext& ctx_;
    QString openTitle_; // the caption once open: what is being done
    Table<Todo> table_;
    Todo record_;
    std::unique_ptr<RecordEditor<Todo>> editor_;
    QLineEdit* todo_ = nullptr;
    QLineEdit* priority_ = nullptr;
    QComboBox* category_ = nullptr;
    QCheckBox* done_ = nullptr;
    DateField* date_ = nullptr;
    TimeField* time_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
    QPlainTextEdit* resolution_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool checking_ = false;
};

class ViewToDo final : public QWidget {
    Q_OBJECT
public:
    enum Tab { DoneTab, PriorityTab, TodoTab, CategoryTab };
    enum Column { DoneColumn, PriorityColumn, TodoColumn, CategoryColumn, DateColumn, TimeColumn };

    explicit ViewToDo(OrganizerContext ctx, QWidget* parent = nullptr);
    ~ViewToDo() override;

    RecordListModel<Todo>* model() const { return model_; }
    QTableView* list() const { return list_; }
    QTabBar* tabs() const { return tabs_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* editButton() const { return edit_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* toggleButton() const { return toggle_; }
    QPushButton* pickButton() const { return pick_; }
    // The highlighted entry; nullptr when there is none.
    const Todo* current() const;
    void highlight(qint64 rowid);

    void addEntry();
    void editEntry();
    void deleteEntry();
    void toggleDone();
    void pick();
    std::unique_ptr<QMenu> contextMenu();

public Q_SLOTS:
    // Reads the list again, keeping the highlighted entry highlighted.
    void refresh();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void applyTab();
    void updateButtons();
    bool reloadCurrent(Table<Todo>& table, Todo& record);

    OrganizerContext ctx_;
    RecordListModel<Todo>* model_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QTableView* list_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* toggle_ = nullptr;
    QPushButton* pick_ = nullptr;
};

} // namespace kr
