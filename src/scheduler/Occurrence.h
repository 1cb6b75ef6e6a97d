#pragma once

// The recurrence arithmetic: the next occurrence of a task after a moment, and whether a date
// is one a task can fall on.

#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "store/Tables.h"

#include <QString>

namespace kr {

// Moves the task's date (and for minute and hour repetition its time) forward to its first
// occurrence after the reference moment; a "Once" task is marked completed instead. The
// record is not written. A custom repetition without a known unit is reported through
// `dialogs`.
// False when there is no further occurrence: the next one would lie beyond the last date the
// program handles (kLastDate). The task's date and time are then left as they were. The
// arithmetic is done in 64 bits and never steps through more than a few thousand dates,
// whatever the repeat count and however far back the task's date lies.
bool AdvanceOccurrence(Schedule& task, Date referenceDate, Time referenceTime, Dialogs& dialogs);

// Whether the date (0: the task's own date) is a valid occurrence date for the task.
bool DateMatchesSchedule(const Schedule& task, Date date = 0);

// The last day of the month the date lies in.
Date LastDayOfMonth(Date date);

// The schedule's kinds, as the record stores them.
inline const QString kOnce = QStringLiteral("Once");
inline const QString kDayOfWeek = QStringLiteral("Day of Week");
inline const QString kDayOfMonth = QStringLiteral("Day of Month");
inline const QString kMonthly = QStringLiteral("Monthly");
inline const QString kYearly = QStringLiteral("Yearly");
inline const QString kCustom = QStringLiteral("Custom");

} // namespace kr
