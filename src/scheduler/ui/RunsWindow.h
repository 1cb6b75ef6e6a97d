#pragma once

// The runs of one task, newest first: when each was due and started, how long it took, how it
// ended and on which station; the output a run printed opens in the text viewer or goes to the
// clipboard.

#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QDialog>

#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace kr {

struct RunsWindowContext {
    Store& store;
    Dialogs& dialogs;
    IniFile positions; // POSITION.INI
    QString datePicture = QStringLiteral("d3");
};

// "12 ms", "4.2 s", "3 min 5 s", "2 h 10 min"; empty for a negative duration.
QString DurationText(qint64 ms);

class RunsWindow final : public QDialog {
    Q_OBJECT
public:
    // The window lists at most this many runs, the newest.
    static constexpr int kShown = 2000;

    RunsWindow(RunsWindowContext ctx, qint32 taskId, const QString& description, QWidget* parent = nullptr);
    ~RunsWindow() override;

    // Reads the runs again; false (and said) when they could not be read.
    bool refresh();
    const std::vector<Runs>& runs() const { return runs_; }
    QTreeWidget* list() const { return list_; }
    // The highlighted run, null when none.
    const Runs* current() const;
    // The output file of a run; empty when it kept none.
    QString outputPath(const Runs& r) const;

    void showOutput();
    void copyOutput();

protected:
    void done(int result) override;

private:
    void updateButtons();

    RunsWindowContext ctx_;
    qint32 taskId_;
    std::vector<Runs> runs_;
    QTreeWidget* list_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* output_ = nullptr;
    QPushButton* copy_ = nullptr;
};

} // namespace kr
