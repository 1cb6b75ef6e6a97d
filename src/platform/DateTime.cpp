#include "platform/DateTime.h"

namespace kr {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12, any day count).
constexpr qint64 DaysFromCivil(qint64 y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 mp = m > 2 ? m - 3 : m + 9;
    const qint64 doy = (153 * mp + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr Ymd CivilFromDays(qint64 z) {
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 y = yoe + era * 400;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return Ymd{static_cast<int>(y + (m <= 2 ? 1 : 0)), m, d};
}

// Day 0 of the program's calendar is 28 December 1800.
constexpr qint64 kEpoch = DaysFromCivil(1800, 12, 28);

static_assert(DaysFromCivil(1970, 1, 1) == 0);

} // namespace

Date DateFromYmd(int year, int month, int day) {
    // Carry the month into the year first, then let the day count run past month ends.
    qint64 y = year;
    qint64 m0 = static_cast<qint64>(month) - 1;
    y += m0 >= 0 ? m0 / 12 : (m0 - 11) / 12;
    m0 = ((m0 % 12) + 12) % 12;
    const qint64 first = DaysFromCivil(y, static_cast<int>(m0) + 1, 1);
    return static_cast<Date>(first + day - 1 - kEpoch);
}

Ymd YmdFromDate(Date date) {
    return CivilFromDays(static_cast<qint64>(date) + kEpoch);
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year))
        return 29;
    return kDays[(month - 1 + 1200) % 12];
}

QString DateKeyText(Date date) {
    const Ymd ymd = YmdFromDate(date);
    return QString::number(ymd.year) + QStringLiteral("%1").arg(ymd.month, 2, 10, QLatin1Char('0')) +
           QStringLiteral("%1").arg(ymd.day, 2, 10, QLatin1Char('0'));
}

QDate ToQDate(Date date) {
    if (date == 0)
        return {};
    const Ymd ymd = YmdFromDate(date);
    return QDate(ymd.year, ymd.month, ymd.day);
}

Date FromQDate(const QDate& d) {
    if (!d.isValid())
        return 0;
    return DateFromYmd(d.year(), d.month(), d.day());
}

QTime ToQTime(Time time) {
    if (time <= 0)
        return {};
    const int t = (time - 1) % kOneDay;
    return QTime(t / kOneHour, (t / kOneMinute) % 60, (t / 100) % 60, (t % 100) * 10);
}

Time FromQTime(const QTime& t) {
    if (!t.isValid())
        return 0;
    return TimeFromHms(t.hour(), t.minute(), t.second(), t.msec() / 10);
}

} // namespace kr
