#include "organizer/ui/Categories.h"
#include "Headings.h"
#include "platform/DateTime.h"
#include "store/Table.h"
#include "support/Accelerators.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

QStringList Column(const QTableWidget* list, int column) {
    QStringList out;
    for (int i = 0; i < list->rowCount(); ++i)
        out << list->item(i, column)->text();
    return out;
}

// The menu's items, "~" before a greyed one.
QStringList MenuItems(const QMenu& menu) {
    QStringList out;
    for (const QAction* a : menu.actions())
        out << (a->isEnabled() ? QString() : QStringLiteral("~")) + a->text();
    return out;
}

void Select(QTableWidget* list, const QString& text) {
    list->selectRow(list->findItems(text, Qt::MatchExactly).value(0)->row());
}

// Runs `step` on the window of type W that `button` opens, while it waits for the user.
template <class W> void WithOpened(QPushButton* button, std::function<void(W&)> step) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
        if (w == nullptr)
            return;
        opened = true;
        step(*w);
    });
    button->click();
    EXPECT_TRUE(opened) << "the window did not open";
}

class CategoriesTest : public ::testing::Test {
protected:
    CategoriesTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        ctx = std::make_unique<CategoryContext>(
            CategoryContext{*store, dialogs, IniFile(dir.file(QStringLiteral("POSITION.INI"))),
                            QStringLiteral("d3"), [this](Request r, Schedule& t) {
                                requests.push_back(r);
                                handed.push_back(t);
                                taskForm(t);
                            }});
    }
    void addCategories(std::initializer_list<const char*> names) {
        Table<Categories> table(*store);
        for (const char* name : names) {
            Categories c;
            c.category = QString::fromLatin1(name);
            ASSERT_EQ(table.add(c), Err::None);
        }
    }
    void addTask(qint32 id, const char* category, const char* description) {
        Table<Schedule> tasks(*store);
        Schedule t;
        t.id = id;
        t.category = QString::fromLatin1(category);
        t.description = QString::fromLatin1(description);
        t.date = DateFromYmd(2026, 7, 4);
        t.time = TimeFromHms(17, 5, 0);
        t.taskType = QStringLiteral("Run Program");
        t.scheduleType = QStringLiteral("Once");
        ASSERT_EQ(tasks.add(t), Err::None);
    }
    // Types `name` into the form `button` opens and presses OK; returns the field's text
    // when the form stayed open (and cancels it), "closed" otherwise.
    QString enter(QPushButton* button, const QString& name, QString* caption = nullptr) {
        QString outcome;
        WithOpened<UpdateCategories>(button, [&](UpdateCategories& form) {
            if (caption)
                *caption = form.windowTitle();
            form.categoryField()->setText(name);
            form.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            outcome = form.isVisible() ? form.categoryField()->text() : QStringLiteral("closed");
            if (form.isVisible())
                form.reject();
        });
        return outcome;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    std::unique_ptr<Store> store;
    std::unique_ptr<CategoryContext> ctx;
    std::vector<Request> requests;
    std::vector<Schedule> handed;
    std::function<void(Schedule&)> taskForm = [](Schedule&) {};
};

TEST_F(CategoriesTest, TheListAddsChangesAndDeletesThroughItsButtonsAndMenu) {
    BrowseCategories w(*ctx);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Categories"));
    EXPECT_EQ(MenuItems(*w.contextMenu()), (QStringList{"&Add", "~&Edit", "~&Delete"}));

    QString caption;
    EXPECT_EQ(enter(w.addButton(), QStringLiteral("Work"), &caption), QStringLiteral("closed"));
    EXPECT_EQ(caption, QStringLiteral("Adding a Categories Record"));
    EXPECT_EQ(enter(w.addButton(), QStringLiteral(" Home "), &caption), QStringLiteral("closed"));
    EXPECT_EQ(Column(w.list(), 0), (QStringList{"Home", "Work"}));
    EXPECT_EQ(MenuItems(*w.contextMenu()), (QStringList{"&Add", "&Edit", "&Delete"}));

    // A name already there, in any letter case, keeps the form at its field; a blank one
    // is refused without a message.
    EXPECT_EQ(enter(w.addButton(), QStringLiteral("WORK")), QStringLiteral("WORK"));
    EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Duplicate Key Error")});
    EXPECT_EQ(dialogs.texts(),
              QStringList{QStringLiteral(
                  "Adding this record creates a duplicate entry for the key:CAT:KEYCATEGORY")});
    EXPECT_EQ(enter(w.addButton(), QStringLiteral("   ")), QStringLiteral("   "));
    EXPECT_EQ(dialogs.shown.size(), 1u);

    Select(w.list(), QStringLiteral("Work"));
    EXPECT_EQ(enter(w.editButton(), QStringLiteral("Errands"), &caption), QStringLiteral("closed"));
    EXPECT_EQ(caption, QStringLiteral("Changing a Categories Record"));
    EXPECT_EQ(Column(w.list(), 0), (QStringList{"Errands", "Home"}));
    EXPECT_EQ(w.currentCategory(), QStringLiteral("Errands"));

    Select(w.list(), QStringLiteral("Home"));
    dialogs.shown.clear();
    dialogs.answer(Dialogs::Cancel);
    w.deleteButton()->click();
    EXPECT_EQ(w.list()->rowCount(), 2);
    dialogs.answer(Dialogs::Ok);
    w.contextMenu()->actions().at(2)->trigger();
    EXPECT_EQ(dialogs.captions(), (QStringList{"Confirm Delete", "Confirm Delete"}));
    EXPECT_EQ(Column(w.list(), 0), QStringList{QStringLiteral("Errands")});

    w.done(QDialog::Accepted);
    EXPECT_FALSE(ctx->positions.read(QStringLiteral("BrowseCategories"), QStringLiteral("Width")).isEmpty());
}

TEST_F(CategoriesTest, TheFormIsUpdateCategoryAndRefusesADelete) {
    UpdateCategories adding(*ctx, Request::Insert, Categories{});
    EXPECT_EQ(adding.windowTitle(), QStringLiteral("Update Category"));

    // Deleting is the list's work: the form says so and closes, writing nothing.
    addCategories({"Work"});
    Table<Categories> table(*store);
    Categories work;
    work.category = QStringLiteral("Work");
    ASSERT_EQ(table.get(Categories::KEYCATEGORY, work), Err::None);
    UpdateCategories deleting(*ctx, Request::Delete, work);
    EXPECT_EQ(deleting.exec(), QDialog::Rejected);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Invalid Request"));
    EXPECT_EQ(
        dialogs.shown[0].text,
        QStringLiteral("This procedure was called to delete a record, however deletions are not allowed "
                       "for this procedure.  Press OK to return to the calling procedure"));
    EXPECT_EQ(table.records(), 1);
}

TEST_F(CategoriesTest, ACategoryATaskUsesCanNeitherGoNorBeRenamed) {
    addCategories({"Errands", "Work"});
    addTask(1, "work", "Report");
    Table<Todo> todos(*store);
    Todo todo;
    todo.category = QStringLiteral("Errands");
    ASSERT_EQ(todos.add(todo), Err::None);
    BrowseCategories w(*ctx);

    Select(w.list(), QStringLiteral("Work"));
    dialogs.answer(Dialogs::Ok);
    w.deleteButton()->click();
    EXPECT_EQ(dialogs.captions(),
              (QStringList{"Confirm Delete", "Referential Integrity Delete Error", "Record Update Error"}));
    EXPECT_EQ(dialogs.shown[1].text,
              QStringLiteral("This record is referenced from the file Schedule.  This record "
                             "cannot be deleted while these references exist."));

    // The refused rename shows the old name again and leaves the form open.
    dialogs.shown.clear();
    EXPECT_EQ(enter(w.editButton(), QStringLiteral("Job")), QStringLiteral("Work"));
    EXPECT_EQ(dialogs.captions(), (QStringList{"Referential Integrity Update Error", "Record Update Error"}));

    // To-do entries do not hold a category back, and keep its name.
    Select(w.list(), QStringLiteral("Errands"));
    dialogs.answer(Dialogs::Ok);
    w.deleteButton()->click();
    EXPECT_EQ(Column(w.list(), 0), QStringList{QStringLiteral("Work")});
    todos.set(-1);
    ASSERT_EQ(todos.next(todo), Err::None);
    EXPECT_EQ(todo.category, QStringLiteral("Errands"));
}

TEST_F(CategoriesTest, TheScheduleOfACategoryListsItsTasksWhateverTheLetterCase) {
    addCategories({"Garden", "Home", "Homework"});
    addTask(1, "home", "Water plants");
    addTask(2, "Homework", "Essay");
    addTask(3, "HOME", "Backup");
    addTask(4, "Garden", "Mow");
    addTask(5, "Home", "call mum");
    BrowseCategories w(*ctx);
    Select(w.list(), QStringLiteral("Home"));
    WithOpened<BrowseScheduleByCategory>(w.scheduleButton(), [](BrowseScheduleByCategory& tasks) {
        EXPECT_EQ(tasks.windowTitle(), QStringLiteral("Browse Schedule for Home"));
        EXPECT_EQ(Column(tasks.list(), 0), (QStringList{"Backup", "call mum", "Water plants"}));
        QStringList first;
        for (int c = 0; c < 5; ++c)
            first << tasks.list()->horizontalHeaderItem(c)->text() + QLatin1Char('=') +
                         tasks.list()->item(0, c)->text();
        EXPECT_EQ(first, (QStringList{"Description=Backup", "Date=JUL 04,2026", "Time=5:05PM",
                                      "Task Type=Run Program", "Schedule Type=Once"}));
        tasks.reject();
    });
    EXPECT_FALSE(
        ctx->positions.read(QStringLiteral("BrowseSCH:KeyCategory"), QStringLiteral("Width")).isEmpty());

    // Dates follow the user's date format.
    ctx->dateFormat = QStringLiteral("d6");
    BrowseScheduleByCategory garden(*ctx, QStringLiteral("garden"));
    EXPECT_EQ(Column(garden.list(), 1), QStringList{QStringLiteral("04/07/2026")});
}

TEST_F(CategoriesTest, TheScheduleOfACategoryHandsItsTasksToTheTaskForm) {
    addTask(1, "Home", "Backup");
    addTask(2, "home", "Water plants");
    BrowseScheduleByCategory w(*ctx, QStringLiteral("Home"));

    taskForm = [this](Schedule& t) {
        t.id = 3;
        t.description = QStringLiteral("Clean windows");
        Table<Schedule>(*store).add(t);
    };
    w.addButton()->click();
    EXPECT_EQ(requests, std::vector<Request>{Request::Insert});
    EXPECT_EQ(handed[0].category, QStringLiteral("Home"));
    EXPECT_EQ(Column(w.list(), 0), (QStringList{"Backup", "Clean windows", "Water plants"}));
    EXPECT_EQ(w.list()->currentRow(), 1); // the new task

    // The task is read again, with another station's later change detected.
    Table<Schedule> tasks(*store);
    Schedule t;
    t.id = 2;
    ASSERT_EQ(tasks.get(Schedule::KEYID, t), Err::None);
    t.description = QStringLiteral("Water the plants");
    ASSERT_EQ(tasks.put(t), Err::None);
    taskForm = [&tasks](Schedule& mine) {
        Schedule other = mine;
        ASSERT_EQ(tasks.put(other), Err::None);
        EXPECT_EQ(tasks.put(mine), Err::RecordChanged);
    };
    w.list()->selectRow(2);
    w.editButton()->click();
    w.list()->selectRow(0);
    w.deleteButton()->click();
    EXPECT_EQ(requests, (std::vector<Request>{Request::Insert, Request::Change, Request::Delete}));
    EXPECT_EQ(handed[1].description, QStringLiteral("Water the plants"));
    EXPECT_EQ(handed[2].description, QStringLiteral("Backup"));

    BrowseScheduleByCategory none(*ctx, QStringLiteral("Garden"));
    EXPECT_EQ(MenuItems(*none.contextMenu()), (QStringList{"&Add", "~&Edit", "~&Delete"}));
}

TEST_F(CategoriesTest, ThePickerReturnsTheHighlightedCategory) {
    addCategories({"Errands", "Home", "Work"});
    SelectCategories picker(*ctx, QStringLiteral("home"));
    EXPECT_EQ(picker.windowTitle(), QStringLiteral("Select a Category"));
    EXPECT_EQ(picker.currentCategory(), QStringLiteral("Home")); // opens at the current one
    picker.list()->selectRow(2);
    picker.selectButton()->click();
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    EXPECT_EQ(picker.selectedCategory(), QStringLiteral("Work"));

    // A double click picks.
    SelectCategories clicked(*ctx);
    clicked.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&clicked));
    const QPoint errands = clicked.list()->visualItemRect(clicked.list()->item(0, 0)).center();
    QTest::mouseClick(clicked.list()->viewport(), Qt::LeftButton, {}, errands);
    QTest::mouseDClick(clicked.list()->viewport(), Qt::LeftButton, {}, errands);
    EXPECT_EQ(clicked.selectedCategory(), QStringLiteral("Errands"));
}

TEST_F(CategoriesTest, EveryColumnOpensWideEnoughForItsHeading) {
    addCategories({"Work"});
    addTask(1, "Work", "Backup");
    BrowseCategories browse(*ctx);
    browse.show();
    EXPECT_TRUE(CutHeadings(browse.list()).isEmpty())
        << CutHeadings(browse.list()).join(QLatin1Char(' ')).toStdString();
    SelectCategories select(*ctx);
    select.show();
    EXPECT_TRUE(CutHeadings(select.list()).isEmpty())
        << CutHeadings(select.list()).join(QLatin1Char(' ')).toStdString();
    BrowseScheduleByCategory tasks(*ctx, QStringLiteral("Work"));
    tasks.show();
    EXPECT_TRUE(CutHeadings(tasks.list()).isEmpty())
        << CutHeadings(tasks.list()).join(QLatin1Char(' ')).toStdString();
}

TEST_F(CategoriesTest, NoTwoControlsShareAnAccelerator) {
    Categories c;
    UpdateCategories form(*ctx, Request::Insert, c);
    EXPECT_EQ(AcceleratorClashes(&form), QStringList());
    BrowseCategories list(*ctx);
    EXPECT_EQ(AcceleratorClashes(&list), QStringList());
    SelectCategories picker(*ctx);
    EXPECT_EQ(AcceleratorClashes(&picker), QStringList());
    BrowseScheduleByCategory byCategory(*ctx, QStringLiteral("Home"));
    EXPECT_EQ(AcceleratorClashes(&byCategory), QStringList());
}

} // namespace
} // namespace kr::test
