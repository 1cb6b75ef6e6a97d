#include "clipboard/PollClipboard.h"
#include "support/FakeClipboard.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class PollClipboardTest : public ::testing::Test {
protected:
    PollClipboardTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        poll = std::make_unique<ClipboardPoll>(
            ClipboardPollContext{*store, settings, clock, clipboard, [this] { ++changes; }});
    }
    // Offers the text and runs the poll until it checks once more.
    void capture(const QString& text, bool secret = false) {
        clipboard.offer(text, secret);
        for (int i = 0; i < 3 || poll->counter() != 1; ++i) {
            poll->poll();
            if (i > 5)
                break;
        }
        clock.advance(100);
    }
    std::vector<Clipboard> entries(int key = Clipboard::KEYCLIPDATE) {
        Table<Clipboard> t(*store);
        std::vector<Clipboard> out;
        Clipboard r{};
        t.set(key);
        while (t.next(r) == Err::None)
            out.push_back(r);
        return out;
    }
    QStringList texts() {
        QStringList out;
        for (const Clipboard& r : entries())
            out << r.clipContents;
        return out;
    }
    void add(const QString& user, const QString& text, bool keep) {
        Table<Clipboard> t(*store);
        Clipboard r{};
        r.user = user;
        r.clipContents = text;
        r.clipHashKey = ClipboardDigest(text);
        r.clipKeep = keep ? 1 : 0;
        r.clipDate = clock.today();
        r.clipTime = clock.now();
        clock.advance(100);
        ASSERT_EQ(t.add(r), Err::None);
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    std::unique_ptr<Store> store;
    Settings settings;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 0, 0)};
    FakeClipboard clipboard;
    std::unique_ptr<ClipboardPoll> poll;
    int changes = 0;
};

TEST_F(PollClipboardTest, ChecksOnTheFourthCallThenEveryThird) {
    clipboard.offer(QStringLiteral("first text"));
    for (int i = 0; i < 3; ++i)
        poll->poll();
    EXPECT_EQ(clipboard.reads, 0);
    EXPECT_TRUE(texts().isEmpty());
    poll->poll();
    EXPECT_EQ(clipboard.reads, 1);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("first text")});
    EXPECT_EQ(changes, 1);
    clipboard.offer(QStringLiteral("second text"));
    poll->poll();
    poll->poll();
    EXPECT_EQ(texts().size(), 1);
    poll->poll();
    EXPECT_EQ(texts().size(), 2);
    const Clipboard r = entries().front();
    EXPECT_EQ(r.clipDate, clock.today());
    EXPECT_EQ(r.clipTime, clock.now());
    EXPECT_EQ(r.clipHashKey, QStringLiteral("FIRSTTEXT"));
    EXPECT_EQ(r.clipKeep, 0);
    // Nothing new: no write and no change event.
    poll->poll();
    poll->poll();
    poll->poll();
    EXPECT_EQ(changes, 2);
}

TEST_F(PollClipboardTest, DigestDecidesWhatIsNew) {
    EXPECT_EQ(ClipboardDigest(QStringLiteral("Hello, World 2!")), QStringLiteral("HELLOWORLD"));
    EXPECT_EQ(ClipboardDigest(QStringLiteral("caf\u00e9 \u00df x")), QStringLiteral("CAFX"));
    EXPECT_EQ(ClipboardDigest(QString(50, QLatin1Char('a'))), QString(40, QLatin1Char('A')));

    const QString forty = QStringLiteral("abcdefghijklmnopqrstuvwxyzabcdefghijklmn");
    capture(forty + QStringLiteral(" 1 and more"));
    capture(QStringLiteral("  ") + forty.toUpper() + QStringLiteral(" 2, other words"));
    capture(QStringLiteral("12345"));
    capture(QStringLiteral("6789 !"));
    capture(QStringLiteral("\tTabbed text"));
    capture(QStringLiteral("\nline"));
    capture(QStringLiteral("     "));
    capture(QString());
    EXPECT_EQ(texts(), (QStringList{forty + QStringLiteral(" 1 and more"), QStringLiteral("12345")}));
    EXPECT_FALSE(ClipboardTextWorthKeeping(QStringLiteral("   \tx")));
    EXPECT_TRUE(ClipboardTextWorthKeeping(QStringLiteral("   !")));
}

TEST_F(PollClipboardTest, LongTextIsCutAndNotStoredTwice) {
    QString text;
    for (int i = 0; i < 5000; ++i)
        text += QChar(u'a' + i % 26);
    capture(text);
    ASSERT_EQ(entries().size(), 1u);
    EXPECT_EQ(entries().front().clipContents, text.left(4096));
    EXPECT_EQ(poll->lastSeen(), text.left(4096));
    // Another text between the two, so that the second copy is not merely the last seen one.
    capture(QStringLiteral("zz top"));
    capture(text);
    EXPECT_EQ(entries().size(), 2u);
}

TEST_F(PollClipboardTest, SecretsAreNeverKept) {
    capture(QStringLiteral("hunter two password"), true);
    EXPECT_TRUE(texts().isEmpty());
    EXPECT_TRUE(poll->lastSeen().isEmpty());
    EXPECT_EQ(changes, 0);
    capture(QStringLiteral("plain words"));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("plain words")});
}

TEST_F(PollClipboardTest, TrimmingSparesKeptAndCurrentEntries) {
    settings.maxClipboardEntries = 3;
    add({}, QStringLiteral("kept one"), true);
    add({}, QStringLiteral("kept two"), true);
    add({}, QStringLiteral("kept three"), true);
    capture(QStringLiteral("fourth"));
    EXPECT_EQ(entries().size(), 4u);

    // The oldest ordinary entries go first; the kept ones stay.
    capture(QStringLiteral("fifth"));
    EXPECT_EQ(entries().size(), 4u);
    EXPECT_FALSE(texts().contains(QStringLiteral("fourth")));
    EXPECT_TRUE(texts().contains(QStringLiteral("fifth")));
}

TEST_F(PollClipboardTest, LoweredLimitRemovesSeveralAtOnce) {
    for (const char* t : {"one", "two", "three", "four", "five"})
        add({}, QString::fromLatin1(t), false);
    add({}, QStringLiteral("kept"), true);
    settings.maxClipboardEntries = 3;
    capture(QStringLiteral("six"));
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("five"), QStringLiteral("six"), QStringLiteral("kept")}));
    // No limit: nothing goes.
    settings.maxClipboardEntries = 0;
    capture(QStringLiteral("seven"));
    EXPECT_EQ(texts().size(), 4);
}

TEST_F(PollClipboardTest, EntryOfTheCurrentTextSurvivesTrimming) {
    settings.maxClipboardEntries = 2;
    // The text copied again after others: its digest is known, so nothing is added, and its
    // entry, although the oldest, is spared.
    add({}, QStringLiteral("current"), false);
    add({}, QStringLiteral("old one"), false);
    add({}, QStringLiteral("old two"), false);
    capture(QStringLiteral("current"));
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("current"), QStringLiteral("old two")}));
    EXPECT_EQ(changes, 1);
}

TEST_F(PollClipboardTest, OtherUsersEntriesAreLeftAlone) {
    settings.multiUser = true;
    settings.userId = QStringLiteral("bob");
    settings.maxClipboardEntries = 2;
    add(QStringLiteral("alice"), QStringLiteral("alice one"), false);
    add(QStringLiteral("alice"), QStringLiteral("alice two"), false);
    add(QStringLiteral("alice"), QStringLiteral("alice three"), false);
    capture(QStringLiteral("bob one"));
    capture(QStringLiteral("bob two"));
    capture(QStringLiteral("bob three"));
    // The same text from another user is stored again.
    capture(QStringLiteral("alice one"));
    QStringList alice, bob;
    for (const Clipboard& r : entries())
        (r.user.trimmed() == QStringLiteral("alice") ? alice : bob) << r.clipContents;
    EXPECT_EQ(alice.size(), 3);
    EXPECT_EQ(bob, (QStringList{QStringLiteral("bob three"), QStringLiteral("alice one")}));
}

TEST_F(PollClipboardTest, DeletedEntryDoesNotComeBack) {
    capture(QStringLiteral("some text"));
    {
        Table<Clipboard> t(*store);
        Clipboard r{};
        t.set(Clipboard::KEYCLIPDATE);
        ASSERT_EQ(t.next(r), Err::None);
        ASSERT_EQ(t.remove(r), Err::None);
    }
    for (int i = 0; i < 9; ++i)
        poll->poll();
    EXPECT_TRUE(texts().isEmpty());
}

TEST_F(PollClipboardTest, ForgetsOldOrdinaryEntriesOnceADay) {
    settings.forgetClipboardDays = 30;
    const Date today = clock.today();
    clock.set(today - 40, TimeFromHms(8, 0, 0));
    add({}, QStringLiteral("old ordinary"), false);
    add({}, QStringLiteral("old kept"), true);
    add(QStringLiteral("someone"), QStringLiteral("old other user"), false);
    clock.set(today - 30, TimeFromHms(8, 0, 0));
    add({}, QStringLiteral("thirty days"), false);
    clock.set(today, TimeFromHms(9, 0, 0));
    capture(QStringLiteral("new text"));
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("thirty days"), QStringLiteral("new text"),
                                    QStringLiteral("old kept"), QStringLiteral("old other user")}));
    // Not again the same day.
    clock.set(today - 40, TimeFromHms(8, 0, 0));
    add({}, QStringLiteral("backdated"), false);
    clock.set(today, TimeFromHms(10, 0, 0));
    capture(QStringLiteral("later text"));
    EXPECT_TRUE(texts().contains(QStringLiteral("backdated")));
    clock.set(today + 1, TimeFromHms(10, 0, 0));
    capture(QStringLiteral("next day"));
    EXPECT_FALSE(texts().contains(QStringLiteral("backdated")));
}

// The poll's cost per call is measured by the benchmark; here only that a new text among many
// stored entries is handled without walking them all for ever.
TEST_F(PollClipboardTest, ManyEntriesStayWithinTheLimit) {
    settings.maxClipboardEntries = 50;
    for (int i = 0; i < 60; ++i)
        capture(QStringLiteral("entry ") + QString(QChar(u'a' + i % 26)) + QString(QChar(u'a' + i / 26)));
    EXPECT_EQ(entries().size(), 50u);
}

} // namespace
} // namespace kr::test
