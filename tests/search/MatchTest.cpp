#include "search/Match.h"

#include "platform/DateTime.h"

#include <gtest/gtest.h>

namespace kr {
namespace {

Criterion TextCriterion(int field, int type, const QString& value, const QString& upper = {}) {
    Schedule example;
    Schedule::fieldDecls()[static_cast<std::size_t>(field)].set(&example, value);
    return MakeCriterion(field, type, example, 0, upper);
}

Criterion NumberCriterion(int field, int type, qint64 value, qint64 limit = 0) {
    Schedule example;
    Schedule::fieldDecls()[static_cast<std::size_t>(field)].set(&example, value);
    return MakeCriterion(field, type, example, limit);
}

bool DescriptionMatches(int type, const QString& value, const QString& record, const QString& upper = {}) {
    Schedule r;
    r.description = record;
    return Matches(TextCriterion(Schedule::DESCRIPTION, type, value, upper), r);
}

TEST(MatchString, ComparesInUpperCaseIgnoringTrailingBlanks) {
    EXPECT_TRUE(DescriptionMatches(Equals, QStringLiteral("backup"), QStringLiteral("BackUp   ")));
    EXPECT_FALSE(DescriptionMatches(NotEquals, QStringLiteral("backup "), QStringLiteral("BACKUP")));
    EXPECT_TRUE(DescriptionMatches(MoreThan, QStringLiteral("abc"), QStringLiteral("abd")));
    EXPECT_FALSE(DescriptionMatches(MoreThan, QStringLiteral("abc"), QStringLiteral("ABC")));
    EXPECT_TRUE(DescriptionMatches(MoreOrEqual, QStringLiteral("abc"), QStringLiteral("ABC")));
    EXPECT_TRUE(DescriptionMatches(LessThan, QStringLiteral("abc"), QStringLiteral("ab")));
    EXPECT_TRUE(DescriptionMatches(LessOrEqual, QStringLiteral("abc"), QStringLiteral("abc")));
    // Non-ASCII letters fold the same way on both sides.
    EXPECT_TRUE(DescriptionMatches(Equals, QStringLiteral("éclair"), QStringLiteral("ÉCLAIR")));
}

TEST(MatchString, EqualsDropsTheRecordsLeadingBlanksOnly) {
    EXPECT_TRUE(DescriptionMatches(Equals, QStringLiteral("backup"), QStringLiteral("   backup")));
    EXPECT_FALSE(DescriptionMatches(NotEquals, QStringLiteral("backup"), QStringLiteral("backup")));
    // "Does not equal" keeps them: the texts differ.
    EXPECT_TRUE(DescriptionMatches(NotEquals, QStringLiteral("backup"), QStringLiteral("  backup")));
    EXPECT_FALSE(DescriptionMatches(BeginsWith, QStringLiteral("back"), QStringLiteral(" backup")));
}

TEST(MatchString, RangesBeginsEndsAndContainsUseTheLengthWithoutTrailingBlanks) {
    // Inside "B" .. "D": the first character decides.
    EXPECT_TRUE(DescriptionMatches(InsideRange, QStringLiteral("b   "), QStringLiteral("Backup"),
                                   QStringLiteral("d  ")));
    EXPECT_TRUE(
        DescriptionMatches(InsideRange, QStringLiteral("b"), QStringLiteral("Dzzz"), QStringLiteral("d")));
    EXPECT_FALSE(
        DescriptionMatches(InsideRange, QStringLiteral("b"), QStringLiteral("Eaaa"), QStringLiteral("d")));
    EXPECT_FALSE(
        DescriptionMatches(InsideRange, QStringLiteral("b"), QStringLiteral("Azzz"), QStringLiteral("d")));
    EXPECT_TRUE(
        DescriptionMatches(OutsideRange, QStringLiteral("b"), QStringLiteral("Azzz"), QStringLiteral("d")));
    EXPECT_TRUE(
        DescriptionMatches(OutsideRange, QStringLiteral("b"), QStringLiteral("E"), QStringLiteral("d")));
    EXPECT_FALSE(
        DescriptionMatches(OutsideRange, QStringLiteral("b"), QStringLiteral("Cat"), QStringLiteral("d")));

    EXPECT_TRUE(DescriptionMatches(BeginsWith, QStringLiteral("BACK   "), QStringLiteral("backup")));
    EXPECT_FALSE(DescriptionMatches(BeginsWith, QStringLiteral("BACKUPS"), QStringLiteral("backup")));
    EXPECT_TRUE(DescriptionMatches(EndsWith, QStringLiteral("UP  "), QStringLiteral("backup     ")));
    EXPECT_FALSE(DescriptionMatches(EndsWith, QStringLiteral("UP"), QStringLiteral("back up now")));
    EXPECT_TRUE(DescriptionMatches(Contains, QStringLiteral("CK U"), QStringLiteral("back up now")));
    EXPECT_FALSE(DescriptionMatches(NotContains, QStringLiteral("CK U"), QStringLiteral("back up now")));
    EXPECT_TRUE(DescriptionMatches(NotContains, QStringLiteral("xyz"), QStringLiteral("back up now")));
}

TEST(MatchOption, ComparesTheChoiceByText) {
    Schedule r;
    r.category = QStringLiteral("Work");
    EXPECT_TRUE(Matches(TextCriterion(Schedule::CATEGORY, Equals, QStringLiteral("WORK")), r));
    EXPECT_TRUE(Matches(TextCriterion(Schedule::CATEGORY, NotEquals, QStringLiteral("Home")), r));
}

TEST(MatchText, MessageMemoComparisons) {
    Schedule r;
    r.message = QStringLiteral("Remember the Milk\nand the bread  ");
    auto m = [&](int type, const char* v) {
        return Matches(TextCriterion(Schedule::MESSAGE, type, QString::fromUtf8(v)), r);
    };
    EXPECT_TRUE(m(Equals, "remember the milk\nAND THE BREAD"));
    EXPECT_FALSE(m(NotEquals, "remember the milk\nAND THE BREAD"));
    EXPECT_TRUE(m(BeginsWith, "REMEMBER"));
    EXPECT_TRUE(m(EndsWith, "bread"));
    EXPECT_TRUE(m(Contains, "milk\nand"));
    EXPECT_FALSE(m(Contains, "butter"));
    EXPECT_TRUE(m(NotContains, "butter"));
    r.message = QStringLiteral("  padded");
    EXPECT_FALSE(m(Equals, "padded")); // the memo keeps its leading blanks
}

TEST(MatchNumber, ComparesByValueWithRanges) {
    Schedule r;
    r.every = 15;
    auto m = [&](int type, qint64 v, qint64 limit = 0) {
        return Matches(NumberCriterion(Schedule::EVERY, type, v, limit), r);
    };
    EXPECT_TRUE(m(Equals, 15));
    EXPECT_TRUE(m(NotEquals, 14));
    EXPECT_TRUE(m(MoreThan, 14));
    EXPECT_FALSE(m(MoreThan, 15));
    EXPECT_TRUE(m(LessOrEqual, 15));
    EXPECT_FALSE(m(LessThan, 15));
    EXPECT_TRUE(m(MoreOrEqual, 15));
    EXPECT_TRUE(m(InsideRange, 15, 15));
    EXPECT_TRUE(m(InsideRange, 10, 20));
    EXPECT_FALSE(m(InsideRange, 16, 20));
    EXPECT_TRUE(m(OutsideRange, 16, 20));
    EXPECT_FALSE(m(OutsideRange, 10, 20));
}

TEST(MatchCheck, FlagsEqualOrNot) {
    Schedule r;
    r.disabled = 1;
    EXPECT_TRUE(Matches(NumberCriterion(Schedule::DISABLED, Equals, 1), r));
    EXPECT_FALSE(Matches(NumberCriterion(Schedule::DISABLED, NotEquals, 1), r));
    EXPECT_TRUE(Matches(NumberCriterion(Schedule::SUNDAY, Equals, 0), r));
}

TEST(MatchDate, MonthDayAndYearAcrossMonthEndsAndLeapDays) {
    auto dateMatches = [](int type, Date v, Date r) {
        Schedule record;
        record.date = r;
        return Matches(NumberCriterion(Schedule::DATE, type, v), record);
    };
    const Date leap = DateFromYmd(2024, 2, 29);
    EXPECT_TRUE(dateMatches(SameMonth, leap, DateFromYmd(1999, 2, 1)));
    EXPECT_FALSE(dateMatches(SameMonth, leap, DateFromYmd(2024, 3, 1)));
    EXPECT_TRUE(dateMatches(SameDay, leap, DateFromYmd(2023, 1, 29)));
    EXPECT_FALSE(dateMatches(SameDay, DateFromYmd(2024, 1, 31), DateFromYmd(2024, 3, 1)));
    EXPECT_TRUE(dateMatches(SameYear, DateFromYmd(1999, 6, 1), DateFromYmd(1999, 12, 31)));
    EXPECT_FALSE(dateMatches(SameYear, DateFromYmd(1999, 6, 1), DateFromYmd(2000, 1, 1)));
    EXPECT_TRUE(dateMatches(SameMonthDay, leap, DateFromYmd(2028, 2, 29)));
    EXPECT_FALSE(dateMatches(SameMonthDay, leap, DateFromYmd(2023, 3, 1))); // 2023 has no 29 February
    EXPECT_TRUE(dateMatches(SameYearMonth, DateFromYmd(2024, 2, 1), leap));
    EXPECT_FALSE(dateMatches(SameYearMonth, DateFromYmd(2024, 2, 29), DateFromYmd(2024, 3, 1)));
    EXPECT_TRUE(dateMatches(LessThan, leap, leap - 1));
    EXPECT_TRUE(dateMatches(InsideRange, 0, leap) == false); // upper limit 0: nothing inside
    // No date has no month, day or year: neither a task without one nor a blank example matches.
    for (int type : {SameMonth, SameDay, SameYear, SameMonthDay, SameYearMonth}) {
        EXPECT_FALSE(dateMatches(type, DateFromYmd(1999, 12, 28), 0)) << type;
        EXPECT_FALSE(dateMatches(type, 0, DateFromYmd(1999, 12, 28))) << type;
        EXPECT_FALSE(dateMatches(type, 0, 0)) << type;
    }
}

TEST(MatchPicture, BeginsWithThroughTheDivisorAndEndsWithTheLastDigits) {
    EXPECT_EQ(BeginsWithDivisor(1200), 100);
    EXPECT_EQ(BeginsWithDivisor(1201), 1);
    EXPECT_EQ(BeginsWithDivisor(5000000), 1000000);
    EXPECT_EQ(BeginsWithDivisor(0), 1); // would divide for ever
    EXPECT_EQ(BeginsWithDivisor(-300), 100);

    Criterion c;
    c.field = Schedule::EVERY;
    c.kind = FieldKind::PICTURE;
    c.type = BeginsWith;
    c.number = 1200;
    c.limit = BeginsWithDivisor(1200);
    Schedule r;
    for (qint32 v : {1200, 1250, 1299}) {
        r.every = v;
        EXPECT_TRUE(Matches(c, r)) << v;
    }
    for (qint32 v : {1199, 1300, 120}) {
        r.every = v;
        EXPECT_FALSE(Matches(c, r)) << v;
    }
    c.type = EndsWith;
    c.number = 42;
    r.every = 1042;
    EXPECT_TRUE(Matches(c, r));
    r.every = 1043;
    EXPECT_FALSE(Matches(c, r));
    r.every = 42;
    EXPECT_TRUE(Matches(c, r));
}

TEST(MatchTypes, EachKindOffersItsTypes) {
    EXPECT_EQ(MatchTypesFor(FieldKind::STRING), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(MatchTypesFor(FieldKind::NUMBER), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(MatchTypesFor(FieldKind::DATE),
              (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 13, 14, 15, 16, 17}));
    EXPECT_EQ(MatchTypesFor(FieldKind::PICTURE), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(MatchTypesFor(FieldKind::TEXT), (std::vector<int>{0, 1, 2, 9, 10, 11, 12}));
    EXPECT_EQ(MatchTypesFor(FieldKind::CHECK), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(MatchTypesFor(FieldKind::OPTION), (std::vector<int>{0, 1, 2}));
    // Times are numbers, dates dates.
    EXPECT_EQ(KindOf(Schedule::TIME), FieldKind::NUMBER);
    EXPECT_EQ(KindOf(Schedule::ADVANCEWARNTIME), FieldKind::NUMBER);
    EXPECT_EQ(KindOf(Schedule::ADVANCEWARNDATE), FieldKind::DATE);
    EXPECT_EQ(KindOf(Schedule::TASKTYPE), FieldKind::OPTION);
    EXPECT_EQ(KindOf(Schedule::USERSKIP), FieldKind::CHECK);
    EXPECT_EQ(KindName(FieldKind::PICTURE), QStringLiteral("PICTURE"));
    EXPECT_EQ(MatchIndicator(2), QString(QChar(0x2260)));
    EXPECT_EQ(MatchIndicator(12), QString(QChar(0x2228)));
    EXPECT_EQ(MatchTypeText(17), QStringLiteral("In this year + month"));
}

} // namespace
} // namespace kr
