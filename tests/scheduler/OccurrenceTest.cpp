#include "scheduler/Occurrence.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace kr::test {
namespace {

Date D(int y, int m, int d) {
    return DateFromYmd(y, m, d);
}

class Occurrence : public ::testing::Test {
protected:
    // The task advanced from a reference moment.
    Schedule advanced(Schedule t, Date a, Time b = 0) {
        AdvanceOccurrence(t, a, b, dialogs);
        return t;
    }
    static Schedule Task(const QString& type, Date date, Time time = TimeFromHms(9, 0, 0)) {
        Schedule t;
        t.scheduleType = type;
        t.date = date;
        t.time = time;
        return t;
    }
    ScriptedDialogs dialogs;
};

TEST_F(Occurrence, OnceCompletesWithoutMoving) {
    const Schedule t = advanced(Task(kOnce, D(2026, 5, 1)), D(2026, 5, 1));
    EXPECT_EQ(t.completed, 1);
    EXPECT_EQ(t.date, D(2026, 5, 1));
}

TEST_F(Occurrence, MonthlyCarriesTheDayAndKeepsTheCarriedDay) {
    Schedule t = Task(kMonthly, D(2026, 1, 31));
    t = advanced(t, D(2026, 1, 31));
    EXPECT_EQ(t.date, D(2026, 3, 3));
    t = advanced(t, t.date);
    EXPECT_EQ(t.date, D(2026, 4, 3));
    Schedule leap = advanced(Task(kMonthly, D(2024, 1, 31)), D(2024, 1, 31));
    EXPECT_EQ(leap.date, D(2024, 3, 2));
    leap = advanced(leap, leap.date);
    EXPECT_EQ(leap.date, D(2024, 4, 2));
    // A date already after the reference stays; December goes on to January.
    EXPECT_EQ(advanced(Task(kMonthly, D(2026, 6, 10)), D(2026, 6, 9)).date, D(2026, 6, 10));
    EXPECT_EQ(advanced(Task(kMonthly, D(2026, 12, 10)), D(2026, 12, 10)).date, D(2027, 1, 10));
    // The time of day is kept.
    EXPECT_EQ(advanced(Task(kMonthly, D(2026, 6, 10)), D(2026, 6, 10)).time, TimeFromHms(9, 0, 0));
}

TEST_F(Occurrence, TwiceAMonthAlternatesAndShiftsByTheOffset) {
    Schedule t = Task(kMonthly, D(2026, 12, 15));
    t.monthRepeat = QStringLiteral("Twice - 1st, 15th");
    EXPECT_EQ(advanced(t, D(2026, 12, 15)).date, D(2027, 1, 1));

    Schedule last = Task(kMonthly, D(2024, 2, 15));
    last.monthRepeat = QStringLiteral("Twice - 15th, Last");
    last = advanced(last, D(2024, 2, 15));
    EXPECT_EQ(last.date, D(2024, 2, 29));
    last = advanced(last, last.date);
    EXPECT_EQ(last.date, D(2024, 3, 15));

    Schedule shifted = Task(kMonthly, D(2026, 3, 4));
    shifted.monthRepeat = QStringLiteral("TWICE - 1st, 15th");
    shifted.offset = 3;
    shifted = advanced(shifted, D(2026, 3, 4));
    EXPECT_EQ(shifted.date, D(2026, 3, 18));
    shifted = advanced(shifted, shifted.date);
    EXPECT_EQ(shifted.date, D(2026, 4, 4));

    Schedule before = Task(kMonthly, D(2026, 4, 14));
    before.monthRepeat = QStringLiteral("Twice - 15th, Last");
    before.offset = -1;
    before = advanced(before, D(2026, 4, 14));
    EXPECT_EQ(before.date, D(2026, 4, 29)); // the second-last day
    before = advanced(before, before.date);
    EXPECT_EQ(before.date, D(2026, 5, 14));

    EXPECT_TRUE(DateMatchesSchedule(shifted, D(2026, 5, 18)));
    EXPECT_TRUE(DateMatchesSchedule(shifted, D(2026, 5, 4)));
    EXPECT_FALSE(DateMatchesSchedule(shifted, D(2026, 5, 1)));
    EXPECT_TRUE(DateMatchesSchedule(before, D(2026, 6, 29)));
    EXPECT_FALSE(DateMatchesSchedule(before, D(2026, 6, 30)));
    EXPECT_FALSE(DateMatchesSchedule(before, D(2026, 6, 1)));
}

TEST_F(Occurrence, YearlyCarriesTheTwentyNinthOfFebruary) {
    Schedule t = advanced(Task(kYearly, D(2024, 2, 29)), D(2024, 2, 29));
    EXPECT_EQ(t.date, D(2025, 3, 1));
    t = advanced(t, D(2027, 6, 1));
    EXPECT_EQ(t.date, D(2028, 3, 1));
}

TEST_F(Occurrence, DayOfWeekGoesToTheNextFlaggedWeekday) {
    Schedule t = Task(kDayOfWeek, D(2026, 12, 7)); // a Monday
    t.monday = 1;
    t.thursday = 1;
    EXPECT_EQ(advanced(t, D(2026, 12, 7)).date, D(2026, 12, 10));
    EXPECT_EQ(advanced(t, D(2026, 12, 10)).date, D(2026, 12, 14));
    // No weekday at all: every day.
    Schedule daily = Task(kDayOfWeek, D(2026, 12, 7));
    EXPECT_EQ(advanced(daily, D(2026, 12, 9)).date, D(2026, 12, 10));
    EXPECT_TRUE(DateMatchesSchedule(t, D(2026, 12, 17)));
    EXPECT_FALSE(DateMatchesSchedule(t, D(2026, 12, 16)));
    EXPECT_FALSE(DateMatchesSchedule(daily, D(2026, 12, 16)));
}

TEST_F(Occurrence, DayOfMonthTakesTheWeekOfTheMonth) {
    Schedule first = Task(kDayOfMonth, D(2026, 5, 31));
    first.monday = 1;
    first.every1st = 1; // June 2026 begins on a Monday
    EXPECT_EQ(advanced(first, D(2026, 5, 31)).date, D(2026, 6, 1));

    Schedule lastFriday = Task(kDayOfMonth, D(2026, 7, 1));
    lastFriday.friday = 1;
    lastFriday.everyLast = 1; // July 2026 ends on a Friday
    EXPECT_EQ(advanced(lastFriday, D(2026, 7, 1)).date, D(2026, 7, 31));
    EXPECT_EQ(advanced(lastFriday, D(2026, 7, 31)).date, D(2026, 8, 28));

    Schedule tuesdays = Task(kDayOfMonth, D(2026, 12, 1));
    tuesdays.tuesday = 1;
    tuesdays.every2nd = 1;
    tuesdays.every4th = 1;
    tuesdays = advanced(tuesdays, D(2026, 12, 1));
    EXPECT_EQ(tuesdays.date, D(2026, 12, 8));
    tuesdays = advanced(tuesdays, tuesdays.date);
    EXPECT_EQ(tuesdays.date, D(2026, 12, 22));
    tuesdays = advanced(tuesdays, tuesdays.date);
    EXPECT_EQ(tuesdays.date, D(2027, 1, 12));

    EXPECT_TRUE(DateMatchesSchedule(tuesdays, D(2027, 1, 26)));
    EXPECT_FALSE(DateMatchesSchedule(tuesdays, D(2027, 1, 19)));
    EXPECT_FALSE(DateMatchesSchedule(tuesdays, D(2027, 1, 27)));
    EXPECT_TRUE(DateMatchesSchedule(lastFriday, D(2026, 10, 30)));
    EXPECT_FALSE(DateMatchesSchedule(lastFriday, D(2026, 10, 23)));

    // No week of the month: just the weekdays.
    Schedule weekly = Task(kDayOfMonth, D(2026, 12, 7));
    weekly.wednesday = 1;
    EXPECT_EQ(advanced(weekly, D(2026, 12, 7)).date, D(2026, 12, 9));
}

TEST_F(Occurrence, MonthEndNeverGoesBack) {
    Schedule t = Task(kDayOfMonth, D(2026, 4, 30));
    t.lastDayOfMonth = 1;
    EXPECT_EQ(advanced(t, D(2026, 4, 30)).date, D(2026, 5, 31));
    EXPECT_EQ(advanced(t, D(2026, 4, 29)).date, D(2026, 4, 30));
    EXPECT_EQ(advanced(t, D(2026, 12, 31)).date, D(2027, 1, 31));
    EXPECT_TRUE(DateMatchesSchedule(t, D(2028, 2, 29)));
    EXPECT_FALSE(DateMatchesSchedule(t, D(2028, 2, 28)));
}

TEST_F(Occurrence, CustomMinutesAndHoursCarryIntoTheNextDay) {
    Schedule t = Task(kCustom, D(2026, 3, 1), TimeFromHms(23, 0, 0));
    t.every = 90;
    t.everyType = QStringLiteral("minute(s)");
    t = advanced(t, D(2026, 3, 1), TimeFromHms(23, 30, 0));
    EXPECT_EQ(t.date, D(2026, 3, 2));
    EXPECT_EQ(t.time, TimeFromHms(0, 30, 0));

    Schedule h = Task(kCustom, D(2026, 3, 1), TimeFromHms(8, 0, 0));
    h.every = 30;
    h.everyType = QStringLiteral("Hour(s)");
    h = advanced(h, D(2026, 3, 1), TimeFromHms(8, 0, 0));
    EXPECT_EQ(h.date, D(2026, 3, 2));
    EXPECT_EQ(h.time, TimeFromHms(14, 0, 0));

    // At least one step even when the task already lies after the reference.
    Schedule ahead = Task(kCustom, D(2026, 3, 5), TimeFromHms(8, 0, 0));
    ahead.every = 15;
    ahead.everyType = QStringLiteral("minute(s)");
    ahead = advanced(ahead, D(2026, 3, 1), TimeFromHms(8, 0, 0));
    EXPECT_EQ(ahead.time, TimeFromHms(8, 15, 0));
}

TEST_F(Occurrence, CustomDaysKeepTheirSeries) {
    Schedule t = Task(kCustom, D(2026, 3, 1));
    t.every = 2;
    t.everyType = QStringLiteral("day(s)");
    EXPECT_EQ(advanced(t, D(2026, 3, 11)).date, D(2026, 3, 13));
    EXPECT_EQ(advanced(t, D(2026, 3, 10)).date, D(2026, 3, 11));
    t.every = 0; // below 1 counts as 1, and is stored so
    const Schedule fixed = advanced(t, D(2026, 3, 10));
    EXPECT_EQ(fixed.every, 1);
    EXPECT_EQ(fixed.date, D(2026, 3, 11));

    Schedule weeks = Task(kCustom, D(2026, 3, 1));
    weeks.every = 3;
    weeks.everyType = QStringLiteral("week(s)");
    EXPECT_EQ(advanced(weeks, D(2026, 3, 1)).date, D(2026, 3, 22));

    Schedule months = Task(kCustom, D(2026, 11, 30));
    months.every = 3;
    months.everyType = QStringLiteral("month(s)");
    EXPECT_EQ(advanced(months, D(2026, 11, 30)).date, D(2027, 3, 2)); // 30 February carried

    Schedule years = Task(kCustom, D(2026, 6, 1));
    years.every = 5;
    years.everyType = QStringLiteral("year(s)");
    EXPECT_EQ(advanced(years, D(2030, 1, 1)).date, D(2031, 6, 1));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(Occurrence, AnUnknownUnitIsReportedAndMovesPastTheReference) {
    Schedule t = Task(QStringLiteral("Custom"), D(2026, 3, 1));
    t = advanced(t, D(2026, 3, 10));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Custom repetition is not set up properly.  Select units."));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Invalid Units"));
    EXPECT_EQ(dialogs.shown[0].buttons, unsigned(Dialogs::Ok));
    EXPECT_EQ(t.date, D(2026, 3, 11));
    // Any schedule type not known is a custom repetition, and a date ahead stays.
    Schedule other = Task(QStringLiteral("Whatever"), D(2026, 4, 1));
    EXPECT_EQ(advanced(other, D(2026, 3, 10)).date, D(2026, 4, 1));
    EXPECT_EQ(dialogs.shown.size(), 2u);
}

TEST(Moments, CompareCarriesDaysFirst) {
    EXPECT_EQ(CompareMoments(10, 5, 10, 5), 0);
    EXPECT_EQ(CompareMoments(10, 5, 11, 1), -1);
    EXPECT_EQ(CompareMoments(11, 1, 10, 8640000), 1);
    EXPECT_EQ(CompareMoments(10, 8640000 + 150, 11, 150), 0);
    EXPECT_EQ(CompareMoments(10, 8640000, 11, 0), -1);
    EXPECT_EQ(CompareMoments(10, 0, 10, 1), -1);
}

TEST(Moments, DateKeyTextHasEightDigits) {
    EXPECT_EQ(DateKeyText(DateFromYmd(2000, 2, 1)), QStringLiteral("20000201"));
    EXPECT_EQ(DateKeyText(DateFromYmd(1998, 10, 5)), QStringLiteral("19981005"));
    EXPECT_EQ(DateKeyText(DateFromYmd(1801, 1, 1)), QStringLiteral("18010101"));
}

} // namespace
} // namespace kr::test
