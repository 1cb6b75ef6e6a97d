#pragma once

// The Clipboard Saver window (BrowseClipboard): every saved clipboard text, copied back,
// viewed, deleted, marked "Save" and run; and the record window (UpdateClipboard).

#include "platform/Clipboard.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "store/Settings.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QDialog>
#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabBar;
class QTableView;

namespace kr {

template <class R> class RecordListModel;

struct ClipboardWindowContext {
    Store& store;
    Dialogs& dialogs;
    const Settings& settings;
    SystemClipboard& clipboard;
    IniFile positions; // POSITION.INI
    // Run on an entry's text (RunClipboardText): what it names, each started as one name.
    std::function<void(const QString& text)> run;
};

// The text as the list shows it: the first 255 characters, line breaks as "↵".
QString ClipboardListText(const QString& text);

class UpdateClipboard final : public QDialog {
    Q_OBJECT
public:
    enum class Mode { View, Delete };
    UpdateClipboard(ClipboardWindowContext& ctx, Mode mode, const Clipboard& record,
                    QWidget* parent = nullptr);

    // Delete mode: deletes the record without showing the window, asking again after a
    // failure. True when it is gone.
    bool deleteRecord();

    QPushButton* okButton() const { return ok_; }
    QCheckBox* keepBox() const { return keep_; }
    QPlainTextEdit* textField() const { return text_; }
    QLabel* dateLabel() const { return date_; }
    QLabel* timeLabel() const { return time_; }

private:
    ClipboardWindowContext& ctx_;
    Mode mode_;
    Clipboard record_;
    QPushButton* ok_ = nullptr;
    QCheckBox* keep_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLabel* date_ = nullptr;
    QLabel* time_ = nullptr;
};

class BrowseClipboard final : public QWidget {
    Q_OBJECT
public:
    explicit BrowseClipboard(ClipboardWindowContext ctx, QWidget* parent = nullptr);
    ~BrowseClipboard() override;

    QTableView* list() const { return list_; }
    RecordListModel<Clipboard>* model() const { return model_; }
    QTabBar* tabs() const { return tabs_; }
    QPushButton* button(const QString& text) const;
    // The row number of the highlighted entry, 0 when none.
    qint64 currentRow() const;
    // Reads the list again (only the rows in sight are read), keeping the highlighted entry when
    // it is still there, else the row that took its place. False after a read error (reported;
    // the window closes).
    bool refresh();
    // The table could not be read when the window opened (reported; the window is closed).
    bool readFailed() const { return readFailed_; }

    void copyToClipboard();
    void view();
    void deleteEntry();
    void toggleSave();
    void run();

    // The column layout as it is saved: "width~Title~@picture@" per column.
    QString currentFormat() const;

    // The pop-up menu's entries.
    static QStringList menuTexts();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The highlighted entry read again from the table; false (with the list refreshed) when it
    // is gone.
    bool reread(Clipboard& record);
    void showMenu(const QPoint& at);
    // Shows the order of the tab chosen; false after a read error (reported; the window closes).
    bool showOrder();
    void highlight(qint64 rowid, int otherwise);

    ClipboardWindowContext ctx_;
    QTabBar* tabs_ = nullptr;
    QTableView* list_ = nullptr;
    RecordListModel<Clipboard>* model_ = nullptr;
    bool readFailed_ = false;
};

} // namespace kr
