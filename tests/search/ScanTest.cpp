#include "search/Scan.h"

#include "store/StoreFixture.h"
#include "store/Transaction.h"
#include "store/sqlite/DataFile.h"
#include "store/sqlite/Sqlite.h"
#include "support/FaultyReads.h"

#include <algorithm>
#include <random>

namespace kr::test {
namespace {

class ScanTest : public StoreFixture {
protected:
    void addAll(std::vector<Schedule>& records) {
        Table<Schedule> tasks(*store);
        Transaction tx;
        ASSERT_EQ(tx.begin({&tasks}), Err::None);
        for (Schedule& r : records)
            ASSERT_EQ(tasks.add(r), Err::None) << r.id;
        ASSERT_EQ(tx.commit(), Err::None);
    }

    std::vector<Schedule> everything() {
        Table<Schedule> tasks(*store);
        std::vector<Schedule> all;
        std::vector<Schedule> batch;
        EXPECT_EQ(tasks.set(-1), Err::None);
        while (tasks.nextBatch(batch, 500) == Err::None)
            all.insert(all.end(), batch.begin(), batch.end());
        return all;
    }

    // Every match in the order the scan finds them, through edit mode's "find next".
    std::vector<qint32> editMatches(const std::vector<Criterion>& criteria, qint64* examined = nullptr) {
        ScheduleScan scan(*store, criteria, SearchMode::Edit, tags);
        std::vector<qint32> ids;
        for (;;) {
            const ScheduleScan::Result r = scan.step();
            if (r == ScheduleScan::Result::Match)
                ids.push_back(scan.match().id);
            else if (r == ScheduleScan::Result::Done)
                break;
            else if (r == ScheduleScan::Result::Failed) {
                ADD_FAILURE() << static_cast<int>(scan.error().code);
                break;
            }
        }
        if (examined != nullptr)
            *examined = scan.examined();
        return ids;
    }

    qint64 run(const std::vector<Criterion>& criteria, SearchMode mode) {
        ScheduleScan scan(*store, criteria, mode, tags);
        ScheduleScan::Result r;
        while ((r = scan.step()) == ScheduleScan::Result::Working) {
        }
        EXPECT_EQ(r, ScheduleScan::Result::Done);
        return scan.matched();
    }

    std::vector<qint32> selected() {
        std::vector<qint32> ids = tags.listTags(kSelectedTasks);
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    Tags tags{*store, {}};
};

Criterion On(int field, int type, const Schedule& example, qint64 limit = 0, const QString& upper = {}) {
    return MakeCriterion(field, type, example, limit, upper);
}

TEST_F(ScanTest, BeginsWithPositionsAtThePrefixAndStopsAfterIt) {
    std::vector<Schedule> records;
    const char* names[] = {"Alpha", "Archive", "backup", "BACKUP disk", "Backyard", "Bank", "Zeta", "back"};
    for (int i = 0; i < 8; ++i)
        records.push_back(Task(i + 1, QString::fromLatin1(names[i])));
    addAll(records);
    Schedule example;
    example.description = QStringLiteral("BACK");
    const std::vector<Criterion> criteria{On(Schedule::DESCRIPTION, BeginsWith, example)};
    const ScanPlan plan = PlanScan(criteria, SearchMode::Edit);
    EXPECT_EQ(plan.key, Schedule::KEYTASKNAME);
    EXPECT_TRUE(plan.earlyEnd);
    EXPECT_FALSE(plan.leftOut);
    qint64 examined = 0;
    const std::vector<qint32> ids = editMatches(criteria, &examined);
    EXPECT_EQ(ids, (std::vector<qint32>{8, 3, 4, 5}));
    EXPECT_EQ(examined, 5); // the four matches and "Bank"
}

TEST_F(ScanTest, InThisYearStartsOnTheFirstOfJanuaryAndStopsAtTheNextYear) {
    std::vector<Schedule> records;
    int id = 0;
    for (int year : {1997, 1998, 1999, 2000, 2001})
        for (int month : {1, 6, 12})
            records.push_back(Task(++id, {}, DateFromYmd(year, month, month == 12 ? 31 : 1), 100));
    addAll(records);
    Schedule example;
    example.date = DateFromYmd(1999, 7, 4);
    const std::vector<Criterion> criteria{On(Schedule::DATE, SameYear, example)};
    EXPECT_EQ(PlanScan(criteria, SearchMode::Select).start.date, DateFromYmd(1999, 1, 1));
    qint64 examined = 0;
    EXPECT_EQ(editMatches(criteria, &examined), (std::vector<qint32>{7, 8, 9}));
    EXPECT_EQ(examined, 4); // three of 1999, the first of 2000
}

TEST_F(ScanTest, KeyedScansAlsoFindTheRecordsTheKeyLeavesOut) {
    std::vector<Schedule> records{Task(1, {}, DateFromYmd(2020, 1, 1), 100), Task(2, {}, 0, 0),
                                  Task(3, {}, 0, 500)};
    records[1].description.clear(); // no description and no category: outside the name key too
    addAll(records);
    Schedule example;
    example.date = DateFromYmd(2021, 1, 1);
    const std::vector<Criterion> before{On(Schedule::DATE, LessThan, example)};
    EXPECT_TRUE(PlanScan(before, SearchMode::Select).leftOut);
    EXPECT_EQ(editMatches(before), (std::vector<qint32>{2, 3, 1}));

    Schedule named;
    named.description = QStringLiteral("Task 1");
    const std::vector<Criterion> notBigger{On(Schedule::DESCRIPTION, LessOrEqual, named)};
    EXPECT_EQ(editMatches(notBigger), (std::vector<qint32>{2, 1}));
}

TEST_F(ScanTest, EqualsFindsDescriptionsWithLeadingBlanks) {
    std::vector<Schedule> records{Task(1, QStringLiteral("  backup")), Task(2, QStringLiteral("backup")),
                                  Task(3, QStringLiteral("Aaa")), Task(4, QStringLiteral(" x"))};
    addAll(records);
    Schedule example;
    example.description = QStringLiteral("Backup");
    EXPECT_EQ(editMatches({On(Schedule::DESCRIPTION, Equals, example)}), (std::vector<qint32>{1, 2}));
}

TEST_F(ScanTest, SelectThenUnselectLeavesTheSetEmpty) {
    std::vector<Schedule> records;
    for (int i = 1; i <= 250; ++i) {
        records.push_back(Task(i, {}, DateFromYmd(2020, 1, 1) + i));
        records.back().every = i % 7;
    }
    addAll(records);
    Schedule example;
    example.every = 3;
    const std::vector<Criterion> criteria{On(Schedule::EVERY, Equals, example)};
    EXPECT_EQ(PlanScan(criteria, SearchMode::Unselect).source, ScanPlan::Source::Tags);
    EXPECT_EQ(run(criteria, SearchMode::Select), 36);
    std::vector<qint32> expected;
    for (int i = 3; i <= 250; i += 7)
        expected.push_back(i);
    EXPECT_EQ(selected(), expected);
    EXPECT_EQ(tags.countTags(kSelectedTasks), 36);
    // A task tagged by another search stays tagged.
    tags.setTag(kSelectedTasks, 1, QStringLiteral("1"));
    EXPECT_EQ(run(criteria, SearchMode::Unselect), 36);
    EXPECT_EQ(selected(), (std::vector<qint32>{1}));
    tags.clrTag(kSelectedTasks, 1);
    EXPECT_EQ(tags.countTags(kSelectedTasks), 0);
}

TEST_F(ScanTest, ACancelledSelectionKeepsTheTagsWrittenSoFar) {
    std::vector<Schedule> records;
    for (int i = 1; i <= 3000; ++i)
        records.push_back(Task(i));
    addAll(records);
    Schedule example;
    example.description = QStringLiteral("Task");
    std::vector<qint32> seen;
    qint64 matched = 0;
    {
        ScheduleScan scan(*store, {On(Schedule::DESCRIPTION, BeginsWith, example)}, SearchMode::Select, tags,
                          10);
        // One step, then the window closes: its tags are stored with the step.
        EXPECT_NE(scan.step(), ScheduleScan::Result::Failed);
        matched = scan.matched();
        EXPECT_GT(matched, 0);
        EXPECT_FALSE(tags.writing());
        // Another station sees them: they are on disk, not in a run of writes left open.
        ScriptedDialogs otherDialogs;
        ThrowingProgramEnd otherEnd;
        Store other(dir.path(), otherDialogs, otherEnd);
        other.declareLayouts();
        seen = Tags(other, {}).listTags(kSelectedTasks);
        ASSERT_EQ(scan.finishWrites(), Err::None);
    }
    EXPECT_EQ(static_cast<qint64>(seen.size()), matched);
}

TEST_F(ScanTest, TagsThatCannotBeStoredAreNotCountedAndTheTagFileIsNamed) {
    std::vector<Schedule> records;
    for (int i = 1; i <= 40; ++i)
        records.push_back(Task(i));
    addAll(records);
    EXPECT_EQ(tags.countTags(kSelectedTasks), 0);
    Schedule example;
    example.description = QStringLiteral("Task");
    ScheduleScan scan(*store, {On(Schedule::DESCRIPTION, BeginsWith, example)}, SearchMode::Select, tags);
    // Another station reads the tag file and keeps reading: the tags cannot be stored.
    Table<Tag> held(*store);
    held.send(QStringLiteral("LockWait=50"));
    sql::SqliteConnection reader;
    ASSERT_EQ(reader.open(dir.file(kTagFileName), false, {}), 0);
    ASSERT_EQ(reader.execCode(QStringLiteral("BEGIN; SELECT count(*) FROM Tag")), 0);
    ScheduleScan::Result r;
    while ((r = scan.step()) == ScheduleScan::Result::Working) {
    }
    EXPECT_EQ(r, ScheduleScan::Result::Failed);
    EXPECT_EQ(scan.finishWrites(), Err::IsLocked);
    EXPECT_EQ(scan.writeError().code, Err::IsLocked);
    EXPECT_EQ(scan.errorTable(), Tag::decl().name);
    reader.execCode(QStringLiteral("COMMIT"));
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(tags.countTags(kSelectedTasks), 0);
}

TEST_F(ScanTest, ATaskReadErrorDuringARunOfTagWritesIsNamedAsTheTasksAndTheTagsAreStored) {
    // Tasks wide enough to fill many pages, read in batches of 20 in physical order.
    std::vector<Schedule> records;
    for (int i = 1; i <= 200; ++i) {
        records.push_back(Task(i));
        records.back().every = 3;
        records.back().command = QString::number(i).repeated(120).left(255);
        records.back().path = records.back().command;
    }
    addAll(records);
    Schedule example;
    example.every = 3;
    const std::vector<Criterion> criteria{On(Schedule::EVERY, Equals, example)};
    ASSERT_EQ(PlanScan(criteria, SearchMode::Select).source, ScanPlan::Source::Table);

    FaultyReads faults;
    faults.onlyFile(kDataFileName.toStdString());
    auto reopen = [&] {
        store.reset();
        resetStore();
    };
    // The pages the first batch needs, and those of the whole table.
    auto pagesRead = [&](int count) {
        reopen();
        faults.record();
        Table<Schedule> tasks(*store);
        std::vector<Schedule> batch;
        tasks.set(-1);
        EXPECT_EQ(tasks.nextBatch(batch, count), Err::None);
        return faults.recorded();
    };
    const auto early = pagesRead(20);
    std::set<sqlite3_int64> late;
    for (sqlite3_int64 p : pagesRead(200))
        if (early.count(p) == 0)
            late.insert(p);
    ASSERT_FALSE(late.empty());

    reopen();
    // The scan and the tags hold the store's tables: they go before it is opened again.
    auto local = std::make_unique<Tags>(*store, QString());
    local->newTag(kSelectedTasks);
    faults.failPages(late);
    auto owned = std::make_unique<ScheduleScan>(*store, criteria, SearchMode::Select, *local, 20);
    ScheduleScan& scan = *owned;
    ScheduleScan::Result r;
    while ((r = scan.step()) == ScheduleScan::Result::Working) {
    }
    EXPECT_EQ(r, ScheduleScan::Result::Failed);
    EXPECT_EQ(scan.errorTable(), Schedule::decl().name);
    EXPECT_EQ(scan.error().code, Err::StorageError);
    // The tags written before the error are stored, and storing them did not fail.
    EXPECT_EQ(scan.finishWrites(), Err::None);
    EXPECT_TRUE(scan.writeError().ok());
    const qint64 matched = scan.matched();
    EXPECT_GE(matched, 20);
    faults.failPages({});
    owned.reset();
    local.reset();
    reopen();
    EXPECT_EQ(static_cast<qint64>(Tags(*store, {}).listTags(kSelectedTasks).size()), matched);
    store.reset();
}

// ------------------------------------------------------------------ differential test

QString Pick(std::mt19937& rng, const std::vector<QString>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(rng)];
}

std::vector<Schedule> RandomSchedule(std::mt19937& rng, int count) {
    const std::vector<QString> words{QString(),
                                     QStringLiteral("backup"),
                                     QStringLiteral("Back"),
                                     QStringLiteral("BACKUP disk"),
                                     QStringLiteral("  backup"),
                                     QStringLiteral(" report"),
                                     QStringLiteral("Report"),
                                     QStringLiteral("éclair"),
                                     QStringLiteral("Zeta"),
                                     QStringLiteral("alpha beta")};
    const std::vector<QString> categories{QString(), QStringLiteral("Work"), QStringLiteral("home")};
    const std::vector<QString> types{QString(), QStringLiteral("Run Program"),
                                     QStringLiteral("Display Message"), QStringLiteral("Both")};
    auto pct = [&](int p) { return std::uniform_int_distribution<int>(0, 99)(rng) < p; };
    std::vector<Schedule> records;
    for (int i = 1; i <= count; ++i) {
        Schedule t;
        t.id = i;
        t.description =
            pct(5) ? QString() : Pick(rng, words) + (pct(50) ? QString::number(i % 50) : QString());
        t.category = pct(40) ? QString() : Pick(rng, categories);
        t.taskType = Pick(rng, types);
        t.scheduleType = pct(50) ? QStringLiteral("Once") : QStringLiteral("Weekly");
        t.date = pct(8) ? 0 : DateFromYmd(1998, 1, 1) + std::uniform_int_distribution<int>(0, 4 * 365)(rng);
        t.time = pct(8) ? 0 : std::uniform_int_distribution<int>(1, 8640000)(rng);
        t.disabled = pct(30) ? 1 : 0;
        t.every = std::uniform_int_distribution<int>(0, 30)(rng);
        t.sunday = pct(50) ? 1 : 0;
        t.message = pct(30) ? QString() : Pick(rng, words) + QStringLiteral(" note ") + Pick(rng, words);
        records.push_back(std::move(t));
    }
    return records;
}

// The order of a key, with the records it leaves out first (their key values are all blank).
bool KeyLess(int key, const Schedule& a, const Schedule& b) {
    for (int f : Schedule::decl().keys[static_cast<std::size_t>(key)].components) {
        const FieldDecl& d = Schedule::fieldDecls()[static_cast<std::size_t>(f)];
        int c = 0;
        if (d.isText()) {
            c = CompareText(FoldText(std::get<QString>(d.get(&a))), FoldText(std::get<QString>(d.get(&b))));
        } else {
            const qint64 x = std::get<qint64>(d.get(&a));
            const qint64 y = std::get<qint64>(d.get(&b));
            c = x < y ? -1 : (x > y ? 1 : 0);
        }
        if (c != 0)
            return c < 0;
    }
    return a.meta.rowid < b.meta.rowid;
}

TEST_F(ScanTest, KeyedScansFindWhatAFullFilterFinds) {
    std::mt19937 rng(20261208);
    std::vector<Schedule> records = RandomSchedule(rng, 20000);
    addAll(records);
    const std::vector<Schedule> all = everything();
    ASSERT_EQ(all.size(), 20000u);

    // Mostly the fields a key can serve, so that every way of positioning is taken.
    const std::vector<int> fields{Schedule::DATE,        Schedule::DATE,     Schedule::DESCRIPTION,
                                  Schedule::DESCRIPTION, Schedule::TASKTYPE, Schedule::DISABLED,
                                  Schedule::EVERY,       Schedule::MESSAGE,  Schedule::CATEGORY,
                                  Schedule::TIME,        Schedule::SUNDAY};
    int keyed = 0;
    int leftOut = 0;
    for (int round = 0; round < 120; ++round) {
        std::vector<Criterion> criteria;
        const int n = std::uniform_int_distribution<int>(1, 3)(rng);
        std::vector<int> used;
        while (static_cast<int>(criteria.size()) < n) {
            const int field = fields[std::uniform_int_distribution<std::size_t>(0, fields.size() - 1)(rng)];
            if (std::find(used.begin(), used.end(), field) != used.end())
                continue;
            used.push_back(field);
            const std::vector<int>& offered = MatchTypesFor(KindOf(field));
            const int type = offered[std::uniform_int_distribution<std::size_t>(1, offered.size() - 1)(rng)];
            const Schedule& example = all[std::uniform_int_distribution<std::size_t>(0, all.size() - 1)(rng)];
            const Schedule& upper = all[std::uniform_int_distribution<std::size_t>(0, all.size() - 1)(rng)];
            Schedule value = example;
            if (type == BeginsWith && field == Schedule::DESCRIPTION)
                value.description = value.description.left(std::uniform_int_distribution<int>(0, 4)(rng));
            const FieldDecl& d = Schedule::fieldDecls()[static_cast<std::size_t>(field)];
            const qint64 limit = d.isText() ? 0 : std::get<qint64>(d.get(&upper));
            const QString upperText = d.isText() ? std::get<QString>(d.get(&upper)) : QString();
            criteria.push_back(On(field, type, value, limit, upperText));
        }
        const ScanPlan plan = PlanScan(criteria, SearchMode::Select);
        keyed += plan.source == ScanPlan::Source::Key ? 1 : 0;
        leftOut += plan.leftOut ? 1 : 0;

        std::vector<Schedule> expected;
        for (const Schedule& r : all)
            if (MatchesAll(criteria, r))
                expected.push_back(r);
        if (plan.source == ScanPlan::Source::Key)
            std::stable_sort(expected.begin(), expected.end(),
                             [&](const Schedule& a, const Schedule& b) { return KeyLess(plan.key, a, b); });
        std::vector<qint32> expectedIds;
        for (const Schedule& r : expected)
            expectedIds.push_back(r.id);

        const std::vector<qint32> found = editMatches(criteria);
        SCOPED_TRACE(testing::Message()
                     << "round " << round << " key " << plan.key << " criterion " << plan.criterion
                     << " type "
                     << (plan.criterion >= 0 ? criteria[static_cast<std::size_t>(plan.criterion)].type : -1));
        // Edit: the same first match, and every further one in the same order.
        ASSERT_EQ(found, expectedIds);
        if (round % 20 == 0) {
            // Select tags exactly those.
            tags.newTag(kSelectedTasks);
            run(criteria, SearchMode::Select);
            std::sort(expectedIds.begin(), expectedIds.end());
            ASSERT_EQ(selected(), expectedIds);
        }
    }
    EXPECT_GT(keyed, 60);
    EXPECT_GT(leftOut, 3);
}

} // namespace
} // namespace kr::test
