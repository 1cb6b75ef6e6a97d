#include "script/ui/ScriptPrint.h"

#include "platform/PrivateFiles.h"
#include "script/ui/UpdateScripting.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

namespace kr {

namespace {

// The heading, the description and a two-column table of actions and details. Texts go in
// as plain text, whatever characters they hold.
void FillDocument(QTextDocument& doc, const ScriptReport& report) {
    QTextCursor cursor(&doc);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    QTextCharFormat heading;
    heading.setFontPointSize(16);
    heading.setFontWeight(QFont::Bold);
    cursor.setBlockFormat(centred);
    cursor.insertText(report.title, heading);
    QTextCharFormat plain;
    plain.setFontPointSize(10);
    QTextCharFormat bold = plain;
    bold.setFontWeight(QFont::Bold);
    cursor.insertBlock(centred);
    cursor.insertText(report.description, bold);
    cursor.insertBlock(QTextBlockFormat());

    QTextTableFormat table;
    table.setHeaderRowCount(1);
    table.setBorderStyle(QTextFrameFormat::BorderStyle_None);
    table.setCellPadding(2);
    table.setCellSpacing(0);
    table.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    table.setColumnWidthConstraints(
        {QTextLength(QTextLength::PercentageLength, 28), QTextLength(QTextLength::PercentageLength, 72)});
    QTextTable* t = cursor.insertTable(static_cast<int>(report.lines.size()) + 1, 2, table);
    t->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("Action"), bold);
    t->cellAt(0, 1).firstCursorPosition().insertText(QStringLiteral("Details"), bold);
    int row = 1;
    for (const ScriptReport::Line& line : report.lines) {
        t->cellAt(row, 0).firstCursorPosition().insertText(line.action, plain);
        t->cellAt(row, 1).firstCursorPosition().insertText(line.detail, plain);
        ++row;
    }
}

} // namespace

bool PrintScriptReport(const ScriptReport& report, QPrinter& printer) {
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&printer);
    FillDocument(doc, report);
    // A file printed to is the user's alone, as every file the program writes.
    if (!printer.outputFileName().isEmpty() && !EnsurePrivateFile(printer.outputFileName()))
        return false;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    QFont footerFont = painter.font();
    footerFont.setPointSize(9);
    const qreal footer = QFontMetricsF(footerFont, &printer).height() * 2;
    const QSizeF body(page.width(), page.height() - footer);
    doc.setPageSize(body);
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            printer.newPage();
        painter.save();
        const QRectF clip(0, i * body.height(), body.width(), body.height());
        painter.translate(0, -clip.top());
        doc.drawContents(&painter, clip);
        painter.restore();
        painter.setFont(footerFont);
        painter.drawText(QRectF(0, body.height(), body.width(), footer), Qt::AlignCenter,
                         QStringLiteral("Page ") + QString::number(i + 1));
    }
    return painter.end();
}

void PrintCurrentScript(ScriptWindowContext& ctx, const Schedule& task, QWidget* parent) {
    const ScriptReport report = MakeScriptReport(ctx.store, ctx.progress, task);
    QPrinter own(QPrinter::HighResolution);
    QPrinter& printer = ctx.printer != nullptr ? *ctx.printer : own;
    printer.setDocName(report.title);
    QPrintPreviewDialog preview(&printer, parent);
    preview.setWindowTitle(report.title);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&report](QPrinter* p) { PrintScriptReport(report, *p); });
    preview.exec();
}

bool PrintScriptToPdf(Store& store, Progress& progress, const Schedule& task, const QString& file) {
    const ScriptReport report = MakeScriptReport(store, progress, task);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setDocName(report.title);
    return PrintScriptReport(report, printer);
}

} // namespace kr
