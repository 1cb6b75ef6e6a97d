#include "organizer/ui/Todo.h"
#include "../../store/Peer.h"
#include "Headings.h"
#include "OrganizerFixture.h"
#include "organizer/PickedCategory.h"
#include "platform/qt/Fields.h"
#include "store/Table.h"
#include "store/Transaction.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTableView>
#include <QTest>

namespace kr::test {
namespace {

class TodoTest : public OrganizerFixture {
protected:
    TodoTest() { PickedCategory::schedule().set(QString()); }

    void addCategories(std::initializer_list<const char*> names) {
        Table<Categories> table(*store);
        for (const char* name : names) {
            Categories c;
            c.category = QString::fromLatin1(name);
            ASSERT_EQ(table.add(c), Err::None);
        }
    }
    Todo addTodo(const char* text, int priority, const char* category, int done = 0) {
        Table<Todo> table(*store);
        Todo t;
        t.todo = QString::fromLatin1(text);
        t.priority = static_cast<quint8>(priority);
        t.category = QString::fromLatin1(category);
        t.done = static_cast<quint8>(done);
        EXPECT_EQ(table.add(t), Err::None);
        return t;
    }
    Todo readTodo(const QString& text) {
        Table<Todo> table(*store);
        Todo t;
        t.todo = text;
        table.set(Todo::KEYTODO, t);
        EXPECT_EQ(table.next(t), Err::None);
        return t;
    }
    static QStringList Column(ViewToDo& w, int column) {
        QStringList out;
        for (int r = 0; r < w.model()->rowCount(); ++r)
            out << w.model()->index(r, column).data().toString();
        return out;
    }
    static void Select(ViewToDo& w, const QString& text) {
        for (int r = 0; r < w.model()->rowCount(); ++r)
            if (w.model()->index(r, ViewToDo::TodoColumn).data().toString() == text)
                w.list()->selectRow(r);
    }
};

TEST_F(TodoTest, TheListShowsItsFourOrdersAndFiltersTheCategoryWhateverTheCase) {
    addTodo("Buy milk", 3, "home");
    addTodo("Write report", 1, "Work", 1);
    addTodo("Call plumber", 3, "HOME");
    addTodo("Archive mail", 7, "Work");
    ViewToDo w(*ctx);
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("To Do List"));
    QStringList headers;
    for (int c = 0; c < w.model()->columnCount(); ++c)
        headers << w.model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(headers,
              (QStringList{"", "Priority", "To Do", "Category", "Completion Date", "Completion Time"}));
    // Open before done, then priority, then text.
    EXPECT_EQ(Column(w, ViewToDo::TodoColumn),
              (QStringList{"Buy milk", "Call plumber", "Archive mail", "Write report"}));
    EXPECT_EQ(Column(w, ViewToDo::PriorityColumn), (QStringList{" 3", " 3", " 7", " 1"}));
    EXPECT_FALSE(w.model()->index(0, ViewToDo::DoneColumn).data(Qt::DecorationRole).value<QIcon>().isNull());
    w.tabs()->setCurrentIndex(ViewToDo::PriorityTab);
    EXPECT_EQ(Column(w, ViewToDo::TodoColumn),
              (QStringList{"Write report", "Buy milk", "Call plumber", "Archive mail"}));
    w.tabs()->setCurrentIndex(ViewToDo::TodoTab);
    EXPECT_EQ(Column(w, ViewToDo::TodoColumn),
              (QStringList{"Archive mail", "Buy milk", "Call plumber", "Write report"}));
    EXPECT_EQ(w.toggleButton()->text(), QStringLiteral("&Toggle Done Status"));

    // The category tab follows the category picked anywhere in the program.
    pickCategory = [](const QString&) { return QStringLiteral("Home"); };
    w.tabs()->setCurrentIndex(ViewToDo::CategoryTab);
    EXPECT_EQ(w.toggleButton()->text(), QStringLiteral("&Toggle"));
    EXPECT_EQ(w.model()->rowCount(), 0);
    w.pickButton()->click();
    EXPECT_EQ(Column(w, ViewToDo::TodoColumn), (QStringList{"Buy milk", "Call plumber"}));
    PickedCategory::schedule().set(QStringLiteral("work"));
    EXPECT_EQ(Column(w, ViewToDo::TodoColumn), (QStringList{"Write report", "Archive mail"}));

    ctx->multiUser = true;
    ViewToDo named(*ctx);
    EXPECT_EQ(named.windowTitle(), QStringLiteral("To Do List - ALICE"));
}

TEST_F(TodoTest, ANewEntryTakesThePickedCategoryAndIsCheckedAsItIsLeft) {
    addCategories({"Work", "Home", "Errands"});
    PickedCategory::schedule().set(QStringLiteral("Home"));
    for (int i = 0; i < 12; ++i)
        addTodo(qPrintable(QStringLiteral("Old %1").arg(i, 2, 10, QLatin1Char('0'))), 5, "Work");
    ViewToDo w(*ctx);
    EXPECT_EQ(UpdateTodo(*ctx, Request::Insert, Todo{}).windowTitle(), QStringLiteral("Update To Do Item"));
    const bool opened = WithOpened<UpdateTodo>(
        [&] { w.addButton()->click(); },
        [&](UpdateTodo& form) {
            EXPECT_EQ(form.windowTitle(), QStringLiteral("Adding a To Do Item"));
            EXPECT_EQ(form.priorityField()->text(), QStringLiteral("5"));
            EXPECT_EQ(form.categoryField()->currentText(), QStringLiteral("Home"));
            QStringList listed;
            for (int i = 0; i < form.categoryField()->count(); ++i)
                listed << form.categoryField()->itemText(i);
            EXPECT_EQ(listed, (QStringList{"Errands", "Home", "Work"}));

            form.todoField()->setText(QStringLiteral("Fix the gate"));
            // Out of range: the exact warning, and the form stays.
            for (const char* bad : {"0", "11"}) {
                dialogs.shown.clear();
                form.priorityField()->setText(QString::fromLatin1(bad));
                form.okButton()->click();
                ASSERT_TRUE(form.isVisible());
                EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Range Error")});
                EXPECT_EQ(dialogs.texts(),
                          QStringList{QStringLiteral("The value of TDO:Priority must be between 1 and 10.")});
            }
            // Leaving the field by the keyboard is checked too.
            dialogs.shown.clear();
            QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(form.priorityField(), &leave);
            EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Range Error")});
            QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
            QApplication::sendEvent(form.priorityField(), &popup); // a menu: not left
            EXPECT_EQ(dialogs.shown.size(), 1u);
            dialogs.shown.clear();
            form.priorityField()->setText(QStringLiteral("1"));
            EXPECT_TRUE(form.checkPriority());
            form.priorityField()->setText(QStringLiteral("10"));
            EXPECT_TRUE(form.checkPriority());

            // A category that is not listed keeps the form.
            form.categoryField()->setEditText(QStringLiteral("Garden"));
            form.okButton()->click();
            ASSERT_TRUE(form.isVisible());
            form.categoryField()->setEditText(QStringLiteral("errands"));

            // Checking Done stamps today and now.
            form.doneBox()->click();
            EXPECT_EQ(form.dateField()->date(), DateFromYmd(2026, 12, 8));
            EXPECT_EQ(form.timeField()->time(), TimeFromHms(9, 30, 0));
            form.notesField()->setPlainText(QString(5000, QLatin1Char('n')));
            EXPECT_EQ(form.notesField()->toPlainText().size(), 4096);
            form.okButton()->click();
            EXPECT_FALSE(form.isVisible());
        });
    ASSERT_TRUE(opened);
    EXPECT_TRUE(dialogs.shown.empty());
    const Todo saved = readTodo(QStringLiteral("Fix the gate"));
    EXPECT_EQ(saved.priority, 10);
    EXPECT_EQ(saved.category, QStringLiteral("Errands"));
    EXPECT_EQ(saved.done, 1);
    EXPECT_EQ(saved.completionDate, DateFromYmd(2026, 12, 8));
    EXPECT_EQ(saved.originalId, 12); // the entries there before it
    EXPECT_EQ(saved.networkUser, QStringLiteral("ALICE"));
    EXPECT_EQ(saved.notes.size(), 4096);
    EXPECT_EQ(w.current()->todo, QStringLiteral("Fix the gate")); // highlighted in the list

    // A change keeps the original number.
    addTodo("Another", 5, "Work");
    Select(w, QStringLiteral("Fix the gate"));
    WithOpened<UpdateTodo>([&] { w.editButton()->click(); },
                           [&](UpdateTodo& form) {
                               EXPECT_EQ(form.windowTitle(), QStringLiteral("Changing a To Do Item"));
                               form.todoField()->setText(QStringLiteral("Fix the garden gate"));
                               form.okButton()->click();
                           });
    EXPECT_EQ(readTodo(QStringLiteral("Fix the garden gate")).originalId, 12);
}

TEST_F(TodoTest, EveryColumnOpensWideEnoughForItsHeading) {
    addTodo("Pay rent", 2, "Home");
    ViewToDo w(*ctx);
    w.show();
    EXPECT_TRUE(CutHeadings(w.list()).isEmpty())
        << CutHeadings(w.list()).join(QLatin1Char(' ')).toStdString();
}

TEST_F(TodoTest, ToggleStampsTheEntryAndKeepsTheCompletionMomentWhenReopened) {
    addTodo("Pay rent", 2, "Home");
    ViewToDo w(*ctx);
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    w.toggleButton()->click();
    Todo t = readTodo(QStringLiteral("Pay rent"));
    EXPECT_EQ(t.done, 1);
    EXPECT_EQ(t.completionDate, DateFromYmd(2026, 12, 8));
    EXPECT_EQ(t.completionTime, TimeFromHms(9, 30, 0));
    EXPECT_EQ(t.networkUser, QStringLiteral("ALICE"));
    EXPECT_EQ(t.lastChangeDate, DateFromYmd(2026, 12, 8));
    EXPECT_EQ(w.model()->index(0, ViewToDo::DateColumn).data().toString(), QStringLiteral("DEC 08,2026"));

    clock.set(DateFromYmd(2026, 12, 9), TimeFromHms(8, 0, 0));
    w.toggleButton()->click();
    t = readTodo(QStringLiteral("Pay rent"));
    EXPECT_EQ(t.done, 0);
    EXPECT_EQ(t.completionDate, DateFromYmd(2026, 12, 8));
    EXPECT_EQ(t.completionTime, TimeFromHms(9, 30, 0));
    EXPECT_EQ(t.lastChangeDate, DateFromYmd(2026, 12, 9));
    EXPECT_TRUE(dialogs.shown.empty());

    // Delete asks first, through the right-click menu as through the button.
    dialogs.answer(Dialogs::Ok);
    w.contextMenu()->actions().at(2)->trigger();
    EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Confirm Delete")});
    EXPECT_EQ(w.model()->rowCount(), 0);
    EXPECT_FALSE(w.toggleButton()->isEnabled());
}

TEST_F(TodoTest, AnotherStationsChangeIsShownNotOverwritten) {
    addTodo("Book flights", 4, "Travel");
    ViewToDo w(*ctx);
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    Peer peer(dir.path());
    ASSERT_EQ(peer.ask(QStringLiteral("open")), QStringLiteral("0"));
    WithOpened<UpdateTodo>(
        [&] { w.editButton()->click(); },
        [&](UpdateTodo& form) {
            EXPECT_EQ(peer.ask(QStringLiteral("todo-rename Book flights|Book trains")), QStringLiteral("0"));
            form.todoField()->setText(QStringLiteral("Book hotel"));
            form.okButton()->click();
            EXPECT_TRUE(form.isVisible());
            EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Record Was Not Updated")});
            EXPECT_EQ(form.todoField()->text(), QStringLiteral("Book trains")); // theirs, shown
            form.okButton()->click(); // nothing changed since: nothing written, closed
            EXPECT_FALSE(form.isVisible());
        });
    EXPECT_EQ(Column(w, ViewToDo::TodoColumn), QStringList{QStringLiteral("Book trains")});

    // Toggling reads the entry afresh and does not overwrite a change made meanwhile.
    EXPECT_EQ(peer.ask(QStringLiteral("todo-rename Book trains|Book ferry")), QStringLiteral("0"));
    w.toggleButton()->click();
    const Todo t = readTodo(QStringLiteral("Book ferry"));
    EXPECT_EQ(t.done, 1);
}

TEST_F(TodoTest, ALargeListShowsEveryEntryOnceCountedAndKeepsTheHighlightedOne) {
    CountInTheBackground background;
    {
        Table<Todo> table(*store);
        Transaction tx;
        ASSERT_EQ(tx.begin({&table}), Err::None);
        for (int i = 0; i < 20000; ++i) {
            Todo t;
            t.todo = QStringLiteral("Entry %1").arg(i, 5, 10, QLatin1Char('0'));
            t.priority = 5;
            t.category = i % 2 == 0 ? QStringLiteral("Home") : QStringLiteral("Work");
            ASSERT_EQ(table.add(t), Err::None);
        }
        ASSERT_EQ(tx.commit(), Err::None);
    }
    PickedCategory::schedule().set(QStringLiteral("home"));
    ViewToDo w(*ctx);
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    w.tabs()->setCurrentIndex(ViewToDo::CategoryTab);
    EXPECT_NE(w.model()->rowCount(), 10000); // the estimate, until the count is done
    w.list()->selectRow(7);
    ASSERT_NE(w.current(), nullptr);
    const QString highlighted = Clip(w.current()->todo);
    ASSERT_TRUE(WaitFor([&] { return w.model()->rowCount() == 10000; })) << w.model()->rowCount();
    ASSERT_NE(w.current(), nullptr);
    EXPECT_EQ(Clip(w.current()->todo), highlighted);
    ASSERT_NE(w.model()->recordAt(9999), nullptr);
    EXPECT_EQ(Clip(w.model()->recordAt(9999)->todo), QStringLiteral("Entry 19998"));
    EXPECT_EQ(w.model()->recordAt(10000), nullptr);
}

} // namespace
} // namespace kr::test
