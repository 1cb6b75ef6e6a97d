#pragma once

// The records of a synchronization file as its reader program sends them over a pipe: the
// program opens the foreign file in a process of its own (a crafted file may crash the storage
// library), and this process only ever reads plain records from it.
//
// The stream: the eight bytes "KRSYNC1\n", then one record after another, each a tag byte and
// its fields in the order of the table's declaration (a number as 8 bytes, a text as a 4-byte
// length and that many bytes of UTF-8; little-endian), and last the end tag with the number of
// records of each table (8 bytes each).

#include "store/Record.h"

#include <QByteArray>

#include <array>
#include <vector>

namespace kr::syncstream {

enum Tag : char {
    TaskTag = 'T',
    ItemTag = 'I',
    TodoTag = 'D',
    EndTag = 'E',
};

inline constexpr char kMagic[] = "KRSYNC1\n";
inline constexpr qsizetype kMagicSize = sizeof kMagic - 1;

// The declaration whose fields a record of the tag carries; nullptr for another tag.
const TableDecl* DeclOf(char tag);

// The most bytes a text of the field may take in the stream: one more than its characters can
// take as UTF-8, so that a text too long for the field is still seen as one.
qsizetype MaxTextBytes(const FieldDecl& field);

// One field as read: the number, or the text's bytes.
struct RawField {
    qint64 number = 0;
    QByteArray text;
};

struct RawRecord {
    char tag = 0;
    std::vector<RawField> fields;
};

// Writing (the reader program).
void AppendMagic(QByteArray& out);
void BeginRecord(QByteArray& out, char tag);
void AppendNumber(QByteArray& out, qint64 value);
void AppendText(QByteArray& out, const char* data, qsizetype size);
void AppendEnd(QByteArray& out, const std::array<qint64, 3>& counts);

// Reading: bytes are fed as they come; records are taken as soon as they are whole.
class Reader {
public:
    enum class Result {
        NeedMore, // the next record is not whole yet
        Record,   // `out` holds the next record
        End,      // the end came, with counts that match the records read
        Broken,   // not a stream of this form (or records after the end)
    };

    void feed(const char* data, qsizetype size);
    Result next(RawRecord& out);
    // The records read of each kind: tasks, items, to-do entries.
    const std::array<qint64, 3>& counts() const { return counts_; }
    bool ended() const { return ended_; }

private:
    bool take(qsizetype n, const char*& p);
    bool readInt(qint64& v);

    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool magicRead_ = false;
    bool ended_ = false;
    bool broken_ = false;
    std::array<qint64, 3> counts_{};
};

} // namespace kr::syncstream
