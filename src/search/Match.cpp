#include "search/Match.h"

#include "platform/DateTime.h"
#include "platform/Text.h"
#include "store/Database.h"

#include <array>

namespace kr {

namespace {

const char* const kTypeTexts[kMatchTypes] = {
    "Ignore this field",
    "Equals this",
    "Does not equal this",
    "More than this",
    "Less than this",
    "More than or equal to this",
    "Less than or equal to this",
    "Inside range starting with this",
    "Outside range starting with this",
    "Begins with this",
    "Ends with this",
    "Contains this",
    "Does not contain this",
    "In this month of each year",
    "On this day of each month",
    "In this year",
    "On this month + day",
    "In this year + month",
};

const char16_t* const kIndicators[kMatchTypes] = {
    u"",       u"=",      u"\u2260", u">",      u"<", u"\u2265", u"\u2264", u"\u2194", u"\u25CA",
    u"\u2192", u"\u2190", u"\u2227", u"\u2228", u"m", u"d",      u"y",      u"M",      u"Y",
};

// A UTF-16 unit mapped so that units compare in code point order.
inline char16_t CodePointOrder(char16_t u) {
    if (u >= 0xE000)
        return static_cast<char16_t>(u - 0x800);
    if (u >= 0xD800)
        return static_cast<char16_t>(u + 0x2000);
    return u;
}

QString RecordText(const Schedule& record, int field) {
    const Value v = Schedule::fieldDecls()[static_cast<std::size_t>(field)].get(&record);
    return FoldText(std::get<QString>(v));
}

qint64 RecordNumber(const Schedule& record, int field) {
    const Value v = Schedule::fieldDecls()[static_cast<std::size_t>(field)].get(&record);
    return std::get<qint64>(v);
}

bool CompareOrdered(int type, int cmp) {
    switch (type) {
    case Equals:
        return cmp == 0;
    case NotEquals:
        return cmp != 0;
    case MoreThan:
        return cmp > 0;
    case LessThan:
        return cmp < 0;
    case MoreOrEqual:
        return cmp >= 0;
    case LessOrEqual:
        return cmp <= 0;
    default:
        return false;
    }
}

bool MatchText(const Criterion& c, const QString& r) {
    const QString& v = c.text;
    switch (c.type) {
    case Equals:
        // The record's leading blanks do not count for equality.
        return (c.kind == FieldKind::TEXT ? r : LeftTrimmed(r)) == v;
    case NotEquals:
    case MoreThan:
    case LessThan:
    case MoreOrEqual:
    case LessOrEqual:
        return CompareOrdered(c.type, CompareText(r, v));
    case InsideRange:
        return CompareText(r.left(v.size()), v) >= 0 &&
               CompareText(r.left(c.upperText.size()), c.upperText) <= 0;
    case OutsideRange:
        return CompareText(r.left(v.size()), v) < 0 ||
               CompareText(r.left(c.upperText.size()), c.upperText) > 0;
    case BeginsWith:
        return r.startsWith(v);
    case EndsWith:
        return r.endsWith(v);
    case Contains:
        return r.contains(v);
    case NotContains:
        return !r.contains(v);
    default:
        return false;
    }
}

bool MatchNumber(const Criterion& c, qint64 r) {
    const qint64 v = c.number;
    switch (c.type) {
    case Equals:
    case NotEquals:
    case MoreThan:
    case LessThan:
    case MoreOrEqual:
    case LessOrEqual:
        return CompareOrdered(c.type, r < v ? -1 : (r > v ? 1 : 0));
    case InsideRange:
        return v <= r && r <= c.limit;
    case OutsideRange:
        return r < v || r > c.limit;
    case BeginsWith: {
        const qint64 u = c.limit > 0 ? c.limit : 1;
        return r / u == v / u;
    }
    case EndsWith: {
        const QString vs = QString::number(v);
        return QString::number(r).right(vs.size()) == vs;
    }
    default:
        break;
    }
    if (c.type < SameMonth || c.type > SameYearMonth)
        return false;
    // No date has no month, day or year: a record without one, or a blank example, matches
    // nothing.
    if (r <= 0 || v <= 0)
        return false;
    const Ymd rd = YmdFromDate(static_cast<Date>(r));
    const Ymd vd = YmdFromDate(static_cast<Date>(v));
    switch (c.type) {
    case SameMonth:
        return rd.month == vd.month;
    case SameDay:
        return rd.day == vd.day;
    case SameYear:
        return rd.year == vd.year;
    case SameMonthDay:
        return rd.month == vd.month && rd.day == vd.day;
    case SameYearMonth:
        return rd.year == vd.year && rd.month == vd.month;
    default:
        return false;
    }
}

} // namespace

QString KindName(FieldKind kind) {
    switch (kind) {
    case FieldKind::STRING:
        return QStringLiteral("STRING");
    case FieldKind::NUMBER:
        return QStringLiteral("NUMBER");
    case FieldKind::DATE:
        return QStringLiteral("DATE");
    case FieldKind::PICTURE:
        return QStringLiteral("PICTURE");
    case FieldKind::TEXT:
        return QStringLiteral("TEXT");
    case FieldKind::CHECK:
        return QStringLiteral("CHECK");
    case FieldKind::OPTION:
        return QStringLiteral("OPTION");
    }
    return {};
}

QString MatchTypeText(int type) {
    return type >= 0 && type < kMatchTypes ? QString::fromLatin1(kTypeTexts[type]) : QString();
}

QString MatchIndicator(int type) {
    return type >= 0 && type < kMatchTypes ? QString::fromUtf16(kIndicators[type]) : QString();
}

const std::vector<int>& MatchTypesFor(FieldKind kind) {
    static const std::vector<int> string{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    static const std::vector<int> number{0, 1, 2, 3, 4, 5, 6, 7, 8};
    static const std::vector<int> date{0, 1, 2, 3, 4, 5, 6, 7, 8, 13, 14, 15, 16, 17};
    static const std::vector<int> picture{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    static const std::vector<int> text{0, 1, 2, 9, 10, 11, 12};
    static const std::vector<int> choice{0, 1, 2};
    switch (kind) {
    case FieldKind::STRING:
        return string;
    case FieldKind::NUMBER:
        return number;
    case FieldKind::DATE:
        return date;
    case FieldKind::PICTURE:
        return picture;
    case FieldKind::TEXT:
        return text;
    case FieldKind::CHECK:
    case FieldKind::OPTION:
        break;
    }
    return choice;
}

bool Offers(FieldKind kind, int type) {
    for (int t : MatchTypesFor(kind))
        if (t == type)
            return true;
    return false;
}

int TypedExampleMatchType(FieldKind kind) {
    return kind == FieldKind::STRING || kind == FieldKind::TEXT ? Contains : Equals;
}

const std::vector<SearchField>& ScheduleSearchFields() {
    using S = Schedule;
    // Times are compared as numbers: a month or a year means nothing for a time of day.
    static const std::vector<SearchField> fields{
        {S::DESCRIPTION, FieldKind::STRING},
        {S::COMMAND, FieldKind::STRING},
        {S::PATH, FieldKind::STRING},
        {S::ALARMFILE, FieldKind::STRING},
        {S::EVERY, FieldKind::NUMBER},
        {S::DATE, FieldKind::DATE},
        {S::TIME, FieldKind::NUMBER},
        {S::ADVANCEWARNDATE, FieldKind::DATE},
        {S::ADVANCEWARNTIME, FieldKind::NUMBER},
        {S::MESSAGE, FieldKind::TEXT},
        {S::EVERY1ST, FieldKind::CHECK},
        {S::EVERY2ND, FieldKind::CHECK},
        {S::EVERY3RD, FieldKind::CHECK},
        {S::EVERY4TH, FieldKind::CHECK},
        {S::EVERYLAST, FieldKind::CHECK},
        {S::SUNDAY, FieldKind::CHECK},
        {S::MONDAY, FieldKind::CHECK},
        {S::TUESDAY, FieldKind::CHECK},
        {S::WEDNESDAY, FieldKind::CHECK},
        {S::THURSDAY, FieldKind::CHECK},
        {S::FRIDAY, FieldKind::CHECK},
        {S::SATURDAY, FieldKind::CHECK},
        {S::SKIPNEXTTIME, FieldKind::CHECK},
        {S::ALARM, FieldKind::CHECK},
        {S::WARN, FieldKind::CHECK},
        {S::USERSKIP, FieldKind::CHECK},
        {S::DISABLED, FieldKind::CHECK},
        {S::TASKTYPE, FieldKind::OPTION},
        {S::CATEGORY, FieldKind::OPTION},
        {S::SCHEDULETYPE, FieldKind::OPTION},
        {S::EVERYTYPE, FieldKind::OPTION},
    };
    return fields;
}

FieldKind KindOf(int field) {
    for (const SearchField& f : ScheduleSearchFields())
        if (f.field == field)
            return f.kind;
    return FieldKind::NUMBER;
}

qint64 BeginsWithDivisor(qint64 value) {
    qint64 divisor = 1;
    // Zero divides by ten for ever: it keeps the divisor 1.
    while (value != 0 && value % 10 == 0) {
        value /= 10;
        divisor *= 10;
    }
    return divisor;
}

QString FoldText(const QString& text) {
    return sql::Fold(Clip(text));
}

int CompareText(const QString& a, const QString& b) {
    const qsizetype n = std::min(a.size(), b.size());
    const QChar* pa = a.constData();
    const QChar* pb = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ua = pa[i].unicode();
        const char16_t ub = pb[i].unicode();
        if (ua != ub)
            return CodePointOrder(ua) < CodePointOrder(ub) ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

Criterion MakeCriterion(int field, int type, const Schedule& example, qint64 limit,
                        const QString& upperText) {
    Criterion c;
    c.field = field;
    c.kind = KindOf(field);
    c.type = type;
    c.limit = limit;
    if (c.isText()) {
        c.text = RecordText(example, field);
        c.upperText = FoldText(upperText);
    } else {
        c.number = RecordNumber(example, field);
    }
    return c;
}

bool Matches(const Criterion& c, const Schedule& record) {
    if (c.type == Ignore)
        return true;
    if (c.isText())
        return MatchText(c, RecordText(record, c.field));
    return MatchNumber(c, RecordNumber(record, c.field));
}

bool MatchesAll(const std::vector<Criterion>& criteria, const Schedule& record) {
    for (const Criterion& c : criteria)
        if (!Matches(c, record))
            return false;
    return true;
}

} // namespace kr
