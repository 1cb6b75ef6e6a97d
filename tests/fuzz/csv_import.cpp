// Comma-delimited import files: any bytes as the file, read field by field and converted into
// records of the schedule, the contacts and the to-do list in memory. Every value stays
// within its field.

#include "exchange/CsvExchange.h"
#include "store/Tables.h"
#include "support/FuzzInput.h"

#include <limits>

namespace {

const QString kPictures[] = {QStringLiteral("@S1000"), QStringLiteral("@N30.9"), QStringLiteral("@d6"),
                             QStringLiteral("@t3"),    QStringLiteral("@d3"),    QStringLiteral("@x9"),
                             QStringLiteral("@d17"),   QStringLiteral("@t8")};

template <class R> void Check(const kr::ExchangeTable& t, const R& r) {
    using namespace kr;
    for (const FieldDecl& f : *t.decl->fields) {
        const Value v = f.get(&r);
        if (const auto* s = std::get_if<QString>(&v)) {
            FUZZ_CHECK(s->size() <= f.maxChars());
        } else {
            const qint64 n = std::get<qint64>(v);
            if (f.type == FieldType::Byte)
                FUZZ_CHECK(n >= 0 && n <= 255);
        }
    }
}

template <class R> void Convert(const kr::ExchangeTable& t, kr::ImportFile& file, int shift) {
    using namespace kr;
    auto fields = file.fields();
    Assignments assigned;
    AutoAssign(t, fields, assigned);
    FUZZ_CHECK(assigned.size() == t.targets.size());
    if (!fields.empty()) {
        for (std::size_t i = 0; i < assigned.size(); ++i) {
            if (assigned[i] < 0 && (i + static_cast<std::size_t>(shift)) % 3 != 0)
                assigned[i] = static_cast<int>((i + static_cast<std::size_t>(shift)) % fields.size());
        }
        for (std::size_t k = 0; k < fields.size(); ++k)
            fields[k].picture = kPictures[(k + static_cast<std::size_t>(shift)) % std::size(kPictures)];
    }
    const ImportPlan plan(t, fields, assigned);
    CsvReader reader = file.reader();
    qsizetype last = -1;
    int records = 0;
    while (reader.nextRecord()) {
        R r{};
        plan.convert(reader, &r);
        Check(t, r);
        // Every record takes at least one byte: no record is read twice.
        FUZZ_CHECK(reader.bytesRead() > last);
        last = reader.bytesRead();
        FUZZ_CHECK(++records <= file.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kr;
    ImportFile file;
    file.setBytes(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    for (const auto& f : file.fields()) {
        FUZZ_CHECK(f.value.size() <= 100);
        FUZZ_CHECK(f.picture == QLatin1String("@S1000") || f.picture == QLatin1String("@N30.9"));
    }
    const int shift = size > 0 ? data[0] : 0;
    Convert<Todo>(TodoExchange(), file, shift);
    Convert<Contact>(ContactExchange(), file, shift + 1);
    Convert<Schedule>(ScheduleExchange(), file, shift + 2);
    // Going through the records as the window does.
    int shown = 1;
    while (file.next() && shown < 1000)
        FUZZ_CHECK(file.record() == ++shown);
    return 0;
}
