#include "reports/Report.h"

#include "platform/PrivateFiles.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <optional>

namespace kr {

struct ReportRenderer::Metrics {
    QSizeF page;    // the printable area
    QSizeF paper;   // the whole sheet
    QPointF origin; // of the printable area on the sheet
    int resolution = 0;
    QFont body;
    QFont bold;
    QFont heading;
    QFont group;
    std::optional<QFontMetricsF> bodyMetrics; // on the printer
    qreal line = 0;                           // height of a line of body text
    qreal pad = 0;                            // space between a cell's text and its edges
    qreal rowH = 0;                           // a row band
    qreal headerH = 0;                        // heading, group line, column titles and rule
    qreal footerH = 0;
    qreal bodyTop = 0;
    qreal bodyBottom = 0;
    int lines = 1; // lines of columns in a row
    struct Cell {
        qreal x = 0;
        qreal w = 0;
        int line = 0;
    };
    std::vector<Cell> cells; // one per column
};

namespace {

constexpr qreal kMillimetresPerInch = 25.4;
// The share of the width a block's wrapped text leaves to its label.
constexpr qreal kWrapLabelShare = 0.16;

QFont BaseFont(qreal points, bool bold) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

} // namespace

ReportBand ReportBand::row(const QStringList& cells, QString group) {
    ReportBand band;
    qsizetype size = cells.size();
    for (const QString& c : cells)
        size += c.size();
    band.cells.reserve(size);
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            band.cells += kCellSeparator;
        // A separator inside a text would shift the columns after it.
        QString cell = cells[i];
        band.cells += cell.replace(kCellSeparator, QLatin1Char(' '));
    }
    band.cells.squeeze();
    band.group = std::move(group);
    return band;
}

ReportBand ReportBand::of(ReportBlock block) {
    ReportBand band;
    band.block = std::make_shared<const ReportBlock>(std::move(block));
    return band;
}

bool ReportDocument::measured() const {
    return blocks ||
           std::any_of(columns.begin(), columns.end(), [](const ReportColumn& c) { return c.wrap; });
}

QList<QStringView> ReportBand::cellList() const {
    return QStringView(cells).split(kCellSeparator);
}

ReportRenderer::ReportRenderer(const ReportDocument& doc)
    : doc_(doc) {}

ReportRenderer::~ReportRenderer() = default;

int ReportRenderer::paginate(QPrinter& printer, const std::function<bool(int percent)>& step) {
    const QSizeF page = printer.pageLayout().paintRectPixels(printer.resolution()).size();
    if (m_ && m_->page == page && m_->resolution == printer.resolution())
        return pageCount();
    m_ = std::make_unique<Metrics>();
    Metrics& m = *m_;
    m.page = page;
    m.resolution = printer.resolution();
    m.paper = printer.pageLayout().fullRectPixels(m.resolution).size();
    m.origin = printer.pageLayout().paintRectPixels(m.resolution).topLeft();
    m.body = BaseFont(9, false);
    m.bold = BaseFont(9, true);
    m.heading = BaseFont(13, true);
    m.group = BaseFont(11, true);
    m.bodyMetrics.emplace(m.body, &printer);
    m.line = m.bodyMetrics->height();
    m.pad = 0.8 / kMillimetresPerInch * m.resolution;
    for (const ReportColumn& c : doc_.columns)
        m.lines = std::max(m.lines, c.line + 1);
    m.rowH = std::ceil(m.line * doc_.rowLines) * (m.lines > 1 ? m.lines * 0.8 : 1.0);
    m.headerH = QFontMetricsF(m.heading, &printer).height() * 1.6;
    if (doc_.groupBreaks)
        m.headerH += QFontMetricsF(m.group, &printer).height() * 1.6;
    if (!doc_.blocks)
        m.headerH += m.lines * m.line * 1.3;
    m.headerH += m.line * 0.5;
    m.footerH = m.line * 2;
    m.bodyTop = m.headerH;
    m.bodyBottom = page.height() - m.footerH;

    // Column positions: the widths of each line shared out over the page's width.
    m.cells.resize(doc_.columns.size());
    for (int line = 0; line < m.lines; ++line) {
        double total = 0;
        for (const ReportColumn& c : doc_.columns)
            if (c.line == line)
                total += c.width;
        qreal x = 0;
        for (std::size_t i = 0; i < doc_.columns.size(); ++i) {
            if (doc_.columns[i].line != line)
                continue;
            const qreal w = total > 0 ? page.width() * doc_.columns[i].width / total : 0;
            m.cells[i] = {x, w, line};
            x += w;
        }
    }

    pages_.clear();
    heights_.clear();
    std::size_t laidOut = doc_.bands.size();
    if (doc_.measured()) {
        constexpr std::size_t kStep = 256;
        heights_.reserve(doc_.bands.size());
        for (std::size_t i = 0; i < doc_.bands.size(); ++i) {
            heights_.push_back(measureBand(doc_.bands[i]));
            if (step && i % kStep == kStep - 1 &&
                !step(static_cast<int>((i + 1) * 100 / doc_.bands.size()))) {
                laidOut = i + 1;
                break;
            }
        }
    }
    qreal y = m.bodyTop;
    for (std::size_t i = 0; i < laidOut; ++i) {
        const qreal h = heightOf(i);
        const bool groupChanged =
            doc_.groupBreaks && !pages_.empty() && doc_.bands[i].group != doc_.bands[i - 1].group;
        if (pages_.empty() || groupChanged ||
            (y + h > m.bodyBottom && pages_.back().end > pages_.back().first)) {
            pages_.push_back({i, i});
            y = m.bodyTop;
        }
        pages_.back().end = i + 1;
        y += h;
    }
    return pageCount();
}

qreal ReportRenderer::heightOf(std::size_t band) const {
    return heights_.empty() ? m_->rowH : heights_[band];
}

qreal ReportRenderer::measureBand(const ReportBand& band) const {
    const Metrics& m = *m_;
    if (!band.block) {
        // A row grows with the lines of its longest wrapped text.
        qreal h = m.rowH;
        if (m.lines > 1)
            return h;
        const QList<QStringView> cells = band.cellList();
        for (std::size_t i = 0; i < doc_.columns.size() && i < static_cast<std::size_t>(cells.size()); ++i) {
            const qreal width = m.cells[i].w - 2 * m.pad;
            const QString text = cells[static_cast<qsizetype>(i)].toString();
            if (!doc_.columns[i].wrap || m.bodyMetrics->horizontalAdvance(text) <= width)
                continue;
            const qreal wrapped =
                m.bodyMetrics->boundingRect(QRectF(0, 0, width, 1e7), Qt::TextWordWrap, text).height();
            h = std::max(h, wrapped + (m.rowH - m.line));
        }
        return h;
    }
    const ReportBlock& block = *band.block;
    qreal h = static_cast<qreal>(block.fields.size()) * m.line * 1.35;
    const qreal textW = m.page.width() * (1 - kWrapLabelShare);
    for (const ReportBlock::Text& t : block.texts)
        if (!t.text.isEmpty())
            h += m.bodyMetrics->boundingRect(QRectF(0, 0, textW, 1e7), Qt::TextWordWrap, t.text).height();
    // A block taller than a page has a page to itself, its text made smaller to fit.
    return std::min(h + m.line * 0.8, m.bodyBottom - m.bodyTop);
}

void ReportRenderer::paintHeader(QPainter& p, const QString& group) const {
    const Metrics& m = *m_;
    qreal y = 0;
    p.setFont(m.heading);
    const qreal headingH = p.fontMetrics().height() * 1.6;
    p.drawText(QRectF(0, y, m.page.width(), headingH), Qt::AlignHCenter | Qt::AlignTop, doc_.heading);
    y += headingH;
    if (doc_.groupBreaks) {
        p.setFont(m.group);
        const qreal groupH = p.fontMetrics().height() * 1.6;
        p.drawText(QRectF(0, y, m.page.width(), groupH), Qt::AlignHCenter | Qt::AlignTop, group);
        y += groupH;
    }
    if (!doc_.blocks) {
        p.setFont(m.bold);
        for (std::size_t i = 0; i < doc_.columns.size(); ++i) {
            const ReportColumn& c = doc_.columns[i];
            const Metrics::Cell& cell = m.cells[i];
            const QRectF r(cell.x + m.pad, y + cell.line * m.line * 1.3, cell.w - 2 * m.pad, m.line * 1.3);
            p.drawText(r, (c.align & Qt::AlignHorizontal_Mask) | Qt::AlignBottom,
                       p.fontMetrics().elidedText(c.title, Qt::ElideRight, static_cast<int>(r.width())));
        }
        y += m.lines * m.line * 1.3;
    }
    y += m.line * 0.2;
    p.save();
    QPen pen(Qt::black);
    pen.setWidthF(m.resolution / 150.0);
    p.setPen(pen);
    p.drawLine(QPointF(0, y), QPointF(m.page.width(), y));
    p.restore();
}

void ReportRenderer::paintRow(QPainter& p, const ReportBand& band, qreal y, qreal height) const {
    const Metrics& m = *m_;
    const qreal lineH = m.rowH / m.lines;
    bool ruled = false;
    const QList<QStringView> cells = band.cellList();
    const QFontMetricsF fm(p.font(), p.device());
    for (std::size_t i = 0; i < doc_.columns.size(); ++i) {
        const ReportColumn& c = doc_.columns[i];
        const Metrics::Cell& cell = m.cells[i];
        const QRectF r(cell.x + m.pad, y + cell.line * lineH, cell.w - 2 * m.pad, lineH);
        if (c.box) {
            ruled = true;
            const QRectF b = r.adjusted(0, m.pad, 0, -m.pad);
            p.drawRect(b);
            // A box with a text is ticked.
            if (i < static_cast<std::size_t>(cells.size()) && !cells[static_cast<qsizetype>(i)].isEmpty()) {
                const qreal h = b.height();
                const QPointF mid(b.center().x() - h * 0.1, b.bottom() - h * 0.2);
                p.drawLine(QPointF(mid.x() - h * 0.25, mid.y() - h * 0.25), mid);
                p.drawLine(mid, QPointF(mid.x() + h * 0.45, b.top() + h * 0.15));
            }
            continue;
        }
        const QString text = i < static_cast<std::size_t>(cells.size())
                                 ? cells[static_cast<qsizetype>(i)].toString()
                                 : QString();
        if (text.isEmpty())
            continue;
        // Drawn at a point rather than in a rectangle: many thousands of rows print much faster.
        QString shown = text;
        qreal width = fm.horizontalAdvance(shown);
        if (width > r.width() && c.wrap && m.lines == 1) {
            const QRectF all(r.left(), r.top() + (r.height() - fm.height()) / 2, r.width(), height);
            p.drawText(all, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
            continue;
        }
        if (width > r.width()) {
            shown = fm.elidedText(text, Qt::ElideRight, r.width());
            width = fm.horizontalAdvance(shown);
        }
        qreal x = r.left();
        if (c.align & Qt::AlignRight)
            x = r.right() - width;
        else if (c.align & Qt::AlignHCenter)
            x = r.left() + (r.width() - width) / 2;
        p.drawText(QPointF(x, r.top() + (r.height() - fm.height()) / 2 + fm.ascent()), shown);
    }
    // Ruled where written in by hand, and between records of several lines.
    if (ruled || m.lines > 1) {
        p.save();
        p.setPen(QPen(Qt::gray, 0));
        p.drawLine(QPointF(0, y + height), QPointF(m.page.width(), y + height));
        p.restore();
    }
}

void ReportRenderer::paintBlock(QPainter& p, const ReportBand& band, qreal y) const {
    if (!band.block)
        return;
    const ReportBlock& block = *band.block;
    const Metrics& m = *m_;
    const qreal lineH = m.line * 1.35;
    const qreal box = m.line * 0.65;
    for (const std::vector<ReportField>& line : block.fields) {
        double total = 0;
        for (const ReportField& f : line)
            total += f.width;
        qreal x = 0;
        for (const ReportField& f : line) {
            const qreal w = total > 0 ? m.page.width() * f.width / total : 0;
            const QRectF slot(x + m.pad, y, w - 2 * m.pad, lineH);
            x += w;
            // A blank slot keeps the fields of its line lined up with those above.
            if (f.label.isEmpty())
                continue;
            if (f.check) {
                const QRectF b(slot.left(), slot.center().y() - box / 2, box, box);
                p.drawRect(b);
                if (f.checked) {
                    // A tick drawn, not a character: every font has it.
                    const QPointF a(b.left() + box * 0.2, b.top() + box * 0.55);
                    const QPointF c(b.left() + box * 0.42, b.bottom() - box * 0.18);
                    const QPointF d(b.right() - box * 0.15, b.top() + box * 0.18);
                    p.drawLine(a, c);
                    p.drawLine(c, d);
                }
                const QRectF label = slot.adjusted(box + m.pad * 2, 0, 0, 0);
                p.drawText(
                    label, Qt::AlignLeft | Qt::AlignVCenter,
                    p.fontMetrics().elidedText(f.label, Qt::ElideRight, static_cast<int>(label.width())));
                continue;
            }
            const QString label = f.label.endsWith(QLatin1Char(':')) ? f.label : f.label + QLatin1Char(':');
            p.setFont(m.bold);
            const qreal labelW = p.fontMetrics().horizontalAdvance(label + QLatin1Char(' '));
            p.drawText(slot, Qt::AlignLeft | Qt::AlignVCenter, label);
            p.setFont(m.body);
            const QRectF value = slot.adjusted(labelW, 0, 0, 0);
            p.drawText(value, Qt::AlignLeft | Qt::AlignVCenter,
                       p.fontMetrics().elidedText(f.value, Qt::ElideRight, static_cast<int>(value.width())));
        }
        y += lineH;
    }
    for (const ReportBlock::Text& t : block.texts) {
        if (t.text.isEmpty())
            continue;
        const qreal labelW = m.page.width() * kWrapLabelShare;
        p.setFont(m.bold);
        p.drawText(QRectF(m.pad, y, labelW - m.pad, lineH), Qt::AlignLeft | Qt::AlignTop,
                   t.label.endsWith(QLatin1Char(':')) ? t.label : t.label + QLatin1Char(':'));
        p.setFont(m.body);
        const qreal width = m.page.width() - labelW;
        const qreal room = m.bodyBottom - m.line * 0.8 - y;
        const QFontMetricsF fm(p.font(), p.device());
        auto heightAt = [&](qreal scale) {
            return fm.boundingRect(QRectF(0, 0, width / scale, 1e7), Qt::TextWordWrap, t.text).height() *
                   scale;
        };
        qreal scale = 1;
        if (room > 0 && heightAt(1) > room) {
            // Too long for the page: printed whole and smaller, rather than cut off at its foot.
            qreal low = 0.05;
            qreal high = 1;
            for (int i = 0; i < 12; ++i) {
                const qreal mid = (low + high) / 2;
                (heightAt(mid) <= room ? low : high) = mid;
            }
            scale = low;
        }
        p.save();
        p.translate(labelW, y);
        p.scale(scale, scale);
        p.drawText(QRectF(0, 0, width / scale, 1e7), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, t.text);
        p.restore();
        y += heightAt(scale);
    }
    p.save();
    p.setPen(QPen(Qt::gray, 0));
    const qreal rule = y + m.line * 0.4;
    p.drawLine(QPointF(0, rule), QPointF(m.page.width(), rule));
    p.restore();
}

void ReportRenderer::paintPage(QPainter& p, int page) const {
    if (!m_ || page < 0 || page >= pageCount())
        return;
    const Metrics& m = *m_;
    const Page& pg = pages_[static_cast<std::size_t>(page)];
    paintHeader(p, pg.first < doc_.bands.size() ? doc_.bands[pg.first].group : QString());
    p.setFont(m.body);
    QPen pen(Qt::black);
    pen.setWidthF(m.resolution / 300.0);
    p.setPen(pen);
    qreal y = m.bodyTop;
    for (std::size_t i = pg.first; i < pg.end; ++i) {
        const ReportBand& band = doc_.bands[i];
        const qreal height = heightOf(i);
        if (doc_.blocks)
            paintBlock(p, band, y);
        else
            paintRow(p, band, y, height);
        y += height;
    }
    p.setFont(m.body);
    p.drawText(QRectF(0, m.bodyBottom, m.page.width(), m.footerH), Qt::AlignCenter,
               QStringLiteral("Page ") + QString::number(page + 1));
}

int ReportRenderer::resolution() const {
    return m_ ? m_->resolution : 0;
}

QSizeF ReportRenderer::paperSize() const {
    return m_ ? m_->paper : QSizeF();
}

QImage ReportRenderer::renderPage(int page, qreal scale) const {
    if (!m_ || page < 0 || page >= pageCount() || scale <= 0)
        return {};
    const QSize size = (m_->paper * scale).toSize();
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::white);
    // At the printer's resolution, the fonts take the sizes they were laid out with; the
    // painter's scale then brings the whole page down to the image.
    const int dotsPerMetre = qRound(m_->resolution / 0.0254);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    painter.translate(m_->origin);
    paintPage(painter, page);
    painter.end();
    return image;
}

bool ReportRenderer::print(QPrinter& printer, const std::function<bool(int page, int pages)>& page) {
    // A file printed to is the user's alone, as every file the program writes.
    if (!printer.outputFileName().isEmpty() && !EnsurePrivateFile(printer.outputFileName()))
        return false;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    paginate(printer);
    // The pages asked for in the print dialog, all by default.
    int first = 0;
    int last = pageCount() - 1;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = printer.fromPage() - 1;
        if (printer.toPage() > 0)
            last = std::min(last, printer.toPage() - 1);
    }
    const int perCopy = std::max(0, last - first + 1);
    // Printers that cannot make copies themselves get the pages again.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    bool started = false;
    for (int c = 0; c < copies; ++c) {
        for (int i = first; i <= last; ++i) {
            if (started && !printer.newPage()) {
                painter.end();
                return false;
            }
            started = true;
            paintPage(painter, i);
            if (page && !page(c * perCopy + (i - first) + 1, copies * perCopy)) {
                printer.abort();
                painter.end();
                return true;
            }
        }
    }
    return painter.end();
}

bool WriteReportPdf(const ReportDocument& doc, const QString& file) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setDocName(doc.heading);
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    ReportRenderer renderer(doc);
    return renderer.print(printer);
}

} // namespace kr
