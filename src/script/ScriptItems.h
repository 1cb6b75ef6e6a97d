#pragma once

// Script items: the action catalogue, a new item's defaults and number, the one-line
// description, and the ordering operations of a task's script.

#include "platform/Dialogs.h"
#include "platform/Text.h"
#include "store/RecordChanges.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"

#include <QStringList>

#include <limits>

namespace kr {

namespace action {
inline const QString SendKeystrokes = QStringLiteral("Send Keystrokes");
inline const QString SetFocus = QStringLiteral("Set Focus");
inline const QString Wait = QStringLiteral("Wait");
inline const QString DisplayMessage = QStringLiteral("Display Message");
inline const QString IfWindow = QStringLiteral("If Window...");
inline const QString IfTimeElapsed = QStringLiteral("If Time Elapsed...");
inline const QString IfValue = QStringLiteral("If Value...");
inline const QString EndIf = QStringLiteral("...End If");
inline const QString StartProgram = QStringLiteral("Start Program");
inline const QString CloseProgram = QStringLiteral("Close Program");
inline const QString StartScript = QStringLiteral("Start Script");
inline const QString Dde = QStringLiteral("DDE");
inline const QString DdeOld = QStringLiteral("DDE (Dynamic Data Exchange)");
inline const QString FileActions = QStringLiteral("File Actions");
inline const QString SendEmail = QStringLiteral("Send Email");
inline const QString SetValue = QStringLiteral("Set Value");
inline const QString ExitScript = QStringLiteral("Exit Script");
// Only in the active-script queue.
inline const QString End = QStringLiteral("**End**");
inline const QString WaitForProgramEnd = QStringLiteral("Wait for Program End");
} // namespace action

// Every action text an item may hold, in the order the editor offers them.
const QStringList& ActionCatalogue();

// The packed Start Program options: characters 1 to 3 of the DDE application name field.
struct StartOptions {
    bool wait = false;
    int priority = 2;   // 1 low, 2 normal, 3 high
    int windowMode = 1; // 1, 2, 3, 7 or 8
    static StartOptions unpack(const QString& packed);
    QString pack() const;
};

// Whether a task of this type runs its script when it comes due: "Run Program" and "Both"
// tasks do; a task that only runs a script is a "Run Program" task whose command is "N/A".
bool TaskTypeRunsScript(const QString& taskType);
// The note shown where the script of a task is edited when its type never runs it; empty for
// a type that does.
QString ScriptNotRunNote(const QString& taskType);

// The one-line "Details" text of an item, at most 128 characters.
QString DescribeScriptItem(const Scripting& item);

// A new item of the task with its defaults and the next sequence number, added at once
// (three attempts, then the user may retry). False when the insert is given up.
bool PrimeScriptItem(Store& store, qint32 taskId, Scripting& item);

// The ordering operations of a task's script list; each reports its own failures.
class ScriptOrdering {
public:
    ScriptOrdering(Store& store, qint32 taskId)
        : store_(store)
        , task_(taskId) {}

    // A new item (just added at the end) moves up to sit directly after sequence `after`.
    bool placeAfter(qint32 sequence, qint32 after);
    bool moveUp(qint32 sequence) { return ripple(sequence, -1, true, 0); }
    bool moveDown(qint32 sequence) { return ripple(sequence, 1, true, 0); }
    // To the top, whatever the first number: scripts read from a file start at 0.
    bool moveToTop(qint32 sequence) {
        return ripple(sequence, -1, false, std::numeric_limits<qint32>::min());
    }
    bool moveToBottom(qint32 sequence) { return ripple(sequence, 1, false, 0); }
    // After deleting the item with this sequence, every later item moves up one place.
    bool closeGap(qint32 deletedSequence);

    // The task's sequences in order.
    std::vector<qint32> sequences();

private:
    bool ripple(qint32 sequence, int direction, bool oneStep, qint32 lowerBound);
    bool swapError(const StoreError& e, qint32 sequence, const char* section);

    Store& store_;
    qint32 task_;
};

// Deletes every script item of the task; returns how many went.
int DeleteTaskScript(Store& store, qint32 taskId);
// CopyScript without a progress window, for the scheduler's own copies (the history).
void CopyTaskScript(Store& store, qint32 fromTask, qint32 toTask, bool replace);

} // namespace kr
