#pragma once

// Synchronization files: two installations that share no data file exchange their tasks with
// their script items, and their to-do lists, through a file the user carries between them.
// Sending writes everything; receiving keeps, per task and per to-do entry, the more recently
// changed version.

#include "platform/FileDialogs.h"
#include "platform/Progress.h"

#include <QString>

namespace kr {

class Store;
class TableListeners;

inline const QString kSyncFilter = QStringLiteral("Synchronization Files|*.SYN");
inline const QString kSyncCaption = QStringLiteral("Synchronization");

// The file name without a table suffix: cut before the first "\!".
QString SyncFileBase(const QString& name);

// The file dialog of both directions, starting from the name remembered for the run (first
// "SyncSch.syn"), which takes the choice. Empty when the user cancelled.
QString ChooseSyncFile(FileDialogs& dialogs, bool send, QString& remembered);

struct SyncCounts {
    qint64 tasks = 0; // written, or added on receipt
    qint64 items = 0;
    qint64 todos = 0;
};

// Writes every task in description order, each followed by its script items, then every to-do
// entry (also after Cancel), into a new file that replaces `file` only when complete. The
// program's own data and tag files are refused. False when nothing was written.
bool SyncSend(Store& store, Progress& progress, const QString& file, SyncCounts* counts = nullptr);

// Merges a synchronization file into the local tables; a file that is not one is reported and
// left alone, and nothing changes. Tells the listeners of the schedule and the to-do list.
bool SyncReceive(Store& store, Progress& progress, const QString& file, TableListeners* listeners = nullptr,
                 SyncCounts* counts = nullptr);

} // namespace kr
