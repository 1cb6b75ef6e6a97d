#include "StoreFixture.h"
#include "store/Transaction.h"

namespace kr::test {
namespace {

using TableTest = StoreFixture;

template <class R, class F> QStringList Walk(Table<R>& t, int key, F&& field) {
    QStringList out;
    R r;
    t.set(key);
    while (t.next(r) == Err::None)
        out << field(r);
    return out;
}

TEST_F(TableTest, FirstUseCreatesTheDataFileSilently) {
    EXPECT_FALSE(QFileInfo::exists(dataFile()));
    {
        Table<Schedule> s(*store);
        EXPECT_EQ(s.records(), 0);
        EXPECT_EQ(store->useCount(Schedule::decl()), 1);
        Table<Schedule> again(*store);
        EXPECT_EQ(store->useCount(Schedule::decl()), 2);
    }
    EXPECT_EQ(store->useCount(Schedule::decl()), 0);
    EXPECT_TRUE(QFileInfo::exists(dataFile()));
    for (const TableDecl* d : DataFileTables())
        TableAccess t(*store, *d);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TableTest, CategoryNamesAreUniqueWithoutRegardToCase) {
    Table<Categories> c(*store);
    Categories work;
    work.category = QStringLiteral("Work");
    ASSERT_EQ(c.add(work), Err::None);
    Categories shout;
    shout.category = QStringLiteral("WORK");
    EXPECT_TRUE(c.duplicate(Categories::KEYCATEGORY, shout));
    EXPECT_EQ(c.add(shout), Err::DuplicateKey);
    EXPECT_EQ(c.error().number(), 40);
    EXPECT_EQ(c.duplicateKey(shout), Categories::KEYCATEGORY);
    // Trailing blanks do not make a name different either.
    shout.category = QStringLiteral("work   ");
    EXPECT_EQ(c.add(shout), Err::DuplicateKey);
    // Blank names are not in the key, so any number of them may exist.
    Categories blank;
    ASSERT_EQ(c.add(blank), Err::None);
    Categories blank2;
    EXPECT_EQ(c.add(blank2), Err::None);
    EXPECT_EQ(c.records(), 3);
    EXPECT_EQ(Walk(c, Categories::KEYCATEGORY, [](const Categories& r) { return r.category; }),
              QStringList{QStringLiteral("Work")});
}

TEST_F(TableTest, CaseSensitiveKeysOrderTextsApart) {
    Table<Todo> t(*store);
    for (const char* text : {"call", "Call", "apple", "Zebra", "Apple"}) {
        Todo r;
        r.todo = QString::fromLatin1(text);
        r.category = QString::fromLatin1(text).toLower() == QStringLiteral("call") ? QStringLiteral("phone")
                                                                                   : QStringLiteral("Fruit");
        ASSERT_EQ(t.add(r), Err::None);
    }
    const auto text = [](const Todo& r) { return r.todo; };
    EXPECT_EQ(Walk(t, Todo::KEYTODO, text),
              (QStringList{QStringLiteral("Apple"), QStringLiteral("Call"), QStringLiteral("Zebra"),
                           QStringLiteral("apple"), QStringLiteral("call")}));
    // Under the category key (nocase) texts differing only in case are equal and keep the
    // order in which they were added.
    EXPECT_EQ(
        Walk(t, Todo::KEYCATEGORY, [](const Todo& r) { return r.category + QLatin1Char('/') + r.todo; }),
        (QStringList{QStringLiteral("Fruit/apple"), QStringLiteral("Fruit/Apple"),
                     QStringLiteral("Fruit/Zebra"), QStringLiteral("phone/call"),
                     QStringLiteral("phone/Call")}));
    // Get on a case-sensitive key finds only the exact case.
    Todo probe;
    probe.todo = QStringLiteral("CALL");
    EXPECT_EQ(t.get(Todo::KEYTODO, probe), Err::RecordNotFound);
    EXPECT_EQ(t.error().number(), 35);
    probe.todo = QStringLiteral("call");
    ASSERT_EQ(t.get(Todo::KEYTODO, probe), Err::None);
    EXPECT_EQ(probe.category, QStringLiteral("phone"));
}

TEST_F(TableTest, OptKeysLeaveOutBlankRecords) {
    Table<Schedule> s(*store);
    Schedule noMoment = Task(1);
    ASSERT_EQ(s.add(noMoment), Err::None);
    Schedule later = Task(2, {}, 5000, 100);
    ASSERT_EQ(s.add(later), Err::None);
    Schedule disabled = Task(3, {}, 10, 1);
    disabled.disabled = 1;
    ASSERT_EQ(s.add(disabled), Err::None);
    Schedule sooner = Task(4, {}, 5000, 50);
    ASSERT_EQ(s.add(sooner), Err::None);
    Schedule dateOnly = Task(5, {}, 4000, 0);
    ASSERT_EQ(s.add(dateOnly), Err::None);

    const auto id = [](const Schedule& r) { return QString::number(r.id); };
    // Enabled tasks first by date and time; the task with neither date nor time never appears.
    EXPECT_EQ(Walk(s, Schedule::KEYDATEENABLED, id), (QStringList{"5", "4", "2", "3"}));
    EXPECT_EQ(Walk(s, Schedule::KEYID, id), (QStringList{"1", "2", "3", "4", "5"}));
    // A task with no warning moment and no warned flag is not in the advance-warning key.
    EXPECT_TRUE(Walk(s, Schedule::KEYADVANCED, id).isEmpty());
    // Physical order follows the order of adding.
    EXPECT_EQ(Walk(s, -1, id), (QStringList{"1", "2", "3", "4", "5"}));
}

TEST_F(TableTest, EqualKeysKeepTheOrderOfAdding) {
    Table<Schedule> s(*store);
    for (int i = 1; i <= 6; ++i) {
        Schedule t = Task(i, QStringLiteral("same"), 100, 5);
        t.category = i % 2 ? QStringLiteral("b") : QStringLiteral("A");
        ASSERT_EQ(s.add(t), Err::None);
    }
    const auto id = [](const Schedule& r) { return QString::number(r.id); };
    EXPECT_EQ(Walk(s, Schedule::KEYDATE, id), (QStringList{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(Walk(s, Schedule::KEYCATEGORY, id), (QStringList{"2", "4", "6", "1", "3", "5"}));
    // Walking backwards gives exactly the reverse.
    QStringList back;
    Schedule r;
    s.set(Schedule::KEYCATEGORY);
    while (s.previous(r) == Err::None)
        back << id(r);
    EXPECT_EQ(back, (QStringList{"5", "3", "1", "6", "4", "2"}));
}

TEST_F(TableTest, SetFromAKeyValueAndComeBackToAPosition) {
    Table<Holidays> h(*store);
    for (int d : {50, 10, 30, 20, 40}) {
        Holidays r;
        r.holidayDate = d;
        r.holiday = QStringLiteral("H%1").arg(d);
        ASSERT_EQ(h.add(r), Err::None);
    }
    Holidays r;
    r.holidayDate = 25;
    h.set(Holidays::KEYHOLIDAYDATE, r);
    ASSERT_EQ(h.next(r), Err::None);
    EXPECT_EQ(r.holidayDate, 30);
    const Position at30 = h.position(r);
    ASSERT_EQ(h.next(r), Err::None);
    EXPECT_EQ(r.holidayDate, 40);
    ASSERT_EQ(h.next(r), Err::None);
    ASSERT_EQ(h.next(r), Err::NoMoreRecords);
    EXPECT_EQ(h.error().number(), 33);
    EXPECT_EQ(h.next(r), Err::NoMoreRecords);

    // An exact value is included; Previous from a value takes the last at or below it.
    r.holidayDate = 20;
    h.set(Holidays::KEYHOLIDAYDATE, r);
    ASSERT_EQ(h.next(r), Err::None);
    EXPECT_EQ(r.holidayDate, 20);
    r.holidayDate = 35;
    h.set(Holidays::KEYHOLIDAYDATE, r);
    ASSERT_EQ(h.previous(r), Err::None);
    EXPECT_EQ(r.holidayDate, 30);

    h.reset(at30);
    ASSERT_EQ(h.next(r), Err::None);
    EXPECT_EQ(r.holidayDate, 30);
    Holidays again;
    ASSERT_EQ(h.reget(at30, again), Err::None);
    EXPECT_EQ(again.holiday, QStringLiteral("H30"));

    // The same date twice is refused.
    Holidays twice;
    twice.holidayDate = 30;
    twice.holiday = QStringLiteral("Other");
    EXPECT_EQ(h.add(twice), Err::DuplicateKey);
    EXPECT_EQ(h.records(), 5);
}

TEST_F(TableTest, ClipboardDigestIsUniquePerUser) {
    Table<Clipboard> c(*store);
    Clipboard a;
    a.user = QStringLiteral("ann");
    a.clipHashKey = QStringLiteral("ABCDEF");
    a.clipContents = QStringLiteral("hello");
    ASSERT_EQ(c.add(a), Err::None);
    Clipboard again = a;
    again.meta = {};
    EXPECT_EQ(c.add(again), Err::DuplicateKey);
    again.clipHashKey = QStringLiteral("abcdef"); // the digest key ignores case
    EXPECT_EQ(c.add(again), Err::DuplicateKey);
    Clipboard bob = a;
    bob.meta = {};
    bob.user = QStringLiteral("bob");
    EXPECT_EQ(c.add(bob), Err::None);
    EXPECT_EQ(c.records(), 2);
}

TEST_F(TableTest, RecordsRoundTripWithMemosAndWidths) {
    Table<Schedule> s(*store);
    Schedule t = Task(7, QStringLiteral("A description that is longer than forty characters in all"));
    t.message = QString(1200, QLatin1Char('m'));
    t.alarmFile = QStringLiteral("/usr/share/sounds/alarm.wav");
    t.offset = -3;
    t.saturday = 1;
    t.exceptTimeEnd = 8640000;
    ASSERT_EQ(s.add(t), Err::None);
    Schedule back;
    back.id = 7;
    ASSERT_EQ(s.get(Schedule::KEYID, back), Err::None);
    EXPECT_EQ(back.description, QStringLiteral("A description that is longer than forty"));
    EXPECT_EQ(back.message.size(), 1000);
    EXPECT_EQ(back.alarmFile, t.alarmFile);
    EXPECT_EQ(back.offset, -3);
    EXPECT_EQ(back.saturday, 1);
    EXPECT_EQ(back.exceptTimeEnd, 8640000);
    EXPECT_EQ(back.taskType, QStringLiteral("Run Program"));
}

TEST_F(TableTest, PutRewritesAndDeleteRemovesTheLoadedRecord) {
    Table<Schedule> s(*store);
    Schedule t = Task(1, QStringLiteral("first"), 100, 1);
    ASSERT_EQ(s.add(t), Err::None);
    t.description = QStringLiteral("changed");
    t.date = 50;
    ASSERT_EQ(s.put(t), Err::None);
    Schedule r;
    s.set(Schedule::KEYDATE);
    ASSERT_EQ(s.next(r), Err::None);
    EXPECT_EQ(r.description, QStringLiteral("changed"));
    EXPECT_EQ(r.date, 50);
    ASSERT_EQ(s.remove(r), Err::None);
    EXPECT_EQ(s.records(), 0);
    Schedule never;
    EXPECT_EQ(s.put(never), Err::NoMoreRecords);
}

TEST_F(TableTest, WatchedPutFailsWhenAnotherHandleWroteTheRecord) {
    Table<Schedule> a(*store);
    Table<Schedule> b(*store);
    Schedule t = Task(7);
    ASSERT_EQ(a.add(t), Err::None);

    Schedule mine;
    mine.id = 7;
    a.watch();
    ASSERT_EQ(a.get(Schedule::KEYID, mine), Err::None);
    Schedule theirs;
    theirs.id = 7;
    ASSERT_EQ(b.get(Schedule::KEYID, theirs), Err::None);
    theirs.description = QStringLiteral("station A");
    ASSERT_EQ(b.put(theirs), Err::None);

    mine.description = QStringLiteral("station B");
    EXPECT_EQ(a.put(mine), Err::RecordChanged);
    EXPECT_EQ(a.error().number(), 89);
    // Reloaded with change detection armed again, the save goes through.
    a.watch();
    ASSERT_EQ(a.get(Schedule::KEYID, mine), Err::None);
    EXPECT_EQ(mine.description, QStringLiteral("station A"));
    mine.description = QStringLiteral("station B");
    EXPECT_EQ(a.put(mine), Err::None);
    // Without Watch nobody is asked.
    theirs.description = QStringLiteral("last word");
    EXPECT_EQ(b.put(theirs), Err::None);
}

TEST_F(TableTest, TransactionRollsBackEveryTable) {
    Table<Schedule> s(*store);
    Table<Scripting> scr(*store);
    {
        Transaction tx;
        ASSERT_EQ(tx.begin({&s, &scr}), Err::None);
        Schedule t = Task(1);
        ASSERT_EQ(s.add(t), Err::None);
        Scripting item;
        item.id = 1;
        item.sequence = 1;
        ASSERT_EQ(scr.add(item), Err::None);
        Transaction nested;
        EXPECT_EQ(nested.begin({&s}), Err::TransactionActive);
        tx.rollback();
    }
    EXPECT_EQ(s.records(), 0);
    EXPECT_EQ(scr.records(), 0);
    {
        Transaction tx;
        ASSERT_EQ(tx.begin({&s, &scr}), Err::None);
        Schedule t = Task(1);
        ASSERT_EQ(s.add(t), Err::None);
        ASSERT_EQ(tx.commit(), Err::None);
    }
    EXPECT_EQ(s.records(), 1);
}

TEST_F(TableTest, LockEmptyUnlockAndStreamedWrites) {
    Table<Tag> tags(*store);
    ASSERT_EQ(tags.stream(), Err::None);
    for (int i = 1; i <= 100; ++i) {
        Tag t;
        t.tbl = 1;
        t.ptr = i;
        t.val = QString::number(i);
        ASSERT_EQ(tags.add(t), Err::None);
    }
    ASSERT_EQ(tags.flush(), Err::None);
    EXPECT_EQ(tags.records(), 100);
    // Tag values compare as text: "10" comes before "9".
    Tag r;
    r.tbl = 1;
    r.val = QStringLiteral("9");
    tags.set(Tag::VALKEY, r);
    ASSERT_EQ(tags.next(r), Err::None);
    EXPECT_EQ(r.val, QStringLiteral("9"));
    ASSERT_EQ(tags.previous(r), Err::None);
    EXPECT_EQ(r.val, QStringLiteral("89"));

    ASSERT_EQ(tags.lock(1), Err::None);
    ASSERT_EQ(tags.empty(), Err::None);
    ASSERT_EQ(tags.unlock(), Err::None);
    EXPECT_EQ(tags.records(), 0);
}

TEST_F(TableTest, AScanReadAheadReadsWhatAScanReadsAndWhatWasWrittenBetweenItsBatches) {
    Table<Schedule> s(*store);
    {
        Transaction tx;
        ASSERT_EQ(tx.begin({&s}), Err::None);
        // Many equal dates, so that batches end inside a run of equal keys.
        for (qint32 id = 1; id <= 500; ++id) {
            Schedule t = Task(id, QStringLiteral("Task %1").arg(id), 80000 + id % 7, 1 + id % 3);
            ASSERT_EQ(s.add(t), Err::None);
        }
        ASSERT_EQ(tx.commit(), Err::None);
    }
    auto scan = [](Table<Schedule>& t, int key, int n, const std::vector<int>& fields,
                   const std::function<void(int)>& between = {}) {
        std::vector<qint64> rows;
        std::vector<Schedule> batch;
        t.set(key);
        Err e = Err::None;
        int batches = 0;
        while ((e = fields.empty() ? t.nextBatch(batch, n) : t.nextBatch(batch, n, fields)) == Err::None) {
            for (const Schedule& r : batch)
                rows.push_back(r.meta.rowid * 1000 + r.date % 1000);
            if (between)
                between(++batches);
        }
        EXPECT_EQ(e, Err::NoMoreRecords);
        return rows;
    };
    Table<Schedule> plain(*store);
    Table<Schedule> ahead(*store);
    ahead.readAhead();
    // Through keys of numbers, of texts without regard to case, the physical order, and a few fields.
    for (const int key : {static_cast<int>(Schedule::KEYDATE), static_cast<int>(Schedule::KEYID),
                          static_cast<int>(Schedule::KEYTASKNAME), -1}) {
        for (const int n : {1, 37, 100, 500, 600}) {
            EXPECT_EQ(scan(ahead, key, n, {}), scan(plain, key, n, {})) << key << " " << n;
            EXPECT_EQ(scan(ahead, key, n, {Schedule::DESCRIPTION}), scan(plain, key, n, {Schedule::DESCRIPTION}))
                << key << " " << n;
        }
    }
    // Written between two batches, through the same store: the next batch sees it. A task the
    // third batch would have held moves to the end of the key: it is read there, once.
    const qint64 moved = scan(plain, Schedule::KEYDATE, 50, {})[120] / 1000;
    std::vector<qint64> seen = scan(ahead, Schedule::KEYDATE, 50, {}, [&](int batches) {
        if (batches != 2)
            return;
        Table<Schedule> writer(*store);
        Schedule t;
        ASSERT_EQ(writer.fetch(moved, t), Err::None);
        t.date = 90000;
        ASSERT_EQ(writer.put(t), Err::None);
    });
    EXPECT_EQ(seen.size(), 500u);
    EXPECT_EQ(seen.back(), moved * 1000 + 90000 % 1000);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [&](qint64 v) { return v / 1000 == moved; }), 1);
    // Something else read between two batches: the scan goes on where it stood.
    std::vector<qint64> expected = scan(plain, Schedule::KEYDATE, 64, {});
    seen = scan(ahead, Schedule::KEYDATE, 64, {}, [&](int) {
        Table<Schedule> other(*store);
        Schedule t;
        t.id = 7;
        EXPECT_EQ(other.get(Schedule::KEYID, t), Err::None);
    });
    EXPECT_EQ(seen, expected);
}

} // namespace
} // namespace kr::test
