#pragma once

// The contact list (BrowseContacts) and the form for one contact (UpdateContacts).

#include "organizer/RecordListModel.h"
#include "organizer/ui/Categories.h"
#include "organizer/ui/OrganizerContext.h"
#include "store/RecordChanges.h"
#include "store/Tables.h"

#include <QDialog>
#include <QWidget>

#include <memory>
#include <optional>

class QComboBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabBar;
class QTableView;

namespace kr {

class UpdateContacts final : public QDialog {
    Q_OBJECT
public:
    // Adds a contact primed from `contact` under a number reserved now (Request::Insert), or
    // changes the one given (Request::Change), which the caller loaded with change detection
    // armed. ready() is false when no number could be reserved.
    UpdateContacts(OrganizerContext& ctx, Request request, const Contact& contact, QWidget* parent = nullptr);

    bool ready() const { return ready_; }
    const Contact& contact() const { return record_; }
    // The field of a column of the contact (Contact::LASTNAME ...).
    QLineEdit* field(int column) const;
    QComboBox* categoryField() const { return category_; }
    QPlainTextEdit* notesField() const { return notes_; }
    QPushButton* okButton() const { return ok_; }

    // Leaving "Contact Category:": a name not listed may be added as a new category. False
    // (and the focus back there) when the field is refused.
    bool checkCategory();

    void accept() override;
    void reject() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadCategories();
    void load(const Contact& c);
    void read(Contact& c) const;

    OrganizerContext& ctx_;
    QString openTitle_; // the caption once open: what is being done
    Table<Contact> table_;
    Contact record_;
    std::unique_ptr<RecordEditor<Contact>> editor_;
    bool ready_ = true;
    std::vector<std::pair<int, QLineEdit*>> fields_;
    QComboBox* category_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool checking_ = false;
};

class BrowseContacts final : public QWidget {
    Q_OBJECT
public:
    enum Tab { LastNameTab, FirstNameTab, WorkPhoneTab, HomePhoneTab, FaxTab, EmailTab, CategoryTab };

    // `picker`: called to pick a contact; "&Select" then shows and returns it.
    explicit BrowseContacts(OrganizerContext ctx, bool picker = false, QWidget* parent = nullptr);
    ~BrowseContacts() override;

    RecordListModel<Contact>* model() const { return model_; }
    QTableView* list() const { return list_; }
    QTabBar* tabs() const { return tabs_; }
    // The button with the text, nullptr when there is none.
    QPushButton* button(const QString& text) const;
    const Contact* current() const;
    void highlight(qint64 rowid);
    // The contact chosen with "&Select".
    const std::optional<Contact>& selected() const { return selected_; }

    void copyToClipboard();
    void addContact();
    void editContact();
    void deleteContact();
    void copyContact();
    void selectContact();
    void pick();
    void sendMail();
    void openWebSite();
    // "Format BrowseBox": the columns shown, their widths and order, kept for next time.
    void formatColumns();
    std::unique_ptr<QMenu> contextMenu();

public Q_SLOTS:
    void refresh();

Q_SIGNALS:
    void contactSelected(const kr::Contact& contact);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void applyTab();
    void updateButtons();
    bool reloadCurrent(Table<Contact>& table, Contact& record);
    void openAddress(const std::optional<QString>& address);

    OrganizerContext ctx_;
    bool picker_;
    RecordListModel<Contact>* model_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QTableView* list_ = nullptr;
    std::vector<QPushButton*> buttons_;
    std::optional<Contact> selected_;
};

} // namespace kr
