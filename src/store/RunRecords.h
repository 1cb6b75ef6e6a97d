#pragma once

// The run records: what happened to each occurrence handled, each Run Now and Quick Start,
// and how a started program ended. Reading them and telling their result, for the windows,
// the command-line tool and the bus alike.

#include "platform/DateTime.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"

#include <QString>

#include <vector>

namespace kr {

namespace run {
// What happened, as the result field holds it.
inline const QString kSkipped = QStringLiteral("skipped");
inline const QString kMessageOnly = QStringLiteral("message only");
inline const QString kStarted = QStringLiteral("started");
// A task whose command is "N/A": its script is all it runs.
inline const QString kScriptOnly = QStringLiteral("script only");
inline const QString kDesktop = QStringLiteral("handed to the desktop");
inline const QString kFailedToStart = QStringLiteral("failed to start");
inline const QString kRunning = QStringLiteral("running");
inline const QString kStillRunning = QStringLiteral("still running when Kelvray stopped");
inline const QString kUnknown = QStringLiteral("unknown");
// A process that ended: how is in the exit fields.
inline const QString kEnded = QStringLiteral("ended");

// How the run came about, as the trigger field holds it.
inline const QString kDue = QStringLiteral("due");
inline const QString kRunNow = QStringLiteral("Run Now");
inline const QString kQuickStart = QStringLiteral("Quick Start");

// The exit fields of a process that ended.
enum Exit : quint8 { NotEnded = 0, Exited = 1, Signalled = 2, EndUnknown = 3 };

// The script's ending, as the script field holds it before any item's text.
inline const QString kScriptCompleted = QStringLiteral("Script Completed");
inline const QString kScriptStopped = QStringLiteral("stopped by the user");
inline const QString kScriptExited = QStringLiteral("Exit Script");
inline const QString kScriptItemFailed = QStringLiteral("item failed");
} // namespace run

// The result as the user reads it: "Succeeded", "Exit status 3", "Signal 9", "Failed to start:
// ...", "Running", "Skipped", ...
QString RunResultText(const Runs& r);
// Whether the run failed: a non-zero status, a signal, a failed start or a script that
// stopped on a failing item.
bool RunFailed(const Runs& r);
// The bytes left out of the kept output.
qint64 RunBytesLeftOut(const Runs& r);
// The duration in milliseconds, or -1 when the run has none (yet).
qint64 RunDurationMs(const Runs& r);

struct RunQuery {
    qint32 task = 0; // 0: every task
    bool failed = false;
    Date since = 0; // due on or after this date
    int limit = 0;  // 0: no limit
};

// The records the query picks, newest first. False, with the table's error, when a read failed.
bool ReadRuns(Store& store, const RunQuery& query, std::vector<Runs>& out, StoreError* error = nullptr);
// The last record of a task; false when it has none or a read failed (then `error` is set).
bool LastRunOf(Table<Runs>& table, qint32 task, Runs& out, StoreError* error = nullptr);

} // namespace kr
