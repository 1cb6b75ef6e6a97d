#include "mail/ui/MessageWindows.h"

#include "platform/Text.h"
#include "platform/qt/WindowPosition.h"
#include "store/Numbering.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kr {

namespace {

const QString kEmail = QStringLiteral("Email");
const QString kMassMailing = QStringLiteral("Mass Mailing");
const QString kNews = QStringLiteral("News");

// The labels of the rows each type shows.
const QStringList kEmailRows{QStringLiteral("To:"), QStringLiteral("To name:"), QStringLiteral("Cc:"),
                             QStringLiteral("Bcc:")};
const QStringList kNewsRows{QStringLiteral("Newsgroup:"), QStringLiteral("Group name:")};
const QString kCategoryRow = QStringLiteral("Contact category:");

QPushButton* MakeButton(const QString& text, QWidget* owner, const std::function<void()>& action) {
    auto* b = new QPushButton(text, owner);
    QObject::connect(b, &QPushButton::clicked, owner, action);
    return b;
}

QStringList ContactCategoryNames(Store& store) {
    QStringList names;
    Table<ContactCategories> table(store);
    ContactCategories c{};
    table.set(ContactCategories::KEYCONTACTCATEGORIES);
    while (table.next(c) == Err::None)
        names << Clip(c.contactCategory);
    return names;
}

} // namespace

QString MessageTypeText(const QString& mailType) {
    const QString t = Clip(mailType);
    return t.isEmpty() ? kEmail : t;
}

// --------------------------------------------------------------------------- UpdateMessages

UpdateMessages::UpdateMessages(MessageWindowContext& ctx, Request request, const Messages& message,
                               QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , table_(ctx.store)
    , record_(message)
    , editor_(table_, request, message, {false, request == Request::Insert, {}}) {
    setObjectName(QStringLiteral("UpdateMessages"));
    setWindowTitle(QStringLiteral("Adding/Changing an Email Message"));
    auto* layout = new QVBoxLayout(this);
    form_ = new QFormLayout;
    type_ = new QComboBox;
    type_->addItems({kEmail, kMassMailing, kNews});
    const QString type = Clip(record_.mailType);
    type_->setCurrentText(type == kMassMailing || type == kNews ? type : kEmail);
    form_->addRow(QStringLiteral("&Type:"), type_);

    const bool news = type == kNews;
    addText(QStringLiteral("To:"), 255)->setText(news ? QString() : Clip(record_.emailTo));
    addText(QStringLiteral("To name:"), 255)->setText(news ? QString() : Clip(record_.emailToName));
    addText(QStringLiteral("Cc:"), 255)->setText(Clip(record_.cc));
    addText(QStringLiteral("Bcc:"), 255)->setText(Clip(record_.bcc));
    category_ = new QComboBox;
    category_->setEditable(false);
    category_->addItems(ContactCategoryNames(ctx_.store));
    if (!Clip(record_.emailToGroup).isEmpty() && category_->findText(Clip(record_.emailToGroup)) < 0)
        category_->addItem(Clip(record_.emailToGroup));
    category_->setCurrentText(Clip(record_.emailToGroup));
    form_->addRow(kCategoryRow, category_);
    addText(QStringLiteral("Newsgroup:"), 255)->setText(news ? Clip(record_.emailTo) : QString());
    addText(QStringLiteral("Group name:"), 255)->setText(news ? Clip(record_.emailToName) : QString());
    addText(QStringLiteral("Subject:"), 255)->setText(Clip(record_.subject));

    auto* attachmentRow = new QHBoxLayout;
    auto* attachment = new QLineEdit(Clip(record_.attachment));
    attachment->setMaxLength(255);
    texts_.emplace_back(QStringLiteral("Attachment:"), attachment);
    attachmentRow->addWidget(attachment, 1);
    attachmentRow->addWidget(MakeButton(QStringLiteral("&Browse..."), this, [this] { browseAttachment(); }));
    form_->addRow(QStringLiteral("Attachment:"), attachmentRow);

    body_ = new QPlainTextEdit(record_.message.left(MailSender::kBodyWidth));
    form_->addRow(QStringLiteral("&Message:"), body_);
    connect(body_, &QPlainTextEdit::textChanged, this, [this] {
        // The body holds at most 10,000 characters.
        if (body_->toPlainText().size() > MailSender::kBodyWidth) {
            const QString cut = body_->toPlainText().left(MailSender::kBodyWidth);
            body_->setPlainText(cut);
            body_->moveCursor(QTextCursor::End);
        }
    });
    auto* lastSent = new QLineEdit(FormatDate(record_.lastDateSent, ctx_.settings.dateFormat));
    lastSent->setReadOnly(true);
    form_->addRow(QStringLiteral("Last sent:"), lastSent);
    layout->addLayout(form_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateMessages::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &UpdateMessages::reject);
    layout->addWidget(buttons);
    connect(type_, &QComboBox::currentTextChanged, this, &UpdateMessages::showType);
    showType();
    resize(560, 520);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

QLineEdit* UpdateMessages::addText(const QString& label, int width) {
    auto* edit = new QLineEdit;
    edit->setMaxLength(width);
    form_->addRow(label, edit);
    texts_.emplace_back(label, edit);
    return edit;
}

QLineEdit* UpdateMessages::field(const QString& label) const {
    for (const auto& [l, edit] : texts_)
        if (l == label)
            return edit;
    return nullptr;
}

bool UpdateMessages::rowShown(const QString& label) const {
    QWidget* w = label == kCategoryRow ? static_cast<QWidget*>(category_) : field(label);
    return w != nullptr && form_->isRowVisible(w);
}

void UpdateMessages::showType() {
    const QString type = type_->currentText();
    for (const QString& l : kEmailRows)
        form_->setRowVisible(field(l), type == kEmail);
    for (const QString& l : kNewsRows)
        form_->setRowVisible(field(l), type == kNews);
    form_->setRowVisible(category_, type == kMassMailing);
}

void UpdateMessages::browseAttachment() {
    QLineEdit* attachment = field(QStringLiteral("Attachment:"));
    const QString file = ctx_.files.openFile(QStringLiteral("Select the Attachment"),
                                             QStringLiteral("All files (*)"), attachment->text());
    if (!file.isEmpty())
        attachment->setText(file.left(255));
}

void UpdateMessages::accept() {
    Messages r = record_;
    const QString type = type_->currentText();
    r.mailType = type == kEmail ? QString() : type;
    if (type == kNews) {
        r.emailTo = field(QStringLiteral("Newsgroup:"))->text();
        r.emailToName = field(QStringLiteral("Group name:"))->text();
    } else if (type == kMassMailing) {
        r.emailToGroup = category_->currentText().left(20);
    } else {
        r.emailTo = field(QStringLiteral("To:"))->text();
        r.emailToName = field(QStringLiteral("To name:"))->text();
        r.cc = field(QStringLiteral("Cc:"))->text();
        r.bcc = field(QStringLiteral("Bcc:"))->text();
    }
    r.subject = field(QStringLiteral("Subject:"))->text();
    r.attachment = field(QStringLiteral("Attachment:"))->text();
    r.message = body_->toPlainText().left(MailSender::kBodyWidth);
    switch (editor_.save(r)) {
    case EditOutcome::Saved:
        record_ = r;
        QDialog::accept();
        return;
    case EditOutcome::Unsaved:
        QDialog::reject();
        return;
    case EditOutcome::Redisplay:
        record_ = r; // another station's version; the user sees it on the next opening
        QDialog::reject();
        return;
    case EditOutcome::Stay:
    case EditOutcome::StayFirstField:
        type_->setFocus();
        return;
    }
}

void UpdateMessages::reject() {
    editor_.cancel(record_);
    QDialog::reject();
}

void UpdateMessages::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

// --------------------------------------------------------------------------- BrowseMessages

BrowseMessages::BrowseMessages(MessageWindowContext ctx, bool picker, qint32 current, QWidget* parent)
    : QWidget(parent)
    , ctx_(std::move(ctx))
    , picker_(picker) {
    setObjectName(QStringLiteral("BrowseMessages"));
    setWindowTitle(QStringLiteral("Email Messages"));
    auto* layout = new QHBoxLayout(this);
    list_ = new QTableWidget(0, 4, this);
    list_->setHorizontalHeaderLabels({QStringLiteral("Type"), QStringLiteral("Send to"),
                                      QStringLiteral("Subject"), QStringLiteral("Last Sent")});
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    layout->addWidget(list_, 1);
    auto* column = new QVBoxLayout;
    if (picker_) {
        auto* select = MakeButton(QStringLiteral("&Select"), this, [this] {
            if (currentId() != 0)
                Q_EMIT selected(currentId());
        });
        select->setDefault(true);
        column->addWidget(select);
        column->addSpacing(12);
    }
    column->addWidget(MakeButton(QStringLiteral("&Add"), this, [this] { addMessage(); }));
    column->addWidget(MakeButton(QStringLiteral("Cop&y"), this, [this] { copyMessage(); }));
    column->addWidget(MakeButton(QStringLiteral("&Edit"), this, [this] { editMessage(); }));
    column->addWidget(MakeButton(QStringLiteral("&Delete"), this, [this] { deleteMessage(); }));
    column->addSpacing(12);
    column->addWidget(MakeButton(QStringLiteral("Send &Now"), this, [this] { sendNow(); }));
    column->addStretch(1);
    column->addWidget(MakeButton(QStringLiteral("Cl&ose"), this, [this] { close(); }));
    layout->addLayout(column);
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this] {
        if (picker_ && currentId() != 0)
            Q_EMIT selected(currentId());
        else
            editMessage();
    });
    connect(&ctx_.sender, &MailSender::finished, this, &BrowseMessages::sendEnded);
    connect(&ctx_.sender, &MailSender::busyChanged, this, &BrowseMessages::enableButtons);
    refresh(current);
    resize(640, 320);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

BrowseMessages::~BrowseMessages() = default;

void BrowseMessages::closeEvent(QCloseEvent* event) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    Q_EMIT closed();
    event->accept();
}

QPushButton* BrowseMessages::button(const QString& text) const {
    for (auto* b : findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

qint32 BrowseMessages::currentId() const {
    const int row = list_->currentRow();
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<std::size_t>(row)].emailId
                                                            : 0;
}

void BrowseMessages::refresh(qint32 select) {
    if (select == 0)
        select = currentId();
    rows_.clear();
    list_->setRowCount(0);
    Table<Messages> table(ctx_.store);
    Messages m{};
    table.set(Messages::KEYEMAILID);
    while (table.next(m) == Err::None)
        rows_.push_back(m);
    list_->setRowCount(static_cast<int>(rows_.size()));
    int selectRow = rows_.empty() ? -1 : 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const Messages& r = rows_[i];
        const int row = static_cast<int>(i);
        const QString sendTo = Clip(r.mailType) == kMassMailing ? Clip(r.emailToGroup) : Clip(r.emailTo);
        list_->setItem(row, 0, new QTableWidgetItem(MessageTypeText(r.mailType)));
        list_->setItem(row, 1, new QTableWidgetItem(sendTo));
        list_->setItem(row, 2, new QTableWidgetItem(Clip(r.subject)));
        list_->setItem(row, 3, new QTableWidgetItem(FormatDate(r.lastDateSent, ctx_.settings.dateFormat)));
        if (r.emailId == select)
            selectRow = row;
    }
    if (selectRow >= 0)
        list_->selectRow(selectRow);
    enableButtons();
}

void BrowseMessages::enableButtons() {
    // Nothing to copy, change, delete, send or pick in an empty list; one send at a time.
    for (const char* text : {"Cop&y", "&Edit", "&Delete", "Send &Now", "&Select"})
        if (QPushButton* b = button(QString::fromLatin1(text)))
            b->setEnabled(!rows_.empty());
    button(QStringLiteral("Send &Now"))->setEnabled(!rows_.empty() && !ctx_.sender.busy());
}

void BrowseMessages::insert(Messages primed) {
    Table<Messages> table(ctx_.store);
    if (!ReserveRecordNumber(table, primed))
        return;
    UpdateMessages form(ctx_, Request::Insert, primed, this);
    if (form.exec() == QDialog::Accepted)
        refresh(form.message().emailId);
}

void BrowseMessages::addMessage() {
    insert(Messages{});
}

void BrowseMessages::copyMessage() {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    Messages copy = rows_[static_cast<std::size_t>(row)];
    copy.lastDateSent = 0;
    insert(copy);
}

void BrowseMessages::editMessage() {
    const qint32 id = currentId();
    if (id == 0)
        return;
    Table<Messages> table(ctx_.store);
    Messages m{};
    m.emailId = id;
    table.watch();
    if (table.get(Messages::KEYEMAILID, m) != Err::None) {
        warn::RecordRetrieval(ctx_.dialogs, QStringLiteral("Messages"), table.error());
        refresh();
        return;
    }
    UpdateMessages form(ctx_, Request::Change, m, this);
    form.exec();
    refresh(id);
}

void BrowseMessages::deleteMessage() {
    const qint32 id = currentId();
    if (id == 0)
        return;
    // Script items that send this message would send nothing afterwards.
    int users = 0;
    {
        Table<Scripting> items(ctx_.store);
        Scripting s{};
        s.emailId = id;
        items.set(Scripting::KEYEMAIL, s);
        while (items.next(s) == Err::None && s.emailId == id)
            ++users;
    }
    if (users > 0 &&
        ctx_.dialogs.message(
            QStringLiteral("This message is sent by %1 script item(s). Delete it anyway?").arg(users),
            QStringLiteral("Delete Message"), Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No,
            Dialogs::No) != Dialogs::Yes)
        return;
    Table<Messages> table(ctx_.store);
    Messages m{};
    m.emailId = id;
    table.watch();
    if (table.get(Messages::KEYEMAILID, m) != Err::None) {
        refresh();
        return;
    }
    RecordEditor<Messages> editor(table, Request::Delete, m, {});
    if (editor.remove(m))
        refresh();
}

void BrowseMessages::sendNow() {
    const qint32 id = currentId();
    if (id == 0 || ctx_.sender.busy())
        return;
    const qint32 code = ctx_.sender.sendStoredMessage(id);
    if (code == MailSender::kPending)
        ownSend_ = ctx_.sender.lastSend();
    else
        reportSend(code, ctx_.sender.lastReply());
}

void BrowseMessages::sendEnded(quint64 send, qint32 code, const QString& reply) {
    if (send != ownSend_) {
        refresh();
        return;
    }
    ownSend_ = 0;
    reportSend(code, reply);
}

void BrowseMessages::reportSend(qint32 code, const QString& reply) {
    if (code == kMailSent)
        ctx_.dialogs.message(QStringLiteral("Sent."), QStringLiteral("Send Now"), Dialogs::Icon::Information);
    else
        ctx_.dialogs.message(MailErrorText(code, reply), QStringLiteral("Send Now"),
                             Dialogs::Icon::Exclamation);
    refresh();
}

qint32 PickMessage(const MessageWindowContext& ctx, qint32 current, QWidget* parent) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Email Messages"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* list = new BrowseMessages(ctx, true, current, &dialog);
    layout->addWidget(list);
    qint32 chosen = 0;
    QObject::connect(list, &BrowseMessages::selected, &dialog, [&](qint32 id) {
        chosen = id;
        dialog.accept();
    });
    QObject::connect(list, &BrowseMessages::closed, &dialog, &QDialog::reject);
    dialog.resize(list->size());
    dialog.exec();
    return chosen;
}

} // namespace kr
