#include "scheduler/TaskRules.h"

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

} // namespace kr
