#pragma once

// Rules shared by every window and tool that enters tasks.

#include "platform/DateTime.h"
#include "store/Tables.h"

namespace kr {

// The defaults of a new task: on `date` at `time`, every day of the week, the last week of
// the month, warned if missed, repeating every hour when made custom.
void PrimeNewTask(Schedule& task, Date date, Time time, const QString& taskType);

// On saving: a program task without a command only runs its script ("N/A").
void CompleteCommand(Schedule& task);

// On saving a custom repetition: a repeat count whose first step from the task's own date
// already passes the last date the program handles can never give a further date. Returns
// the message that says so, blank when the count is fine (and for the other schedule types).
QString RepeatCountProblem(const Schedule& task);

// A new task given no date of its own starts on `today`; when its schedule cannot fall on
// that day (a weekly task on another weekday), it starts on the first day from `today` that
// it can fall on instead, so it does not run once on a day it was never meant for.
void FirstDateFrom(Schedule& task, Date today);

} // namespace kr
