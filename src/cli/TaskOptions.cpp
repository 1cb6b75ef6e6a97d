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

void Arguments::finish() const {
    if (!args_.isEmpty())
        throw UsageError{QStringLiteral("unknown argument: ") + args_.first()};
}

Date ParseDay(const QString& text, const QString& option) {
    static const QRegularExpression re(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
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
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?$"));
    const auto m = re.match(text);
    const int h = m.captured(1).toInt(), mi = m.captured(2).toInt(), s = m.captured(3).toInt();
    if (!m.hasMatch() || h > 23 || mi > 59 || s > 59)
        throw UsageError{option + QStringLiteral(": not a time in the form HH:MM[:SS]: ") + text};
    return TimeFromHms(h, mi, s);
}

std::pair<Date, Time> ParseMoment(const QString& text, const QString& option) {
    const qsizetype t = text.indexOf(QLatin1Char('T'));
    if (t < 0)
        return {ParseDay(text, option), 0};
    return {ParseDay(text.left(t), option), ParseClock(text.mid(t + 1), option)};
}

int ParseNumber(const QString& text, const QString& option) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok)
        throw UsageError{option + QStringLiteral(": not a whole number: ") + text};
    return n;
}

void TakeTaskOptions(Arguments& args, Schedule& task) {
    if (auto v = args.take(QStringLiteral("--type")))
        task.scheduleType = *v;
    if (auto v = args.take(QStringLiteral("--weekdays"))) {
        static const char* const names[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
        quint8* flags[] = {&task.sunday,   &task.monday, &task.tuesday, &task.wednesday,
                           &task.thursday, &task.friday, &task.saturday};
        for (const QString& w : v->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool found = false;
            for (int i = 0; i < 7; ++i) {
                if (w.trimmed().compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) {
                    *flags[i] = 1;
                    found = true;
                }
            }
            if (!found)
                throw UsageError{QStringLiteral("--weekdays: not a weekday (Sun,Mon,Tue,Wed,Thu,Fri,Sat): ") +
                                 w};
        }
    }
    if (auto v = args.take(QStringLiteral("--ordinals"))) {
        static const char* const names[] = {"1st", "2nd", "3rd", "4th", "last"};
        quint8* flags[] = {&task.every1st, &task.every2nd, &task.every3rd, &task.every4th, &task.everyLast};
        for (const QString& o : v->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool found = false;
            for (int i = 0; i < 5; ++i) {
                if (o.trimmed().compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) {
                    *flags[i] = 1;
                    found = true;
                }
            }
            if (!found)
                throw UsageError{QStringLiteral("--ordinals: not one of 1st,2nd,3rd,4th,last: ") + o};
        }
    }
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
        task.time = ParseClock(*v, QStringLiteral("--time"));
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

} // namespace kr::cli
