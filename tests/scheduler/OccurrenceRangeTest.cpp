// Occurrences near and beyond the last date the program handles, huge repeat counts, and tasks
// far behind the reference moment.

#include "scheduler/Occurrence.h"
#include "scheduler/TaskRules.h"
#include "support/ScriptedDialogs.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <random>

namespace kr::test {
namespace {

Date D(int y, int m, int d) {
    return DateFromYmd(y, m, d);
}

Schedule Custom(qint32 every, const QString& unit, Date date, Time time = TimeFromHms(9, 0, 0)) {
    Schedule t;
    t.scheduleType = kCustom;
    t.every = every;
    t.everyType = unit;
    t.date = date;
    t.time = time;
    return t;
}

// The rules stepped one at a time, as they read: the model the faster arithmetic must match.
void StepByStep(Schedule& t, Date a, Time b) {
    const QString type = t.scheduleType;
    auto flagged = [&](Date d) {
        const quint8 f[] = {t.sunday, t.monday, t.tuesday, t.wednesday, t.thursday, t.friday, t.saturday};
        return f[Weekday(d)] != 0;
    };
    auto anyDay = [&] {
        return t.sunday || t.monday || t.tuesday || t.wednesday || t.thursday || t.friday || t.saturday;
    };
    auto step = [&] {
        if (!anyDay()) {
            ++t.date;
            return;
        }
        do
            ++t.date;
        while (!flagged(t.date));
    };
    if (type == kDayOfWeek) {
        while (t.date <= a)
            step();
        return;
    }
    if (type == kDayOfMonth) {
        for (;;) {
            step();
            if (t.date <= a)
                continue;
            if (!(t.every1st || t.every2nd || t.every3rd || t.every4th || t.everyLast))
                return;
            const int n = YmdFromDate(t.date).day;
            if ((n <= 7 && t.every1st) || (n >= 8 && n <= 14 && t.every2nd) ||
                (n >= 15 && n <= 21 && t.every3rd) || (n >= 22 && n <= 28 && t.every4th))
                return;
            if (t.everyLast && YmdFromDate(t.date + 7).month != YmdFromDate(t.date).month)
                return;
        }
    }
    const QString unit = t.everyType.left(3);
    if (unit == QStringLiteral("min") || unit == QStringLiteral("hou")) {
        const qint32 perDay = unit == QStringLiteral("min") ? 1440 : 24;
        const Time unitTime = unit == QStringLiteral("min") ? kOneMinute : kOneHour;
        do {
            t.date += t.every / perDay;
            t.time += (t.every % perDay) * unitTime;
            CarryDays(t.date, t.time);
        } while (!(t.date > a || (t.date == a && t.time > b)));
    } else if (unit == QStringLiteral("day")) {
        while (t.date <= a)
            t.date += t.every;
    } else if (unit == QStringLiteral("wee")) {
        while (t.date <= a)
            t.date += 7 * t.every;
    } else if (unit == QStringLiteral("mon")) {
        while (t.date <= a) {
            const Ymd d = YmdFromDate(t.date);
            t.date = DateFromYmd(d.year, d.month + t.every, d.day);
        }
    } else if (unit == QStringLiteral("yea")) {
        while (t.date <= a) {
            const Ymd d = YmdFromDate(t.date);
            t.date = DateFromYmd(d.year + t.every, d.month, d.day);
        }
    }
}

TEST(OccurrenceRange, TheLastDateIsTheLastDayOf2099) {
    EXPECT_EQ(kLastDate, D(2099, 12, 31));
}

TEST(OccurrenceRange, HugeRepeatCountsGiveNoFurtherOccurrenceAtOnce) {
    ScriptedDialogs dialogs;
    QElapsedTimer clock;
    clock.start();
    for (const QString& unit :
         {QStringLiteral("year(s)"), QStringLiteral("month(s)"), QStringLiteral("week(s)"),
          QStringLiteral("day(s)"), QStringLiteral("hour(s)"), QStringLiteral("minute(s)")}) {
        for (const qint32 every : {2147483647, 6000000, 999999}) {
            if ((every != 2147483647 && unit == QStringLiteral("minute(s)")) ||
                (every == 999999 && unit == QStringLiteral("hour(s)")))
                continue; // these still fall within the range
            Schedule t = Custom(every, unit, D(2024, 1, 1), TimeFromHms(10, 30, 0));
            EXPECT_FALSE(AdvanceOccurrence(t, D(2024, 1, 1), TimeFromHms(10, 30, 0), dialogs))
                << qPrintable(unit) << every;
            // Nothing moved: the task keeps the occurrence it had.
            EXPECT_EQ(t.date, D(2024, 1, 1)) << qPrintable(unit) << every;
            EXPECT_EQ(t.time, TimeFromHms(10, 30, 0)) << qPrintable(unit) << every;
        }
    }
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(OccurrenceRange, TheLastOccurrenceInRangeIsStillGiven) {
    ScriptedDialogs dialogs;
    Schedule yearly = Custom(1, QStringLiteral("year(s)"), D(2098, 12, 31));
    ASSERT_TRUE(AdvanceOccurrence(yearly, yearly.date, yearly.time, dialogs));
    EXPECT_EQ(yearly.date, D(2099, 12, 31));
    EXPECT_FALSE(AdvanceOccurrence(yearly, yearly.date, yearly.time, dialogs));

    Schedule hourly = Custom(1, QStringLiteral("hour(s)"), D(2099, 12, 31), TimeFromHms(22, 0, 0));
    ASSERT_TRUE(AdvanceOccurrence(hourly, hourly.date, hourly.time, dialogs));
    EXPECT_EQ(hourly.time, TimeFromHms(23, 0, 0));
    EXPECT_FALSE(AdvanceOccurrence(hourly, hourly.date, hourly.time, dialogs));

    for (const QString& type : {kYearly, kMonthly, kDayOfWeek, kDayOfMonth}) {
        Schedule t;
        t.scheduleType = type;
        t.monday = 1;
        t.everyLast = 1;
        t.date = D(2099, 12, 1);
        EXPECT_FALSE(AdvanceOccurrence(t, D(2099, 12, 31), 0, dialogs)) << qPrintable(type);
        EXPECT_EQ(t.date, D(2099, 12, 1)) << qPrintable(type);
    }
}

TEST(OccurrenceRange, ATaskFarBehindItsReferenceLandsWhereSingleStepsWould) {
    // Random tasks up to a few years behind: the stepped model is still quick there.
    std::mt19937 random(15);
    ScriptedDialogs dialogs;
    const QString units[] = {QStringLiteral("minute(s)"), QStringLiteral("hour(s)"),
                             QStringLiteral("day(s)"),    QStringLiteral("week(s)"),
                             QStringLiteral("month(s)"),  QStringLiteral("year(s)")};
    for (int i = 0; i < 3000; ++i) {
        Schedule t;
        const int kind = static_cast<int>(random() % 8);
        t.scheduleType = kind == 0 ? kDayOfWeek : kind == 1 ? kDayOfMonth : kCustom;
        t.every = 1 + static_cast<qint32>(random() % (random() % 2 ? 5000 : 40));
        t.everyType = units[random() % 6];
        const quint32 days = static_cast<quint32>(random());
        t.sunday = days & 1;
        t.monday = (days >> 1) & 1;
        t.wednesday = (days >> 2) & 1;
        t.saturday = (days >> 3) & 1;
        t.every2nd = (days >> 4) & 1;
        t.everyLast = (days >> 5) & 1;
        t.date = D(2020, 1, 1) + static_cast<Date>(random() % 2000);
        t.time = random() % 5 == 0 ? 0 : 1 + static_cast<Time>(random() % kOneDay);
        const Date a = D(2024, 6, 1) + static_cast<Date>(random() % 400);
        const Time b = static_cast<Time>(random() % kOneDay);
        if (t.scheduleType == kCustom &&
            (t.everyType.startsWith(QStringLiteral("yea")) || t.everyType.startsWith(QStringLiteral("mon")) ||
             t.everyType.startsWith(QStringLiteral("wee"))))
            t.every = 1 + t.every % 40; // keep the model's dates within the range
        Schedule expected = t;
        StepByStep(expected, a, b);
        Schedule actual = t;
        const bool further = AdvanceOccurrence(actual, a, b, dialogs);
        if (expected.date > kLastDate) {
            EXPECT_FALSE(further);
            continue;
        }
        ASSERT_TRUE(further) << i;
        ASSERT_EQ(actual.date, expected.date)
            << i << " " << qPrintable(t.scheduleType) << " " << t.every << qPrintable(t.everyType);
        ASSERT_EQ(actual.time, expected.time)
            << i << " " << qPrintable(t.scheduleType) << " " << t.every << qPrintable(t.everyType);
    }
}

TEST(OccurrenceRange, ATaskFromTheFirstYearsCatchesUpAtOnce) {
    ScriptedDialogs dialogs;
    QElapsedTimer clock;
    clock.start();
    Schedule minutes = Custom(1, QStringLiteral("minute(s)"), D(1801, 1, 1), TimeFromHms(0, 0, 30));
    ASSERT_TRUE(AdvanceOccurrence(minutes, D(2099, 12, 1), TimeFromHms(12, 0, 10), dialogs));
    EXPECT_EQ(minutes.date, D(2099, 12, 1));
    EXPECT_EQ(minutes.time, TimeFromHms(12, 0, 30));
    Schedule daily;
    daily.scheduleType = kDayOfWeek;
    daily.date = -2000000000; // a damaged record
    ASSERT_TRUE(AdvanceOccurrence(daily, D(2026, 12, 8), 0, dialogs));
    EXPECT_EQ(daily.date, D(2026, 12, 9));
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(OccurrenceRange, MomentsAddedInSecondsStopAtTheLastDate) {
    Date d = D(2026, 12, 8);
    Time t = TimeFromHms(23, 59, 0);
    AddSeconds(d, t, 120);
    EXPECT_EQ(d, D(2026, 12, 9));
    EXPECT_EQ(t, TimeFromHms(0, 1, 0));
    AddSeconds(d, t, 2147483647); // 68 years
    EXPECT_EQ(d, D(2094, 12, 27));
    AddSeconds(d, t, 2147483647);
    EXPECT_EQ(d, kLastDate);
    EXPECT_EQ(t, kOneDay);
}

TEST(RepeatCount, ACountThatNeverGivesAnotherDateIsRefusedWithTheReason) {
    Schedule t = Custom(6000000, QStringLiteral("year(s)"), D(2024, 1, 1));
    const QString problem = RepeatCountProblem(t);
    EXPECT_TRUE(problem.contains(QStringLiteral("6000000 year(s)"))) << problem.toStdString();
    EXPECT_TRUE(problem.contains(QStringLiteral("31 Dec 2099")));
    EXPECT_FALSE(RepeatCountProblem(Custom(2147483647, QStringLiteral("week(s)"), D(2024, 1, 1))).isEmpty());
    EXPECT_FALSE(RepeatCountProblem(Custom(100, QStringLiteral("year(s)"), D(2024, 1, 1))).isEmpty());

    EXPECT_TRUE(RepeatCountProblem(Custom(75, QStringLiteral("year(s)"), D(2024, 1, 1))).isEmpty());
    EXPECT_TRUE(RepeatCountProblem(Custom(999999, QStringLiteral("minute(s)"), D(2024, 1, 1))).isEmpty());
    // Only custom repetition has a repeat count.
    Schedule weekly = Custom(6000000, QStringLiteral("year(s)"), D(2024, 1, 1));
    weekly.scheduleType = kDayOfWeek;
    EXPECT_TRUE(RepeatCountProblem(weekly).isEmpty());
}

TEST(NewTaskDate, StartsOnTheFirstDayFromTodayTheScheduleCanFallOn) {
    const Date tuesday = D(2026, 12, 8);
    Schedule t;
    PrimeNewTask(t, tuesday, 1, QStringLiteral("Both"));
    t.sunday = t.tuesday = t.wednesday = t.thursday = t.friday = t.saturday = 0; // Mondays only
    FirstDateFrom(t, tuesday);
    EXPECT_EQ(t.date, D(2026, 12, 14));

    t.tuesday = 1; // today is one of its days
    FirstDateFrom(t, tuesday);
    EXPECT_EQ(t.date, tuesday);

    Schedule lastFriday;
    PrimeNewTask(lastFriday, tuesday, 1, QStringLiteral("Both"));
    lastFriday.scheduleType = kDayOfMonth;
    lastFriday.sunday = lastFriday.monday = lastFriday.tuesday = lastFriday.wednesday = lastFriday.thursday =
        lastFriday.saturday = 0;
    FirstDateFrom(lastFriday, tuesday);
    EXPECT_EQ(lastFriday.date, D(2026, 12, 25));
    EXPECT_EQ(lastFriday.completed, 0);
}

} // namespace
} // namespace kr::test
