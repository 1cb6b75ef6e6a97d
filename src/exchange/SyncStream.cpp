#include "exchange/SyncStream.h"

#include "store/Tables.h"

#include <QtEndian>

#include <cstring>

namespace kr::syncstream {

namespace {

int IndexOf(char tag) {
    switch (tag) {
    case TaskTag:
        return 0;
    case ItemTag:
        return 1;
    case TodoTag:
        return 2;
    default:
        return -1;
    }
}

void AppendLe(QByteArray& out, quint64 v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xff));
}

} // namespace

const TableDecl* DeclOf(char tag) {
    switch (tag) {
    case TaskTag:
        return &SyncSchedule::decl();
    case ItemTag:
        return &SyncScriptingDecl();
    case TodoTag:
        return &SyncTodoDecl();
    default:
        return nullptr;
    }
}

qsizetype MaxTextBytes(const FieldDecl& field) {
    // A character of UTF-16 takes at most three bytes of UTF-8 (a pair of them four).
    return 3 * static_cast<qsizetype>(field.maxChars()) + 1;
}

void AppendMagic(QByteArray& out) {
    out.append(kMagic, kMagicSize);
}

void BeginRecord(QByteArray& out, char tag) {
    out.append(tag);
}

void AppendNumber(QByteArray& out, qint64 value) {
    AppendLe(out, static_cast<quint64>(value), 8);
}

void AppendText(QByteArray& out, const char* data, qsizetype size) {
    AppendLe(out, static_cast<quint64>(size), 4);
    out.append(data, size);
}

void AppendEnd(QByteArray& out, const std::array<qint64, 3>& counts) {
    out.append(EndTag);
    for (const qint64 c : counts)
        AppendNumber(out, c);
}

void Reader::feed(const char* data, qsizetype size) {
    // What was read already goes, so that the buffer holds at most one record and a feed.
    if (pos_ > 0) {
        buffer_.remove(0, pos_);
        pos_ = 0;
    }
    buffer_.append(data, size);
}

bool Reader::take(qsizetype n, const char*& p) {
    if (buffer_.size() - pos_ < n)
        return false;
    p = buffer_.constData() + pos_;
    pos_ += n;
    return true;
}

bool Reader::readInt(qint64& v) {
    const char* p = nullptr;
    if (!take(8, p))
        return false;
    v = static_cast<qint64>(qFromLittleEndian<quint64>(p));
    return true;
}

Reader::Result Reader::next(RawRecord& out) {
    if (broken_)
        return Result::Broken;
    const qsizetype start = pos_;
    auto needMore = [&] {
        pos_ = start;
        return Result::NeedMore;
    };
    auto broken = [&] {
        broken_ = true;
        return Result::Broken;
    };
    const char* p = nullptr;
    if (!magicRead_) {
        if (!take(kMagicSize, p))
            return buffer_.size() - pos_ > 0 &&
                           std::memcmp(buffer_.constData() + pos_, kMagic,
                                       static_cast<std::size_t>(buffer_.size() - pos_)) != 0
                       ? broken()
                       : needMore();
        if (std::memcmp(p, kMagic, kMagicSize) != 0)
            return broken();
        magicRead_ = true;
        return next(out);
    }
    if (ended_)
        return buffer_.size() > pos_ ? broken() : Result::End;
    if (!take(1, p))
        return needMore();
    const char tag = *p;
    if (tag == EndTag) {
        std::array<qint64, 3> said{};
        for (qint64& c : said) {
            if (!readInt(c))
                return needMore();
        }
        if (said != counts_)
            return broken();
        ended_ = true;
        return buffer_.size() > pos_ ? broken() : Result::End;
    }
    const TableDecl* decl = DeclOf(tag);
    if (decl == nullptr)
        return broken();
    out.tag = tag;
    out.fields.resize(decl->fields->size());
    for (std::size_t i = 0; i < decl->fields->size(); ++i) {
        const FieldDecl& f = (*decl->fields)[i];
        RawField& field = out.fields[i];
        if (!f.isText()) {
            if (!readInt(field.number))
                return needMore();
            field.text.clear();
            continue;
        }
        const char* lp = nullptr;
        if (!take(4, lp))
            return needMore();
        const quint32 length = qFromLittleEndian<quint32>(lp);
        if (length > static_cast<quint64>(MaxTextBytes(f)))
            return broken();
        const char* tp = nullptr;
        if (!take(length, tp))
            return needMore();
        field.text = QByteArray(tp, length);
        field.number = 0;
    }
    ++counts_[static_cast<std::size_t>(IndexOf(tag))];
    return Result::Record;
}

} // namespace kr::syncstream
