#pragma once

// Declarations that describe a table once: its fields in declared order with their types and
// widths, its memos, its keys and their attributes. The SQL schema, the key orders and every
// routine that works field by field read these declarations instead of repeating field lists.

#include <QString>

#include <cstdint>
#include <variant>
#include <vector>

namespace kr {

enum class FieldType : std::uint8_t { Long, Short, Byte, String, CString, Memo };

// A field's value when handled generically: numbers as integers, texts as strings.
using Value = std::variant<qint64, QString>;

struct FieldDecl {
    const char* column; // the field's name without prefix; ':' inside a name is written '_'
    FieldType type;
    int width; // declared width of texts and memos; 0 for numbers
    Value (*get)(const void* record);
    void (*set)(void* record, const Value& value);
    // The same without a Value in between, for reading many records.
    void (*setInt)(void* record, qint64 value);
    void (*setText)(void* record, QString&& value);

    bool isText() const { return type == FieldType::String || type == FieldType::CString || isMemo(); }
    bool isMemo() const { return type == FieldType::Memo; }
    // The most characters the field keeps: a CSTRING keeps one less than its width.
    int maxChars() const { return type == FieldType::CString ? width - 1 : width; }
    // The name as the program spells it after the prefix, e.g. "DESCRIPTION" or "MAIL:SERVER".
    QString name() const;
};

namespace key {
enum Flags : unsigned {
    Dup = 0,
    Unique = 1u << 0,
    NoCase = 1u << 1,
    Opt = 1u << 2,
    Primary = (1u << 3) | Unique,
    Maintained = 1u << 4, // kept up to date, never read through
};
}

struct KeyDecl {
    const char* name; // without prefix, e.g. "KEYDATEENABLED"
    unsigned flags;
    std::vector<int> components; // field indexes, compared in this order

    bool unique() const { return (flags & key::Unique) != 0; }
    bool nocase() const { return (flags & key::NoCase) != 0; }
    bool opt() const { return (flags & key::Opt) != 0; }
    bool primary() const { return (flags & key::Primary) == key::Primary; }
};

struct GroupDecl {
    const char* name;
    int first; // first field of the group
    int last;  // last field of the group
};

// Where a loaded record came from, so that Put and Delete find it again and Watch can tell
// whether another station changed it meanwhile.
struct RecordMeta {
    qint64 rowid = 0;
    qint64 version = 0;
    bool watched = false;
};

enum class FileKind { Data, Sync, Tag };

struct TableDecl {
    QString name;     // "Schedule"
    QString prefix;   // "SCH"
    QString fileName; // the table's file name as messages show it, e.g. "KR97\!s"
    FileKind file;    // which file holds it
    QString sqlName;  // the table's name inside its file, e.g. "s"
    int version;      // layout version
    int recordBytes;  // size of the fixed part of a record
    const std::vector<FieldDecl>* fields;
    RecordMeta* (*meta)(void* record);
    std::vector<KeyDecl> keys;
    std::vector<GroupDecl> groups;

    bool enciphered() const { return file != FileKind::Tag; }
    int fieldIndex(const QString& name) const; // by name without prefix, -1 when absent
    QString label(int field) const;            // "SCH:DESCRIPTION"
    QString keyLabel(int key) const;           // "SCH:KEYDATE"
    int primaryKey() const;                    // -1 when the table has none
};

namespace detail {
template <FieldType> struct CppType;
template <> struct CppType<FieldType::Long> { using type = qint32; };
template <> struct CppType<FieldType::Short> { using type = qint16; };
template <> struct CppType<FieldType::Byte> { using type = quint8; };
template <> struct CppType<FieldType::String> { using type = QString; };
template <> struct CppType<FieldType::CString> { using type = QString; };
template <> struct CppType<FieldType::Memo> { using type = QString; };

template <class T> Value ToValue(const T& v) {
    if constexpr (std::is_same_v<T, QString>)
        return v;
    else
        return static_cast<qint64>(v);
}

template <class T> void FromValue(T& m, const Value& v) {
    if constexpr (std::is_same_v<T, QString>) {
        if (const auto* s = std::get_if<QString>(&v))
            m = *s;
        else
            m = QString::number(std::get<qint64>(v));
    } else {
        if (const auto* n = std::get_if<qint64>(&v))
            m = static_cast<T>(*n);
        else
            m = static_cast<T>(std::get<QString>(v).trimmed().toLongLong());
    }
}

template <class T> void SetInt(T& m, qint64 v) {
    if constexpr (std::is_same_v<T, QString>)
        m = QString::number(v);
    else
        m = static_cast<T>(v);
}

template <class T> void SetText(T& m, QString&& v) {
    if constexpr (std::is_same_v<T, QString>)
        m = std::move(v);
    else
        m = static_cast<T>(v.trimmed().toLongLong());
}
} // namespace detail

} // namespace kr

// Record structures are generated from one field list per table, written as
//   #define FIELDS(F) F(ENUMNAME, member, Type, width) ...
// giving the member, the field-number enumerator and the declaration entry from one line.
#define KR_FIELD_MEMBER(E, m, T, w) ::kr::detail::CppType<::kr::FieldType::T>::type m{};
#define KR_FIELD_ENUM(E, m, T, w) E,
#define KR_FIELD_DECL(E, m, T, w)                                                                            \
    ::kr::FieldDecl{                                                                                         \
        #E,                                                                                                  \
        ::kr::FieldType::T,                                                                                  \
        w,                                                                                                   \
        [](const void* r) -> ::kr::Value { return ::kr::detail::ToValue(static_cast<const Self*>(r)->m); },  \
        [](void* r, const ::kr::Value& v) { ::kr::detail::FromValue(static_cast<Self*>(r)->m, v); },         \
        [](void* r, qint64 v) { ::kr::detail::SetInt(static_cast<Self*>(r)->m, v); },                        \
        [](void* r, QString&& v) { ::kr::detail::SetText(static_cast<Self*>(r)->m, std::move(v)); }},
#define KR_KEY_ENUM(E, flags, ...) E,
#define KR_KEY_DECL(E, flags, ...) ::kr::KeyDecl{#E, flags, {__VA_ARGS__}},
