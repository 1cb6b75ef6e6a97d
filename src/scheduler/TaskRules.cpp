#include "scheduler/TaskRules.h"

#include "platform/Text.h"
#include "scheduler/Occurrence.h"

namespace kr {

void PrimeNewTask(Schedule& t, Date date, Time time, const QString& taskType) {
    t.date = date;
    t.time = time;
    t.scheduleType = kDayOfWeek;
    t.sunday = t.monday = t.tuesday = t.wednesday = t.thursday = t.friday = t.saturday = 1;
    t.everyLast = 1;
    t.warn = 1;
    t.every = 1;
    t.everyType = QStringLiteral("hour(s)");
    t.taskType = taskType;
}

void CompleteCommand(Schedule& t) {
    const QString type = t.taskType.trimmed();
    if (t.command.trimmed().isEmpty() &&
        (type == QStringLiteral("Run Program") || type == QStringLiteral("Both")))
        t.command = QStringLiteral("N/A");
}

namespace {

// The unit message is the calculation's; here only the date matters.
class SilentDialogs final : public Dialogs {
public:
    Button show(const QString&, const QString&, Icon, unsigned, Button def) override { return def; }
};

} // namespace

QString RepeatCountProblem(const Schedule& task) {
    const QString type = Clip(task.scheduleType);
    if (type == kOnce || type == kDayOfWeek || type == kDayOfMonth || type == kMonthly || type == kYearly)
        return {};
    if (task.date <= 0 || task.date > kLastDate)
        return {};
    Schedule next = task;
    SilentDialogs silent;
    if (AdvanceOccurrence(next, task.date, task.time, silent))
        return {};
    return QStringLiteral("Repeating every %1 %2 never gives a date after %3: the last date the program "
                          "handles is 31 Dec 2099. Enter a smaller number in \"Every:\".")
        .arg(qMax(1, task.every))
        .arg(Clip(task.everyType), ToQDate(task.date).toString(QStringLiteral("d MMM yyyy")));
}

void FirstDateFrom(Schedule& task, Date today) {
    task.date = today;
    if (DateMatchesSchedule(task, today))
        return;
    Schedule probe = task;
    probe.date = today - 1;
    SilentDialogs silent;
    if (AdvanceOccurrence(probe, today - 1, task.time, silent) && probe.completed == 0)
        task.date = probe.date;
}

} // namespace kr
