#pragma once

// Comma-delimited text: one record per line, fields separated by commas. A quoted field
// begins with a double quote and ends at the next one that is not doubled; inside it, two
// double quotes stand for one and line ends belong to the value. A plain field runs to the
// next comma or to the end of the line.
//
// Files are written as UTF-8 with CRLF line ends; reading accepts LF, CRLF and CR, and takes a
// file that is not valid UTF-8 for Windows-1252, the code page of the older installations.

#include "platform/Encoding.h"

#include <QByteArray>
#include <QString>

namespace kr {

// The most characters of one value the exchange handles; longer values are cut.
inline constexpr int kMaxCsvValue = 4000;

// Bytes of a file as text: UTF-8 (without its byte-order mark) when valid, else Windows-1252
// (platform/Encoding.h).

struct CsvField {
    QString value;
    bool present = false; // false: the line had no more fields
    bool quoted = false;
};

// Reads records field by field from the bytes of a whole file. The bytes stay the caller's
// and must outlive the reader.
class CsvReader {
public:
    explicit CsvReader(const QByteArray& bytes);
    // The same bytes again, their encoding known from an earlier reader: no second look.
    CsvReader(const QByteArray& bytes, bool utf8);
    bool utf8() const { return utf8_; }

    // Goes to the start of the next record: the first call to the first line. Any fields left
    // unread on the current record are passed over. False at the end of the file.
    bool nextRecord();
    // The next field of the current record.
    CsvField nextField();
    // Whether the current record has no fields left.
    bool recordEnded() const { return !inRecord_; }
    // Whether the record just gone to is a line of nothing but blanks and tabs (before any
    // field of it is read).
    bool blankLine() const {
        qsizetype i = pos_;
        while (i < size_ && (data_[i] == ' ' || data_[i] == '\t'))
            ++i;
        return inRecord_ && (i >= size_ || lineEndAt(i));
    }
    // Goes on from a byte position a reader reached before (the end of a record).
    void skipTo(qsizetype pos) {
        started_ = true;
        pos_ = qBound<qsizetype>(start_, pos, size_);
        inRecord_ = false;
    }
    // Back to before the first record.
    void rewind();
    // Bytes consumed so far, for the progress shown.
    qsizetype bytesRead() const { return pos_; }
    qsizetype size() const { return size_; }

private:
    QString decode(qsizetype from, qsizetype to) const;
    QString decodeQuoted(qsizetype from, qsizetype to) const;
    bool lineEndAt(qsizetype i) const { return i < size_ && (data_[i] == '\n' || data_[i] == '\r'); }
    void skipLineEnd();

    const char* data_;
    qsizetype size_;
    qsizetype start_; // after a byte-order mark
    bool utf8_;
    qsizetype pos_ = 0;
    bool started_ = false;
    bool inRecord_ = false; // the current record still has fields to read
};

// Writing a line: each call appends one field, with the comma before it when needed.
enum class CsvKind { Text, Number, Picture };

class CsvLine {
public:
    // The text quoted, inner quotes doubled.
    void addQuoted(const QString& text);
    // The text as it stands, unquoted (numbers).
    void addPlain(const QString& text);
    // A field name of the header line, quoted: a name holding "[" has "," and "[" turned into
    // "_" and "]" into a blank; other names are written unchanged.
    void addHeader(const QString& name);
    // The finished line with its CRLF, as UTF-8.
    QByteArray bytes() const;
    const QString& text() const { return line_; }
    bool empty() const { return count_ == 0; }

private:
    void separate();
    QString line_;
    int count_ = 0;
};

} // namespace kr
