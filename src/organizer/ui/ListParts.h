#pragma once

// Pieces the organizer's list windows share.

#include <QString>

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

} // namespace kr
