#include "reports/ui/ReportWindows.h"

#include "reports/ui/ReportParameters.h"
#include "reports/ui/ReportPreview.h"
#include "widgets/Calendar.h"

#include <QApplication>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <algorithm>

namespace kr {

namespace {

const QString kPrinterUnavailable =
    QStringLiteral("The report could not be printed: the printer is not available.");

QPointer<ReportPreview> g_preview;

// Measures the bands of a report that must each be measured (blocks, wrapped rows) under the
// progress window already begun; other reports are laid out when first painted. False when
// the user cancelled the layout.
bool MeasureUnder(ReportRenderer& renderer, QPrinter& p, Progress& progress) {
    if (!renderer.document().measured())
        return true;
    bool stopped = false;
    renderer.paginate(p, [&](int percent) {
        progress.update(percent);
        stopped = progress.cancelled();
        return !stopped;
    });
    return !stopped;
}

// The program printer's settings that a print dialog changes for one print.
struct PrinterChoice {
    QString printer;
    QPrinter::OutputFormat format = QPrinter::NativeFormat;
    QString file;
    int copies = 1;
    QPrinter::PrintRange range = QPrinter::AllPages;
    int from = 0;
    int to = 0;

    static PrinterChoice of(const QPrinter& p) {
        return {p.printerName(), p.outputFormat(), p.outputFileName(), p.copyCount(),
                p.printRange(),  p.fromPage(),     p.toPage()};
    }
    void restore(QPrinter& p) const {
        p.setOutputFormat(format);
        if (format == QPrinter::NativeFormat && !printer.isEmpty())
            p.setPrinterName(printer);
        p.setOutputFileName(file);
        p.setCopyCount(copies);
        p.setPrintRange(range);
        p.setFromTo(from, to);
    }
};

} // namespace

QtReportOutput::QtReportOutput(QPrinter* printer, Dialogs& dialogs, Progress& progress, QWidget* parent)
    : printer_(printer)
    , dialogs_(dialogs)
    , progress_(progress)
    , parent_(parent) {}

QtReportOutput::~QtReportOutput() = default;

QPrinter& QtReportOutput::printer() {
    if (printer_ != nullptr)
        return *printer_;
    if (!own_) {
        own_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        own_->setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    }
    return *own_;
}

QWidget* QtReportOutput::openPreview() {
    return g_preview.data();
}

void QtReportOutput::preview(const ReportDocument& doc) {
    QPrinter& p = printer();
    p.setDocName(doc.heading);
    // The pages are laid out from the bands read once; the preview paints those it shows.
    ReportRenderer renderer(doc);
    if (!layOut(renderer, p))
        return;
    ReportPreview* shown = nullptr;
    ReportPreview dialog(
        renderer, doc.heading,
        [&] {
            // What the print dialog chooses holds for this print: a file named there is not
            // written over by the next report printed at once, nor are its copies made again.
            const PrinterChoice before = PrinterChoice::of(p);
            QPrintDialog ask(&p, shown);
            ask.setOption(QAbstractPrintDialog::PrintPageRange);
            ask.setMinMax(1, std::max(1, renderer.pageCount()));
            if (ask.exec() != QDialog::Accepted) {
                before.restore(p);
                return false;
            }
            const bool printed = printPages(renderer, p, progress_);
            before.restore(p);
            if (!printed) {
                dialogs_.message(kPrinterUnavailable, QStringLiteral("NOTE..."), Dialogs::Icon::Exclamation);
                return false;
            }
            return true;
        },
        parent_);
    shown = &dialog;
    g_preview = &dialog;
    dialog.exec();
    g_preview = nullptr;
}

bool QtReportOutput::layOut(ReportRenderer& renderer, QPrinter& p) {
    if (!renderer.document().measured()) {
        renderer.paginate(p); // rows of one height: at once
        return true;
    }
    // Blocks and wrapped rows are measured one by one: under the progress window.
    progress_.begin(QStringLiteral("Generating Report"), {});
    progress_.setCancelQuestionYesNo(kCancelQuestion, kCancelCaption);
    const bool whole = MeasureUnder(renderer, p, progress_);
    progress_.end();
    return whole || dialogs_.message(kPreviewSoFarQuestion, kCancelCaption, Dialogs::Icon::Question,
                                     Dialogs::Yes | Dialogs::No, Dialogs::Yes) == Dialogs::Yes;
}

bool QtReportOutput::print(const ReportDocument& doc, Progress& progress) {
    QPrinter& p = printer();
    p.setDocName(doc.heading);
    // Without an installed printer Qt falls back to a PDF printer with no file to write to.
    if (QPrinterInfo::availablePrinterNames().isEmpty() && p.outputFileName().isEmpty()) {
        QPrintDialog dialog(&p, parent_);
        if (dialog.exec() != QDialog::Accepted)
            return true; // the user chose not to print
    }
    ReportRenderer renderer(doc);
    return printPages(renderer, p, progress);
}

bool QtReportOutput::printPages(ReportRenderer& renderer, QPrinter& p, Progress& progress) {
    // A long report goes to the printer page by page under the progress window, which can
    // still cancel it; so is the layout of rows or blocks that must each be measured.
    progress.begin(QStringLiteral("Printing Report"), {});
    progress.setCancelQuestionYesNo(kCancelQuestion, kCancelCaption);
    if (!MeasureUnder(renderer, p, progress)) {
        progress.end();
        return true; // the user chose not to print
    }
    const bool started = renderer.print(p, [&progress](int page, int pages) {
        progress.update(page * 100 / std::max(1, pages));
        return !progress.cancelled();
    });
    progress.end();
    return started;
}

ReportWindows::ReportWindows(ReportWindowContext ctx, QWidget* parent)
    : ctx_(std::move(ctx))
    , parent_(parent) {}

void ReportWindows::run(ReportKind kind) {
    const std::unique_ptr<Progress> progress = ctx_.progress.open();
    QtReportOutput output(ctx_.printer, ctx_.dialogs, *progress, parent_);
    ReportContext rc{ctx_.store, ctx_.dialogs, ctx_.clock, *progress, output, choices_, {}, {}, {}};
    rc.askParameters = [this](ReportChoices& choices) {
        const CalendarContext calendar{ctx_.dialogs, ctx_.clock, ctx_.positions};
        ReportParameters window({ctx_.store, ctx_.dialogs,
                                 ctx_.datePicture ? ctx_.datePicture() : QStringLiteral("@d3"),
                                 [calendar, this](Date current, const QString& title) {
                                     return Calendar(calendar, current, title, kCalendarAllDays, Schedule{},
                                                     QApplication::activeModalWidget() != nullptr
                                                         ? QApplication::activeModalWidget()
                                                         : parent_);
                                 }},
                                choices, parent_);
        if (window.exec() != QDialog::Accepted)
            return false;
        choices = window.choices();
        return true;
    };
    rc.askTitle = [this](QString& title) {
        SetReportTitle window(parent_);
        if (window.exec() != QDialog::Accepted)
            return false;
        title = window.title();
        return true;
    };
    rc.selectCategory = [this] { return ctx_.selectCategory ? ctx_.selectCategory(QString()) : QString(); };
    RunReport(rc, kind);
}

} // namespace kr
