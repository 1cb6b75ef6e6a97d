// Deleting and changing records under the rules that tie the tables together, with a second
// station working on the same data file.

#include "store/RecordChanges.h"
#include "Peer.h"
#include "StoreFixture.h"
#include "store/Numbering.h"
#include "support/Refusals.h"

#include <QElapsedTimer>

namespace kr::test {
namespace {

class RecordChangesTest : public StoreFixture {
protected:
    void addTask(qint32 id, int items, const QString& category = {}) {
        Table<Schedule> tasks(*store);
        Schedule t = Task(id);
        t.category = category;
        ASSERT_EQ(tasks.add(t), Err::None);
        Table<Scripting> script(*store);
        for (int i = 1; i <= items; ++i) {
            Scripting s;
            s.id = id;
            s.sequence = i;
            s.action = QStringLiteral("Send Keystrokes");
            ASSERT_EQ(script.add(s), Err::None);
        }
    }
    template <class R> R load(Table<R>& table, int key, R probe) {
        table.watch();
        EXPECT_EQ(table.get(key, probe), Err::None);
        return probe;
    }
    Schedule loadTask(Table<Schedule>& tasks, qint32 id) {
        Schedule t;
        t.id = id;
        return load(tasks, Schedule::KEYID, t);
    }
    Categories loadCategory(Table<Categories>& table, const QString& name) {
        Categories c;
        c.category = name;
        return load(table, Categories::KEYCATEGORY, c);
    }
    QList<qint32> itemsOf(qint32 id) {
        Table<Scripting> script(*store);
        QList<qint32> out;
        Scripting s;
        script.set(-1);
        while (script.next(s) == Err::None)
            if (s.id == id)
                out << s.sequence;
        return out;
    }
    // Makes the database refuse one kind of change, as a failing disk or a damaged page would.
    void refuse(TableAccess& table, const QString& when) {
        ASSERT_TRUE(RefuseChanges(table, when, QStringLiteral("refuse_") + table.decl().sqlName).ok());
    }
};

TEST_F(RecordChangesTest, DeletingATaskTakesItsScriptAllOrNothing) {
    addTask(7, 5);
    addTask(8, 2);
    addTask(9, 5);
    Table<Schedule> tasks(*store);

    Schedule seven = loadTask(tasks, 7);
    EXPECT_EQ(DeleteCurrent(tasks, seven), ChangeResult::Done);
    EXPECT_TRUE(itemsOf(7).isEmpty());
    EXPECT_EQ(itemsOf(8), (QList<qint32>{1, 2}));
    Schedule probe;
    probe.id = 7;
    EXPECT_EQ(tasks.get(Schedule::KEYID, probe), Err::RecordNotFound);

    // The fourth item cannot go: nothing goes, and the user is told once.
    Table<Scripting> script(*store);
    refuse(script, QStringLiteral("DELETE old.ID = 9 AND old.SEQUENCE = 4"));
    Schedule nine = loadTask(tasks, 9);
    EXPECT_EQ(DeleteCurrent(tasks, nine), ChangeResult::Failed);
    EXPECT_EQ(itemsOf(9), (QList<qint32>{1, 2, 3, 4, 5}));
    probe.id = 9;
    EXPECT_EQ(tasks.get(Schedule::KEYID, probe), Err::None);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Delete Operation Error"));
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("An error (")));
    EXPECT_TRUE(dialogs.shown[0].text.endsWith(
        QStringLiteral(") was experienced when attempting to delete a record from the file Scripting.")));
}

TEST_F(RecordChangesTest, CategoriesInUseByTasksCannotGoOrBeRenamed) {
    Table<Categories> categories(*store);
    for (const char* name : {"Work", "Errands", "Spare"}) {
        Categories c;
        c.category = QString::fromLatin1(name);
        ASSERT_EQ(categories.add(c), Err::None);
    }
    addTask(1, 0, QStringLiteral("work")); // letter case does not matter
    Table<Todo> todos(*store);
    Todo todo;
    todo.todo = QStringLiteral("Buy stamps");
    todo.category = QStringLiteral("Errands");
    ASSERT_EQ(todos.add(todo), Err::None);

    Categories work = loadCategory(categories, QStringLiteral("Work"));
    EXPECT_EQ(DeleteCurrent(categories, work), ChangeResult::Failed);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Referential Integrity Delete Error"));
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("This record is referenced from the file Schedule.  This record "
                             "cannot be deleted while these references exist."));
    EXPECT_EQ(categories.records(), 3);

    // To-do entries do not hold a category back.
    Categories errands = loadCategory(categories, QStringLiteral("Errands"));
    EXPECT_EQ(DeleteCurrent(categories, errands), ChangeResult::Done);
    EXPECT_EQ(categories.records(), 2);
    todos.set(-1);
    ASSERT_EQ(todos.next(todo), Err::None);
    EXPECT_EQ(todo.category, QStringLiteral("Errands"));

    // Renaming a category in use is refused and the name goes back.
    dialogs.shown.clear();
    work = loadCategory(categories, QStringLiteral("Work"));
    const Categories original = work;
    work.category = QStringLiteral("Job");
    EXPECT_EQ(UpdateCurrent(categories, work, original, false), ChangeResult::Failed);
    EXPECT_EQ(work.category, QStringLiteral("Work"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Referential Integrity Update Error"));
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("This record is referenced from the file Schedule.  Linking field(s) have been "
                             "restricted from change and have been reset to original values."));
    Categories job;
    job.category = QStringLiteral("Job");
    EXPECT_EQ(categories.get(Categories::KEYCATEGORY, job), Err::RecordNotFound);
    // The refused change left the record as loaded: a change that keeps the name goes through.
    EXPECT_EQ(UpdateCurrent(categories, work, original, false), ChangeResult::Done);

    // Its letter case may change: the tasks still find it.
    work = loadCategory(categories, QStringLiteral("Work"));
    const Categories before = work;
    work.category = QStringLiteral("WORK");
    EXPECT_EQ(UpdateCurrent(categories, work, before, false), ChangeResult::Done);

    // An unused one may be renamed.
    Categories spare = loadCategory(categories, QStringLiteral("Spare"));
    const Categories spareOriginal = spare;
    spare.category = QStringLiteral("Hobby");
    EXPECT_EQ(UpdateCurrent(categories, spare, spareOriginal, false), ChangeResult::Done);
    Categories hobby;
    hobby.category = QStringLiteral("Hobby");
    EXPECT_EQ(categories.get(Categories::KEYCATEGORY, hobby), Err::None);
}

TEST_F(RecordChangesTest, ContactCategoriesFollowTheSameRules) {
    Table<ContactCategories> categories(*store);
    ContactCategories friends;
    friends.contactCategory = QStringLiteral("Friends");
    ASSERT_EQ(categories.add(friends), Err::None);
    Table<Contact> contacts(*store);
    Contact ann;
    ann.clientId = 1;
    ann.lastName = QStringLiteral("Smith");
    ann.contactCategory = QStringLiteral("Friends");
    ASSERT_EQ(contacts.add(ann), Err::None);

    ContactCategories loaded;
    loaded.contactCategory = QStringLiteral("Friends");
    loaded = load(categories, ContactCategories::KEYCONTACTCATEGORIES, loaded);
    const ContactCategories original = loaded;
    loaded.contactCategory = QStringLiteral("Pals");
    EXPECT_EQ(UpdateCurrent(categories, loaded, original, true), ChangeResult::Failed);
    EXPECT_EQ(loaded.contactCategory, QStringLiteral("Friends"));
    EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Referential Integrity Update Error")});
    EXPECT_EQ(DeleteCurrent(categories, loaded), ChangeResult::Failed);
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("from the file Contact.")));
}

TEST_F(RecordChangesTest, RenumberingATaskCarriesItsScript) {
    addTask(3, 3);
    Table<Schedule> tasks(*store);
    Schedule t = loadTask(tasks, 3);
    const Schedule original = t;
    t.id = 30;
    EXPECT_EQ(UpdateCurrent(tasks, t, original, false), ChangeResult::Done);
    EXPECT_TRUE(itemsOf(3).isEmpty());
    EXPECT_EQ(itemsOf(30), (QList<qint32>{1, 2, 3}));
}

TEST_F(RecordChangesTest, AnotherStationsChangeIsShownNotOverwritten) {
    addTask(7, 0);
    Table<Schedule> tasks(*store);
    Schedule mine = loadTask(tasks, 7);
    RecordEditor<Schedule> editor(
        tasks, Request::Change, mine,
        {false, false, [](Schedule& s) { StampTask(s, QStringLiteral("A"), 100, 200); }});

    Peer peer(dir.path());
    EXPECT_EQ(peer.ask(QStringLiteral("load 7")), QStringLiteral("0 Task 7"));
    EXPECT_EQ(peer.ask(QStringLiteral("put Saved by B")), QStringLiteral("0"));

    mine.description = QStringLiteral("Saved by A");
    EXPECT_EQ(editor.save(mine), EditOutcome::Redisplay);
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("This record was changed by another station.")});
    EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Update Operation Error")});
    EXPECT_EQ(mine.description, QStringLiteral("Saved by B"));

    // Entered again over the other station's version, it goes through.
    mine.description = QStringLiteral("Saved by A");
    EXPECT_EQ(editor.save(mine), EditOutcome::Saved);
    EXPECT_EQ(peer.ask(QStringLiteral("load 7")), QStringLiteral("0 Saved by A"));
    EXPECT_EQ(mine.networkUser, QStringLiteral("A"));
}

TEST_F(RecordChangesTest, ContactsTellAnotherStationsChangeAtLength) {
    Table<Contact> contacts(*store);
    Contact c;
    c.clientId = 4;
    c.lastName = QStringLiteral("Jones");
    ASSERT_EQ(contacts.add(c), Err::None);
    Contact probe;
    probe.clientId = 4;
    Contact mine = load(contacts, Contact::KEYCLIENTID, probe);
    RecordEditor<Contact> editor(contacts, Request::Change, mine, {true, false, {}});

    Peer peer(dir.path());
    EXPECT_EQ(peer.ask(QStringLiteral("contact-load 4")), QStringLiteral("0 Jones"));
    EXPECT_EQ(peer.ask(QStringLiteral("contact-put Jones-Brown")), QStringLiteral("0"));
    mine.lastName = QStringLiteral("Brown");
    EXPECT_EQ(editor.save(mine), EditOutcome::Redisplay);
    EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Record Was Not Updated")});
    EXPECT_EQ(dialogs.texts(),
              QStringList{QStringLiteral(
                  "This record was changed by another station. Those changes will now be displayed. "
                  "Use the Ditto Button or Ctrl+' to recall your changes.")});
    EXPECT_EQ(mine.lastName, QStringLiteral("Jones-Brown"));
}

TEST_F(RecordChangesTest, NothingChangedWritesNothingExceptStampedTasks) {
    Table<Contact> contacts(*store);
    Contact c;
    c.clientId = 1;
    c.lastName = QStringLiteral("Lee");
    ASSERT_EQ(contacts.add(c), Err::None);
    Contact probe;
    probe.clientId = 1;
    Contact mine = load(contacts, Contact::KEYCLIENTID, probe);
    const qint64 version = mine.meta.version;
    RecordEditor<Contact> contactEditor(contacts, Request::Change, mine, {true, false, {}});
    EXPECT_EQ(contactEditor.save(mine), EditOutcome::Saved);
    contacts.get(Contact::KEYCLIENTID, probe);
    EXPECT_EQ(probe.meta.version, version);

    addTask(2, 0);
    Table<Schedule> tasks(*store);
    Schedule task = loadTask(tasks, 2);
    const qint64 taskVersion = task.meta.version;
    RecordEditor<Schedule> taskEditor(
        tasks, Request::Change, task,
        {false, false, [](Schedule& s) { StampTask(s, QStringLiteral("B"), 5, 6); }});
    EXPECT_EQ(taskEditor.save(task), EditOutcome::Saved);
    Schedule stored = loadTask(tasks, 2);
    EXPECT_NE(stored.meta.version, taskVersion);
    EXPECT_EQ(stored.networkUser, QStringLiteral("B"));
    EXPECT_EQ(stored.lastChangeDate, 5);
    EXPECT_EQ(stored.originalId, 2);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(RecordChangesTest, ATransactionHeldElsewhereCancelsTheDelete) {
    addTask(5, 1);
    Table<Schedule> tasks(*store);
    Schedule t = loadTask(tasks, 5);
    Peer peer(dir.path());
    EXPECT_EQ(peer.ask(QStringLiteral("begin")), QStringLiteral("0"));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(DeleteCurrent(tasks, t), ChangeResult::Failed);
    // It waited its two seconds (less the margin a server keeps to say so itself).
    EXPECT_GE(timer.elapsed(), 1750);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Transaction Framing Error"));
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("Error: (")));
    EXPECT_TRUE(dialogs.shown[0].text.endsWith(QStringLiteral(
        ") attempting to frame the delete transaction on Schedule.  Delete transaction cancelled.")));
    EXPECT_EQ(peer.ask(QStringLiteral("rollback")), QStringLiteral("0"));
    EXPECT_EQ(itemsOf(5), QList<qint32>{1});
}

TEST_F(RecordChangesTest, FailedSavesAskWhetherToTryAgain) {
    Table<Holidays> holidays(*store);
    Holidays h;
    h.holidayDate = 1000;
    h.holiday = QStringLiteral("Founders");
    ASSERT_EQ(holidays.add(h), Err::None);
    Holidays probe;
    probe.holidayDate = 1000;
    Holidays mine = load(holidays, Holidays::KEYHOLIDAYDATE, probe);
    RecordEditor<Holidays> editor(holidays, Request::Change, mine, {true, false, {}});
    refuse(holidays, QStringLiteral("UPDATE 1"));
    mine.holiday = QStringLiteral("Founders Day");

    // Every message takes an answer: the warnings their OK.
    for (Dialogs::Button b : {Dialogs::Ok, Dialogs::Yes, Dialogs::Ok, Dialogs::Cancel})
        dialogs.answer(b);
    EXPECT_EQ(editor.save(mine), EditOutcome::Stay);
    EXPECT_EQ(dialogs.captions(), (QStringList{"Update Operation Error", "Record Update Error",
                                               "Update Operation Error", "Record Update Error"}));
    EXPECT_EQ(
        dialogs.shown[1].text,
        QStringLiteral("An error was experienced changing this record.  Do you want to try to save again?"));
    EXPECT_EQ(dialogs.shown[1].defaultButton, Dialogs::Cancel);
    dialogs.answer(Dialogs::Ok);
    dialogs.answer(Dialogs::No);
    EXPECT_EQ(editor.save(mine), EditOutcome::Unsaved);

    // Once the file takes changes again, the same edit is saved.
    AllowChanges(holidays, QStringLiteral("refuse_Hol"));
    dialogs.shown.clear();
    const Err dropped = holidays.get(Holidays::KEYHOLIDAYDATE, probe);
    ASSERT_EQ(dropped, Err::None);
    EXPECT_EQ(editor.save(mine), EditOutcome::Saved);
    EXPECT_TRUE(dialogs.shown.empty());
    holidays.get(Holidays::KEYHOLIDAYDATE, probe);
    EXPECT_EQ(probe.holiday, QStringLiteral("Founders Day"));
}

TEST_F(RecordChangesTest, InsertsDeletesAndCancels) {
    Table<Categories> categories(*store);
    Categories work;
    work.category = QStringLiteral("Work");
    RecordEditor<Categories> adding(categories, Request::Insert, work, {});
    EXPECT_EQ(adding.save(work), EditOutcome::Saved);
    Categories again;
    again.category = QStringLiteral("WORK");
    RecordEditor<Categories> duplicate(categories, Request::Insert, again, {});
    EXPECT_EQ(duplicate.save(again), EditOutcome::StayFirstField);
    EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Duplicate Key Error")});
    EXPECT_EQ(dialogs.texts(),
              QStringList{QStringLiteral(
                  "Adding this record creates a duplicate entry for the key:CAT:KEYCATEGORY")});

    // A reserved task goes again on Cancel.
    Table<Schedule> tasks(*store);
    Schedule fresh = Task(0);
    ASSERT_TRUE(ReserveRecordNumber(tasks, fresh));
    EXPECT_EQ(tasks.records(), 1);
    RecordEditor<Schedule> newTask(tasks, Request::Insert, fresh, {false, true, {}});
    newTask.cancel(fresh);
    EXPECT_EQ(tasks.records(), 0);

    // Delete asks first; Cancel keeps the record.
    dialogs.shown.clear();
    Categories loaded = loadCategory(categories, QStringLiteral("Work"));
    RecordEditor<Categories> deleting(categories, Request::Delete, loaded, {});
    dialogs.answer(Dialogs::Cancel);
    EXPECT_FALSE(deleting.remove(loaded));
    EXPECT_EQ(categories.records(), 1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Confirm Delete"));
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("You've selected to delete the highlighted record.  Press OK to "
                             "confirm deletion of this record."));
    EXPECT_EQ(dialogs.shown[0].defaultButton, Dialogs::Cancel);

    // A failing delete is offered again until the user stops.
    refuse(categories, QStringLiteral("DELETE 1"));
    for (Dialogs::Button b : {Dialogs::Ok, Dialogs::Ok, Dialogs::Yes, Dialogs::Ok, Dialogs::No})
        dialogs.answer(b);
    EXPECT_FALSE(deleting.remove(loaded));
    EXPECT_EQ(dialogs.captions().mid(1),
              (QStringList{"Confirm Delete", "Delete Operation Error", "Record Update Error",
                           "Delete Operation Error", "Record Update Error"}));
    EXPECT_EQ(categories.records(), 1);
    AllowChanges(categories, QStringLiteral("refuse_Categories"));
    dialogs.answer(Dialogs::Ok);
    EXPECT_TRUE(deleting.remove(loaded));
    EXPECT_EQ(categories.records(), 0);
}

} // namespace
} // namespace kr::test
