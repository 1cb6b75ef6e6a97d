#include "exchange/SyncValues.h"

#include "exchange/Csv.h"
#include "organizer/Todo.h"
#include "platform/DateTime.h"
#include "platform/Text.h"
#include "store/Tables.h"

#include <limits>
#include <map>

namespace kr {

namespace {

constexpr qint64 kLongMax = std::numeric_limits<qint32>::max();

// What the entry fields read: a date of the years 1 to 9999 (the date pictures), a time of
// the day; the change stamps are today's date where they were saved, and no station's today
// lies beyond the last date the program handles.
ValueRange DateRange() {
    return {DateFromYmd(1, 1, 1), DateFromYmd(9999, 12, 31),
            QStringLiteral("no date or a date from 1 Jan 0001 to 31 Dec 9999"), true};
}
ValueRange StampRange() {
    return {DateFromYmd(1801, 1, 1), kLastDate,
            QStringLiteral("no date or a date from 1 Jan 1801 to 31 Dec 2099"), true};
}
ValueRange TimeRange() {
    return {1, kOneDay, QStringLiteral("no time or a time of day"), true};
}
ValueRange Numbers(qint64 min, qint64 max) {
    return {min, max, QStringLiteral("a number from %1 to %2").arg(min).arg(max)};
}

// The numeric fields of the three tables by name; a field of a name the tables share (the
// station stamps) has one rule for all of them. The flags are not listed: every BYTE of the
// declarations is a flag unless named here.
const std::map<QString, ValueRange>& Rules() {
    static const std::map<QString, ValueRange> rules = [] {
        std::map<QString, ValueRange> r;
        for (const char* date : {"DATE", "LASTRUNDATE", "ADVANCEWARNDATE", "COMPLETIONDATE"})
            r[QString::fromLatin1(date)] = DateRange();
        r[QStringLiteral("LASTCHANGEDATE")] = StampRange();
        for (const char* time : {"TIME", "LASTRUNTIME", "ADVANCEWARNTIME", "EXCEPTTIMEBEGIN", "EXCEPTTIMEEND",
                                 "COMPLETIONTIME", "LASTCHANGETIME"})
            r[QString::fromLatin1(time)] = TimeRange();
        // The task form's "Every:" and "Days to Offset:".
        r[QStringLiteral("EVERY")] = Numbers(0, 999999);
        r[QStringLiteral("OFFSET")] = Numbers(-99, 99);
        // The script item editor's seconds (five digits) and elapsed or waited time (nine).
        r[QStringLiteral("SECONDSTOWAIT")] = Numbers(0, 99999);
        r[QStringLiteral("TIMEELAPSED")] = Numbers(0, 999999999);
        // The to-do form's priority.
        r[QStringLiteral("PRIORITY")] = Numbers(kTodoPriorityLow, kTodoPriorityHigh);
        // Numbers of tasks, items, messages and counts: never below 0.
        for (const char* number : {"ID", "SEQUENCE", "ORIGINALID", "EXCEPTIONLINK", "NEXTTASKID", "EMAILID"})
            r[QString::fromLatin1(number)] = Numbers(0, kLongMax);
        return r;
    }();
    return rules;
}

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

std::optional<ValueRange> ReceivedRange(const TableDecl& decl, int field) {
    if (field < 0 || static_cast<std::size_t>(field) >= decl.fields->size())
        return std::nullopt;
    return ProgramRange((*decl.fields)[static_cast<std::size_t>(field)]);
}

std::optional<ValueRange> ProgramRange(const FieldDecl& f) {
    if (f.isText())
        return std::nullopt;
    const auto it = Rules().find(f.name());
    if (it != Rules().end())
        return it->second;
    if (f.type == FieldType::Byte)
        return ValueRange{0, 1, QStringLiteral("0 or 1")};
    return std::nullopt;
}

QString ReceivedRecords::recordName(const syncstream::RawRecord& raw, const TableDecl& decl) const {
    auto text = [&](const char* name) {
        const int i = decl.fieldIndex(QString::fromLatin1(name));
        return i < 0 ? QString()
                     : Clip(QString::fromUtf8(raw.fields[static_cast<std::size_t>(i)].text)).left(80);
    };
    auto number = [&](const char* name) {
        const int i = decl.fieldIndex(QString::fromLatin1(name));
        return i < 0 ? qint64{0} : raw.fields[static_cast<std::size_t>(i)].number;
    };
    auto task = [&](qint64 id) {
        const auto it = taskNames_.constFind(id);
        return it != taskNames_.constEnd() ? it.value() : QStringLiteral("the task numbered %1").arg(id);
    };
    switch (raw.tag) {
    case syncstream::TaskTag: {
        const QString description = text("DESCRIPTION");
        const QString category = text("CATEGORY");
        QString name = description.isEmpty() ? QStringLiteral("the task numbered %1").arg(number("ID"))
                                             : QStringLiteral("the task ") + Quoted(description);
        if (!category.isEmpty())
            name += QStringLiteral(" (") + category + QLatin1Char(')');
        return name;
    }
    case syncstream::ItemTag:
        return QStringLiteral("item %1 of ").arg(number("SEQUENCE")) + task(number("ID"));
    default:
        return QStringLiteral("the to-do entry ") + Quoted(text("TODO"));
    }
}

bool ReceivedRecords::take(const syncstream::RawRecord& raw, void* record) {
    const TableDecl* decl = syncstream::DeclOf(raw.tag);
    if (decl == nullptr || raw.fields.size() != decl->fields->size()) {
        problem_ = QStringLiteral("a record of no table of synchronization files was read");
        return false;
    }
    auto refuse = [&](int field, const QString& what) {
        problem_ =
            decl->label(field) + QStringLiteral(" of ") + recordName(raw, *decl) + QLatin1Char(' ') + what;
        return false;
    };
    for (std::size_t i = 0; i < decl->fields->size(); ++i) {
        const FieldDecl& f = (*decl->fields)[i];
        const syncstream::RawField& v = raw.fields[i];
        const int field = static_cast<int>(i);
        if (f.isText()) {
            if (!IsValidUtf8(v.text.constData(), v.text.size()))
                return refuse(field, QStringLiteral("is not a text"));
            QString text = QString::fromUtf8(v.text);
            // Stored texts lose their trailing blanks; a text is too long only without them.
            if (!f.isMemo())
                text = Clip(text);
            if (text.size() > f.maxChars())
                return refuse(field,
                              QStringLiteral("is %1 characters long, where this program writes at most %2")
                                  .arg(text.size())
                                  .arg(f.maxChars()));
            f.setText(record, std::move(text));
            continue;
        }
        const ValueRange range = ReceivedRange(*decl, field)
                                     .value_or(ValueRange{std::numeric_limits<qint32>::min(), kLongMax,
                                                          QStringLiteral("a 32-bit number"), false});
        const bool none = range.orNone && v.number == 0;
        if (!none && (v.number < range.min || v.number > range.max))
            return refuse(
                field, QStringLiteral("is %1, where this program writes %2").arg(v.number).arg(range.what));
        f.setInt(record, v.number);
    }
    // Enough names to tell the items of any file of a usual size by their task.
    if (raw.tag == syncstream::TaskTag && taskNames_.size() < 100000) {
        const int id = decl->fieldIndex(QStringLiteral("ID"));
        taskNames_.insert(raw.fields[static_cast<std::size_t>(id)].number, recordName(raw, *decl));
    }
    return true;
}

} // namespace kr
