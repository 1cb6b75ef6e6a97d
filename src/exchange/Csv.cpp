#include "exchange/Csv.h"

namespace kr {

namespace {

// Decoding more than this many bytes cannot be needed for kMaxCsvValue characters: a
// character takes at most four bytes, a doubled quote two.
constexpr qsizetype kMaxValueBytes = 8 * kMaxCsvValue;

} // namespace

CsvReader::CsvReader(const QByteArray& bytes)
    : data_(bytes.constData())
    , size_(bytes.size()) {
    start_ = (size_ >= 3 && bytes.startsWith("\xEF\xBB\xBF")) ? 3 : 0;
    utf8_ = IsValidUtf8(data_ + start_, size_ - start_);
}

CsvReader::CsvReader(const QByteArray& bytes, bool utf8)
    : data_(bytes.constData())
    , size_(bytes.size())
    , utf8_(utf8) {
    start_ = (size_ >= 3 && bytes.startsWith("\xEF\xBB\xBF")) ? 3 : 0;
}

void CsvReader::rewind() {
    pos_ = 0;
    started_ = false;
    inRecord_ = false;
}

bool CsvReader::nextRecord() {
    if (!started_) {
        started_ = true;
        pos_ = start_;
    } else {
        while (inRecord_)
            nextField();
    }
    inRecord_ = pos_ < size_;
    return inRecord_;
}

QString CsvReader::decode(qsizetype from, qsizetype to) const {
    const qsizetype n = qMin(to - from, kMaxValueBytes);
    QString s = utf8_ ? QString::fromUtf8(data_ + from, n) : DecodeWindows1252(data_ + from, n);
    if (s.size() > kMaxCsvValue)
        s.truncate(kMaxCsvValue);
    return s;
}

QString CsvReader::decodeQuoted(qsizetype from, qsizetype to) const {
    const qsizetype end = from + qMin(to - from, kMaxValueBytes);
    QByteArray raw;
    raw.reserve(end - from);
    for (qsizetype i = from; i < end; ++i) {
        raw.append(data_[i]);
        if (data_[i] == '"' && i + 1 < end && data_[i + 1] == '"')
            ++i;
    }
    QString s = utf8_ ? QString::fromUtf8(raw) : DecodeWindows1252(raw.constData(), raw.size());
    if (s.size() > kMaxCsvValue)
        s.truncate(kMaxCsvValue);
    return s;
}

void CsvReader::skipLineEnd() {
    if (pos_ < size_ && data_[pos_] == '\r')
        ++pos_;
    if (pos_ < size_ && data_[pos_] == '\n')
        ++pos_;
}

CsvField CsvReader::nextField() {
    CsvField f;
    if (!inRecord_)
        return f;
    // The rest of the line blank: no more fields.
    qsizetype i = pos_;
    while (i < size_ && (data_[i] == ' ' || data_[i] == '\t'))
        ++i;
    if (i >= size_ || lineEndAt(i)) {
        pos_ = i;
        skipLineEnd();
        inRecord_ = false;
        return f;
    }
    f.present = true;
    if (data_[pos_] == '"') {
        f.quoted = true;
        qsizetype j = pos_ + 1;
        while (j < size_) {
            if (data_[j] == '"') {
                if (j + 1 < size_ && data_[j + 1] == '"')
                    j += 2;
                else
                    break;
            } else {
                ++j;
            }
        }
        if (j >= size_) {
            // No closing quote: the value runs to the end of the file.
            f.value = decodeQuoted(pos_ + 1, size_);
            pos_ = size_;
            inRecord_ = false;
            return f;
        }
        f.value = decodeQuoted(pos_ + 1, j);
        const qsizetype after = j + 1;
        if (after >= size_ || lineEndAt(after)) {
            pos_ = after;
            skipLineEnd();
            inRecord_ = false;
        } else {
            // The comma after the closing quote is taken for granted.
            pos_ = after + 1;
        }
        return f;
    }
    qsizetype j = pos_;
    while (j < size_ && data_[j] != ',' && data_[j] != '\n' && data_[j] != '\r')
        ++j;
    f.value = decode(pos_, j);
    if (j < size_ && data_[j] == ',') {
        pos_ = j + 1;
    } else {
        pos_ = j;
        skipLineEnd();
        inRecord_ = false;
    }
    return f;
}

void CsvLine::separate() {
    if (count_++ > 0)
        line_ += QLatin1Char(',');
}

void CsvLine::addQuoted(const QString& text) {
    separate();
    line_ += QLatin1Char('"');
    for (const QChar c : text) {
        line_ += c;
        if (c == QLatin1Char('"'))
            line_ += c;
    }
    line_ += QLatin1Char('"');
}

void CsvLine::addPlain(const QString& text) {
    separate();
    line_ += text;
}

void CsvLine::addHeader(const QString& name) {
    separate();
    QString n = name;
    if (n.contains(QLatin1Char('['))) {
        for (QChar& c : n) {
            if (c == QLatin1Char(',') || c == QLatin1Char('['))
                c = QLatin1Char('_');
            else if (c == QLatin1Char(']'))
                c = QLatin1Char(' ');
        }
    }
    line_ += QLatin1Char('"') + n + QLatin1Char('"');
}

QByteArray CsvLine::bytes() const {
    return (line_ + QStringLiteral("\r\n")).toUtf8();
}

} // namespace kr
