#include "platform/Clock.h"
#include "platform/DateTime.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace kr {
namespace {

TEST(DateTime, FixedPointsOfTheCalendar) {
    EXPECT_EQ(DateFromYmd(1801, 1, 1), 4);
    EXPECT_EQ(DateFromYmd(1800, 12, 28), 0);
    EXPECT_EQ(Weekday(0), 0); // a Sunday
    EXPECT_EQ((YmdFromDate(4)), (Ymd{1801, 1, 1}));
    EXPECT_EQ(Weekday(DateFromYmd(1959, 10, 31)), 6); // a Saturday
    EXPECT_EQ(Weekday(DateFromYmd(2026, 12, 8)), 2);  // a Tuesday
}

TEST(DateTime, AgreesWithQDateEveryDayFrom1801To2099) {
    QDate q(1801, 1, 1);
    for (Date d = 4; q.year() < 2100; ++d, q = q.addDays(1)) {
        ASSERT_EQ(DateFromYmd(q.year(), q.month(), q.day()), d) << q.toString(Qt::ISODate).toStdString();
        ASSERT_EQ(ToQDate(d), q);
        ASSERT_EQ(Weekday(d), q.dayOfWeek() % 7);
    }
}

TEST(DateTime, BuilderCarriesOutOfRangeMonthsAndDays) {
    EXPECT_EQ(DateFromYmd(2025, 13, 1), DateFromYmd(2026, 1, 1));
    EXPECT_EQ(DateFromYmd(2026, 2, 31), DateFromYmd(2026, 3, 3));
    EXPECT_EQ(DateFromYmd(2024, 2, 31), DateFromYmd(2024, 3, 2));
    EXPECT_EQ(DateFromYmd(2026, 3, 0), DateFromYmd(2026, 2, 28));
    EXPECT_EQ(DateFromYmd(2026, 0, 15), DateFromYmd(2025, 12, 15));
    EXPECT_EQ(DateFromYmd(2026, -11, 1), DateFromYmd(2025, 1, 1));
    EXPECT_EQ(DateFromYmd(2026, 25, 1), DateFromYmd(2028, 1, 1));
}

TEST(DateTime, TimesCountHundredthsPlusOne) {
    EXPECT_EQ(TimeFromHms(0, 0, 0), 1);
    EXPECT_EQ(TimeFromHms(1, 0, 0), 360001);
    EXPECT_EQ(TimeFromHms(23, 59, 59, 99), 8640000);
    EXPECT_EQ(FromQTime(QTime(13, 45, 10)), TimeFromHms(13, 45, 10));
    EXPECT_EQ(ToQTime(TimeFromHms(13, 45, 10, 50)), QTime(13, 45, 10, 500));
    EXPECT_FALSE(ToQTime(0).isValid());
    EXPECT_FALSE(ToQDate(0).isValid());
    EXPECT_EQ(FromQDate(QDate()), 0);
}

TEST(DateTime, CarryDaysMovesWholeDaysIntoTheDate) {
    Date d = 1000;
    Time t = kOneDay + 150;
    CarryDays(d, t);
    EXPECT_EQ(d, 1001);
    EXPECT_EQ(t, 150);

    d = 1000;
    t = kOneDay;
    CarryDays(d, t);
    EXPECT_EQ(d, 1000);
    EXPECT_EQ(t, kOneDay);

    d = 1000;
    t = 3 * kOneDay + 1;
    CarryDays(d, t);
    EXPECT_EQ(d, 1003);
    EXPECT_EQ(t, 1);
}

TEST(DateTime, MonthLengthsAndLeapYears) {
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(2100, 2), 28);
    EXPECT_EQ(DaysInMonth(2026, 4), 30);
    EXPECT_EQ(DaysInMonth(2026, 12), 31);
}

TEST(DateTime, TheSystemClockReadsTheLocalWallClock) {
    // In a zone far from UTC, so that a reading in UTC could not pass.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Pacific/Kiritimati");
    tzset();
    SystemClock clock;
    for (int i = 0; i < 3; ++i) {
        const QDateTime before = QDateTime::currentDateTime();
        const Date day = clock.today();
        const Time now = clock.now();
        const QDateTime after = QDateTime::currentDateTime();
        if (before.date() != after.date())
            continue; // across midnight: try again
        EXPECT_EQ(day, FromQDate(before.date()));
        EXPECT_GE(now, FromQTime(before.time()));
        EXPECT_LE(now, FromQTime(after.time()));
        break;
    }
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
}

} // namespace
} // namespace kr
