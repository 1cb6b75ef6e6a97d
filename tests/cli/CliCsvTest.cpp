// kelvray-cli export-csv against real data files: the same bytes as the export window's own
// routine writes for the same choices, and clear refusals that write nothing.

#include "cli/SearchCommand.h"
#include "exchange/CsvExchange.h"
#include "exchange/ExchangeTables.h"
#include "platform/DateTime.h"
#include "platform/Progress.h"
#include "search/Scan.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Tags.h"
#include "store/Transaction.h"
#include "support/ScriptedDialogs.h"
#include "support/SelectedTasks.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <thread>

namespace kr::test {
namespace {

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct CliRun {
    int code = -1;
    QByteArray out;
    QString err;
};

// kelvray-cli VERB --data-dir FOLDER ARGUMENTS..., with `input` on its standard input, its
// settings in `config`, without a display.
CliRun Cli(const QString& verb, const QString& folder, const QStringList& arguments, const QString& config,
        const QByteArray& input = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.remove(QStringLiteral("DISPLAY"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KELVRAY_CLI), QStringList{verb, QStringLiteral("--data-dir"), folder} + arguments);
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(60000));
    return CliRun{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
               QString::fromUtf8(p.readAllStandardError())};
}

// Arguments a verb refuses: with this exit status, saying this.
struct Refusal {
    QStringList args;
    int code;
    const char* says;
};

void ExpectRefused(const CliRun& r, const Refusal& c) {
    EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
}

class CliCsv : public ::testing::Test {
public:
    CliRun cli(const QStringList& arguments) { return Cli(QStringLiteral("export-csv"), data(), arguments, config()); }
    QString config() const { return dir.file(QStringLiteral("config")); }

protected:
    QString data() const { return dir.file(QStringLiteral("data")); }
    // What the export window's routine writes for these choices.
    QByteArray windowExport(const ExchangeTable& table, const std::vector<ExchangeField>& fields, bool header) {
        const QString file = dir.file(QStringLiteral("window.csv"));
        QFile::remove(file);
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(data(), dialogs, end);
        store.declareLayouts();
        NoProgress progress;
        EXPECT_GE(ExportTable(store, progress, table, fields, header, file), 0);
        return Bytes(file);
    }
    void fill() {
        ASSERT_TRUE(QDir().mkpath(data()));
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(data(), dialogs, end);
        store.declareLayouts();
        Table<Schedule> tasks(store);
        for (qint32 id = 1; id <= 40; ++id) {
            Schedule t;
            t.id = id;
            t.description = id % 3 == 0 ? QStringLiteral("Quote \"this\", then, a comma") : QStringLiteral("Task %1").arg(id);
            t.taskType = QStringLiteral("Run Program");
            t.scheduleType = QStringLiteral("Day of Week");
            t.command = QStringLiteral("café --now");
            t.message = id % 5 == 0 ? QStringLiteral("two\nlines") : QString();
            t.date = DateFromYmd(2026, 12, 1) + id % 7;
            t.time = 1 + (id * 7919) % 8640000;
            ASSERT_EQ(tasks.add(t), Err::None);
        }
        Table<Contact> contacts(store);
        Contact c;
        c.lastName = QStringLiteral("Nakamura");
        c.firstName = QStringLiteral("Ai");
        ASSERT_EQ(contacts.add(c), Err::None);
    }

    TempDir dir;
};

TEST_F(CliCsv, TheFileIsTheOneTheExportWindowWritesForTheSameChoices) {
    fill();
    const ExchangeTable& schedule = ScheduleExchange();
    // Every field with its default picture, a header line; to a file and to standard output.
    const QByteArray expected = windowExport(schedule, schedule.exportFields, true);
    ASSERT_FALSE(expected.isEmpty());
    const QString file = dir.file(QStringLiteral("cli.csv"));
    CliRun r = cli({QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--header"), file});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(Bytes(file), expected);
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("40 records written"));
    EXPECT_EQ(QFile::permissions(file) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    r = cli({QStringLiteral("--table"), QStringLiteral("SCHEDULE"), QStringLiteral("--header"), QStringLiteral("-")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, expected);

    // A few fields in an order of their own, one with another picture, no header.
    ASSERT_GE(schedule.exportFields.size(), 3u);
    std::vector<ExchangeField> chosen{schedule.exportFields[2], schedule.exportFields[0]};
    chosen[1].picture = QStringLiteral("@d6");
    const QString second = chosen[0].name;
    const QString first = chosen[1].name;
    r = cli({QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--fields"),
             second + QLatin1Char(',') + first.section(QLatin1Char(':'), 1).toLower(), QStringLiteral("--picture"),
             first + QStringLiteral("=@d6"), QStringLiteral("-")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, windowExport(schedule, chosen, false));

    // Another table.
    r = cli({QStringLiteral("--table"), QStringLiteral("contacts"), QStringLiteral("-")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, windowExport(ContactExchange(), ContactExchange().exportFields, false));
    EXPECT_TRUE(r.out.contains("Nakamura"));
}

TEST_F(CliCsv, BadChoicesAreRefusedClearlyAndNothingIsWritten) {
    fill();
    const QString file = dir.file(QStringLiteral("never.csv"));
    const Refusal cases[] = {
        {{QStringLiteral("--table"), QStringLiteral("tasks"), file}, 2, "schedule, contacts or todo"},
        {{file}, 2, "needs --table"},
        {{QStringLiteral("--table"), QStringLiteral("todo"), QStringLiteral("--fields"), QStringLiteral("Nope"), file},
         2, "no field \"Nope\""},
        {{QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--picture"),
          QStringLiteral("Description=s40"), file},
         2, "must begin with \"@\""},
        {{QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--fields"),
          QStringLiteral("Description"), QStringLiteral("--picture"), QStringLiteral("Command=@s20"), file},
         2, "not among the fields"},
        {{QStringLiteral("--table"), QStringLiteral("schedule")}, 2, "needs one FILE"},
        {{QStringLiteral("--table"), QStringLiteral("schedule"), dir.path()}, 1, "Cannot CREATE"},
        {{QStringLiteral("--table"), QStringLiteral("schedule"), data() + QStringLiteral("/KR97.TPS")}, 1,
         "data file of the program"},
    };
    for (const Refusal& c : cases) {
        const CliRun r = cli(c.args);
        ExpectRefused(r, c);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(QFile::exists(file));
    }
}

// kelvray-cli import-csv with its arguments, on the data folder `folder`.
CliRun ImportCli(const QString& folder, const QStringList& arguments, const QByteArray& input = {}) {
    return Cli(QStringLiteral("import-csv"), folder, arguments, folder + QStringLiteral("-config"), input);
}

// Every task of a data folder, in number order, as "id|description|date|time|command|message".
QStringList Tasks(const QString& folder) {
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    Store store(folder, dialogs, end);
    store.declareLayouts();
    Table<Schedule> tasks(store);
    QStringList out;
    Schedule t;
    tasks.set(Schedule::KEYID);
    while (tasks.next(t) == Err::None)
        out << QStringLiteral("%1|%2|%3|%4|%5|%6").arg(t.id).arg(t.description).arg(t.date).arg(t.time).arg(t.command, t.message);
    return out;
}

TEST_F(CliCsv, AnImportAddsWhatTheImportWindowAddsFromTheSameFile) {
    // Quotes, an empty field, a line ended by CR alone, and Windows-1252 text.
    const QByteArray csv = "\"SCH:Description\",\"SCH:Date\",\"SCH:Command\"\r\n"
                           "\"Back up, then \"\"check\"\"\",\"2026-12-10\",\"rsync -a\"\r\n"
                           "\"Empty command\",\"2026-12-11\",\r"
                           "\"Caf\xe9 order\",\"2026-12-12\",\"notify\"\r\n";
    const QString file = dir.file(QStringLiteral("in.csv"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(csv);
    }
    // The window's way: its routine on a folder of its own, with the window's Auto.
    const QString windowFolder = dir.file(QStringLiteral("window"));
    ASSERT_TRUE(QDir().mkpath(windowFolder));
    {
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(windowFolder, dialogs, end);
        store.declareLayouts();
        ImportFile in;
        ASSERT_TRUE(in.load(file, dialogs));
        Assignments assigned(ScheduleExchange().targets.size(), -1);
        AutoAssign(ScheduleExchange(), in.fields(), assigned);
        NoProgress progress;
        EXPECT_EQ(ImportTable(store, progress, ScheduleExchange(), in, assigned, true), 3);
    }
    const QStringList expected = Tasks(windowFolder);
    ASSERT_EQ(expected.size(), 3);

    const QString autoFolder = dir.file(QStringLiteral("auto"));
    CliRun r = ImportCli(autoFolder, {QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--auto"), file});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("3 records added"));
    EXPECT_EQ(Tasks(autoFolder), expected);

    // The same by place, from standard input, the header line skipped.
    const QString mapFolder = dir.file(QStringLiteral("map"));
    r = ImportCli(mapFolder,
                  {QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--map"),
                   QStringLiteral("1=Description,2=SCH:Date:@d6,3=command"), QStringLiteral("--header"),
                   QStringLiteral("-")},
                  csv);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(Tasks(mapFolder), expected);

    // Refused, and nothing added: a place past the line, a field the table has not, neither
    // way of assigning, a file that is not there.
    const QString refused = dir.file(QStringLiteral("refused"));
    const Refusal cases[] = {
        {{QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--map"), QStringLiteral("4=Description"), file}, 2,
         "has 3 field(s)"},
        {{QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--map"), QStringLiteral("1=Colour"), file}, 2,
         "no field \"Colour\""},
        {{QStringLiteral("--table"), QStringLiteral("schedule"), file}, 2, "--map or --auto"},
        {{QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--auto"), dir.file(QStringLiteral("none.csv"))}, 1,
         "Cannot OPEN"},
    };
    for (const Refusal& c : cases) {
        r = ImportCli(refused, c.args);
        ExpectRefused(r, c);
    }
    EXPECT_TRUE(!QFile::exists(refused + QStringLiteral("/KR97.TPS")) || Tasks(refused).isEmpty());
}

TEST_F(CliCsv, CtrlCCancelsAnImportAndWhatWentInStays) {
    constexpr int kLines = 150000;
    QByteArray csv = "\"SCH:Description\"\r\n";
    for (int i = 1; i <= kLines; ++i)
        csv += "\"Task " + QByteArray::number(i) + "\"\r\n";
    const QString file = dir.file(QStringLiteral("big.csv"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(csv);
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KELVRAY_CLI), {QStringLiteral("import-csv"), QStringLiteral("--data-dir"), data(),
                                          QStringLiteral("--table"), QStringLiteral("schedule"),
                                          QStringLiteral("--auto"), file});
    ASSERT_TRUE(p.waitForStarted(10000));
    // Ctrl+C once records are going in: the data file has grown.
    auto written = [&] {
        return QFileInfo(data() + QStringLiteral("/KR97.TPS")).size() +
               QFileInfo(data() + QStringLiteral("/KR97.TPS-wal")).size();
    };
    while (p.state() == QProcess::Running && written() < 512 * 1024)
        p.waitForFinished(10);
    ASSERT_EQ(p.state(), QProcess::Running) << "the import ended before it could be interrupted";
    ASSERT_EQ(::kill(static_cast<pid_t>(p.processId()), SIGINT), 0);
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130) << err.toStdString();
    const int added = err.section(QStringLiteral(" records added"), 0, 0).section(QLatin1Char('\n'), -1).toInt();
    EXPECT_GT(added, 0) << err.toStdString();
    EXPECT_LT(added, kLines);
    EXPECT_EQ(Tasks(data()).size(), added);
}

// kelvray-cli sync with its arguments, on the data folder `folder`.
CliRun SyncCli(const QString& folder, const QStringList& arguments) {
    return Cli(QStringLiteral("sync"), folder, arguments, folder + QStringLiteral("-config"));
}

// The tasks of a folder without their numbers (a receiving installation numbers them anew), sorted.
QStringList Unnumbered(const QString& folder) {
    QStringList out;
    for (const QString& t : Tasks(folder))
        out << t.section(QLatin1Char('|'), 1);
    out.sort();
    return out;
}

TEST_F(CliCsv, ASynchronizationFileCarriesTheScheduleToAnotherFolderFromTheShell) {
    fill();
    {
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(data(), dialogs, end);
        store.declareLayouts();
        Table<Scripting> items(store);
        Scripting s;
        s.id = 3;
        s.sequence = 1;
        s.action = QStringLiteral("Send Keystrokes");
        s.keystrokes = QStringLiteral("hello");
        ASSERT_EQ(items.add(s), Err::None);
        Table<Todo> todos(store);
        Todo t;
        t.todo = QStringLiteral("Water the plants");
        t.priority = 5;
        ASSERT_EQ(todos.add(t), Err::None);
    }
    const QString file = dir.file(QStringLiteral("carry.syn"));
    CliRun r = SyncCli(data(), {QStringLiteral("send"), file});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("sent: 40 tasks, 1 script items, 1 to-do entries"));
    const QString other = dir.file(QStringLiteral("other"));
    r = SyncCli(other, {QStringLiteral("receive"), file});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("received: 40 tasks"))) << r.err.toStdString();
    EXPECT_EQ(Unnumbered(other), Unnumbered(data()));
    // Received again: nothing is newer, nothing is added.
    r = SyncCli(other, {QStringLiteral("receive"), file});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(Unnumbered(other), Unnumbered(data()));

    // A file that is not one, and the program's own data file: refused, nothing changes.
    const QString notSync = dir.file(QStringLiteral("notes.txt"));
    {
        QFile f(notSync);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("just some notes\n");
    }
    r = SyncCli(other, {QStringLiteral("receive"), notSync});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_EQ(Unnumbered(other), Unnumbered(data()));
    r = SyncCli(data(), {QStringLiteral("send"), data() + QStringLiteral("/KR97.TPS")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(Tasks(data()).size(), 40);
    r = SyncCli(data(), {QStringLiteral("both"), file});
    EXPECT_EQ(r.code, 2);
}

TEST_F(CliCsv, AReportIsWrittenToPdfAndNothingToPrintWritesNothing) {
    fill();
    auto report = [&](const QStringList& arguments) { return Cli(QStringLiteral("report"), data(), arguments, config()); };
    const QString pdf = dir.file(QStringLiteral("brief.pdf"));
    CliRun r = report({QStringLiteral("brief-schedule"), QStringLiteral("--from"), QStringLiteral("2026-12-01"),
                    QStringLiteral("--to"), QStringLiteral("2026-12-31"), QStringLiteral("--order"),
                    QStringLiteral("description"), QStringLiteral("--pdf"), pdf});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString words = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(words.contains(QStringLiteral("Task 40"))) << words.left(400).toStdString();
    EXPECT_TRUE(words.contains(QStringLiteral("Quote \"this\", then, a comma")));
    // Ordered by description: "Quote ..." comes before "Task ...".
    EXPECT_LT(words.indexOf(QStringLiteral("Quote")), words.indexOf(QStringLiteral("Task 1")));

    const QString none = dir.file(QStringLiteral("none.pdf"));
    r = report({QStringLiteral("brief-schedule"), QStringLiteral("--from"), QStringLiteral("2030-01-01"),
                QStringLiteral("--pdf"), none});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Nothing to Print."))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(none));
    r = report({QStringLiteral("weekly-summary"), QStringLiteral("--pdf"), none});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("brief-schedule"))) << r.err.toStdString();
    r = report({QStringLiteral("schedule-category"), QStringLiteral("--pdf"), none});
    EXPECT_EQ(r.code, 2);
    r = report({QStringLiteral("contacts")});
    EXPECT_EQ(r.code, 2);
    EXPECT_FALSE(QFile::exists(none));
}

TEST_F(CliCsv, ASearchFindsWhatTheSearchWindowFindsAndSelectsThemOnRequest) {
    fill();
    auto search = [&](const QStringList& words) {
        const CliRun r = Cli(QStringLiteral("search"), data(), words, config());
        QList<int> ids;
        for (const QString& line : QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            ids << line.section(QLatin1Char('\t'), 0, 0).toInt();
        std::sort(ids.begin(), ids.end());
        return std::make_pair(r.code, ids);
    };
    auto ids = [](std::initializer_list<int> l) { return QList<int>(l); };
    // Letter case is not looked at; a text's piece anywhere, at the start; dates whole and in ranges.
    EXPECT_EQ(search({"description", "contains", "QUOTE"}).second,
              ids({3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39}));
    EXPECT_EQ(search({"description", "begins", "task 1"}).second, ids({1, 10, 11, 13, 14, 16, 17, 19}));
    EXPECT_EQ(search({"date", "equals", "2026-12-01"}).second, ids({7, 14, 21, 28, 35}));
    EXPECT_EQ(search({"date", "inside", "2026-12-02", "2026-12-03"}).second,
              ids({1, 2, 8, 9, 15, 16, 22, 23, 29, 30, 36, 37}));
    EXPECT_EQ(search({"message", "contains", "two"}).second, ids({5, 10, 15, 20, 25, 30, 35, 40}));
    // Every criterion holds.
    EXPECT_EQ(search({"description", "begins", "task", "date", "equals", "2026-12-01"}).second, ids({7, 14, 28, 35}));
    EXPECT_EQ(search({"task-type", "equals", "run program", "date", "more", "2026-12-06"}).second,
              ids({6, 13, 20, 27, 34}));

    // --select tags them for the Selected view.
    EXPECT_EQ(search({"--select", "date", "equals", "2026-12-01"}).first, 0);
    EXPECT_EQ(SelectedTasks(data()), (std::vector<qint32>{7, 14, 21, 28, 35}));

    // Refused with a clear word: a field, a match type the field does not take, a missing
    // value, a date that is none.
    EXPECT_EQ(search({"colour", "equals", "red"}).first, 2);
    EXPECT_EQ(search({"date", "contains", "12"}).first, 2);
    EXPECT_EQ(search({"description", "equals"}).first, 2);
    EXPECT_EQ(search({"date", "inside", "2026-12-01"}).first, 2);
    EXPECT_EQ(search({"date", "equals", "2026-02-30"}).first, 2);
}

TEST_F(CliCsv, AScanSharedAmongConnectionsFindsWhatTheWindowsScanFindsInItsOrder) {
    ASSERT_TRUE(QDir().mkpath(data()));
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    Store store(data(), dialogs, end);
    store.declareLayouts();
    {
        Table<Schedule> tasks(store);
        Transaction tx;
        ASSERT_EQ(tx.begin({&tasks}), Err::None);
        for (qint32 id = 1; id <= 3000; ++id) {
            Schedule t;
            t.id = id;
            t.description = QStringLiteral("Task %1").arg(id);
            t.message = id % 7 == 0 ? QStringLiteral("Find the NEEDLE %1").arg(id) : QStringLiteral("hay");
            t.date = DateFromYmd(2030, 1, 1) + id % 90;
            ASSERT_EQ(tasks.add(t), Err::None);
        }
        ASSERT_EQ(tx.commit(), Err::None);
        // Gaps in the row numbers, and a match where two parts meet (the first part ends at
        // half the highest row, 1498).
        for (qint32 id : {1200, 1201, 2998, 2999, 3000}) {
            Schedule t;
            t.id = id;
            ASSERT_EQ(tasks.get(Schedule::KEYID, t), Err::None);
            ASSERT_EQ(tasks.remove(t), Err::None);
        }
    }
    auto windowScan = [&](const std::vector<Criterion>& criteria) {
        Tags tags(store, QString());
        ScheduleScan scan(store, criteria, SearchMode::Edit, tags);
        std::vector<qint32> ids;
        for (ScheduleScan::Result r; (r = scan.step()) != ScheduleScan::Result::Done;) {
            EXPECT_NE(r, ScheduleScan::Result::Failed);
            if (r == ScheduleScan::Result::Failed)
                break;
            if (r == ScheduleScan::Result::Match)
                ids.push_back(scan.match().id);
        }
        return ids;
    };
    int opened = 0;
    const cli::StoreOpener open = [&]() -> std::shared_ptr<Store> {
        ++opened;
        return std::make_shared<Store>(data(), dialogs, end);
    };
    const std::vector<int> listed{Schedule::ID, Schedule::DESCRIPTION, Schedule::DATE};
    for (const QStringList& words : {QStringList{"message", "contains", "needle"},
                                     QStringList{"date", "inside", "2030-02-01", "2030-02-10"},
                                     QStringList{"message", "ends", "hay", "description", "ends", "1"}}) {
        const std::vector<Criterion> criteria = cli::SearchCriteria(words);
        const std::vector<qint32> expected = windowScan(criteria);
        ASSERT_FALSE(expected.empty()) << words.join(' ').toStdString();
        const std::vector<Schedule> found = cli::FindTasks(store, criteria, QString(), listed, open, 700);
        std::vector<qint32> ids;
        for (const Schedule& t : found) {
            ids.push_back(t.id);
            // The fields listed are there, whichever way the match was read.
            EXPECT_EQ(t.description, QStringLiteral("Task %1").arg(t.id));
            EXPECT_EQ(t.date, DateFromYmd(2030, 1, 1) + t.id % 90);
        }
        EXPECT_EQ(ids, expected) << words.join(' ').toStdString();
    }
    // The whole-table scans were shared (on a machine of more than one processor), the keyed one not.
    if (std::thread::hardware_concurrency() > 1) {
        EXPECT_EQ(opened, 2 * static_cast<int>(std::min(4u, std::thread::hardware_concurrency()) - 1));
    }
}

} // namespace
} // namespace kr::test
