#pragma once

// Query-by-example matching on schedule records: which fields can be searched and how, the
// match types each kind of field offers, and the comparison of one record with the criteria.
// No widgets here; the search window and the scan build on it.

#include "store/Tables.h"

#include <QString>

#include <vector>

namespace kr {

// How a search field is compared and which match types it offers.
enum class FieldKind { STRING, NUMBER, DATE, PICTURE, TEXT, CHECK, OPTION };

// "STRING", "NUMBER", ... as the match-type dialogue names the kind.
QString KindName(FieldKind kind);

// Match types: 0 leaves the field out of the search.
enum MatchType : int {
    Ignore = 0,
    Equals = 1,
    NotEquals = 2,
    MoreThan = 3,
    LessThan = 4,
    MoreOrEqual = 5,
    LessOrEqual = 6,
    InsideRange = 7,
    OutsideRange = 8,
    BeginsWith = 9,
    EndsWith = 10,
    Contains = 11,
    NotContains = 12,
    SameMonth = 13,
    SameDay = 14,
    SameYear = 15,
    SameMonthDay = 16,
    SameYearMonth = 17,
};
inline constexpr int kMatchTypes = 18;

// The text the match-type dialogue offers for a type ("Equals this", ...).
QString MatchTypeText(int type);
// The indicator shown beside a searched field; empty for 0.
QString MatchIndicator(int type);
// The types a kind offers, ascending, 0 included.
const std::vector<int>& MatchTypesFor(FieldKind kind);
bool Offers(FieldKind kind, int type);
// The type a field takes when an example is typed into it while it is ignored: a piece of a
// text is looked for anywhere in it ("Contains this"), any other value is matched whole.
int TypedExampleMatchType(FieldKind kind);

// A field of the schedule that can be searched, by its field number in Schedule.
struct SearchField {
    int field;
    FieldKind kind;
};
const std::vector<SearchField>& ScheduleSearchFields();
// The kind of a schedule field; Number for a field that is not searchable.
FieldKind KindOf(int field);

// The divisor that "Begins with" keeps for a number: the power of ten that the number's
// trailing zeros make (1200 gives 100, so 1200 then matches 1200 to 1299); 1 for 0.
qint64 BeginsWithDivisor(qint64 value);

// One searched field with the value copied out at search time. Texts are held folded to
// upper case and without trailing blanks.
struct Criterion {
    int field = 0;
    FieldKind kind = FieldKind::NUMBER;
    int type = Ignore;
    qint64 number = 0; // the value of a number, date, time or flag
    qint64 limit = 0;  // upper limit (7, 8) or divisor (PICTURE 9)
    QString text;      // the value of a text
    QString upperText; // upper limit of a text (7, 8)

    bool isText() const {
        return kind == FieldKind::STRING || kind == FieldKind::OPTION || kind == FieldKind::TEXT;
    }
};

// Builds the criterion for a field from the value it holds in `example`; `limit` is the
// number limit or divisor and `upperText` the text limit kept for the field.
Criterion MakeCriterion(int field, int type, const Schedule& example, qint64 limit = 0,
                        const QString& upperText = {});

// The letter-case folding of the searched texts, the same as the keys that ignore case.
QString FoldText(const QString& text);

// Whether the record's field meets the criterion.
bool Matches(const Criterion& c, const Schedule& record);
// Whether the record meets every criterion (those of type 0 are left out).
bool MatchesAll(const std::vector<Criterion>& criteria, const Schedule& record);

// Texts compared as the keys order them (by code point).
int CompareText(const QString& a, const QString& b);

} // namespace kr
