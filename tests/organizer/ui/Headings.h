#pragma once

// Which column headings of a list do not fit the width the column opens with.

#include <QFontMetrics>
#include <QHeaderView>
#include <QStringList>
#include <QStyle>
#include <QTableView>

namespace kr::test {

// The headings, with their widths, whose text and the style's margins on both sides are
// wider than their column.
inline QStringList CutHeadings(const QTableView* list) {
    const QHeaderView* header = list->horizontalHeader();
    const QFontMetrics metrics(header->font());
    const int margins = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    QStringList cut;
    for (int i = 0; i < header->count(); ++i) {
        const QString title = list->model()->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
        if (title.isEmpty() || header->isSectionHidden(i))
            continue;
        const int needed = metrics.horizontalAdvance(title) + margins;
        if (header->sectionSize(i) < needed)
            cut << QStringLiteral("%1 (%2 < %3)").arg(title).arg(header->sectionSize(i)).arg(needed);
    }
    return cut;
}

} // namespace kr::test
