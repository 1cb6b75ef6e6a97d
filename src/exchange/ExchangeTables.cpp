#include "exchange/ExchangeTables.h"

#include "exchange/SyncValues.h"
#include "platform/Pictures.h"
#include "store/Tables.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kr {

namespace {

struct Entry {
    const char* name;
    const char* picture;
};

// Resolves the listed names against the table's declaration once; a name the declaration
// does not know is a fault of this list, caught by the tests.
std::vector<ExchangeField> Resolve(const TableDecl& decl, std::initializer_list<Entry> entries) {
    std::vector<ExchangeField> out;
    out.reserve(entries.size());
    for (const Entry& e : entries) {
        const QString name = QString::fromLatin1(e.name);
        const QString bare = name.mid(name.indexOf(QLatin1Char(':')) + 1).toUpper();
        out.push_back(ExchangeField{name, decl.fieldIndex(bare), QString::fromLatin1(e.picture)});
    }
    return out;
}

ExchangeTable MakeSchedule() {
    ExchangeTable t;
    t.decl = &Schedule::decl();
    t.exportFields = Resolve(*t.decl, {{"SCH:TaskType", "@s20"},
                                       {"SCH:Category", "@s20"},
                                       {"SCH:Description", "@s40"},
                                       {"SCH:Command", "@s255"},
                                       {"SCH:Path", "@s255"},
                                       {"SCH:ScheduleType", "@s15"},
                                       {"SCH:Sunday", "@n3"},
                                       {"SCH:Monday", "@n3"},
                                       {"SCH:Tuesday", "@n3"},
                                       {"SCH:Wednesday", "@n3"},
                                       {"SCH:Thursday", "@n3"},
                                       {"SCH:Friday", "@n3"},
                                       {"SCH:Saturday", "@n3"},
                                       {"SCH:MonthRepeat", "@s18"},
                                       {"SCH:Offset", "@n-2b"},
                                       {"SCH:Every", "@n6"},
                                       {"SCH:Every1st", "@n3"},
                                       {"SCH:Every2nd", "@n3"},
                                       {"SCH:Every3rd", "@n3"},
                                       {"SCH:Every4th", "@n3"},
                                       {"SCH:EveryLast", "@n3"},
                                       {"SCH:LastDayofMonth", "@n3"},
                                       {"SCH:EveryType", "@s20"},
                                       {"SCH:Date", "@d6b"},
                                       {"SCH:Time", "@t3b"},
                                       {"SCH:LastRunDate", "@d6b"},
                                       {"SCH:LastRunTime", "@t3b"},
                                       {"SCH:SkipNextTime", "@n3"},
                                       {"SCH:Alarm", "@n3"},
                                       {"SCH:AlarmFile", "@s254"},
                                       {"SCH:AdvanceWarnDate", "@d6b"},
                                       {"SCH:AdvanceWarnTime", "@t3b"},
                                       {"SCH:AdvanceWarned", "@n3"},
                                       {"SCH:Warn", "@n3"},
                                       {"SCH:SkipIfMissed", "@n3"},
                                       {"SCH:NoHistory", "@n3"},
                                       {"SCH:UserSkip", "@n3"},
                                       {"SCH:Disabled", "@n3"},
                                       {"SCH:Skipped", "@n3"},
                                       {"SCH:ShiftType", "@s20"},
                                       {"SCH:ExceptWeekends", "@n3"},
                                       {"SCH:ExceptWeekdays", "@n3"},
                                       {"SCH:ExceptHolidays", "@n3"},
                                       {"SCH:ExceptTime", "@n3"},
                                       {"SCH:ExceptTimeBegin", "@t3"},
                                       {"SCH:ExceptTimeEnd", "@t3"},
                                       {"SCH:ExceptionLink", "@n-13"}});
    t.targets = Resolve(*t.decl, {{"SCH:User", "@s40"}});
    t.targets.insert(t.targets.end(), t.exportFields.begin(), t.exportFields.end());
    t.exportKey = Schedule::KEYCATEGORYDATE;
    t.numberField = Schedule::ID;
    return t;
}

ExchangeTable MakeContact() {
    ExchangeTable t;
    t.decl = &Contact::decl();
    t.exportFields = Resolve(*t.decl, {{"C_:Notes", "@s255"},
                                       {"C_:LastName", "@s30"},
                                       {"C_:FirstName", "@s20"},
                                       {"C_:AddressLine1", "@s30"},
                                       {"C_:AddressLine2", "@s30"},
                                       {"C_:AddressLine3", "@s30"},
                                       {"C_:PostalCode", "@s10"},
                                       {"C_:WorkDayPhone", "@s20"},
                                       {"C_:HomeEveningPhone", "@s20"},
                                       {"C_:Fax", "@s20"},
                                       {"C_:OtherPhone", "@s20"},
                                       {"C_:Email", "@s40"},
                                       {"C_:WebSite", "@s60"},
                                       {"C_:ContactCategory", "@s20"}});
    t.targets = Resolve(*t.decl, {{"C_:Notes", "@s255"}, {"C_:User", "@s40"}});
    t.targets.insert(t.targets.end(), t.exportFields.begin() + 1, t.exportFields.end());
    t.exportKey = Contact::KEYCLIENTID;
    t.numberField = Contact::CLIENTID;
    return t;
}

ExchangeTable MakeTodo() {
    ExchangeTable t;
    t.decl = &Todo::decl();
    t.exportFields = Resolve(*t.decl, {{"TDO:Done", "@n1"},
                                       {"TDO:Priority", "@n2"},
                                       {"TDO:Category", "@s20"},
                                       {"TDO:ToDo", "@s80"},
                                       {"TDO:CompletionDate", "@d3"},
                                       {"TDO:CompletionTime", "@t3"},
                                       {"TDO:Notes", "@s255"},
                                       {"TDO:Resolution", "@s255"}});
    t.targets = t.exportFields;
    t.exportKey = Todo::KEYCATEGORY;
    return t;
}

// Within what the program writes into the field (a flag 0 or 1, a priority from 1 to 10, a
// time of day), so that what is imported also travels to another installation; a field
// without such a rule within its type.
qint64 Clamp(const FieldDecl& f, qint64 v) {
    if (const auto range = ProgramRange(f)) {
        if (range->orNone && v == 0)
            return 0;
        return std::clamp(v, range->min, range->max);
    }
    switch (f.type) {
    case FieldType::Byte:
        return std::clamp<qint64>(v, 0, 255);
    case FieldType::Short:
        return std::clamp<qint64>(v, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max());
    default:
        return std::clamp<qint64>(v, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    }
}

} // namespace

const ExchangeTable& ScheduleExchange() {
    static const ExchangeTable t = MakeSchedule();
    return t;
}

const ExchangeTable& ContactExchange() {
    static const ExchangeTable t = MakeContact();
    return t;
}

const ExchangeTable& TodoExchange() {
    static const ExchangeTable t = MakeTodo();
    return t;
}

PictureClass ClassOfPicture(const QString& picture) {
    if (picture.size() < 2)
        return PictureClass::Other;
    const QChar c = picture.at(1).toLower();
    if (c == QLatin1Char('s'))
        return PictureClass::Text;
    if (c == QLatin1Char('n'))
        return PictureClass::Number;
    return PictureClass::Other;
}

QString ExportKindText(const QString& picture) {
    switch (ClassOfPicture(picture)) {
    case PictureClass::Text:
        return QStringLiteral("Alpha-numeric");
    case PictureClass::Number:
        return QStringLiteral("Numeric");
    case PictureClass::Other:
        break;
    }
    return picture;
}

QString ImportKindText(const QString& picture) {
    return ClassOfPicture(picture) == PictureClass::Text ? QStringLiteral("Alpha-num")
                                                         : ExportKindText(picture);
}

void AddExportValue(CsvLine& line, const void* record, const FieldDecl& field, const QString& picture) {
    const Value v = field.get(record);
    const QString* text = std::get_if<QString>(&v);
    switch (ClassOfPicture(picture)) {
    case PictureClass::Text:
        line.addQuoted(text != nullptr ? *text : QString::number(std::get<qint64>(v)));
        return;
    case PictureClass::Number:
        // A text given a numeric picture goes out as the number it reads as: written as it
        // stands, its commas and quotes would split the line.
        line.addPlain(QString::number(text != nullptr ? NumberFromText(*text) : std::get<qint64>(v)));
        return;
    case PictureClass::Other:
        line.addQuoted(text != nullptr ? *text : FormatPicture(picture, std::get<qint64>(v)));
        return;
    }
}

qint64 NumberFromText(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    if (ok)
        return n;
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return 0;
    if (d >= 9.0e18)
        return std::numeric_limits<qint64>::max();
    if (d <= -9.0e18)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(std::trunc(d));
}

ImportValue ConvertImportText(const QString& text, const QString& picture) {
    ImportValue v;
    if (ClassOfPicture(picture) != PictureClass::Other) {
        v.text = text;
        return v;
    }
    const Picture p = Picture::parse(picture);
    if (p.kind == PictureKind::Dates) {
        Date d = 0;
        v.number = ParseDate(text, picture, &d) ? d : 0;
    } else if (p.kind == PictureKind::Times) {
        Time t = 0;
        v.number = ParseTime(text, picture, &t) ? t : 0;
    } else {
        v.text = text;
    }
    return v;
}

void StoreImportValue(void* record, const FieldDecl& field, const ImportValue& value) {
    if (field.isText()) {
        QString t = value.number ? QString::number(*value.number) : value.text;
        if (t.size() > field.maxChars())
            t.truncate(field.maxChars());
        field.setText(record, std::move(t));
        return;
    }
    field.setInt(record, Clamp(field, value.number ? *value.number : NumberFromText(value.text)));
}

} // namespace kr
