#include "platform/Pictures.h"

#include <gtest/gtest.h>

#include <limits>

namespace kr {
namespace {

const Date kHalloween1959 = DateFromYmd(1959, 10, 31);

TEST(Pictures, DatesLayOutAsTheSamplesShow) {
    const std::pair<const char*, const char*> samples[] = {
        {"d1", "10/31/59"},     {"d2", "10/31/1959"},   {"d3", "OCT 31,1959"}, {"d4", "October 31, 1959"},
        {"d5", "31/10/59"},     {"d6", "31/10/1959"},   {"d7", "31 OCT 59"},   {"d8", "31 OCT 1959"},
        {"d9", "59/10/31"},     {"d10", "1959/10/31"},  {"d11", "591031"},     {"d12", "19591031"},
        {"d13", "10/59"},       {"d14", "10/1959"},     {"d15", "59/10"},      {"d16", "1959/10"},
        {"@D3", "OCT 31,1959"}, {"@d6b", "31/10/1959"},
    };
    for (const auto& [picture, text] : samples)
        EXPECT_EQ(FormatDateAs(kHalloween1959, QString::fromLatin1(picture)), QString::fromLatin1(text))
            << picture;
    EXPECT_EQ(FormatDateAs(DateFromYmd(2026, 3, 5), QStringLiteral("d3")), QStringLiteral("MAR 05,2026"));
    EXPECT_EQ(FormatDateAs(0, QStringLiteral("d3")), QString());
    EXPECT_EQ(FormatDateAs(0, QStringLiteral("d6b")), QString());
}

TEST(Pictures, TimesLayOutInTheirForms) {
    const Time t = TimeFromHms(17, 5, 9);
    EXPECT_EQ(FormatTimeAs(t, QStringLiteral("t1")), QStringLiteral("17:05"));
    EXPECT_EQ(FormatTimeAs(t, QStringLiteral("t2")), QStringLiteral("1705"));
    EXPECT_EQ(FormatTimeAs(t, QStringLiteral("@t3")), QStringLiteral("5:05PM"));
    EXPECT_EQ(FormatTimeAs(t, QStringLiteral("t4")), QStringLiteral("17:05:09"));
    EXPECT_EQ(FormatTimeAs(t, QStringLiteral("t5")), QStringLiteral("170509"));
    EXPECT_EQ(FormatTimeAs(t, QStringLiteral("t6")), QStringLiteral("5:05:09PM"));
    EXPECT_EQ(FormatTimeAs(TimeFromHms(0, 30, 0), QStringLiteral("t3")), QStringLiteral("12:30AM"));
    EXPECT_EQ(FormatTimeAs(TimeFromHms(12, 0, 0), QStringLiteral("t3")), QStringLiteral("12:00PM"));
    EXPECT_EQ(FormatTimeAs(0, QStringLiteral("t3b")), QString());
}

TEST(Pictures, NumbersTakeWidthSignAndBlank) {
    EXPECT_EQ(FormatNumber(5, QStringLiteral("@n3")), QStringLiteral("  5"));
    EXPECT_EQ(FormatNumber(-2, QStringLiteral("@n-2b")), QStringLiteral("-2"));
    EXPECT_EQ(FormatNumber(0, QStringLiteral("@n-2b")), QString());
    EXPECT_EQ(FormatNumber(0, QStringLiteral("@n3")), QStringLiteral("  0"));
    EXPECT_EQ(FormatNumber(42, QStringLiteral("@n05")), QStringLiteral("00042"));
    EXPECT_EQ(FormatNumber(1234, QStringLiteral("@n8.2")), QStringLiteral("   12.34"));
    EXPECT_EQ(FormatNumber(-5, QStringLiteral("@n.3")), QStringLiteral("-0.005"));
}

TEST(Pictures, ExtremeNumbersAndPicturesStayInRange) {
    const qint64 lowest = std::numeric_limits<qint64>::min();
    const qint64 highest = std::numeric_limits<qint64>::max();
    EXPECT_EQ(FormatNumber(lowest, QStringLiteral("@n-20")), QStringLiteral("-9223372036854775808"));
    EXPECT_EQ(FormatNumber(highest, QStringLiteral("@n20")), QStringLiteral(" 9223372036854775807"));
    EXPECT_EQ(FormatNumber(lowest, QStringLiteral("@n.2")), QStringLiteral("-92233720368547758.08"));
    // More decimals than a 64-bit number has digits.
    EXPECT_EQ(FormatNumber(1, QStringLiteral("@n.19")), QStringLiteral("0.0000000000000000001"));
    EXPECT_EQ(FormatNumber(lowest, QStringLiteral("@n.19")), QStringLiteral("-0.9223372036854775808"));
    EXPECT_EQ(FormatNumber(highest, QStringLiteral("@n.25")), QStringLiteral("0.0000009223372036854775807"));
    // A width no field can hold is cut to the widest number picture.
    EXPECT_EQ(FormatNumber(7, QStringLiteral("@n999999999")).size(), Picture::kMaxNumberWidth);
    EXPECT_EQ(FormatNumber(7, QStringLiteral("@n099999999999999999999")).size(), Picture::kMaxNumberWidth);
    EXPECT_EQ(Picture::parse(QStringLiteral("@n.99999999999")).decimals, Picture::kMaxNumberWidth);
    // A picture of another kind lays out nothing, whatever width it names.
    EXPECT_EQ(FormatNumber(-7, QStringLiteral("@s999999999")), QStringLiteral("-7"));
    EXPECT_EQ(FormatNumber(7, QStringLiteral("d1451")), QStringLiteral("7"));

    // Times far outside a day still show a time of day.
    const int lowestTime = std::numeric_limits<Time>::min();
    const int highestTime = std::numeric_limits<Time>::max();
    EXPECT_EQ(FormatTimeAs(lowestTime, QStringLiteral("t4")).size(), 8);
    EXPECT_EQ(FormatTimeAs(highestTime, QStringLiteral("t6")).right(2), QStringLiteral("PM"));
    EXPECT_EQ(FormatTimeAs(kOneDay + TimeFromHms(1, 2, 3), QStringLiteral("t4")), QStringLiteral("01:02:03"));
    EXPECT_EQ(FormatTimeAs(-kOneDay + TimeFromHms(1, 2, 3), QStringLiteral("t4")),
              QStringLiteral("01:02:03"));
}

} // namespace
} // namespace kr

namespace kr {
namespace {

TEST(PictureRoundTrip, EveryDatePictureReadsBackWhatItShows) {
    const int reference = 2026; // two-digit years: 1946 to 2045
    for (int n = 1; n <= 18; ++n) {
        const QString picture = QStringLiteral("d%1").arg(n);
        const bool twoDigitYear = n == 1 || n == 5 || n == 7 || n == 9 || n == 11 || n == 13 || n == 15;
        const bool monthOnly = n >= 13 && n <= 16;
        for (Date d = DateFromYmd(1801, 1, 1); d <= DateFromYmd(2099, 12, 31); d += 37) {
            const Ymd ymd = YmdFromDate(d);
            const bool localeTwoDigits =
                (n == 17 || n == 18) && !QLocale::system()
                                             .dateFormat(n == 17 ? QLocale::ShortFormat : QLocale::LongFormat)
                                             .contains(QStringLiteral("yyyy"));
            if ((twoDigitYear || localeTwoDigits) && (ymd.year < 1946 || ymd.year > 2045))
                continue;
            const QString text = FormatDateAs(d, picture);
            Date back = 0;
            ASSERT_TRUE(ParseDate(text, picture, &back, reference))
                << picture.toStdString() << " " << text.toStdString();
            const Date expected = monthOnly ? DateFromYmd(ymd.year, ymd.month, 1) : d;
            ASSERT_EQ(back, expected) << picture.toStdString() << " " << text.toStdString();
        }
    }
}

TEST(PictureRoundTrip, TwoDigitYearsSlideWithTheReferenceYear) {
    Date d = 0;
    ASSERT_TRUE(ParseDate(QStringLiteral("10/31/59"), QStringLiteral("d1"), &d, 2026));
    EXPECT_EQ(d, DateFromYmd(1959, 10, 31));
    ASSERT_TRUE(ParseDate(QStringLiteral("01/02/45"), QStringLiteral("d1"), &d, 2026));
    EXPECT_EQ(d, DateFromYmd(2045, 1, 2));
    ASSERT_TRUE(ParseDate(QStringLiteral("01/02/46"), QStringLiteral("d1"), &d, 2026));
    EXPECT_EQ(d, DateFromYmd(1946, 1, 2));
    ASSERT_TRUE(ParseDate(QStringLiteral("oct 31,1959"), QStringLiteral("@d3"), &d));
    EXPECT_EQ(d, DateFromYmd(1959, 10, 31));
    ASSERT_TRUE(ParseDate(QStringLiteral("October 31, 1959"), QStringLiteral("d4"), &d));
    EXPECT_EQ(d, DateFromYmd(1959, 10, 31));
    ASSERT_TRUE(ParseDate(QString(), QStringLiteral("d6"), &d));
    EXPECT_EQ(d, 0);
    EXPECT_FALSE(ParseDate(QStringLiteral("31/02/2026"), QStringLiteral("d6"), &d));
    EXPECT_FALSE(ParseDate(QStringLiteral("OCT 31"), QStringLiteral("d3"), &d));
    EXPECT_FALSE(ParseDate(QStringLiteral("XYZ 31,1959"), QStringLiteral("d3"), &d));
    // A year of more than four digits is refused rather than wrapped into another day number.
    ASSERT_TRUE(ParseDate(QStringLiteral("9999/12/31"), QStringLiteral("d10"), &d));
    EXPECT_EQ(FormatDateAs(d, QStringLiteral("d10")), QStringLiteral("9999/12/31"));
    EXPECT_FALSE(ParseDate(QStringLiteral("2147483647/01/01"), QStringLiteral("d10"), &d));
    EXPECT_FALSE(ParseDate(QStringLiteral("01/01/10000"), QStringLiteral("d6"), &d));
}

TEST(PictureRoundTrip, EveryTimePictureReadsBackWhatItShows) {
    for (int n = 1; n <= 8; ++n) {
        const QString picture = QStringLiteral("t%1").arg(n);
        for (Time t = 1; t <= kOneDay; t += 100 * 37 + 13) {
            const QString text = FormatTimeAs(t, picture);
            Time back = 0;
            ASSERT_TRUE(ParseTime(text, picture, &back))
                << picture.toStdString() << " " << text.toStdString();
            ASSERT_EQ(FormatTimeAs(back, picture), text) << picture.toStdString();
            const bool seconds = n == 4 || n == 5 || n == 6;
            if (seconds) {
                ASSERT_EQ(back, (t - 1) / 100 * 100 + 1);
            }
        }
    }
    Time t = 0;
    ASSERT_TRUE(ParseTime(QStringLiteral("5:05PM"), QStringLiteral("t3"), &t));
    EXPECT_EQ(t, TimeFromHms(17, 5, 0));
    ASSERT_TRUE(ParseTime(QStringLiteral("12:10 am"), QStringLiteral("t3"), &t));
    EXPECT_EQ(t, TimeFromHms(0, 10, 0));
    EXPECT_FALSE(ParseTime(QStringLiteral("13:10PM"), QStringLiteral("t3"), &t));
    EXPECT_FALSE(ParseTime(QStringLiteral("24:00"), QStringLiteral("t1"), &t));
    ASSERT_TRUE(ParseTime(QString(), QStringLiteral("t3b"), &t));
    EXPECT_EQ(t, 0);
}

} // namespace
} // namespace kr
