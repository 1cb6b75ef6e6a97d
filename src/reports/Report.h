#pragma once

// A printed report as laid out for paper: a heading, its columns and one band per record,
// read once from the table. The renderer lays the bands onto pages of fixed-height rows (or
// labelled blocks whose long text wraps) and paints any page again from them, so that the
// preview's zoom and page turns never read the table a second time.

#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QImage;
class QPainter;
class QPrinter;

namespace kr {

struct ReportColumn {
    QString title;
    double width = 1; // relative to the other columns of its line
    Qt::Alignment align = Qt::AlignLeft;
    int line = 0;     // a record printed on two lines puts some columns on the second
    bool box = false; // an empty ruled box, filled in by hand
    // A text too long for the column wraps onto further lines and the row grows, instead of
    // being cut short (reports of one line of columns only).
    bool wrap = false;
};

// One labelled value of a block; a check field shows a box, ticked when set.
struct ReportField {
    QString label;
    QString value;
    bool check = false;
    bool checked = false;
    double width = 1; // relative to the other fields of its line
};

// The fields of a block, with texts printed in full beneath them, each under its label.
struct ReportBlock {
    struct Text {
        QString label;
        QString text;
    };
    std::vector<std::vector<ReportField>> fields;
    std::vector<Text> texts; // empty texts are left out
};

// One record as printed: the cells of a row, or a block. A row keeps its cells in one text, so
// that a report of many rows holds little more than the characters it prints.
struct ReportBand {
    static constexpr QChar kCellSeparator = QChar(0x1f);

    QString cells; // separated by kCellSeparator
    // The group the record belongs to; with group breaks a new page starts where it changes,
    // headed with it.
    QString group;
    std::shared_ptr<const ReportBlock> block; // block reports only

    static ReportBand row(const QStringList& cells, QString group = {});
    static ReportBand of(ReportBlock block);
    QList<QStringView> cellList() const;
};

struct ReportDocument {
    QString heading;
    std::vector<ReportColumn> columns; // row reports
    bool blocks = false;               // one labelled block per record instead of rows
    bool groupBreaks = false;
    double rowLines = 1.4; // a row's height in text lines (more where it is written in)
    std::vector<ReportBand> bands;

    // Whether each band is measured on its own (blocks, wrapping columns), which takes long
    // for many bands; otherwise every row has the same height.
    bool measured() const;
};

// Lays a document out on a printer's pages and paints them.
class ReportRenderer {
public:
    explicit ReportRenderer(const ReportDocument& doc);
    ~ReportRenderer();
    ReportRenderer(const ReportRenderer&) = delete;
    ReportRenderer& operator=(const ReportRenderer&) = delete;

    // Lays the bands out on the printer's page; again only when the page changed. Measuring
    // blocks takes long: `step` is told of the percentage measured now and then, and when it
    // answers false the pages hold the records measured so far.
    int paginate(QPrinter& printer, const std::function<bool(int percent)>& step = {});
    int pageCount() const { return static_cast<int>(pages_.size()); }
    const ReportDocument& document() const { return doc_; }
    // Paints page `page` (from 0) with a painter begun on the paginated printer.
    void paintPage(QPainter& painter, int page) const;
    // The paginated printer's dots per inch.
    int resolution() const;
    // The whole sheet of the paginated printer, margins included, in its device pixels.
    QSizeF paperSize() const;
    // Page `page` on a white sheet, `scale` image pixels to a printer pixel: what the printer
    // would print, at the size of a screen.
    QImage renderPage(int page, qreal scale) const;
    // Prints every page, the copies the printer cannot make itself included; false when the
    // printer could not be started. `page` is told of each page printed (its number from 1 and
    // the count of all copies' pages); when it answers false the print job is abandoned.
    bool print(QPrinter& printer, const std::function<bool(int page, int pages)>& page = {});

private:
    struct Page {
        std::size_t first = 0;
        std::size_t end = 0;
    };
    struct Metrics;

    qreal measureBand(const ReportBand& band) const;
    // A band's height on the paginated page: measured, or a row's.
    qreal heightOf(std::size_t band) const;
    void paintHeader(QPainter& painter, const QString& group) const;
    void paintRow(QPainter& painter, const ReportBand& band, qreal y, qreal height) const;
    void paintBlock(QPainter& painter, const ReportBand& band, qreal y) const;

    const ReportDocument& doc_;
    std::unique_ptr<Metrics> m_;
    std::vector<Page> pages_;
    std::vector<qreal> heights_; // of measured bands, as measured on the paginated page
};

// The whole document written to a PDF file on the default page; false when it could not be.
bool WriteReportPdf(const ReportDocument& doc, const QString& file);

} // namespace kr
