#pragma once

#include "store/Store.h"
#include "store/Tags.h"
#include "support/ScriptedDialogs.h"

#include <algorithm>
#include <vector>

namespace kr::test {

// The tasks a data folder's tags hold for the schedule list's "Selected" view, in number order.
inline std::vector<qint32> SelectedTasks(const QString& folder) {
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    Store store(folder, dialogs, end);
    store.declareLayouts();
    Tags tags(store, QString());
    std::vector<qint32> selected = tags.listTags(kSelectedTasks);
    std::sort(selected.begin(), selected.end());
    return selected;
}

} // namespace kr::test
