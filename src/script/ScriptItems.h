#pragma once

// Operations on a task's script items as a whole.

#include "store/Store.h"
#include "store/Tables.h"

namespace kr {

// Deletes every script item of the task; returns how many went.
int DeleteTaskScript(Store& store, qint32 taskId);
// Copies every script item of one task to another, after deleting what the other had.
void CopyTaskScript(Store& store, qint32 fromTask, qint32 toTask);

} // namespace kr
