#pragma once

// The schedule as an iCalendar (RFC 5545) calendar, and calendars of other programs read as
// tasks. libical reads and writes the format.
//
// A task whose series a recurrence rule states exactly is written as an RRULE: weekly on
// weekdays, every n minutes, hours, days, weeks, months or years, the nth or last weekday of a
// month, the last day of a month, twice a month, monthly and yearly; a next run marked to be
// skipped is an EXDATE. Any other task (exceptions, days past the 28th, a date off its own
// schedule) lists its next occurrences as the scheduler works them out, as RDATEs. Every event
// carries the task as the program keeps it in an X-KELVRAY-TASK property, so that the
// program's own calendar gives back the tasks it came from; read, that property is checked as
// every field of `add` is. Other programs' events map the same table backwards.

#include "platform/DateTime.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <vector>

namespace kr::cli {

// The UID of task `id` of the data file in `dataDir`, the same at every export from it.
QString TaskUid(const QString& dataDir, qint32 id);

// The calendar of the enabled tasks among `tasks`, times local with the local TZID.
// Occurrences listed one by one reach `days` days ahead of today.
QByteArray WriteCalendar(Store& store, const std::vector<Schedule>& tasks, Date today, Time now, int days);

struct SkippedEvent {
    QString summary;
    QString reason;
};

// An event read as a task.
struct CalendarEvent {
    QString uid;        // the event's UID; blank when it has none
    bool own = false;   // written by this program: the task comes back from its own property
    QVariantMap fields; // the fields of `add`; for other programs' events a "Display Message" task
};

struct CalendarTasks {
    bool parsed = false;
    QString error; // why the text is not a calendar
    std::vector<CalendarEvent> events;
    std::vector<SkippedEvent> skipped;
};

// Reads a calendar of any origin. Nothing is written.
CalendarTasks ReadCalendar(const QByteArray& text);

} // namespace kr::cli
