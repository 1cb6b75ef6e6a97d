#pragma once

// The stored e-mail messages and news articles: the list (BrowseMessages), also used to pick
// a message for a Send Email step, and the form for one message (UpdateMessages).

#include "mail/SendStoredMessage.h"
#include "platform/FileDialogs.h"
#include "platform/IniFile.h"
#include "store/RecordChanges.h"

#include <QDialog>
#include <QWidget>

#include <vector>

class QComboBox;
class QFormLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace kr {

struct MessageWindowContext {
    Store& store;
    Dialogs& dialogs;
    FileDialogs& files;
    const Settings& settings;
    IniFile positions; // POSITION.INI
    // What "Send &Now" sends with: the program's, shared by every list, so that a send goes
    // on to its end, stamped and logged, when the list that started it is closed.
    MailSender& sender;
};

// The type as the list shows it: "Email" for a blank type.
QString MessageTypeText(const QString& mailType);

class UpdateMessages final : public QDialog {
    Q_OBJECT
public:
    // Adds (Request::Insert, the record already reserved under its number) or changes the
    // message, which the caller loaded with change detection armed.
    UpdateMessages(MessageWindowContext& ctx, Request request, const Messages& message,
                   QWidget* parent = nullptr);

    const Messages& message() const { return record_; }
    QComboBox* typeField() const { return type_; }
    QLineEdit* field(const QString& label) const;
    QComboBox* categoryField() const { return category_; }
    QPlainTextEdit* bodyField() const { return body_; }
    // Whether the row of the label shows for the type chosen.
    bool rowShown(const QString& label) const;

    void accept() override;
    void reject() override;
    void done(int result) override;

private:
    void showType();
    void browseAttachment();
    QLineEdit* addText(const QString& label, int width);

    MessageWindowContext& ctx_;
    Table<Messages> table_;
    Messages record_;
    RecordEditor<Messages> editor_;
    QFormLayout* form_ = nullptr;
    QComboBox* type_ = nullptr;
    QComboBox* category_ = nullptr;
    QPlainTextEdit* body_ = nullptr;
    std::vector<std::pair<QString, QLineEdit*>> texts_;
};

class BrowseMessages final : public QWidget {
    Q_OBJECT
public:
    // As a picker the list offers "&Select" and says which message was chosen.
    BrowseMessages(MessageWindowContext ctx, bool picker = false, qint32 current = 0,
                   QWidget* parent = nullptr);
    ~BrowseMessages() override;

    QTableWidget* list() const { return list_; }
    qint32 currentId() const;
    void refresh(qint32 select = 0);

    void addMessage();
    void copyMessage();
    void editMessage();
    void deleteMessage();
    void sendNow();
    QPushButton* button(const QString& text) const;
    MailSender& sender() { return ctx_.sender; }

Q_SIGNALS:
    void selected(qint32 emailId);
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void insert(Messages primed);
    void reportSend(qint32 code, const QString& reply);
    void sendEnded(quint64 send, qint32 code, const QString& reply);
    void enableButtons();

    MessageWindowContext ctx_;
    bool picker_;
    QTableWidget* list_ = nullptr;
    std::vector<Messages> rows_;
    // The send this list started and waits for; 0: none.
    quint64 ownSend_ = 0;
};

// The picker of the script item editor: the list in a dialog; the chosen number, or 0.
qint32 PickMessage(const MessageWindowContext& ctx, qint32 current, QWidget* parent = nullptr);

} // namespace kr
