#pragma once

// Calendar events into the schedule, each once. An event is remembered by its UID in the
// Configuration table (the name "ICS:" and a digest of the UID; the value the task's number,
// the start it was given and digests of the event and of the task as written), in the same
// transaction as its task. Imported again, an unchanged event is skipped and a changed one
// updates its task, unless the task has been changed or deleted here since; an event this
// program wrote for a task of the same data file is that task already.

#include "cli/Ics.h"
#include "platform/Clock.h"
#include "store/Store.h"

namespace kr::cli {

struct ImportOutcome {
    enum class Kind { Added, Updated, Skipped, Failed };
    Kind kind = Kind::Skipped;
    qint32 id = 0;  // the task added or updated
    QString reason; // why it was skipped, or what failed
};

// One event: checked as `add` checks a task, then added, used to update its task, or skipped.
// A task of another program's event runs as a new task would; one of this program's comes back
// as it was kept, its exceptions already worked out.
ImportOutcome ImportEvent(Store& store, const CalendarEvent& event, const QString& user, const Clock& clock);

} // namespace kr::cli
