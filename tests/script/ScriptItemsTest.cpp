#include "script/ScriptItems.h"
#include "store/Table.h"
#include "support/FaultyReads.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class ScriptItemsTest : public ::testing::Test {
protected:
    ScriptItemsTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
    }
    // Adds items named by their keystrokes, in order, returning their sequences.
    void addItems(qint32 task, const QStringList& names) {
        for (const QString& n : names) {
            Scripting s;
            ASSERT_TRUE(PrimeScriptItem(*store, task, s));
            s.keystrokes = n;
            Table<Scripting> items(*store);
            ASSERT_EQ(items.put(s), Err::None);
        }
    }
    QStringList order(qint32 task) {
        Table<Scripting> items(*store);
        QStringList out;
        Scripting s;
        s.id = task;
        items.set(Scripting::KEYID, s);
        while (items.next(s) == Err::None && s.id == task)
            out << QStringLiteral("%1:%2").arg(s.sequence).arg(s.keystrokes);
        return out;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    std::unique_ptr<Store> store;
};

TEST_F(ScriptItemsTest, NewItemsTakeTheNextSequenceWithTheirDefaults) {
    Scripting s;
    ASSERT_TRUE(PrimeScriptItem(*store, 4, s));
    EXPECT_EQ(s.sequence, 1);
    EXPECT_EQ(s.id, 4);
    EXPECT_EQ(s.action, QStringLiteral("Send Keystrokes"));
    EXPECT_EQ(s.windowExistance, QStringLiteral("Window Exists"));
    EXPECT_EQ(s.ifTimeElapsed, QStringLiteral("Greater Than"));
    EXPECT_EQ(s.timeElapsed, 86400);
    // After a gap, the highest plus one; another task's items do not count.
    Table<Scripting> items(*store);
    s.sequence = 7;
    ASSERT_EQ(items.put(s), Err::None);
    Scripting other;
    ASSERT_TRUE(PrimeScriptItem(*store, 5, other));
    EXPECT_EQ(other.sequence, 1);
    Scripting next;
    ASSERT_TRUE(PrimeScriptItem(*store, 4, next));
    EXPECT_EQ(next.sequence, 8);
    Scripting first;
    ASSERT_TRUE(PrimeScriptItem(*store, 3, first));
    EXPECT_EQ(first.sequence, 1);
}

TEST_F(ScriptItemsTest, DescriptionsFollowTheAction) {
    Scripting s;
    s.action = QStringLiteral("Wait");
    EXPECT_EQ(DescribeScriptItem(s), QString());
    s.secondsToWait = 10;
    s.ddeApplicationName = QStringLiteral("Or");
    s.waitForWindow = QStringLiteral("*Notepad");
    EXPECT_EQ(DescribeScriptItem(s), QStringLiteral("10 seconds Or *Notepad"));
    s.waitForWindow.clear();
    EXPECT_EQ(DescribeScriptItem(s), QStringLiteral("10 seconds "));

    Scripting close;
    close.action = QStringLiteral("Close Program");
    EXPECT_EQ(DescribeScriptItem(close), QStringLiteral("Window with focus"));
    close.command = QStringLiteral("gedit");
    EXPECT_EQ(DescribeScriptItem(close), QStringLiteral("gedit"));

    Scripting dde;
    dde.action = QStringLiteral("DDE (Dynamic Data Exchange)");
    dde.ddeType = QStringLiteral("Execute");
    dde.ddeApplicationName = QStringLiteral("org.example.App");
    dde.ddeApplicationTopic = QStringLiteral("/topic");
    EXPECT_EQ(DescribeScriptItem(dde), QStringLiteral("Execute org.example.App /topic"));
    dde.action = QStringLiteral("DDE");
    EXPECT_EQ(DescribeScriptItem(dde), QStringLiteral("Execute org.example.App /topic"));

    Scripting file;
    file.action = QStringLiteral("File Actions");
    file.ddeType = QStringLiteral("Copy File");
    file.command = QStringLiteral("/a");
    file.path = QStringLiteral("/b");
    EXPECT_EQ(DescribeScriptItem(file), QStringLiteral("Copy File ( /a , /b )"));

    Scripting ifWindow;
    ifWindow.action = QStringLiteral("If Window...");
    ifWindow.windowTitleToCheckFor = QStringLiteral("Untitled - *");
    ifWindow.windowExistance = QStringLiteral("Window Exists");
    EXPECT_EQ(DescribeScriptItem(ifWindow), QStringLiteral("Untitled - * - Window Exists"));
    ifWindow.focusOnWindow = QStringLiteral("OK");
    EXPECT_EQ(DescribeScriptItem(ifWindow), QStringLiteral("Untitled - */OK - Window Exists"));

    Scripting message;
    message.action = QStringLiteral("Display Message");
    message.ddeApplicationName = QStringLiteral("The text");
    message.ddeApplicationTopic = QStringLiteral("The title");
    EXPECT_EQ(DescribeScriptItem(message), QStringLiteral("The text The title"));

    Scripting value;
    value.action = QStringLiteral("Set Value");
    value.path = QStringLiteral("COUNT");
    value.command = QStringLiteral("=1+2");
    EXPECT_EQ(DescribeScriptItem(value), QStringLiteral("COUNT = =1+2"));

    Scripting elapsed;
    elapsed.action = QStringLiteral("If Time Elapsed...");
    elapsed.timeElapsed = 3600;
    EXPECT_EQ(DescribeScriptItem(elapsed), QStringLiteral("3600 seconds"));

    Scripting other;
    other.action = QStringLiteral("Exit Script");
    EXPECT_EQ(DescribeScriptItem(other), QString());
    Scripting longer;
    longer.action = QStringLiteral("Send Keystrokes");
    longer.keystrokes = QString(200, QLatin1Char('k'));
    EXPECT_EQ(DescribeScriptItem(longer).size(), 128);
}

TEST_F(ScriptItemsTest, AddingAfterTheHighlightedItemRipplesTheRestDown) {
    addItems(1, {"a", "b", "c", "d", "e"});
    addItems(1, {"new"}); // at the end, sequence 6
    ScriptOrdering ordering(*store, 1);
    ASSERT_TRUE(ordering.placeAfter(6, 3));
    EXPECT_EQ(order(1), (QStringList{"1:a", "2:b", "3:c", "4:new", "5:d", "6:e"}));
    // Already in place: nothing moves.
    addItems(1, {"last"});
    ASSERT_TRUE(ordering.placeAfter(7, 6));
    EXPECT_EQ(order(1).last(), QStringLiteral("7:last"));
}

TEST_F(ScriptItemsTest, MovesExchangeSequencesWithinTheTask) {
    addItems(1, {"a", "b", "c", "d"});
    addItems(2, {"other"});
    ScriptOrdering ordering(*store, 1);
    ASSERT_TRUE(ordering.moveToTop(4));
    EXPECT_EQ(order(1), (QStringList{"1:d", "2:a", "3:b", "4:c"}));
    ASSERT_TRUE(ordering.moveUp(1)); // the first stays first
    EXPECT_EQ(order(1), (QStringList{"1:d", "2:a", "3:b", "4:c"}));
    ASSERT_TRUE(ordering.moveDown(2));
    EXPECT_EQ(order(1), (QStringList{"1:d", "2:b", "3:a", "4:c"}));
    ASSERT_TRUE(ordering.moveToBottom(1));
    EXPECT_EQ(order(1), (QStringList{"1:b", "2:a", "3:c", "4:d"}));
    ASSERT_TRUE(ordering.moveDown(4)); // the last stays last
    EXPECT_EQ(order(1), (QStringList{"1:b", "2:a", "3:c", "4:d"}));
    EXPECT_EQ(order(2), QStringList{"1:other"});
}

TEST_F(ScriptItemsTest, AnUnreadableNeighbourStopsTheMoveAndIsReported) {
    // Items wide enough that neighbours sit on different pages of the file.
    for (int i = 0; i < 8; ++i) {
        Scripting s;
        ASSERT_TRUE(PrimeScriptItem(*store, 1, s));
        const QString wide = QStringLiteral("%1").arg(i).repeated(250);
        s.keystrokes = QStringLiteral("item %1").arg(s.sequence);
        s.waitForWindow = s.focusOnWindow = s.windowTitleToCheckFor = s.command = s.path = wide;
        Table<Scripting> items(*store);
        ASSERT_EQ(items.put(s), Err::None);
    }
    const QStringList before = order(1);
    store.reset();

    FaultyReads faults;
    auto reopen = [&] {
        store.reset();
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
    };
    // The pages a cold read of one item needs.
    auto pagesOf = [&](qint32 sequence) {
        reopen();
        faults.record();
        Table<Scripting> items(*store);
        Scripting s;
        s.id = 1;
        s.sequence = sequence;
        EXPECT_EQ(items.get(Scripting::KEYID, s), Err::None);
        return faults.recorded();
    };
    // An item whose upper neighbour lives on a page the item itself does not need.
    qint32 moving = 0;
    std::set<sqlite3_int64> neighbourOnly;
    for (qint32 o = 2; o <= 8 && moving == 0; ++o) {
        const auto own = pagesOf(o);
        for (sqlite3_int64 page : pagesOf(o - 1))
            if (own.count(page) == 0)
                neighbourOnly.insert(page);
        if (!neighbourOnly.empty())
            moving = o;
    }
    ASSERT_NE(moving, 0);

    reopen();
    faults.failPages(neighbourOnly);
    dialogs.shown.clear();
    ScriptOrdering ordering(*store, 1);
    EXPECT_FALSE(ordering.moveUp(moving));
    EXPECT_GT(faults.failedReads(), 0);
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_TRUE(dialogs.texts().front().startsWith(QStringLiteral("Record swap error: ")));
    EXPECT_TRUE(dialogs.texts().front().contains(QStringLiteral("Section = Test Range")));

    // Nothing moved.
    faults.failPages({});
    reopen();
    EXPECT_EQ(order(1), before);
    store.reset();
}

TEST_F(ScriptItemsTest, DeletingClosesTheGap) {
    addItems(1, {"a", "b", "c", "d"});
    {
        Table<Scripting> items(*store);
        Scripting s;
        s.id = 1;
        s.sequence = 2;
        ASSERT_EQ(items.get(Scripting::KEYID, s), Err::None);
        ASSERT_EQ(items.remove(s), Err::None);
    }
    ScriptOrdering ordering(*store, 1);
    ASSERT_TRUE(ordering.closeGap(2));
    EXPECT_EQ(order(1), (QStringList{"1:a", "2:c", "3:d"}));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ScriptItemsTest, StartOptionsPackIntoThreeDigits) {
    const StartOptions o = StartOptions::unpack(QStringLiteral("137"));
    EXPECT_TRUE(o.wait);
    EXPECT_EQ(o.priority, 3);
    EXPECT_EQ(o.windowMode, 7);
    const StartOptions odd = StartOptions::unpack(QStringLiteral("x95"));
    EXPECT_FALSE(odd.wait);
    EXPECT_EQ(odd.priority, 2);
    EXPECT_EQ(odd.windowMode, 1);
    EXPECT_EQ(o.pack(), QStringLiteral("137"));
    EXPECT_EQ(ActionCatalogue().size(), 16);
}

} // namespace
} // namespace kr::test
