#include "store/KeyView.h"
#include "StoreFixture.h"
#include "store/Transaction.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace kr::test {
namespace {

using Cond = KeyView::Condition;

// An application for the views' notices, and every changed view counted on a thread of its
// own at once, as for a very large table.
class BackgroundCounts {
public:
    BackgroundCounts()
        : app_(argc_, argv_) {
        KeyView::setCountHereMs(0);
    }
    ~BackgroundCounts() { KeyView::setCountHereMs(20); }

private:
    int argc_ = 1;
    char name_[12] = "store_tests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_;
};

class KeyViewTest : public StoreFixture {
protected:
    // 500 tasks over ten days, every third disabled, every fifth completed, categories in
    // varying letter case; one undated task.
    void fill() {
        Table<Schedule> tasks(*store);
        Transaction t;
        ASSERT_EQ(t.begin({&tasks}), Err::None);
        for (int i = 1; i <= 500; ++i) {
            Schedule s = Task(i, {}, DateFromYmd(2026, 12, 1 + (i * 7) % 10), TimeFromHms(i % 24, 0, 0));
            s.category = (i % 2 == 0) ? QStringLiteral("Home")
                                      : (i % 3 == 0 ? QStringLiteral("HOME") : QStringLiteral("Work"));
            s.disabled = i % 3 == 0 ? 1 : 0;
            s.completed = i % 5 == 0 ? 1 : 0;
            ASSERT_EQ(tasks.add(s), Err::None);
        }
        Schedule undated = Task(501);
        ASSERT_EQ(tasks.add(undated), Err::None);
        ASSERT_EQ(t.commit(), Err::None);
    }
    // The rows of the key walked one by one, as the reference order.
    std::vector<qint64> walk(int key, const std::function<bool(const Schedule&)>& keep) {
        Table<Schedule> tasks(*store);
        tasks.set(key);
        Schedule s;
        std::vector<qint64> out;
        while (tasks.next(s) == Err::None)
            if (keep(s))
                out.push_back(s.meta.rowid);
        return out;
    }
    std::vector<qint64> all(KeyView& view, int page) {
        std::vector<qint64> out;
        const qint64 n = view.count();
        for (qint64 first = 0; first < n; first += page) {
            std::vector<qint64> part;
            EXPECT_TRUE(view.rowids(first, page, part)) << view.error().describe().toStdString();
            out.insert(out.end(), part.begin(), part.end());
        }
        return out;
    }
};

TEST_F(KeyViewTest, PagesFromEitherEndFollowTheKey) {
    fill();
    Table<Schedule> tasks(*store);
    KeyView view(tasks, Schedule::KEYDATE);
    const std::vector<qint64> expected = walk(Schedule::KEYDATE, [](const Schedule&) { return true; });
    EXPECT_EQ(view.count(), 500); // the undated task is not in the date key
    EXPECT_EQ(static_cast<qint64>(expected.size()), 500);
    EXPECT_EQ(all(view, 37), expected); // pages past the middle are read from the end
    std::vector<qint64> tail;
    ASSERT_TRUE(view.rowids(495, 50, tail));
    EXPECT_EQ(tail, std::vector<qint64>(expected.end() - 5, expected.end()));
    ASSERT_TRUE(view.rowids(500, 10, tail));
    EXPECT_TRUE(tail.empty());
    for (qint64 i : {qint64{0}, qint64{1}, qint64{250}, qint64{499}})
        EXPECT_EQ(view.positionOf(expected[static_cast<std::size_t>(i)]), i);
}

TEST_F(KeyViewTest, ConditionsFilterByValueLetterCaseAndFlags) {
    fill();
    Table<Schedule> tasks(*store);
    const Date day = DateFromYmd(2026, 12, 4);
    KeyView dayView(tasks, Schedule::KEYDATE, {{Schedule::DATE, Cond::Equal, qint64{day}}});
    EXPECT_EQ(all(dayView, 8), walk(Schedule::KEYDATE, [&](const Schedule& s) { return s.date == day; }));
    EXPECT_EQ(dayView.count(), 50);

    KeyView home(tasks, Schedule::KEYCATEGORY,
                 {{Schedule::CATEGORY, Cond::EqualNoCase, QStringLiteral("home")}});
    EXPECT_EQ(all(home, 64), walk(Schedule::KEYCATEGORY, [](const Schedule& s) {
                  return s.category.compare(QStringLiteral("home"), Qt::CaseInsensitive) == 0;
              }));

    KeyView active(tasks, Schedule::KEYDATE,
                   {{Schedule::DATE, Cond::Equal, qint64{day}},
                    {Schedule::DISABLED, Cond::Zero},
                    {Schedule::COMPLETED, Cond::Zero}});
    const std::vector<qint64> expected = walk(Schedule::KEYDATE, [&](const Schedule& s) {
        return s.date == day && s.disabled == 0 && s.completed == 0;
    });
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(all(active, 5), expected);
    // A record outside the view has no position in it.
    const std::vector<qint64> every =
        walk(Schedule::KEYDATE, [](const Schedule& s) { return s.disabled != 0; });
    EXPECT_EQ(active.positionOf(every.front()), -1);
    EXPECT_EQ(active.positionOf(expected.back()), static_cast<qint64>(expected.size()) - 1);
}

// A view larger than a few marks: every position and every record's position agree with
// the key walked one by one, through the marks the count left.
TEST_F(KeyViewTest, PositionsFarIntoALargeViewComeFromItsMarks) {
    Table<Schedule> tasks(*store);
    {
        Transaction t;
        ASSERT_EQ(t.begin({&tasks}), Err::None);
        for (int i = 1; i <= 3000; ++i) {
            Schedule s =
                Task(i, {}, DateFromYmd(2026, 1, 1) + (i * 37) % 400, TimeFromHms(i % 24, i % 60, 0));
            ASSERT_EQ(tasks.add(s), Err::None);
        }
        ASSERT_EQ(t.commit(), Err::None);
    }
    const std::vector<qint64> expected = walk(Schedule::KEYDATE, [](const Schedule&) { return true; });
    ASSERT_EQ(expected.size(), 3000u);
    for (int round = 0; round < 2; ++round) {
        KeyView view(tasks, Schedule::KEYDATE);
        ASSERT_EQ(view.count(), 3000);
        EXPECT_TRUE(view.exact());
        for (qint64 first : {0, 1, 511, 512, 513, 1023, 1024, 1500, 2047, 2560, 2990, 2999}) {
            std::vector<qint64> rows;
            ASSERT_TRUE(view.rowids(first, 20, rows));
            const auto stop = std::min<qint64>(3000, first + 20);
            EXPECT_EQ(rows, std::vector<qint64>(expected.begin() + first, expected.begin() + stop)) << first;
        }
        for (std::size_t i = 0; i < expected.size(); i += 97)
            EXPECT_EQ(view.positionOf(expected[i]), static_cast<qint64>(i));
        EXPECT_EQ(view.positionOf(expected.back()), 2999);
    }
}

// A view that changed gives its last count at once and is counted again on a thread of its
// own; its owner hears of the new count on its own thread.
TEST_F(KeyViewTest, AChangedLargeViewIsCountedAgainInTheBackground) {
    BackgroundCounts counts;

    Table<Schedule> tasks(*store);
    auto add = [&](int from, int to, Date date) {
        Transaction t;
        ASSERT_EQ(t.begin({&tasks}), Err::None);
        for (int i = from; i <= to; ++i) {
            Schedule s = Task(i, {}, date + i % 50, TimeFromHms(i % 24, 0, 0));
            s.category = i % 2 == 0 ? QStringLiteral("Home") : QStringLiteral("Work");
            ASSERT_EQ(tasks.add(s), Err::None);
        }
        ASSERT_EQ(t.commit(), Err::None);
    };
    add(1, 20000, DateFromYmd(2026, 6, 1));
    const std::vector<Cond> home{{Schedule::CATEGORY, Cond::EqualNoCase, QStringLiteral("home")}};
    QObject owner;
    auto settle = [&](KeyView& view, bool& refined) {
        QElapsedTimer timer;
        timer.start();
        while (!refined && timer.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        EXPECT_TRUE(refined);
        (void)view;
    };

    bool refined = false;
    {
        KeyView first(tasks, Schedule::KEYCATEGORY, home);
        first.onRefined(&owner, [&] { refined = true; });
        const qint64 estimate = first.count();
        EXPECT_FALSE(first.exact());
        EXPECT_NE(estimate, 10000);
        settle(first, refined);
    }
    {
        KeyView counted(tasks, Schedule::KEYCATEGORY, home);
        EXPECT_EQ(counted.count(), 10000);
        EXPECT_TRUE(counted.exact());
    }

    // Records that sort first: the marks are a hundred places off until counted again.
    add(20001, 20200, DateFromYmd(2025, 1, 1));
    const std::vector<qint64> expected =
        walk(Schedule::KEYCATEGORY, [](const Schedule& s) { return s.category == QStringLiteral("Home"); });
    ASSERT_EQ(expected.size(), 10100u);
    refined = false;
    {
        KeyView stale(tasks, Schedule::KEYCATEGORY, home);
        stale.onRefined(&owner, [&] { refined = true; });
        EXPECT_EQ(stale.count(), 10000);
        EXPECT_FALSE(stale.exact());
        // A record's place is nearly right, and the rows there show it; the first rows are
        // right.
        const qint64 place = stale.positionOf(expected[7000]);
        EXPECT_GE(place, 6900);
        EXPECT_LE(place, 7000);
        std::vector<qint64> rows;
        ASSERT_TRUE(stale.rowids(place, 1, rows));
        EXPECT_EQ(rows, std::vector<qint64>{expected[7000]});
        ASSERT_TRUE(stale.rowids(0, 10, rows));
        EXPECT_EQ(rows, std::vector<qint64>(expected.begin(), expected.begin() + 10));
        // The count in the background ending changes nothing the view shows until its owner
        // counts again: the place it gave still holds the record.
        settle(stale, refined);
        ASSERT_TRUE(stale.rowids(place, 1, rows));
        EXPECT_EQ(rows, std::vector<qint64>{expected[7000]});
        EXPECT_EQ(stale.positionOf(expected[7000]), place);
        EXPECT_EQ(stale.count(), 10100);
        EXPECT_EQ(stale.positionOf(expected[7000]), 7000);
    }
    KeyView fresh(tasks, Schedule::KEYCATEGORY, home);
    EXPECT_EQ(fresh.count(), 10100);
    EXPECT_TRUE(fresh.exact());
    EXPECT_EQ(all(fresh, 1000), expected);
    EXPECT_EQ(fresh.positionOf(expected[9999]), 9999);
}

// Every view that gave a count while it was being done in the background hears of the end,
// not only the one that began it.
TEST_F(KeyViewTest, EveryViewWaitingForABackgroundCountIsTold) {
    BackgroundCounts counts;
    Table<Schedule> tasks(*store);
    {
        Transaction t;
        ASSERT_EQ(t.begin({&tasks}), Err::None);
        for (int i = 1; i <= 30000; ++i) {
            Schedule s = Task(i, {}, DateFromYmd(2026, 6, 1) + i % 50);
            s.category = i % 2 == 0 ? QStringLiteral("Home") : QStringLiteral("Work");
            ASSERT_EQ(tasks.add(s), Err::None);
        }
        ASSERT_EQ(t.commit(), Err::None);
    }
    QObject owner;
    bool firstTold = false;
    bool secondTold = false;
    const std::vector<Cond> home{{Schedule::CATEGORY, Cond::EqualNoCase, QStringLiteral("home")}};
    KeyView first(tasks, Schedule::KEYCATEGORY, home);
    first.onRefined(&owner, [&] { firstTold = true; });
    first.count();
    KeyView second(tasks, Schedule::KEYCATEGORY, home);
    second.onRefined(&owner, [&] { secondTold = true; });
    second.count();
    ASSERT_FALSE(second.exact()) << "the count ended before the second view asked";
    QElapsedTimer timer;
    timer.start();
    while (!(firstTold && secondTold) && timer.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(firstTold);
    EXPECT_TRUE(secondTold);
    EXPECT_EQ(second.count(), 15000);
    EXPECT_TRUE(second.exact());
}

} // namespace
} // namespace kr::test
