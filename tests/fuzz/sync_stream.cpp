// The records the synchronization file reader sends over its pipe: any bytes as the stream,
// fed in pieces of the sizes the first byte picks. Properties: the records read do not depend
// on how the bytes were cut; each has the fields of its table; a record taken holds only
// values within the ranges the program writes and texts within their fields; the end comes
// only once, with counts that match, and nothing follows it.

#include "exchange/SyncStream.h"
#include "exchange/SyncValues.h"
#include "store/Tables.h"
#include "support/FuzzInput.h"

#include <vector>

namespace {

using namespace kr;

struct Outcome {
    std::vector<syncstream::RawRecord> records;
    syncstream::Reader::Result last = syncstream::Reader::Result::NeedMore;
};

Outcome Read(const char* data, qsizetype size, qsizetype piece) {
    syncstream::Reader reader;
    Outcome out;
    qsizetype at = 0;
    for (;;) {
        syncstream::RawRecord r;
        const auto result = reader.next(r);
        if (result == syncstream::Reader::Result::Record) {
            out.records.push_back(r);
            continue;
        }
        out.last = result;
        if (result == syncstream::Reader::Result::Broken || at >= size)
            break;
        const qsizetype n = qMin(piece, size - at);
        reader.feed(data + at, n);
        at += n;
    }
    if (out.last == syncstream::Reader::Result::End)
        FUZZ_CHECK(reader.ended());
    return out;
}

template <class R> void Take(ReceivedRecords& checked, const syncstream::RawRecord& raw) {
    R record{};
    if (!checked.take(raw, &record)) {
        FUZZ_CHECK(!checked.problem().isEmpty());
        return;
    }
    const TableDecl& decl = *syncstream::DeclOf(raw.tag);
    for (std::size_t i = 0; i < decl.fields->size(); ++i) {
        const FieldDecl& f = (*decl.fields)[i];
        const Value v = f.get(&record);
        if (const auto* s = std::get_if<QString>(&v)) {
            FUZZ_CHECK(s->size() <= f.maxChars());
            continue;
        }
        const qint64 n = std::get<qint64>(v);
        FUZZ_CHECK(n == raw.fields[i].number);
        const auto range = ReceivedRange(decl, static_cast<int>(i));
        FUZZ_CHECK(range.has_value());
        FUZZ_CHECK((range->orNone && n == 0) || (n >= range->min && n <= range->max));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // Mostly a stream that starts as the reader's do, so that the records are reached.
    QByteArray bytes;
    if (data[0] & 0x80)
        bytes.append(syncstream::kMagic, syncstream::kMagicSize);
    bytes.append(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const qsizetype piece = 1 + (data[0] & 0x3f);

    const Outcome whole = Read(bytes.constData(), bytes.size(), bytes.size() + 1);
    const Outcome cut = Read(bytes.constData(), bytes.size(), piece);
    FUZZ_CHECK(whole.last == cut.last);
    FUZZ_CHECK(whole.records.size() == cut.records.size());
    ReceivedRecords checked;
    for (std::size_t i = 0; i < whole.records.size(); ++i) {
        const syncstream::RawRecord& r = whole.records[i];
        FUZZ_CHECK(r.tag == cut.records[i].tag);
        FUZZ_CHECK(r.fields.size() == cut.records[i].fields.size());
        const TableDecl* decl = syncstream::DeclOf(r.tag);
        FUZZ_CHECK(decl != nullptr);
        FUZZ_CHECK(r.fields.size() == decl->fields->size());
        for (std::size_t k = 0; k < r.fields.size(); ++k) {
            FUZZ_CHECK(r.fields[k].number == cut.records[i].fields[k].number);
            FUZZ_CHECK(r.fields[k].text == cut.records[i].fields[k].text);
            const FieldDecl& f = (*decl->fields)[k];
            FUZZ_CHECK(r.fields[k].text.size() <= syncstream::MaxTextBytes(f));
        }
        switch (r.tag) {
        case syncstream::TaskTag:
            Take<SyncSchedule>(checked, r);
            break;
        case syncstream::ItemTag:
            Take<Scripting>(checked, r);
            break;
        default:
            Take<Todo>(checked, r);
            break;
        }
    }
    return 0;
}
