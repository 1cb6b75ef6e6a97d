#include "cli/TaskOptions.h"

#include <QRegularExpression>

namespace kr::cli {

std::optional<QString> Arguments::take(const QString& name) {
    for (qsizetype i = 0; i < args_.size(); ++i) {
        if (args_[i] == name) {
            if (i + 1 >= args_.size())
                throw UsageError{name + QStringLiteral(" needs a value")};
            const QString v = args_[i + 1];
            args_.remove(i, 2);
            return v;
        }
        if (args_[i].startsWith(name + QLatin1Char('='))) {
            const QString v = args_[i].mid(name.size() + 1);
            args_.remove(i);
            return v;
        }
    }
    return std::nullopt;
}

bool Arguments::takeFlag(const QString& name) {
    const qsizetype i = args_.indexOf(name);
    if (i < 0)
        return false;
    args_.remove(i);
    return true;
}

bool Arguments::has(const QString& name) const {
    for (const QString& a : args_)
        if (a == name || a.startsWith(name + QLatin1Char('=')))
            return true;
    return false;
}

void Arguments::finish() const {
    if (!args_.isEmpty())
        throw UsageError{QStringLiteral("unknown argument: ") + args_.first()};
}

Date ParseDay(const QString& text, const QString& option) {
    static const QRegularExpression re(QStringLiteral("^([0-9]{4})-([0-9]{2})-([0-9]{2})$"));
    const auto m = re.match(text);
    const QDate q =
        m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()) : QDate();
    if (!q.isValid())
        throw UsageError{option + QStringLiteral(": not a date in the form YYYY-MM-DD: ") + text};
    if (q < QDate(1801, 1, 1) || q > QDate(2099, 12, 31))
        throw UsageError{option + QStringLiteral(": dates from 1801-01-01 to 2099-12-31 only: ") + text};
    return FromQDate(q);
}

Time ParseClock(const QString& text, const QString& option) {
    static const QRegularExpression re(
        QStringLiteral("^([0-9]{1,2}):([0-9]{2})(?::([0-9]{2})(?:\\.([0-9]{2}))?)?$"));
    const auto m = re.match(text);
    const int h = m.captured(1).toInt(), mi = m.captured(2).toInt(), s = m.captured(3).toInt(),
              hh = m.captured(4).toInt();
    if (!m.hasMatch() || h > 23 || mi > 59 || s > 59)
        throw UsageError{option + QStringLiteral(": not a time in the form HH:MM[:SS]: ") + text};
    return TimeFromHms(h, mi, s, hh);
}

std::pair<Date, Time> ParseMoment(const QString& text, const QString& option) {
    const qsizetype t = text.indexOf(QLatin1Char('T'));
    if (t < 0)
        return {ParseDay(text, option), 0};
    return {ParseDay(text.left(t), option), ParseClock(text.mid(t + 1), option)};
}

int ParseNumber(const QString& text, const QString& option) {
    static const QRegularExpression re(QStringLiteral("^-?[0-9]+$"));
    bool ok = false;
    const int n = re.match(text).hasMatch() ? text.toInt(&ok) : 0;
    if (!ok)
        throw UsageError{option + QStringLiteral(": not a whole number: ") + text};
    return n;
}

namespace {

// A comma list of names into flags: each name given sets its flag, the others are cleared.
void TakeNames(const QString& option, const QString& list,
               const std::vector<std::pair<QString, quint8*>>& names, const QString& expected) {
    for (const auto& [name, flag] : names)
        *flag = 0;
    for (const QString& item : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool found = false;
        for (const auto& [name, flag] : names) {
            if (item.trimmed().compare(name, Qt::CaseInsensitive) == 0) {
                *flag = 1;
                found = true;
            }
        }
        if (!found)
            throw UsageError{option + QStringLiteral(": not one of ") + expected + QStringLiteral(": ") +
                             item};
    }
}

} // namespace

void TakeTaskOptions(Arguments& args, Schedule& task) {
    if (auto v = args.take(QStringLiteral("--type")))
        task.scheduleType = *v;
    if (auto v = args.take(QStringLiteral("--weekdays")))
        TakeNames(QStringLiteral("--weekdays"), *v,
                  {{QStringLiteral("sun"), &task.sunday},
                   {QStringLiteral("mon"), &task.monday},
                   {QStringLiteral("tue"), &task.tuesday},
                   {QStringLiteral("wed"), &task.wednesday},
                   {QStringLiteral("thu"), &task.thursday},
                   {QStringLiteral("fri"), &task.friday},
                   {QStringLiteral("sat"), &task.saturday}},
                  QStringLiteral("Sun,Mon,Tue,Wed,Thu,Fri,Sat"));
    if (auto v = args.take(QStringLiteral("--ordinals")))
        TakeNames(QStringLiteral("--ordinals"), *v,
                  {{QStringLiteral("1st"), &task.every1st},
                   {QStringLiteral("2nd"), &task.every2nd},
                   {QStringLiteral("3rd"), &task.every3rd},
                   {QStringLiteral("4th"), &task.every4th},
                   {QStringLiteral("last"), &task.everyLast}},
                  QStringLiteral("1st,2nd,3rd,4th,last"));
    if (args.takeFlag(QStringLiteral("--month-end")))
        task.lastDayOfMonth = 1;
    if (auto v = args.take(QStringLiteral("--repeat")))
        task.monthRepeat = *v;
    if (auto v = args.take(QStringLiteral("--offset")))
        task.offset = ParseNumber(*v, QStringLiteral("--offset"));
    if (auto v = args.take(QStringLiteral("--every")))
        task.every = ParseNumber(*v, QStringLiteral("--every"));
    if (auto v = args.take(QStringLiteral("--unit")))
        task.everyType = *v;
    if (auto v = args.take(QStringLiteral("--date")))
        task.date = ParseDay(*v, QStringLiteral("--date"));
    if (auto v = args.take(QStringLiteral("--time")))
        task.time = v->isEmpty() ? 0 : ParseClock(*v, QStringLiteral("--time"));
    if (auto v = args.take(QStringLiteral("--except")))
        TakeNames(QStringLiteral("--except"), *v,
                  {{QStringLiteral("weekends"), &task.exceptWeekends},
                   {QStringLiteral("weekdays"), &task.exceptWeekdays},
                   {QStringLiteral("holidays"), &task.exceptHolidays}},
                  QStringLiteral("weekends,weekdays,holidays"));
    if (auto v = args.take(QStringLiteral("--except-time"))) {
        const qsizetype dash = v->indexOf(QLatin1Char('-'));
        if (dash < 0)
            throw UsageError{QStringLiteral("--except-time: not a range in the form HH:MM-HH:MM: ") + *v};
        task.exceptTime = 1;
        // An end left out is the end of the day, as on the form.
        const QString begin = v->left(dash), end = v->mid(dash + 1);
        task.exceptTimeBegin = begin.isEmpty() ? 0 : ParseClock(begin, QStringLiteral("--except-time"));
        task.exceptTimeEnd = end.isEmpty() ? 0 : ParseClock(end, QStringLiteral("--except-time"));
    }
    if (auto v = args.take(QStringLiteral("--shift")))
        task.shiftType = *v;
}

QString FormatDay(Date date) {
    if (date == 0)
        return {};
    const Ymd d = YmdFromDate(date);
    return QStringLiteral("%1-%2-%3")
        .arg(d.year, 4, 10, QLatin1Char('0'))
        .arg(d.month, 2, 10, QLatin1Char('0'))
        .arg(d.day, 2, 10, QLatin1Char('0'));
}

QString FormatClock(Time time) {
    if (time == 0)
        return {};
    const int t = time - 1;
    return QStringLiteral("%1:%2:%3")
        .arg(t / kOneHour, 2, 10, QLatin1Char('0'))
        .arg((t / kOneMinute) % 60, 2, 10, QLatin1Char('0'))
        .arg((t / 100) % 60, 2, 10, QLatin1Char('0'));
}

QString FormatClockExact(Time time) {
    const int hundredths = time > 0 ? (time - 1) % 100 : 0;
    if (hundredths == 0)
        return FormatClock(time);
    return FormatClock(time) + QStringLiteral(".%1").arg(hundredths, 2, 10, QLatin1Char('0'));
}

} // namespace kr::cli
