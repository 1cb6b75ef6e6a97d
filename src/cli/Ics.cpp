#include "cli/Ics.h"

#include "cli/TaskCommands.h"
#include "platform/DateTime.h"
#include "platform/Text.h"
#include "scheduler/Occurrence.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimeZone>
#include <QUrl>

#include <memory>
#include <optional>

extern "C" {
#include <libical/ical.h>
}

namespace kr::cli {

namespace {

// libical's objects, freed with the functions it names.
struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

const char* const kDayNames[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

quint8 Schedule::*const kDayFlags[] = {&Schedule::sunday,    &Schedule::monday,   &Schedule::tuesday,
                                       &Schedule::wednesday, &Schedule::thursday, &Schedule::friday,
                                       &Schedule::saturday};

QStringList FlaggedDays(const Schedule& t) {
    QStringList days;
    for (int i = 0; i < 7; ++i)
        if (t.*kDayFlags[i] != 0)
            days << QLatin1String(kDayNames[i]);
    return days;
}

// libical keeps a rule's interval in 16 bits.
constexpr qint32 kMaxInterval = 32767;

QString Interval(qint32 every) {
    return every > 1 ? QStringLiteral(";INTERVAL=%1").arg(every) : QString();
}

// "1,15", "15,-1" or, shifted, "-3,12": the days of the month a twice-a-month task runs on, as
// BYMONTHDAY names them; nullopt when a shifted day moves with the length of its month.
std::optional<QString> TwiceMonthDays(bool toLast, qint32 offset) {
    // A day counted from the start of its month, shifted: before the 1st it counts back from
    // the end of the month before.
    auto fromStart = [&](int day) -> std::optional<int> {
        const int d = day + offset;
        if (d > 28 || d < -27)
            return std::nullopt;
        return d >= 1 ? d : d - 1;
    };
    // The last day, shifted: past it the days count on in the next month.
    auto fromEnd = [&]() -> std::optional<int> {
        if (offset > 28 || offset < -27)
            return std::nullopt;
        return offset > 0 ? offset : offset - 1;
    };
    const std::optional<int> first = toLast ? fromStart(15) : fromStart(1);
    const std::optional<int> second = toLast ? fromEnd() : fromStart(15);
    if (!first || !second)
        return std::nullopt;
    return QStringLiteral("%1,%2").arg(std::min(*first, *second)).arg(std::max(*first, *second));
}

// The offsets a twice-a-month rule is looked for under, the smallest shift first.
const std::vector<qint32>& TwiceOffsets() {
    static const std::vector<qint32> offsets = [] {
        std::vector<qint32> v{0};
        for (qint32 k = 1; k <= 28; ++k) {
            v.push_back(-k);
            v.push_back(k);
        }
        return v;
    }();
    return offsets;
}

bool Twice(const Schedule& t) {
    return Clip(t.monthRepeat).left(5).toUpper() == QStringLiteral("TWICE");
}

// The days of the week a task's exceptions leave it when all they do is pass over whole
// weekdays: weekends or weekdays excluded and skipped. All seven without exceptions; nullopt
// when they do more (holidays, a time range, a shift to another day).
std::optional<QStringList> AllowedDays(const Schedule& t) {
    if (t.exceptHolidays != 0 || t.exceptTime != 0 || !Clip(t.exceptOther).isEmpty())
        return std::nullopt;
    if (t.exceptWeekends == 0 && t.exceptWeekdays == 0)
        return QStringList{"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
    const QString shift = Clip(t.shiftType).left(1).toUpper();
    if (shift == QStringLiteral("N") || shift == QStringLiteral("P"))
        return std::nullopt;
    if (t.exceptWeekends != 0) // weekends win
        return QStringList{"MO", "TU", "WE", "TH", "FR"};
    return QStringList{"SU", "SA"};
}

// The recurrence rule that states the task's series exactly: an empty text for a single
// occurrence, nullopt when no rule does (its occurrences are then listed). A skipped next run
// is left to the caller (an EXDATE).
std::optional<QString> RuleOf(const Schedule& t) {
    const std::optional<QStringList> allowed = AllowedDays(t);
    if (t.date == 0 || !allowed)
        return std::nullopt;
    const QString type = Clip(t.scheduleType);
    const Ymd d = YmdFromDate(t.date);
    const bool leapDay = d.month == 2 && d.day == 29;
    if (type == kOnce) // skipped, it never runs
        return t.skipNextTime != 0 ? std::nullopt : std::optional<QString>(QString());
    // Excluded weekdays are passed over: the series less those days. Its own next run is among
    // them only when it is marked to be skipped (an EXDATE takes it out).
    const bool limited = allowed->size() < 7;
    if (limited && !allowed->contains(QLatin1String(kDayNames[t.date % 7])) && t.skipNextTime == 0)
        return std::nullopt;
    auto limit = [&](const QString& rule) -> std::optional<QString> {
        return limited ? rule + QStringLiteral(";BYDAY=") + allowed->join(QLatin1Char(',')) : rule;
    };
    QStringList days;
    for (const QString& day : FlaggedDays(t))
        if (allowed->contains(day))
            days << day;
    const bool flagged = !FlaggedDays(t).isEmpty();
    if (type == QStringLiteral("Day of Week")) {
        if (!flagged) // every day
            return limit(QStringLiteral("FREQ=DAILY"));
        if (days.isEmpty() || !DateMatchesSchedule(t, t.date))
            return std::nullopt;
        return QStringLiteral("FREQ=WEEKLY;BYDAY=") + days.join(QLatin1Char(','));
    }
    if (type == QStringLiteral("Day of Month")) {
        if (t.lastDayOfMonth != 0)
            return t.date == LastDayOfMonth(t.date) ? limit(QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=-1"))
                                                    : std::nullopt;
        if (days.isEmpty() || !DateMatchesSchedule(t, t.date))
            return std::nullopt;
        const std::pair<quint8 Schedule::*, const char*> ordinals[] = {{&Schedule::every1st, "1"},
                                                                       {&Schedule::every2nd, "2"},
                                                                       {&Schedule::every3rd, "3"},
                                                                       {&Schedule::every4th, "4"},
                                                                       {&Schedule::everyLast, "-1"}};
        QStringList byDay;
        for (const auto& [flag, n] : ordinals)
            if (t.*flag != 0)
                for (const QString& day : days)
                    byDay << QLatin1String(n) + day;
        if (byDay.isEmpty())
            return QStringLiteral("FREQ=WEEKLY;BYDAY=") + days.join(QLatin1Char(','));
        return QStringLiteral("FREQ=MONTHLY;BYDAY=") + byDay.join(QLatin1Char(','));
    }
    if (type == QStringLiteral("Monthly")) {
        if (Twice(t)) {
            if (!DateMatchesSchedule(t, t.date))
                return std::nullopt;
            const auto monthDays =
                TwiceMonthDays(Clip(t.monthRepeat).toUpper().contains(QStringLiteral("LAST")), t.offset);
            return monthDays ? limit(QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=") + *monthDays) : std::nullopt;
        }
        // The program carries a day past a month's end into the next month; a rule skips the
        // month.
        if (d.day > 28)
            return std::nullopt;
        return limited ? limit(QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=%1").arg(d.day))
                       : QStringLiteral("FREQ=MONTHLY");
    }
    if (type == QStringLiteral("Yearly"))
        return leapDay || limited ? std::nullopt : std::optional<QString>(QStringLiteral("FREQ=YEARLY"));
    if (type == QStringLiteral("Custom")) {
        const qint32 every = std::max(1, t.every);
        const QString unit = Clip(t.everyType).left(3).toLower();
        // Whole days of minutes or hours step as days do: the same time of day.
        auto steps = [&](const char* freq, qint32 n) -> std::optional<QString> {
            if (n > kMaxInterval)
                return std::nullopt;
            return limit(QStringLiteral("FREQ=") + QLatin1String(freq) + Interval(n));
        };
        if (unit == QStringLiteral("min") && t.time != 0)
            return every % 1440 == 0 ? steps("DAILY", every / 1440)
                   : every % 60 == 0 ? steps("HOURLY", every / 60)
                                     : steps("MINUTELY", every);
        if (unit == QStringLiteral("hou") && t.time != 0)
            return every % 24 == 0 ? steps("DAILY", every / 24) : steps("HOURLY", every);
        if (unit == QStringLiteral("day"))
            return steps("DAILY", every);
        // Every n weeks keeps its weekday: allowed, the exceptions never meet it.
        if (unit == QStringLiteral("wee") && every <= kMaxInterval &&
            allowed->contains(QLatin1String(kDayNames[t.date % 7])))
            return QStringLiteral("FREQ=WEEKLY") + Interval(every);
        if (unit == QStringLiteral("mon") && d.day <= 28 && every <= kMaxInterval)
            return limited ? limit(QStringLiteral("FREQ=MONTHLY") + Interval(every) +
                                   QStringLiteral(";BYMONTHDAY=%1").arg(d.day))
                           : QStringLiteral("FREQ=MONTHLY") + Interval(every);
        if (unit == QStringLiteral("yea") && !leapDay && !limited)
            return steps("YEARLY", every);
    }
    return std::nullopt;
}

icaltimetype LocalTime(Date date, Time time) {
    const QDate q = ToQDate(date);
    if (time == 0)
        return icaltime_from_day_of_year(q.dayOfYear(), q.year()); // a date, no time
    icaltimetype t = icaltime_null_time();
    t.year = q.year();
    t.month = q.month();
    t.day = q.day();
    const QTime c = ToQTime(time);
    t.hour = c.hour();
    t.minute = c.minute();
    t.second = c.second();
    return t;
}

void AddTzid(icalproperty* p, const QByteArray& tzid, const icaltimetype& t) {
    if (!tzid.isEmpty() && !t.is_date)
        icalproperty_add_parameter(p, icalparameter_new_tzid(tzid.constData()));
}

const char* const kOwnProperty = "X-KELVRAY-TASK";
// A UID and the program's own property are short; longer ones are not read.
constexpr int kMaxUid = 255;
constexpr int kMaxOwnText = 4096;

// The options of `add` that give back the task, apart from its description and message (the
// event's SUMMARY and DESCRIPTION): names and values percent-encoded, "name=value&...".
QByteArray OwnRuleText(const Schedule& t) {
    QVariantMap f = TaskFields(t);
    QStringList flags;
    const QString set = f.value(QStringLiteral("flags")).toString();
    if (!set.isEmpty())
        flags << set.split(QLatin1Char(','));
    if (t.warn == 0)
        flags << QStringLiteral("-warn"); // a new task has it
    QList<std::pair<QString, QString>> items{
        {QStringLiteral("task-type"), Clip(t.taskType)},
        {QStringLiteral("category"), Clip(t.category)},
        {QStringLiteral("command"), Clip(t.command)},
        {QStringLiteral("path"), Clip(t.path)},
        {QStringLiteral("type"), Clip(t.scheduleType)},
        {QStringLiteral("weekdays"), f.value(QStringLiteral("weekdays")).toString()},
        {QStringLiteral("ordinals"), f.value(QStringLiteral("ordinals")).toString()},
        {QStringLiteral("month-end"), t.lastDayOfMonth != 0 ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("repeat"), Clip(t.monthRepeat)},
        {QStringLiteral("offset"), QString::number(t.offset)},
        {QStringLiteral("every"), QString::number(t.every)},
        {QStringLiteral("unit"), Clip(t.everyType)},
        {QStringLiteral("time"), FormatClockExact(t.time)},
        {QStringLiteral("flags"), flags.join(QLatin1Char(','))},
        {QStringLiteral("except"), f.value(QStringLiteral("except")).toString()},
        {QStringLiteral("shift"), Clip(t.shiftType)},
        {QStringLiteral("alarm-file"), Clip(t.alarmFile)},
    };
    if (t.date != 0) // without one the task starts on the first day it can, as added
        items.append({QStringLiteral("date"), FormatDay(t.date)});
    for (const char* optional : {"except-time", "warn-at"})
        if (const QString v = f.value(QLatin1String(optional)).toString(); !v.isEmpty())
            items.append({QLatin1String(optional), v});
    QByteArrayList out;
    for (const auto& [name, value] : items)
        out << QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    return out.join('&');
}

} // namespace

QString TaskUid(const QString& dataDir, qint32 id) {
    // Named by the station and the data folder as well: task 1 of another data file is another task.
    const QString folder = QFileInfo(dataDir).canonicalFilePath().isEmpty()
                               ? QFileInfo(dataDir).absoluteFilePath()
                               : QFileInfo(dataDir).canonicalFilePath();
    const QByteArray where =
        QCryptographicHash::hash((QSysInfo::machineHostName() + QLatin1Char('\n') + folder).toUtf8(),
                                 QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    return QStringLiteral("task-%1-%2@kelvray").arg(id).arg(QString::fromLatin1(where));
}

// Occurrences listed one by one stop here, whatever the horizon: a task every minute would
// otherwise list half a million.
constexpr int kMaxListed = 20000;

QByteArray WriteCalendar(Store& store, const std::vector<Schedule>& tasks, Date today, Time now, int days) {
    Component cal(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(cal.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(cal.get(), icalproperty_new_prodid("-//Kelvray//Kelvray Schedule//EN"));
    // The local zone by its name, with its definition, when libical knows it; floating local
    // times otherwise.
    QByteArray tzid = QTimeZone::systemTimeZoneId();
    icaltimezone* zone = tzid.isEmpty() ? nullptr : icaltimezone_get_builtin_timezone(tzid.constData());
    if (zone != nullptr) {
        if (icalcomponent* vtz = icaltimezone_get_component(zone)) {
            // Named by its location, as the times name it, not by libical's own prefix.
            icalcomponent* copy = icalcomponent_new_clone(vtz);
            if (icalproperty* id = icalcomponent_get_first_property(copy, ICAL_TZID_PROPERTY))
                icalproperty_set_tzid(id, tzid.constData());
            icalcomponent_add_component(cal.get(), copy);
        }
    } else {
        tzid.clear();
    }
    const icaltimetype stamp = icaltime_current_time_with_zone(icaltimezone_get_utc_timezone());
    const Date horizon = today + days;
    for (const Schedule& t : tasks) {
        if (t.disabled != 0 || t.completed != 0)
            continue;
        const std::optional<QString> rule = RuleOf(t);
        std::vector<std::pair<Date, Time>> moments;
        if (rule) {
            moments.emplace_back(t.date, t.time);
        } else {
            for (const QString& line : StoredTaskOccurrences(store, t, today, now, kMaxListed, today)) {
                const QStringList parts = line.split(QLatin1Char(' '));
                if (parts.size() < 2 || parts.value(2) == QStringLiteral("skipped"))
                    continue;
                const Date date = FromQDate(QDate::fromString(parts[0], Qt::ISODate));
                // The first run is there however far off, so that the task is in the calendar.
                if (date == 0 || (date > horizon && !moments.empty()))
                    continue;
                const QTime clock = QTime::fromString(parts[1], QStringLiteral("HH:mm:ss"));
                moments.emplace_back(date, clock.isValid() ? FromQTime(clock) : 0);
            }
            if (moments.empty())
                continue;
        }
        icalcomponent* ev = icalcomponent_new(ICAL_VEVENT_COMPONENT);
        icalcomponent_add_component(cal.get(), ev);
        icalcomponent_add_property(ev,
                                   icalproperty_new_uid(TaskUid(store.workDir(), t.id).toUtf8().constData()));
        icalcomponent_add_property(ev, icalproperty_new_dtstamp(stamp));
        const icaltimetype start = LocalTime(moments.front().first, moments.front().second);
        icalproperty* dtstart = icalproperty_new_dtstart(start);
        AddTzid(dtstart, tzid, start);
        icalcomponent_add_property(ev, dtstart);
        icalcomponent_add_property(ev, icalproperty_new_summary(Clip(t.description).toUtf8().constData()));
        if (!t.message.trimmed().isEmpty())
            icalcomponent_add_property(ev, icalproperty_new_description(t.message.toUtf8().constData()));
        if (rule && !rule->isEmpty())
            icalcomponent_add_property(
                ev, icalproperty_new_rrule(icalrecurrencetype_from_string(rule->toLatin1().constData())));
        // The next run, marked to be skipped, is the series' first: the series without it.
        if (rule && t.skipNextTime != 0) {
            icalproperty* exdate = icalproperty_new_exdate(start);
            if (start.is_date)
                icalproperty_add_parameter(exdate, icalparameter_new_value(ICAL_VALUE_DATE));
            AddTzid(exdate, tzid, start);
            icalcomponent_add_property(ev, exdate);
        }
        // The task as the program keeps it, for the way back.
        icalproperty* own = icalproperty_new_x(OwnRuleText(t).constData());
        icalproperty_set_x_name(own, kOwnProperty);
        icalcomponent_add_property(ev, own);
        for (std::size_t i = 1; i < moments.size(); ++i) {
            icaldatetimeperiodtype when{};
            when.time = LocalTime(moments[i].first, moments[i].second);
            when.period = icalperiodtype_null_period();
            icalproperty* rdate = icalproperty_new_rdate(when);
            if (when.time.is_date)
                icalproperty_add_parameter(rdate, icalparameter_new_value(ICAL_VALUE_DATE));
            AddTzid(rdate, tzid, when.time);
            icalcomponent_add_property(ev, rdate);
        }
        // The advance warning as an alarm at the same distance before the task.
        if (t.advanceWarnDate != 0) {
            const qint64 before = (static_cast<qint64>(t.date) - t.advanceWarnDate) * 86400 +
                                  (static_cast<qint64>(t.time) - t.advanceWarnTime) / 100;
            if (before > 0) {
                icalcomponent* alarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
                icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
                icaltriggertype trigger{};
                trigger.time = icaltime_null_time();
                trigger.duration =
                    icaldurationtype_from_int(-static_cast<int>(std::min<qint64>(before, 1 << 30)));
                icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
                icalcomponent_add_property(
                    alarm, icalproperty_new_description(Clip(t.description).toUtf8().constData()));
                icalcomponent_add_component(ev, alarm);
            }
        }
    }
    char* text = icalcomponent_as_ical_string_r(cal.get());
    QByteArray out(text);
    free(text);
    return out;
}

namespace {

bool Absent(const short* list) {
    return list[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

QString Summary(icalcomponent* ev) {
    icalproperty* p = icalcomponent_get_first_property(ev, ICAL_SUMMARY_PROPERTY);
    const char* v = p != nullptr ? icalproperty_get_summary(p) : nullptr;
    return v != nullptr ? QString::fromUtf8(v) : QString();
}

QString Description(icalcomponent* ev) {
    icalproperty* p = icalcomponent_get_first_property(ev, ICAL_DESCRIPTION_PROPERTY);
    const char* v = p != nullptr ? icalproperty_get_description(p) : nullptr;
    return v != nullptr ? QString::fromUtf8(v) : QString();
}

// The start as a local date and time (time 0 for a date): converted from UTC or from its zone.
std::optional<std::pair<QDate, QTime>> LocalStart(icalcomponent* cal, icalcomponent* ev, QString& reason) {
    icalproperty* p = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY);
    if (p == nullptr) {
        reason = QStringLiteral("it has no start");
        return std::nullopt;
    }
    icaltimetype t = icalproperty_get_dtstart(p);
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t)) {
        reason = QStringLiteral("its start is not a date");
        return std::nullopt;
    }
    const QDate date(t.year, t.month, t.day);
    if (!date.isValid()) {
        reason = QStringLiteral("its start is not a date");
        return std::nullopt;
    }
    if (t.is_date)
        return std::make_pair(date, QTime());
    const QTime time(t.hour, t.minute, t.second);
    if (!time.isValid()) {
        reason = QStringLiteral("its start is not a time of day");
        return std::nullopt;
    }
    if (icaltime_is_utc(t))
        return std::make_pair(QDateTime(date, time, QTimeZone::utc()).toLocalTime().date(),
                              QDateTime(date, time, QTimeZone::utc()).toLocalTime().time());
    if (icalparameter* tz = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER)) {
        const char* tzid = icalparameter_get_tzid(tz);
        icaltimezone* zone = tzid != nullptr ? icalcomponent_get_timezone(cal, tzid) : nullptr;
        if (zone == nullptr && tzid != nullptr)
            zone = icaltimezone_get_builtin_timezone(tzid);
        if (zone == nullptr && tzid != nullptr) {
            // A zone name the system knows, even when the calendar does not define it.
            const QTimeZone q{QByteArray(tzid)};
            if (!q.isValid()) {
                reason = QStringLiteral("its time zone %1 is unknown").arg(QString::fromUtf8(tzid));
                return std::nullopt;
            }
            const QDateTime local = QDateTime(date, time, q).toLocalTime();
            return std::make_pair(local.date(), local.time());
        }
        t = icaltime_set_timezone(&t, zone);
        const icaltimetype utc = icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone());
        const QDateTime local = QDateTime(QDate(utc.year, utc.month, utc.day),
                                          QTime(utc.hour, utc.minute, utc.second), QTimeZone::utc())
                                    .toLocalTime();
        return std::make_pair(local.date(), local.time());
    }
    return std::make_pair(date, time); // floating: local already
}

// The rule read backwards onto the task's fields; false with the reason when no schedule
// type says it.
bool MapRule(const icalrecurrencetype& r, const QDate& start, QVariantMap& f, QString& reason) {
    if (r.count != 0 || !icaltime_is_null_time(r.until)) {
        reason = QStringLiteral("its repetition ends (COUNT or UNTIL), and tasks repeat without end");
        return false;
    }
    if (!Absent(r.by_second) || !Absent(r.by_minute) || !Absent(r.by_hour) || !Absent(r.by_year_day) ||
        !Absent(r.by_week_no) || !Absent(r.by_set_pos) || !Absent(r.by_month)) {
        reason =
            QStringLiteral("its rule selects by second, minute, hour, year day, week, month or position");
        return false;
    }
    const int interval = r.interval < 1 ? 1 : r.interval;
    const bool byDay = !Absent(r.by_day);
    const bool byMonthDay = !Absent(r.by_month_day);
    QStringList weekdays;
    QSet<int> positions;
    QSet<int> dayset;
    static const char* const names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    for (int i = 0; i < ICAL_BY_DAY_SIZE && r.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
        const int day = static_cast<int>(icalrecurrencetype_day_day_of_week(r.by_day[i]));
        if (day < 1 || day > 7) {
            reason = QStringLiteral("its rule names an unknown weekday");
            return false;
        }
        const int pos = icalrecurrencetype_day_position(r.by_day[i]);
        positions.insert(pos);
        dayset.insert(day);
        const QString name = QLatin1String(names[day - 1]);
        if (!weekdays.contains(name))
            weekdays << name;
    }
    auto custom = [&](const char* unit) {
        f.insert(QStringLiteral("type"), QStringLiteral("Custom"));
        f.insert(QStringLiteral("every"), interval);
        f.insert(QStringLiteral("unit"), QLatin1String(unit));
        return true;
    };
    // A series on some days of the week only: passed over on weekends or on weekdays, as the
    // exceptions pass over them.
    auto customOn = [&](const char* unit) {
        if (positions != QSet<int>{0})
            return false;
        if (dayset == QSet<int>{2, 3, 4, 5, 6})
            f.insert(QStringLiteral("except"), QStringLiteral("weekends"));
        else if (dayset == QSet<int>{1, 7})
            f.insert(QStringLiteral("except"), QStringLiteral("weekdays"));
        else
            return false;
        f.insert(QStringLiteral("shift"), QStringLiteral("Skip (to Next Valid Day)"));
        return custom(unit);
    };
    switch (r.freq) {
    case ICAL_DAILY_RECURRENCE:
        if (byMonthDay)
            break;
        if (byDay && interval == 1 && positions == QSet<int>{0}) {
            f.insert(QStringLiteral("type"), QStringLiteral("Day of Week"));
            f.insert(QStringLiteral("weekdays"), weekdays.join(QLatin1Char(',')));
            return true;
        }
        if (byDay) {
            if (customOn("day(s)"))
                return true;
            break;
        }
        return custom("day(s)");
    case ICAL_WEEKLY_RECURRENCE:
        if (byMonthDay)
            break;
        if (!byDay)
            return custom("week(s)");
        if (interval != 1 || positions != QSet<int>{0})
            break;
        f.insert(QStringLiteral("type"), QStringLiteral("Day of Week"));
        f.insert(QStringLiteral("weekdays"), weekdays.join(QLatin1Char(',')));
        return true;
    case ICAL_MINUTELY_RECURRENCE:
        if (byMonthDay || (byDay && !customOn("minute(s)")))
            break;
        return custom("minute(s)");
    case ICAL_HOURLY_RECURRENCE:
        if (byMonthDay || (byDay && !customOn("hour(s)")))
            break;
        return custom("hour(s)");
    case ICAL_MONTHLY_RECURRENCE:
        if (byMonthDay && !byDay) {
            int monthDays = 0;
            while (monthDays < ICAL_BY_MONTHDAY_SIZE &&
                   r.by_month_day[monthDays] != ICAL_RECURRENCE_ARRAY_MAX)
                ++monthDays;
            const int first = r.by_month_day[0];
            if (interval == 1 && monthDays == 1 && first == -1) {
                f.insert(QStringLiteral("type"), QStringLiteral("Day of Month"));
                f.insert(QStringLiteral("month-end"), true);
                return true;
            }
            // The start's own day of the month, as a plain monthly task repeats it.
            if (monthDays == 1 && first == start.day() && first <= 28) {
                if (interval > 1)
                    return custom("month(s)");
                f.insert(QStringLiteral("type"), QStringLiteral("Monthly"));
                return true;
            }
            // Two days: twice a month, when they are the 1st and the 15th or the 15th and the
            // last day, shifted alike.
            if (interval == 1 && monthDays == 2) {
                const QString days = QStringLiteral("%1,%2")
                                         .arg(std::min<int>(first, r.by_month_day[1]))
                                         .arg(std::max<int>(first, r.by_month_day[1]));
                for (const qint32 offset : TwiceOffsets()) {
                    for (const bool toLast : {false, true}) {
                        if (TwiceMonthDays(toLast, offset) != days)
                            continue;
                        f.insert(QStringLiteral("type"), QStringLiteral("Monthly"));
                        f.insert(QStringLiteral("repeat"), toLast ? QStringLiteral("Twice - 15th, Last")
                                                                  : QStringLiteral("Twice - 1st, 15th"));
                        f.insert(QStringLiteral("offset"), offset);
                        return true;
                    }
                }
            }
            break;
        }
        if (byMonthDay)
            break;
        if (!byDay) {
            if (start.day() > 28) {
                reason = QStringLiteral("it repeats on day %1, which not every month has").arg(start.day());
                return false;
            }
            if (interval == 1) {
                f.insert(QStringLiteral("type"), QStringLiteral("Monthly"));
                return true;
            }
            return custom("month(s)");
        }
        if (interval != 1 || positions.contains(0))
            break;
        {
            // Every weekday named in every week named: the rule must be that whole grid.
            QStringList ordinals;
            const std::pair<int, const char*> known[] = {
                {1, "1st"}, {2, "2nd"}, {3, "3rd"}, {4, "4th"}, {-1, "last"}};
            for (const auto& [n, name] : known)
                if (positions.contains(n))
                    ordinals << QLatin1String(name);
            int listed = 0;
            while (listed < ICAL_BY_DAY_SIZE && r.by_day[listed] != ICAL_RECURRENCE_ARRAY_MAX)
                ++listed;
            QSet<std::pair<int, int>> pairs;
            for (int i = 0; i < listed; ++i)
                pairs.insert({icalrecurrencetype_day_position(r.by_day[i]),
                              static_cast<int>(icalrecurrencetype_day_day_of_week(r.by_day[i]))});
            if (ordinals.size() != positions.size() || pairs.size() != positions.size() * dayset.size())
                break;
            f.insert(QStringLiteral("type"), QStringLiteral("Day of Month"));
            f.insert(QStringLiteral("weekdays"), weekdays.join(QLatin1Char(',')));
            f.insert(QStringLiteral("ordinals"), ordinals.join(QLatin1Char(',')));
            return true;
        }
    case ICAL_YEARLY_RECURRENCE:
        if (byDay || byMonthDay)
            break;
        if (start.month() == 2 && start.day() == 29) {
            reason = QStringLiteral("it repeats on the 29th of February");
            return false;
        }
        if (interval == 1) {
            f.insert(QStringLiteral("type"), QStringLiteral("Yearly"));
            return true;
        }
        return custom("year(s)");
    default:
        reason = QStringLiteral("it repeats more often than daily");
        return false;
    }
    char* text = icalrecurrencetype_as_string_r(const_cast<icalrecurrencetype*>(&r));
    reason = QStringLiteral("no schedule type repeats as %1").arg(QString::fromUtf8(text));
    free(text);
    return false;
}

// The task's fields from its own property, each checked to be one `add` takes once; their
// values are checked as `add` checks them. nullopt with the reason otherwise.
std::optional<QVariantMap> OwnFields(const char* text, QString& reason) {
    static const QStringList names{
        QStringLiteral("task-type"),  QStringLiteral("category"),    QStringLiteral("command"),
        QStringLiteral("path"),       QStringLiteral("type"),        QStringLiteral("weekdays"),
        QStringLiteral("ordinals"),   QStringLiteral("month-end"),   QStringLiteral("repeat"),
        QStringLiteral("offset"),     QStringLiteral("every"),       QStringLiteral("unit"),
        QStringLiteral("date"),       QStringLiteral("time"),        QStringLiteral("flags"),
        QStringLiteral("except"),     QStringLiteral("except-time"), QStringLiteral("shift"),
        QStringLiteral("alarm-file"), QStringLiteral("warn-at")};
    const QByteArray bytes(text != nullptr ? text : "");
    if (bytes.size() > kMaxOwnText) {
        reason = QStringLiteral("is longer than %1 characters").arg(kMaxOwnText);
        return std::nullopt;
    }
    QVariantMap f;
    for (const QByteArray& item : bytes.split('&')) {
        const qsizetype eq = item.indexOf('=');
        if (eq < 0) {
            reason = QStringLiteral("holds a field without a value");
            return std::nullopt;
        }
        const QByteArray rawName = QByteArray::fromPercentEncoding(item.left(eq));
        const QByteArray rawValue = QByteArray::fromPercentEncoding(item.mid(eq + 1));
        const QString name = QString::fromUtf8(rawName);
        const QString value = QString::fromUtf8(rawValue);
        if (name.toUtf8() != rawName || value.toUtf8() != rawValue) {
            reason = QStringLiteral("is not UTF-8 text");
            return std::nullopt;
        }
        if (!names.contains(name)) {
            reason = QStringLiteral("names an unknown field: ") + name.left(40);
            return std::nullopt;
        }
        if (f.contains(name)) {
            reason = QStringLiteral("names the field %1 twice").arg(name);
            return std::nullopt;
        }
        if (name == QStringLiteral("month-end")) {
            if (value != QStringLiteral("0") && value != QStringLiteral("1")) {
                reason = QStringLiteral("gives month-end as neither 0 nor 1");
                return std::nullopt;
            }
            f.insert(name, value == QStringLiteral("1"));
            continue;
        }
        f.insert(name, value);
    }
    return f;
}

// Whether the one EXDATE of the event is its start.
bool ExcludesStart(icalcomponent* ev) {
    icalproperty* start = icalcomponent_get_first_property(ev, ICAL_DTSTART_PROPERTY);
    icalproperty* excluded = icalcomponent_get_first_property(ev, ICAL_EXDATE_PROPERTY);
    if (start == nullptr || excluded == nullptr)
        return false;
    auto zone = [](icalproperty* p) {
        icalparameter* tz = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
        const char* id = tz != nullptr ? icalparameter_get_tzid(tz) : nullptr;
        return QByteArray(id != nullptr ? id : "");
    };
    const icaltimetype a = icalproperty_get_dtstart(start);
    const icaltimetype b = icalproperty_get_exdate(excluded);
    return a.is_date == b.is_date && icaltime_is_utc(a) == icaltime_is_utc(b) &&
           zone(start) == zone(excluded) && icaltime_compare(a, b) == 0;
}

} // namespace

CalendarTasks ReadCalendar(const QByteArray& bytes) {
    CalendarTasks out;
    // libical reads a C string: text past a NUL byte would be lost unseen.
    if (bytes.contains('\0')) {
        out.error = QStringLiteral("the file holds a NUL byte, which no calendar does");
        return out;
    }
    if (!bytes.trimmed().toUpper().startsWith("BEGIN:VCALENDAR")) {
        out.error = QStringLiteral("the file does not begin with BEGIN:VCALENDAR");
        return out;
    }
    Component root(icalparser_parse_string(bytes.constData()));
    icalcomponent* cal = root.get();
    if (cal != nullptr && icalcomponent_isa(cal) != ICAL_VCALENDAR_COMPONENT)
        cal = icalcomponent_get_first_component(cal, ICAL_VCALENDAR_COMPONENT);
    if (cal == nullptr) {
        out.error = QStringLiteral("the file is not an iCalendar calendar");
        return out;
    }
    if (icalcomponent_get_first_property(cal, ICAL_XLICERROR_PROPERTY) != nullptr &&
        icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT) == nullptr) {
        out.error = QStringLiteral("the calendar could not be read: ") +
                    QString::fromUtf8(icalproperty_get_xlicerror(
                        icalcomponent_get_first_property(cal, ICAL_XLICERROR_PROPERTY)));
        return out;
    }
    out.parsed = true;
    for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev != nullptr;
         ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT)) {
        const QString summary = Summary(ev).simplified();
        auto skip = [&](const QString& reason) { out.skipped.push_back({summary, reason}); };
        if (icalproperty* e = icalcomponent_get_first_property(ev, ICAL_XLICERROR_PROPERTY)) {
            skip(QStringLiteral("it could not be read: ") + QString::fromUtf8(icalproperty_get_xlicerror(e)));
            continue;
        }
        if (summary.isEmpty()) {
            skip(QStringLiteral("it has no summary"));
            continue;
        }
        CalendarEvent event;
        if (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_UID_PROPERTY)) {
            const char* uid = icalproperty_get_uid(p);
            event.uid = uid != nullptr ? QString::fromUtf8(uid).trimmed() : QString();
            if (event.uid.size() > kMaxUid) {
                skip(QStringLiteral("its UID is longer than %1 characters").arg(kMaxUid));
                continue;
            }
        }
        QString reason;
        // An event this program wrote: the task comes back from its own property.
        std::vector<icalproperty*> own;
        for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_X_PROPERTY); p != nullptr;
             p = icalcomponent_get_next_property(ev, ICAL_X_PROPERTY))
            if (const char* name = icalproperty_get_x_name(p);
                name != nullptr && qstricmp(name, kOwnProperty) == 0)
                own.push_back(p);
        if (own.size() > 1) {
            skip(QStringLiteral("it has more than one %1 property").arg(QLatin1String(kOwnProperty)));
            continue;
        }
        if (own.size() == 1) {
            const auto fields = OwnFields(icalproperty_get_x(own.front()), reason);
            if (!fields) {
                skip(QStringLiteral("its %1 property %2").arg(QLatin1String(kOwnProperty), reason));
                continue;
            }
            event.own = true;
            event.fields = *fields;
            // The description as it was, and the message.
            QString description = Summary(ev);
            while (description.endsWith(QLatin1Char(' ')))
                description.chop(1);
            event.fields.insert(QStringLiteral("description"), description);
            event.fields.insert(QStringLiteral("message"), Description(ev));
            out.events.push_back(event);
            continue;
        }
        if (icalcomponent_count_properties(ev, ICAL_RDATE_PROPERTY) > 0 ||
            icalcomponent_count_properties(ev, ICAL_EXRULE_PROPERTY) > 0) {
            skip(QStringLiteral("it lists extra or excluded dates (RDATE, EXDATE, EXRULE)"));
            continue;
        }
        if (icalcomponent_count_properties(ev, ICAL_RRULE_PROPERTY) > 1) {
            skip(QStringLiteral("it has more than one rule"));
            continue;
        }
        const auto start = LocalStart(cal, ev, reason);
        if (!start) {
            skip(reason);
            continue;
        }
        QVariantMap& f = event.fields;
        f.insert(QStringLiteral("description"), summary);
        f.insert(QStringLiteral("task-type"), QStringLiteral("Display Message"));
        f.insert(QStringLiteral("message"), Description(ev));
        f.insert(QStringLiteral("date"), start->first.toString(Qt::ISODate));
        // An all-day event comes at the start of its day.
        f.insert(QStringLiteral("time"), start->second.isValid()
                                             ? start->second.toString(QStringLiteral("HH:mm:ss"))
                                             : QStringLiteral("00:00:00"));
        icalproperty* rr = icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY);
        // One excluded date, the first of the series: the task skips its next run.
        if (const int excluded = icalcomponent_count_properties(ev, ICAL_EXDATE_PROPERTY); excluded > 0) {
            if (excluded > 1 || rr == nullptr || !ExcludesStart(ev)) {
                skip(QStringLiteral("it lists extra or excluded dates (RDATE, EXDATE, EXRULE)"));
                continue;
            }
            f.insert(QStringLiteral("flags"), QStringLiteral("skip-next"));
        }
        if (rr != nullptr) {
            if (!MapRule(icalproperty_get_rrule(rr), start->first, f, reason)) {
                skip(reason);
                continue;
            }
        } else {
            f.insert(QStringLiteral("type"), QStringLiteral("Once"));
        }
        out.events.push_back(event);
    }
    return out;
}

} // namespace kr::cli
