#pragma once

// The to-do entries' rules apart from their windows: a new entry, the priority range, the
// done toggle and the station stamps of a save.

#include "platform/DateTime.h"
#include "store/RecordChanges.h"
#include "store/Tables.h"

namespace kr {

constexpr int kTodoPriorityLow = 1;
constexpr int kTodoPriorityHigh = 10;
constexpr int kTodoDefaultPriority = 5;

// A blank entry of the category, at the middle priority.
Todo NewTodo(const QString& category);

inline bool TodoPriorityInRange(qint64 priority) {
    return priority >= kTodoPriorityLow && priority <= kTodoPriorityHigh;
}

// Who saves and when; the original number of a new entry is the count of entries before it
// was added.
struct TodoStamp {
    QString user;
    Date today = 0;
    Time now = 0;
};

// Marks the entry done or open again, reading it afresh so that another station's change is
// found and not overwritten. Becoming done stamps the completion moment; becoming open keeps
// it. The entry is stamped as saved by this station, so that synchronization carries the
// mark over. ChangedElsewhere and Failed are already reported.
ChangeResult ToggleDone(Table<Todo>& table, qint64 rowid, const TodoStamp& stamp);

} // namespace kr
