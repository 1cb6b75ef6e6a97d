// The search window and its questions, driven through their widgets on a real data file.

#include "search/ui/SearchSchedule.h"

#include "scheduler/ui/BrowseSchedule.h"
#include "store/Table.h"
#include "support/Accelerators.h"
#include "support/FakeClock.h"
#include "support/RecordingSound.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedFileDialogs.h"
#include "support/TempDir.h"

#include "platform/qt/Fields.h"
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

struct QuietProgress final : Progress {
    void doBegin(const QString& title, const QString&) override { titles << title; }
    void doUpdate(int) override {}
    bool cancelled() const override { return cancel; }
    void end() override {}
    QStringList titles;
    bool cancel = false;
};

class SearchScheduleTest : public ::testing::Test {
protected:
    SearchScheduleTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
    }

    void add(qint32 id, const QString& description, Date date, qint32 every = 0) {
        Schedule t;
        t.id = id;
        t.description = description;
        t.date = date;
        t.time = 100;
        t.every = every;
        t.taskType = QStringLiteral("Run Program");
        Table<Schedule> tasks(*store);
        ASSERT_EQ(tasks.add(t), Err::None);
    }

    SearchContext context() {
        return SearchContext{*store,
                             dialogs,
                             settings,
                             &progress,
                             [this](FieldKind kind, int current) {
                                 asked << KindName(kind) + QLatin1Char(':') + QString::number(current);
                                 return nextType;
                             },
                             [this](const QString& lower, QString& upper, GetUpperLimit::Parse) {
                                 limits << lower + QLatin1Char('|') + upper;
                                 upper = upperAnswer;
                                 return upperOk;
                             },
                             [this](bool tagsExist) {
                                 offeredUnselect.push_back(tagsExist);
                                 return task;
                             }};
    }

    static void run(SearchSchedule& w) {
        for (int i = 0; i < 100000 && w.searching(); ++i)
            w.tick();
    }

    static QString text(SearchSchedule& w, int field) {
        return qobject_cast<QLineEdit*>(w.field(field))->text();
    }

    // Types "value" in the field and gives it the match type.
    void search(SearchSchedule& w, int field, const QString& value, int type) {
        w.selectField(field);
        qobject_cast<QLineEdit*>(w.field(field))->setText(value);
        nextType = type;
        w.chooseMatchType();
    }

    std::vector<qint32> selected() {
        std::vector<qint32> ids = Tags(*store, {}).listTags(kSelectedTasks);
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    std::unique_ptr<Store> store;
    Settings settings;
    QuietProgress progress;
    int nextType = 0;
    QString upperAnswer;
    bool upperOk = true;
    SearchTask task = SearchTask::Edit;
    QStringList asked;
    QStringList limits;
    std::vector<bool> offeredUnselect;
};

TEST_F(SearchScheduleTest, IndicatorsAppearAndGoAndTypeZeroErasesTheValue) {
    SearchSchedule w(context());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Search the Schedule"));
    EXPECT_EQ(w.searchTypeButton()->toolTip(), QStringLiteral("Comparison Operator (Query Help)"));
    EXPECT_TRUE(AcceleratorClashes(&w).isEmpty())
        << AcceleratorClashes(&w).join(QLatin1Char(' ')).toStdString();

    w.chooseMatchType();
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("You must select a data field first!")});
    EXPECT_TRUE(asked.isEmpty());

    search(w, Schedule::DESCRIPTION, QStringLiteral("back"), BeginsWith);
    // Typing the example chose "Contains this", which the dialogue offers as the current type.
    EXPECT_EQ(asked, QStringList{QStringLiteral("STRING:11")});
    EXPECT_EQ(w.indicator(Schedule::DESCRIPTION)->text(), QString(QChar(0x2192)));
    nextType = -1; // closed without OK: nothing changes
    w.chooseMatchType();
    EXPECT_EQ(w.matchType(Schedule::DESCRIPTION), BeginsWith);
    EXPECT_EQ(text(w, Schedule::DESCRIPTION), QStringLiteral("back"));

    w.selectField(Schedule::DATE);
    nextType = SameYear;
    w.chooseMatchType();
    EXPECT_EQ(w.indicator(Schedule::DATE)->text(), QStringLiteral("y"));
    EXPECT_EQ(asked.last(), QStringLiteral("DATE:0"));
    w.selectField(Schedule::TIME);
    nextType = MoreThan;
    w.chooseMatchType();
    EXPECT_EQ(asked.last(), QStringLiteral("NUMBER:0")); // a time offers the number's types

    w.selectField(Schedule::DESCRIPTION);
    nextType = Ignore;
    w.chooseMatchType();
    EXPECT_EQ(asked.last(), QStringLiteral("STRING:9"));
    EXPECT_EQ(w.indicator(Schedule::DESCRIPTION)->text(), QString());
    EXPECT_EQ(text(w, Schedule::DESCRIPTION), QString());
    EXPECT_EQ(w.matchType(Schedule::DESCRIPTION), Ignore);
}

TEST_F(SearchScheduleTest, UpperLimitFlow) {
    for (int i = 1; i <= 30; ++i)
        add(i, QStringLiteral("Task %1").arg(i), DateFromYmd(2026, 1, i), i);
    SearchSchedule w(context());
    w.selectField(Schedule::EVERY);
    qobject_cast<QSpinBox*>(w.field(Schedule::EVERY))->setValue(10);
    EXPECT_EQ(w.matchType(Schedule::EVERY), Equals); // as the example was typed
    nextType = InsideRange;
    upperOk = false; // Cancel keeps the old type
    w.chooseMatchType();
    EXPECT_EQ(limits, QStringList{QStringLiteral("10|0")});
    EXPECT_EQ(w.matchType(Schedule::EVERY), Equals);
    upperOk = true;
    upperAnswer = QStringLiteral("12");
    w.chooseMatchType();
    EXPECT_EQ(w.matchType(Schedule::EVERY), InsideRange);
    EXPECT_EQ(w.indicator(Schedule::EVERY)->text(), QString(QChar(0x2194)));
    nextType = OutsideRange; // the limit kept is offered again
    w.chooseMatchType();
    EXPECT_EQ(limits.last(), QStringLiteral("10|12"));

    nextType = InsideRange;
    w.chooseMatchType();
    task = SearchTask::Select;
    w.beginSearch();
    run(w);
    EXPECT_EQ(selected(), (std::vector<qint32>{10, 11, 12}));
    EXPECT_EQ(w.result().kind, SearchResult::SelectionChanged);
    EXPECT_EQ(progress.titles, QStringList{QStringLiteral("Searching for Matching Records")});
}

TEST_F(SearchScheduleTest, AnExampleTypedIntoAnIgnoredFieldIsSearchedAndShownSo) {
    add(1, QStringLiteral("Script demo"), DateFromYmd(2026, 1, 5));
    add(2, QStringLiteral("Backup"), DateFromYmd(2026, 1, 6));
    add(3, QStringLiteral("Run the script"), DateFromYmd(2026, 1, 6));
    SearchSchedule w(context());
    auto* description = qobject_cast<QLineEdit*>(w.field(Schedule::DESCRIPTION));
    w.selectField(Schedule::DESCRIPTION);
    QTest::keyClicks(description, QStringLiteral("script"));
    EXPECT_EQ(w.matchType(Schedule::DESCRIPTION), Contains);
    EXPECT_EQ(w.indicator(Schedule::DESCRIPTION)->text(), QString(QChar(0x2227)));
    task = SearchTask::Select;
    w.beginSearch();
    run(w);
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(selected(), (std::vector<qint32>{1, 3}));
}

TEST_F(SearchScheduleTest, ATypedChoiceGoesWithItsExampleAndAChosenTypeStays) {
    SearchSchedule w(context());
    auto* description = qobject_cast<QLineEdit*>(w.field(Schedule::DESCRIPTION));
    // Emptied again, the field is ignored again.
    QTest::keyClicks(description, QStringLiteral("ab"));
    EXPECT_EQ(w.matchType(Schedule::DESCRIPTION), Contains);
    QTest::keyClick(description, Qt::Key_Backspace);
    QTest::keyClick(description, Qt::Key_Backspace);
    EXPECT_EQ(w.matchType(Schedule::DESCRIPTION), Ignore);
    EXPECT_EQ(w.indicator(Schedule::DESCRIPTION)->text(), QString());
    w.beginSearch();
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("You must specify at least one search field!")});

    // A type the user chose stays when the example goes: a blank description can be looked for.
    search(w, Schedule::DESCRIPTION, QStringLiteral("x"), Equals);
    description->clear();
    EXPECT_EQ(w.matchType(Schedule::DESCRIPTION), Equals);

    // A ticked box, a chosen task type, a message and a date are examples too: the message is
    // looked for within, the others matched whole.
    qobject_cast<QCheckBox*>(w.field(Schedule::ALARM))->click();
    EXPECT_EQ(w.matchType(Schedule::ALARM), Equals);
    EXPECT_EQ(w.indicator(Schedule::ALARM)->text(), QStringLiteral("="));
    auto* type = qobject_cast<QComboBox*>(w.field(Schedule::TASKTYPE));
    type->setCurrentIndex(type->findText(QStringLiteral("Run Program")));
    EXPECT_EQ(w.matchType(Schedule::TASKTYPE), Equals);
    QTest::keyClicks(w.field(Schedule::MESSAGE), QStringLiteral("call"));
    EXPECT_EQ(w.matchType(Schedule::MESSAGE), Contains);
    EXPECT_EQ(w.matchType(Schedule::DATE), Ignore);
    qobject_cast<DateField*>(w.field(Schedule::DATE))->setDate(DateFromYmd(2026, 1, 6));
    EXPECT_EQ(w.matchType(Schedule::DATE), Equals);
    // Nothing else was touched.
    EXPECT_EQ(w.matchType(Schedule::COMMAND), Ignore);
    EXPECT_EQ(w.matchType(Schedule::EVERY), Ignore);
}

TEST(GetUpperLimitDialog, StartsAtTheLowerAndBeepsOnAnUpperNotAbove) {
    const GetUpperLimit::Parse number = [](const QString& t) -> std::optional<qint64> {
        return t.toLongLong();
    };
    GetUpperLimit d(QStringLiteral("10"), QStringLiteral("3"), number);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Enter Upper Limit"));
    EXPECT_EQ(d.upper(), QStringLiteral("10")); // below the lower: starts equal to it
    EXPECT_FALSE(d.leaveUpper());
    d.upperField()->setText(QStringLiteral("9"));
    EXPECT_FALSE(d.leaveUpper());
    EXPECT_EQ(d.beeps(), 2);
    d.upperField()->setText(QStringLiteral("11"));
    EXPECT_TRUE(d.leaveUpper());
    EXPECT_EQ(d.beeps(), 2);

    GetUpperLimit kept(QStringLiteral("10"), QStringLiteral("40"), number);
    EXPECT_EQ(kept.upper(), QStringLiteral("40"));
    GetUpperLimit texts(QStringLiteral("b"), QStringLiteral("a"), {});
    EXPECT_EQ(texts.upper(), QStringLiteral("a")); // texts keep theirs
    EXPECT_FALSE(texts.leaveUpper());
    texts.upperField()->setText(QStringLiteral("C"));
    EXPECT_TRUE(texts.leaveUpper());

    EXPECT_EQ(texts.note(), QString());
    texts.upperField()->setText(QStringLiteral("A"));
    EXPECT_FALSE(texts.leaveUpper());
    EXPECT_EQ(texts.note(), QStringLiteral("The upper limit is not above the lower limit."));

    // OK takes an upper limit not above the lower one as it stands; one that cannot be read
    // beeps, stays and says why.
    const GetUpperLimit::Parse strict = [](const QString& t) -> std::optional<qint64> {
        bool ok = false;
        const qint64 n = t.toLongLong(&ok);
        return ok ? std::optional<qint64>(n) : std::nullopt;
    };
    GetUpperLimit junk(QStringLiteral("5"), QStringLiteral("6"), strict);
    junk.show();
    junk.upperField()->setText(QStringLiteral("junk"));
    junk.accept();
    EXPECT_EQ(junk.beeps(), 1);
    EXPECT_TRUE(junk.isVisible());
    EXPECT_EQ(junk.note(), QStringLiteral("The upper limit cannot be read."));
    QTest::keyClick(junk.upperField(), Qt::Key_Backspace); // typing again: the note goes
    EXPECT_EQ(junk.note(), QString());
    junk.upperField()->setText(QStringLiteral("3"));
    junk.accept();
    EXPECT_FALSE(junk.isVisible());
    EXPECT_EQ(junk.result(), QDialog::Accepted);
    EXPECT_EQ(junk.upper(), QStringLiteral("3"));
    EXPECT_EQ(junk.beeps(), 1);
}

TEST(AskDialogs, MatchTypesOfTheKindAndUnselectOnlyWithTags) {
    AskMatchType check(FieldKind::CHECK, 2);
    EXPECT_EQ(check.windowTitle(), QStringLiteral("Match Type for CHECK Field"));
    EXPECT_EQ(check.chosen(), 2);
    EXPECT_NE(check.option(1), nullptr);
    EXPECT_EQ(check.option(3), nullptr);
    EXPECT_EQ(check.option(1)->text(), QStringLiteral("Equals this")); // the indicator is only a tip
    AskMatchType text(FieldKind::TEXT, 11);
    EXPECT_EQ(text.chosen(), 11);
    EXPECT_EQ(text.option(3), nullptr);
    EXPECT_NE(text.option(10), nullptr);

    AskSearchTask none(false);
    EXPECT_EQ(none.windowTitle(), QStringLiteral("Begin Search"));
    EXPECT_TRUE(none.button(SearchTask::Unselect)->isHidden());
    EXPECT_FALSE(none.button(SearchTask::Select)->isHidden());
    AskSearchTask some(true);
    EXPECT_FALSE(some.button(SearchTask::Unselect)->isHidden());
    some.button(SearchTask::Select)->click();
    EXPECT_EQ(some.task(), SearchTask::Select);
    EXPECT_EQ(some.result(), QDialog::Accepted);
}

TEST_F(SearchScheduleTest, FindNextToTheEndShowsTheCriteriaAgain) {
    add(1, QStringLiteral("Backup home"), DateFromYmd(2026, 1, 1));
    add(2, QStringLiteral("Archive"), DateFromYmd(2026, 1, 2));
    add(3, QStringLiteral("backup work"), DateFromYmd(2026, 1, 3));
    SearchSchedule w(context());
    w.beginSearch();
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("You must specify at least one search field!")});
    search(w, Schedule::DESCRIPTION, QStringLiteral("back"), BeginsWith);
    w.beginSearch();
    EXPECT_EQ(offeredUnselect, std::vector<bool>{false});
    run(w);
    ASSERT_TRUE(w.showingMatch());
    EXPECT_EQ(text(w, Schedule::DESCRIPTION), QStringLiteral("Backup home"));
    EXPECT_EQ(w.searchTypeButton()->text(), QStringLiteral("&Edit This"));
    EXPECT_EQ(w.beginButton()->text(), QStringLiteral("&Find Next"));
    w.beginButton()->click();
    run(w);
    EXPECT_EQ(text(w, Schedule::DESCRIPTION), QStringLiteral("backup work"));
    w.findNext();
    run(w);
    EXPECT_FALSE(w.showingMatch());
    EXPECT_EQ(dialogs.texts().last(), QStringLiteral("There are no more matching records!"));
    EXPECT_EQ(text(w, Schedule::DESCRIPTION), QStringLiteral("back"));
    EXPECT_EQ(w.searchTypeButton()->text(), QStringLiteral("&Search Type"));

    // A date that cannot be read stops the search before any question.
    qobject_cast<QLineEdit*>(w.field(Schedule::DATE))->setText(QStringLiteral("32/13/xx"));
    const std::size_t asks = offeredUnselect.size();
    w.beginSearch();
    EXPECT_EQ(offeredUnselect.size(), asks);
    EXPECT_EQ(w.selectedField(), Schedule::DATE);
    qobject_cast<QLineEdit*>(w.field(Schedule::DATE))->clear();

    search(w, Schedule::DESCRIPTION, QStringLiteral("zzz"), Equals);
    w.beginSearch();
    run(w);
    EXPECT_EQ(dialogs.texts().last(), QStringLiteral("There are no matching records!"));
}

TEST_F(SearchScheduleTest, DateFieldsPickFromTheCalendar) {
    SearchContext ctx = context();
    std::vector<Date> offered;
    ctx.pickDate = [&](Date current, QWidget*) {
        offered.push_back(current);
        return DateFromYmd(2027, 3, 14);
    };
    SearchSchedule w(ctx);
    auto* date = qobject_cast<DateField*>(w.field(Schedule::DATE));
    ASSERT_NE(date, nullptr);
    date->setDate(DateFromYmd(2026, 5, 1));
    QPushButton* pick = nullptr;
    for (QPushButton* b : date->parentWidget()->findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("..."))
            pick = b;
    ASSERT_NE(pick, nullptr);
    pick->click();
    EXPECT_EQ(offered, std::vector<Date>{DateFromYmd(2026, 5, 1)});
    EXPECT_EQ(date->date(), DateFromYmd(2027, 3, 14));
    EXPECT_EQ(w.selectedField(), Schedule::DATE);
    // Without a calendar, no button.
    SearchSchedule plain(context());
    int buttons = 0;
    for (QPushButton* b : plain.field(Schedule::DATE)->parentWidget()->findChildren<QPushButton*>())
        buttons += b->text() == QStringLiteral("...") ? 1 : 0;
    EXPECT_EQ(buttons, 0);
}

TEST_F(SearchScheduleTest, WhileAScanRunsOnlyItsProgressTakesInputAndNoMatchChangesNothing) {
    for (int i = 1; i <= 400; ++i)
        add(i, QStringLiteral("Task %1").arg(i), DateFromYmd(2026, 1, 1) + i);
    task = SearchTask::Select;
    SearchSchedule w(context());
    search(w, Schedule::DESCRIPTION, QStringLiteral("nothing like it"), Contains);
    w.beginSearch();
    ASSERT_TRUE(w.searching());
    for (QPushButton* b : w.findChildren<QPushButton*>())
        EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
    EXPECT_FALSE(w.field(Schedule::DESCRIPTION)->isEnabled());
    run(w);
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("There are no matching records!")});
    // Nothing was selected and nothing cleared: the list has no new selection to show.
    EXPECT_EQ(w.result().kind, SearchResult::Nothing);
    for (QPushButton* b : w.findChildren<QPushButton*>())
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
}

TEST_F(SearchScheduleTest, ClearOldSelectionsYesAndNo) {
    for (int i = 1; i <= 6; ++i)
        add(i, i <= 3 ? QStringLiteral("Alpha %1").arg(i) : QStringLiteral("Beta %1").arg(i),
            DateFromYmd(2026, 1, i));
    task = SearchTask::Select;
    {
        SearchSchedule w(context());
        search(w, Schedule::DESCRIPTION, QStringLiteral("alpha"), BeginsWith);
        w.beginSearch();
        run(w);
    }
    EXPECT_EQ(selected(), (std::vector<qint32>{1, 2, 3}));
    EXPECT_TRUE(dialogs.texts().isEmpty()); // nothing was selected: no question
    {
        dialogs.answer(Dialogs::No);
        SearchSchedule w(context());
        search(w, Schedule::DESCRIPTION, QStringLiteral("beta 4"), Equals);
        w.beginSearch();
        run(w);
    }
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Clear old selections first?")});
    EXPECT_EQ(dialogs.shown.back().buttons, unsigned(Dialogs::Yes | Dialogs::No));
    EXPECT_EQ(selected(), (std::vector<qint32>{1, 2, 3, 4}));
    {
        dialogs.answer(Dialogs::Yes);
        SearchSchedule w(context());
        search(w, Schedule::DESCRIPTION, QStringLiteral("beta"), BeginsWith);
        w.beginSearch();
        run(w);
    }
    EXPECT_EQ(selected(), (std::vector<qint32>{4, 5, 6}));
    // Unselect is offered now, and takes the same criteria away.
    task = SearchTask::Unselect;
    {
        SearchSchedule w(context());
        search(w, Schedule::DESCRIPTION, QStringLiteral("beta"), BeginsWith);
        w.beginSearch();
        run(w);
        EXPECT_EQ(w.result().kind, SearchResult::SelectionChanged);
    }
    EXPECT_EQ(offeredUnselect.back(), true);
    EXPECT_TRUE(selected().empty());
}

// The schedule list with the search window behind its "Search" button.
class SearchFromListTest : public SearchScheduleTest {
protected:
    SearchFromListTest() {
        config = std::make_unique<ConfigStore>(*store, dir.file(QStringLiteral("KR98.INI")));
        forms = std::make_unique<TaskFormContext>(
            TaskFormContext{*store,
                            dialogs,
                            files,
                            clock,
                            settings,
                            *config,
                            IniFile(dir.file(QStringLiteral("POSITION.INI"))),
                            sound,
                            dir.path(),
                            {},
                            {}});
    }
    std::unique_ptr<BrowseSchedule> list(std::function<void(SearchSchedule&)> user) {
        ScheduleListContext ctx{*forms,
                                state,
                                {},
                                {},
                                [this] { return Tags(*store, {}).listTags(kSelectedTasks); },
                                [this, user](QWidget*) {
                                    SearchSchedule w(context());
                                    user(w);
                                    const SearchResult& r = w.result();
                                    return SearchOutcome{r.kind == SearchResult::Edit ? SearchOutcome::Edit
                                                         : r.kind == SearchResult::SelectionChanged
                                                             ? SearchOutcome::SelectionChanged
                                                             : SearchOutcome::Nothing,
                                                         r.task};
                                },
                                [this](TaskWindow, Request r, Schedule& t, Date) {
                                    opened.push_back({r, t});
                                    return false;
                                }};
        return std::make_unique<BrowseSchedule>(std::move(ctx));
    }

    ScriptedFileDialogs files;
    FakeClock clock{DateFromYmd(2026, 12, 8), 100};
    RecordingSound sound;
    std::unique_ptr<ConfigStore> config;
    std::unique_ptr<TaskFormContext> forms;
    ProgramState state;
    std::vector<std::pair<Request, Schedule>> opened;
};

TEST_F(SearchFromListTest, EditThisOpensTheFormOnTheMatch) {
    add(1, QStringLiteral("Backup home"), DateFromYmd(2026, 1, 1));
    add(2, QStringLiteral("backup work"), DateFromYmd(2026, 1, 3));
    auto l = list([this](SearchSchedule& w) {
        search(w, Schedule::DESCRIPTION, QStringLiteral("back"), BeginsWith);
        w.beginSearch();
        run(w);
        w.findNext();
        run(w);
        w.searchTypeButton()->click(); // "&Edit This"
    });
    l->button(QStringLiteral("Search"))->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].first, Request::Change);
    EXPECT_EQ(opened[0].second.id, 2);
    EXPECT_EQ(opened[0].second.description, QStringLiteral("backup work"));
    EXPECT_TRUE(opened[0].second.meta.watched);
}

TEST_F(SearchFromListTest, SelectShowsTheSelectedTabInDateOrder) {
    add(1, QStringLiteral("Report C"), DateFromYmd(2026, 3, 1));
    add(2, QStringLiteral("Report A"), DateFromYmd(2026, 1, 1));
    add(3, QStringLiteral("Other"), DateFromYmd(2026, 2, 1));
    add(4, QStringLiteral("Report B"), DateFromYmd(2026, 2, 1));
    task = SearchTask::Select;
    auto l = list([this](SearchSchedule& w) {
        search(w, Schedule::DESCRIPTION, QStringLiteral("report"), BeginsWith);
        w.beginSearch();
        run(w);
    });
    auto other = list({});
    other->tabs()->setCurrentIndex(static_cast<int>(ScheduleView::Selected));
    EXPECT_EQ(other->model()->rowCount(), 0);
    EXPECT_NE(l->view(), ScheduleView::Selected);
    int reads = 0;
    int otherReads = 0;
    QObject::connect(l->model(), &QAbstractItemModel::modelReset, [&] { ++reads; });
    QObject::connect(other->model(), &QAbstractItemModel::modelReset, [&] { ++otherReads; });
    l->button(QStringLiteral("Search"))->click();
    EXPECT_EQ(l->view(), ScheduleView::Selected);
    QStringList shown;
    for (int r = 0; r < l->model()->rowCount(); ++r)
        shown << l->model()
                     ->data(l->model()->index(r, ScheduleListModel::DescriptionColumn), Qt::DisplayRole)
                     .toString();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Report A"), QStringLiteral("Report B"),
                                  QStringLiteral("Report C")}));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(other->model()->rowCount(), 3); // every open list shows the new selection
    // Each list read the selection once.
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(otherReads, 1);
}

} // namespace
} // namespace kr::test

namespace kr::test {
namespace {

TEST_F(SearchScheduleTest, SelectedViewReadsRunsOfTaggedTasks) {
    // Dates run backwards, so that date order is the reverse of number order.
    for (int i = 1; i <= 300; ++i)
        add(i, QStringLiteral("Task %1").arg(i), DateFromYmd(2027, 1, 1) - i);
    std::vector<qint32> tagged;
    for (int i = 2; i <= 120; i += 3) // a dense run: read in one go
        tagged.push_back(i);
    tagged.push_back(290); // a lone one: read by its number
    tagged.push_back(301); // never existed
    {
        Table<Schedule> tasks(*store);
        Schedule gone;
        gone.id = 50;
        ASSERT_EQ(tasks.get(Schedule::KEYID, gone), Err::None);
        ASSERT_EQ(tasks.remove(gone), Err::None);
    }
    ScheduleListModel model(*store, QStringLiteral("d3"));
    ScheduleListModel::Filter f;
    f.view = ScheduleView::Selected;
    f.tagged = tagged;
    model.setFilter(std::move(f));
    QStringList shown;
    for (int r = 0; r < model.rowCount(); ++r)
        shown << model.data(model.index(r, ScheduleListModel::DescriptionColumn), Qt::DisplayRole).toString();
    QStringList expected{QStringLiteral("Task 290")};
    for (int i = 119; i >= 2; i -= 3)
        if (i != 50)
            expected << QStringLiteral("Task %1").arg(i);
    EXPECT_EQ(shown, expected);
}

} // namespace
} // namespace kr::test
