#pragma once

// A text file shown line by line in a fixed-pitch list, with Find, Find Next and Print: the
// View Log window and the list of key names.

#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "platform/qt/QtProgress.h"

#include <QDialog>
#include <QFile>
#include <QStringList>

#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPrinter;
class QRadioButton;
class QTimer;

namespace kr {

// The line to go to when searching from `from` (exclusive) in a direction; -1 when the end
// (or the beginning) of the lines is reached without a match.
int FindInLines(const QStringList& lines, int from, const QString& what, bool wholeWord, bool matchCase,
                bool down);

class TextViewer final : public QDialog {
    Q_OBJECT
public:
    // A heading over a fixed column of the lines, `width` characters wide.
    struct Column {
        QString title;
        int width = 0;
    };
    struct Options {
        QString title;                // "View Log"
        QString procedure;            // where POSITION.INI keeps its position
        bool reportLoadErrors = true; // a missing or empty file is reported; else the list stays empty
    };
    TextViewer(Options options, QString path, Dialogs& dialogs, IniFile positions, QWidget* parent = nullptr);
    ~TextViewer() override;

    // A file that does not exist is then an empty file: no error is reported and the note
    // shows in the status line. Set before open().
    void setMissingNote(const QString& note) { missingNote_ = note; }
    // Headings over the list, one per fixed column of the lines.
    void setColumns(const std::vector<Column>& columns);

    // Starts loading; the lines arrive over the following timer ticks.
    void open();
    // Reads the next part of the file (at least 20,000 bytes, or to its end); false at the end.
    bool loadStep();
    bool loading() const { return file_.isOpen(); }
    // Asks whether to stop loading; true when the user agreed (the lines so far are kept).
    bool cancelLoading();

    const QStringList& lines() const { return lines_; }
    // The status line under the list; empty when it has nothing to say.
    QString statusText() const;
    // The headings over the list, laid out at the columns' widths; empty without columns.
    QString headingText() const;
    int currentLine() const;
    void setCurrentLine(int line);

    // The search as the Find window sets it up, and Find Next.
    void setSearch(const QString& what, bool wholeWord, bool matchCase, bool down);
    bool findNext();
    void showFindWindow();

    void print(QPrinter& printer) const;
    void closeEvent(QCloseEvent* event) override;

private:
    void finishLoading();
    void buildFindWindow();

    Options options_;
    QString path_;
    Dialogs& dialogs_;
    IniFile positions_;
    QFile file_;
    qint64 size_ = 0;
    qint64 read_ = 0;
    int percent_ = -1;
    QStringList lines_;
    QListWidget* list_ = nullptr;
    std::unique_ptr<QtProgress> progress_;
    QLabel* heading_ = nullptr;
    QString missingNote_;
    QLabel* status_ = nullptr;
    QTimer* timer_ = nullptr;

    QString what_;
    bool wholeWord_ = false;
    bool matchCase_ = false;
    bool down_ = true;

    QDialog* find_ = nullptr;
    QLineEdit* findWhat_ = nullptr;
    QCheckBox* findWhole_ = nullptr;
    QCheckBox* findCase_ = nullptr;
    QRadioButton* findUp_ = nullptr;
    QRadioButton* findDown_ = nullptr;
};

} // namespace kr
