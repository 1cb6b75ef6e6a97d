#pragma once

// Record numbers of tasks and contacts, copies of tasks, and the station stamps written
// with every saved task, script item and to-do entry.

#include "platform/DateTime.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Warnings.h"

namespace kr {

namespace detail {
// The last record's number in the primary key: 0 for an empty table, -1 after a read error
// (already reported to the user).
qint64 LastNumber(TableAccess& table, void* scratch, Dialogs& dialogs);
// The same without a message: -1 after a read error, left in the table's error().
qint64 LastNumberRead(TableAccess& table, void* scratch);
bool AskRetryNumbering(Dialogs& dialogs, const StoreError& e);
} // namespace detail

// Reserves the next number for a new record at once, by adding the primed record under it:
// the highest number in the primary key plus one, or 1 for an empty table. Three failed adds
// in a row ask the user whether to retry. On success `record` is the added record, which the
// insert window edits from then on; false means the insert is abandoned. The attempts are one
// wait for the user: together they wait at most two seconds for other stations before the
// question comes.
template <class R> bool ReserveRecordNumber(Table<R>& table, R& record) {
    const R primed = record;
    const TableDecl& d = table.decl();
    const FieldDecl& number =
        (*d.fields)[static_cast<std::size_t>(d.keys[d.primaryKey()].components.front())];
    for (;;) {
        bool unreadable = false;
        {
            Database::SharedWait wait(table.tableFile()->file(), Database::kLongestWaitMs);
            for (int attempt = 0; attempt < 3; ++attempt) {
                R last;
                table.set(d.primaryKey());
                const qint64 highest = detail::LastNumberRead(table, &last);
                if (highest < 0) {
                    unreadable = true;
                    break;
                }
                record = primed;
                record.meta = RecordMeta{};
                number.set(&record, highest + 1);
                if (table.add(record) == Err::None)
                    return true;
                if (wait.spent())
                    break;
            }
        }
        // The messages come once the file is free again.
        if (unreadable) {
            warn::RecordRetrieval(table.store().dialogs(), d.name, table.error());
            return false;
        }
        if (!detail::AskRetryNumbering(table.store().dialogs(), table.error()))
            return false;
    }
}

// Adds a copy of a task under a new number: one above the highest, then up while taken.
// Returns the add's error; the copy's new number is left in `task`.
Err AddTaskCopy(Table<Schedule>& table, Schedule& task);

// Sets the station stamps before a save: who, when, and the original number while it is 0
// (a task its own number, a script item its task's number, a to-do entry the count of
// to-do entries at the time).
void StampTask(Schedule& task, const QString& user, Date today, Time now);
void StampScriptItem(Scripting& item, const QString& user, Date today, Time now);
void StampTodo(Todo& todo, const QString& user, Date today, Time now, qint32 todoRecords);

} // namespace kr
