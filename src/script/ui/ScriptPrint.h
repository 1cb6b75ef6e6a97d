#pragma once

// PrintCurrentScript: a task's script as a printed report, shown in the print preview from
// which the user prints it; the same pages can be written to a PDF file.

#include "script/ScriptCommands.h"

class QPrinter;
class QWidget;

namespace kr {

struct ScriptWindowContext;

// Lays the report out on the printer's pages, each with "Page" and its number at the foot;
// false when the printer could not be started.
bool PrintScriptReport(const ScriptReport& report, QPrinter& printer);

// The task's script in the print preview.
void PrintCurrentScript(ScriptWindowContext& ctx, const Schedule& task, QWidget* parent = nullptr);

// The task's script written to a PDF file; false when the file could not be written.
bool PrintScriptToPdf(Store& store, Progress& progress, const Schedule& task, const QString& file);

} // namespace kr
