#include "scheduler/TaskEditing.h"

#include "platform/Text.h"
#include "scheduler/Occurrence.h"
#include "scheduler/TaskRules.h"
#include "script/ScriptCommands.h"
#include "script/ScriptItems.h"
#include "store/Numbering.h"
#include "store/Table.h"

#include <algorithm>

namespace kr {

const QStringList& TaskTypes() {
    static const QStringList t{kRunProgram, kDisplayMessage, kBoth, kNoTask};
    return t;
}

const QStringList& ScheduleTypes() {
    static const QStringList t{kOnce, kDayOfWeek, kDayOfMonth, kMonthly, kYearly, kCustom};
    return t;
}

const QStringList& EveryTypes() {
    static const QStringList t{QStringLiteral("minute(s)"), QStringLiteral("hour(s)"),
                               QStringLiteral("day(s)"),    QStringLiteral("week(s)"),
                               QStringLiteral("month(s)"),  QStringLiteral("year(s)")};
    return t;
}

const QStringList& MonthRepeats() {
    static const QStringList t{QStringLiteral("Once"), QStringLiteral("Twice - 1st, 15th"),
                               QStringLiteral("Twice - 15th, Last")};
    return t;
}

const QStringList& ShiftTypes() {
    static const QStringList t{QStringLiteral("Skip (to Next Valid Day)"), QStringLiteral("Previous Day"),
                               QStringLiteral("Next Day")};
    return t;
}

namespace {

EntryProblem Problem(const char* field, const QString& text,
                     const QString& caption = QStringLiteral("Warning")) {
    return {QString::fromLatin1(field), text, caption};
}

// "Run Program, Display Message, Both or None".
QString Choices(const QStringList& list) {
    if (list.size() < 2)
        return list.join(QString());
    return QStringList(list.mid(0, list.size() - 1)).join(QStringLiteral(", ")) + QStringLiteral(" or ") +
           list.last();
}

EntryProblem NotAChoice(const char* field, const QString& what, const QString& value,
                        const QStringList& list) {
    return Problem(field, QStringLiteral("\"%1\" is not %2. Choose %3.").arg(value, what, Choices(list)));
}

bool OneLine(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return true;
}

} // namespace

EntryProblem CheckTaskEntry(const Schedule& t) {
    if (!TaskTypes().contains(Clip(t.taskType)))
        return NotAChoice("TASKTYPE", QStringLiteral("a task type"), Clip(t.taskType), TaskTypes());
    if (Clip(t.description).isEmpty())
        return Problem("DESCRIPTION", kNoDescriptionText);
    // The texts as the fields hold them: one line each (the message excepted), within the width
    // the table keeps.
    const std::pair<const char*, const char*> texts[] = {
        {"CATEGORY", "category"}, {"DESCRIPTION", "description"}, {"COMMAND", "command"},
        {"PATH", "start folder"}, {"ALARMFILE", "sound file"},    {"MESSAGE", "message"}};
    const TableDecl& decl = Schedule::decl();
    for (const auto& [name, label] : texts) {
        const int index = decl.fieldIndex(QLatin1String(name));
        const FieldDecl& f = (*decl.fields)[static_cast<std::size_t>(index)];
        const QString stored = std::get<QString>(f.get(&t));
        const QString value = f.isMemo() ? stored : Clip(stored); // a memo keeps its trailing blanks
        if (value.size() > f.maxChars())
            return Problem(name, QStringLiteral("The %1 holds %2 characters; it takes at most %3.")
                                     .arg(QLatin1String(label))
                                     .arg(value.size())
                                     .arg(f.maxChars()));
        if (!f.isMemo() && !OneLine(value))
            return Problem(name, QStringLiteral("The %1 holds a line break or another control character; it "
                                                "takes one line of text.")
                                     .arg(QLatin1String(label)));
    }
    if (!ScheduleTypes().contains(Clip(t.scheduleType)))
        return NotAChoice("SCHEDULETYPE", QStringLiteral("a schedule type"), Clip(t.scheduleType),
                          ScheduleTypes());
    if (!Clip(t.monthRepeat).isEmpty() && !MonthRepeats().contains(Clip(t.monthRepeat)))
        return NotAChoice("MONTHREPEAT", QStringLiteral("a monthly repeat"), Clip(t.monthRepeat),
                          MonthRepeats());
    if (t.offset < kMinOffset || t.offset > kMaxOffset)
        return Problem("OFFSET", QStringLiteral("Enter a number from %1 to %2 in \"Days to Offset:\".")
                                     .arg(kMinOffset)
                                     .arg(kMaxOffset));
    if (t.every < kMinEvery || t.every > kMaxEvery)
        return Problem(
            "EVERY",
            QStringLiteral("Enter a number from %1 to %2 in \"Every:\".").arg(kMinEvery).arg(kMaxEvery));
    if (!EveryTypes().contains(Clip(t.everyType)))
        return NotAChoice("EVERYTYPE", QStringLiteral("a unit"), Clip(t.everyType), EveryTypes());
    // The field keeps 20 characters: "Skip (to Next Valid Day)" is stored cut short, and read
    // back so.
    const int shiftWidth =
        (*decl.fields)[static_cast<std::size_t>(decl.fieldIndex(QStringLiteral("SHIFTTYPE")))].maxChars();
    const QString shift = Clip(t.shiftType);
    if (!shift.isEmpty() &&
        std::none_of(ShiftTypes().begin(), ShiftTypes().end(), [&](const QString& choice) {
            return shift == choice || shift == Clip(choice.left(shiftWidth));
        }))
        return NotAChoice("SHIFTTYPE", QStringLiteral("an exception action"), shift, ShiftTypes());
    if (t.exceptWeekends != 0 && t.exceptWeekdays != 0)
        return Problem("EXCEPTWEEKDAYS",
                       QStringLiteral("\"Except Weekends\" and \"Except Weekdays\" cannot both be ticked."));
    Schedule warned = t;
    if (AcceptAdvanceWarning(warned))
        return Problem("ADVANCEWARNDATE", kWarningAfterTaskText);
    if (const QString repeat = RepeatCountProblem(t); !repeat.isEmpty())
        return Problem("EVERY", repeat, QStringLiteral("Invalid Repeat Count"));
    return {};
}

TaskTypeView ViewForTaskType(const QString& taskType) {
    const QString type = Clip(taskType);
    TaskTypeView v;
    if (type == kRunProgram) {
        v.message = false;
    } else if (type == kDisplayMessage) {
        v.command = false;
    } else if (type == kNoTask) {
        v.command = false;
        v.time = false;
    }
    return v;
}

void ApplyTaskType(Schedule& task) {
    if (Clip(task.taskType) == kNoTask)
        task.time = kEndOfDayTime;
}

ScheduleTypeView ViewForSchedule(Schedule& task) {
    const QString type = Clip(task.scheduleType);
    ScheduleTypeView v;
    if (type == kYearly) {
        v.except = true;
    } else if (type == kMonthly) {
        v.groupCaption = QStringLiteral("&Repeat (Per Month)");
        v.monthRepeat = v.offset = v.except = true;
        if (!Clip(task.monthRepeat).startsWith(QLatin1Char('T')))
            task.monthRepeat = QStringLiteral("Once");
        v.offsetEnabled = Clip(task.monthRepeat).startsWith(QLatin1Char('T'));
    } else if (type == kDayOfWeek) {
        v.weekdays = true;
    } else if (type == kDayOfMonth) {
        v.ordinals = v.monthEnd = v.weekdays = v.except = true;
        v.daysEnabled = task.lastDayOfMonth == 0;
    } else if (type == kCustom) {
        v.every = v.except = true;
    }
    return v;
}

WarningDefaults WarningDefaults::read(const IniFile& ini) {
    const QString section = QStringLiteral("Warning");
    WarningDefaults d;
    const QString active = ini.read(section, QStringLiteral("Active"));
    d.active = !active.isEmpty() && active != QStringLiteral("0");
    d.days = ini.readInt(section, QStringLiteral("DateWarning"));
    d.hundredths = ini.readInt(section, QStringLiteral("TimeWarning"));
    return d;
}

bool AcceptTaskDate(Schedule& task, const WarningDefaults& defaults) {
    const bool fits = task.date == 0 || DateMatchesSchedule(task, task.date);
    if (defaults.active) {
        Date date = task.date - defaults.days;
        Time time = task.time - defaults.hundredths;
        // A warning time before midnight belongs to the day before.
        while (task.time != 0 && time <= 0) {
            time += kOneDay;
            --date;
        }
        CarryDays(date, time);
        task.advanceWarnDate = date;
        task.advanceWarnTime = time;
    }
    return fits;
}

bool AcceptAdvanceWarning(Schedule& task) {
    if (task.date < task.advanceWarnDate ||
        (task.date == task.advanceWarnDate && task.time < task.advanceWarnTime)) {
        task.advanceWarnDate = 0;
        task.advanceWarnTime = 0;
        return true;
    }
    return false;
}

bool IsBlankTask(const Schedule& task) {
    return Clip(task.description).isEmpty() && Clip(task.taskType).isEmpty() && task.date == 0 &&
           Clip(task.scheduleType).isEmpty() && Clip(task.command).isEmpty() && Clip(task.message).isEmpty();
}

void PrepareTaskCopy(Schedule& task) {
    task.disabled = 0;
    task.completed = 0;
    task.advanceWarned = 0;
}

QString OffsetTips() {
    return QStringLiteral(
        "The offset moves both dates of a twice-a-month task by the same number of days.\n\n"
        "With \"Twice - 1st, 15th\" an offset of 3 runs the task on the 4th and the 18th of every month.\n\n"
        "With \"Twice - 15th, Last\" an offset of -1 runs the task on the 14th and on the second-last day "
        "of every month.");
}

const std::vector<QuickStartDelay>& QuickStartDelays() {
    static const std::vector<QuickStartDelay> d{{"5 minutes", 30000},   {"10 minutes", 60000},
                                                {"30 minutes", 180000}, {"1 hour", 360000},
                                                {"2 hours", 720000},    {"3 hours", 1080000}};
    return d;
}

qint32 QuickStart(Store& store, const Schedule& task, Date today, Time now, Time delay, Progress* progress,
                  StoreError* error) {
    Schedule copy = task;
    copy.date = today;
    copy.time = now + delay + 100;
    CarryDays(copy.date, copy.time);
    copy.scheduleType = kOnce;
    copy.advanceWarnDate = 0;
    copy.advanceWarnTime = 0;
    copy.disabled = 0;
    copy.completed = 0;
    copy.skipped = 0;
    // Started by hand to run now: a skip meant for the task's next regular run is not the copy's.
    copy.skipNextTime = 0;
    Table<Schedule> tasks(store);
    if (AddTaskCopy(tasks, copy) != Err::None) {
        if (error != nullptr)
            *error = tasks.error();
        return 0;
    }
    NoProgress quiet;
    CopyScript(store, progress != nullptr ? *progress : quiet, task.id, copy.id);
    return copy.id;
}

} // namespace kr
