#include "script/ui/ScriptPrint.h"

#include "reports/ui/ReportWindows.h"
#include "script/ui/UpdateScripting.h"

namespace kr {

ReportDocument ScriptDocument(const ScriptReport& report) {
    ReportDocument doc;
    doc.heading = report.title;
    // The description heads every page, as a group that never changes.
    doc.groupBreaks = true;
    doc.columns = {ReportColumn{QStringLiteral("Action"), 28, Qt::AlignLeft, 0, false, false},
                   ReportColumn{QStringLiteral("Details"), 72, Qt::AlignLeft, 0, false, true}};
    doc.bands.reserve(report.lines.size() + 1);
    for (const ScriptReport::Line& line : report.lines)
        doc.bands.push_back(ReportBand::row({line.action, line.detail}, report.description));
    // A script without items still prints its heading.
    if (doc.bands.empty())
        doc.bands.push_back(ReportBand::row({}, report.description));
    return doc;
}

void PrintCurrentScript(ScriptWindowContext& ctx, const Schedule& task, QWidget* parent) {
    const std::unique_ptr<Progress> progress = ctx.progress.open();
    const ReportDocument doc = ScriptDocument(MakeScriptReport(ctx.store, *progress, task));
    QtReportOutput output(ctx.printer, ctx.dialogs, *progress, parent);
    output.preview(doc);
}

bool PrintScriptToPdf(Store& store, Progress& progress, const Schedule& task, const QString& file) {
    return WriteReportPdf(ScriptDocument(MakeScriptReport(store, progress, task)), file);
}

} // namespace kr
