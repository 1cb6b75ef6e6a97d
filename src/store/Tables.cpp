#include "store/Tables.h"

#include <QStringList>

namespace kr {

QString FieldDecl::name() const {
    // ':' cannot stand in an identifier; the few names that hold one spell it '_'.
    return QString::fromLatin1(column).replace(QLatin1Char('_'), QLatin1Char(':'));
}

int TableDecl::fieldIndex(const QString& n) const {
    for (std::size_t i = 0; i < fields->size(); ++i) {
        if ((*fields)[i].name().compare(n, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

QString TableDecl::label(int field) const {
    return prefix + QLatin1Char(':') + (*fields)[static_cast<std::size_t>(field)].name();
}

QString TableDecl::keyLabel(int k) const {
    return prefix + QLatin1Char(':') + QString::fromLatin1(keys[static_cast<std::size_t>(k)].name);
}

int TableDecl::primaryKey() const {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].primary())
            return static_cast<int>(i);
    }
    return -1;
}

#define KR_FIELD_LIST(Name, FIELDS)                                                                          \
    const std::vector<FieldDecl>& Name::fieldDecls() {                                                       \
        using Self = Name;                                                                                   \
        static const std::vector<FieldDecl> fields{FIELDS(KR_FIELD_DECL)};                                   \
        return fields;                                                                                       \
    }

KR_FIELD_LIST(Schedule, KR_SCHEDULE_FIELDS)
KR_FIELD_LIST(SyncSchedule, KR_SYNCSCHEDULE_FIELDS)
KR_FIELD_LIST(Scripting, KR_SCRIPTING_FIELDS)
KR_FIELD_LIST(Categories, KR_CATEGORIES_FIELDS)
KR_FIELD_LIST(Todo, KR_TODO_FIELDS)
KR_FIELD_LIST(Contact, KR_CONTACT_FIELDS)
KR_FIELD_LIST(ContactCategories, KR_CONTACTCATEGORIES_FIELDS)
KR_FIELD_LIST(Clipboard, KR_CLIPBOARD_FIELDS)
KR_FIELD_LIST(Holidays, KR_HOLIDAYS_FIELDS)
KR_FIELD_LIST(Messages, KR_MESSAGES_FIELDS)
KR_FIELD_LIST(Configuration, KR_CONFIGURATION_FIELDS)
KR_FIELD_LIST(Tag, KR_TAG_FIELDS)
KR_FIELD_LIST(Runs, KR_RUNS_FIELDS)

namespace {

template <class R> std::vector<GroupDecl> ScheduleGroups() {
    return {
        {"DAYOFWEEKGROUP", R::SUNDAY, R::SATURDAY},
        {"EVERYORDINAL", R::EVERY1ST, R::EVERYTYPE - 1},
        {"SCHEDULEDATEANDTIME", R::DATE, R::SKIPNEXTTIME},
        {"ALARMGROUP", R::ALARM, R::ALARMFILE},
        {"ADVANCEDWARNING", R::ADVANCEWARNDATE, R::ADVANCEWARNED},
        {"EXCEPTIONS", R::SHIFTTYPE, R::EXCEPTIONLINK},
        {"SYNCHONIZATION", R::NETWORKUSER, R::ORIGINALID},
    };
}

const QString kDataFile = QStringLiteral("KR97");

} // namespace

#define KR_KEY_LIST(Name, KEYS)                                                                              \
    [] {                                                                                                     \
        using namespace ::kr::key;                                                                           \
        using R = Name;                                                                                      \
        return std::vector<KeyDecl>{KEYS(KR_KEY_DECL_R)};                                                    \
    }()
#define KR_KEY_DECL_R(E, flags, ...) ::kr::KeyDecl{#E, flags, {KR_QUALIFY(__VA_ARGS__)}},
// Key components name fields of the table's record structure R.
#define KR_QUALIFY(...) KR_QUALIFY_N(__VA_ARGS__, KR_Q5, KR_Q4, KR_Q3, KR_Q2, KR_Q1)(__VA_ARGS__)
#define KR_QUALIFY_N(_1, _2, _3, _4, _5, N, ...) N
#define KR_Q1(a) R::a
#define KR_Q2(a, b) R::a, R::b
#define KR_Q3(a, b, c) R::a, R::b, R::c
#define KR_Q4(a, b, c, d) R::a, R::b, R::c, R::d
#define KR_Q5(a, b, c, d, e) R::a, R::b, R::c, R::d, R::e

const TableDecl& Schedule::decl() {
    static const TableDecl d{QStringLiteral("Schedule"),
                             QStringLiteral("SCH"),
                             kDataFile + QStringLiteral("\\!s"),
                             FileKind::Data,
                             QStringLiteral("s"),
                             8,
                             1097,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(Schedule, KR_SCHEDULE_KEYS),
                             ScheduleGroups<Schedule>()};
    return d;
}

const TableDecl& SyncSchedule::decl() {
    static const TableDecl d{QStringLiteral("SyncSchedule"),
                             QStringLiteral("SSCH"),
                             QStringLiteral("SyncSch.syn"),
                             FileKind::Sync,
                             QStringLiteral("s"),
                             4,
                             1098,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(SyncSchedule, KR_SCHEDULE_KEYS),
                             ScheduleGroups<SyncSchedule>()};
    return d;
}

const TableDecl& Scripting::decl() {
    static const TableDecl d{QStringLiteral("Scripting"),
                             QStringLiteral("SCR"),
                             kDataFile + QStringLiteral("\\!Script"),
                             FileKind::Data,
                             QStringLiteral("Script"),
                             5,
                             2003,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(Scripting, KR_SCRIPTING_KEYS),
                             {}};
    return d;
}

const TableDecl& SyncScriptingDecl() {
    // Declared with its primary key only.
    static const TableDecl d{QStringLiteral("SyncScripting"),
                             QStringLiteral("SSCR"),
                             QStringLiteral("SyncScr.syn"),
                             FileKind::Sync,
                             QStringLiteral("scr"),
                             2,
                             2003,
                             &Scripting::fieldDecls(),
                             &Scripting::metaOf,
                             std::vector<KeyDecl>{Scripting::decl().keys[Scripting::KEYID]},
                             {}};
    return d;
}

const TableDecl& Categories::decl() {
    static const TableDecl d{QStringLiteral("Categories"),
                             QStringLiteral("CAT"),
                             kDataFile + QStringLiteral("\\!Categories"),
                             FileKind::Data,
                             QStringLiteral("Categories"),
                             2,
                             20,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(Categories, KR_CATEGORIES_KEYS),
                             {}};
    return d;
}

const TableDecl& Todo::decl() {
    static const TableDecl d{QStringLiteral("Todo"),
                             QStringLiteral("TDO"),
                             kDataFile + QStringLiteral("\\!ToDo"),
                             FileKind::Data,
                             QStringLiteral("ToDo"),
                             4,
                             152,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(Todo, KR_TODO_KEYS),
                             {}};
    return d;
}

const TableDecl& SyncTodoDecl() {
    static const TableDecl d{QStringLiteral("SyncTodo"),
                             QStringLiteral("STDO"),
                             QStringLiteral("SyncTodo.syn"),
                             FileKind::Sync,
                             QStringLiteral("todo"),
                             1,
                             152,
                             &Todo::fieldDecls(),
                             &Todo::metaOf,
                             Todo::decl().keys,
                             {}};
    return d;
}

const TableDecl& Contact::decl() {
    static const TableDecl d{QStringLiteral("Contact"),
                             QStringLiteral("C_"),
                             QStringLiteral("KR97.TPS\\!Contact"),
                             FileKind::Data,
                             QStringLiteral("Contact"),
                             2,
                             394,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(Contact, KR_CONTACT_KEYS),
                             {}};
    return d;
}

const TableDecl& ContactCategories::decl() {
    static const TableDecl d{QStringLiteral("ContactCategories"),
                             QStringLiteral("CC"),
                             kDataFile + QStringLiteral("\\!ConCat"),
                             FileKind::Data,
                             QStringLiteral("ConCat"),
                             2,
                             20,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(ContactCategories, KR_CONTACTCATEGORIES_KEYS),
                             {}};
    return d;
}

const TableDecl& Clipboard::decl() {
    static const TableDecl d{QStringLiteral("Clipboard"),
                             QStringLiteral("CLI"),
                             kDataFile + QStringLiteral("\\!Clipboard"),
                             FileKind::Data,
                             QStringLiteral("Clipboard"),
                             3,
                             89,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(Clipboard, KR_CLIPBOARD_KEYS),
                             {}};
    return d;
}

const TableDecl& Holidays::decl() {
    static const TableDecl d{QStringLiteral("Holidays"),
                             QStringLiteral("HOL"),
                             kDataFile + QStringLiteral("\\!Hol"),
                             FileKind::Data,
                             QStringLiteral("Hol"),
                             2,
                             25,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(Holidays, KR_HOLIDAYS_KEYS),
                             {}};
    return d;
}

const TableDecl& Messages::decl() {
    static const TableDecl d{QStringLiteral("Messages"),
                             QStringLiteral("M_"),
                             kDataFile + QStringLiteral("\\!Messages"),
                             FileKind::Data,
                             QStringLiteral("Messages"),
                             3,
                             2214,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(Messages, KR_MESSAGES_KEYS),
                             {}};
    return d;
}

const TableDecl& Configuration::decl() {
    static const TableDecl d{QStringLiteral("Configuration"),
                             QStringLiteral("CF"),
                             kDataFile + QStringLiteral("\\!CF"),
                             FileKind::Data,
                             QStringLiteral("CF"),
                             1,
                             120,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(Configuration, KR_CONFIGURATION_KEYS),
                             {}};
    return d;
}

const TableDecl& Tag::decl() {
    static const TableDecl d{QStringLiteral("Tag"),
                             QStringLiteral("TF_"),
                             QStringLiteral("TagFile_.TPS"),
                             FileKind::Tag,
                             QStringLiteral("Tag"),
                             1,
                             20,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(Tag, KR_TAG_KEYS),
                             {}};
    return d;
}

const TableDecl& Runs::decl() {
    static const TableDecl d{QStringLiteral("Runs"),
                             QStringLiteral("RUN"),
                             kDataFile + QStringLiteral("\\!Runs"),
                             FileKind::Data,
                             QStringLiteral("Runs"),
                             1,
                             1078,
                             &fieldDecls(),
                             &metaOf,
                             KR_KEY_LIST(Runs, KR_RUNS_KEYS),
                             {}};
    return d;
}

const std::vector<const TableDecl*>& DeclaredTables() {
    static const std::vector<const TableDecl*> tables{
        &Categories::decl(),   &Clipboard::decl(),         &Configuration::decl(),
        &Contact::decl(),      &ContactCategories::decl(), &Holidays::decl(),
        &Messages::decl(),     &Schedule::decl(),          &Scripting::decl(),
        &SyncSchedule::decl(), &SyncScriptingDecl(),       &SyncTodoDecl(),
        &Todo::decl(),
    };
    return tables;
}

const std::vector<const TableDecl*>& DataFileTables() {
    static const std::vector<const TableDecl*> tables{
        &Schedule::decl(), &Scripting::decl(),         &Categories::decl(), &Todo::decl(),
        &Contact::decl(),  &ContactCategories::decl(), &Clipboard::decl(),  &Holidays::decl(),
        &Messages::decl(), &Configuration::decl(),     &Runs::decl(),
    };
    return tables;
}

} // namespace kr
