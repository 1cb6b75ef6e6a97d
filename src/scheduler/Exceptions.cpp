#include "scheduler/Exceptions.h"

#include "scheduler/Occurrence.h"
#include "store/Numbering.h"
#include "store/Table.h"
#include "store/Transaction.h"

#include <vector>

namespace kr {

namespace {

bool AnyDayException(const Schedule& t) {
    return t.exceptWeekends || t.exceptWeekdays || t.exceptHolidays;
}

QChar ShiftKind(const Schedule& t) {
    return t.shiftType.isEmpty() ? QChar() : t.shiftType.at(0).toUpper();
}

// The time-range step; true when the occurrence moved.
bool TimeStep(Schedule& t, Dialogs& dialogs) {
    if (t.exceptTimeEnd == 0)
        t.exceptTimeEnd = kOneDay;
    const Time b = t.exceptTimeBegin;
    const Time e = t.exceptTimeEnd;
    auto inside = [&](Time time) { return b <= e ? (b <= time && time <= e) : (time < e || time > b); };
    const Date date = t.date;
    const Time time = t.time;
    int steps = 0;
    bool further = true;
    while (further && inside(t.time) && steps < 100) {
        further = AdvanceOccurrence(t, t.date, t.time + 1, dialogs);
        ++steps;
    }
    // No further occurrence in range: the occurrence stays where it is.
    if (further && inside(t.time)) {
        // The time of day never leaves the range: one step on, at the range's end.
        t.date = date;
        t.time = time;
        if (t.time < e)
            AdvanceOccurrence(t, t.date, t.time + 1, dialogs);
        else
            AdvanceOccurrence(t, t.date + 1, 1, dialogs);
        t.time = e;
    }
    return t.date != date || t.time != time;
}

} // namespace

HolidayCalendar HolidayCalendar::load(Store& store, Date today, bool write) {
    HolidayCalendar calendar;
    Table<Holidays> table(store);
    std::vector<Holidays> all;
    Holidays h;
    table.set(Holidays::KEYHOLIDAYDATE);
    while (table.next(h) == Err::None)
        all.push_back(h);
    for (Holidays& holiday : all) {
        if (holiday.annual != 0 && holiday.holidayDate < today && holiday.holidayDate != 0) {
            // On by whole years until it lies ahead again.
            while (holiday.holidayDate < today) {
                const Ymd d = YmdFromDate(holiday.holidayDate);
                holiday.holidayDate = DateFromYmd(d.year + 1, d.month, d.day);
            }
            if (write)
                table.put(holiday);
        }
        calendar.dates_.insert(holiday.holidayDate);
    }
    return calendar;
}

bool DayExcluded(const Schedule& t, Date date, const HolidayCalendar& holidays) {
    const int wd = Weekday(date);
    if (t.exceptWeekends && (wd == 0 || wd == 6))
        return true;
    if (t.exceptWeekdays && !t.exceptWeekends && wd >= 1 && wd <= 5)
        return true;
    return t.exceptHolidays && holidays.contains(date);
}

ExceptionOutcome PlanExceptions(Schedule& t, const HolidayCalendar& holidays, Dialogs& dialogs) {
    ExceptionOutcome o;
    if (t.scheduleType.trimmed() == kOnce) {
        t.exceptTime = t.exceptWeekends = t.exceptWeekdays = t.exceptHolidays = 0;
        t.exceptTimeBegin = t.exceptTimeEnd = 0;
        t.exceptOther.clear();
        return o;
    }
    if (!t.exceptTime && !AnyDayException(t))
        return o;
    if (t.exceptTime)
        o.timeMoved = TimeStep(t, dialogs);
    if (!AnyDayException(t))
        return o;
    if (t.exceptWeekends)
        t.exceptWeekdays = 0; // weekends win
    if (!DayExcluded(t, t.date, holidays))
        return o;
    o.dayExcluded = true;
    o.previousSkip = t.skipNextTime;
    t.skipNextTime = 1;
    const QChar kind = ShiftKind(t);
    if (kind == QLatin1Char('N') || kind == QLatin1Char('P')) {
        const int step = kind == QLatin1Char('N') ? 1 : -1;
        Date d = t.date;
        for (int i = 0; i < 366 && DayExcluded(t, d, holidays); ++i)
            d += step;
        o.shifted = true;
        o.copyDate = d;
    }
    return o;
}

namespace {

// The one-time copy of a shifted occurrence, inside the caller's transaction: adds the copy,
// links the task to it and, with `replacePrevious`, deletes the copy made for an earlier
// occurrence. On success `t` holds the task as now stored.
StoreError AddExceptionCopy(Table<Schedule>& tasks, Schedule& t, const ExceptionOutcome& o,
                            bool replacePrevious) {
    Schedule copy = t;
    copy.date = o.copyDate;
    const qint32 previous = copy.exceptionLink;
    copy.exceptionLink = 0;
    copy.scheduleType = kOnce;
    copy.skipNextTime = o.previousSkip;
    if (AddTaskCopy(tasks, copy) != Err::None)
        return tasks.error();
    Schedule self;
    self.id = t.id;
    if (tasks.get(Schedule::KEYID, self) != Err::None)
        return tasks.error();
    self.exceptionLink = copy.id;
    if (tasks.put(self) != Err::None)
        return tasks.error();
    if (replacePrevious && previous != 0 && previous != copy.id) {
        Schedule old;
        old.id = previous;
        const Err e = tasks.get(Schedule::KEYID, old);
        if (e != Err::None && e != Err::RecordNotFound)
            return tasks.error();
        if (e == Err::None && tasks.remove(old) != Err::None)
            return tasks.error();
    }
    t = self;
    return {};
}

} // namespace

StoreError MakeExceptionCopy(Store& store, Schedule& t, const ExceptionOutcome& o, bool replacePrevious) {
    if (!o.shifted)
        return {};
    Table<Schedule> tasks(store);
    Transaction tx;
    if (tx.begin({&tasks}) != Err::None)
        return tx.error();
    Schedule stored = t;
    if (const StoreError e = AddExceptionCopy(tasks, stored, o, replacePrevious); !e.ok())
        return e;
    if (tx.commit() != Err::None)
        return tx.error();
    t = stored;
    return {};
}

bool ApplyExceptions(Store& store, Schedule& t, bool replacePrevious, const Clock& clock, Dialogs& dialogs,
                     StoreError* failed) {
    if (failed != nullptr)
        *failed = {};
    const bool holidays = t.exceptHolidays != 0 && t.scheduleType.trimmed() != kOnce;
    const HolidayCalendar calendar =
        holidays ? HolidayCalendar::load(store, clock.today(), true) : HolidayCalendar();
    const ExceptionOutcome o = PlanExceptions(t, calendar, dialogs);
    if (!o.timeMoved && !o.dayExcluded)
        return false;
    // The occurrence, marked to be skipped when it is excluded, and the copy that takes its
    // place are written together or not at all: a task never skips a day without its copy.
    Table<Schedule> tasks(store);
    Transaction tx;
    StoreError error;
    Schedule written = t;
    if (tx.begin({&tasks}) != Err::None)
        error = tx.error();
    else if (tasks.put(written) != Err::None)
        error = tasks.error();
    else if (o.shifted)
        error = AddExceptionCopy(tasks, written, o, replacePrevious);
    if (error.ok() && tx.commit() != Err::None)
        error = tx.error();
    if (!error.ok()) {
        tx.rollback();
        if (failed != nullptr)
            *failed = error;
        return false;
    }
    t = written;
    return true;
}

} // namespace kr
