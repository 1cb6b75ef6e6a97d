#pragma once

// PrintCurrentScript: a task's script as a printed report, shown in the report preview from
// which the user prints it; the same pages can be written to a PDF file.

#include "reports/Report.h"
#include "script/ScriptCommands.h"

class QWidget;

namespace kr {

struct ScriptWindowContext;

// The report's pages: "Script" and the task's description at the head of every page, then a
// row per item, its details wrapped where they do not fit.
ReportDocument ScriptDocument(const ScriptReport& report);

// The task's script in the report preview.
void PrintCurrentScript(ScriptWindowContext& ctx, const Schedule& task, QWidget* parent = nullptr);

// The task's script written to a PDF file; false when the file could not be written.
bool PrintScriptToPdf(Store& store, Progress& progress, const Schedule& task, const QString& file);

} // namespace kr
