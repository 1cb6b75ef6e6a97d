#include "cli/TaskCommands.h"

#include "platform/Text.h"
#include "scheduler/Exceptions.h"
#include "scheduler/Occurrence.h"
#include "scheduler/TaskEditing.h"
#include "scheduler/TaskRules.h"
#include "store/Numbering.h"
#include "store/RecordChanges.h"
#include "store/Table.h"
#include "store/Transaction.h"

#include <QJsonArray>

#include <algorithm>
#include <numeric>
#include <iterator>
#include <tuple>

namespace kr::cli {

QStringList FieldArguments(const QVariantMap& fields) {
    QStringList args;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        const QString option = QStringLiteral("--") + it.key();
        const QVariant& v = it.value();
        switch (v.typeId()) {
        case QMetaType::QString:
            args << option << v.toString();
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Short:
            args << option << QString::number(v.toLongLong());
            break;
        // Unsigned numbers as they are: the largest must not turn negative on the way.
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::UShort:
        case QMetaType::UChar:
            args << option << QString::number(v.toULongLong());
            break;
        case QMetaType::Bool:
            if (v.toBool())
                args << option;
            break;
        default:
            throw UsageError{it.key() +
                             QStringLiteral(": a text, a whole number or a boolean is expected, not ") +
                             QString::fromLatin1(v.typeName())};
        }
    }
    return args;
}

QVariantMap ArgumentFields(const QStringList& args) {
    static const QStringList flags{QStringLiteral("month-end")};
    QVariantMap fields;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!a.startsWith(QStringLiteral("--")) || a.size() < 3)
            throw UsageError{QStringLiteral("unknown argument: ") + a};
        QString name = a.mid(2);
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq > 0) {
            fields.insert(name.left(eq), name.mid(eq + 1));
            continue;
        }
        if (flags.contains(name)) {
            fields.insert(name, true);
            continue;
        }
        if (i + 1 >= args.size())
            throw UsageError{a + QStringLiteral(" needs a value")};
        fields.insert(name, args[++i]);
    }
    return fields;
}

namespace {

const std::pair<const char*, quint8 Schedule::*> kFlagNames[] = {
    {"skip-next", &Schedule::skipNextTime},
    {"alarm", &Schedule::alarm},
    {"warn", &Schedule::warn},
    {"skip-if-missed", &Schedule::skipIfMissed},
    {"no-history", &Schedule::noHistory},
    {"user-skip", &Schedule::userSkip},
    {"disabled", &Schedule::disabled},
};

// The option that gives a field, for the messages of the checks.
QString OptionOf(const QString& field) {
    static const std::pair<const char*, const char*> options[] = {
        {"TASKTYPE", "--task-type"},
        {"DESCRIPTION", "--description"},
        {"CATEGORY", "--category"},
        {"COMMAND", "--command"},
        {"PATH", "--path"},
        {"ALARMFILE", "--alarm-file"},
        {"MESSAGE", "--message"},
        {"SCHEDULETYPE", "--type"},
        {"MONTHREPEAT", "--repeat"},
        {"OFFSET", "--offset"},
        {"EVERY", "--every"},
        {"EVERYTYPE", "--unit"},
        {"SHIFTTYPE", "--shift"},
        {"EXCEPTWEEKDAYS", "--except"},
        {"ADVANCEWARNDATE", "--warn-at"},
    };
    for (const auto& [name, option] : options)
        if (field == QLatin1String(name))
            return QLatin1String(option);
    return field.toLower();
}

} // namespace

Schedule NewTask(Arguments& args, const Clock& clock) {
    Schedule task;
    PrimeNewTask(task, clock.today(), clock.now(),
                 args.take(QStringLiteral("--task-type")).value_or(QStringLiteral("Both")));
    task.description = args.take(QStringLiteral("--description")).value_or(QString());
    task.category = args.take(QStringLiteral("--category")).value_or(QString());
    task.command = args.take(QStringLiteral("--command")).value_or(QString());
    task.path = args.take(QStringLiteral("--path")).value_or(QString());
    task.message = args.take(QStringLiteral("--message")).value_or(QString());
    task.alarmFile = args.take(QStringLiteral("--alarm-file")).value_or(QString());
    const bool dated = args.has(QStringLiteral("--date"));
    TakeTaskOptions(args, task);
    if (auto flags = args.take(QStringLiteral("--flags"))) {
        // A name sets its flag; with a leading "-" it clears it ("-warn": a new task warns).
        for (const QString& item : flags->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString f = item.trimmed();
            const bool off = f.startsWith(QLatin1Char('-'));
            bool known = false;
            for (const auto& [name, member] : kFlagNames) {
                if (f.mid(off ? 1 : 0) == QLatin1String(name)) {
                    task.*member = off ? 0 : 1;
                    known = true;
                }
            }
            if (!known)
                throw UsageError{QStringLiteral("--flags: unknown flag: ") + item};
        }
    }
    if (auto v = args.take(QStringLiteral("--warn-at"))) {
        const auto [date, time] = ParseMoment(*v, QStringLiteral("--warn-at"));
        task.advanceWarnDate = date;
        task.advanceWarnTime = time;
    }
    args.finish();
    if (!dated)
        FirstDateFrom(task, clock.today());
    // What saving on the form does: a program task without a command runs its script only, a
    // task of type "None" runs at the end of its day, a time range without an end runs to
    // midnight.
    CompleteCommand(task);
    ApplyTaskType(task);
    if (task.exceptTime != 0 && task.exceptTimeEnd == 0)
        task.exceptTimeEnd = kOneDay;
    if (const EntryProblem problem = CheckTaskEntry(task); !problem.ok())
        throw UsageError{OptionOf(problem.field) + QStringLiteral(": ") + problem.text};
    return task;
}

qint32 StoreNewTask(Store& store, Schedule& task, const QString& user, const Clock& clock, QString& error,
                    bool planExceptions) {
    // The exceptions as the form's save works them out: on the record before it is written, the
    // one-time copy of a shifted occurrence once it is.
    ExceptionOutcome exceptions;
    const bool holidays = planExceptions && task.exceptHolidays != 0 && Clip(task.scheduleType) != kOnce;
    if (planExceptions)
        exceptions = PlanExceptions(
            task, holidays ? HolidayCalendar::load(store, clock.today(), false) : HolidayCalendar(),
            store.dialogs());
    Table<Schedule> tasks(store);
    // Numbering and stamping are one transaction: a task is stored whole or not at all.
    Transaction tx;
    if (tx.begin({&tasks}) != Err::None) {
        error = QStringLiteral("the task could not be written: ") + tx.error().describe();
        return 0;
    }
    if (!ReserveRecordNumber(tasks, task)) {
        tx.rollback();
        error = QStringLiteral("the task could not be numbered");
        return 0;
    }
    StampTask(task, user, clock.today(), clock.now());
    if (tasks.put(task) != Err::None) {
        error = QStringLiteral("the task could not be written: ") + tasks.error().describe();
        tx.rollback();
        return 0;
    }
    if (tx.commit() != Err::None) {
        error = QStringLiteral("the task could not be written: ") + tx.error().describe();
        return 0;
    }
    if (holidays)
        HolidayCalendar::load(store, clock.today(), true);
    if (const StoreError e = MakeExceptionCopy(store, task, exceptions, false); !e.ok()) {
        error = QStringLiteral("task %1 was written, but not the one-time copy for its shifted day: ")
                    .arg(task.id) +
                e.describe();
        return 0;
    }
    return task.id;
}

std::vector<Schedule> TasksInDueOrder(Store& store, QString& error, std::vector<int> fields) {
    // One pass over the table, sorted here as the due key sorts (disabled, date, time, then
    // record order): reading along the key after a pass for the undated tasks read every
    // record twice.
    Table<Schedule> tasks(store);
    std::vector<Schedule> out;
    std::vector<Schedule> batch;
    tasks.set(-1);
    if (!fields.empty())
        fields.insert(fields.end(), {Schedule::DISABLED, Schedule::DATE, Schedule::TIME});
    while ((fields.empty() ? tasks.nextBatch(batch, 512) : tasks.nextBatch(batch, 512, fields)) == Err::None)
        std::move(batch.begin(), batch.end(), std::back_inserter(out));
    if (tasks.error().code != Err::NoMoreRecords) {
        error = QStringLiteral("the schedule could not be read: ") + tasks.error().describe();
        return {};
    }
    auto outsideKey = [](const Schedule& s) { return s.disabled == 0 && s.date == 0 && s.time == 0; };
    // The places are sorted, not the records: a record is large to move.
    std::vector<std::size_t> order(out.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        const Schedule& a = out[x];
        const Schedule& b = out[y];
        const bool ao = outsideKey(a), bo = outsideKey(b);
        if (ao || bo)
            return ao && !bo;
        return std::tie(a.disabled, a.date, a.time, a.meta.rowid) <
               std::tie(b.disabled, b.date, b.time, b.meta.rowid);
    });
    std::vector<Schedule> sorted;
    sorted.reserve(out.size());
    for (std::size_t i : order)
        sorted.push_back(std::move(out[i]));
    out = std::move(sorted);
    return out;
}

bool FindTask(Store& store, qint32 id, Schedule& task) {
    Table<Schedule> tasks(store);
    task = Schedule{};
    task.id = id;
    return id > 0 && tasks.get(Schedule::KEYID, task) == Err::None;
}

namespace {

QString Weekdays(const Schedule& t) {
    QStringList out;
    const std::pair<const char*, quint8 Schedule::*> days[] = {
        {"Sun", &Schedule::sunday},    {"Mon", &Schedule::monday},   {"Tue", &Schedule::tuesday},
        {"Wed", &Schedule::wednesday}, {"Thu", &Schedule::thursday}, {"Fri", &Schedule::friday},
        {"Sat", &Schedule::saturday}};
    for (const auto& [name, member] : days)
        if (t.*member != 0)
            out << QLatin1String(name);
    return out.join(QLatin1Char(','));
}

QString Ordinals(const Schedule& t) {
    QStringList out;
    const std::pair<const char*, quint8 Schedule::*> ords[] = {{"1st", &Schedule::every1st},
                                                               {"2nd", &Schedule::every2nd},
                                                               {"3rd", &Schedule::every3rd},
                                                               {"4th", &Schedule::every4th},
                                                               {"last", &Schedule::everyLast}};
    for (const auto& [name, member] : ords)
        if (t.*member != 0)
            out << QLatin1String(name);
    return out.join(QLatin1Char(','));
}

QString FlagNames(const Schedule& t) {
    QStringList out;
    for (const auto& [name, member] : kFlagNames)
        if (t.*member != 0)
            out << QLatin1String(name);
    return out.join(QLatin1Char(','));
}

QString Exceptions(const Schedule& t) {
    QStringList out;
    const std::pair<const char*, quint8 Schedule::*> days[] = {{"weekends", &Schedule::exceptWeekends},
                                                               {"weekdays", &Schedule::exceptWeekdays},
                                                               {"holidays", &Schedule::exceptHolidays}};
    for (const auto& [name, member] : days)
        if (t.*member != 0)
            out << QLatin1String(name);
    return out.join(QLatin1Char(','));
}

} // namespace

QVariantMap TaskFields(const Schedule& t) {
    QVariantMap m;
    m.insert(QStringLiteral("id"), static_cast<uint>(t.id));
    m.insert(QStringLiteral("description"), Clip(t.description));
    m.insert(QStringLiteral("task-type"), Clip(t.taskType));
    m.insert(QStringLiteral("category"), Clip(t.category));
    m.insert(QStringLiteral("command"), Clip(t.command));
    m.insert(QStringLiteral("path"), Clip(t.path));
    m.insert(QStringLiteral("message"), t.message);
    m.insert(QStringLiteral("type"), Clip(t.scheduleType));
    m.insert(QStringLiteral("weekdays"), Weekdays(t));
    m.insert(QStringLiteral("ordinals"), Ordinals(t));
    m.insert(QStringLiteral("month-end"), t.lastDayOfMonth != 0);
    m.insert(QStringLiteral("repeat"), Clip(t.monthRepeat));
    m.insert(QStringLiteral("offset"), t.offset);
    m.insert(QStringLiteral("every"), t.every);
    m.insert(QStringLiteral("unit"), Clip(t.everyType));
    m.insert(QStringLiteral("date"), FormatDay(t.date));
    m.insert(QStringLiteral("time"), FormatClock(t.time));
    m.insert(QStringLiteral("disabled"), t.disabled != 0);
    m.insert(QStringLiteral("completed"), t.completed != 0);
    m.insert(QStringLiteral("skip-next"), t.skipNextTime != 0);
    m.insert(QStringLiteral("flags"), FlagNames(t));
    m.insert(QStringLiteral("except"), Exceptions(t));
    m.insert(QStringLiteral("except-time"),
             t.exceptTime != 0
                 ? FormatClockExact(t.exceptTimeBegin) + QLatin1Char('-') + FormatClockExact(t.exceptTimeEnd)
                 : QString());
    m.insert(QStringLiteral("shift"), Clip(t.shiftType));
    m.insert(QStringLiteral("alarm-file"), Clip(t.alarmFile));
    m.insert(QStringLiteral("warn-at"),
             t.advanceWarnDate == 0 ? QString()
             : t.advanceWarnTime == 0
                 ? FormatDay(t.advanceWarnDate)
                 : FormatDay(t.advanceWarnDate) + QLatin1Char('T') + FormatClockExact(t.advanceWarnTime));
    return m;
}

QJsonObject TaskJson(const Schedule& t) {
    QJsonObject o = QJsonObject::fromVariantMap(TaskFields(t));
    // Numbers as numbers, and a missing date or time as null rather than an empty text.
    o.insert(QStringLiteral("id"), t.id);
    if (t.date == 0)
        o.insert(QStringLiteral("date"), QJsonValue::Null);
    if (t.time == 0)
        o.insert(QStringLiteral("time"), QJsonValue::Null);
    return o;
}

QStringList TaskOccurrences(Schedule task, Date date, Time time, int count, const HolidayCalendar& holidays,
                            Dialogs& dialogs, const std::function<bool(qint32, Schedule&)>& findTask) {
    QStringList out;
    if (task.completed != 0)
        return {QStringLiteral("completed")};
    auto line = [](Date d, Time t) {
        return FormatDay(d) + QLatin1Char(' ') + (t == 0 ? QStringLiteral("--:--:--") : FormatClock(t));
    };
    // The stored occurrence comes first when it is still ahead: the scheduler runs it (or
    // passes it over, and its shifted copy runs) before the task advances.
    int shown = 0;
    if (task.date != 0 && CompareMoments(task.date, task.time, date, time) > 0) {
        if (task.skipNextTime != 0) {
            out << line(task.date, task.time) + QStringLiteral(" skipped");
            Schedule copy;
            if (task.exceptionLink != 0 && findTask && findTask(task.exceptionLink, copy) &&
                copy.completed == 0 && copy.disabled == 0)
                out << line(copy.date, copy.time) + QStringLiteral(" shifted");
        } else {
            out << line(task.date, task.time);
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
            out << QStringLiteral("completed");
            break;
        }
        const bool markedToSkip = task.skipNextTime != 0;
        const ExceptionOutcome o = PlanExceptions(task, holidays, dialogs);
        if (o.dayExcluded || markedToSkip)
            out << line(task.date, task.time) + QStringLiteral(" skipped");
        else
            out << line(task.date, task.time);
        if (o.shifted)
            out << line(o.copyDate, task.time) + QStringLiteral(" shifted");
        date = task.date;
        time = task.time;
        task.skipNextTime = 0; // cleared as the task advances past it
    }
    return out;
}

QStringList StoredTaskOccurrences(Store& store, Schedule task, Date date, Time time, int count, Date today) {
    if (task.completed != 0)
        return {QStringLiteral("completed")};
    return TaskOccurrences(task, date, time, count, HolidayCalendar::load(store, today, false),
                           store.dialogs(),
                           [&store](qint32 id, Schedule& found) { return FindTask(store, id, found); });
}

namespace {

// Loads a task for a change with change detection armed.
bool LoadForChange(Table<Schedule>& tasks, qint32 id, Schedule& task) {
    task = Schedule{};
    task.id = id;
    if (id <= 0 || tasks.get(Schedule::KEYID, task) != Err::None)
        return false;
    return ReloadForChange(tasks, task.meta.rowid, task, tasks.store().dialogs());
}

ChangeOutcome Outcome(ChangeResult r) {
    switch (r) {
    case ChangeResult::Done:
        return ChangeOutcome::Done;
    case ChangeResult::ChangedElsewhere:
        return ChangeOutcome::ChangedByAnother;
    case ChangeResult::Failed:
        break;
    }
    return ChangeOutcome::Failed;
}

} // namespace

ChangeOutcome SetTaskEnabled(Store& store, qint32 id, bool enabled) {
    Table<Schedule> tasks(store);
    Schedule task;
    if (!LoadForChange(tasks, id, task))
        return ChangeOutcome::NotFound;
    if ((task.disabled == 0) == enabled)
        return ChangeOutcome::Done;
    const Schedule original = task;
    task.disabled = enabled ? 0 : 1;
    return Outcome(UpdateCurrent(tasks, task, original, false));
}

ChangeOutcome DeleteTaskById(Store& store, qint32 id) {
    Table<Schedule> tasks(store);
    Schedule task;
    if (!LoadForChange(tasks, id, task))
        return ChangeOutcome::NotFound;
    return Outcome(DeleteCurrent(tasks, task));
}

} // namespace kr::cli
