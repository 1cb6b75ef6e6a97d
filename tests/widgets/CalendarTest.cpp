#include "widgets/Calendar.h"
#include "scheduler/Occurrence.h"
#include "support/Accelerators.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

namespace kr::test {
namespace {

Date D(int y, int m, int d) {
    return DateFromYmd(y, m, d);
}

// The day numbers whose buttons can be picked.
QList<int> EnabledDays(const CalendarWindow& w) {
    QList<int> days;
    for (int i = 0; i < CalendarWindow::kDayButtons; ++i)
        if (!w.dayButton(i)->isHidden() && w.dayButton(i)->isEnabled())
            days << w.dayButton(i)->text().toInt();
    return days;
}

// What the month should offer, worked out with Qt's own calendar.
QList<int> DaysOfMonth(int year, int month, int onlyWeekday = 0) {
    QList<int> days;
    for (QDate d(year, month, 1); d.month() == month; d = d.addDays(1))
        if (onlyWeekday == 0 || d.dayOfWeek() == onlyWeekday)
            days << d.day();
    return days;
}

void Enter(QLineEdit* field, const QString& text) {
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

class CalendarTest : public ::testing::Test {
protected:
    CalendarTest() {
        clock.set(D(2026, 6, 15), TimeFromHms(9, 0, 0));
        mondays.scheduleType = kDayOfWeek;
        mondays.monday = 1;
        mondays.date = D(2026, 6, 22);
    }
    // Runs `step` on the calendar once its window is open and waiting.
    static void WhenOpen(std::function<void(CalendarWindow&)> step) {
        QTimer::singleShot(0, [step] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* c = qobject_cast<CalendarWindow*>(w); c && c->isVisible())
                    return step(*c);
            ADD_FAILURE() << "no calendar open";
        });
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    FakeClock clock;
    CalendarContext ctx{dialogs, clock, IniFile(dir.file(QStringLiteral("POSITION.INI")))};
    Schedule mondays;
};

TEST_F(CalendarTest, ATaskOnMondaysOnlyOffersItsMondaysInEveryMonth) {
    CalendarWindow w(ctx, mondays.date, QString(), QString(), mondays);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Select Date"));
    EXPECT_EQ(w.objectName(), QStringLiteral("Calendar"));
    EXPECT_TRUE(w.buttonForDay(22)->isChecked());
    EXPECT_EQ(EnabledDays(w), DaysOfMonth(2026, 6, Qt::Monday));
    for (int i = 0; i < 8; ++i) { // across the turn of the year
        w.monthForward()->click();
        EXPECT_EQ(EnabledDays(w), DaysOfMonth(w.year(), w.month(), Qt::Monday))
            << w.year() << "/" << w.month();
    }
    EXPECT_EQ(w.year(), 2027);
    w.yearBack()->click();
    w.yearBack()->click();
    EXPECT_EQ(EnabledDays(w), DaysOfMonth(2025, 2, Qt::Monday));

    // The arrow keys step over the days that cannot be picked.
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.yearForward()->click();
    w.buttonForDay(2)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), w.buttonForDay(9));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left); // no Monday before the 2nd
    EXPECT_EQ(QApplication::focusWidget(), w.buttonForDay(2));
}

TEST_F(CalendarTest, TheOptionNoneOffersEveryDay) {
    CalendarWindow w(ctx, mondays.date, QStringLiteral("Advance Warning"), kCalendarAllDays, mondays);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Advance Warning"));
    EXPECT_EQ(EnabledDays(w), DaysOfMonth(2026, 6));
    w.monthBack()->click();
    EXPECT_EQ(EnabledDays(w), DaysOfMonth(2026, 5));
    EXPECT_FALSE(w.buttonForDay(22)->isChecked()); // the mark belongs to June
}

TEST_F(CalendarTest, EachMonthStartsUnderItsWeekdayAndHidesTheBlanks) {
    CalendarWindow w(ctx, D(1801, 1, 10), QString(), kCalendarAllDays, mondays);
    QStringList headers;
    for (QLabel* l : w.findChildren<QLabel*>())
        if (l->text().size() == 3)
            headers << l->text();
    EXPECT_EQ(headers, QStringList({"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}));
    for (const auto& [y, m] : {std::pair{1801, 1}, {2026, 2}, {2026, 8}, {2000, 2}, {2099, 12}}) {
        w.showMonth(y, m);
        const int first = QDate(y, m, 1).dayOfWeek() % 7;
        const int count = QDate(y, m, 1).daysInMonth();
        for (int i = 0; i < CalendarWindow::kDayButtons; ++i) {
            const bool inMonth = i >= first && i < first + count;
            EXPECT_EQ(w.dayButton(i)->isHidden(), !inMonth) << y << "/" << m << " button " << i;
            EXPECT_EQ(w.dayButton(i)->text(), inMonth ? QString::number(i - first + 1) : QString());
        }
    }
}

TEST_F(CalendarTest, MonthsAndYearsWrapAround) {
    CalendarWindow w(ctx, D(2026, 12, 3), QString(), kCalendarAllDays, mondays);
    w.monthForward()->click();
    EXPECT_EQ(std::pair(w.year(), w.month()), std::pair(2027, 1));
    EXPECT_EQ(w.monthField()->text(), QStringLiteral("1"));
    EXPECT_EQ(w.yearField()->text(), QStringLiteral("2027"));
    w.monthBack()->click();
    w.monthBack()->click();
    EXPECT_EQ(std::pair(w.year(), w.month()), std::pair(2026, 11));
    w.showMonth(2026, 1);
    w.monthBack()->click();
    EXPECT_EQ(std::pair(w.year(), w.month()), std::pair(2025, 12));

    w.showMonth(2099, 5);
    w.yearForward()->click();
    EXPECT_EQ(std::pair(w.year(), w.month()), std::pair(1801, 5));
    EXPECT_EQ(EnabledDays(w), DaysOfMonth(1801, 5));
    w.yearBack()->click();
    EXPECT_EQ(std::pair(w.year(), w.month()), std::pair(2099, 5));
    // Across the ends of the range by month as well.
    w.showMonth(2099, 12);
    w.monthForward()->click();
    EXPECT_EQ(std::pair(w.year(), w.month()), std::pair(1801, 1));
    w.monthBack()->click();
    EXPECT_EQ(std::pair(w.year(), w.month()), std::pair(2099, 12));
}

TEST_F(CalendarTest, EntriesOutsideTheRangeAreRefused) {
    CalendarWindow w(ctx, D(2026, 6, 15), QString(), kCalendarAllDays, mondays);
    Enter(w.monthField(), QStringLiteral("13"));
    Enter(w.monthField(), QStringLiteral("0"));
    EXPECT_EQ(w.month(), 6);
    EXPECT_EQ(w.monthField()->text(), QStringLiteral("6"));
    Enter(w.yearField(), QStringLiteral("1800"));
    Enter(w.yearField(), QStringLiteral("2100"));
    EXPECT_EQ(w.year(), 2026);
    EXPECT_EQ(dialogs.texts(),
              QStringList({"Month should be between 1 to 12", "Month should be between 1 to 12",
                           "Year should be between 1801 to 2099", "Year should be between 1801 to 2099"}));
    EXPECT_EQ(dialogs.captions(), QStringList(4, QStringLiteral("Error Message")));

    Enter(w.monthField(), QStringLiteral("2"));
    Enter(w.yearField(), QStringLiteral("1999"));
    EXPECT_EQ(std::pair(w.year(), w.month()), std::pair(1999, 2));
    EXPECT_EQ(EnabledDays(w), DaysOfMonth(1999, 2));
    EXPECT_EQ(dialogs.shown.size(), 4u);
}

TEST_F(CalendarTest, ADayBeforeTodayIsTakenOnlyWhenConfirmed) {
    CalendarWindow w(ctx, 0, QString(), kCalendarAllDays, mondays);
    w.show();
    w.monthBack()->click(); // May 2026
    dialogs.answer(Dialogs::No);
    w.buttonForDay(20)->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("You have selected a date earlier than today.  Do you wish to use this date?"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Confirm"));
    EXPECT_EQ(dialogs.shown[0].buttons, unsigned(Dialogs::Yes | Dialogs::No));
    EXPECT_EQ(dialogs.shown[0].defaultButton, Dialogs::No);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(std::pair(w.year(), w.month()), std::pair(2026, 5));
    EXPECT_EQ(w.pickedDate(), 0);

    dialogs.answer(Dialogs::Yes);
    w.buttonForDay(20)->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_EQ(w.pickedDate(), D(2026, 5, 20));
}

TEST_F(CalendarTest, CalendarGivesThePickOrTheDateItWasOpenedWith) {
    WhenOpen([](CalendarWindow& w) { w.buttonForDay(15)->click(); }); // today: no question
    EXPECT_EQ(Calendar(ctx, 0, QString(), kCalendarAllDays, mondays), D(2026, 6, 15));
    EXPECT_TRUE(dialogs.shown.empty());
    WhenOpen([](CalendarWindow& w) { w.closeButton()->click(); });
    EXPECT_EQ(Calendar(ctx, 0, QString(), QString(), mondays), 0);
    WhenOpen([](CalendarWindow& w) {
        w.monthForward()->click();
        w.closeButton()->click();
    });
    EXPECT_EQ(Calendar(ctx, mondays.date, QString(), QString(), mondays), mondays.date);
    WhenOpen([](CalendarWindow& w) { QTest::keyClick(&w, Qt::Key_Escape); });
    EXPECT_EQ(Calendar(ctx, mondays.date, QString(), QString(), mondays), mondays.date);
    EXPECT_FALSE(ctx.positions.read(QStringLiteral("Calendar"), QStringLiteral("XPosit")).isEmpty());
}

TEST_F(CalendarTest, NoTwoControlsShareAnAccelerator) {
    CalendarWindow w(ctx, mondays.date, QString(), QString(), mondays);
    EXPECT_EQ(AcceleratorClashes(&w), QStringList());
}

} // namespace
} // namespace kr::test
