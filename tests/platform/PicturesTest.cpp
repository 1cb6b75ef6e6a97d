#include "platform/Pictures.h"

#include <gtest/gtest.h>

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
}

} // namespace
} // namespace kr
