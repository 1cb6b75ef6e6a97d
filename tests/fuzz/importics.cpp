// Calendars for kelvray-cli import-ics: any bytes as the file, read as events and each event's
// fields checked as `add` checks them, whether they come from the event's own properties or from
// the program's own X-KELVRAY-TASK property.

#include "cli/Ics.h"
#include "cli/TaskCommands.h"
#include "platform/Clock.h"
#include "scheduler/TaskEditing.h"
#include "support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kr;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const cli::CalendarTasks read = cli::ReadCalendar(bytes);
    if (!read.parsed) {
        FUZZ_CHECK(read.events.empty() && read.skipped.empty());
        FUZZ_CHECK(!read.error.isEmpty());
        return 0;
    }
    for (const cli::SkippedEvent& s : read.skipped)
        FUZZ_CHECK(!s.reason.isEmpty());
    static const QStringList own{
        QStringLiteral("task-type"),  QStringLiteral("category"),    QStringLiteral("command"),
        QStringLiteral("path"),       QStringLiteral("type"),        QStringLiteral("weekdays"),
        QStringLiteral("ordinals"),   QStringLiteral("month-end"),   QStringLiteral("repeat"),
        QStringLiteral("offset"),     QStringLiteral("every"),       QStringLiteral("unit"),
        QStringLiteral("date"),       QStringLiteral("time"),        QStringLiteral("flags"),
        QStringLiteral("except"),     QStringLiteral("except-time"), QStringLiteral("shift"),
        QStringLiteral("alarm-file"), QStringLiteral("warn-at"),     QStringLiteral("description"),
        QStringLiteral("message")};
    SystemClock clock;
    for (const cli::CalendarEvent& event : read.events) {
        const QVariantMap& fields = event.fields;
        FUZZ_CHECK(event.uid.size() <= 255);
        FUZZ_CHECK(!fields.value(QStringLiteral("description")).toString().trimmed().isEmpty());
        if (event.own) {
            // Only the fields `add` takes, never another data folder or an unknown option.
            for (auto it = fields.cbegin(); it != fields.cend(); ++it)
                FUZZ_CHECK(own.contains(it.key()));
        } else {
            FUZZ_CHECK(fields.value(QStringLiteral("task-type")).toString() ==
                       QStringLiteral("Display Message"));
        }
        try {
            cli::Arguments args(cli::FieldArguments(fields));
            const Schedule task = cli::NewTask(args, clock);
            // What is taken is what the task form could have held.
            FUZZ_CHECK(task.date != 0);
            FUZZ_CHECK(CheckTaskEntry(task).ok());
        } catch (const cli::UsageError& e) {
            FUZZ_CHECK(!e.text.isEmpty()); // refused with a reason, as import-ics lists it
        }
    }
    return 0;
}
