#pragma once

// The category tables: the schedule categories' list (BrowseCategories), form for one
// category (UpdateCategories), picker (SelectCategories) and the tasks of one category
// (BrowseSCH:KeyCategory); and the same list, form and picker over the contact categories
// (BrowseContactCategories, UpdateContactCategories, SelectContactCategories).

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
    // with the highlighted task, reloaded with change detection armed. Schedule categories
    // only.
    std::function<void(Request, Schedule&)> openTask = {};
    // The frame the browse windows open in; they are dialogs without one.
    WindowHost* host = nullptr;
};

enum class CategoryKind { Schedule, Contact };

struct CategoryRow {
    qint64 rowid = 0;
    QString name;
};

// One record of a category table as its windows use it: read, added, changed and deleted
// through the record-change rules of the table.
class CategoryRecord {
public:
    virtual ~CategoryRecord() = default;
    virtual const TableDecl& decl() const = 0;
    // Every name in key order; false after a read error (reported).
    virtual bool readAll(std::vector<CategoryRow>& out) = 0;
    // Loads the record with change detection armed, for a change or a delete; false
    // (reported) when it is gone.
    virtual bool load(qint64 rowid) = 0;
    // The record's name and row number as loaded or saved; 0 before an insert.
    virtual QString name() const = 0;
    virtual qint64 rowid() const = 0;
    // Saves the name: an insert when nothing was loaded, else a change of the loaded record.
    virtual EditOutcome save(const QString& name) = 0;
    // Asks and deletes the loaded record; true when it is gone.
    virtual bool remove() = 0;
};

std::unique_ptr<CategoryRecord> MakeCategoryRecord(CategoryKind kind, Store& store);

class UpdateCategories final : public QDialog {
    Q_OBJECT
public:
    // Adds a schedule category (Request::Insert) or changes the one given (Request::Change),
    // which the caller loaded with change detection armed.
    UpdateCategories(CategoryContext& ctx, Request request, const Categories& category,
                     QWidget* parent = nullptr);
    // Adds a category of the kind, `name` prefilled, when `record` holds nothing loaded, or
    // changes the loaded one.
    UpdateCategories(CategoryContext& ctx, CategoryKind kind, std::unique_ptr<CategoryRecord> record,
                     const QString& name = {}, QWidget* parent = nullptr);

    // The record as saved: its name and row number.
    QString categoryName() const { return record_->name(); }
    qint64 rowid() const { return record_->rowid(); }
    QLineEdit* categoryField() const { return name_; }
    void accept() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build(CategoryKind kind, const QString& name);

    CategoryContext& ctx_;
    std::unique_ptr<CategoryRecord> record_;
    bool deleteRequest_ = false; // a delete asked of the form, which is not its work
    QString openTitle_;          // the caption once open: what is being done
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

    CategoryKind kind() const { return kind_; }

protected:
    CategoryList(CategoryContext ctx, CategoryKind kind, const QString& procedure, const QString& caption,
                 QWidget* parent);
    // Called after every refresh, to enable what applies.
    virtual void updateButtons() {}
    // The highlighted category loaded again with change detection armed; nullptr (reported)
    // when it is gone.
    std::unique_ptr<CategoryRecord> reloadCurrent();

    CategoryContext ctx_;
    CategoryKind kind_;
    QTableWidget* list_ = nullptr;
    std::vector<CategoryRow> rows_;
};

class BrowseCategories final : public CategoryList {
    Q_OBJECT
public:
    explicit BrowseCategories(CategoryContext ctx, QWidget* parent = nullptr)
        : BrowseCategories(std::move(ctx), CategoryKind::Schedule, parent) {}
    BrowseCategories(CategoryContext ctx, CategoryKind kind, QWidget* parent = nullptr);

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
    explicit SelectCategories(CategoryContext ctx, const QString& current = {}, QWidget* parent = nullptr)
        : SelectCategories(std::move(ctx), CategoryKind::Schedule, current, parent) {}
    // The picked category is also kept as the one last picked in the program.
    SelectCategories(CategoryContext ctx, CategoryKind kind, const QString& current = {},
                     QWidget* parent = nullptr);

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
