#pragma once

// The reports as the frame runs them: the Qt print preview and printer behind the report
// runner, with ReportParameters, SetReportTitle, the date picker and the category picker.

#include "platform/IniFile.h"
#include "reports/Reports.h"

#include <functional>
#include <memory>

class QPrinter;
class QWidget;

namespace kr {

// The preview (from which the user prints, the copies included) and printing at once on the
// program's printer. Without an installed printer, printing at once asks in the print
// dialog, whose "Print to File (PDF)" works, instead of failing silently.
class QtReportOutput final : public ReportOutput {
public:
    // `progress` shows the pages printed from the preview.
    QtReportOutput(QPrinter* printer, Dialogs& dialogs, Progress& progress, QWidget* parent);
    ~QtReportOutput() override;
    void preview(const ReportDocument& doc) override;
    bool print(const ReportDocument& doc, Progress& progress) override;

    // The preview window while it is open (tests close it).
    static QWidget* openPreview();

private:
    QPrinter& printer();
    // Lays the pages out for the preview; false when cancelled and nothing is to show.
    bool layOut(ReportRenderer& renderer, QPrinter& p);
    bool printPages(ReportRenderer& renderer, QPrinter& p, Progress& progress);

    QPrinter* printer_;
    std::unique_ptr<QPrinter> own_;
    Dialogs& dialogs_;
    Progress& progress_;
    QWidget* parent_;
};

struct ReportWindowContext {
    Store& store;
    Dialogs& dialogs;
    const Clock& clock;
    ProgressWindows progress;             // a window of its own for each report
    QPrinter* printer;                    // the program's printer, chosen with Print Setup
    IniFile positions;                    // POSITION.INI
    std::function<QString()> datePicture; // the DateFormat setting's picture, as it is now
    // SelectCategories; the current category when nothing was picked.
    std::function<QString(const QString& current)> selectCategory;
};

class ReportWindows {
public:
    ReportWindows(ReportWindowContext ctx, QWidget* parent);
    void run(ReportKind kind);

private:
    ReportWindowContext ctx_;
    QWidget* parent_;
    ReportChoices choices_; // what ReportParameters showed last, for the rest of the run
};

} // namespace kr
