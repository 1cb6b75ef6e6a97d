// kelvray-cli: the schedule from a shell.
//
//   kelvray-cli next    [task options] --after WHEN [--count N]
//   kelvray-cli matches [task options] --on YYYY-MM-DD
//   kelvray-cli add     --data-dir DIR --description TEXT [...]
//   kelvray-cli list    --data-dir DIR
//   kelvray-cli show | delete | enable | disable | run  N
//   kelvray-cli runs | output RUN | status
//
// Verbs that change the schedule go through the running program (D-Bus) when it runs for the
// data folder, and to the data file directly when it does not; the result is the same. So do
// the long runs that change data (import-csv, sync receive, search --select), which Ctrl+C
// cancels. A calendar import always writes to the data file: each event goes in with the note
// that it came, in one transaction, which the bus has no call for.

#include "cli/CalendarImport.h"
#include "cli/CsvCommands.h"
#include "cli/Ics.h"
#include "cli/ProgramCalls.h"
#include "cli/SearchCommand.h"
#include "cli/TaskCommands.h"
#include "cli/TaskOptions.h"
#include "exchange/CsvExchange.h"
#include "exchange/Sync.h"
#include "reports/Reports.h"
#include "search/Match.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/PrivateFiles.h"
#include "platform/Text.h"
#include "platform/dbus/Instance.h"
#include "scheduler/Exceptions.h"
#include "scheduler/Occurrence.h"
#include "scheduler/TaskRules.h"
#include "store/CopyData.h"
#include "store/Numbering.h"
#include "store/ReadTransaction.h"
#include "store/RunRecords.h"
#include "store/Settings.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Transaction.h"
#include "store/pg/PgDatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace kr;
using namespace kr::cli;

const char* const kUsage =
    "usage: kelvray-cli next    [task options] --after WHEN [--count N]\n"
    "       kelvray-cli next    [--data-dir DIR] --task N [--after WHEN] [--count N]\n"
    "       kelvray-cli matches [task options] --on YYYY-MM-DD\n"
    "       kelvray-cli add     [--data-dir DIR] --description TEXT [--task-type TEXT] [--category TEXT]\n"
    "                           [--command TEXT] [--path DIR] [--message TEXT] [task options]\n"
    "                           [--flags LIST] [--alarm-file FILE] [--warn-at WHEN]\n"
    "       kelvray-cli list    [--data-dir DIR] [--json]\n"
    "       kelvray-cli show    [--data-dir DIR] [--json] N\n"
    "       kelvray-cli delete  [--data-dir DIR] N\n"
    "       kelvray-cli enable  [--data-dir DIR] N\n"
    "       kelvray-cli disable [--data-dir DIR] N\n"
    "       kelvray-cli run     [--data-dir DIR] N       (needs the running program)\n"
    "       kelvray-cli export-ics [--data-dir DIR] [--days N]   (the calendar on standard output)\n"
    "       kelvray-cli import-ics [--data-dir DIR] FILE\n"
    "       kelvray-cli export-csv [--data-dir DIR] --table schedule|contacts|todo [--fields F1,F2,...]\n"
    "                           [--picture F=PIC ...] [--header] FILE|-\n"
    "       kelvray-cli import-csv [--data-dir DIR] --table schedule|contacts|todo\n"
    "                           (--map 1=FIELD[:PIC],2=FIELD ... | --auto) [--header] FILE|-\n"
    "       kelvray-cli sync    [--data-dir DIR] send FILE | receive FILE\n"
    "       kelvray-cli search  [--data-dir DIR] FIELD MATCH VALUE [VALUE2] [FIELD MATCH VALUE ...]\n"
    "                           [--select] [--json]\n"
    "       kelvray-cli report  [--data-dir DIR] NAME [--from DATE] [--to DATE] [--category C]\n"
    "                           [--order ORDER] [--title T] --pdf FILE\n"
    "       kelvray-cli copy-data --from DIR|URL --to DIR|URL\n"
    "       kelvray-cli runs    [--data-dir DIR] [--task N] [--failed] [--since YYYY-MM-DD] [--limit N] "
    "[--json]\n"
    "       kelvray-cli output  [--data-dir DIR] RUN   (the output the run printed, as it was kept)\n"
    "       kelvray-cli status  [--data-dir DIR] [--json]\n"
    "       kelvray-cli --version\n"
    "--database URL|DIR (or KELVRAY_DATABASE): a PostgreSQL server that holds the shared tables\n"
    "                   (a libpq URI or conninfo), or the data folder, for every verb\n"
    "task options:\n"
    "  --type TEXT        schedule type (Once, Day of Week, Day of Month, Monthly, Yearly, Custom)\n"
    "  --weekdays LIST    comma list of Sun,Mon,Tue,Wed,Thu,Fri,Sat\n"
    "  --ordinals LIST    comma list of 1st,2nd,3rd,4th,last\n"
    "  --month-end        the month-end flag\n"
    "  --repeat TEXT      the month repeat text (Once, Twice - 1st, 15th, Twice - 15th, Last)\n"
    "  --offset N         the day offset of twice-a-month tasks (-99 to 99)\n"
    "  --every N          the repeat count (1 to 999999)\n"
    "  --unit TEXT        the repeat unit (minute(s), hour(s), day(s), week(s), month(s), year(s))\n"
    "  --date YYYY-MM-DD  the task's date\n"
    "  --time HH:MM[:SS]  the task's time (empty: no time; omitted: now for add, none otherwise)\n"
    "  --except LIST      comma list of the excluded days: weekends,weekdays,holidays\n"
    "  --except-time HH:MM-HH:MM  the excluded times of day (no end: to the end of the day)\n"
    "  --shift TEXT       what an excluded day does (Skip (to Next Valid Day), Previous Day, Next Day)\n"
    "WHEN: YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]\n"
    "add refuses what the task form refuses, with its message.\n"
    "With --task, the stored task's occurrences as the scheduler will run them, its stored next run\n"
    "first when it is after WHEN: occurrences on excluded days end in \" skipped\", followed by the\n"
    "one-time copy that replaces them, \" shifted\"; \"completed\" when nothing is left. A schedule\n"
    "given on the line runs as the same task once stored (without the data file's holidays).\n"
    "Occurrences end on 2099-12-31, the last date the program handles.\n"
    "--flags: comma list of skip-next,alarm,warn,skip-if-missed,no-history,user-skip,disabled;\n"
    "  a name after \"-\" turns the flag off (a new task has warn on: -warn)\n"
    "DIR defaults to the program's own, ~/.local/share/kelvray. Verbs that only read (list, show,\n"
    "next --task, export-ics) and those that change a task need its data file there; add and\n"
    "import-ics make it.\n"
    "--json on list, show, next, runs and status prints one JSON document.\n"
    "runs: the run records, newest first (run, task, due, start, duration in ms, result, station,\n"
    "  description); --failed keeps the runs that failed, --since those due on or after the date.\n"
    "status: each enabled task in due order with its next run, its last run and its last result.\n"
    "search: the query-by-example search of the search window; MATCH is equals, not-equals, more,\n"
    "  less, more-or-equal, less-or-equal, inside, outside (two values), begins, ends, contains,\n"
    "  not-contains, month, day, year, month-day or year-month, as the field's kind offers them;\n"
    "  --select also tags the matches for the schedule list's Selected view.\n"
    "export-csv: the table as the export window writes it; the fields named as its header line\n"
    "  names them, with or without the prefix (SCH:TaskType or TaskType), every field when\n"
    "  --fields is not given; the count of records written goes to standard error.\n"
    "import-csv: the file's fields by their place (from 1) to the table's fields, with the picture\n"
    "  that reads each; --auto matches them by the names on the first line (and skips it), as the\n"
    "  import window's Auto does; --header skips the first line. The count added goes to standard\n"
    "  error.\n"
    "import-csv, sync receive and search --select are done by the running program when it runs.\n"
    "  Ctrl+C cancels a long run as the window's Cancel does: what was written stays written.\n"
    "Exit status: 0 done, 1 failed (the reason on standard error), 2 usage, 130 cancelled.\n";

// Messages of the calculation go to standard error; the calculation goes on.
class StderrDialogs final : public Dialogs {
public:
    Button show(const QString& text, const QString& caption, Icon, unsigned, Button def) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        return def;
    }
};

void Print(const QString& line) {
    std::printf("%s\n", line.toLocal8Bit().constData());
}

// The data folder named by --data-dir, or the default one.
QString GivenDataDir(Arguments& args);
// The data folder of a verb that writes: made (private to the user) when it is missing; the
// data file in it is made on the first write.
QString DataDir(Arguments& args);
// A verb that only reads, or changes what is there, finds the data file or says there is none;
// nothing is made.
void RequireDataFile(const QString& dir);

void PrintJson(const QJsonValue& v) {
    const QByteArray text = v.isArray() ? QJsonDocument(v.toArray()).toJson(QJsonDocument::Indented)
                                        : QJsonDocument(v.toObject()).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
}

// An occurrence line as JSON: the moment in ISO 8601 and what becomes of it.
QJsonObject OccurrenceJson(const QString& line) {
    QJsonObject o;
    const QStringList parts = line.split(QLatin1Char(' '));
    o.insert(QStringLiteral("date"), parts.value(0));
    const QString time = parts.value(1);
    o.insert(QStringLiteral("time"), time == QStringLiteral("--:--:--") ? QJsonValue() : QJsonValue(time));
    o.insert(QStringLiteral("at"),
             time == QStringLiteral("--:--:--") ? parts.value(0) : parts.value(0) + QLatin1Char('T') + time);
    o.insert(QStringLiteral("skipped"), parts.value(2) == QStringLiteral("skipped"));
    o.insert(QStringLiteral("shifted"), parts.value(2) == QStringLiteral("shifted"));
    return o;
}

void PrintOccurrences(const QStringList& lines, bool json, std::optional<qint32> task) {
    if (!json) {
        for (const QString& l : lines)
            Print(l);
        return;
    }
    QJsonObject doc;
    doc.insert(QStringLiteral("task"), task ? QJsonValue(*task) : QJsonValue());
    QJsonArray list;
    bool completed = false;
    for (const QString& l : lines) {
        if (l == QStringLiteral("completed"))
            completed = true;
        else
            list.append(OccurrenceJson(l));
    }
    doc.insert(QStringLiteral("occurrences"), list);
    doc.insert(QStringLiteral("completed"), completed);
    PrintJson(doc);
}

// A stored task's next occurrences as the scheduler will run them: each advance followed by
// the task's exceptions, worked out without writing anything.
int NextOfStoredTask(Arguments& args, const QString& dir, qint32 id, int count, bool json) {
    SystemClock clock;
    std::pair<Date, Time> after{clock.today(), clock.now()};
    if (auto a = args.take(QStringLiteral("--after")))
        after = ParseMoment(*a, QStringLiteral("--after"));
    args.finish();
    RequireDataFile(dir);
    StderrDialogs dialogs;
    ExitProgram end(dialogs);
    Store store(dir, dialogs, end);
    store.declareLayouts();
    Schedule task;
    if (!FindTask(store, id, task))
        throw Failure{QStringLiteral("There is no task %1.").arg(id)};
    PrintOccurrences(StoredTaskOccurrences(store, task, after.first, after.second, count, clock.today()),
                     json, id);
    return 0;
}

int Next(Arguments& args) {
    const bool json = args.takeFlag(QStringLiteral("--json"));
    int count = 10;
    if (auto c = args.take(QStringLiteral("--count")))
        count = ParseNumber(*c, QStringLiteral("--count"));
    if (count < 1)
        throw UsageError{QStringLiteral("--count must be at least 1")};
    if (auto id = args.take(QStringLiteral("--task"))) {
        const qint32 number = ParseNumber(*id, QStringLiteral("--task"));
        return NextOfStoredTask(args, GivenDataDir(args), number, count, json);
    }
    Schedule task;
    TakeTaskOptions(args, task);
    const auto after = args.take(QStringLiteral("--after"));
    if (!after)
        throw UsageError{QStringLiteral("next needs --after WHEN")};
    auto [date, time] = ParseMoment(*after, QStringLiteral("--after"));
    args.finish();

    // The same answer as for the task once stored (less the holidays of a data file): saved, its
    // own occurrence on an excluded day is marked to be skipped, with a one-time copy on the
    // day it shifts to.
    StderrDialogs dialogs;
    Schedule copy;
    if (task.date != 0) {
        const ExceptionOutcome planned = PlanExceptions(task, HolidayCalendar(), dialogs);
        if (planned.shifted) {
            copy = task;
            copy.date = planned.copyDate;
            task.exceptionLink = -1;
        }
    }
    const QStringList lines = TaskOccurrences(task, date, time, count, HolidayCalendar(), dialogs,
                                              [&copy](qint32, Schedule& found) {
                                                  found = copy;
                                                  return copy.date != 0;
                                              });
    PrintOccurrences(lines, json, std::nullopt);
    return 0;
}

QString GivenDataDir(Arguments& args) {
    // --database (or KELVRAY_DATABASE) names a server that holds the shared tables, or the data
    // folder; the server is handed on to every store this program opens.
    const QString database =
        args.take(QStringLiteral("--database")).value_or(qEnvironmentVariable("KELVRAY_DATABASE"));
    const bool server = IsServerUri(database);
    if (server)
        qputenv("KELVRAY_DATABASE", database.toUtf8());
    else
        qunsetenv("KELVRAY_DATABASE");
    auto given = args.take(QStringLiteral("--data-dir"));
    if (!given && !server && !database.isEmpty())
        given = database;
    const QString dir = given.value_or(DefaultDataDir());
    if (dir.isEmpty())
        throw UsageError{QStringLiteral("--data-dir: the folder is missing (an empty text names none)")};
    return dir;
}

QString DataDir(Arguments& args) {
    const QString dir = GivenDataDir(args);
    if (!MakePrivateDir(dir))
        throw Failure{QStringLiteral("--data-dir: cannot use ") + dir};
    return dir;
}

void RequireDataFile(const QString& dir) {
    if (!Store::DatabaseFromEnvironment().isEmpty())
        return; // the server's tables are made on first use, as the data file's are
    if (!QFileInfo(ResolveFileName(QDir(dir).filePath(kDataFileName))).isFile())
        throw Failure{QStringLiteral("No data file in %1 (use --data-dir).").arg(dir)};
}

// The data file, opened as the program opens it.
struct DirectStore {
    explicit DirectStore(const QString& dir)
        : end(dialogs)
        , store(dir, dialogs, end) {
        store.declareLayouts();
    }
    StderrDialogs dialogs;
    ExitProgram end;
    Store store;
};

int Add(Arguments& args) {
    const QString dir = GivenDataDir(args);
    if (const auto running = RunningProgram(dir)) {
        const QDBusMessage reply =
            Call(*running, QStringLiteral("AddTask"), {QVariant(ArgumentFields(args.rest()))});
        Print(QString::number(reply.arguments().value(0).toUInt()));
        return 0;
    }
    SystemClock clock;
    Schedule task = NewTask(args, clock);
    Arguments folder({QStringLiteral("--data-dir"), dir});
    DirectStore direct(DataDir(folder));
    ConfigStore config(direct.store, QDir(DefaultConfigDir()).filePath(QStringLiteral("KR98.INI")));
    Settings settings;
    config.loadSettings(settings);
    QString error;
    if (StoreNewTask(direct.store, task, settings.userId, clock, error) == 0)
        throw Failure{error};
    Print(QString::number(task.id));
    return 0;
}

QString ListLine(const Schedule& t) {
    return QStringList{QString::number(t.id),
                       FormatDay(t.date),
                       FormatClock(t.time),
                       QString::number(t.disabled),
                       QString::number(t.completed),
                       QString::number(t.skipNextTime),
                       t.taskType,
                       t.scheduleType,
                       t.description}
        .join(QLatin1Char('\t'));
}

int List(Arguments& args) {
    const bool json = args.takeFlag(QStringLiteral("--json"));
    const QString dir = GivenDataDir(args);
    args.finish();
    RequireDataFile(dir);
    DirectStore direct(dir);
    QString error;
    const std::vector<Schedule> tasks = TasksInDueOrder(direct.store, error);
    if (!error.isEmpty())
        throw Failure{error};
    if (json) {
        QJsonArray list;
        for (const Schedule& t : tasks)
            list.append(TaskJson(t));
        PrintJson(list);
        return 0;
    }
    for (const Schedule& t : tasks)
        Print(ListLine(t));
    return 0;
}

// The task number a verb works on: the one argument left.
qint32 TaskNumber(Arguments& args, const QString& verb) {
    const QStringList rest = args.rest();
    if (rest.size() != 1)
        throw UsageError{verb + QStringLiteral(" needs one task number")};
    const int id = ParseNumber(rest.first(), verb);
    if (id < 1)
        throw UsageError{verb + QStringLiteral(": task numbers start at 1")};
    args = Arguments({});
    return id;
}

QString NoTask(qint32 id) {
    return QStringLiteral("There is no task %1.").arg(id);
}

int Show(Arguments& args) {
    const bool json = args.takeFlag(QStringLiteral("--json"));
    const QString dir = GivenDataDir(args);
    const qint32 id = TaskNumber(args, QStringLiteral("show"));
    RequireDataFile(dir);
    DirectStore direct(dir);
    Schedule task;
    if (!FindTask(direct.store, id, task))
        throw Failure{NoTask(id)};
    if (json) {
        PrintJson(TaskJson(task));
        return 0;
    }
    const QVariantMap fields = TaskFields(task);
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        Print(it.key() + QStringLiteral(": ") + it.value().toString());
    return 0;
}

// delete, enable, disable: through the running program, or on the file.
int Change(Arguments& args, const QString& verb) {
    const QString dir = GivenDataDir(args);
    const qint32 id = TaskNumber(args, verb);
    if (const auto running = RunningProgram(dir)) {
        if (verb == QStringLiteral("delete"))
            Call(*running, QStringLiteral("DeleteTask"), {static_cast<uint>(id)});
        else
            Call(*running, QStringLiteral("SetEnabled"),
                 {static_cast<uint>(id), verb == QStringLiteral("enable")});
        return 0;
    }
    RequireDataFile(dir);
    DirectStore direct(dir);
    const ChangeOutcome outcome = verb == QStringLiteral("delete")
                                      ? DeleteTaskById(direct.store, id)
                                      : SetTaskEnabled(direct.store, id, verb == QStringLiteral("enable"));
    switch (outcome) {
    case ChangeOutcome::Done:
        return 0;
    case ChangeOutcome::NotFound:
        throw Failure{NoTask(id)};
    case ChangeOutcome::ChangedByAnother:
        throw Failure{QStringLiteral("the task was changed by another station meanwhile")};
    case ChangeOutcome::Failed:
        break;
    }
    throw Failure{QStringLiteral("the task could not be changed")};
}

int Run(Arguments& args) {
    const QString dir = GivenDataDir(args);
    const qint32 id = TaskNumber(args, QStringLiteral("run"));
    const auto running = RunningProgram(dir);
    if (!running)
        throw Failure{QStringLiteral("run needs the running program, and kelvray is not running for ") + dir};
    Call(*running, QStringLiteral("RunNow"), {static_cast<uint>(id)});
    return 0;
}

int ExportIcs(Arguments& args) {
    int days = 365;
    if (auto d = args.take(QStringLiteral("--days")))
        days = ParseNumber(*d, QStringLiteral("--days"));
    if (days < 1 || days > 36500)
        throw UsageError{QStringLiteral("--days: from 1 to 36500")};
    const QString dir = GivenDataDir(args);
    args.finish();
    RequireDataFile(dir);
    DirectStore direct(dir);
    SystemClock clock;
    QString error;
    const std::vector<Schedule> tasks = TasksInDueOrder(direct.store, error);
    if (!error.isEmpty())
        throw Failure{error};
    const QByteArray text = WriteCalendar(direct.store, tasks, clock.today(), clock.now(), days);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    return 0;
}

// The one operand left after the options (a FILE, a NAME); a usage error saying `usage` when
// there is none, more than one, or an option the verb does not know.
QString OneOperand(const QStringList& rest, const QString& usage) {
    if (rest.size() != 1 || rest.first().startsWith(QStringLiteral("--")))
        throw UsageError{usage};
    return rest.first();
}

// Standard input, read whole; a file of a few million records is far below the limit.
QByteArray ReadStandardInput() {
    constexpr qint64 kMaxBytes = 1024LL * 1024 * 1024;
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        throw Failure{QStringLiteral("standard input cannot be read")};
    QByteArray bytes = in.read(kMaxBytes + 1);
    if (bytes.size() > kMaxBytes)
        throw Failure{QStringLiteral("standard input: larger than 1 GiB, not read")};
    return bytes;
}

// What the running program said while it did the work, on standard error as the data file's
// own messages would be.
void PrintSaid(const QVariantMap& answer) {
    for (const QString& text : answer.value(QStringLiteral("messages")).toStringList())
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

// The exit status of a run Ctrl+C cancelled: what was written stays written, and is counted.
constexpr int kCancelledStatus = 130;

int Cancelled() {
    std::fprintf(stderr, "kelvray-cli: cancelled; what was written before stays written\n");
    return kCancelledStatus;
}

int ExportCsv(Arguments& args) {
    const CsvExportChoice choice = TakeExportChoice(args);
    const QString dir = GivenDataDir(args);
    const QString target = OneOperand(args.rest(), QStringLiteral("export-csv needs one FILE (- for standard output)"));
    RequireDataFile(dir);
    // Standard output: written to a private file first, as the export writes only files.
    QTemporaryDir scratch;
    const bool toStdout = target == QStringLiteral("-");
    if (toStdout && !scratch.isValid())
        throw Failure{QStringLiteral("no folder for the file to be written to: ") + scratch.errorString()};
    const QString file = toStdout ? scratch.filePath(QStringLiteral("export.csv")) : target;
    qint64 written = -1;
    InterruptCancels interrupt;
    {
        DirectStore direct(dir);
        TerminalProgress progress;
        written = ExportTable(direct.store, progress, *choice.table, choice.fields, choice.header, file);
    }
    if (written < 0)
        return 1; // the reason is on standard error already
    if (toStdout) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            throw Failure{file + QStringLiteral(": ") + f.errorString()};
        while (!f.atEnd()) {
            const QByteArray part = f.read(1 << 16);
            if (std::fwrite(part.constData(), 1, static_cast<size_t>(part.size()), stdout) !=
                static_cast<size_t>(part.size()))
                throw Failure{QStringLiteral("cannot write to standard output")};
        }
        if (std::fflush(stdout) != 0)
            throw Failure{QStringLiteral("cannot write to standard output")};
    }
    std::fprintf(stderr, "%lld records written\n", static_cast<long long>(written));
    return InterruptCancels::requested() ? Cancelled() : 0;
}

int ImportCsv(Arguments& args) {
    const QStringList options = TakeImportOptions(args);
    const QString dir = DataDir(args);
    const QString source = OneOperand(args.rest(), QStringLiteral("import-csv needs one FILE (- for standard input)"));
    StderrDialogs dialogs;
    ImportFile file;
    QByteArray piped;
    if (source == QStringLiteral("-")) {
        piped = ReadStandardInput();
        file.setBytes(QByteArray(piped));
    } else if (!file.load(source, dialogs)) {
        return 1; // said on standard error
    }
    // The choices are checked here, whoever imports: a bad one is told before anything is done.
    const CsvImportChoice choice = ReadImportChoice(options, file, source);
    InterruptCancels interrupt;
    TerminalProgress progress;
    qint64 added = 0;
    bool cancelled = false;
    if (const auto running = RunningProgram(dir)) {
        // The running program reads the file itself; standard input is handed to it in a
        // private file.
        QTemporaryDir scratch;
        QString path = QFileInfo(source).absoluteFilePath();
        if (source == QStringLiteral("-")) {
            if (!scratch.isValid())
                throw Failure{QStringLiteral("no folder for standard input to be kept in: ") + scratch.errorString()};
            path = scratch.filePath(QStringLiteral("import.csv"));
            QFile kept(path);
            const int fd = OpenPrivateFile(path, O_WRONLY | O_CREAT | O_TRUNC);
            if (fd < 0 || !kept.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) ||
                kept.write(piped) != piped.size() || !kept.flush())
                throw Failure{QStringLiteral("standard input could not be kept for the program: ") +
                              QString::fromLocal8Bit(std::strerror(errno))};
        }
        const QVariantMap answer =
            LongCall(*running, QStringLiteral("ImportCsv"), {options, path}, progress);
        PrintSaid(answer);
        added = answer.value(QStringLiteral("added")).toLongLong();
        cancelled = answer.value(QStringLiteral("cancelled")).toBool();
    } else {
        DirectStore direct(dir);
        added = ImportTable(direct.store, progress, *choice.table, file, choice.assigned, choice.skipHeader);
        cancelled = progress.cancelled();
    }
    progress.end();
    std::fprintf(stderr, "%lld records added\n", static_cast<long long>(added));
    return cancelled ? Cancelled() : 0;
}

int SyncVerb(Arguments& args) {
    // The direction decides whether a missing data folder is made: it is looked at first.
    Arguments probe(args.rest());
    GivenDataDir(probe);
    const QString direction = probe.rest().isEmpty() ? QString() : probe.rest().first();
    if (direction != QStringLiteral("send") && direction != QStringLiteral("receive"))
        throw UsageError{QStringLiteral("sync needs send FILE or receive FILE")};
    const bool send = direction == QStringLiteral("send");
    const QString dir = send ? GivenDataDir(args) : DataDir(args);
    const QString file = OneOperand(args.rest().mid(1), QStringLiteral("sync %1 needs one FILE").arg(direction));
    if (send)
        RequireDataFile(dir);
    SyncCounts counts;
    bool done = false;
    InterruptCancels interrupt;
    TerminalProgress progress;
    const std::optional<QString> running = send ? std::nullopt : RunningProgram(dir);
    if (running) {
        // Merged by the running program, between its own writes; its lists show the result.
        const QVariantMap answer = LongCall(*running, QStringLiteral("SyncReceive"),
                                            {QFileInfo(file).absoluteFilePath()}, progress);
        PrintSaid(answer);
        counts.tasks = answer.value(QStringLiteral("tasks")).toLongLong();
        counts.items = answer.value(QStringLiteral("items")).toLongLong();
        counts.todos = answer.value(QStringLiteral("todos")).toLongLong();
        done = true;
    } else {
        DirectStore direct(dir);
        done = send ? SyncSend(direct.store, progress, file, &counts)
                    : SyncReceive(direct.store, progress, file, nullptr, &counts);
    }
    progress.end();
    if (!done)
        return 1; // the reason is on standard error already
    std::fprintf(stderr, "%s: %lld tasks, %lld script items, %lld to-do entries\n",
                 send ? "sent" : "received", static_cast<long long>(counts.tasks),
                 static_cast<long long>(counts.items), static_cast<long long>(counts.todos));
    return InterruptCancels::requested() ? Cancelled() : 0;
}

int SearchVerb(Arguments& args) {
    const bool json = args.takeFlag(QStringLiteral("--json"));
    const bool select = args.takeFlag(QStringLiteral("--select"));
    const QString dir = GivenDataDir(args);
    const QStringList words = args.rest();
    const std::vector<Criterion> criteria = SearchCriteria(words);
    RequireDataFile(dir);
    DirectStore direct(dir);
    ConfigStore config(direct.store, QDir(DefaultConfigDir()).filePath(QStringLiteral("KR98.INI")));
    Settings settings;
    config.loadSettings(settings);
    // A list needs its own columns only; JSON tells every field.
    const std::vector<int> listed =
        json ? std::vector<int>{}
             : std::vector<int>{Schedule::ID,        Schedule::DATE,         Schedule::TIME,
                                Schedule::DISABLED,  Schedule::COMPLETED,    Schedule::SKIPNEXTTIME,
                                Schedule::TASKTYPE,  Schedule::SCHEDULETYPE, Schedule::DESCRIPTION};
    const std::vector<Schedule> found =
        FindTasks(direct.store, criteria, settings.currentUser(), listed, [&dir]() -> std::shared_ptr<Store> {
            auto own = std::make_shared<DirectStore>(dir);
            return {own, &own->store};
        });
    if (select) {
        // The matches tagged, as the window's Select does: the "Selected" view shows them. The
        // running program tags them itself, so that its lists show them at once.
        InterruptCancels interrupt;
        TerminalProgress progress;
        if (const auto running = RunningProgram(dir)) {
            PrintSaid(LongCall(*running, QStringLiteral("SelectTasks"), {words}, progress));
        } else {
            QString error;
            SelectMatches(direct.store, criteria, settings.currentUser(), progress, error);
            if (!error.isEmpty())
                throw Failure{error};
        }
        if (InterruptCancels::requested())
            return Cancelled();
    }
    if (json) {
        QJsonArray list;
        for (const Schedule& t : found)
            list.append(TaskJson(t));
        PrintJson(list);
        return 0;
    }
    for (const Schedule& t : found)
        Print(ListLine(t));
    return 0;
}

// The report's questions as the options answer them: printed (to the PDF file) rather than
// previewed; every other message goes to standard error.
class ReportDialogs final : public Dialogs {
public:
    Button show(const QString& text, const QString& caption, Icon, unsigned, Button def) override {
        if (caption == QStringLiteral("Preview"))
            return No;
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        return def;
    }
};

std::optional<ReportKind> ReportNamed(const QString& name) {
    QString wanted = name.toLower();
    wanted.remove(QLatin1Char('-'));
    for (const QString& procedure : ReportProcedures()) {
        const QString bare = procedure.mid(6).toLower(); // after "Report"
        if (bare == wanted || procedure.toLower() == wanted)
            return ReportKindOf(procedure);
    }
    return std::nullopt;
}

QString ReportNames() {
    QStringList names;
    for (const QString& procedure : ReportProcedures()) {
        QString n;
        for (const QChar c : procedure.mid(6)) {
            if (c.isUpper() && !n.isEmpty())
                n += QLatin1Char('-');
            n += c.toLower();
        }
        names << n;
    }
    return names.join(QStringLiteral(", "));
}

int ReportVerb(Arguments& args) {
    const std::optional<QString> pdf = args.take(QStringLiteral("--pdf"));
    if (!pdf || pdf->isEmpty())
        throw UsageError{QStringLiteral("report needs --pdf FILE")};
    SystemClock clock;
    ReportChoices choices = DefaultReportChoices(clock);
    choices.chosen = true;
    const std::optional<QString> from = args.take(QStringLiteral("--from"));
    const std::optional<QString> to = args.take(QStringLiteral("--to"));
    if (from || to) {
        choices.selectedDates = true;
        if (from)
            choices.from = ParseDay(*from, QStringLiteral("--from"));
        if (to)
            choices.to = ParseDay(*to, QStringLiteral("--to"));
        // One end given: the other keeps the window's default, or a month beyond it.
        if (!to && choices.to < choices.from)
            choices.to = choices.from + 30;
        if (!from && choices.from > choices.to)
            choices.from = choices.to - 30;
        if (choices.to < choices.from)
            throw UsageError{QStringLiteral("--to: not before --from")};
    }
    const std::optional<QString> category = args.take(QStringLiteral("--category"));
    if (category) {
        choices.selectedCategory = true;
        choices.category = *category;
    }
    if (const std::optional<QString> order = args.take(QStringLiteral("--order"))) {
        qsizetype found = -1;
        for (qsizetype k = 0; k < ReportOrders().size(); ++k)
            if (ReportOrders()[k].compare(order->trimmed(), Qt::CaseInsensitive) == 0)
                found = k;
        if (found < 0)
            throw UsageError{QStringLiteral("--order: one of %1").arg(ReportOrders().join(QStringLiteral(", ")))};
        choices.order = static_cast<int>(found);
    }
    const QString title = args.take(QStringLiteral("--title")).value_or(QString());
    const QString dir = GivenDataDir(args);
    const QString name = OneOperand(args.rest(), QStringLiteral("report needs one NAME: ") + ReportNames());
    const std::optional<ReportKind> kind = ReportNamed(name);
    if (!kind)
        throw UsageError{QStringLiteral("report: no report \"%1\"; the reports are %2").arg(name, ReportNames())};
    if ((*kind == ReportKind::ScheduleCategory || *kind == ReportKind::TodoByCategory) && !category)
        throw UsageError{QStringLiteral("report %1 needs --category C").arg(name)};
    RequireDataFile(dir);
    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    ReportDialogs dialogs;
    PdfReportOutput output(*pdf);
    {
        DirectStore direct(dir);
        TerminalProgress progress;
        ReportContext ctx{direct.store,
                          dialogs,
                          clock,
                          progress,
                          output,
                          choices,
                          [](ReportChoices&) { return true; },
                          [&title](QString& t) {
                              t = title;
                              return true;
                          },
                          [&category] { return category.value_or(QString()); }};
        RunReport(ctx, *kind);
    }
    const QFileInfo written(*pdf);
    if (output.prints + output.previews == 0 || !written.exists() || written.lastModified() < started)
        return 1; // "Nothing to Print.", or why it could not be written, is on standard error
    return 0;
}

int ImportIcs(Arguments& args) {
    const QString dir = GivenDataDir(args);
    const QStringList rest = args.rest();
    if (rest.size() != 1)
        throw UsageError{QStringLiteral("import-ics needs one FILE")};
    QFile file(rest.first());
    if (!file.open(QIODevice::ReadOnly))
        throw Failure{rest.first() + QStringLiteral(": ") + file.errorString()};
    // A calendar of a few thousand events is far below this.
    constexpr qint64 kMaxBytes = 64 * 1024 * 1024;
    if (file.size() > kMaxBytes)
        throw Failure{rest.first() + QStringLiteral(": larger than 64 MB, not read")};
    const CalendarTasks read = ReadCalendar(file.read(kMaxBytes));
    if (!read.parsed)
        throw Failure{rest.first() + QStringLiteral(": ") + read.error +
                      QStringLiteral("; nothing was added")};
    auto skipped = [](const QString& summary, const QString& reason) {
        std::fprintf(stderr, "kelvray-cli: skipped \"%s\": %s\n", qPrintable(summary), qPrintable(reason));
    };
    for (const SkippedEvent& s : read.skipped)
        skipped(s.summary, s.reason);
    if (read.events.empty())
        throw Failure{read.skipped.empty() ? QStringLiteral("the calendar holds no events; nothing was added")
                                           : QStringLiteral("every event was skipped; nothing was added")};
    // On the data file even while the program runs: each event is written with the note that
    // it was imported, in one transaction, and the program reads the change as another
    // station's.
    SystemClock clock;
    Arguments folder({QStringLiteral("--data-dir"), dir});
    DirectStore direct(DataDir(folder));
    ConfigStore config(direct.store, QDir(DefaultConfigDir()).filePath(QStringLiteral("KR98.INI")));
    Settings settings;
    config.loadSettings(settings);
    int taken = 0;
    for (const CalendarEvent& event : read.events) {
        const QString summary = event.fields.value(QStringLiteral("description")).toString().simplified();
        const ImportOutcome o = ImportEvent(direct.store, event, settings.userId, clock);
        switch (o.kind) {
        case ImportOutcome::Kind::Added:
            ++taken;
            Print(QString::number(o.id));
            break;
        case ImportOutcome::Kind::Updated:
            ++taken;
            Print(QString::number(o.id));
            std::fprintf(stderr, "kelvray-cli: updated task %d from \"%s\"\n", o.id, qPrintable(summary));
            break;
        case ImportOutcome::Kind::Skipped:
            skipped(summary, o.reason);
            break;
        case ImportOutcome::Kind::Failed:
            throw Failure{QStringLiteral("\"%1\": %2").arg(summary, o.reason) +
                          (taken > 0 ? QStringLiteral("; the events listed before it were imported")
                                     : QStringLiteral("; nothing was added"))};
        }
    }
    if (taken == 0)
        throw Failure{QStringLiteral("every event was skipped; nothing was added")};
    return 0;
}

int Matches(Arguments& args) {
    Schedule task;
    TakeTaskOptions(args, task);
    const auto on = args.take(QStringLiteral("--on"));
    if (!on)
        throw UsageError{QStringLiteral("matches needs --on YYYY-MM-DD")};
    const Date date = ParseDay(*on, QStringLiteral("--on"));
    args.finish();
    Print(DateMatchesSchedule(task, date) ? QStringLiteral("yes") : QStringLiteral("no"));
    return 0;
}

} // namespace

// copy-data: one side of the copy, a server or a data folder.
struct CopySide {
    QString name;
    bool server = false;
};

CopySide TakeCopySide(Arguments& args, const QString& option) {
    const auto given = args.take(option);
    if (!given || given->trimmed().isEmpty())
        throw UsageError{option + QStringLiteral(": a data folder or a server URL is needed")};
    return CopySide{*given, IsServerUri(*given)};
}

int CopyDataVerb(Arguments& args) {
    const CopySide from = TakeCopySide(args, QStringLiteral("--from"));
    const CopySide to = TakeCopySide(args, QStringLiteral("--to"));
    if (!args.rest().isEmpty())
        throw UsageError{QStringLiteral("copy-data: unexpected ") + args.rest().join(QLatin1Char(' '))};
    if (!from.server)
        RequireDataFile(from.name);
    QString targetFile;
    bool targetExisted = true;
    if (!to.server) {
        if (!MakePrivateDir(to.name))
            throw Failure{QStringLiteral("--to: cannot use ") + to.name};
        targetFile = ResolveFileName(QDir(to.name).filePath(kDataFileName));
        targetExisted = QFileInfo::exists(targetFile);
    }
    // A server side keeps nothing in its working folder: the shared tables are all on the server.
    const QString scratch = QDir::tempPath();
    CopyOutcome outcome;
    {
        StderrDialogs dialogs;
        ExitProgram end(dialogs);
        Store source(from.server ? scratch : from.name, dialogs, end, from.server ? from.name : QString());
        Store target(to.server ? scratch : to.name, dialogs, end, to.server ? to.name : QString());
        source.declareLayouts();
        target.declareLayouts();
        const bool terminal = ::isatty(STDERR_FILENO) == 1;
        outcome = CopyData(source, target, [terminal](const QString& table, qint64 copied, qint64 total) {
            if (terminal)
                std::fprintf(stderr, "\rkelvray-cli: %s %lld of %lld\033[K", qPrintable(table),
                             static_cast<long long>(copied), static_cast<long long>(total));
        });
        if (terminal)
            std::fprintf(stderr, "\r\033[K");
    }
    if (!outcome.ok() && !targetExisted)
        QFile::remove(targetFile); // the copy made it: nothing of it is left
    if (!outcome.refusal.isEmpty())
        throw Failure{outcome.refusal};
    if (!outcome.error.ok())
        throw Failure{QStringLiteral("copying %1: %2 (nothing was copied)")
                          .arg(outcome.where, outcome.error.describe())};
    for (const TableCopied& t : outcome.tables)
        Print(QStringLiteral("%1 %2").arg(t.table).arg(t.records));
    return 0;
}

QString Moment(Date date, Time time) {
    if (date == 0)
        return QString();
    return time == 0 ? FormatDay(date) : FormatDay(date) + QLatin1Char(' ') + FormatClock(time);
}

QJsonValue IsoMoment(Date date, Time time) {
    if (date == 0)
        return QJsonValue();
    return time == 0 ? FormatDay(date) : FormatDay(date) + QLatin1Char('T') + FormatClock(time);
}

QJsonObject RunJson(const Runs& r) {
    QJsonObject o;
    o.insert(QStringLiteral("run"), r.run);
    o.insert(QStringLiteral("task"), r.taskId);
    o.insert(QStringLiteral("description"), Clip(r.description));
    o.insert(QStringLiteral("user"), Clip(r.user));
    o.insert(QStringLiteral("station"), Clip(r.station));
    o.insert(QStringLiteral("trigger"), Clip(r.trigger));
    o.insert(QStringLiteral("due"), IsoMoment(r.dueDate, r.dueTime));
    o.insert(QStringLiteral("start"), IsoMoment(r.startDate, r.startTime));
    o.insert(QStringLiteral("end"), IsoMoment(r.endDate, r.endTime));
    const qint64 ms = RunDurationMs(r);
    o.insert(QStringLiteral("durationMs"), ms < 0 ? QJsonValue() : QJsonValue(ms));
    o.insert(QStringLiteral("state"), Clip(r.result));
    o.insert(QStringLiteral("result"), RunResultText(r));
    o.insert(QStringLiteral("failed"), RunFailed(r));
    o.insert(QStringLiteral("reason"), Clip(r.reason));
    o.insert(QStringLiteral("script"), Clip(r.scriptEnd));
    o.insert(QStringLiteral("pid"), r.pid == 0 ? QJsonValue() : QJsonValue(r.pid));
    o.insert(QStringLiteral("exitStatus"), r.exited == run::Exited ? QJsonValue(r.exitStatus) : QJsonValue());
    o.insert(QStringLiteral("signal"), r.exited == run::Signalled ? QJsonValue(r.signal) : QJsonValue());
    o.insert(QStringLiteral("failure"), r.failure == 0 ? QJsonValue() : QJsonValue(r.failure));
    o.insert(QStringLiteral("failureText"), Clip(r.failureText));
    o.insert(QStringLiteral("output"), !Clip(r.output).isEmpty());
    o.insert(QStringLiteral("bytesKept"), r.bytesKept);
    o.insert(QStringLiteral("bytesLeftOut"), RunBytesLeftOut(r));
    return o;
}

int RunsVerb(Arguments& args) {
    const bool json = args.takeFlag(QStringLiteral("--json"));
    RunQuery query;
    query.failed = args.takeFlag(QStringLiteral("--failed"));
    if (const auto task = args.take(QStringLiteral("--task"))) {
        query.task = ParseNumber(*task, QStringLiteral("--task"));
        if (query.task < 1)
            throw UsageError{QStringLiteral("--task: task numbers start at 1")};
    }
    if (const auto since = args.take(QStringLiteral("--since")))
        query.since = ParseDay(*since, QStringLiteral("--since"));
    if (const auto limit = args.take(QStringLiteral("--limit"))) {
        query.limit = ParseNumber(*limit, QStringLiteral("--limit"));
        if (query.limit < 1)
            throw UsageError{QStringLiteral("--limit must be at least 1")};
    }
    const QString dir = GivenDataDir(args);
    args.finish();
    RequireDataFile(dir);
    DirectStore direct(dir);
    std::vector<Runs> runs;
    StoreError error;
    if (!ReadRuns(direct.store, query, runs, &error))
        throw Failure{QStringLiteral("reading the runs: ") + error.describe()};
    if (json) {
        QJsonArray list;
        for (const Runs& r : runs)
            list.append(RunJson(r));
        PrintJson(list);
        return 0;
    }
    for (const Runs& r : runs) {
        const qint64 ms = RunDurationMs(r);
        Print(QStringList{QString::number(r.run), QString::number(r.taskId), Moment(r.dueDate, r.dueTime),
                          Moment(r.startDate, r.startTime), ms < 0 ? QString() : QString::number(ms),
                          RunResultText(r), Clip(r.station), Clip(r.description)}
                  .join(QLatin1Char('\t')));
    }
    return 0;
}

int OutputVerb(Arguments& args) {
    const QString dir = GivenDataDir(args);
    const QStringList rest = args.rest();
    if (rest.size() != 1)
        throw UsageError{QStringLiteral("output needs one run number")};
    const int number = ParseNumber(rest.first(), QStringLiteral("output"));
    if (number < 1)
        throw UsageError{QStringLiteral("output: run numbers start at 1")};
    args = Arguments({});
    RequireDataFile(dir);
    DirectStore direct(dir);
    Table<Runs> table(direct.store);
    Runs r;
    r.run = number;
    const Err e = table.get(Runs::KEYRUN, r);
    if (e == Err::RecordNotFound)
        throw Failure{QStringLiteral("There is no run %1.").arg(number)};
    if (e != Err::None)
        throw Failure{QStringLiteral("reading the runs: ") + table.error().describe()};
    if (Clip(r.output).isEmpty())
        return 0; // it printed nothing (or nothing of it was kept)
    // Only the file's own name: a record never points outside the runs folder.
    QFile f(QDir(dir).filePath(QStringLiteral("runs/") + QFileInfo(Clip(r.output)).fileName()));
    if (!f.open(QIODevice::ReadOnly))
        throw Failure{
            QStringLiteral("the output of run %1 cannot be read: %2").arg(number).arg(f.errorString())};
    char buffer[65536];
    for (;;) {
        const qint64 n = f.read(buffer, sizeof buffer);
        if (n < 0)
            throw Failure{
                QStringLiteral("the output of run %1 cannot be read: %2").arg(number).arg(f.errorString())};
        if (n == 0)
            break;
        if (std::fwrite(buffer, 1, static_cast<size_t>(n), stdout) != static_cast<size_t>(n))
            throw Failure{QStringLiteral("cannot write the output")};
    }
    return 0;
}

int StatusVerb(Arguments& args) {
    const bool json = args.takeFlag(QStringLiteral("--json"));
    const QString dir = GivenDataDir(args);
    args.finish();
    RequireDataFile(dir);
    DirectStore direct(dir);
    Table<Runs> table(direct.store);
    // A lookup a task: the file's lock is taken once for all of them.
    const ReadTransaction read(table);
    QString error;
    const std::vector<Schedule> tasks =
        TasksInDueOrder(direct.store, error, {Schedule::ID, Schedule::DESCRIPTION, Schedule::DISABLED});
    if (!error.isEmpty())
        throw Failure{error};
    QJsonArray list;
    for (const Schedule& t : tasks) {
        if (t.disabled != 0)
            continue;
        Runs last;
        StoreError readError;
        const bool ran = LastRunOf(table, t.id, last, &readError);
        if (!readError.ok())
            throw Failure{QStringLiteral("reading the runs: ") + readError.describe()};
        if (json) {
            QJsonObject o;
            o.insert(QStringLiteral("task"), t.id);
            o.insert(QStringLiteral("description"), Clip(t.description));
            o.insert(QStringLiteral("next"), IsoMoment(t.date, t.time));
            o.insert(QStringLiteral("lastRun"), ran ? QJsonValue(last.run) : QJsonValue());
            o.insert(QStringLiteral("last"), ran ? IsoMoment(last.startDate, last.startTime) : QJsonValue());
            o.insert(QStringLiteral("result"), ran ? QJsonValue(RunResultText(last)) : QJsonValue());
            o.insert(QStringLiteral("failed"), ran && RunFailed(last));
            list.append(o);
            continue;
        }
        Print(QStringList{QString::number(t.id), Moment(t.date, t.time),
                          ran ? Moment(last.startDate, last.startTime) : QStringLiteral("-"),
                          ran ? RunResultText(last) : QStringLiteral("-"), Clip(t.description)}
                  .join(QLatin1Char('\t')));
    }
    if (json)
        PrintJson(list);
    return 0;
}

int main(int argc, char** argv) {
    // A report is drawn with the fonts of a graphical application, on no screen at all.
    const bool drawing = argc > 1 && std::strcmp(argv[1], "report") == 0;
    if (drawing)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app = drawing ? std::make_unique<QGuiApplication>(argc, argv)
                                                    : std::make_unique<QCoreApplication>(argc, argv);
    QStringList all = QCoreApplication::arguments();
    all.removeFirst();
    if (!all.isEmpty() && all.first() == QStringLiteral("--version")) {
        std::printf("kelvray-cli %s\n", KELVRAY_VERSION);
        return 0;
    }
    if (all.isEmpty() || all.first() == QStringLiteral("--help") || all.first() == QStringLiteral("-h")) {
        std::fputs(kUsage, all.isEmpty() ? stderr : stdout);
        return all.isEmpty() ? 2 : 0;
    }
    const QString command = all.takeFirst();
    Arguments args(all);
    try {
        if (command == QStringLiteral("next"))
            return Next(args);
        if (command == QStringLiteral("matches"))
            return Matches(args);
        if (command == QStringLiteral("add"))
            return Add(args);
        if (command == QStringLiteral("list"))
            return List(args);
        if (command == QStringLiteral("show"))
            return Show(args);
        if (command == QStringLiteral("delete") || command == QStringLiteral("enable") ||
            command == QStringLiteral("disable"))
            return Change(args, command);
        if (command == QStringLiteral("run"))
            return Run(args);
        if (command == QStringLiteral("export-ics"))
            return ExportIcs(args);
        if (command == QStringLiteral("export-csv"))
            return ExportCsv(args);
        if (command == QStringLiteral("import-csv"))
            return ImportCsv(args);
        if (command == QStringLiteral("sync"))
            return SyncVerb(args);
        if (command == QStringLiteral("report"))
            return ReportVerb(args);
        if (command == QStringLiteral("search"))
            return SearchVerb(args);
        if (command == QStringLiteral("import-ics"))
            return ImportIcs(args);
        if (command == QStringLiteral("copy-data"))
            return CopyDataVerb(args);
        if (command == QStringLiteral("runs"))
            return RunsVerb(args);
        if (command == QStringLiteral("output"))
            return OutputVerb(args);
        if (command == QStringLiteral("status"))
            return StatusVerb(args);
        throw UsageError{QStringLiteral("unknown command: ") + command};
    } catch (const UsageError& e) {
        std::fprintf(stderr, "kelvray-cli: %s\n", e.text.toLocal8Bit().constData());
        return 2;
    } catch (const Failure& e) {
        std::fprintf(stderr, "kelvray-cli: %s\n", e.text.toLocal8Bit().constData());
        return 1;
    }
}
