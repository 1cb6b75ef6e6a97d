#include "organizer/Todo.h"

#include "store/Numbering.h"
#include "store/Warnings.h"

namespace kr {

Todo NewTodo(const QString& category) {
    Todo t;
    t.priority = kTodoDefaultPriority;
    t.category = category;
    return t;
}

ChangeResult ToggleDone(Table<Todo>& table, qint64 rowid, const TodoStamp& stamp) {
    Todo record;
    if (!ReloadForChange(table, rowid, record, table.store().dialogs()))
        return ChangeResult::Failed;
    const Todo original = record;
    record.done = record.done == 0 ? 1 : 0;
    if (record.done == 1) {
        record.completionDate = stamp.today;
        record.completionTime = stamp.now;
    }
    const qint64 count = table.records();
    StampTodo(record, stamp.user, stamp.today, stamp.now, static_cast<qint32>(std::max<qint64>(0, count)));
    return UpdateCurrent(table, record, original, true);
}

} // namespace kr
