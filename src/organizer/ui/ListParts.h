#pragma once

// Pieces the organizer's list windows share.

#include <QString>
#include <QTableView>
#include <QtGlobal>

#include <functional>

class QPushButton;
class QTableView;
class QWidget;

namespace kr {

// A list of whole rows, read only, one row highlighted at a time.
QTableView* MakeRecordList(QWidget* parent);
QPushButton* MakeButton(const QString& text, QWidget* window, const std::function<void()>& action);
// The width of a column that shows `chars` characters of text.
int CharsWidth(const QWidget* w, int chars);
// The width of a column that shows `chars` characters of text under its whole heading.
int ColumnWidth(const QTableView* list, int column, int chars);
// Widens each column whose heading does not fit it.
void FitHeadings(QTableView* list);

// Highlights the record with row id `rowid` and brings it into view; the first row when the
// list does not hold it.
template <class Model> void HighlightRecord(Model& model, QTableView& list, qint64 rowid) {
    const int row = rowid != 0 ? model.rowOf(rowid) : -1;
    if (row >= 0) {
        list.selectRow(row);
        list.scrollTo(model.index(row, 0));
    } else if (model.rowCount() > 0) {
        list.selectRow(0);
    }
}

// Reads the list again. The highlighted record stays highlighted; when it is gone, the row
// that took its place (or the last row) is.
template <class Model> void RefreshKeepingHighlight(Model& model, QTableView& list) {
    const int row = list.currentIndex().row();
    const qint64 keep = model.rowidAt(row);
    model.refresh();
    if (model.rowOf(keep) >= 0)
        HighlightRecord(model, list, keep);
    else if (model.rowCount() > 0)
        list.selectRow(qBound(0, row, model.rowCount() - 1));
}

} // namespace kr
