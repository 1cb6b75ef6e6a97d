// kelvray-cli: the schedule from a shell.
//
//   kelvray-cli next    [task options] --after WHEN [--count N]
//   kelvray-cli matches [task options] --on YYYY-MM-DD
//   kelvray-cli add     --data-dir DIR --description TEXT [...]
//   kelvray-cli list    --data-dir DIR

#include "cli/TaskOptions.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/PrivateFiles.h"
#include "scheduler/Exceptions.h"
#include "scheduler/Occurrence.h"
#include "scheduler/TaskRules.h"
#include "store/Numbering.h"
#include "store/Settings.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Transaction.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

using namespace kr;
using namespace kr::cli;

const char* const kUsage =
    "usage: kelvray-cli next    [task options] --after WHEN [--count N]\n"
    "       kelvray-cli next    [--data-dir DIR] --task N [--after WHEN] [--count N]\n"
    "       kelvray-cli matches [task options] --on YYYY-MM-DD\n"
    "       kelvray-cli add     [--data-dir DIR] --description TEXT [--task-type TEXT] [--category TEXT]\n"
    "                           [--command TEXT] [--path DIR] [--message TEXT] [task options] [--flags "
    "LIST]\n"
    "       kelvray-cli list    [--data-dir DIR]\n"
    "task options:\n"
    "  --type TEXT        schedule type (Once, Day of Week, Day of Month, Monthly, Yearly, Custom)\n"
    "  --weekdays LIST    comma list of Sun,Mon,Tue,Wed,Thu,Fri,Sat\n"
    "  --ordinals LIST    comma list of 1st,2nd,3rd,4th,last\n"
    "  --month-end        the month-end flag\n"
    "  --repeat TEXT      the month repeat text (Once, Twice - 1st, 15th, Twice - 15th, Last)\n"
    "  --offset N         the day offset of twice-a-month tasks\n"
    "  --every N          the repeat count\n"
    "  --unit TEXT        the repeat unit (minute(s), hour(s), day(s), week(s), month(s), year(s))\n"
    "  --date YYYY-MM-DD  the task's date\n"
    "  --time HH:MM[:SS]  the task's time (omitted: no time)\n"
    "WHEN: YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]\n"
    "With --task, the stored task's occurrences as the scheduler will run them, its stored next run\n"
    "first when it is after WHEN: occurrences on excluded days end in \" skipped\", followed by the\n"
    "one-time copy that replaces them, \" shifted\"; \"completed\" when nothing is left.\n"
    "Occurrences end on 2099-12-31, the last date the program handles.\n"
    "--flags: comma list of skip-next,alarm,warn,skip-if-missed,no-history,user-skip,disabled\n"
    "DIR defaults to the program's own, ~/.local/share/kelvray.\n";

// Messages of the calculation go to standard error; the calculation goes on.
class StderrDialogs final : public Dialogs {
public:
    Button message(const QString& text, const QString& caption, Icon, unsigned, Button def) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        return def;
    }
};

void Print(const QString& line) {
    std::printf("%s\n", line.toLocal8Bit().constData());
}

// The data directory as the program uses it, opened the same way (shared, enciphered).
QString DataDir(Arguments& args);

// A stored task's next occurrences as the scheduler will run them: each advance followed by
// the task's exceptions, worked out without writing anything.
int NextOfStoredTask(Arguments& args, const QString& dir, qint32 id, int count) {
    SystemClock clock;
    std::pair<Date, Time> after{clock.today(), clock.now()};
    if (auto a = args.take(QStringLiteral("--after")))
        after = ParseMoment(*a, QStringLiteral("--after"));
    args.finish();
    StderrDialogs dialogs;
    ExitProgram end(dialogs);
    Store store(dir, dialogs, end);
    store.declareLayouts();
    Schedule task;
    {
        Table<Schedule> tasks(store);
        task.id = id;
        if (tasks.get(Schedule::KEYID, task) != Err::None)
            throw UsageError{QStringLiteral("--task: there is no task %1").arg(id)};
    }
    const HolidayCalendar holidays = HolidayCalendar::load(store, clock.today(), false);
    auto [date, time] = after;
    auto line = [](Date d, Time t) {
        return FormatDay(d) + QLatin1Char(' ') + (t == 0 ? QStringLiteral("--:--:--") : FormatClock(t));
    };
    // The stored occurrence comes first when it is still ahead: the scheduler runs it (or
    // passes it over, and its shifted copy runs) before the task advances.
    if (task.completed != 0) {
        Print(QStringLiteral("completed"));
        return 0;
    }
    int shown = 0;
    if (task.date != 0 && CompareMoments(task.date, task.time, date, time) > 0) {
        if (task.skipNextTime != 0) {
            Print(line(task.date, task.time) + QStringLiteral(" skipped"));
            Schedule copy;
            copy.id = task.exceptionLink;
            Table<Schedule> tasks(store);
            if (task.exceptionLink != 0 && tasks.get(Schedule::KEYID, copy) == Err::None &&
                copy.completed == 0 && copy.disabled == 0)
                Print(line(copy.date, copy.time) + QStringLiteral(" shifted"));
        } else {
            Print(line(task.date, task.time));
        }
        ++shown;
        date = task.date;
        time = task.time;
        task.skipNextTime = 0; // cleared as the task advances past it
    }
    for (int i = shown; i < count; ++i) {
        if (!AdvanceOccurrence(task, date, time, dialogs))
            break; // nothing follows before the last date the program handles
        if (task.completed) {
            Print(QStringLiteral("completed"));
            break;
        }
        const bool markedToSkip = task.skipNextTime != 0;
        const ExceptionOutcome o = PlanExceptions(task, holidays, dialogs);
        if (o.dayExcluded || markedToSkip)
            Print(line(task.date, task.time) + QStringLiteral(" skipped"));
        else
            Print(line(task.date, task.time));
        if (o.shifted)
            Print(line(o.copyDate, task.time) + QStringLiteral(" shifted"));
        date = task.date;
        time = task.time;
        task.skipNextTime = 0; // cleared as the task advances past it
    }
    return 0;
}

int Next(Arguments& args) {
    int count = 10;
    if (auto c = args.take(QStringLiteral("--count")))
        count = ParseNumber(*c, QStringLiteral("--count"));
    if (count < 1)
        throw UsageError{QStringLiteral("--count must be at least 1")};
    if (auto id = args.take(QStringLiteral("--task"))) {
        const QString dir = DataDir(args);
        return NextOfStoredTask(args, dir, ParseNumber(*id, QStringLiteral("--task")), count);
    }
    Schedule task;
    TakeTaskOptions(args, task);
    const auto after = args.take(QStringLiteral("--after"));
    if (!after)
        throw UsageError{QStringLiteral("next needs --after WHEN")};
    auto [date, time] = ParseMoment(*after, QStringLiteral("--after"));
    args.finish();

    StderrDialogs dialogs;
    for (int i = 0; i < count; ++i) {
        // Nothing follows before the last date the program handles: what there is was shown.
        if (!AdvanceOccurrence(task, date, time, dialogs))
            break;
        if (task.completed) {
            Print(QStringLiteral("completed"));
            break;
        }
        Print(FormatDay(task.date) + QLatin1Char(' ') +
              (task.time == 0 ? QStringLiteral("--:--:--") : FormatClock(task.time)));
        date = task.date;
        time = task.time;
    }
    return 0;
}

// The data directory as the program uses it, opened the same way (shared, enciphered).
QString DataDir(Arguments& args) {
    const QString dir = args.take(QStringLiteral("--data-dir")).value_or(DefaultDataDir());
    if (!MakePrivateDir(dir))
        throw UsageError{QStringLiteral("--data-dir: cannot use ") + dir};
    return dir;
}

int Add(Arguments& args) {
    const QString dir = DataDir(args);
    const auto description = args.take(QStringLiteral("--description"));
    if (!description || description->trimmed().isEmpty())
        throw UsageError{QStringLiteral("add needs --description TEXT")};
    SystemClock clock;
    Schedule task;
    PrimeNewTask(task, clock.today(), clock.now(),
                 args.take(QStringLiteral("--task-type")).value_or(QStringLiteral("Both")));
    task.description = *description;
    task.category = args.take(QStringLiteral("--category")).value_or(QString());
    task.command = args.take(QStringLiteral("--command")).value_or(QString());
    task.path = args.take(QStringLiteral("--path")).value_or(QString());
    task.message = args.take(QStringLiteral("--message")).value_or(QString());
    // Weekdays and ordinals given replace the defaults of a new task.
    Schedule given;
    Arguments peek = args;
    TakeTaskOptions(peek, given);
    if (given.sunday || given.monday || given.tuesday || given.wednesday || given.thursday || given.friday ||
        given.saturday)
        task.sunday = task.monday = task.tuesday = task.wednesday = task.thursday = task.friday =
            task.saturday = 0;
    if (given.every1st || given.every2nd || given.every3rd || given.every4th || given.everyLast)
        task.everyLast = 0;
    TakeTaskOptions(args, task);
    if (auto flags = args.take(QStringLiteral("--flags"))) {
        const std::pair<const char*, quint8 Schedule::*> names[] = {
            {"skip-next", &Schedule::skipNextTime},
            {"alarm", &Schedule::alarm},
            {"warn", &Schedule::warn},
            {"skip-if-missed", &Schedule::skipIfMissed},
            {"no-history", &Schedule::noHistory},
            {"user-skip", &Schedule::userSkip},
            {"disabled", &Schedule::disabled},
        };
        for (const QString& f : flags->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool known = false;
            for (const auto& [name, member] : names) {
                if (f.trimmed() == QLatin1String(name)) {
                    task.*member = 1;
                    known = true;
                }
            }
            if (!known)
                throw UsageError{QStringLiteral("--flags: unknown flag: ") + f};
        }
    }
    args.finish();
    CompleteCommand(task);
    if (const QString problem = RepeatCountProblem(task); !problem.isEmpty())
        throw UsageError{QStringLiteral("--every: ") + problem};

    StderrDialogs dialogs;
    ExitProgram end(dialogs);
    Store store(dir, dialogs, end);
    store.declareLayouts();
    Table<Schedule> tasks(store);
    ConfigStore config(store, QDir(DefaultConfigDir()).filePath(QStringLiteral("KR98.INI")));
    Settings settings;
    config.loadSettings(settings);
    // Numbering and stamping are one transaction: a task is stored whole or not at all.
    Transaction tx;
    if (tx.begin({&tasks}) != Err::None) {
        std::fprintf(stderr, "kelvray-cli: the task could not be written: %s\n",
                     qPrintable(tx.error().describe()));
        return 1;
    }
    if (!ReserveRecordNumber(tasks, task))
        return 1;
    StampTask(task, settings.userId, clock.today(), clock.now());
    if (tasks.put(task) != Err::None) {
        std::fprintf(stderr, "kelvray-cli: the task could not be written: %s\n",
                     qPrintable(tasks.error().describe()));
        return 1;
    }
    if (tx.commit() != Err::None) {
        std::fprintf(stderr, "kelvray-cli: the task could not be written: %s\n",
                     qPrintable(tx.error().describe()));
        return 1;
    }
    Print(QString::number(task.id));
    return 0;
}

int List(Arguments& args) {
    const QString dir = DataDir(args);
    args.finish();
    StderrDialogs dialogs;
    ExitProgram end(dialogs);
    Store store(dir, dialogs, end);
    store.declareLayouts();
    Table<Schedule> tasks(store);
    auto line = [](const Schedule& t) {
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
    };
    // Enabled tasks with neither date nor time stand outside the key; they would sort first.
    Schedule t;
    tasks.set(-1);
    while (tasks.next(t) == Err::None) {
        if (t.disabled == 0 && t.date == 0 && t.time == 0)
            Print(line(t));
    }
    tasks.set(Schedule::KEYDATEENABLED);
    while (tasks.next(t) == Err::None)
        Print(line(t));
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

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList all = QCoreApplication::arguments();
    all.removeFirst();
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
        throw UsageError{QStringLiteral("unknown command: ") + command};
    } catch (const UsageError& e) {
        std::fprintf(stderr, "kelvray-cli: %s\n", e.text.toLocal8Bit().constData());
        return 2;
    }
}
