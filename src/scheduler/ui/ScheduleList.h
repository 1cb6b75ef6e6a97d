#pragma once

// The rows of the schedule list: one of four views of the Schedule table, read a page at a
// time by position so that a schedule of a million tasks opens as quickly as one of ten.

#include "platform/DateTime.h"
#include "store/KeyView.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

namespace kr {

enum class ScheduleView { Day, AllByDate, AllByCategory, Selected };

// The state icon of a task: 1 disabled, 2 done, 3 not done, 4 skip next time.
int TaskStateIcon(const Schedule& task);
// The drawn icons, by number.
QIcon StateIcon(int number);

// How a task's last run went, as the list's last-result column shows it.
enum class LastResult { None, Succeeded, Failed, Running, Skipped, Unknown };
LastResult LastResultOf(const Runs& run);
QIcon LastResultIcon(LastResult result);

class ScheduleListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        IconColumn,
        DateColumn,
        TimeColumn,
        CategoryColumn,
        DescriptionColumn,
        TaskTypeColumn,
        ScheduleTypeColumn,
        LastResultColumn,
        ColumnCount
    };
    static constexpr int kPageRows = 128;

    // Dates show in `datePicture` ("d1" ... "d18").
    ScheduleListModel(Store& store, QString datePicture, QObject* parent = nullptr);
    void setDatePicture(const QString& picture);
    ~ScheduleListModel() override;

    struct Filter {
        ScheduleView view = ScheduleView::Day;
        Date day = 0;               // Day
        QString category;           // AllByCategory, compared without regard to case
        std::vector<qint32> tagged; // Selected: the task numbers
        bool activeOnly = false;
    };
    // Shows another view or filter (the rows are counted again).
    void setFilter(Filter filter);
    const Filter& filter() const { return filter_; }
    // Reads the table again, keeping nothing of the rows shown before.
    void refresh();

    // The row's record number in the table and task number; 0 when the row is not there.
    qint64 rowidAt(int row);
    qint32 taskIdAt(int row);
    // The row showing the record, -1 when the view does not hold it.
    int rowOf(qint64 rowid);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // How many pages the model has read since it was last refreshed (for the measurements).
    int pagesRead() const { return pagesRead_; }

Q_SIGNALS:
    // The table could not be read: once until it can be read again, after the read that
    // failed, so that the list can say so outside its painting.
    void readFailed(const kr::StoreError& error);

private:
    struct Row {
        qint64 rowid = 0;
        qint32 id = 0;
        Date date = 0;
        Time time = 0;
        QString category;
        QString description;
        QString taskType;
        QString scheduleType;
        int icon = 3;
        bool disabled = false;
        bool skip = false;
        LastResult last = LastResult::None;
        QString lastText; // the result of the task's last run
    };
    using Page = std::vector<Row>;

    void rebuild();
    void reportReadError(const StoreError& error) const;
    const Row* row(int r) const;
    const Page* page(int index) const;

    Store& store_;
    QString datePicture_;
    std::unique_ptr<Table<Schedule>> table_;
    std::unique_ptr<Table<Runs>> runs_;
    std::unique_ptr<KeyView> view_;
    std::vector<qint64> taggedRows_; // Selected: the rows in date order
    Filter filter_;
    qint64 count_ = 0;
    // Pages read, the most recently used at the front of the list.
    mutable std::list<std::pair<int, Page>> pages_;
    mutable std::unordered_map<int, std::list<std::pair<int, Page>>::iterator> pageIndex_;
    mutable int pagesRead_ = 0;
    mutable bool readErrorReported_ = false;
};

} // namespace kr
