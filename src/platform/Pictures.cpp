#include "platform/Pictures.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

namespace kr {

namespace {

const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

QString Two(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}
QString Four(int n) {
    return QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0'));
}

int CurrentYear() {
    return QDate::currentDate().year();
}

int WidenYear(int yy, int referenceYear) {
    if (referenceYear == 0)
        referenceYear = CurrentYear();
    // The century that puts the year between 80 years back and 19 years ahead.
    int year = referenceYear - referenceYear % 100 + yy;
    if (year > referenceYear + 19)
        year -= 100;
    else if (year <= referenceYear - 81)
        year += 100;
    return year;
}

int MonthFromName(const QString& text) {
    const QString t = text.trimmed();
    if (t.size() < 3)
        return 0;
    for (int m = 1; m <= 12; ++m) {
        const QString name = QString::fromLatin1(kMonthNames[m - 1]);
        if (name.startsWith(t, Qt::CaseInsensitive) || t.compare(name, Qt::CaseInsensitive) == 0)
            return m;
    }
    return 0;
}

// A width or a count of decimals written in a number picture, at most the widest a number
// picture can be.
int WidthOf(const QString& digits) {
    qint64 n = 0;
    for (const QChar c : digits) {
        if (!c.isDigit())
            break;
        n = qMin<qint64>(n * 10 + c.digitValue(), Picture::kMaxNumberWidth);
    }
    return static_cast<int>(n);
}

// A date a picture can read: no picture shows a year of more than four digits, and a larger
// one would not fit a day number.
bool ValidYmd(int y, int m, int d) {
    return m >= 1 && m <= 12 && d >= 1 && y >= 1 && y <= 9999 && d <= DaysInMonth(y, m);
}

} // namespace

Picture Picture::parse(const QString& text) {
    Picture p;
    QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('@')))
        t.remove(0, 1);
    if (t.isEmpty())
        return p;
    if (t.size() > 1 && t.endsWith(QLatin1Char('b'), Qt::CaseInsensitive)) {
        p.blankZero = true;
        t.chop(1);
    }
    const QChar kind = t[0].toLower();
    const QString rest = t.mid(1);
    bool ok = false;
    if (kind == QLatin1Char('d')) {
        p.number = rest.toInt(&ok);
        p.kind = ok && p.number >= 1 && p.number <= 18 ? PictureKind::Dates : PictureKind::Invalid;
    } else if (kind == QLatin1Char('t')) {
        p.number = rest.toInt(&ok);
        p.kind = ok && p.number >= 1 && p.number <= 8 ? PictureKind::Times : PictureKind::Invalid;
    } else if (kind == QLatin1Char('s')) {
        p.number = rest.toInt(&ok);
        p.kind = ok ? PictureKind::Strings : PictureKind::Invalid;
    } else if (kind == QLatin1Char('n')) {
        static const QRegularExpression re(QStringLiteral("^(-?)([0_*]?)(\\d*)(?:\\.(\\d+))?$"));
        const auto m = re.match(rest);
        if (m.hasMatch()) {
            p.kind = PictureKind::Numbers;
            p.sign = !m.captured(1).isEmpty();
            if (!m.captured(2).isEmpty() && m.captured(2) != QStringLiteral("_"))
                p.fill = m.captured(2)[0];
            // Widths beyond what any field holds (or beyond an int) are cut to that.
            p.number = WidthOf(m.captured(3));
            p.decimals = WidthOf(m.captured(4));
        }
    }
    return p;
}

QString MonthAbbreviation(int month) {
    return month >= 1 && month <= 12 ? QString::fromLatin1(kMonthNames[month - 1]).left(3).toUpper()
                                     : QString();
}

QString MonthName(int month) {
    return month >= 1 && month <= 12 ? QString::fromLatin1(kMonthNames[month - 1]) : QString();
}

QString WeekdayName(Date date) {
    return QString::fromLatin1(kDayNames[Weekday(date)]);
}

QString FormatDateAs(Date date, const QString& picture) {
    const Picture p = Picture::parse(picture);
    if (date == 0)
        return {};
    const Ymd ymd = YmdFromDate(date);
    const int y = ymd.year, m = ymd.month, d = ymd.day;
    const QString yy = Two(((y % 100) + 100) % 100);
    switch (p.kind == PictureKind::Dates ? p.number : 3) {
    case 1:
        return Two(m) + QLatin1Char('/') + Two(d) + QLatin1Char('/') + yy;
    case 2:
        return Two(m) + QLatin1Char('/') + Two(d) + QLatin1Char('/') + Four(y);
    case 4:
        return MonthName(m) + QLatin1Char(' ') + QString::number(d) + QStringLiteral(", ") + Four(y);
    case 5:
        return Two(d) + QLatin1Char('/') + Two(m) + QLatin1Char('/') + yy;
    case 6:
        return Two(d) + QLatin1Char('/') + Two(m) + QLatin1Char('/') + Four(y);
    case 7:
        return Two(d) + QLatin1Char(' ') + MonthAbbreviation(m) + QLatin1Char(' ') + yy;
    case 8:
        return Two(d) + QLatin1Char(' ') + MonthAbbreviation(m) + QLatin1Char(' ') + Four(y);
    case 9:
        return yy + QLatin1Char('/') + Two(m) + QLatin1Char('/') + Two(d);
    case 10:
        return Four(y) + QLatin1Char('/') + Two(m) + QLatin1Char('/') + Two(d);
    case 11:
        return yy + Two(m) + Two(d);
    case 12:
        return Four(y) + Two(m) + Two(d);
    case 13:
        return Two(m) + QLatin1Char('/') + yy;
    case 14:
        return Two(m) + QLatin1Char('/') + Four(y);
    case 15:
        return yy + QLatin1Char('/') + Two(m);
    case 16:
        return Four(y) + QLatin1Char('/') + Two(m);
    case 17:
        return QLocale::system().toString(ToQDate(date), QLocale::ShortFormat);
    case 18:
        return QLocale::system().toString(ToQDate(date), QLocale::LongFormat);
    default:
        return MonthAbbreviation(m) + QLatin1Char(' ') + Two(d) + QLatin1Char(',') + Four(y);
    }
}

QString FormatTimeAs(Time time, const QString& picture) {
    const Picture p = Picture::parse(picture);
    if (time == 0)
        return {};
    // Computed in 64 bits: any 32-bit value, however far out of a day, has a time of day.
    const int t = static_cast<int>(((static_cast<qint64>(time) - 1) % kOneDay + kOneDay) % kOneDay);
    const int h = t / kOneHour, mi = (t / kOneMinute) % 60, s = (t / 100) % 60;
    const int h12 = h % 12 == 0 ? 12 : h % 12;
    const QString xm = h < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
    switch (p.kind == PictureKind::Times ? p.number : 1) {
    case 2:
        return Two(h) + Two(mi);
    case 3:
        return QString::number(h12) + QLatin1Char(':') + Two(mi) + xm;
    case 4:
        return Two(h) + QLatin1Char(':') + Two(mi) + QLatin1Char(':') + Two(s);
    case 5:
        return Two(h) + Two(mi) + Two(s);
    case 6:
        return QString::number(h12) + QLatin1Char(':') + Two(mi) + QLatin1Char(':') + Two(s) + xm;
    case 7:
        return QLocale::system().toString(ToQTime(time), QLocale::ShortFormat);
    case 8:
        return QLocale::system().toString(ToQTime(time), QLocale::LongFormat);
    default:
        return Two(h) + QLatin1Char(':') + Two(mi);
    }
}

QString FormatNumber(qint64 value, const QString& picture) {
    Picture p = Picture::parse(picture);
    if (value == 0 && p.blankZero)
        return {};
    if (p.kind != PictureKind::Numbers)
        p = Picture(); // no layout: the plain number
    // The magnitude as an unsigned number, so that the most negative value has one too.
    const quint64 magnitude = value < 0 ? 0 - static_cast<quint64>(value) : static_cast<quint64>(value);
    QString digits = QString::number(magnitude);
    if (p.decimals > 0) {
        digits = digits.rightJustified(p.decimals + 1, QLatin1Char('0'));
        digits.insert(digits.size() - p.decimals, QLatin1Char('.'));
    }
    const QString sign = value < 0 ? QStringLiteral("-") : QString();
    if (p.number <= 0)
        return sign + digits;
    if (p.fill == QLatin1Char('0'))
        return sign + digits.rightJustified(p.number - sign.size(), QLatin1Char('0'));
    return (sign + digits)
        .rightJustified(p.number, p.fill == QLatin1Char('*') ? QLatin1Char('*') : QLatin1Char(' '));
}

QString FormatPicture(const QString& picture, qint64 number) {
    const Picture p = Picture::parse(picture);
    switch (p.kind) {
    case PictureKind::Dates:
        return FormatDateAs(static_cast<Date>(number), picture);
    case PictureKind::Times:
        return FormatTimeAs(static_cast<Time>(number), picture);
    case PictureKind::Numbers:
        return FormatNumber(number, picture);
    case PictureKind::Strings:
        return QString::number(number).left(p.number > 0 ? p.number : 255);
    case PictureKind::Invalid:
        break;
    }
    return QString::number(number);
}

bool ParseDate(const QString& text, const QString& picture, Date* date, int referenceYear) {
    const QString t = text.trimmed();
    *date = 0;
    if (t.isEmpty())
        return true;
    const Picture p = Picture::parse(picture);
    const int n = p.kind == PictureKind::Dates ? p.number : 3;
    if (n == 17 || n == 18) {
        const QLocale locale = QLocale::system();
        const QString format = locale.dateFormat(n == 17 ? QLocale::ShortFormat : QLocale::LongFormat);
        QDate q = locale.toDate(t, format);
        if (!q.isValid())
            return false;
        // A two-digit year takes the sliding century like the other pictures.
        if (!format.contains(QStringLiteral("yyyy")))
            q = QDate(WidenYear(q.year() % 100, referenceYear), q.month(), q.day());
        if (!q.isValid() || !ValidYmd(q.year(), q.month(), q.day()))
            return false;
        *date = FromQDate(q);
        return true;
    }
    // Split into numbers and words; the picture says which is which.
    static const QRegularExpression parts(QStringLiteral("[A-Za-z]+|\\d+"));
    QStringList tokens;
    for (auto it = parts.globalMatch(t); it.hasNext();)
        tokens << it.next().captured(0);
    auto num = [&](int i, int* out) {
        if (i >= tokens.size())
            return false;
        bool ok = false;
        *out = tokens[i].toInt(&ok);
        return ok && tokens[i][0].isDigit();
    };
    auto year = [&](const QString& tok) {
        const int v = tok.toInt();
        return tok.size() <= 2 ? WidenYear(v, referenceYear) : v;
    };
    int y = 0, m = 0, d = 1;
    bool ok = true;
    switch (n) {
    case 1:
    case 2:
        ok = tokens.size() == 3 && num(0, &m) && num(1, &d) && num(2, &y);
        y = year(tokens.value(2));
        break;
    case 5:
    case 6:
        ok = tokens.size() == 3 && num(0, &d) && num(1, &m) && num(2, &y);
        y = year(tokens.value(2));
        break;
    case 3:
    case 4:
        ok = tokens.size() == 3 && (m = MonthFromName(tokens[0])) != 0 && num(1, &d) && num(2, &y);
        y = year(tokens.value(2));
        break;
    case 7:
    case 8:
        ok = tokens.size() == 3 && num(0, &d) && (m = MonthFromName(tokens[1])) != 0 && num(2, &y);
        y = year(tokens.value(2));
        break;
    case 9:
    case 10:
        ok = tokens.size() == 3 && num(0, &y) && num(1, &m) && num(2, &d);
        y = year(tokens.value(0));
        break;
    case 11:
    case 12: {
        const int yl = n == 11 ? 2 : 4;
        ok = tokens.size() == 1 && tokens[0].size() == yl + 4 && tokens[0][0].isDigit();
        if (ok) {
            y = year(tokens[0].left(yl));
            m = tokens[0].mid(yl, 2).toInt();
            d = tokens[0].mid(yl + 2, 2).toInt();
        }
        break;
    }
    case 13:
    case 14:
        ok = tokens.size() == 2 && num(0, &m) && num(1, &y);
        y = year(tokens.value(1));
        break;
    case 15:
    case 16:
        ok = tokens.size() == 2 && num(0, &y) && num(1, &m);
        y = year(tokens.value(0));
        break;
    default:
        ok = false;
    }
    if (!ok || !ValidYmd(y, m, d))
        return false;
    *date = DateFromYmd(y, m, d);
    return true;
}

bool ParseTime(const QString& text, const QString& picture, Time* time) {
    QString t = text.trimmed();
    *time = 0;
    if (t.isEmpty())
        return true;
    const Picture p = Picture::parse(picture);
    const int n = p.kind == PictureKind::Times ? p.number : 1;
    if (n == 7 || n == 8) {
        const QLocale locale = QLocale::system();
        QString format = locale.timeFormat(n == 7 ? QLocale::ShortFormat : QLocale::LongFormat);
        QTime q = locale.toTime(t, format);
        if (!q.isValid() && format.contains(QLatin1Char('t'))) {
            // The time zone that the long form shows is not read back.
            static const QRegularExpression zoneInFormat(QStringLiteral("\\s*t+\\s*"));
            static const QRegularExpression zoneInText(QStringLiteral("\\s*[A-Za-z][A-Za-z0-9+:-]*$"));
            format.replace(zoneInFormat, QString());
            q = locale.toTime(QString(t).remove(zoneInText), format);
        }
        if (!q.isValid())
            return false;
        *time = FromQTime(q);
        return true;
    }
    // A morning/afternoon marker may follow any form.
    int xm = 0;
    static const QRegularExpression marker(QStringLiteral("\\s*([AaPp])\\.?[Mm]?\\.?$"));
    const auto mm = marker.match(t);
    if (mm.hasMatch()) {
        xm = mm.captured(1).toLower() == QStringLiteral("a") ? 1 : 2;
        t.truncate(mm.capturedStart());
    }
    int h = 0, mi = 0, s = 0;
    static const QRegularExpression colon(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?$"));
    static const QRegularExpression packed(QStringLiteral("^(\\d{1,2})(\\d{2})(\\d{2})?$"));
    auto m = colon.match(t);
    if (!m.hasMatch())
        m = packed.match(t);
    if (!m.hasMatch())
        return false;
    h = m.captured(1).toInt();
    mi = m.captured(2).toInt();
    s = m.captured(3).toInt();
    if (xm != 0) {
        if (h < 1 || h > 12)
            return false;
        h = h % 12 + (xm == 2 ? 12 : 0);
    }
    if (h > 23 || mi > 59 || s > 59)
        return false;
    *time = TimeFromHms(h, mi, s);
    return true;
}

} // namespace kr
