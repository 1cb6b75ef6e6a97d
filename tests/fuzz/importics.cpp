// Calendars for kelvray-cli import-ics: any bytes as the file, read as events and each event's
// fields checked as `add` checks them.

#include "cli/Ics.h"
#include "cli/TaskCommands.h"
#include "platform/Clock.h"
#include "support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kr;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const cli::CalendarTasks read = cli::ReadCalendar(bytes);
    if (!read.parsed) {
        FUZZ_CHECK(read.tasks.empty() && read.skipped.empty());
        FUZZ_CHECK(!read.error.isEmpty());
        return 0;
    }
    for (const cli::SkippedEvent& s : read.skipped)
        FUZZ_CHECK(!s.reason.isEmpty());
    SystemClock clock;
    for (const QVariantMap& fields : read.tasks) {
        FUZZ_CHECK(!fields.value(QStringLiteral("description")).toString().trimmed().isEmpty());
        FUZZ_CHECK(fields.value(QStringLiteral("task-type")).toString() == QStringLiteral("Display Message"));
        try {
            cli::Arguments args(cli::FieldArguments(fields));
            const Schedule task = cli::NewTask(args, clock);
            FUZZ_CHECK(task.date != 0);
        } catch (const cli::UsageError& e) {
            FUZZ_CHECK(!e.text.isEmpty()); // refused with a reason, as import-ics lists it
        }
    }
    return 0;
}
