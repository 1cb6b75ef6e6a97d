#include "organizer/ui/ListParts.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include <algorithm>

namespace kr {

QTableView* MakeRecordList(QWidget* parent) {
    auto* list = new QTableView(parent);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setTabKeyNavigation(false);
    list->setWordWrap(false);
    list->setShowGrid(false);
    list->setAlternatingRowColors(true);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->verticalHeader()->hide();
    // Rows of one height: the view never measures rows it does not show.
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 8);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setHighlightSections(false);
    list->horizontalHeader()->setStretchLastSection(true);
    return list;
}

QPushButton* MakeButton(const QString& text, QWidget* window, const std::function<void()>& action) {
    auto* b = new QPushButton(text, window);
    QObject::connect(b, &QPushButton::clicked, window, action);
    return b;
}

int CharsWidth(const QWidget* w, int chars) {
    return w->fontMetrics().averageCharWidth() * chars + 16;
}

int ColumnWidth(const QTableView* list, int column, int chars) {
    // The header's own measure of the heading: its font, the style's margins, a sort mark.
    return std::max(CharsWidth(list, chars), list->horizontalHeader()->sectionSizeHint(column));
}

void FitHeadings(QTableView* list) {
    QHeaderView* header = list->horizontalHeader();
    for (int i = 0; i < header->count(); ++i)
        if (!header->isSectionHidden(i) && header->sectionSize(i) < header->sectionSizeHint(i))
            header->resizeSection(i, header->sectionSizeHint(i));
}

} // namespace kr
