#include "script/ScriptItems.h"

#include "store/Table.h"

#include <vector>

namespace kr {

namespace {

// The task's items in sequence order.
std::vector<Scripting> ItemsOf(Table<Scripting>& items, qint32 taskId) {
    std::vector<Scripting> out;
    Scripting r;
    r.id = taskId;
    r.sequence = 0;
    items.set(Scripting::KEYID, r);
    while (items.next(r) == Err::None && r.id == taskId)
        out.push_back(r);
    return out;
}

} // namespace

int DeleteTaskScript(Store& store, qint32 taskId) {
    Table<Scripting> items(store);
    int deleted = 0;
    for (Scripting& r : ItemsOf(items, taskId)) {
        if (items.remove(r) == Err::None)
            ++deleted;
    }
    return deleted;
}

void CopyTaskScript(Store& store, qint32 fromTask, qint32 toTask) {
    if (fromTask == toTask)
        return;
    DeleteTaskScript(store, toTask);
    Table<Scripting> items(store);
    for (Scripting r : ItemsOf(items, fromTask)) {
        r.id = toTask;
        r.meta = {};
        items.add(r);
    }
}

} // namespace kr
