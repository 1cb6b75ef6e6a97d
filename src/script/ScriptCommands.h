#pragma once

// The commands of a task's script list that work on the script as a whole: writing it to a
// script file and reading one back, deleting it, copying it to another task, and the
// contents of its printout. Each reports its own failures to the store's dialogs.

#include "platform/Progress.h"
#include "script/ScriptFile.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QIODevice>

#include <vector>

namespace kr {

// The dialogs' filter for script files.
inline const QString kScriptFileFilter = QStringLiteral("Export File|*.krs|Text|*.txt|All|*.*");

// The task's items in sequence order; false after a read error (reported, naming
// "Scripting"), with the items read so far.
bool ReadTaskScript(Store& store, qint32 taskId, std::vector<Scripting>& items);

// ExportScript: adds one line per item at the end of the file (created when missing) and
// says "Process Completed". Items without a line form are passed over. Returns how many
// lines were written, -1 when the file could not be opened (reported).
int ExportScript(Store& store, Progress& progress, qint32 taskId, const QString& file);

// ImportScript: adds the file's items to the task, numbered from 0 in file order; a line
// whose type has no line form is reported and skipped. The task's items are kept, so an
// imported number already in use fails (reported) and the next line goes on. Returns how
// many items were added, -1 when the file could not be read (reported).
int ImportScript(Store& store, Progress& progress, qint32 taskId, const QString& file);
// The same from an open device; `name` names it in messages. A read error in the middle
// ends the import with the file-error message (the items read before it stay) and -1.
int ImportScript(Store& store, Progress& progress, qint32 taskId, QIODevice& device, const QString& name,
                 ScriptEncoding encoding = ScriptEncoding::EachLine);
// An import commits every so many items, or after so long, whichever comes first.
inline constexpr int kImportBatchItems = 2000;
inline constexpr int kImportBatchMs = 250;

// DeleteScript: deletes every item of the task; returns how many went.
int DeleteScript(Store& store, Progress& progress, qint32 taskId);

// CopyScript: adds a copy of every item of one task to another, keeping its number and
// fields; an item whose number the other task already has is passed over.
// With `replace` the target's own items are deleted first. Every copy of a task's script goes
// through here (task copies, Quick Start, history). Returns how many items were added.
int CopyScript(Store& store, Progress& progress, qint32 fromTask, qint32 toTask, bool replace = false);

// The printout of a task's script: a line per item with its action and the printout's own
// detail text.
struct ScriptReport {
    struct Line {
        QString action; // 27 characters at most
        QString detail; // 80 characters at most
    };
    QString title; // "Script"
    QString description;
    std::vector<Line> lines;
};

QString PrintedDetail(const Scripting& item);
ScriptReport MakeScriptReport(Store& store, Progress& progress, const Schedule& task);

} // namespace kr
