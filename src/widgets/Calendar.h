#pragma once

// The month calendar from which forms and lists take a date (Calendar). Opened for a task's
// own date it offers only the days on which the task's recurrence can fall.

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "store/Tables.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace kr {

struct CalendarContext {
    Dialogs& dialogs;
    const Clock& clock;
    IniFile positions; // POSITION.INI
};

// The option that offers every day of the month, whatever the task's recurrence.
inline const QString kCalendarAllDays = QStringLiteral("None");

// Shows the month of `date` (0: today) under `title` (blank: "Select Date"). With the option
// "None" every day can be picked; with any other option (callers pass a blank) only the days
// `task` can fall on. Returns the picked date, or `date` unchanged when the window is closed
// without a pick.
Date Calendar(const CalendarContext& ctx, Date date, const QString& title, const QString& option,
              const Schedule& task, QWidget* parent = nullptr);

// The window behind Calendar. Keys: the arrows move among the days that can be picked, Page Up
// and Page Down turn the month (with Ctrl the year), Enter picks the focused day, Escape closes.
class CalendarWindow final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFirstYear = 1801;
    static constexpr int kLastYear = 2099;
    static constexpr int kDayButtons = 42; // six weeks of seven days, Sunday first

    CalendarWindow(const CalendarContext& ctx, Date date, const QString& title, const QString& option,
                   const Schedule& task, QWidget* parent = nullptr);

    int month() const { return month_; }
    int year() const { return year_; }
    // The date picked with a day button, 0 while none has been.
    Date pickedDate() const { return picked_; }

    // Button `index` of the grid: row index / 7, column index % 7 (0 = Sunday).
    QPushButton* dayButton(int index) const { return days_[static_cast<std::size_t>(index)]; }
    // The button that shows day `day` of the month on view, or nullptr.
    QPushButton* buttonForDay(int day) const;
    QLineEdit* monthField() const { return monthField_; }
    QLineEdit* yearField() const { return yearField_; }
    QToolButton* monthBack() const { return monthBack_; }
    QToolButton* monthForward() const { return monthForward_; }
    QToolButton* yearBack() const { return yearBack_; }
    QToolButton* yearForward() const { return yearForward_; }
    QPushButton* closeButton() const { return close_; }

    // Shows another month; the year wraps around within kFirstYear to kLastYear.
    void showMonth(int year, int month);
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void redraw();
    void monthEntered();
    void yearEntered();
    void pickDay(int index);
    // Moves the keyboard focus from day button `from` by `step` buttons to the next one that
    // can be picked; stays put when there is none that way.
    void stepFocus(int from, int step);
    // Makes `index` the one day button that Tab reaches.
    void makeTabStop(int index);
    // Checks the button of the date the window was opened with, when its month is on view.
    void markGivenDate();
    int firstDayIndex() const;

    CalendarContext ctx_;
    Schedule task_;
    bool allDays_;
    Date today_;
    Date given_;
    Date picked_ = 0;
    int month_ = 1;
    int year_ = kFirstYear;
    int tabStop_ = -1;
    bool closing_ = false;
    bool validating_ = false;

    QLabel* heading_ = nullptr;
    QLineEdit* monthField_ = nullptr;
    QLineEdit* yearField_ = nullptr;
    QToolButton* monthBack_ = nullptr;
    QToolButton* monthForward_ = nullptr;
    QToolButton* yearBack_ = nullptr;
    QToolButton* yearForward_ = nullptr;
    QButtonGroup* group_ = nullptr;
    std::array<QPushButton*, kDayButtons> days_{};
    QPushButton* close_ = nullptr;
};

} // namespace kr
