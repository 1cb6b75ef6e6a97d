// The recurrence rules checked against std::chrono's calendar over many generated tasks.

#include "scheduler/Occurrence.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

namespace kr::test {
namespace {

using namespace std::chrono;

sys_days ToSys(Date d) {
    const Ymd ymd = YmdFromDate(d);
    return sys_days(year(ymd.year) / ymd.month / ymd.day);
}

// Day numbers counted independently: 1 January 1801 is day 4.
Date FromSys(sys_days s) {
    return static_cast<Date>((s - sys_days(year(1801) / 1 / 1)).count() + 4);
}

// A year/month/day that may run past its month's end, carried into the next month.
sys_days Carried(year_month ym, unsigned day) {
    return sys_days(ym / 1) + days(day - 1);
}

class CalendarCheck : public ::testing::Test {
protected:
    std::mt19937 rng{20261208};
    Date randomDate(int fromYear = 1801, int toYear = 2095) {
        std::uniform_int_distribution<int> span(FromSys(sys_days(year(fromYear) / 1 / 1)),
                                                FromSys(sys_days(year(toYear) / 12 / 31)));
        return span(rng);
    }
    ScriptedDialogs dialogs;
};

TEST_F(CalendarCheck, DayNumbersAgreeWithChrono) {
    for (int i = 0; i < 20000; ++i) {
        const Date d = randomDate();
        ASSERT_EQ(FromSys(ToSys(d)), d);
        ASSERT_EQ(Weekday(d), static_cast<int>(weekday(ToSys(d)).c_encoding()));
    }
    EXPECT_EQ(FromSys(sys_days(year(1800) / 12 / 28)), 0);
}

TEST_F(CalendarCheck, WeeklyTasksLandOnTheFirstFlaggedDayAfterTheReference) {
    for (int i = 0; i < 5000; ++i) {
        Schedule t;
        t.scheduleType = kDayOfWeek;
        quint8* flags[] = {&t.sunday,   &t.monday, &t.tuesday, &t.wednesday,
                           &t.thursday, &t.friday, &t.saturday};
        const unsigned mask = std::uniform_int_distribution<unsigned>(1, 127)(rng);
        for (int w = 0; w < 7; ++w)
            *flags[w] = (mask >> w) & 1u;
        t.date = randomDate();
        const Date reference = t.date + std::uniform_int_distribution<int>(0, 400)(rng);
        Schedule r = t;
        AdvanceOccurrence(r, reference, 0, dialogs);

        sys_days expected = ToSys(reference) + days(1);
        while (((mask >> weekday(expected).c_encoding()) & 1u) == 0)
            expected += days(1);
        ASSERT_EQ(r.date, FromSys(expected)) << "mask " << mask;
    }
}

TEST_F(CalendarCheck, MonthlyAndYearlyTasksStepByTheCalendar) {
    for (int i = 0; i < 5000; ++i) {
        const bool yearly = i % 2 == 1;
        Schedule t;
        t.scheduleType = yearly ? kYearly : kMonthly;
        t.date = randomDate(1801, 2080);
        const Date reference = t.date + std::uniform_int_distribution<int>(0, yearly ? 3000 : 900)(rng);
        Schedule r = t;
        AdvanceOccurrence(r, reference, 0, dialogs);

        sys_days expected = ToSys(t.date);
        while (expected <= ToSys(reference)) {
            const year_month_day ymd(expected);
            const year_month next = yearly ? year_month(ymd.year() + years(1), ymd.month())
                                           : year_month(ymd.year(), ymd.month()) + months(1);
            expected = Carried(next, static_cast<unsigned>(ymd.day()));
        }
        ASSERT_EQ(r.date, FromSys(expected)) << DateKeyText(t.date).toStdString();
    }
}

TEST_F(CalendarCheck, MonthEndIsTheLastDayOfTheMonth) {
    for (int i = 0; i < 5000; ++i) {
        Schedule t;
        t.scheduleType = kDayOfMonth;
        t.lastDayOfMonth = 1;
        t.date = randomDate();
        const Date reference = t.date + std::uniform_int_distribution<int>(-60, 60)(rng);
        Schedule r = t;
        AdvanceOccurrence(r, reference, 0, dialogs);
        const sys_days from = t.date <= reference ? ToSys(reference) + days(1) : ToSys(t.date);
        const year_month_day ymd(from);
        ASSERT_EQ(r.date, FromSys(sys_days(ymd.year() / ymd.month() / last)));
        ASSERT_TRUE(DateMatchesSchedule(r, r.date));
    }
}

TEST_F(CalendarCheck, CustomDaysWeeksMonthsAndYears) {
    const char* const units[] = {"day(s)", "week(s)", "month(s)", "year(s)"};
    for (int i = 0; i < 4000; ++i) {
        Schedule t;
        t.scheduleType = kCustom;
        t.everyType = QString::fromLatin1(units[i % 4]);
        t.every = std::uniform_int_distribution<int>(1, i % 4 == 2 ? 11 : 20)(rng);
        t.date = randomDate(1801, 2060);
        const Date reference = t.date + std::uniform_int_distribution<int>(0, 2000)(rng);
        Schedule r = t;
        AdvanceOccurrence(r, reference, 0, dialogs);

        sys_days expected = ToSys(t.date);
        while (expected <= ToSys(reference)) {
            const year_month_day ymd(expected);
            switch (i % 4) {
            case 0:
                expected += days(t.every);
                break;
            case 1:
                expected += days(7 * t.every);
                break;
            case 2:
                expected =
                    Carried(year_month(ymd.year(), ymd.month()) + months(t.every), unsigned(ymd.day()));
                break;
            default:
                expected = Carried(year_month(ymd.year() + years(t.every), ymd.month()), unsigned(ymd.day()));
                break;
            }
        }
        ASSERT_EQ(r.date, FromSys(expected)) << units[i % 4] << " every " << t.every;
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

} // namespace
} // namespace kr::test
