#pragma once

// A synchronization file from outside is never opened in this process: the storage library
// crashes on some crafted files. A reader program of its own (kelvray-syncread) opens it
// read-only, checks it, and sends its records over a pipe; they are checked here against what
// the program writes and filed into a copy made here, which is all the receive then reads.

#include "platform/Progress.h"
#include "store/Errors.h"

#include <QString>

namespace kr {

class Store;

// Where the reader program is and how long it may take; process-wide, set by the tests.
struct SyncReaderSettings {
    QString program; // empty: beside this program, or in the build folder of the companions
    int limitMs = 0; // 0: a minute and a second more per megabyte of the file
};
SyncReaderSettings& SyncReaderOptions();
QString SyncReaderProgram();

enum class CopyResult {
    Copied,      // every record is in the copy
    NotSyncFile, // refused, crashed or timed out: not a synchronization file
    Refused,     // a record holds a value the program does not write (see `problem`)
    Cancelled,   // the user cancelled while it was read
    CopyFailed,  // the copy could not be written (see `error`)
    NoReader,    // the reader program could not be started (see `problem`)
};

// Reads `file` through the reader program into a new synchronization file `copy`. No call
// waits longer than a fifth of a second; the progress window looks in between, and no
// transaction is open while it does.
CopyResult CopyForeignSyncFile(Store& store, Progress& progress, const QString& file, const QString& copy,
                               QString& problem, StoreError& error);

// Makes a synchronization file with its three tables, reporting a failure instead of ending
// the program (a full medium is no reason to end it).
StoreError CreateSyncTables(Store& store, const QString& path);

} // namespace kr
