// The options of kelvray-cli search and import-csv: any words as a search's criteria, and any
// --map against any first line of a file. Words that cannot be taken are refused with a
// message (UsageError); what is taken is within what the search and the import can use.

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
    // Import: the first line is the file's, the second the --map value.
    ImportFile file;
    file.setBytes(in[0].toUtf8());
    bool skip = false;
    try {
        cli::Arguments args({QStringLiteral("--map"), in[1]});
        const Assignments assigned = cli::TakeImportAssignments(args, ScheduleExchange(), file, skip);
        FUZZ_CHECK(assigned.size() == ScheduleExchange().targets.size());
        for (int a : assigned)
            FUZZ_CHECK(a >= -1 && a < static_cast<int>(file.fields().size()));
    } catch (const cli::UsageError& e) {
        FUZZ_CHECK(!e.text.isEmpty());
    }
    return 0;
}
