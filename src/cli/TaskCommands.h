#pragma once

// What kelvray-cli and the running program's D-Bus interface both do to the schedule: build
// a new task from `add`'s options, store it, list the tasks in due order, describe one,
// enable, disable and delete it, and work out its next occurrences. Both callers run the same
// code, so a task added through the program is the task the command line would have written.

#include "cli/TaskOptions.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "scheduler/Exceptions.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QJsonObject>
#include <QVariantMap>

#include <functional>
#include <vector>

namespace kr::cli {

// The options of `add` from named fields: the field "name" is the option "--name". Texts are
// taken as they are, whole numbers as their decimal text, and a boolean switches a flag option
// ("month-end") on or off. Any other type is a usage error.
QStringList FieldArguments(const QVariantMap& fields);
// The other way: options as named fields, values as texts, flag options as true. Throws
// UsageError for something that is not an option or an option without its value.
QVariantMap ArgumentFields(const QStringList& args);

// The task `add` makes of its options (everything but --data-dir), primed as a new task of
// today and checked as the task form checks what is typed into it; nothing is written.
// Throws UsageError for an unknown option or a value the form would refuse, with its message.
Schedule NewTask(Arguments& args, const Clock& clock);

// Stores a new task whole or not at all: numbered, stamped with the user and the moment, in
// one transaction. With `planExceptions` its exceptions are applied first, as the form's save
// applies them (an excluded occurrence marked to be skipped, and its one-time copy added
// afterwards). Returns its number; 0 after a failure, with the reason in `error`.
qint32 StoreNewTask(Store& store, Schedule& task, const QString& user, const Clock& clock, QString& error,
                    bool planExceptions = true);

// Every task in the order the scheduler meets them: enabled tasks with neither date nor time
// first (they stand outside the due key), then by date, time and number.
// A read error leaves `error` set and the list empty.
// `fields` not empty: only those (Schedule's field numbers) and the ones the order needs are read.
std::vector<Schedule> TasksInDueOrder(Store& store, QString& error, std::vector<int> fields = {});

// Reads a task by number; false when there is none.
bool FindTask(Store& store, qint32 id, Schedule& task);

// A task as named values: the option names of `add`, dates and times in ISO 8601.
QVariantMap TaskFields(const Schedule& task);
// The same, for a JSON document.
QJsonObject TaskJson(const Schedule& task);

// The next `count` occurrences of a task after a moment as the scheduler will run them, one
// line each as below: its own moment first when that is after the given one, then each advance
// with the exceptions worked out against `holidays`. `findTask` reads the one-time copy of a
// shifted occurrence by its number (none without it).
QStringList TaskOccurrences(Schedule task, Date afterDate, Time afterTime, int count,
                            const HolidayCalendar& holidays, Dialogs& dialogs,
                            const std::function<bool(qint32, Schedule&)>& findTask = {});

// The next `count` occurrences of a stored task after a moment as the scheduler will run them,
// one line each ("YYYY-MM-DD HH:MM:SS", " skipped", " shifted"; "completed" when nothing is
// left). Messages of the calculation go to `dialogs`.
QStringList StoredTaskOccurrences(Store& store, Schedule task, Date afterDate, Time afterTime, int count,
                                  Date today);

enum class ChangeOutcome { Done, NotFound, ChangedByAnother, Failed };

// Turns a task on or off through the change protocol. Failures are told to the store's dialogs.
ChangeOutcome SetTaskEnabled(Store& store, qint32 id, bool enabled);
// Deletes a task with its script items through the change protocol.
ChangeOutcome DeleteTaskById(Store& store, qint32 id);

} // namespace kr::cli
