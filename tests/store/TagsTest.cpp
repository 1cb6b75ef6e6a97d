#include "store/Tags.h"
#include "StoreFixture.h"
#include "store/sqlite/DataFile.h"
#include "store/sqlite/Sqlite.h"
#include "support/FaultyReads.h"

namespace kr::test {
namespace {

// Records the progress windows; cancels once `cancelAfter` updates have been shown.
struct RecordingProgress final : Progress {
    void doBegin(const QString& title, const QString&) override { titles << title; }
    void doUpdate(int percent) override { percents.push_back(percent); }
    void doSetText(const QString& text) override { texts << text; }
    bool cancelled() const override { return cancelAfter > 0 && int(percents.size()) >= cancelAfter; }
    void end() override {}
    QStringList titles;
    std::vector<int> percents;
    QStringList texts;
    int cancelAfter = 0;
};

class TagsTest : public StoreFixture {
protected:
    void rawTag(qint32 user, qint16 set, qint32 ptr) {
        Table<Tag> t(*store);
        Tag r{user, set, ptr, QString::number(ptr), {}};
        ASSERT_EQ(t.add(r), Err::None);
    }
    RecordingProgress progress;
    Tags tags{*store, {}, &progress};
};

TEST_F(TagsTest, TaggingTwiceKeepsOneTagWithTheSecondValueAndCountsFollow) {
    EXPECT_EQ(tags.countTags(1), 0);
    tags.setTag(1, 5, QStringLiteral("5"));
    tags.setTag(1, 5, QStringLiteral("55"));
    tags.setTag(1, 6, QStringLiteral("6"));
    EXPECT_EQ(tags.countTags(1), 2);
    tags.clrTag(1, 7); // no tag: nothing changes
    EXPECT_EQ(tags.countTags(1), 2);
    tags.clrTag(1, 6);
    EXPECT_EQ(tags.countTags(1), 1);
    EXPECT_TRUE(progress.titles.isEmpty()); // every count came from memory
    EXPECT_TRUE(tags.isTagged(1, 5));
    EXPECT_FALSE(tags.isTagged(1, 6));
    EXPECT_FALSE(tags.isTagged(0, 5));
    tags.setTag(0, 5, QStringLiteral("5"));
    EXPECT_FALSE(tags.isTagged(0, 5));

    Table<Tag> t(*store);
    Tag r{0, 1, 5, {}, {}};
    ASSERT_EQ(t.get(Tag::PTRKEY, r), Err::None);
    EXPECT_EQ(r.val, QStringLiteral("55"));
    EXPECT_EQ(t.records(), 1);
    EXPECT_TRUE(QFile::exists(dir.file(kTagFileName)));
}

TEST_F(TagsTest, TheCountIsRememberedUntilAnotherSetChanges) {
    for (int i = 1; i <= 250; ++i)
        tags.setTag(2, i, QString::number(i));
    rawTag(0, 3, 1);
    tags.setTag(1, 1, QStringLiteral("1")); // forgets set 2
    EXPECT_EQ(tags.countTags(2), 250);
    EXPECT_EQ(progress.titles, QStringList{QStringLiteral("Counting Tags")});
    EXPECT_EQ(progress.percents, (std::vector<int>{40, 79, 99}));
    // The bar shows the share of the tag file, the text the count so far.
    EXPECT_EQ(progress.texts, (QStringList{"101", "201", "250"}));
    // Another window's Tags sees the same remembered count and keeps it up to date.
    Tags other(*store, {});
    other.clrTag(2, 1);
    rawTag(0, 2, 999); // written past the tag routines: not seen until the count is forgotten
    EXPECT_EQ(tags.countTags(2), 249);
    other.clrTag(3, 1);
    EXPECT_EQ(tags.countTags(2), 250);
    EXPECT_EQ(progress.titles.size(), 2);
}

TEST_F(TagsTest, SetsAreVisitedInTextOrderPerUser) {
    Tags alice(*store, QStringLiteral("alice"));
    for (int id : {9, 10, 2, 100}) {
        tags.setTag(1, id, QString::number(id));
        alice.setTag(1, id + 1, QString::number(id + 1));
    }
    tags.setTag(2, 1, QStringLiteral("1"));
    EXPECT_EQ(TagUser(QStringLiteral(" ALICE")), alice.user());
    EXPECT_NE(TagUser(QStringLiteral("bob")), alice.user());
    EXPECT_EQ(tags.user(), 0);
    EXPECT_EQ(tags.listTags(1), (std::vector<qint32>{10, 100, 2, 9}));
    EXPECT_EQ(alice.listTags(1), (std::vector<qint32>{10, 101, 11, 3}));
    EXPECT_EQ(tags.nextTag(1), 0); // no walk begun
    EXPECT_EQ(tags.firstTag(1), 10);
    EXPECT_EQ(tags.nextTag(2), 0);
    EXPECT_EQ(tags.nextTag(1), 100);
    tags.clrTag(1, 100); // the walk goes on past a tag removed under it
    EXPECT_EQ(tags.nextTag(1), 2);
    EXPECT_EQ(tags.nextTag(1), 9);
    EXPECT_EQ(tags.nextTag(1), 0);
    EXPECT_EQ(tags.nextTag(1), 0);

    resetStore();
    Tags reopened(*store, QStringLiteral("Alice"));
    EXPECT_EQ(reopened.listTags(1), (std::vector<qint32>{10, 101, 11, 3}));
    EXPECT_EQ(store->useCount(Tag::decl()), 0);
}

TEST_F(TagsTest, NewTagEmptiesTheFileWhenItHoldsOnlyTheSet) {
    for (int i = 1; i <= 5; ++i)
        tags.setTag(1, i, QString::number(i));
    tags.newTag(1);
    Table<Tag> t(*store);
    EXPECT_EQ(t.records(), 0);
    EXPECT_EQ(tags.firstTag(1), 0);
    EXPECT_EQ(tags.countTags(1), 0);
    EXPECT_TRUE(progress.titles.isEmpty());
}

TEST_F(TagsTest, NewTagClearsOneSetAmongOthersAndCancellingKeepsTheRestCounted) {
    for (int i = 1; i <= 25; ++i)
        tags.setTag(1, i, QString::number(i));
    rawTag(0, 2, 7);
    rawTag(TagUser(QStringLiteral("bob")), 1, 7);
    progress.cancelAfter = 3; // the count, then two runs of ten deletes
    tags.newTag(1);
    EXPECT_EQ(progress.titles,
              (QStringList{QStringLiteral("Counting Tags"), QStringLiteral("Clearing Tags")}));
    EXPECT_EQ(tags.countTags(1), 5);
    EXPECT_EQ(tags.listTags(1).size(), 5u);
    // The count's text, then the share deleted in per cent.
    EXPECT_EQ(progress.texts, (QStringList{"25", "40%", "80%"}));

    progress.cancelAfter = 0;
    progress.percents.clear();
    progress.texts.clear();
    tags.newTag(1);
    EXPECT_EQ(progress.percents, (std::vector<int>{100}));
    EXPECT_EQ(progress.texts, QStringList{"100%"});
    EXPECT_EQ(tags.firstTag(1), 0);
    EXPECT_EQ(tags.countTags(1), 0);
    Table<Tag> t(*store);
    EXPECT_EQ(t.records(), 2);
}

TEST_F(TagsTest, FailedWritesEndTheProgramNamingTheOperation) {
    tags.setTag(1, 1, QStringLiteral("1"));
    Table<Tag> held(*store);
    held.send(QStringLiteral("LockWait=50"));
    sql::SqliteConnection other;
    ASSERT_EQ(other.open(dir.file(kTagFileName), false, {}), 0);
    ASSERT_EQ(other.execCode(QStringLiteral("BEGIN IMMEDIATE")), 0);
    auto endText = [](auto&& operation) {
        try {
            operation();
        } catch (const ProgramEnded& e) {
            return e.text;
        }
        return QString();
    };
    const QString locked = QStringLiteral("Error #32 - File Is Already Locked (%1)");
    EXPECT_EQ(endText([&] { tags.setTag(1, 2, QStringLiteral("2")); }),
              locked.arg(QStringLiteral("SetTag_/ADD")));
    EXPECT_EQ(endText([&] { tags.setTag(1, 1, QStringLiteral("x")); }),
              locked.arg(QStringLiteral("SetTag_/PUT")));
    EXPECT_EQ(endText([&] { tags.clrTag(1, 1); }), locked.arg(QStringLiteral("ClrTag_/DELETE")));
    EXPECT_EQ(endText([&] { tags.newTag(1); }), locked.arg(QStringLiteral("NewTag_/SlowButSure/DELETE")));
    other.execCode(QStringLiteral("ROLLBACK"));
    EXPECT_EQ(tags.listTags(1), std::vector<qint32>{1});
}

// Tags read from a file whose pages cannot all be read: every read that fails is said as
// the read error it is, and nothing is taken for an empty set or the set's end.
class TagReadErrors : public StoreFixture {
protected:
    void reopen() {
        store.reset();
        resetStore();
    }
    // The pages of the tag file that an operation reads beyond opening the table.
    template <class F> std::set<sqlite3_int64> pagesOf(F&& operation) {
        reopen();
        faults.record();
        { Table<Tag> opened(*store); }
        const auto opening = faults.recorded();
        reopen();
        faults.record();
        operation();
        std::set<sqlite3_int64> pages;
        for (sqlite3_int64 p : faults.recorded())
            if (opening.count(p) == 0)
                pages.insert(p);
        return pages;
    }
    FaultyReads faults;
};

TEST_F(TagReadErrors, ClrIsTaggedTheWalkAndTheCountStopAtTheErrorAndSayIt) {
    {
        Tags tags(*store, {});
        for (int i = 1; i <= 3; ++i)
            tags.setTag(1, i, QString::number(i));
    }
    const auto pages = pagesOf([&] { EXPECT_TRUE(Tags(*store, {}).isTagged(1, 2)); });
    ASSERT_FALSE(pages.empty());

    reopen();
    Tags walk(*store, {});
    ASSERT_EQ(walk.firstTag(1), 1);
    faults.failPages(pages);
    EXPECT_EQ(walk.nextTag(1), 0);
    EXPECT_EQ(walk.error().code, Err::StorageError);

    Tags tags(*store, {});
    EXPECT_FALSE(tags.isTagged(1, 2));
    EXPECT_EQ(tags.error().code, Err::StorageError);
    tags.clrTag(1, 2);
    EXPECT_EQ(tags.error().code, Err::StorageError);
    EXPECT_EQ(tags.firstTag(1), 0);
    EXPECT_EQ(tags.error().code, Err::StorageError);
    EXPECT_TRUE(tags.listTags(1).empty());
    EXPECT_EQ(tags.error().code, Err::StorageError);
    tags.setTag(1, 9, QStringLiteral("9")); // not known whether it has a tag: nothing written
    EXPECT_EQ(tags.error().code, Err::StorageError);
    EXPECT_EQ(tags.countTags(1), 0);
    EXPECT_EQ(tags.error().code, Err::StorageError);
    tags.newTag(1);
    EXPECT_EQ(tags.error().code, Err::StorageError);
    EXPECT_GT(faults.failedReads(), 0);
    EXPECT_TRUE(dialogs.shown.empty());

    // Read again whole, the set is as it was, and the count was not taken from the failure.
    faults.failPages({});
    reopen();
    Tags again(*store, {});
    EXPECT_EQ(again.listTags(1), (std::vector<qint32>{1, 2, 3}));
    EXPECT_TRUE(again.error().ok());
    EXPECT_EQ(again.countTags(1), 3);
    EXPECT_TRUE(again.isTagged(1, 2));
    EXPECT_TRUE(again.error().ok());
    store.reset();
}

TEST_F(TagsTest, ARunOfTagWritesThatCannotBeStoredLeavesTheCountAsStored) {
    tags.setTag(1, 1, QStringLiteral("1"));
    EXPECT_EQ(tags.countTags(1), 1);
    ASSERT_EQ(tags.beginWrites(), Err::None);
    for (int i = 2; i <= 4; ++i)
        tags.setTag(1, i, QString::number(i));
    tags.clrTag(1, 1);
    // Not stored yet: the remembered count waits for the run.
    EXPECT_EQ(tags.countTags(1), 1);

    // Another station reads the tag file and keeps reading, so the run cannot be stored.
    Table<Tag> held(*store);
    held.send(QStringLiteral("LockWait=50"));
    sql::SqliteConnection reader;
    ASSERT_EQ(reader.open(dir.file(kTagFileName), false, {}), 0);
    ASSERT_EQ(reader.execCode(QStringLiteral("BEGIN; SELECT count(*) FROM Tag")), 0);
    EXPECT_EQ(tags.endWrites(), Err::IsLocked);
    EXPECT_EQ(tags.error().code, Err::IsLocked);
    EXPECT_FALSE(tags.writing());
    reader.execCode(QStringLiteral("COMMIT"));
    EXPECT_EQ(tags.listTags(1), std::vector<qint32>{1});
    EXPECT_EQ(tags.countTags(1), 1);

    // A run that is stored counts what it wrote.
    ASSERT_EQ(tags.beginWrites(), Err::None);
    for (int i = 2; i <= 4; ++i)
        tags.setTag(1, i, QString::number(i));
    tags.clrTag(1, 1);
    ASSERT_EQ(tags.endWrites(), Err::None);
    progress.titles.clear();
    EXPECT_EQ(tags.countTags(1), 3);
    EXPECT_TRUE(progress.titles.isEmpty());
}

} // namespace
} // namespace kr::test
