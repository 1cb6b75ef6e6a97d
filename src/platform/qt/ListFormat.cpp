#include "platform/qt/ListFormat.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>

namespace kr {

namespace {
constexpr int kMaxWidth = 2000;
}

std::vector<ColumnFormat> ParseFormat(const QString& format) {
    std::vector<ColumnFormat> out;
    for (const QString& part : format.split(QLatin1Char('|'))) {
        const QStringList pieces = part.split(QLatin1Char('~'));
        if (pieces.size() != 3)
            return {};
        ColumnFormat c;
        bool ok = false;
        c.width = pieces[0].toInt(&ok);
        if (!ok || c.width < 0 || c.width > kMaxWidth)
            return {};
        c.title = pieces[1];
        c.picture = pieces[2];
        out.push_back(c);
    }
    return out;
}

QString FormatText(const std::vector<ColumnFormat>& columns) {
    QStringList parts;
    for (const ColumnFormat& c : columns)
        parts << QString::number(c.width) + QLatin1Char('~') + c.title + QLatin1Char('~') + c.picture;
    return parts.join(QLatin1Char('|'));
}

QString WithDatePicture(const QString& format, const QString& datePicture) {
    QString out;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = format.indexOf(QStringLiteral("@d"), from, Qt::CaseInsensitive);
        if (at < 0)
            break;
        qsizetype end = format.indexOf(QLatin1Char('@'), at + 1);
        if (end < 0)
            end = format.size();
        out += format.mid(from, at - from) + QLatin1Char('@') + datePicture;
        from = end;
    }
    return out + format.mid(from);
}

QString ChooseListFormat(const IniFile& positions, const QString& procedure, const QString& builtIn) {
    if (positions.read(procedure, kOriginalFormatKey) != builtIn) {
        // The layout was saved against another list: it no longer fits.
        positions.write(procedure, kOriginalFormatKey, builtIn);
        return builtIn;
    }
    const QString user = positions.read(procedure, kUserFormatKey);
    const std::vector<ColumnFormat> mine = ParseFormat(user);
    const std::vector<ColumnFormat> theirs = ParseFormat(builtIn);
    if (user.isEmpty() || mine.size() != theirs.size())
        return builtIn;
    // The same columns, each once, in any order.
    std::multiset<QString> a;
    std::multiset<QString> b;
    for (const ColumnFormat& c : mine)
        a.insert(c.title);
    for (const ColumnFormat& c : theirs)
        b.insert(c.title);
    return a == b ? user : builtIn;
}

void SaveListFormat(const IniFile& positions, const QString& procedure, const QString& builtIn,
                    const QString& format) {
    positions.write(procedure, kOriginalFormatKey, builtIn);
    positions.write(procedure, kUserFormatKey, format);
}

void ApplyListFormat(QHeaderView* header, const QString& format) {
    const std::vector<ColumnFormat> columns = ParseFormat(format);
    QAbstractItemModel* model = header->model();
    for (std::size_t visual = 0; visual < columns.size(); ++visual) {
        int logical = -1;
        for (int c = 0; c < header->count(); ++c)
            if (model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() == columns[visual].title)
                logical = c;
        if (logical < 0)
            continue;
        header->moveSection(header->visualIndex(logical), static_cast<int>(visual));
        header->setSectionHidden(logical, columns[visual].width == 0);
        if (columns[visual].width > 0)
            header->resizeSection(logical, columns[visual].width);
    }
}

QString HeaderFormat(const QHeaderView* header, const QString& builtIn) {
    const std::vector<ColumnFormat> pictures = ParseFormat(builtIn);
    std::vector<ColumnFormat> out;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        ColumnFormat c;
        c.title = header->model()->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString();
        c.width = header->isSectionHidden(logical) ? 0 : header->sectionSize(logical);
        for (const ColumnFormat& p : pictures)
            if (p.title == c.title)
                c.picture = p.picture;
        out.push_back(c);
    }
    return FormatText(out);
}

// ---------------------------------------------------------------------------- FormatBrowseBox

FormatBrowseBox::FormatBrowseBox(const QString& format, const QString& builtIn, QWidget* parent)
    : QDialog(parent)
    , builtIn_(builtIn) {
    setObjectName(QStringLiteral("FormatBrowseBox"));
    setWindowTitle(QStringLiteral("Format BrowseBox"));
    auto* layout = new QHBoxLayout(this);
    table_ = new QTableWidget(0, 3);
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Column"), QStringLiteral("Shown"), QStringLiteral("Width")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_, 1);
    auto* column = new QVBoxLayout;
    auto add = [&](const QString& text, void (FormatBrowseBox::*slot)()) {
        auto* b = new QPushButton(text);
        connect(b, &QPushButton::clicked, this, slot);
        column->addWidget(b);
    };
    add(QStringLiteral("Move &Up"), &FormatBrowseBox::moveUp);
    add(QStringLiteral("Move &Down"), &FormatBrowseBox::moveDown);
    add(QStringLiteral("&Reset"), &FormatBrowseBox::reset);
    column->addStretch(1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
    layout->addLayout(column);
    std::vector<ColumnFormat> columns = ParseFormat(format);
    if (columns.empty())
        columns = ParseFormat(builtIn_);
    load(columns);
    resize(460, 380);
}

void FormatBrowseBox::load(const std::vector<ColumnFormat>& columns) {
    const std::vector<ColumnFormat> defaults = ParseFormat(builtIn_);
    table_->setRowCount(0);
    table_->setRowCount(static_cast<int>(columns.size()));
    for (int r = 0; r < static_cast<int>(columns.size()); ++r) {
        const ColumnFormat& c = columns[static_cast<std::size_t>(r)];
        auto* title = new QTableWidgetItem(c.title.isEmpty() ? QStringLiteral("(icon)") : c.title);
        title->setData(Qt::UserRole, c.title);
        title->setData(Qt::UserRole + 1, c.picture);
        table_->setItem(r, 0, title);
        auto* shown = new QCheckBox;
        shown->setChecked(c.width > 0);
        table_->setCellWidget(r, 1, shown);
        auto* width = new QSpinBox;
        width->setRange(10, kMaxWidth);
        int w = c.width;
        if (w == 0)
            for (const ColumnFormat& d : defaults)
                if (d.title == c.title)
                    w = d.width;
        width->setValue(qMax(10, w));
        table_->setCellWidget(r, 2, width);
    }
    if (table_->rowCount() > 0)
        table_->selectRow(0);
}

QString FormatBrowseBox::format() const {
    std::vector<ColumnFormat> out;
    for (int r = 0; r < table_->rowCount(); ++r) {
        ColumnFormat c;
        c.title = table_->item(r, 0)->data(Qt::UserRole).toString();
        c.picture = table_->item(r, 0)->data(Qt::UserRole + 1).toString();
        const bool shown = qobject_cast<QCheckBox*>(table_->cellWidget(r, 1))->isChecked();
        c.width = shown ? qobject_cast<QSpinBox*>(table_->cellWidget(r, 2))->value() : 0;
        out.push_back(c);
    }
    return FormatText(out);
}

void FormatBrowseBox::swapRows(int a, int b) {
    std::vector<ColumnFormat> columns = ParseFormat(format());
    // A hidden column keeps its width through the move.
    std::vector<int> widths;
    for (int r = 0; r < table_->rowCount(); ++r)
        widths.push_back(qobject_cast<QSpinBox*>(table_->cellWidget(r, 2))->value());
    std::vector<bool> shown;
    for (const ColumnFormat& c : columns)
        shown.push_back(c.width > 0);
    std::swap(columns[static_cast<std::size_t>(a)], columns[static_cast<std::size_t>(b)]);
    std::swap(widths[static_cast<std::size_t>(a)], widths[static_cast<std::size_t>(b)]);
    load(columns);
    for (int r = 0; r < table_->rowCount(); ++r)
        qobject_cast<QSpinBox*>(table_->cellWidget(r, 2))->setValue(widths[static_cast<std::size_t>(r)]);
    table_->selectRow(b);
}

void FormatBrowseBox::moveUp() {
    const int r = table_->currentRow();
    if (r > 0)
        swapRows(r, r - 1);
}

void FormatBrowseBox::moveDown() {
    const int r = table_->currentRow();
    if (r >= 0 && r + 1 < table_->rowCount())
        swapRows(r, r + 1);
}

void FormatBrowseBox::reset() {
    load(ParseFormat(builtIn_));
}

} // namespace kr
