#pragma once

// The column format of a list window, "width~Title~@picture@" per column joined by "|", as
// kept in POSITION.INI under "SRCF?Browse:1" with the built-in format it was saved against
// under "SRCFOriginal?Browse:1"; and the editor that changes it. A width of 0 hides the
// column.

#include "platform/IniFile.h"

#include <QDialog>

#include <vector>

class QHeaderView;
class QTableWidget;

namespace kr {

inline const QString kUserFormatKey = QStringLiteral("SRCF?Browse:1");
inline const QString kOriginalFormatKey = QStringLiteral("SRCFOriginal?Browse:1");

struct ColumnFormat {
    int width = 0;
    QString title;
    QString picture;
};

// The columns of a format; empty when the text is not a format.
std::vector<ColumnFormat> ParseFormat(const QString& format);
QString FormatText(const std::vector<ColumnFormat>& columns);
// Every "@D..." picture (any letter case) replaced, up to the next "@", by `datePicture`.
QString WithDatePicture(const QString& format, const QString& datePicture);
// The format the list opens with: the user's saved layout when it was saved against the
// built-in format in force now and names the same columns; otherwise the built-in one,
// which is recorded for next time.
QString ChooseListFormat(const IniFile& positions, const QString& procedure, const QString& builtIn);
// Keeps the user's format for the list.
void SaveListFormat(const IniFile& positions, const QString& procedure, const QString& builtIn,
                    const QString& format);

// Lays the header's columns out as the format says; the columns are matched by title.
void ApplyListFormat(QHeaderView* header, const QString& format);
// The header's layout as a format, with the pictures of the built-in format.
QString HeaderFormat(const QHeaderView* header, const QString& builtIn);

// "Format BrowseBox": the columns of a list with shown or hidden, width and order.
class FormatBrowseBox final : public QDialog {
    Q_OBJECT
public:
    FormatBrowseBox(const QString& format, const QString& builtIn, QWidget* parent = nullptr);

    QTableWidget* columns() const { return table_; }
    // The format as edited.
    QString format() const;
    void moveUp();
    void moveDown();
    void reset();

private:
    void load(const std::vector<ColumnFormat>& columns);
    void swapRows(int a, int b);

    QString builtIn_;
    QTableWidget* table_ = nullptr;
};

} // namespace kr
