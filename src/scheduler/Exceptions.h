#pragma once

// Exceptions: occurrences inside an excluded time range are pushed on; occurrences on an
// excluded day (weekends, weekdays, holidays) are skipped or replaced by a one-time copy of
// the task on the previous or next allowed day.

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <set>

namespace kr {

// The holiday dates, with the annual holidays brought up to date.
class HolidayCalendar {
public:
    // Reads the holiday list. Annual holidays dated before today move on by whole years (as
    // the date builder does it) until today or later; with `write` the moves are stored.
    static HolidayCalendar load(Store& store, Date today, bool write);
    bool contains(Date date) const { return dates_.count(date) != 0; }

private:
    std::set<Date> dates_;
};

// What the exceptions do to one occurrence.
struct ExceptionOutcome {
    bool timeMoved = false;   // the time-range step moved the occurrence
    bool dayExcluded = false; // the occurrence falls on an excluded day (it will be skipped)
    bool shifted = false;     // a one-time copy takes its place...
    Date copyDate = 0;        // ...on this day
    quint8 previousSkip = 0;  // the task's own skip flag before the day step set it
};

// Whether the day is excluded for the task.
bool DayExcluded(const Schedule& task, Date date, const HolidayCalendar& holidays);

// Works out the exceptions of the task's occurrence in memory: clears the exceptions of a
// one-time task, moves the occurrence out of the time range, and marks an occurrence on an
// excluded day to be skipped. Nothing is written.
ExceptionOutcome PlanExceptions(Schedule& task, const HolidayCalendar& holidays, Dialogs& dialogs);

// The one-time copy of a shifted occurrence, for a task already written: adds the copy, links
// the task to it and, with `replacePrevious`, deletes the copy made for an earlier occurrence;
// all or nothing; the error when it failed. On success `task` holds the task as now stored.
StoreError MakeExceptionCopy(Store& store, Schedule& task, const ExceptionOutcome& outcome,
                             bool replacePrevious);

// ApplyExceptions: the plan carried out on the data file. Returns true when it has written the
// task itself (with its one-time copy, in one transaction), false when the caller still has
// to. With `replacePrevious` the one-time copy made for an earlier occurrence is deleted when a
// new one is made. When the writing fails, nothing is written, false is returned and the
// error is left in `failed`: the caller must not write the task as it stands then, for it is
// marked to skip an occurrence whose copy does not exist.
bool ApplyExceptions(Store& store, Schedule& task, bool replacePrevious, const Clock& clock, Dialogs& dialogs,
                     StoreError* failed = nullptr);

} // namespace kr
