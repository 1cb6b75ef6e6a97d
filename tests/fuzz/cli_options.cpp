// The options of kelvray-cli search and import-csv (as the running program takes them from the
// bus too): any words as a search's criteria, and any import options against any first line of
// a file. Words that cannot be taken are refused with a message (UsageError, or Failure when
// nothing would be imported); what is taken is within what the search and the import can use.

#include "cli/CsvCommands.h"
#include "cli/SearchCommand.h"
#include "support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kr;
    const fuzz::Lines in(data, size);
    // Search: the lines are the words.
    try {
        const std::vector<Criterion> criteria = cli::SearchCriteria(in.all());
        FUZZ_CHECK(!criteria.empty());
        for (const Criterion& c : criteria) {
            FUZZ_CHECK(c.type > Ignore && c.type < kMatchTypes);
            FUZZ_CHECK(Offers(c.kind, c.type));
        }
    } catch (const cli::UsageError& e) {
        FUZZ_CHECK(!e.text.isEmpty());
    }
    // Import: the first line is the file's, the second the --map value, then the options as
    // the bus hands them over (the table first, when the third line names none).
    ImportFile file;
    file.setBytes(in[0].toUtf8());
    QStringList options{QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--map"), in[1]};
    const QStringList all = in.all();
    if (all.size() > 2)
        options = all.mid(2);
    try {
        const cli::CsvImportChoice c = cli::ReadImportChoice(options, file, QStringLiteral("fuzz"));
        FUZZ_CHECK(c.table != nullptr);
        FUZZ_CHECK(c.assigned.size() == c.table->targets.size());
        for (int a : c.assigned)
            FUZZ_CHECK(a >= -1 && a < static_cast<int>(file.fields().size()));
    } catch (const cli::UsageError& e) {
        FUZZ_CHECK(!e.text.isEmpty());
    } catch (const cli::Failure& e) {
        FUZZ_CHECK(!e.text.isEmpty());
    }
    return 0;
}
