#pragma once

// The comma-delimited export from the command line: the export window's choices given as
// options, the file written by the same routine as the window's.

#include "cli/TaskOptions.h"
#include "exchange/CsvExchange.h"
#include "exchange/ExchangeTables.h"
#include "platform/Progress.h"

#include <vector>

namespace kr::cli {

struct CsvExportChoice {
    const ExchangeTable* table = nullptr;
    std::vector<ExchangeField> fields; // in the order written
    bool header = false;
};

// --table schedule|contacts|todo, --fields F1,F2,... (every field when absent), --picture F=PIC
// (again for each field), --header. A field is named as the header line names it
// ("SCH:TaskType") or without its prefix ("TaskType"), in any letter case. Throws UsageError.
CsvExportChoice TakeExportChoice(Arguments& args);

// The import window's choices as options: --table, --header and --map or --auto, taken off
// the arguments as given, to be read against the file (here, or by the running program).
QStringList TakeImportOptions(Arguments& args);

struct CsvImportChoice {
    const ExchangeTable* table = nullptr;
    bool skipHeader = false;
    Assignments assigned;
};
// The options TakeImportOptions took, read against the file's first line (which `source`
// names in a message). Throws UsageError for a bad option, Failure when nothing would go in.
CsvImportChoice ReadImportChoice(const QStringList& options, ImportFile& file, const QString& source);

// --map 1=FIELD[:PIC],2=FIELD ... (the file's fields by their place from 1, each to a field of
// the table, with the picture that reads it) or --auto (the import window's "A&uto": the first
// line names the fields, and is skipped). The assignments for `file`; throws UsageError.
Assignments TakeImportAssignments(Arguments& args, const ExchangeTable& table, ImportFile& file, bool& skipHeader);
// --table for either direction.
const ExchangeTable& TakeExchangeTable(Arguments& args, const char* verb);

// While one lives, Ctrl+C cancels the run under way as the window's Cancel does (what was
// written stays written); a second Ctrl+C ends the program at once.
class InterruptCancels {
public:
    InterruptCancels();
    ~InterruptCancels();
    InterruptCancels(const InterruptCancels&) = delete;
    InterruptCancels& operator=(const InterruptCancels&) = delete;
    // Whether Ctrl+C was pressed.
    static bool requested();
};

// A progress line on standard error when it is a terminal; nothing otherwise. Cancelled once
// Ctrl+C was pressed (with an InterruptCancels alive).
class TerminalProgress final : public Progress {
public:
    TerminalProgress();
    ~TerminalProgress() override;
    bool cancelled() const override { return InterruptCancels::requested(); }
    void end() override;

protected:
    void doBegin(const QString& title, const QString& text) override;
    void doUpdate(int percent) override;

private:
    bool terminal_ = false;
    bool shown_ = false;
    QString title_;
};

} // namespace kr::cli
