#include "reports/ui/ReportWindows.h"

#include "reports/ui/ReportParameters.h"
#include "scheduler/ui/Calendar.h"

#include <QApplication>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <algorithm>

namespace kr {

namespace {

const QString kPrinterUnavailable =
    QStringLiteral("The report could not be printed: the printer is not available.");

QPointer<QPrintPreviewDialog> g_preview;

} // namespace

QtReportOutput::QtReportOutput(QPrinter* printer, Dialogs& dialogs, QWidget* parent)
    : printer_(printer)
    , dialogs_(dialogs)
    , parent_(parent) {}

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
    // The pages are laid out from the bands read once; zoom and page turns repaint from them.
    ReportRenderer renderer(doc);
    QPrintPreviewDialog dialog(&p, parent_);
    dialog.setWindowTitle(doc.heading);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dialog.resize(screen->availableGeometry().size() * 0.85);
    g_preview = &dialog;
    bool failed = false;
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&renderer, &failed](QPrinter* to) {
                         if (!renderer.print(*to))
                             failed = true;
                     });
    dialog.exec();
    g_preview = nullptr;
    if (failed)
        dialogs_.message(kPrinterUnavailable, QStringLiteral("NOTE..."), Dialogs::Icon::Exclamation);
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
    // A long report goes to the printer page by page under the progress window, which can
    // still cancel it.
    progress.begin(QStringLiteral("Printing Report"), {});
    progress.setCancelQuestionYesNo(kCancelQuestion, kCancelCaption);
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
    QtReportOutput output(ctx_.printer, ctx_.dialogs, parent_);
    ReportContext rc{ctx_.store, ctx_.dialogs, ctx_.clock, ctx_.progress, output, choices_, {}, {}, {}};
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
