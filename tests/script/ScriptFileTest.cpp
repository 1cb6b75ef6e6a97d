#include "script/ScriptFile.h"
#include "script/ScriptItems.h"

#include <gtest/gtest.h>

namespace kr {
namespace {

// An item with every field the file carries for its action filled with something.
Scripting Sample(const QString& a) {
    Scripting s;
    s.action = a;
    s.command = QStringLiteral("/usr/bin/gedit, \"quoted\"");
    s.path = QStringLiteral("/home/ann");
    s.keystrokes = QStringLiteral("Hello{Enter}");
    s.ddeApplicationName = QStringLiteral("011");
    s.ddeApplicationTopic = QStringLiteral("Title");
    s.ddeType = QStringLiteral("Copy File");
    s.ddeLinkItem = QStringLiteral("item");
    s.ddeCommand = QStringLiteral("[open]");
    s.focusOnWindow = QStringLiteral("Untitled*");
    s.waitForWindow = QStringLiteral("OK");
    s.windowExistance = QStringLiteral("Window Exists");
    s.windowTitleToCheckFor = QStringLiteral("Notes");
    s.ifTimeElapsed = QStringLiteral("Less Than");
    s.timeElapsed = 3600;
    s.secondsToWait = 10;
    s.emailId = 42;
    return s;
}

TEST(ScriptFile, EveryActionComesBackAsItWent) {
    for (const QString& a : ActionCatalogue()) {
        const auto record = ItemToRecord(Sample(a));
        ASSERT_TRUE(record.has_value()) << a.toStdString();
        const QString line = FormatExchangeLine(*record);
        Scripting back;
        ASSERT_TRUE(RecordToItem(ParseExchangeLine(line), back)) << line.toStdString();
        const auto again = ItemToRecord(back);
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(FormatExchangeLine(*again), line) << a.toStdString();
        EXPECT_EQ(back.action, a);
    }
}

TEST(ScriptFile, AWaitIsWrittenByItsTable) {
    Scripting wait;
    wait.action = QStringLiteral("Wait");
    wait.secondsToWait = 10;
    wait.waitForWindow = QStringLiteral("*Notepad");
    wait.ddeApplicationName = QStringLiteral("Or");
    wait.focusOnWindow = QStringLiteral("Save");
    EXPECT_EQ(FormatExchangeLine(*ItemToRecord(wait)),
              QStringLiteral("\"Wait\",\"10\",\"*Notepad\",\"Or\",\"Save\",\"\""));
    Scripting start = Sample(QStringLiteral("Start Program"));
    Scripting back;
    RecordToItem(*ItemToRecord(start), back);
    EXPECT_EQ(back.ddeApplicationTopic, QString()); // the verb is not in the file
    EXPECT_EQ(back.timeElapsed, 3600);
}

TEST(ScriptFile, LongFieldsAreCutAndQuotesAndCommasSurvive) {
    Scripting keys;
    keys.action = QStringLiteral("Send Keystrokes");
    keys.keystrokes = QString(100, QLatin1Char('x'));
    Scripting back;
    RecordToItem(ParseExchangeLine(FormatExchangeLine(*ItemToRecord(keys))), back);
    EXPECT_EQ(back.keystrokes, QString(80, QLatin1Char('x')));

    const QStringList values = SplitDelimited(QStringLiteral("\"a, \"\"b\"\"\",plain,\"\",last"));
    EXPECT_EQ(values, (QStringList{"a, \"b\"", "plain", "", "last"}));
    EXPECT_EQ(SplitDelimited(QStringLiteral("one")), QStringList{"one"});
    EXPECT_EQ(SplitDelimited(QStringLiteral("a,")), (QStringList{"a", ""}));
}

TEST(ScriptFile, UnknownTypesAndTheOlderDdeName) {
    Scripting odd;
    odd.action = QStringLiteral("Other");
    EXPECT_FALSE(ItemToRecord(odd).has_value());
    Scripting item;
    EXPECT_FALSE(RecordToItem(ParseExchangeLine(QStringLiteral("\"Dance\",\"1\"")), item));
    EXPECT_EQ(item.action, QStringLiteral("Dance"));
    Scripting dde = Sample(QStringLiteral("DDE (Dynamic Data Exchange)"));
    const auto r = ItemToRecord(dde);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->type, QStringLiteral("DDE"));
    EXPECT_EQ(r->fields[4], QStringLiteral("[open]"));
}

} // namespace
} // namespace kr
