#pragma once

// The holiday list (BrowseHolidays) and the form for one holiday (UpdateHolidays), and the
// Exceptions window of a task (ScheduleExceptions).

#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "store/RecordChanges.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class QTableWidget;

namespace kr {

class DateField;
class TimeField;

struct HolidayContext {
    Store& store;
    Dialogs& dialogs;
    IniFile positions;
    QString dateFormat; // the DateFormat setting
};

class UpdateHolidays final : public QDialog {
    Q_OBJECT
public:
    // Adds a holiday (`holiday` blank) or changes the one given, which the caller loaded with
    // change detection armed.
    UpdateHolidays(HolidayContext& ctx, const Holidays& holiday, bool adding, QWidget* parent = nullptr);
    const Holidays& holiday() const { return holiday_; }
    DateField* dateField() const { return date_; }
    void accept() override;
    void done(int result) override;

private:
    void display(const Holidays& h);

    HolidayContext& ctx_;
    Holidays holiday_;
    bool adding_;
    Table<Holidays> table_;
    RecordEditor<Holidays> editor_;
    DateField* date_ = nullptr;
    QLineEdit* name_ = nullptr;
    QCheckBox* annual_ = nullptr;
};

class BrowseHolidays final : public QDialog {
    Q_OBJECT
public:
    explicit BrowseHolidays(HolidayContext ctx, QWidget* parent = nullptr);

    QTableWidget* list() const { return list_; }
    void refresh();
    // The buttons' work, on the highlighted row.
    void addHoliday();
    void editHoliday();
    void deleteHoliday();
    void done(int result) override;

private:
    // The highlighted holiday read again with change detection armed; false (reported) when
    // it cannot be read.
    bool reloadCurrent(Table<Holidays>& table, Holidays& h);

    HolidayContext ctx_;
    QTableWidget* list_ = nullptr;
    std::vector<Holidays> rows_;
};

class ScheduleExceptions final : public QDialog {
    Q_OBJECT
public:
    ScheduleExceptions(HolidayContext ctx, Schedule& task, QWidget* parent = nullptr);

    QCheckBox* weekends() const { return weekends_; }
    QCheckBox* weekdays() const { return weekdays_; }
    QCheckBox* holidays() const { return holidays_; }
    QCheckBox* timeRange() const { return time_; }
    QGroupBox* actionGroup() const { return action_; }
    TimeField* beginField() const { return begin_; }
    TimeField* endField() const { return end_; }
    void setAction(const QString& shiftType);
    void done(int result) override;

private:
    void updateEnabling();

    HolidayContext ctx_;
    Schedule& task_;
    QCheckBox* weekends_ = nullptr;
    QCheckBox* weekdays_ = nullptr;
    QCheckBox* holidays_ = nullptr;
    QCheckBox* time_ = nullptr;
    TimeField* begin_ = nullptr;
    TimeField* end_ = nullptr;
    QGroupBox* action_ = nullptr;
    QButtonGroup* actions_ = nullptr;
};

} // namespace kr
