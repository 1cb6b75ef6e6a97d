#include "organizer/ui/Contacts.h"

#include "organizer/Contacts.h"
#include "organizer/PickedCategory.h"
#include "organizer/ui/ListParts.h"
#include "platform/Text.h"
#include "platform/qt/Fields.h"
#include "platform/qt/ListFormat.h"
#include "platform/qt/WindowPosition.h"
#include "store/Numbering.h"
#include "store/Warnings.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace kr {

namespace {

const QString kListProcedure = QStringLiteral("BrowseContacts");
const QString kFormProcedure = QStringLiteral("UpdateContacts");
constexpr int kCategoryChars = 20;
constexpr int kNotesChars = 1024;

struct TextField {
    const char* label;
    int column;
    QString Contact::*member;
    int width;
};

// The form's text fields in their order; the category's drop list comes after the names.
const TextField kFormFields[] = {
    {"&Last Name:", Contact::LASTNAME, &Contact::lastName, 30},
    {"&First Name:", Contact::FIRSTNAME, &Contact::firstName, 20},
    {"Address Line 1:", Contact::ADDRESSLINE1, &Contact::addressLine1, 30},
    {"Address Line 2:", Contact::ADDRESSLINE2, &Contact::addressLine2, 30},
    {"&Address Line 3:", Contact::ADDRESSLINE3, &Contact::addressLine3, 30},
    {"&Postal Code:", Contact::POSTALCODE, &Contact::postalCode, 10},
    {"&Work/Day Phone:", Contact::WORKDAYPHONE, &Contact::workdayPhone, 20},
    {"&Home/Evening Phone:", Contact::HOMEEVENINGPHONE, &Contact::homeEveningPhone, 20},
    {"&Fax:", Contact::FAX, &Contact::fax, 20},
    {"&Other Phone:", Contact::OTHERPHONE, &Contact::otherPhone, 20},
    {"&Email:", Contact::EMAIL, &Contact::email, 40},
    {"&Web Site:", Contact::WEBSITE, &Contact::website, 60},
};

struct ListColumn {
    const char* title;
    QString Contact::*member;
    int width;
};

const ListColumn kListColumns[] = {
    {"Last Name", &Contact::lastName, 20},
    {"First Name", &Contact::firstName, 16},
    {"Email", &Contact::email, 26},
    {"Work/Day Phone", &Contact::workdayPhone, 16},
    {"Home/Evening Phone", &Contact::homeEveningPhone, 18},
    {"Fax", &Contact::fax, 16},
    {"Contact Category", &Contact::contactCategory, 18},
    {"Address Line 1", &Contact::addressLine1, 22},
    {"Address Line 2", &Contact::addressLine2, 22},
    {"Address Line 3", &Contact::addressLine3, 22},
    {"Postal Code", &Contact::postalCode, 10},
};

// The list's built-in column format, from the columns above: each as wide as its characters
// and its heading need.
QString BuiltInFormat(const QTableView* list) {
    std::vector<ColumnFormat> columns;
    int i = 0;
    for (const ListColumn& c : kListColumns)
        columns.push_back({ColumnWidth(list, i++, c.width), QString::fromLatin1(c.title),
                           QStringLiteral("@s%1@").arg(c.width)});
    return FormatText(columns);
}

CategoryContext CategoriesOf(OrganizerContext& ctx) {
    return CategoryContext{ctx.store, ctx.dialogs, ctx.positions, ctx.dateFormat};
}

} // namespace

// -------------------------------------------------------------------------- UpdateContacts

UpdateContacts::UpdateContacts(OrganizerContext& ctx, Request request, const Contact& contact,
                               QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , table_(ctx.store)
    , record_(contact) {
    Q_ASSERT(request != Request::Delete); // deletes need no form: BrowseContacts::deleteContact
    setObjectName(kFormProcedure);
    // The window's own caption; once open it tells what is being done.
    setWindowTitle(QStringLiteral("Update the Contact File"));
    openTitle_ = request == Request::Insert ? QStringLiteral("Adding a Contact Record")
                                            : QStringLiteral("Changing a Contact Record");
    if (request == Request::Insert)
        ready_ = ReserveRecordNumber(table_, record_);
    RecordEditor<Contact>::Options options;
    options.longMessage = true;
    options.reserved = true;
    options.keyLabel = [](int key) {
        return key == Contact::KEYCLIENTID ? QStringLiteral("C_:KeyClientID") : QString();
    };
    editor_ = std::make_unique<RecordEditor<Contact>>(table_, request, record_, options);

    auto* layout = new QVBoxLayout(this);
    auto* pages = new QTabWidget;
    auto* general = new QWidget;
    auto* form = new QFormLayout(general);
    for (const TextField& f : kFormFields) {
        auto* edit = new QLineEdit;
        edit->setMaxLength(f.width);
        edit->setMinimumWidth(CharsWidth(edit, std::min(f.width, 40)));
        fields_.emplace_back(f.column, edit);
        form->addRow(QString::fromLatin1(f.label), edit);
        if (f.column == Contact::FIRSTNAME) {
            category_ = new QComboBox;
            category_->setEditable(true);
            category_->setInsertPolicy(QComboBox::NoInsert);
            category_->lineEdit()->setMaxLength(kCategoryChars);
            category_->setMinimumWidth(CharsWidth(category_, kCategoryChars + 4));
            form->addRow(QStringLiteral("Contact Category:"), category_);
        }
    }
    pages->addTab(general, QStringLiteral("General"));
    notes_ = new QPlainTextEdit;
    notes_->setTabChangesFocus(true);
    connect(notes_, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = notes_->toPlainText();
        if (text.size() > kNotesChars) {
            notes_->setPlainText(text.left(kNotesChars));
            notes_->moveCursor(QTextCursor::End);
        }
    });
    pages->addTab(notes_, QStringLiteral("Notes"));
    layout->addWidget(pages, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setText(QStringLiteral("&OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateContacts::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &UpdateContacts::reject);
    layout->addWidget(buttons);
    category_->lineEdit()->installEventFilter(this);
    loadCategories();
    load(record_);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

QLineEdit* UpdateContacts::field(int column) const {
    for (const auto& [c, edit] : fields_)
        if (c == column)
            return edit;
    return nullptr;
}

void UpdateContacts::loadCategories() {
    const QString typed = category_->currentText();
    std::vector<CategoryRow> rows;
    MakeCategoryRecord(CategoryKind::Contact, ctx_.store)->readAll(rows);
    category_->clear();
    for (const CategoryRow& r : rows)
        category_->addItem(r.name);
    category_->setEditText(typed);
}

void UpdateContacts::load(const Contact& c) {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        fields_[i].second->setText(Clip(c.*kFormFields[i].member));
    category_->setEditText(Clip(c.contactCategory));
    notes_->setPlainText(c.notes);
}

void UpdateContacts::read(Contact& c) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        c.*kFormFields[i].member = Clip(fields_[i].second->text());
    c.contactCategory = Clip(category_->currentText());
    c.notes = notes_->toPlainText();
}

bool UpdateContacts::checkCategory() {
    const QString typed = Clip(LeftTrimmed(category_->currentText()));
    // No category is a contact's right: there is nothing to add.
    if (typed.isEmpty())
        return true;
    if (const int at = category_->findText(typed, Qt::MatchFixedString); at >= 0) {
        category_->setEditText(category_->itemText(at));
        return true;
    }
    checking_ = true;
    const auto answer =
        ctx_.dialogs.message(QStringLiteral("Add new category?"), QStringLiteral("Category not found"),
                             Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No, Dialogs::Yes);
    bool added = false;
    if (answer == Dialogs::Yes) {
        CategoryContext categories = CategoriesOf(ctx_);
        UpdateCategories form(categories, CategoryKind::Contact,
                              MakeCategoryRecord(CategoryKind::Contact, ctx_.store), typed, this);
        if (form.exec() == QDialog::Accepted) {
            loadCategories();
            category_->setEditText(form.categoryName());
            added = true;
        }
    }
    checking_ = false;
    if (added)
        return true;
    QTimer::singleShot(0, category_, [this] {
        category_->setFocus();
        category_->lineEdit()->selectAll();
    });
    category_->setFocus();
    return false;
}

bool UpdateContacts::eventFilter(QObject* watched, QEvent* event) {
    if (watched == category_->lineEdit() && event->type() == QEvent::FocusOut && !checking_ && isVisible()) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            QTimer::singleShot(0, this, [this] {
                if (!checking_ && isVisible())
                    checkCategory();
            });
    }
    return QDialog::eventFilter(watched, event);
}

void UpdateContacts::accept() {
    if (!ready_ || !checkCategory())
        return;
    read(record_);
    switch (editor_->save(record_)) {
    case EditOutcome::Saved:
        QDialog::accept();
        return;
    case EditOutcome::Unsaved:
        QDialog::reject();
        return;
    case EditOutcome::StayFirstField:
        fields_.front().second->setFocus();
        return;
    case EditOutcome::Redisplay:
        load(record_);
        fields_.front().second->setFocus();
        return;
    case EditOutcome::Stay:
        return;
    }
}

void UpdateContacts::reject() {
    editor_->cancel(record_);
    QDialog::reject();
}

void UpdateContacts::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    setWindowTitle(openTitle_);
}

void UpdateContacts::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

// -------------------------------------------------------------------------- BrowseContacts

BrowseContacts::BrowseContacts(OrganizerContext ctx, bool picker, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , ctx_(std::move(ctx))
    , picker_(picker) {
    setObjectName(kListProcedure);
    setWindowTitle(QStringLiteral("Contacts"));
    using Col = RecordListModel<Contact>::Column;
    std::vector<Col> columns;
    for (const ListColumn& c : kListColumns) {
        QString Contact::*member = c.member;
        columns.push_back({QString::fromLatin1(c.title), [member](const Contact& r, int role) {
                               return role == Qt::DisplayRole ? QVariant(Clip(r.*member)) : QVariant();
                           }});
    }
    model_ = new RecordListModel<Contact>(ctx_.store, std::move(columns), this);
    model_->setRefined([this] { refresh(); });

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabBar;
    for (const char* t :
         {"Last Name", "First Name", "Work/Day Phone", "Home/Evening Phone", "Fax", "Email", "Category"})
        tabs_->addTab(QString::fromLatin1(t));
    layout->addWidget(tabs_);
    list_ = MakeRecordList(this);
    list_->setModel(model_);
    ApplyListFormat(list_->horizontalHeader(),
                    ChooseListFormat(ctx_.positions, kListProcedure, BuiltInFormat(list_)));
    layout->addWidget(list_, 1);
    auto* grid = new QGridLayout;
    const std::pair<const char*, void (BrowseContacts::*)()> commands[] = {
        {"&Copy to Clipboard", &BrowseContacts::copyToClipboard},
        {"&Add", &BrowseContacts::addContact},
        {"&Edit", &BrowseContacts::editContact},
        {"&Delete", &BrowseContacts::deleteContact},
        {"Cop&y", &BrowseContacts::copyContact},
        {"&Select", &BrowseContacts::selectContact},
        {"&Pick", &BrowseContacts::pick},
        {"Send &Mail", &BrowseContacts::sendMail},
        {"Open &Web Site", &BrowseContacts::openWebSite},
        {"Format &BrowseBox", &BrowseContacts::formatColumns},
    };
    int n = 0;
    for (const auto& [text, slot] : commands) {
        auto* b = MakeButton(QString::fromLatin1(text), this, [this, slot = slot] { (this->*slot)(); });
        buttons_.push_back(b);
        if (slot == &BrowseContacts::selectContact && !picker_) {
            b->hide();
            continue;
        }
        grid->addWidget(b, n / 6, n % 6);
        ++n;
    }
    auto* close = MakeButton(QStringLiteral("Cl&ose"), this, [this] { this->close(); });
    buttons_.push_back(close);
    grid->addWidget(close, n / 6, 5);
    layout->addLayout(grid);
    connect(list_, &QTableView::doubleClicked, this, [this] { picker_ ? selectContact() : editContact(); });
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (const int r = list_->rowAt(at.y()); r >= 0)
            list_->selectRow(r);
        contextMenu()->exec(list_->viewport()->mapToGlobal(at));
    });
    connect(tabs_, &QTabBar::currentChanged, this, [this] { applyTab(); });
    connect(&PickedCategory::contact(), &PickedCategory::changed, this, [this] {
        if (tabs_->currentIndex() == CategoryTab)
            applyTab();
    });
    resize(900, 460);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
    applyTab();
}

BrowseContacts::~BrowseContacts() = default;

QPushButton* BrowseContacts::button(const QString& text) const {
    for (QPushButton* b : buttons_)
        if (b->text() == text)
            return b;
    return nullptr;
}

void BrowseContacts::applyTab() {
    using Cond = KeyView::Condition;
    const qint64 keep = model_->rowidAt(list_->currentIndex().row());
    static const int keys[] = {Contact::KEYLASTNAME,  Contact::KEYFIRSTNAME, Contact::KEYWORKPHONE,
                               Contact::KEYHOMEPHONE, Contact::KEYFAXNUMBER, Contact::KEYEMAIL,
                               Contact::KEYCATEGORY};
    const int tab = qBound(0, tabs_->currentIndex(), static_cast<int>(CategoryTab));
    if (tab == CategoryTab)
        model_->setView(Contact::KEYCATEGORY, {{Contact::CONTACTCATEGORY, Cond::EqualNoCase,
                                                Clip(PickedCategory::contact().value())}});
    else
        model_->setView(keys[tab]);
    if (!model_->ok()) {
        warn::FileError(ctx_.dialogs, Contact::decl().name, model_->error());
        QTimer::singleShot(0, this, &QWidget::close);
    }
    highlight(keep);
}

void BrowseContacts::refresh() {
    RefreshKeepingHighlight(*model_, *list_);
    updateButtons();
}

void BrowseContacts::highlight(qint64 rowid) {
    HighlightRecord(*model_, *list_, rowid);
    updateButtons();
}

const Contact* BrowseContacts::current() const {
    return model_->recordAt(list_->currentIndex().row());
}

void BrowseContacts::updateButtons() {
    const Contact* c = current();
    for (const char* t : {"&Copy to Clipboard", "&Edit", "&Delete", "Cop&y", "&Select"})
        button(QString::fromLatin1(t))->setEnabled(c != nullptr);
    button(QStringLiteral("Send &Mail"))->setEnabled(c != nullptr && !Clip(c->email).trimmed().isEmpty());
    button(QStringLiteral("Open &Web Site"))
        ->setEnabled(c != nullptr && !Clip(c->website).trimmed().isEmpty());
}

bool BrowseContacts::reloadCurrent(Table<Contact>& table, Contact& record) {
    const Contact* c = current();
    if (c == nullptr)
        return false;
    if (!ReloadForChange(table, c->meta.rowid, record, ctx_.dialogs)) {
        refresh();
        return false;
    }
    return true;
}

void BrowseContacts::copyToClipboard() {
    if (const Contact* c = current())
        QGuiApplication::clipboard()->setText(ContactText(*c));
}

void BrowseContacts::addContact() {
    Contact primed;
    primed.contactCategory = PickedCategory::contact().value();
    UpdateContacts form(ctx_, Request::Insert, primed, this);
    if (form.ready() && form.exec() == QDialog::Accepted) {
        model_->refresh();
        highlight(form.contact().meta.rowid);
    }
    list_->setFocus();
}

void BrowseContacts::copyContact() {
    const Contact* c = current();
    if (c == nullptr)
        return;
    UpdateContacts form(ctx_, Request::Insert, CopyOfContact(*c), this);
    if (form.ready() && form.exec() == QDialog::Accepted) {
        model_->refresh();
        highlight(form.contact().meta.rowid);
    }
    list_->setFocus();
}

void BrowseContacts::editContact() {
    Table<Contact> table(ctx_.store);
    Contact c;
    if (!reloadCurrent(table, c))
        return;
    UpdateContacts form(ctx_, Request::Change, c, this);
    form.exec();
    model_->refresh();
    highlight(c.meta.rowid);
    list_->setFocus();
}

void BrowseContacts::deleteContact() {
    Table<Contact> table(ctx_.store);
    Contact c;
    if (!reloadCurrent(table, c))
        return;
    RecordEditor<Contact> editor(table, Request::Delete, c, {});
    if (editor.remove(c))
        refresh();
    list_->setFocus();
}

void BrowseContacts::selectContact() {
    const Contact* c = current();
    if (!picker_ || c == nullptr)
        return;
    selected_ = *c;
    Q_EMIT contactSelected(*c);
    close();
}

void BrowseContacts::pick() {
    CategoryContext categories = CategoriesOf(ctx_);
    SelectCategories picker(categories, CategoryKind::Contact, PickedCategory::contact().value(), this);
    picker.exec(); // a choice is kept as the picked contact category
    list_->setFocus();
}

void BrowseContacts::openAddress(const std::optional<QString>& address) {
    if (!address) {
        ctx_.dialogs.message(QStringLiteral("This address cannot be opened."), QStringLiteral("Error!"),
                             Dialogs::Icon::Exclamation);
        return;
    }
    if (ctx_.openAddress)
        ctx_.openAddress(*address);
}

void BrowseContacts::sendMail() {
    if (const Contact* c = current(); c != nullptr && !Clip(c->email).trimmed().isEmpty())
        openAddress(MailAddress(c->email));
}

void BrowseContacts::openWebSite() {
    if (const Contact* c = current(); c != nullptr && !Clip(c->website).trimmed().isEmpty())
        openAddress(WebAddress(c->website));
}

std::unique_ptr<QMenu> BrowseContacts::contextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    for (QPushButton* b : buttons_) {
        if (b->isHidden() || b->text() == QStringLiteral("Cl&ose"))
            continue;
        QAction* a = menu->addAction(b->text());
        a->setEnabled(b->isEnabled());
        connect(a, &QAction::triggered, b, &QPushButton::click);
    }
    return menu;
}

void BrowseContacts::formatColumns() {
    const QString builtIn = BuiltInFormat(list_);
    FormatBrowseBox editor(HeaderFormat(list_->horizontalHeader(), builtIn), builtIn, this);
    if (editor.exec() == QDialog::Accepted) {
        ApplyListFormat(list_->horizontalHeader(), editor.format());
        SaveListFormat(ctx_.positions, kListProcedure, builtIn, editor.format());
    }
    list_->setFocus();
}

void BrowseContacts::closeEvent(QCloseEvent* event) {
    SaveListFormat(ctx_.positions, kListProcedure, BuiltInFormat(list_),
                   HeaderFormat(list_->horizontalHeader(), BuiltInFormat(list_)));
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QWidget::closeEvent(event);
}

} // namespace kr
