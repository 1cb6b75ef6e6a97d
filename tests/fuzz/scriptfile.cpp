// Script files (.krs): reading any file line by line into script items, and writing the items
// back. The input is the file.

#include "script/ScriptFile.h"
#include "script/ScriptItems.h"
#include "support/FuzzInput.h"

#include <QFile>
#include <QRegularExpression>

namespace {

bool SameRecord(const kr::ExchangeRecord& a, const kr::ExchangeRecord& b) {
    if (a.type != b.type)
        return false;
    for (int i = 0; i < 5; ++i)
        if (a.fields[i] != b.fields[i])
            return false;
    return true;
}

void OneLine(const QString& line) {
    using namespace kr;
    const ExchangeRecord record = ParseExchangeLine(line);
    FUZZ_CHECK(record.type.size() <= 20);
    for (const QString& f : record.fields)
        FUZZ_CHECK(f.size() <= 80);
    // A record written as a line reads back as the same record.
    FUZZ_CHECK(SameRecord(ParseExchangeLine(FormatExchangeLine(record)), record));

    Scripting item;
    const bool known = RecordToItem(record, item);
    FUZZ_CHECK(known == HasFileForm(record.type));
    DescribeScriptItem(item);
    StartOptions::unpack(item.ddeApplicationName).pack();
    if (!known)
        return;
    // The item's record, read into an item again, gives the same record.
    const auto written = ItemToRecord(item);
    FUZZ_CHECK(written.has_value());
    Scripting again;
    FUZZ_CHECK(RecordToItem(*written, again));
    const auto rewritten = ItemToRecord(again);
    FUZZ_CHECK(rewritten.has_value() && SameRecord(*rewritten, *written));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kr;
    const QString path = fuzz::ScratchFile(QStringLiteral("script.krs"), data, size);
    // The file is read in the encoding the whole of it decides, and line by line when that is
    // not known; neither gives a line longer than the bound.
    for (const ScriptEncoding encoding : {ScriptFileEncoding(path), ScriptEncoding::EachLine}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            std::abort();
        int lines = 0;
        while (const auto line = NextScriptLine(file, encoding)) {
            FUZZ_CHECK(line->size() <= kMaxScriptLineBytes);
            OneLine(*line);
            FUZZ_CHECK(++lines <= static_cast<int>(size));
        }
    }
    // Each piece between line ends on its own too, whatever the file reader makes of them.
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    for (const QString& piece : fuzz::Text(data, size).split(lineEnd))
        OneLine(piece);
    return 0;
}
