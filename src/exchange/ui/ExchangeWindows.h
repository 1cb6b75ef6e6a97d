#pragma once

// The windows of the data exchange: Synchronize, the export and import windows of the
// comma-delimited files, and the picture prompt they share.

#include "exchange/CsvExchange.h"
#include "platform/IniFile.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace kr {

class FileDialogs;
class Store;
class TableListeners;

struct ExchangeContext {
    Store& store;
    Dialogs& dialogs;
    FileDialogs& files;
    ProgressWindows progress; // a window of its own for each run
    const IniFile& positions;
    TableListeners& listeners;
    QString syncFile; // the synchronization file chosen last in this run
};

// "Enter Picture...": the new picture, or blank when cancelled. A picture that does not begin
// with "@" is refused and the prompt stays.
class PicturePrompt final : public QDialog {
public:
    PicturePrompt(Dialogs& dialogs, const QString& current, QWidget* parent = nullptr);
    QString picture() const;
    void accept() override;

private:
    Dialogs& dialogs_;
    QLineEdit* edit_;
};
QString AskPicture(Dialogs& dialogs, const QString& current, QWidget* parent);

class Synchronize final : public QDialog {
public:
    Synchronize(ExchangeContext& ctx, QWidget* parent = nullptr);
    void done(int result) override;

private:
    void run(bool send);
    ExchangeContext& ctx_;
};

// "Choose Fields for Export..." for one table.
class ExportWindow final : public QDialog {
public:
    ExportWindow(ExchangeContext& ctx, const ExchangeTable& table, QWidget* parent = nullptr);
    void accept() override;

    // For tests and the buttons.
    void addMarked();
    void removeMarked();
    void shift(int by);
    void changePicture();
    const std::vector<ExchangeField>& chosen() const { return chosen_; }
    QListWidget* allFields() const { return all_; }
    QTreeWidget* exportFields() const { return list_; }
    QString kindText() const;

private:
    void showChosen(int select);

    ExchangeContext& ctx_;
    const ExchangeTable& table_;
    std::vector<ExchangeField> chosen_;
    QListWidget* all_;
    QTreeWidget* list_;
    QLabel* kind_;
    QCheckBox* header_;
};

// "Assign fields for Import..." for one table and one file.
class ImportWindow final : public QDialog {
public:
    ImportWindow(ExchangeContext& ctx, const ExchangeTable& table, ImportFile file,
                 QWidget* parent = nullptr);
    // Asks for the file ("Import File"), again while it is empty; null when the user gave up.
    static ImportWindow* open(ExchangeContext& ctx, const ExchangeTable& table, QWidget* parent);
    void accept() override;

    void autoAssign();
    void next();
    void changePicture();
    void assign();
    void unassign();
    const Assignments& assignments() const { return assigned_; }
    ImportFile& file() { return file_; }
    QTreeWidget* importFields() const { return fields_; }
    QTreeWidget* targets() const { return targets_; }
    QPushButton* autoButton() const { return auto_; }
    QPushButton* nextButton() const { return next_; }
    QCheckBox* stripHeader() const { return strip_; }

private:
    void showFields();
    void showTargets();
    void fieldSelected();
    void targetSelected();

    ExchangeContext& ctx_;
    const ExchangeTable& table_;
    ImportFile file_;
    Assignments assigned_;
    QTreeWidget* fields_;
    QTreeWidget* targets_;
    QCheckBox* strip_;
    QPushButton* auto_;
    QPushButton* next_;
    QLabel* record_;
    bool selecting_ = false;
};

// The procedures of the menu: "Synchronize", "ExportSchedule" ... "ImportTodo".
QStringList ExchangeProcedures();
// Opens the procedure's window; false for a name that is none of them.
bool OpenExchangeWindow(const QString& procedure, ExchangeContext& ctx, QWidget* parent);

} // namespace kr
