#pragma once

// The script list of one task ("Scripting"): its items in order with their descriptions,
// the item editor for adding, copying and changing them, deletion and the four moves, and
// the commands on the script as a whole (import, export, clear, print).

#include "script/ui/UpdateScripting.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

namespace kr {

class BrowseScript final : public QDialog {
    Q_OBJECT
public:
    BrowseScript(const ScriptWindowContext& ctx, const Schedule& task, QWidget* parent = nullptr);

    QTableWidget* list() const { return list_; }
    // The note that the task's type never runs its script; hidden when it does.
    QLabel* scriptNotRunNote() const { return note_; }
    const std::vector<Scripting>& items() const { return items_; }
    // The button with this text ("&Add", "Cl&ose", or a move button's tip).
    QPushButton* button(const QString& text) const;

    // Reads the task's items again and highlights the given row (kept in range).
    void refresh(int row);

    // The buttons' work, on the highlighted item.
    void addItem();
    void copyItem();
    void editItem();
    void deleteItem();
    void moveUp();
    void moveToTop();
    void moveDown();
    void moveToBottom();
    void importScript();
    void exportScript();
    void clearScript();
    void printScript();

    void done(int result) override;

private:
    // The highlighted item reloaded and watched for other stations' changes; false when it
    // is gone (reported).
    bool reloadCurrent(Scripting& item);
    int currentRow() const;
    void updateButtons();

    ScriptWindowContext ctx_;
    Schedule task_;
    QTableWidget* list_ = nullptr;
    QLabel* note_ = nullptr;
    std::vector<Scripting> items_;
    std::vector<QPushButton*> buttons_;
};

} // namespace kr
