#pragma once

// The schedule as an iCalendar (RFC 5545) calendar, and calendars of other programs read as
// tasks. libical reads and writes the format.
//
// A schedule type whose rule a recurrence rule states exactly becomes an RRULE: weekly on
// weekdays, every n days, weeks, months or years, the nth or last weekday of a month, the last
// day of a month, monthly and yearly. Any other task (exceptions, twice a month, minutes and
// hours, days past the 28th) lists its next occurrences as the scheduler works them out, as
// RDATEs. Reading maps the same table backwards.

#include "platform/DateTime.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <vector>

namespace kr::cli {

// The calendar of the enabled tasks among `tasks`, times local with the local TZID.
// Occurrences listed one by one reach `days` days ahead of today.
QByteArray WriteCalendar(Store& store, const std::vector<Schedule>& tasks, Date today, Time now, int days);

struct SkippedEvent {
    QString summary;
    QString reason;
};

struct CalendarTasks {
    bool parsed = false;
    QString error;                  // why the text is not a calendar
    std::vector<QVariantMap> tasks; // the fields of `add`, one "Display Message" task per event
    std::vector<SkippedEvent> skipped;
};

// Reads a calendar of any origin. Nothing is written.
CalendarTasks ReadCalendar(const QByteArray& text);

} // namespace kr::cli
