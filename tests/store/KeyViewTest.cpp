#include "store/KeyView.h"
#include "StoreFixture.h"
#include "store/Transaction.h"

namespace kr::test {
namespace {

using Cond = KeyView::Condition;

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
            EXPECT_TRUE(view.rowids(first, page, part));
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

} // namespace
} // namespace kr::test
