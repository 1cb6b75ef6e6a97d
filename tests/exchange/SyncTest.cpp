#include "SmallMedium.h"
#include "SyncFixture.h"
#include "exchange/Slices.h"
#include "platform/DateTime.h"
#include "scheduler/ProgramState.h"
#include "support/TableEvents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kr::test {
namespace {

TEST_F(SyncTest, RoundTripFilesItemsUnderTheReceiversNumbers) {
    SeedSender();
    // The receiver's numbers are taken already.
    receiver.add(Task(1, QStringLiteral("Local"), QStringLiteral("Home"), 80000));
    receiver.add(Item(1, 1));
    Send();
    SyncCounts counts = Receive();
    EXPECT_EQ(counts.tasks, 3);
    EXPECT_EQ(counts.items, 9);
    EXPECT_EQ(counts.todos, 2);
    const auto tasks = receiver.all<Schedule>(Schedule::KEYID);
    ASSERT_EQ(tasks.size(), 4u);
    const auto items = receiver.all<Scripting>(Scripting::KEYID);
    ASSERT_EQ(items.size(), 10u);
    for (std::size_t i = 1; i < tasks.size(); ++i) {
        const Schedule& t = tasks[i];
        EXPECT_EQ(t.id, static_cast<qint32>(i + 1));
        const qint32 senderId = t.description.mid(5).toInt();
        const Schedule original = Task(senderId, t.description, QStringLiteral("Work"), 90000);
        EXPECT_EQ(t.message, original.message);
        EXPECT_EQ(t.command, original.command);
        EXPECT_EQ(t.originalId, original.originalId);
        EXPECT_EQ(t.lastChangeDate, 90000);
        EXPECT_EQ(t.networkUser, QStringLiteral("sender"));
        int found = 0;
        for (const Scripting& s : items) {
            if (s.id == t.id) {
                ++found;
                EXPECT_EQ(s.keystrokes, QStringLiteral("item %1 of %2").arg(s.sequence).arg(senderId));
            }
        }
        EXPECT_EQ(found, 3);
    }
    const auto todos = receiver.all<Todo>(Todo::KEYTODO);
    ASSERT_EQ(todos.size(), 2u);
    EXPECT_EQ(todos[0].todo, QStringLiteral("buy milk"));
    EXPECT_EQ(todos[0].notes, QStringLiteral("notes of buy milk\nline two"));
    EXPECT_EQ(todos[0].resolution, QStringLiteral("resolved buy milk"));
}

TEST_F(SyncTest, ReceivingTwiceRenumbersTasksAndAddsNoTodo) {
    SeedSender();
    Send();
    Receive();
    receiver.dialogs.shown.clear();
    const SyncCounts again = Receive();
    EXPECT_EQ(again.tasks, 3);
    EXPECT_EQ(again.todos, 0);
    const auto tasks = receiver.all<Schedule>(Schedule::KEYID);
    ASSERT_EQ(tasks.size(), 3u);
    for (const Schedule& t : tasks)
        EXPECT_GE(t.id, 4);
    EXPECT_EQ(receiver.all<Scripting>().size(), 9u);
    EXPECT_EQ(receiver.all<Todo>().size(), 2u);
}

TEST_F(SyncTest, NewerLocalTaskKeptAndOlderReplaced) {
    sender.add(Task(1, QStringLiteral("Report"), QStringLiteral("Work"), 90000));
    sender.add(Task(2, QStringLiteral("Backup"), QStringLiteral("Work"), 90000, 500));
    sender.add(Entry(QStringLiteral("same"), 90000));
    sender.add(Entry(QStringLiteral("older here"), 90000));
    Send();
    // Newer here: kept, and the received one is not added.
    Schedule newer = Task(7, QStringLiteral("Report"), QStringLiteral("Work"), 90001);
    newer.command = QStringLiteral("mine");
    receiver.add(newer);
    // Same description and type: one older, one newer than the received task. The older goes,
    // the newer stays, and the received one comes beside it.
    receiver.add(Task(8, QStringLiteral("Backup"), QStringLiteral("Work"), 90000, 499));
    receiver.add(Task(9, QStringLiteral("Backup"), QStringLiteral("Work2"), 90000, 501));
    receiver.add(Item(8, 1));
    // Equal stamps: a to-do entry is kept and the received one not added.
    receiver.add(Entry(QStringLiteral("same"), 90000));
    receiver.add(Entry(QStringLiteral("older here"), 89999));
    Receive();
    const auto tasks = receiver.all<Schedule>(Schedule::KEYID);
    ASSERT_EQ(tasks.size(), 3u);
    EXPECT_EQ(tasks[0].id, 7);
    EXPECT_EQ(tasks[0].command, QStringLiteral("mine"));
    EXPECT_EQ(tasks[1].id, 9);
    EXPECT_EQ(tasks[2].id, 10);
    EXPECT_EQ(tasks[2].description, QStringLiteral("Backup"));
    EXPECT_EQ(tasks[2].lastChangeTime, 500);
    EXPECT_TRUE(receiver.all<Scripting>().empty());
    const auto todos = receiver.all<Todo>(Todo::KEYTODO);
    ASSERT_EQ(todos.size(), 2u);
    EXPECT_EQ(todos[0].todo, QStringLiteral("older here"));
    EXPECT_EQ(todos[0].lastChangeDate, 90000);
    EXPECT_EQ(todos[1].todo, QStringLiteral("same"));
}

TEST_F(SyncTest, TasksAndTodosWithoutNamesTravelOnce) {
    // Left out of the description key and of the to-do text key: still sent, received once.
    sender.add(Task(3, QString(), QString(), 90000));
    sender.add(Item(3, 1));
    sender.add(Entry(QString(), 90000));
    Send();
    Receive();
    Receive();
    const auto tasks = receiver.all<Schedule>();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].command, QStringLiteral("cmd 3"));
    const auto items = receiver.all<Scripting>();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].id, tasks[0].id);
    EXPECT_EQ(receiver.all<Todo>().size(), 1u);
}

TEST_F(SyncTest, AlikeTasksAndTodosOfOneFileAllArriveAndStayTwoOnReceivingAgain) {
    // Same type, description and category: one file, two tasks; the second received must not
    // take the place of the first one's copy. Likewise two to-do entries of the same text.
    Schedule a = Task(1, QStringLiteral("Backup"), QStringLiteral("Work"), 90000);
    a.command = QStringLiteral("/bin/true A");
    Schedule b = Task(2, QStringLiteral("Backup"), QStringLiteral("Work"), 90000);
    b.command = QStringLiteral("/bin/true B");
    sender.add(a);
    sender.add(b);
    sender.add(Item(2, 1));
    sender.add(Entry(QStringLiteral("water plants"), 90000));
    sender.add(Entry(QStringLiteral("water plants"), 90000));
    Send();
    for (int round = 0; round < 2; ++round) {
        const SyncCounts counts = Receive();
        EXPECT_EQ(counts.tasks, 2) << round;
        QStringList commands;
        for (const Schedule& t : receiver.all<Schedule>())
            commands << t.command;
        commands.sort();
        EXPECT_EQ(commands, (QStringList{QStringLiteral("/bin/true A"), QStringLiteral("/bin/true B")}))
            << round;
        EXPECT_EQ(receiver.all<Scripting>().size(), 1u) << round;
        EXPECT_EQ(receiver.all<Todo>().size(), 2u) << round;
    }
}

TEST_F(SyncTest, CategorySortingBeforeIsNotMatched) {
    sender.add(Task(1, QStringLiteral("Report"), QStringLiteral("Work"), 90000));
    Send();
    // Older, but its category sorts before the received one's: never looked at.
    receiver.add(Task(1, QStringLiteral("Report"), QStringLiteral("Admin"), 80000));
    Receive();
    const auto tasks = receiver.all<Schedule>(Schedule::KEYID);
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0].category, QStringLiteral("Admin"));
    EXPECT_EQ(tasks[1].category, QStringLiteral("Work"));
}

TEST_F(SyncTest, CancelledSendStillHoldsEveryTodoAndBimonthlyIsZero) {
    for (qint32 id = 1; id <= 60; ++id) {
        Schedule t = Task(id, QStringLiteral("Task %1").arg(id, 3, 10, QLatin1Char('0')), {}, 90000);
        // The field before the flag the file adds, and the one after it: a copy by position
        // instead of by name would move them.
        t.lastDayOfMonth = 1;
        t.everyType = QStringLiteral("day(s)");
        sender.add(t);
    }
    for (int i = 0; i < 40; ++i)
        sender.add(Entry(QStringLiteral("todo %1").arg(i), 90000));
    // One batch of 25 a slice: the user's Cancel at the first look stops after it.
    const int slice = SliceMs();
    SliceMs() = 0;
    CancellingProgress progress;
    SyncCounts counts;
    const bool sent = SyncSend(*sender.store, progress, syncFile(), &counts);
    SliceMs() = slice;
    ASSERT_TRUE(sent);
    EXPECT_EQ(progress.firstText, QStringLiteral("Sending"));
    EXPECT_EQ(counts.tasks, 25);
    EXPECT_EQ(counts.todos, 40);

    Table<SyncSchedule> table(*sender.store, syncFile());
    EXPECT_EQ(table.records(), 25);
    SyncSchedule s;
    table.set(SyncSchedule::KEYTASKNAME);
    int n = 0;
    while (table.next(s) == Err::None) {
        EXPECT_EQ(s.biMonthly, 0);
        EXPECT_EQ(s.lastDayOfMonth, 1);
        EXPECT_EQ(s.everyType, QStringLiteral("day(s)"));
        EXPECT_EQ(s.description, QStringLiteral("Task %1").arg(++n, 3, 10, QLatin1Char('0')));
    }
    EXPECT_EQ(n, 25);
    Table<Todo> todos(*sender.store, SyncTodoDecl(), syncFile());
    EXPECT_EQ(todos.records(), 40);
}

TEST_F(SyncTest, TheFlagOnlyTheFileHasIsDroppedOnReceipt) {
    // Written by hand: the other fields come as they are, whatever the flag.
    {
        Table<SyncSchedule> tasks(*sender.store, syncFile());
        Table<Scripting> items(*sender.store, SyncScriptingDecl(), syncFile());
        Table<Todo> todos(*sender.store, SyncTodoDecl(), syncFile());
        for (qint32 id = 1; id <= 2; ++id) {
            SyncSchedule t;
            t.id = id;
            t.description = QStringLiteral("Twice %1").arg(id);
            t.biMonthly = static_cast<quint8>(id - 1);
            t.lastDayOfMonth = 1;
            t.everyType = QStringLiteral("week(s)");
            t.lastChangeDate = 90000;
            ASSERT_EQ(tasks.add(t), Err::None);
        }
    }
    Receive();
    const auto got = receiver.all<Schedule>(Schedule::KEYID);
    ASSERT_EQ(got.size(), 2u);
    for (const Schedule& t : got) {
        EXPECT_EQ(t.lastDayOfMonth, 1);
        EXPECT_EQ(t.everyType, QStringLiteral("week(s)"));
        EXPECT_EQ(t.lastChangeDate, 90000);
    }
}

TEST_F(SyncTest, ReceivingTwiceKeepsEveryToDoEntryOfOneTextOnce) {
    // Two entries of one text with different stamps, and one local entry of that text older
    // than both.
    sender.add(Entry(QStringLiteral("water plants"), 90000));
    sender.add(Entry(QStringLiteral("water plants"), 90005));
    Todo other = Entry(QStringLiteral("water plants"), 90002);
    other.notes = QStringLiteral("third");
    sender.add(other);
    receiver.add(Entry(QStringLiteral("water plants"), 80000));
    Send();
    auto stamps = [&] {
        std::vector<std::pair<Date, QString>> out;
        for (const Todo& t : receiver.all<Todo>())
            out.emplace_back(t.lastChangeDate, t.notes);
        std::sort(out.begin(), out.end());
        return out;
    };
    Receive();
    // The older local entry made way for one of them; each arrived once.
    const auto first = stamps();
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].first, 90000);
    EXPECT_EQ(first[1].first, 90002);
    EXPECT_EQ(first[1].second, QStringLiteral("third"));
    EXPECT_EQ(first[2].first, 90005);
    for (int round = 0; round < 2; ++round) {
        const SyncCounts again = Receive();
        EXPECT_EQ(again.todos, 0) << round;
        EXPECT_EQ(stamps(), first) << round;
    }
    // A newer local entry of the text stays beside them, and each received entry keeps its
    // own copy.
    receiver.add(Entry(QStringLiteral("water plants"), 95000));
    Receive();
    const auto after = stamps();
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after.back().first, 95000);
}

TEST_F(SyncTest, ExceptionLinksRemappedOrCleared) {
    Schedule a = Task(20, QStringLiteral("Has copy"), {}, 90000);
    a.exceptionLink = 21;
    Schedule copy = Task(21, QStringLiteral("The copy"), {}, 90000);
    Schedule b = Task(22, QStringLiteral("Lost link"), {}, 90000);
    b.exceptionLink = 99;
    sender.add(a);
    sender.add(copy);
    sender.add(b);
    Send();
    // Local tasks under the sender's numbers, which a link must not name.
    for (qint32 id : {21, 99})
        receiver.add(Task(id, QStringLiteral("Unrelated %1").arg(id), QStringLiteral("Z"), 1));
    Receive();
    qint32 copyId = 0;
    for (const Schedule& t : receiver.all<Schedule>()) {
        if (t.description == QLatin1String("The copy"))
            copyId = t.id;
    }
    ASSERT_GT(copyId, 99);
    for (const Schedule& t : receiver.all<Schedule>()) {
        if (t.description == QLatin1String("Has copy"))
            EXPECT_EQ(t.exceptionLink, copyId);
        else
            EXPECT_EQ(t.exceptionLink, 0) << t.description.toStdString();
    }
}

TEST_F(SyncTest, WrongFilesAreReportedAndChangeNothing) {
    SeedSender();
    Send();
    receiver.add(Task(1, QStringLiteral("Local"), {}, 1));
    {
        // Opened once so that the data file exists, then closed.
        Table<Schedule> open(*receiver.store);
    }
    QByteArray random(8192, '\0');
    for (char& c : random)
        c = static_cast<char>(QRandomGenerator::global()->generate());
    const QString randomFile = receiver.file(QStringLiteral("random.syn"));
    const QString truncated = receiver.file(QStringLiteral("short.syn"));
    {
        QFile f(randomFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(random);
        QFile t(truncated);
        ASSERT_TRUE(t.open(QIODevice::WriteOnly));
        const QByteArray whole = FileBytes(syncFile());
        t.write(whole.left(whole.size() / 2));
    }
    for (const QString& file :
         {randomFile, truncated, receiver.dataFile(), receiver.file(QStringLiteral("none.syn"))}) {
        const QByteArray before = FileBytes(file);
        const QByteArray dataBefore = FileBytes(receiver.dataFile());
        receiver.dialogs.shown.clear();
        NoProgress none;
        EXPECT_FALSE(SyncReceive(*receiver.store, none, file));
        ASSERT_EQ(receiver.dialogs.shown.size(), 1u) << file.toStdString();
        EXPECT_EQ(receiver.dialogs.shown[0].text, file + QStringLiteral(" is not a synchronization file."));
        EXPECT_EQ(receiver.dialogs.shown[0].caption, QStringLiteral("Synchronization"));
        EXPECT_EQ(FileBytes(file), before);
        EXPECT_EQ(FileBytes(receiver.dataFile()), dataBefore);
    }
    EXPECT_EQ(receiver.all<Schedule>().size(), 1u);
}

TEST_F(SyncTest, SendingOntoTheDataFileIsRefusedAndAFailedSendKeepsTheOldFile) {
    SeedSender();
    Send();
    const QByteArray data = FileBytes(sender.dataFile());
    NoProgress none;
    EXPECT_FALSE(SyncSend(*sender.store, none, sender.dataFile()));
    ASSERT_EQ(sender.dialogs.shown.size(), 1u);
    EXPECT_EQ(sender.dialogs.shown[0].caption, QStringLiteral("Synchronization"));
    EXPECT_EQ(FileBytes(sender.dataFile()), data);
    // The name given with a table suffix is the file itself.
    EXPECT_FALSE(SyncSend(*sender.store, none, sender.dataFile() + QStringLiteral("\\!s")));
    EXPECT_EQ(FileBytes(sender.dataFile()), data);

    // A folder that cannot be written is reported, and the program goes on.
    sender.dialogs.shown.clear();
    const QString nowhere = sender.file(QStringLiteral("missing/folder/SyncSch.syn"));
    EXPECT_FALSE(SyncSend(*sender.store, none, nowhere));
    ASSERT_EQ(sender.dialogs.shown.size(), 1u);
    EXPECT_EQ(sender.dialogs.shown[0].caption, QStringLiteral("Cannot CREATE ") + nowhere);
    EXPECT_EQ(sender.dialogs.shown[0].text, QStringLiteral("Error #2 - No such file or directory"));

    // A pipe is not written to (nor replaced), even with a reader waiting at it; nor a device.
    const QString pipe = sender.file(QStringLiteral("pipe.syn"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    for (const QString& target : {pipe, QStringLiteral("/dev/null")}) {
        sender.dialogs.shown.clear();
        EXPECT_FALSE(SyncSend(*sender.store, none, target));
        ASSERT_EQ(sender.dialogs.shown.size(), 1u);
        EXPECT_EQ(sender.dialogs.shown[0].caption, QStringLiteral("Cannot CREATE ") + target);
        EXPECT_EQ(sender.dialogs.shown[0].text,
                  target + QStringLiteral(" is not a file that can be written to."));
    }
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(pipe).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(QDir(sender.dir.path())
                  .entryList(QDir::Hidden | QDir::Files)
                  .filter(QStringLiteral(".sending"))
                  .size(),
              0);

    // A new send replaces the file, leaving no temporary file behind.
    const QByteArray old = FileBytes(syncFile());
    sender.add(Task(40, QStringLiteral("later"), {}, 1));
    ASSERT_TRUE(SyncSend(*sender.store, none, syncFile()));
    EXPECT_NE(FileBytes(syncFile()), old);
    EXPECT_EQ(QDir(sender.dir.path())
                  .entryList(QDir::Hidden | QDir::Files)
                  .filter(QStringLiteral(".sending"))
                  .size(),
              0);
    EXPECT_EQ(QFile::permissions(syncFile()) & (QFile::ReadGroup | QFile::ReadOther), 0);
}

TEST_F(SyncTest, ASendOntoANearlyFullMediumIsReportedAndLeavesNothingBehind) {
    // The peer's data file, on a medium with room.
    QProcess seed;
    seed.start(QStringLiteral(EXCHANGE_PEER), {QStringLiteral("seed"), sender.dir.path()});
    ASSERT_TRUE(seed.waitForFinished(60000));
    ASSERT_EQ(seed.exitCode(), 0);
    const QByteArray data = FileBytes(sender.dataFile());
    ASSERT_FALSE(data.isEmpty());
    QSet<QString> failures;
    // Too small for the empty tables, for their records, and large enough.
    for (const int kb : {4, 16, 36, 40, 44, 52, 200}) {
        TempDir medium;
        const PeerRun run = RunPeerOnSmallMedium(
            medium.path(), kb,
            {QStringLiteral("send"), sender.dir.path(), medium.file(QStringLiteral("SyncSch.syn"))});
        // The send returned: the program did not end.
        ASSERT_EQ(run.exitCode, 0) << kb << " " << run.lines.join(QLatin1Char('|')).toStdString();
        ASSERT_FALSE(run.lines.isEmpty());
        if (run.lines.last() == QLatin1String("result 1")) {
            EXPECT_EQ(run.lines.size(), 1) << run.lines.join(QLatin1Char('|')).toStdString();
            EXPECT_EQ(run.files, QStringList{QStringLiteral("SyncSch.syn")});
        } else {
            EXPECT_EQ(run.lines.last(), QStringLiteral("result 0"));
            // One message, and neither the file nor its temporary copy is left.
            ASSERT_EQ(run.lines.size(), 2) << kb << " " << run.lines.join(QLatin1Char('|')).toStdString();
            const QString caption = run.lines[0].section(QLatin1Char('\t'), 0, 0);
            const QString text = run.lines[0].section(QLatin1Char('\t'), 1, 1);
            if (caption.startsWith(QLatin1String("Cannot CREATE "))) {
                EXPECT_EQ(caption,
                          QStringLiteral("Cannot CREATE ") + medium.file(QStringLiteral("SyncSch.syn")));
            }
            // Full (or, with the stand-in limit, an input/output error).
            EXPECT_TRUE(text.contains(QLatin1String("full")) || text.contains(QLatin1String("I/O")))
                << text.toStdString();
            failures.insert(caption.section(QLatin1Char(' '), 0, 1));
            EXPECT_TRUE(run.files.isEmpty()) << kb << " " << run.files.join(QLatin1Char(' ')).toStdString();
        }
        EXPECT_EQ(FileBytes(sender.dataFile()), data) << kb;
    }
    // Both ways of failing were met: making the tables, and writing their records.
    EXPECT_TRUE(failures.contains(QStringLiteral("Cannot CREATE")))
        << QStringList(failures.values()).join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(failures.contains(QStringLiteral("File Error")))
        << QStringList(failures.values()).join(QLatin1Char('|')).toStdString();
}

TEST_F(SyncTest, ChoosingTheFileCutsTheSuffixAndRemembersIt) {
    struct Answer final : FileDialogs {
        QString doOpenFile(const QString& title, const QString& filter, const QString& dir) override {
            asked << title << filter << dir;
            return reply;
        }
        QString doSaveFile(const QString& title, const QString& filter, const QString& dir) override {
            asked << title << filter << dir;
            return reply;
        }
        QStringList asked;
        QString reply;
    } dialogs;
    QString remembered;
    dialogs.reply = QStringLiteral("/media/stick/Sched.SYN\\!s");
    EXPECT_EQ(ChooseSyncFile(dialogs, true, remembered), QStringLiteral("/media/stick/Sched.SYN"));
    EXPECT_EQ(dialogs.asked[0], QStringLiteral("File to Send to..."));
    EXPECT_EQ(dialogs.asked[1], QStringLiteral("Synchronization Files|*.SYN"));
    EXPECT_TRUE(dialogs.asked[2].endsWith(QStringLiteral("/SyncSch.syn")));
    dialogs.reply.clear();
    EXPECT_EQ(ChooseSyncFile(dialogs, false, remembered), QString());
    EXPECT_EQ(dialogs.asked[3], QStringLiteral("File to Receive from..."));
    EXPECT_EQ(dialogs.asked[5], QStringLiteral("/media/stick/Sched.SYN"));
    EXPECT_EQ(remembered, QStringLiteral("/media/stick/Sched.SYN"));
}

TEST_F(SyncTest, ReceiveTellsTheListsAndReadsAFileOfAnotherProcess) {
    // The peer process writes the file as another installation would.
    QProcess peer;
    peer.start(QStringLiteral(EXCHANGE_PEER), {QStringLiteral("seed-send"), sender.dir.path(), syncFile()});
    ASSERT_TRUE(peer.waitForFinished(60000));
    ASSERT_EQ(peer.exitCode(), 0) << peer.readAllStandardError().toStdString();

    TableListeners listeners;
    TableEventRecorder recorder;
    listeners.add(&recorder, Schedule::decl().name);
    listeners.add(&recorder, Todo::decl().name);
    NoProgress none;
    SyncCounts counts;
    ASSERT_TRUE(SyncReceive(*receiver.store, none, syncFile(), &listeners, &counts))
        << receiver.dialogs.texts().join(QLatin1Char('|')).toStdString();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(counts.tasks, 10);
    EXPECT_EQ(counts.items, 30);
    EXPECT_EQ(counts.todos, 4);
    EXPECT_EQ(receiver.all<Schedule>().size(), 10u);
    EXPECT_EQ(receiver.all<Scripting>().size(), 30u);
    EXPECT_EQ(recorder.tables, (QStringList{QStringLiteral("Schedule"), QStringLiteral("Todo")}));
}

} // namespace
} // namespace kr::test
