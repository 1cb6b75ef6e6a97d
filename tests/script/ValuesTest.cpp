#include "script/Values.h"
#include "support/FakeClock.h"

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class ValuesTest : public ::testing::Test {
protected:
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(14, 5, 9)};
    QString dateFormat = QStringLiteral("d3");
    ValueStore values{clock, [this] { return dateFormat; },
                      [] { return QStringLiteral("Untitled - Notes"); }};
};

TEST_F(ValuesTest, ReservedNamesGiveTheSystemsValues) {
    EXPECT_EQ(values.getValue(QStringLiteral("date")), QStringLiteral("20261208"));
    EXPECT_EQ(values.getValue(QStringLiteral("TODAY")), QStringLiteral("DEC 08,2026"));
    dateFormat = QStringLiteral("d6");
    EXPECT_EQ(values.getValue(QStringLiteral("Today")), QStringLiteral("08/12/2026"));
    EXPECT_EQ(values.getValue(QStringLiteral("TIME")), QStringLiteral("140509"));
    EXPECT_FALSE(values.getValue(QStringLiteral("NOW")).isEmpty());
    EXPECT_EQ(values.getValue(QStringLiteral("FOCUS")), QStringLiteral("Untitled - Notes"));
    // A stored DATE is shadowed.
    values.setValue(QStringLiteral("DATE"), QStringLiteral("nonsense"));
    EXPECT_EQ(values.getValue(QStringLiteral("DATE")), QStringLiteral("20261208"));
}

TEST_F(ValuesTest, NamesIgnoreCaseAndAreCut) {
    values.setValue(QStringLiteral("SaveSize"), QStringLiteral("1234"));
    EXPECT_EQ(values.getValue(QStringLiteral("SAVESIZE")), QStringLiteral("1234"));
    const QString longName = QString(40, QLatin1Char('N'));
    values.setValue(longName, QString(300, QLatin1Char('v')));
    EXPECT_EQ(values.getValue(longName.left(32)).size(), 255);
    EXPECT_EQ(values.getValue(QStringLiteral("never set")), QString());
}

TEST_F(ValuesTest, SubstitutionReplacesKnownNamesOnly) {
    values.setValue(QStringLiteral("WHO"), QStringLiteral("Ann   "));
    EXPECT_EQ(values.substituteValues(QStringLiteral("Hello [who], today is [today].")),
              QStringLiteral("Hello Ann, today is DEC 08,2026."));
    EXPECT_EQ(values.substituteValues(QStringLiteral("Keep [UNKNOWN] and [] as written")),
              QStringLiteral("Keep [UNKNOWN] and [] as written"));
    // No "]" within 32 characters: those 32 characters are the name.
    values.setValue(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"), QStringLiteral("X"));
    EXPECT_EQ(values.substituteValues(QStringLiteral("[ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")),
              QStringLiteral("X6789"));
}

TEST_F(ValuesTest, ExpressionsAfterAnEqualsSignAreWorkedOut) {
    values.setValue(QStringLiteral("N"), QStringLiteral("=2*(3+4)"));
    EXPECT_EQ(values.getValue(QStringLiteral("N")), QStringLiteral("14"));
    values.setValue(QStringLiteral("M"), QStringLiteral("=[N]/4"));
    EXPECT_EQ(values.getValue(QStringLiteral("M")), QStringLiteral("3.5"));
    values.setValue(QStringLiteral("T"), QStringLiteral("='Day ' & [N]"));
    EXPECT_EQ(values.getValue(QStringLiteral("T")), QStringLiteral("Day 14"));
    values.setValue(QStringLiteral("BAD"), QStringLiteral("=2*/3"));
    EXPECT_EQ(values.getValue(QStringLiteral("BAD")), QStringLiteral("=2*/3"));
    values.setValue(QStringLiteral("ZERO"), QStringLiteral("=1/0"));
    EXPECT_EQ(values.getValue(QStringLiteral("ZERO")), QStringLiteral("=1/0"));
    EXPECT_EQ(EvaluateExpression(QStringLiteral("-1.5 + 2")), QStringLiteral("0.5"));
}

TEST_F(ValuesTest, DeeplyNestedExpressionsAreRefusedNotOverflowed) {
    // The longest value nests about 126 deep; that still works out.
    const QString deepest =
        QString(126, QLatin1Char('(')) + QStringLiteral("2") + QString(126, QLatin1Char(')'));
    values.setValue(QStringLiteral("DEEP"), QLatin1Char('=') + deepest);
    EXPECT_EQ(values.getValue(QStringLiteral("DEEP")), QStringLiteral("2"));
    EXPECT_EQ(EvaluateExpression(QString(254, QLatin1Char('-')) + QStringLiteral("3")), QStringLiteral("3"));
    // Far deeper nesting is no expression, and the stack survives it.
    const int depth = 200000;
    EXPECT_EQ(EvaluateExpression(QString(depth, QLatin1Char('(')) + QStringLiteral("1") +
                                 QString(depth, QLatin1Char(')'))),
              std::nullopt);
    EXPECT_EQ(EvaluateExpression(QString(depth, QLatin1Char('-')) + QStringLiteral("1")), std::nullopt);
}

TEST_F(ValuesTest, ComparisonsAreNumericOrTextAsTheValuesAre) {
    // Both empty, not a numeric name: equal texts.
    EXPECT_TRUE(values.testValue(QStringLiteral("NEVER"), QStringLiteral("="), QString()));
    values.setValue(QStringLiteral("COUNT"), QStringLiteral("10"));
    EXPECT_TRUE(values.testValue(QStringLiteral("COUNT"), QStringLiteral(">"), QStringLiteral("9")));
    EXPECT_FALSE(values.testValue(QStringLiteral("COUNT"), QStringLiteral("<"), QStringLiteral("9")));
    values.setValue(QStringLiteral("DAY"), QStringLiteral("MONDAY"));
    EXPECT_TRUE(values.testValue(QStringLiteral("DAY"), QStringLiteral("="), QStringLiteral("MONDAY")));
    EXPECT_FALSE(values.testValue(QStringLiteral("DAY"), QStringLiteral("="), QStringLiteral("Monday")));
    // A numeric name compares numbers even at 0.
    values.setValue(QStringLiteral("FILESIZE"), QStringLiteral("0"));
    EXPECT_FALSE(values.testValue(QStringLiteral("FILESIZE"), QStringLiteral(">"), QStringLiteral("0")));
    EXPECT_TRUE(values.testValue(QStringLiteral("FILESIZE"), QStringLiteral("=>"), QStringLiteral("0")));
    EXPECT_TRUE(ValueStore::isNumericName(QStringLiteral("total#")));
    // A bracketed operand is another value.
    values.setValue(QStringLiteral("FILESIZE"), QStringLiteral("2048"));
    values.setValue(QStringLiteral("SAVESIZE"), QStringLiteral("[FILESIZE]"));
    EXPECT_FALSE(
        values.testValue(QStringLiteral("SAVESIZE"), QStringLiteral("<>"), QStringLiteral("[FILESIZE]")));
    EXPECT_TRUE(
        values.testValue(QStringLiteral("SAVESIZE"), QStringLiteral("<="), QStringLiteral("[FILESIZE]")));
    EXPECT_FALSE(values.testValue(QStringLiteral("SAVESIZE"), QStringLiteral("=="), QStringLiteral("2048")));
}

} // namespace
} // namespace kr::test
