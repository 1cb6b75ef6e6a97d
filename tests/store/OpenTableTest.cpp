#include "StoreFixture.h"
#include "store/Cipher.h"
#include "store/sqlite/DataFile.h"
#include "store/sqlite/Sqlite.h"

#include <QFile>
#include <QRandomGenerator>

namespace kr::test {
namespace {

using OpenTableTest = StoreFixture;

// Runs raw statements on the data file, as a damaged or foreign file would look.
void Tamper(const QString& path, const QString& sql) {
    sql::SqliteConnection c;
    ASSERT_EQ(c.open(path, false, OwnerRawKey()), 0);
    ASSERT_EQ(c.execCode(sql), 0) << c.errorMessage().toStdString();
}

TEST_F(OpenTableTest, DamagedKeysAreRebuiltWhenTheUserAgrees) {
    {
        Table<Schedule> s(*store);
        for (int i = 1; i <= 3; ++i) {
            Schedule t = Task(i, {}, 100 - i, 1);
            ASSERT_EQ(s.add(t), Err::None);
        }
    }
    Tamper(dataFile(),
           QStringLiteral("DROP INDEX \"s__KEYDATEENABLED\"; UPDATE s SET f_DESCRIPTION='stale'"));
    resetStore();
    dialogs.answer(Dialogs::Yes);
    Table<Schedule> s(*store);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("KR97\\!s in ") + dataFile() +
                  QStringLiteral(" key file is invalid.  Do you want to rebuild the key?"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Invalid Key"));
    EXPECT_EQ(dialogs.shown[0].buttons, unsigned(Dialogs::Yes | Dialogs::No));
    EXPECT_EQ(dialogs.shown[0].defaultButton, Dialogs::Yes);
    Schedule r;
    s.set(Schedule::KEYDATEENABLED);
    ASSERT_EQ(s.next(r), Err::None);
    EXPECT_EQ(r.id, 3);
    r.description = QStringLiteral("task 2");
    r.id = 0;
    // The folded copies were rebuilt too: the nocase key finds the task again.
    Schedule probe;
    probe.description = QStringLiteral("TASK 2");
    s.set(Schedule::KEYTASKNAME, probe);
    ASSERT_EQ(s.next(probe), Err::None);
    EXPECT_EQ(probe.id, 2);
}

TEST_F(OpenTableTest, RefusingToRebuildKeysEndsTheProgram) {
    { Table<Schedule> s(*store); }
    Tamper(dataFile(), QStringLiteral("DROP INDEX \"s__KEYID\""));
    const QByteArray before = FileBytes(dataFile());
    resetStore();
    dialogs.answer(Dialogs::No);
    try {
        Table<Schedule> s(*store);
        FAIL() << "the program should have ended";
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.text, QStringLiteral("Invalid Key!"));
    }
    EXPECT_EQ(FileBytes(dataFile()), before);
}

TEST_F(OpenTableTest, AKeyThatCannotBeRebuiltEndsTheProgram) {
    { Table<Categories> c(*store); }
    // Keys damaged while two names that the unique key tells apart only by case got in.
    Tamper(dataFile(), QStringLiteral("DROP INDEX \"Categories__KEYCATEGORY\";"
                                      "INSERT INTO Categories(CATEGORY, f_CATEGORY) VALUES ('Work','WORK'),"
                                      "('WORK','WORK')"));
    resetStore();
    try {
        Table<Categories> c(*store);
        FAIL() << "the program should have ended";
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.text, QStringLiteral("Error Rebuilding Key!"));
    }
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Invalid Key"));
    EXPECT_EQ(dialogs.shown[1].caption, QStringLiteral("Key Rebuild Error"));
    EXPECT_TRUE(dialogs.shown[1].text.startsWith(QStringLiteral("Error: (")));
    EXPECT_TRUE(dialogs.shown[1].text.endsWith(QStringLiteral(") repairing key for KR97\\!Categories in ") +
                                               dataFile() +
                                               QStringLiteral(".  Press OK to end this application.")));
}

TEST_F(OpenTableTest, AnOlderScheduleLayoutIsUpgradedWithItsRecords) {
    // Layout 7 of the task table had no exception link and no original number.
    std::vector<FieldDecl> fields;
    for (const auto& f : Schedule::fieldDecls()) {
        const QString n = QString::fromLatin1(f.column);
        if (n != QStringLiteral("EXCEPTIONLINK") && n != QStringLiteral("ORIGINALID"))
            fields.push_back(f);
    }
    TableDecl v7 = Schedule::decl();
    v7.version = 7;
    v7.fields = &fields;
    auto index = [&](const char* name) {
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (qstrcmp(fields[i].column, name) == 0)
                return static_cast<int>(i);
        return -1;
    };
    v7.keys.clear();
    for (const auto& k : Schedule::decl().keys) {
        if (qstrcmp(k.name, "KEYORIGINALID") == 0)
            continue;
        KeyDecl copy = k;
        for (int& c : copy.components)
            c = index((*Schedule::decl().fields)[static_cast<std::size_t>(c)].column);
        v7.keys.push_back(copy);
    }
    {
        auto file = store->dataFile(dataFile(), true);
        TableFile old(file, v7);
        ASSERT_TRUE(old.create(7).ok());
        ASSERT_TRUE(old.open(OpenMode::Shared, 7).ok());
        // Records written in the old layout, through the same record structure.
        for (int i = 1; i <= 50; ++i) {
            Schedule t = Task(i, QStringLiteral("Old task %1").arg(i), 1000 + i, 100);
            t.exceptionLink = 99; // not in layout 7: must come out as 0
            t.message = QStringLiteral("message %1").arg(i);
            sql::Statement* st = old.tableStatement(TableFile::Insert);
            st->bind(1, qint64(1));
            int col = 2;
            for (const auto& f : fields) {
                Value v = f.get(&t);
                if (f.isText())
                    st->bind(col++, std::get<QString>(v));
                else
                    st->bind(col++, std::get<qint64>(v));
            }
            for (int ff : old.schema().foldedFields)
                st->bind(col++, sql::Fold(std::get<QString>(fields[static_cast<std::size_t>(ff)].get(&t))));
            ASSERT_EQ(st->step(), sql::Step::Done);
            st->reset();
        }
        EXPECT_EQ(old.open(OpenMode::Shared, 8).code, Err::LayoutDiffers);
    }

    resetStore();
    Table<Schedule> s(*store);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(s.records(), 50);
    Schedule r;
    r.id = 42;
    ASSERT_EQ(s.get(Schedule::KEYID, r), Err::None);
    EXPECT_EQ(r.description, QStringLiteral("Old task 42"));
    EXPECT_EQ(r.message, QStringLiteral("message 42"));
    EXPECT_EQ(r.date, 1042);
    EXPECT_EQ(r.exceptionLink, 0);
    EXPECT_EQ(r.originalId, 0);
    s.set(Schedule::KEYDATEENABLED);
    ASSERT_EQ(s.next(r), Err::None);
    EXPECT_EQ(r.id, 1);
    // The upgraded table takes new fields and keys at once.
    r.originalId = 77;
    ASSERT_EQ(s.put(r), Err::None);
    Schedule byOriginal;
    byOriginal.originalId = 77;
    s.set(Schedule::KEYORIGINALID, byOriginal);
    ASSERT_EQ(s.next(byOriginal), Err::None);
    EXPECT_EQ(byOriginal.id, 1);
}

TEST_F(OpenTableTest, AFileOfRandomBytesEndsTheProgramUntouched) {
    QByteArray junk(64 * 1024, '\0');
    for (auto& b : junk)
        b = static_cast<char>(QRandomGenerator::global()->bounded(256));
    {
        QFile f(dataFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(junk);
    }
    try {
        Table<Schedule> s(*store);
        FAIL() << "the program should have ended";
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.text, QStringLiteral("Disk Error"));
    }
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("File Access Error"));
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("File (KR97\\!s in ") + dataFile() +
                  QStringLiteral(") could not be opened.  Error: Invalid Data File (36)."));
    EXPECT_EQ(FileBytes(dataFile()), junk);
    EXPECT_FALSE(QFileInfo::exists(dataFile() + QStringLiteral("-journal")));
}

TEST_F(OpenTableTest, AFileOfAnotherPasswordDoesNotOpen) {
    {
        sql::SqliteConnection c;
        ASSERT_EQ(c.open(dataFile(), true, QByteArray("not-ours!")), 0);
        ASSERT_EQ(c.execCode(QStringLiteral("CREATE TABLE s(x); INSERT INTO s VALUES (1)")), 0);
    }
    const QByteArray before = FileBytes(dataFile());
    EXPECT_THROW(Table<Schedule> s(*store), ProgramEnded);
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("File Access Error"));
    EXPECT_EQ(FileBytes(dataFile()), before);
}

TEST_F(OpenTableTest, AFileThatCannotBeCreatedEndsTheProgram) {
    Store elsewhere(dir.file(QStringLiteral("no/such/directory")), dialogs, end);
    try {
        Table<Schedule> s(elsewhere);
        FAIL() << "the program should have ended";
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.text, QStringLiteral("File Creation Error!"));
    }
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("File Creation Error"));
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("Error: (")));
    EXPECT_TRUE(dialogs.shown[0].text.endsWith(QStringLiteral(") creating KR97\\!s in ") +
                                               dir.file(QStringLiteral("no/such/directory/KR97.TPS")) +
                                               QStringLiteral(".  Press OK to end this application.")));
}

TEST_F(OpenTableTest, AnUpgradeThatCannotHelpEndsWithTheUpgradeText) {
    { Table<Categories> c(*store); }
    // The file records another layout, and another station keeps the file busy, so the
    // conversion cannot take it exclusively and the table still does not open.
    Tamper(dataFile(), QStringLiteral("UPDATE _layout SET version=9 WHERE name='categories'"));
    resetStore();
    sql::SqliteConnection other;
    ASSERT_EQ(other.open(dataFile(), false, OwnerRawKey()), 0);
    ASSERT_EQ(other.execCode(QStringLiteral("BEGIN IMMEDIATE")), 0);
    try {
        Table<Categories> c(*store);
        FAIL() << "the program should have ended";
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.text, QStringLiteral("The databases must be upgraded before using this version.  "
                                         "Consult your documentation for instructions on this."));
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(OpenTableTest, SynchronizationTablesShareTheFileTheUserNames) {
    const QString syncFile = dir.file(QStringLiteral("Transfer.SYN"));
    {
        Table<SyncSchedule> s(*store, syncFile);
        Table<Scripting> scr(*store, SyncScriptingDecl(), syncFile);
        Table<Todo> todo(*store, SyncTodoDecl(), syncFile);
        SyncSchedule t;
        t.id = 1;
        t.biMonthly = 0;
        ASSERT_EQ(s.add(t), Err::None);
        Todo d;
        d.todo = QStringLiteral("carry me");
        ASSERT_EQ(todo.add(d), Err::None);
    }
    // Another case of the same name is the same file.
    Table<Todo> todo(*store, SyncTodoDecl(), dir.file(QStringLiteral("transfer.syn")));
    EXPECT_EQ(todo.records(), 1);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("transfer.syn"))));
    EXPECT_FALSE(QFileInfo::exists(dataFile()));
}

} // namespace
} // namespace kr::test
