#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <QtGlobal>

namespace kr {

// A date is a day number: day 4 is 1 January 1801 and day 0 (28 December 1800) is a Sunday,
// so the weekday is the number modulo 7 with 0 = Sunday. 0 means "no date".
using Date = qint32;
// A time counts hundredths of a second since midnight plus one: 1 is 00:00:00.00 and
// 8640000 is 23:59:59.99. 0 means "no time".
using Time = qint32;

constexpr Time kOneMinute = 6000;
constexpr Time kOneHour = 360000;
constexpr Time kOneDay = 8640000;

// The last date the program handles: 31 December 2099. No occurrence, deadline or due moment
// lies beyond it.
constexpr Date kLastDate = 109211;

struct Ymd {
    int year = 0;
    int month = 0;
    int day = 0;
    friend bool operator==(const Ymd&, const Ymd&) = default;
};

// Builds a date from year, month and day, normalising out-of-range values the way the
// calendar arithmetic expects: month 13 is January of the next year, 31 February is early
// March, day 0 is the last day of the previous month.
Date DateFromYmd(int year, int month, int day);
Ymd YmdFromDate(Date date);

inline int Weekday(Date date) {
    return ((date % 7) + 7) % 7;
}

int DaysInMonth(int year, int month);
bool IsLeapYear(int year);

// Hours, minutes, seconds and hundredths to a time value (plus one).
constexpr Time TimeFromHms(int hours, int minutes, int seconds, int hundredths = 0) {
    return hours * kOneHour + minutes * kOneMinute + seconds * 100 + hundredths + 1;
}

// Moves whole days out of a time above one day into the date.
inline void CarryDays(Date& date, Time& time) {
    while (time > kOneDay) {
        time -= kOneDay;
        ++date;
    }
}

// Adds hundredths of a second to a moment in 64 bits, carrying whole days into the date. A
// moment that would lie beyond the last date the program handles stays at its very end
// (31 December 2099, 23:59:59.99): a wait that long never ends by itself.
inline void AddToMoment(Date& date, Time& time, qint64 hundredths) {
    qint64 d = date;
    qint64 t = static_cast<qint64>(time) + hundredths;
    if (t > kOneDay) {
        d += (t - 1) / kOneDay;
        t = (t - 1) % kOneDay + 1;
    }
    if (d > kLastDate) {
        date = kLastDate;
        time = kOneDay;
        return;
    }
    date = static_cast<Date>(d);
    time = static_cast<Time>(qMax<qint64>(t, -kOneDay));
}

inline void AddSeconds(Date& date, Time& time, qint64 seconds) {
    AddToMoment(date, time, seconds * 100);
}

// The year followed by the month and the day as two digits each: 5 October 1998 gives
// "19981005".
QString DateKeyText(Date date);

// -1, 0 or 1 after carrying whole days out of both times: dates first, then times.
inline int CompareMoments(Date date1, Time time1, Date date2, Time time2) {
    CarryDays(date1, time1);
    CarryDays(date2, time2);
    if (date1 != date2)
        return date1 < date2 ? -1 : 1;
    if (time1 != time2)
        return time1 < time2 ? -1 : 1;
    return 0;
}

QDate ToQDate(Date date);       // invalid QDate for 0
Date FromQDate(const QDate& d); // 0 for an invalid QDate
QTime ToQTime(Time time);       // invalid QTime for 0
Time FromQTime(const QTime& t); // 0 for an invalid QTime

} // namespace kr
