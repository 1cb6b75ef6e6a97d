#include "scheduler/Occurrence.h"

#include "platform/Text.h"

namespace kr {

namespace {

bool IsTwiceAMonth(const Schedule& t) {
    return t.monthRepeat.left(5).toUpper() == QStringLiteral("TWICE");
}

bool HasLast(const Schedule& t) {
    return t.monthRepeat.toUpper().contains(QStringLiteral("LAST"));
}

bool WeekdayFlag(const Schedule& t, int weekday) {
    const quint8 flags[] = {t.sunday, t.monday, t.tuesday, t.wednesday, t.thursday, t.friday, t.saturday};
    return flags[weekday] != 0;
}

bool AnyWeekdayFlag(const Schedule& t) {
    return t.sunday || t.monday || t.tuesday || t.wednesday || t.thursday || t.friday || t.saturday;
}

bool AnyWeekOfMonthFlag(const Schedule& t) {
    return t.every1st || t.every2nd || t.every3rd || t.every4th || t.everyLast;
}

// One step of the weekday rules: on to the next flagged weekday, or one day when none is.
void StepToWeekday(Schedule& t) {
    if (!AnyWeekdayFlag(t)) {
        ++t.date;
        return;
    }
    do {
        ++t.date;
    } while (!WeekdayFlag(t, Weekday(t.date)));
}

bool InLastWeek(Date date) {
    return YmdFromDate(date + 7).month != YmdFromDate(date).month;
}

bool WeekOfMonthMatches(const Schedule& t, Date date) {
    const int n = YmdFromDate(date).day;
    return (n >= 1 && n <= 7 && t.every1st) || (n >= 8 && n <= 14 && t.every2nd) ||
           (n >= 15 && n <= 21 && t.every3rd) || (n >= 22 && n <= 28 && t.every4th);
}

} // namespace

Date LastDayOfMonth(Date date) {
    const Ymd ymd = YmdFromDate(date);
    return DateFromYmd(ymd.year, ymd.month + 1, 1) - 1;
}

void AdvanceOccurrence(Schedule& t, Date a, Time b, Dialogs& dialogs) {
    const QString type = Clip(t.scheduleType);

    if (type == kOnce) {
        t.completed = 1;
        return;
    }
    if (type == kMonthly && !IsTwiceAMonth(t)) {
        while (t.date <= a) {
            const Ymd d = YmdFromDate(t.date);
            int m = d.month + 1, y = d.year;
            if (m > 12) {
                m -= 12;
                ++y;
            }
            t.date = DateFromYmd(y, m, d.day);
        }
        return;
    }
    if (type == kMonthly) {
        while (t.date <= a) {
            const Ymd x = YmdFromDate(t.date - t.offset);
            Date next = 0;
            if (x.day == 15) {
                next = DateFromYmd(x.year, x.month + 1, 1);
                if (HasLast(t))
                    next -= 1;
            } else if (x.day > 15) {
                next = DateFromYmd(x.year, x.month + 1, 15);
            } else {
                next = DateFromYmd(x.year, x.month, 15);
            }
            t.date = next + t.offset;
        }
        return;
    }
    if (type == kYearly) {
        while (t.date <= a) {
            const Ymd d = YmdFromDate(t.date);
            t.date = DateFromYmd(d.year + 1, d.month, d.day);
        }
        return;
    }
    if (type == kDayOfWeek) {
        while (t.date <= a)
            StepToWeekday(t);
        return;
    }
    if (type == kDayOfMonth && t.lastDayOfMonth) {
        t.date = LastDayOfMonth(t.date <= a ? a + 1 : t.date);
        return;
    }
    if (type == kDayOfMonth) {
        for (;;) {
            StepToWeekday(t);
            if (t.date <= a)
                continue;
            if (!AnyWeekOfMonthFlag(t))
                return;
            if (WeekOfMonthMatches(t, t.date))
                return;
            if (t.everyLast && InLastWeek(t.date))
                return;
        }
    }

    // Custom repetition.
    if (t.every < 1)
        t.every = 1;
    const QString unit = t.everyType.left(3).toLower();
    if (unit == QStringLiteral("min") || unit == QStringLiteral("hou")) {
        const qint32 perDay = unit == QStringLiteral("min") ? 1440 : 24;
        const Time unitTime = unit == QStringLiteral("min") ? kOneMinute : kOneHour;
        do {
            t.date += t.every / perDay;
            t.time += (t.every % perDay) * unitTime;
            CarryDays(t.date, t.time);
        } while (!(t.date > a || (t.date == a && t.time > b)));
    } else if (unit == QStringLiteral("day")) {
        while (t.date <= a)
            t.date += t.every;
    } else if (unit == QStringLiteral("wee")) {
        while (t.date <= a)
            t.date += 7 * t.every;
    } else if (unit == QStringLiteral("mon")) {
        while (t.date <= a) {
            const Ymd d = YmdFromDate(t.date);
            int m = d.month + t.every, y = d.year;
            if (m > 12) {
                m -= 12;
                ++y;
            }
            t.date = DateFromYmd(y, m, d.day);
        }
    } else if (unit == QStringLiteral("yea")) {
        while (t.date <= a) {
            const Ymd d = YmdFromDate(t.date);
            t.date = DateFromYmd(d.year + t.every, d.month, d.day);
        }
    } else {
        dialogs.message(QStringLiteral("Custom repetition is not set up properly.  Select units."),
                        QStringLiteral("Invalid Units"), Dialogs::Icon::Exclamation);
        if (t.date <= a)
            t.date = a + 1;
    }
}

bool DateMatchesSchedule(const Schedule& t, Date date) {
    if (date == 0)
        date = t.date;
    const QString type = Clip(t.scheduleType);
    if (type == kMonthly) {
        if (!IsTwiceAMonth(t))
            return true;
        const Date x = date - t.offset;
        const int day = YmdFromDate(x).day;
        if (day == 15)
            return true;
        if (x == LastDayOfMonth(x))
            return HasLast(t);
        if (day == 1)
            return !HasLast(t);
        return false;
    }
    if (type == kDayOfWeek)
        return WeekdayFlag(t, Weekday(date));
    if (type == kDayOfMonth) {
        if (t.lastDayOfMonth)
            return date == LastDayOfMonth(date);
        if (!WeekdayFlag(t, Weekday(date)))
            return false;
        if (WeekOfMonthMatches(t, date))
            return true;
        return t.everyLast && InLastWeek(date);
    }
    // Once, Yearly and custom repetition: every date.
    return true;
}

} // namespace kr
