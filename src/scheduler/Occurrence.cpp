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

namespace {

// The minute and hour steps: `days` whole days and `rest` hundredths at a time, until the
// moment is after (a, b). False when it would pass the last date.
bool StepMoment(Schedule& t, qint64 days, qint64 rest, Date a, Time b) {
    const qint64 step = days * kOneDay + rest;
    qint64 date = t.date;
    qint64 time = t.time;
    for (;;) {
        // Far behind the reference: take the whole steps that end before its day at once.
        // The moment is kept with its time within the day, as the single steps keep it.
        if (time >= 1 && time <= kOneDay && date >= 0 && date < a) {
            const qint64 moment = date * kOneDay + time;
            const qint64 skip = (static_cast<qint64>(a) * kOneDay - moment) / step;
            if (skip > 1) {
                const qint64 to = moment + skip * step;
                date = (to - 1) / kOneDay;
                time = (to - 1) % kOneDay + 1;
            }
        }
        date += days;
        time += rest;
        while (time > kOneDay) {
            time -= kOneDay;
            ++date;
        }
        if (date > kLastDate)
            return false;
        if (date > a || (date == a && time > b))
            break;
    }
    t.date = static_cast<Date>(date);
    t.time = static_cast<Time>(time);
    return true;
}

} // namespace

bool AdvanceOccurrence(Schedule& t, Date a, Time b, Dialogs& dialogs) {
    const QString type = Clip(t.scheduleType);

    if (type == kOnce) {
        t.completed = 1;
        return true;
    }
    const Date startDate = t.date;
    const Time startTime = t.time;
    auto none = [&] {
        t.date = startDate;
        t.time = startTime;
        return false;
    };
    // Past the last date nothing can follow; before the first, count from the beginning.
    if (t.date > kLastDate || a >= kLastDate + 1)
        return none();
    if (t.date < 0)
        t.date = 0;

    if (type == kMonthly && !IsTwiceAMonth(t)) {
        while (t.date <= a) {
            const Ymd d = YmdFromDate(t.date);
            int m = d.month + 1, y = d.year;
            if (m > 12) {
                m -= 12;
                ++y;
            }
            if (y > YmdFromDate(kLastDate).year)
                return none();
            t.date = DateFromYmd(y, m, d.day);
        }
        return t.date <= kLastDate ? true : none();
    }
    if (type == kMonthly) {
        while (t.date <= a) {
            const qint64 shifted = static_cast<qint64>(t.date) - t.offset;
            if (shifted < 0 || shifted > kLastDate + 31)
                return none();
            const Ymd x = YmdFromDate(static_cast<Date>(shifted));
            qint64 next = 0;
            if (x.day == 15) {
                next = DateFromYmd(x.year, x.month + 1, 1);
                if (HasLast(t))
                    next -= 1;
            } else if (x.day > 15) {
                next = DateFromYmd(x.year, x.month + 1, 15);
            } else {
                next = DateFromYmd(x.year, x.month, 15);
            }
            next += t.offset;
            if (next > kLastDate)
                return none();
            if (next <= t.date)
                return none(); // an offset that moves nothing forward
            t.date = static_cast<Date>(next);
        }
        return true;
    }
    if (type == kYearly) {
        while (t.date <= a) {
            const Ymd d = YmdFromDate(t.date);
            if (d.year + 1 > YmdFromDate(kLastDate).year)
                return none();
            t.date = DateFromYmd(d.year + 1, d.month, d.day);
        }
        return true;
    }
    if (type == kDayOfWeek) {
        // Every flagged weekday up to the reference would be passed over: start from it.
        if (t.date <= a) {
            t.date = a;
            StepToWeekday(t);
        }
        return t.date <= kLastDate ? true : none();
    }
    if (type == kDayOfMonth && t.lastDayOfMonth) {
        t.date = LastDayOfMonth(t.date <= a ? a + 1 : t.date);
        return t.date <= kLastDate ? true : none();
    }
    if (type == kDayOfMonth) {
        if (t.date < a)
            t.date = a;
        for (;;) {
            StepToWeekday(t);
            if (t.date > kLastDate)
                return none();
            if (t.date <= a)
                continue;
            if (!AnyWeekOfMonthFlag(t))
                return true;
            if (WeekOfMonthMatches(t, t.date))
                return true;
            if (t.everyLast && InLastWeek(t.date))
                return true;
        }
    }

    // Custom repetition.
    if (t.every < 1)
        t.every = 1;
    const qint64 every = t.every;
    const QString unit = t.everyType.left(3).toLower();
    if (unit == QStringLiteral("min") || unit == QStringLiteral("hou")) {
        const qint64 perDay = unit == QStringLiteral("min") ? 1440 : 24;
        const qint64 unitTime = unit == QStringLiteral("min") ? kOneMinute : kOneHour;
        if (every / perDay > kLastDate)
            return none();
        return StepMoment(t, every / perDay, (every % perDay) * unitTime, a, b) ? true : none();
    }
    if (unit == QStringLiteral("day") || unit == QStringLiteral("wee")) {
        const qint64 step = unit == QStringLiteral("day") ? every : 7 * every;
        if (t.date <= a) {
            const qint64 next = t.date + ((a - t.date) / step + 1) * step;
            if (next > kLastDate)
                return none();
            t.date = static_cast<Date>(next);
        }
        return true;
    }
    if (unit == QStringLiteral("mon") || unit == QStringLiteral("yea")) {
        const qint64 months = unit == QStringLiteral("mon") ? every : 12 * every;
        const qint64 lastYear = YmdFromDate(kLastDate).year;
        while (t.date <= a) {
            const Ymd d = YmdFromDate(t.date);
            // The month count carries into the year as the date builder carries it.
            const qint64 total = static_cast<qint64>(d.year) * 12 + (d.month - 1) + months;
            if (total / 12 > lastYear)
                return none();
            t.date = DateFromYmd(static_cast<int>(total / 12), static_cast<int>(total % 12) + 1, d.day);
        }
        return true;
    }
    dialogs.message(QStringLiteral("Custom repetition is not set up properly.  Select units."),
                    QStringLiteral("Invalid Units"), Dialogs::Icon::Exclamation);
    if (t.date <= a)
        t.date = a + 1;
    return true;
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
