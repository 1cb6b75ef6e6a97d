#pragma once

// The schedule categories: the list (BrowseCategories), the form for one category
// (UpdateCategories), the picker (SelectCategories) and the tasks of one category
// (BrowseSCH:KeyCategory).

#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "store/RecordChanges.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QLineEdit;
class QMenu;
class QPushButton;
class QTableWidget;

namespace kr {

class WindowHost;

struct CategoryContext {
    Store& store;
    Dialogs& dialogs;
    IniFile positions;  // POSITION.INI
    QString dateFormat; // the DateFormat setting
    // Opens the task form: Insert with a blank task of the shown category, Change or Delete
    // with the highlighted task, reloaded with change detection armed.
    std::function<void(Request, Schedule&)> openTask;
    // The frame the browse windows open in; they are dialogs without one.
    WindowHost* host = nullptr;
};

class UpdateCategories final : public QDialog {
    Q_OBJECT
public:
    // Adds a category (Request::Insert) or changes the one given (Request::Change), which the
    // caller loaded with change detection armed. A delete is not this window's work: it says
    // so and closes when it opens.
    UpdateCategories(CategoryContext& ctx, Request request, const Categories& category,
                     QWidget* parent = nullptr);

    const Categories& category() const { return record_; }
    QLineEdit* categoryField() const { return name_; }
    void accept() override;
    void reject() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    CategoryContext& ctx_;
    Request request_;
    Table<Categories> table_;
    Categories record_;
    RecordEditor<Categories> editor_;
    QLineEdit* name_ = nullptr;
};

// What the category list and the picker share: the names in key order, one row each.
class CategoryList : public QDialog {
    Q_OBJECT
public:
    QTableWidget* list() const { return list_; }
    // The highlighted category's name, empty when the list is empty.
    QString currentCategory() const;
    // Reads the list again and highlights the record whose row id is `select`, else the row
    // highlighted before.
    void refresh(qint64 select = 0);
    void done(int result) override;

protected:
    CategoryList(CategoryContext ctx, const QString& procedure, const QString& caption, QWidget* parent);
    // Called after every refresh, to enable what applies.
    virtual void updateButtons() {}
    // Loads the highlighted category again with change detection armed; false (reported)
    // when it is gone.
    bool reloadCurrent(Table<Categories>& table, Categories& record);

    CategoryContext ctx_;
    QTableWidget* list_ = nullptr;
    std::vector<Categories> rows_;
};

class BrowseCategories final : public CategoryList {
    Q_OBJECT
public:
    explicit BrowseCategories(CategoryContext ctx, QWidget* parent = nullptr);

    QPushButton* addButton() const { return add_; }
    QPushButton* editButton() const { return edit_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* scheduleButton() const { return schedule_; }
    // The buttons' work, on the highlighted row.
    void addCategory();
    void editCategory();
    void deleteCategory();
    void showSchedule();
    // The right-button menu as it pops up now.
    std::unique_ptr<QMenu> contextMenu();

private:
    void updateButtons() override;

    QPushButton* add_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* schedule_ = nullptr;
};

class SelectCategories final : public CategoryList {
    Q_OBJECT
public:
    // Opens with `current` highlighted when it is in the list.
    explicit SelectCategories(CategoryContext ctx, const QString& current = {}, QWidget* parent = nullptr);

    QPushButton* selectButton() const { return select_; }
    // The category chosen with "&Select"; empty after Close.
    const QString& selectedCategory() const { return selected_; }

private:
    void choose();
    void updateButtons() override;

    QPushButton* select_ = nullptr;
    QString selected_;
};

// The tasks of one category, letter case ignored, in category key order.
class BrowseScheduleByCategory final : public QDialog {
    Q_OBJECT
public:
    BrowseScheduleByCategory(CategoryContext ctx, const QString& category, QWidget* parent = nullptr);

    QTableWidget* list() const { return list_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* editButton() const { return edit_; }
    QPushButton* deleteButton() const { return delete_; }
    void refresh(qint64 select = 0);
    void addTask();
    void editTask();
    void deleteTask();
    std::unique_ptr<QMenu> contextMenu();
    void done(int result) override;

private:
    void openHighlighted(Request request);
    void updateButtons();

    CategoryContext ctx_;
    QString category_;
    QTableWidget* list_ = nullptr;
    std::vector<Schedule> rows_;
    QPushButton* add_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* delete_ = nullptr;
};

} // namespace kr
