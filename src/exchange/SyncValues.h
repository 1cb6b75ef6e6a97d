#pragma once

// What a received record may hold: the values this program itself writes, as its task form,
// script item editor and to-do form accept them. A value outside them (a date 2147483647, a
// weekday flag of 1000, a change stamp far in the future that would win every later
// synchronization) refuses the whole file, naming the record.

#include "exchange/SyncStream.h"

#include <QHash>
#include <QString>

#include <optional>

namespace kr {

struct ValueRange {
    qint64 min = 0;
    qint64 max = 0;
    QString what;        // "0 or 1", "no time or a time of day", ...
    bool orNone = false; // 0 is taken too ("no date")
};

// The range the program writes into a numeric field of the schedule, the script items or the
// to-do list, or of their synchronization copies; nullopt for a text and for a field no rule
// is known for (none of those tables has one, as the tests make sure).
std::optional<ValueRange> ProgramRange(const FieldDecl& field);
std::optional<ValueRange> ReceivedRange(const TableDecl& decl, int field);

// Checks the fields of received records and turns them into records, naming the first record
// that holds a value the program does not write.
class ReceivedRecords {
public:
    // Fills the record (SyncSchedule for a task, Scripting for an item, Todo for a to-do entry)
    // from the raw one; false with problem() set when a value is refused.
    bool take(const syncstream::RawRecord& raw, void* record);
    // "SSCH:DATE of the task "Backup" (Work) is 2147483647, where this program writes ..."
    const QString& problem() const { return problem_; }

private:
    QString recordName(const syncstream::RawRecord& raw, const TableDecl& decl) const;

    QString problem_;
    QHash<qint64, QString> taskNames_; // the sender's task numbers, for naming their items
};

} // namespace kr
