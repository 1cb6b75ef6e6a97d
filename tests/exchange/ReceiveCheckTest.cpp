// Receiving files that are not what they claim: crafted catalogues that crash the storage
// library, planner statistics, keys out of order, values the program never writes, a reader
// that hangs or dies. Each is refused with nothing changed, the file itself included.

#include "CraftedFiles.h"
#include "SyncFixture.h"
#include "support/Refusals.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace kr::test {
namespace {

// Records the longest stretch between two looks at the progress window.
class GapProgress final : public Progress {
public:
    GapProgress() { clock_.start(); }
    void doBegin(const QString&, const QString&) override { look(); }
    void doUpdate(int) override { look(); }
    void doSetText(const QString&) override { look(); }
    bool cancelled() const override { return false; }
    void end() override { look(); }
    qint64 longest = 0;

private:
    void look() { longest = qMax(longest, clock_.restart()); }
    QElapsedTimer clock_;
};

class ReceiveCheckTest : public SyncTest {
protected:
    // A copy of the sent file, changed by `sql`.
    QString Crafted(const QString& name, const QString& sql) {
        const QString path = receiver.file(name);
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(syncFile(), path));
        EXPECT_EQ(ExecOnFile(path, sql), QString()) << name.toStdString();
        return path;
    }
    // Receives a file that must be refused with one message and no change anywhere.
    QString Refused(const QString& file) {
        const QByteArray before = FileBytes(file);
        const QByteArray data = FileBytes(receiver.dataFile());
        receiver.dialogs.shown.clear();
        NoProgress none;
        EXPECT_FALSE(SyncReceive(*receiver.store, none, file)) << file.toStdString();
        EXPECT_EQ(FileBytes(file), before) << file.toStdString();
        EXPECT_EQ(FileBytes(receiver.dataFile()), data) << file.toStdString();
        EXPECT_EQ(receiver.dialogs.shown.size(), 1u) << file.toStdString();
        if (receiver.dialogs.shown.empty())
            return {};
        EXPECT_EQ(receiver.dialogs.shown[0].caption, QStringLiteral("Synchronization"));
        return receiver.dialogs.shown[0].text;
    }
    void SeedReceiver() {
        receiver.add(Task(1, QStringLiteral("Local"), QStringLiteral("Home"), 80000));
        receiver.add(Item(1, 1));
        receiver.add(Entry(QStringLiteral("local entry"), 80000));
    }
    void ExpectReceiverAsSeeded() {
        const auto tasks = receiver.all<Schedule>();
        ASSERT_EQ(tasks.size(), 1u);
        EXPECT_EQ(tasks[0].description, QStringLiteral("Local"));
        EXPECT_EQ(receiver.all<Scripting>().size(), 1u);
        EXPECT_EQ(receiver.all<Todo>().size(), 1u);
    }
};

TEST_F(ReceiveCheckTest, CraftedCataloguesAndDamagedKeysAreNoSynchronizationFiles) {
    SeedSender();
    Send();
    SeedReceiver();
    const QString index =
        QStringLiteral("CREATE INDEX \"s__KEYTASKNAME\" ON \"s\"(\"f_DESCRIPTION\"%1,\"f_CATEGORY\") WHERE "
                       "(\"f_DESCRIPTION\"<>'''' OR \"f_CATEGORY\"<>'''')");
    const std::vector<std::pair<QString, QString>> crafted{
        // Crashes the storage library when its catalogue is read (SIGSEGV).
        {QStringLiteral("create-as.syn"),
         QStringLiteral("PRAGMA writable_schema=ON; INSERT INTO sqlite_master VALUES('table','x','x',0,"
                        "'CREATE TABLE x AS SELECT 1');")},
        // Statistics that divide by zero in the planner (SIGFPE) once the layouts are read.
        {QStringLiteral("stat1.syn"),
         QStringLiteral(
             "ANALYZE; DELETE FROM sqlite_stat1; INSERT INTO sqlite_stat1 VALUES('_layout',NULL,'3 sz=0');")},
        {QStringLiteral("extra-table.syn"), QStringLiteral("CREATE TABLE extra(x);")},
        {QStringLiteral("trigger.syn"),
         QStringLiteral("CREATE TRIGGER t AFTER INSERT ON todo BEGIN DELETE FROM s; END;")},
        {QStringLiteral("view.syn"), QStringLiteral("CREATE VIEW v AS SELECT * FROM s;")},
        {QStringLiteral("extra-index.syn"), QStringLiteral("CREATE INDEX ix ON s(\"ID\");")},
        {QStringLiteral("missing-table.syn"),
         QStringLiteral("DROP TABLE todo; DELETE FROM _layout WHERE name='todo';")},
        {QStringLiteral("old-layout.syn"), QStringLiteral("UPDATE _layout SET version=3 WHERE name='s';")},
        {QStringLiteral("text-for-number.syn"), QStringLiteral("UPDATE s SET \"DATE\"='soon';")},
        // The description key written in the other order, then declared as before: every row is
        // there and the quick check passes, but the key does not find them.
        {QStringLiteral("misordered.syn"),
         QStringLiteral(
             "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql='%1' WHERE name='s__KEYTASKNAME';")
             .arg(index.arg(QStringLiteral(" DESC")))},
    };
    for (const auto& [name, sql] : crafted) {
        const QString path = Crafted(name, sql);
        if (name == QLatin1String("misordered.syn")) {
            // Rows added while the key was declared the other way round, then declared back.
            EXPECT_EQ(ExecOnFile(path, QStringLiteral(
                                           "INSERT INTO s(\"ID\",\"DESCRIPTION\",\"f_DESCRIPTION\") SELECT "
                                           "\"ID\"+100,\"DESCRIPTION\"||'x',\"f_DESCRIPTION\"||'X' FROM s;"
                                           "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql='%1' "
                                           "WHERE name='s__KEYTASKNAME';")
                                           .arg(index.arg(QString()))),
                      QString());
        }
        EXPECT_EQ(Refused(path), path + QStringLiteral(" is not a synchronization file."))
            << name.toStdString();
        ExpectReceiverAsSeeded();
    }
    // The file as sent is received.
    receiver.dialogs.shown.clear();
    Receive();
    EXPECT_EQ(receiver.all<Schedule>().size(), 4u);
}

TEST_F(ReceiveCheckTest, ValuesTheProgramNeverWritesRefuseTheFileNamingTheRecord) {
    SeedSender();
    Send();
    SeedReceiver();
    const QString where = QStringLiteral(" WHERE \"ID\"=9");
    const std::vector<std::tuple<QString, QString, QString>> cases{
        {QStringLiteral("date.syn"), QStringLiteral("UPDATE s SET \"DATE\"=2147483647") + where,
         QStringLiteral(
             "SSCH:DATE of the task \"Task 9\" (Work) is 2147483647, where this program writes no date "
             "or a date from 1 Jan 0001 to 31 Dec 9999")},
        {QStringLiteral("time.syn"), QStringLiteral("UPDATE s SET \"TIME\"=2147483647") + where,
         QStringLiteral(
             "SSCH:TIME of the task \"Task 9\" (Work) is 2147483647, where this program writes no time "
             "or a time of day")},
        {QStringLiteral("every.syn"), QStringLiteral("UPDATE s SET \"EVERY\"=-2147483648") + where,
         QStringLiteral(
             "SSCH:EVERY of the task \"Task 9\" (Work) is -2147483648, where this program writes a "
             "number from 0 to 999999")},
        {QStringLiteral("weekday.syn"), QStringLiteral("UPDATE s SET \"MONDAY\"=1000") + where,
         QStringLiteral(
             "SSCH:MONDAY of the task \"Task 9\" (Work) is 1000, where this program writes 0 or 1")},
        {QStringLiteral("stamp.syn"), QStringLiteral("UPDATE s SET \"LASTCHANGEDATE\"=99999999") + where,
         QStringLiteral(
             "SSCH:LASTCHANGEDATE of the task \"Task 9\" (Work) is 99999999, where this program writes "
             "no date or a date from 1 Jan 1801 to 31 Dec 2099")},
        {QStringLiteral("wide.syn"),
         QStringLiteral("UPDATE s SET \"DESCRIPTION\"='%1'").arg(QString(41, QLatin1Char('d'))) + where,
         QStringLiteral(
             "SSCH:DESCRIPTION of the task \"%1\" (Work) is 41 characters long, where this program "
             "writes at most 40")
             .arg(QString(41, QLatin1Char('d')))},
        {QStringLiteral("seconds.syn"),
         QStringLiteral("UPDATE scr SET \"SECONDSTOWAIT\"=100000 WHERE \"ID\"=9 AND \"SEQUENCE\"=2"),
         QStringLiteral(
             "SSCR:SECONDSTOWAIT of item 2 of the task \"Task 9\" (Work) is 100000, where this program "
             "writes a number from 0 to 99999")},
        {QStringLiteral("priority.syn"),
         QStringLiteral("UPDATE todo SET \"PRIORITY\"=11 WHERE \"TODO\"='call Bob'"),
         QStringLiteral(
             "STDO:PRIORITY of the to-do entry \"call Bob\" is 11, where this program writes a number "
             "from 1 to 10")},
        {QStringLiteral("bytes.syn"),
         QStringLiteral("UPDATE todo SET \"NOTES\"=CAST(x'ff00fe' AS TEXT) WHERE \"TODO\"='call Bob'"),
         QStringLiteral("STDO:NOTES of the to-do entry \"call Bob\" is not a text")},
    };
    for (const auto& [name, sql, problem] : cases) {
        const QString path = Crafted(name, sql + QLatin1Char(';'));
        EXPECT_EQ(Refused(path), path + QStringLiteral(" cannot be received: ") + problem +
                                     QStringLiteral(". Nothing was received."));
        ExpectReceiverAsSeeded();
    }
}

TEST_F(ReceiveCheckTest, TheEndsOfEveryRangeAreReceivedAsTheyAre) {
    Schedule t = Task(3, QStringLiteral("Far"), QString(), DateFromYmd(2099, 12, 31), kOneDay);
    t.date = DateFromYmd(9999, 12, 31);
    t.time = kOneDay;
    t.every = 999999;
    t.offset = -99;
    t.monday = 1;
    t.exceptTimeEnd = kOneDay;
    sender.add(t);
    Scripting s = Item(3, 1);
    s.secondsToWait = 99999;
    s.timeElapsed = 999999999;
    sender.add(s);
    Todo d = Entry(QStringLiteral("first day"), DateFromYmd(1801, 1, 1));
    d.priority = 10;
    d.completionDate = DateFromYmd(1, 1, 1);
    sender.add(d);
    Send();
    Receive();
    const auto tasks = receiver.all<Schedule>();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].date, DateFromYmd(9999, 12, 31));
    EXPECT_EQ(tasks[0].every, 999999);
    EXPECT_EQ(tasks[0].offset, -99);
    EXPECT_EQ(tasks[0].lastChangeDate, DateFromYmd(2099, 12, 31));
    EXPECT_EQ(tasks[0].lastChangeTime, kOneDay);
    const auto items = receiver.all<Scripting>();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].timeElapsed, 999999999);
    const auto todos = receiver.all<Todo>();
    ASSERT_EQ(todos.size(), 1u);
    EXPECT_EQ(todos[0].priority, 10);
    EXPECT_EQ(todos[0].completionDate, DateFromYmd(1, 1, 1));
}

TEST_F(ReceiveCheckTest, AFileOfAnEarlierVersionIsReadAsItIsAndNeverWritten) {
    SeedSender();
    Send();
    // Enciphered under the password itself, as earlier versions did: opening it in place
    // re-keyed it.
    ASSERT_EQ(RekeyFile(syncFile(), OwnerRawKey(), OwnerPassword()), QString());
    const QByteArray before = FileBytes(syncFile());
    const QFileInfo info(syncFile());
    const QDateTime modified = info.lastModified();
    Receive();
    EXPECT_EQ(receiver.all<Schedule>().size(), 3u);
    EXPECT_EQ(receiver.all<Todo>().size(), 2u);
    EXPECT_EQ(FileBytes(syncFile()), before);
    EXPECT_EQ(QFileInfo(syncFile()).lastModified(), modified);
    // Nothing beside it either: no journal, no copy.
    EXPECT_EQ(QDir(sender.dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("SyncSch")),
              QStringList{QStringLiteral("SyncSch.syn")});
}

TEST_F(ReceiveCheckTest, AReaderThatHangsDiesOrIsMissingMeansNothingIsReceived) {
    SeedSender();
    Send();
    SeedReceiver();
    QTemporaryDir programs;
    auto script = [&](const QString& name, const QString& body) {
        const QString path = programs.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body.toUtf8() + "\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    };
    // Says the beginning of a stream, then nothing more for a long time.
    SyncReaderOptions() = SyncReaderSettings{
        script(QStringLiteral("hangs"), QStringLiteral("printf 'KRSYNC1\\n'; exec sleep 60")), 1500};
    {
        const QByteArray data = FileBytes(receiver.dataFile());
        GapProgress progress;
        QElapsedTimer t;
        t.start();
        EXPECT_FALSE(SyncReceive(*receiver.store, progress, syncFile()));
        EXPECT_LT(t.elapsed(), 10000);
        // The waiting never kept the program's events out for long.
        EXPECT_LT(progress.longest, 1000);
        ASSERT_EQ(receiver.dialogs.shown.size(), 1u);
        EXPECT_EQ(receiver.dialogs.shown[0].text,
                  syncFile() + QStringLiteral(" is not a synchronization file."));
        EXPECT_EQ(FileBytes(receiver.dataFile()), data);
    }
    SyncReaderOptions() =
        SyncReaderSettings{script(QStringLiteral("dies"), QStringLiteral("kill -SEGV $$")), 0};
    EXPECT_EQ(Refused(syncFile()), syncFile() + QStringLiteral(" is not a synchronization file."));
    // Everything but the end of the stream.
    SyncReaderOptions() = SyncReaderSettings{
        script(QStringLiteral("cut"),
               QStringLiteral("\"%1\" \"$1\" | head -c 200").arg(QStringLiteral(KELVRAY_SYNCREAD))),
        0};
    EXPECT_EQ(Refused(syncFile()), syncFile() + QStringLiteral(" is not a synchronization file."));
    SyncReaderOptions() = SyncReaderSettings{programs.filePath(QStringLiteral("missing")), 0};
    const QString said = Refused(syncFile());
    EXPECT_TRUE(said.startsWith(QStringLiteral("The program that reads synchronization files (") +
                                programs.filePath(QStringLiteral("missing")) +
                                QStringLiteral(") could not be started: ")))
        << said.toStdString();
    ExpectReceiverAsSeeded();
}

TEST_F(ReceiveCheckTest, FailedWritesAreToldOnceTheirSliceIsUndone) {
    SeedSender();
    Send();
    SeedReceiver();
    // The receiver's data file refuses the second received task and every received to-do
    // entry, as a full or damaged file would.
    Table<Schedule> refusingTasks(*receiver.store);
    Table<Todo> refusingTodos(*receiver.store);
    ASSERT_TRUE(RefuseChanges(refusingTasks, QStringLiteral("INSERT new.DESCRIPTION = 'Task 9'"),
                              QStringLiteral("no_task"))
                    .ok());
    ASSERT_TRUE(RefuseChanges(refusingTodos, QStringLiteral("INSERT new.TODO <> 'local entry'"),
                              QStringLiteral("no_todo"))
                    .ok());
    RecordingProgress progress;
    EXPECT_FALSE(SyncReceive(*receiver.store, progress, syncFile()));
    // Both told, each after its transaction ended (a message inside one fails the test).
    ASSERT_EQ(receiver.dialogs.shown.size(), 2u)
        << receiver.dialogs.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(receiver.dialogs.shown[0].caption, QStringLiteral("File Error"));
    EXPECT_TRUE(receiver.dialogs.shown[0].text.endsWith(QStringLiteral(" accessing the file Schedule.")));
    EXPECT_EQ(receiver.dialogs.shown[1].caption, QStringLiteral("Record Insert Error"));
    // The slice that failed is undone: the first received task went with it.
    const auto tasks = receiver.all<Schedule>();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].description, QStringLiteral("Local"));
    EXPECT_EQ(receiver.all<Scripting>().size(), 1u);
    EXPECT_EQ(receiver.all<Todo>().size(), 1u);
    EXPECT_EQ(progress.text, QStringLiteral("Process Completed"));
}

TEST_F(ReceiveCheckTest, AnExceptionLinkThatCannotBeWrittenIsTold) {
    Schedule a = Task(20, QStringLiteral("Has copy"), {}, 90000);
    a.exceptionLink = 21;
    sender.add(a);
    sender.add(Task(21, QStringLiteral("The copy"), {}, 90000));
    Send();
    receiver.add(Task(1, QStringLiteral("Local"), QStringLiteral("Home"), 80000));
    // The receiver's data file takes the tasks but refuses any link written into them.
    Table<Schedule> refusing(*receiver.store);
    ASSERT_TRUE(
        RefuseChanges(refusing, QStringLiteral("UPDATE new.EXCEPTIONLINK <> 0"), QStringLiteral("no_link"))
            .ok());
    RecordingProgress progress;
    EXPECT_FALSE(SyncReceive(*receiver.store, progress, syncFile()));
    ASSERT_EQ(receiver.dialogs.shown.size(), 1u)
        << receiver.dialogs.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(receiver.dialogs.shown[0].caption, QStringLiteral("File Error"));
    EXPECT_TRUE(receiver.dialogs.shown[0].text.endsWith(QStringLiteral(" accessing the file Schedule.")))
        << receiver.dialogs.shown[0].text.toStdString();
    // The tasks came; the link did not, and was not taken as written.
    const auto tasks = receiver.all<Schedule>();
    ASSERT_EQ(tasks.size(), 3u);
    for (const Schedule& t : tasks)
        EXPECT_EQ(t.exceptionLink, 0) << t.description.toStdString();
    // Without the refusal the same file links them.
    ASSERT_TRUE(AllowChanges(refusing, QStringLiteral("no_link")).ok());
    receiver.dialogs.shown.clear();
    Receive();
    qint32 copyId = 0;
    qint32 linked = 0;
    for (const Schedule& t : receiver.all<Schedule>()) {
        if (t.description == QLatin1String("The copy"))
            copyId = t.id;
        if (t.description == QLatin1String("Has copy"))
            linked = t.exceptionLink;
    }
    EXPECT_NE(copyId, 0);
    EXPECT_EQ(linked, copyId);
}

TEST_F(ReceiveCheckTest, PipesAndFoldersAreNoSynchronizationFiles) {
    SeedReceiver();
    const QString pipe = receiver.file(QStringLiteral("pipe.syn"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    // Refused at once, not read until a writer comes.
    NoProgress none;
    EXPECT_FALSE(SyncReceive(*receiver.store, none, pipe));
    ASSERT_EQ(receiver.dialogs.shown.size(), 1u);
    EXPECT_EQ(receiver.dialogs.shown[0].text, pipe + QStringLiteral(" is not a synchronization file."));
    EXPECT_EQ(Refused(receiver.dir.path()),
              receiver.dir.path() + QStringLiteral(" is not a synchronization file."));
    ExpectReceiverAsSeeded();
}

} // namespace
} // namespace kr::test
