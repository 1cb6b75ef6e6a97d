#include "exchange/Csv.h"

#include <gtest/gtest.h>

namespace kr {
namespace {

// Every field of every record, absent fields left out.
std::vector<std::vector<QString>> ReadAll(const QByteArray& bytes) {
    CsvReader reader(bytes);
    std::vector<std::vector<QString>> records;
    while (reader.nextRecord()) {
        auto& r = records.emplace_back();
        for (CsvField f = reader.nextField(); f.present; f = reader.nextField())
            r.push_back(f.value);
    }
    return records;
}

TEST(CsvReader, QuotedFieldsWithDoubledQuotesCommasAndLineEnds) {
    const QByteArray text = "\"say \"\"hi\"\", then go\",plain,\"two\nlines\"\r\n\"\",x\r\n";
    const auto records = ReadAll(text);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], (std::vector<QString>{QStringLiteral("say \"hi\", then go"),
                                                QStringLiteral("plain"), QStringLiteral("two\nlines")}));
    EXPECT_EQ(records[1], (std::vector<QString>{QString(), QStringLiteral("x")}));
}

TEST(CsvReader, PositionMovesTwoPastTheClosingQuote) {
    CsvReader reader("\"a\";b,c\n");
    ASSERT_TRUE(reader.nextRecord());
    CsvField f = reader.nextField();
    EXPECT_TRUE(f.quoted);
    EXPECT_EQ(f.value, QStringLiteral("a"));
    // The character after the quote is taken for the comma.
    f = reader.nextField();
    EXPECT_FALSE(f.quoted);
    EXPECT_EQ(f.value, QStringLiteral("b"));
    EXPECT_EQ(reader.nextField().value, QStringLiteral("c"));
    EXPECT_FALSE(reader.nextField().present);
}

TEST(CsvReader, LineEndsOfEveryKindAndAbsentFields) {
    const auto records = ReadAll("a,b\rc\r\nd,  \ne,");
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0], (std::vector<QString>{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(records[1], (std::vector<QString>{QStringLiteral("c")}));
    // A blank rest of the line is no field.
    EXPECT_EQ(records[2], (std::vector<QString>{QStringLiteral("d")}));
    EXPECT_EQ(records[3], (std::vector<QString>{QStringLiteral("e")}));
}

TEST(CsvReader, UnreadFieldsArePassedOverEvenAcrossLineEnds) {
    CsvReader reader("1,\"x\ny\",3\n2\n");
    ASSERT_TRUE(reader.nextRecord());
    EXPECT_EQ(reader.nextField().value, QStringLiteral("1"));
    ASSERT_TRUE(reader.nextRecord());
    EXPECT_EQ(reader.nextField().value, QStringLiteral("2"));
    EXPECT_FALSE(reader.nextRecord());
}

TEST(CsvReader, UnclosedQuoteEndsAtEndOfFileAndLongValuesAreCut) {
    auto records = ReadAll("a,\"open\nstill open");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][1], QStringLiteral("open\nstill open"));

    const QByteArray longValue(100000, 'x');
    records = ReadAll(longValue + ",\"" + longValue + "\",y\n");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][0].size(), kMaxCsvValue);
    EXPECT_EQ(records[0][1].size(), kMaxCsvValue);
    EXPECT_EQ(records[0][2], QStringLiteral("y"));
}

TEST(CsvReader, Utf8WithByteOrderMarkAndWindows1252) {
    auto records = ReadAll("\xEF\xBB\xBF\"Caf\xC3\xA9\",\xE2\x82\xAC\n");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][0], QStringLiteral("Café"));
    EXPECT_EQ(records[0][1], QStringLiteral("€"));

    // Not UTF-8: the code page of the older installations.
    records = ReadAll("\"Caf\xE9\",\x80 \x93q\x94\n");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][0], QStringLiteral("Café"));
    EXPECT_EQ(records[0][1], QStringLiteral("€ “q”"));
}

TEST(CsvLine, QuotesDoubledHeaderNamesAndCrLf) {
    CsvLine line;
    line.addQuoted(QStringLiteral("a \"b\", c"));
    line.addPlain(QStringLiteral("-5"));
    line.addQuoted(QStringLiteral("ü\nz"));
    EXPECT_EQ(line.bytes(), QByteArray("\"a \"\"b\"\", c\",-5,\"\xC3\xBC\nz\"\r\n"));

    CsvLine header;
    header.addHeader(QStringLiteral("SCH:TaskType"));
    header.addHeader(QStringLiteral("A[1,2]"));
    EXPECT_EQ(header.text(), QStringLiteral("\"SCH:TaskType\",\"A_1_2 \""));

    // What is written reads back.
    CsvReader reader(line.bytes());
    ASSERT_TRUE(reader.nextRecord());
    EXPECT_EQ(reader.nextField().value, QStringLiteral("a \"b\", c"));
    EXPECT_EQ(reader.nextField().value, QStringLiteral("-5"));
    EXPECT_EQ(reader.nextField().value, QStringLiteral("ü\nz"));
}

} // namespace
} // namespace kr
