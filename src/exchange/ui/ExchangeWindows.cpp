#include "exchange/ui/ExchangeWindows.h"

#include "exchange/Sync.h"
#include "platform/FileDialogs.h"
#include "platform/qt/WindowPosition.h"
#include "scheduler/ProgramState.h"
#include "store/Tables.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kr {

namespace {

const QString kCsvFilter = QStringLiteral("Export Files|*.CSV|All Files|*.*");
const QString kImportFilter = QStringLiteral("Import Files|*.CSV|All Files|*.*");

QPushButton* Button(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    return b;
}

int CurrentRow(QTreeWidget* tree) {
    QTreeWidgetItem* item = tree->currentItem();
    return item != nullptr ? tree->indexOfTopLevelItem(item) : -1;
}

} // namespace

// ------------------------------------------------------------------------------ PicturePrompt

PicturePrompt::PicturePrompt(Dialogs& dialogs, const QString& current, QWidget* parent)
    : QDialog(parent)
    , dialogs_(dialogs)
    , edit_(new QLineEdit(current, this)) {
    setWindowTitle(QStringLiteral("Enter Picture..."));
    edit_->setMaxLength(30);
    auto* label = new QLabel(QStringLiteral("Picture:"), this);
    label->setBuddy(edit_);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(edit_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);
}

QString PicturePrompt::picture() const {
    return result() == QDialog::Accepted ? edit_->text().trimmed() : QString();
}

void PicturePrompt::accept() {
    const QString text = edit_->text().trimmed();
    if (!text.isEmpty() && !text.startsWith(QLatin1Char('@'))) {
        dialogs_.message(QStringLiteral("Pictures must begin with \"@\""), QStringLiteral("Invalid Picture!"),
                         Dialogs::Icon::Exclamation);
        edit_->setFocus();
        return;
    }
    QDialog::accept();
}

QString AskPicture(Dialogs& dialogs, const QString& current, QWidget* parent) {
    PicturePrompt prompt(dialogs, current, parent);
    prompt.exec();
    return prompt.picture();
}

// -------------------------------------------------------------------------------- Synchronize

Synchronize::Synchronize(ExchangeContext& ctx, QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx) {
    setWindowTitle(QStringLiteral("Synchronize"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    for (const char* line :
         {"This option allows to securely synchronize two", "Kelvray databases.  You can write to",
          "or read from a file that can be located on a floppy", "disk or other removable media."})
        layout->addWidget(new QLabel(QString::fromLatin1(line), this));
    auto* receive = Button(QStringLiteral("&Receive"), this);
    auto* send = Button(QStringLiteral("&Send"), this);
    auto* exit = Button(QStringLiteral("E&xit"), this);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(receive);
    row->addWidget(send);
    row->addWidget(exit);
    layout->addLayout(row);
    connect(receive, &QPushButton::clicked, this, [this] { run(false); });
    connect(send, &QPushButton::clicked, this, [this] { run(true); });
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
    RestoreWindowPosition(*this, QStringLiteral("Synchronize"), ctx_.positions);
    send->setFocus();
}

void Synchronize::run(bool send) {
    const QString file = ChooseSyncFile(ctx_.files, send, ctx_.syncFile);
    if (!file.isEmpty()) {
        if (send)
            SyncSend(ctx_.store, *ctx_.progress.open(), file);
        else
            SyncReceive(ctx_.store, *ctx_.progress.open(), file, &ctx_.listeners);
    }
    accept();
}

void Synchronize::done(int result) {
    SaveWindowPosition(*this, QStringLiteral("Synchronize"), ctx_.positions);
    QDialog::done(result);
}

// ------------------------------------------------------------------------------- ExportWindow

ExportWindow::ExportWindow(ExchangeContext& ctx, const ExchangeTable& table, QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , table_(table)
    , all_(new QListWidget(this))
    , list_(new QTreeWidget(this))
    , kind_(new QLabel(this))
    , header_(new QCheckBox(QStringLiteral("Include &header record with field names"), this)) {
    setWindowTitle(QStringLiteral("Choose Fields for Export..."));
    setAttribute(Qt::WA_DeleteOnClose);
    // Single, range (Shift) and toggled (Ctrl) marking.
    all_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const ExchangeField& f : table_.exportFields)
        all_->addItem(f.name);
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("Export Fields"), QStringLiteral("Picture")});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);

    auto* add = Button(QStringLiteral("&Add ->"), this);
    auto* remove = Button(QStringLiteral("&Remove"), this);
    auto* up = Button(QStringLiteral("Shift &Up"), this);
    auto* down = Button(QStringLiteral("Shift &Down"), this);
    auto* picture = Button(QStringLiteral("&Picture"), this);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    auto* cancel = Button(QStringLiteral("&Cancel"), this);
    ok->setDefault(true);
    connect(add, &QPushButton::clicked, this, &ExportWindow::addMarked);
    connect(remove, &QPushButton::clicked, this, &ExportWindow::removeMarked);
    connect(up, &QPushButton::clicked, this, [this] { shift(-1); });
    connect(down, &QPushButton::clicked, this, [this] { shift(1); });
    connect(picture, &QPushButton::clicked, this, &ExportWindow::changePicture);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] { kind_->setText(kindText()); });

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("All Fields"), this));
    left->addWidget(all_);
    auto* middle = new QVBoxLayout;
    middle->addSpacing(24);
    middle->addWidget(add);
    middle->addWidget(remove);
    middle->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(list_);
    auto* kindRow = new QHBoxLayout;
    kindRow->addWidget(new QLabel(QStringLiteral("Picture"), this));
    kindRow->addWidget(kind_, 1);
    right->addLayout(kindRow);
    auto* side = new QVBoxLayout;
    side->addSpacing(24);
    side->addWidget(up);
    side->addWidget(down);
    side->addWidget(picture);
    side->addStretch();
    auto* lists = new QHBoxLayout;
    lists->addLayout(left, 1);
    lists->addLayout(middle);
    lists->addLayout(right, 1);
    lists->addLayout(side);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(header_);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);
    resize(640, 420);
}

QString ExportWindow::kindText() const {
    const int row = CurrentRow(list_);
    return row >= 0 ? ExportKindText(chosen_[static_cast<std::size_t>(row)].picture) : QString();
}

void ExportWindow::showChosen(int select) {
    list_->clear();
    for (const ExchangeField& f : chosen_)
        list_->addTopLevelItem(new QTreeWidgetItem(QStringList{f.name, f.picture}));
    if (select >= 0 && select < list_->topLevelItemCount())
        list_->setCurrentItem(list_->topLevelItem(select));
    kind_->setText(kindText());
}

void ExportWindow::addMarked() {
    int select = -1;
    for (int i = 0; i < all_->count(); ++i) {
        if (!all_->item(i)->isSelected())
            continue;
        const ExchangeField& f = table_.exportFields[static_cast<std::size_t>(i)];
        auto it = std::find_if(chosen_.begin(), chosen_.end(),
                               [&](const ExchangeField& c) { return c.field == f.field; });
        if (it != chosen_.end()) {
            select = static_cast<int>(it - chosen_.begin());
        } else {
            chosen_.push_back(f);
            select = static_cast<int>(chosen_.size()) - 1;
        }
    }
    showChosen(select);
}

void ExportWindow::removeMarked() {
    std::vector<ExchangeField> kept;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        if (!list_->topLevelItem(i)->isSelected())
            kept.push_back(chosen_[static_cast<std::size_t>(i)]);
    }
    chosen_ = std::move(kept);
    showChosen(chosen_.empty() ? -1 : 0);
}

void ExportWindow::shift(int by) {
    const int row = CurrentRow(list_);
    const int to = row + by;
    if (row < 0 || to < 0 || to >= static_cast<int>(chosen_.size()))
        return;
    std::swap(chosen_[static_cast<std::size_t>(row)], chosen_[static_cast<std::size_t>(to)]);
    showChosen(to);
}

void ExportWindow::changePicture() {
    const int row = CurrentRow(list_);
    if (row < 0)
        return;
    ExchangeField& f = chosen_[static_cast<std::size_t>(row)];
    const QString picture = AskPicture(ctx_.dialogs, f.picture, this);
    if (!picture.isEmpty())
        f.picture = picture;
    showChosen(row);
}

void ExportWindow::accept() {
    if (chosen_.empty()) {
        ctx_.dialogs.message(QStringLiteral("You must select one or more fields to export."),
                             QStringLiteral("No Fields Selected for Export!"), Dialogs::Icon::Exclamation);
        return;
    }
    const QString file = ctx_.files.saveFile(QStringLiteral("Export File"), kCsvFilter, QString());
    if (!file.isEmpty())
        ExportTable(ctx_.store, *ctx_.progress.open(), table_, chosen_, header_->isChecked(), file);
    QDialog::accept();
}

// ------------------------------------------------------------------------------- ImportWindow

ImportWindow::ImportWindow(ExchangeContext& ctx, const ExchangeTable& table, ImportFile file, QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , table_(table)
    , file_(std::move(file))
    , assigned_(table.targets.size(), -1)
    , fields_(new QTreeWidget(this))
    , targets_(new QTreeWidget(this))
    , strip_(new QCheckBox(QStringLiteral("Strip &header record (field names)"), this))
    , auto_(Button(QStringLiteral("A&uto"), this))
    , next_(Button(QStringLiteral("&Next"), this))
    , record_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Assign fields for Import..."));
    setAttribute(Qt::WA_DeleteOnClose);
    fields_->setHeaderLabels({QStringLiteral("Import Field"), QStringLiteral("Picture"),
                              QStringLiteral("Kind"), QStringLiteral("Value")});
    targets_->setHeaderLabels(
        {QStringLiteral("Target Field"), QStringLiteral("="), QStringLiteral("Import Field")});
    for (QTreeWidget* tree : {fields_, targets_}) {
        tree->setRootIsDecorated(false);
        tree->setSelectionMode(QAbstractItemView::SingleSelection);
    }
    strip_->setChecked(true);
    auto* picture = Button(QStringLiteral("&Picture"), this);
    auto* assignButton = Button(QStringLiteral("&Assign"), this);
    auto* unassignButton = Button(QStringLiteral("&Unassign"), this);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    auto* cancel = Button(QStringLiteral("&Cancel"), this);
    ok->setDefault(true);
    connect(auto_, &QPushButton::clicked, this, &ImportWindow::autoAssign);
    connect(next_, &QPushButton::clicked, this, &ImportWindow::next);
    connect(picture, &QPushButton::clicked, this, &ImportWindow::changePicture);
    connect(assignButton, &QPushButton::clicked, this, &ImportWindow::assign);
    connect(unassignButton, &QPushButton::clicked, this, &ImportWindow::unassign);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(fields_, &QTreeWidget::currentItemChanged, this, &ImportWindow::fieldSelected);
    connect(targets_, &QTreeWidget::currentItemChanged, this, &ImportWindow::targetSelected);

    auto* grid = new QGridLayout(this);
    grid->addWidget(fields_, 0, 0);
    grid->addWidget(targets_, 0, 1);
    auto* side = new QVBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{auto_, next_, record_, picture, assignButton, unassignButton})
        side->addWidget(w);
    side->addStretch();
    grid->addLayout(side, 0, 2);
    grid->addWidget(strip_, 1, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 2, 0, 1, 3);
    for (QTreeWidget* tree : {fields_, targets_})
        tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    targets_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    resize(860, 500);

    showFields();
    autoAssign();
    next_->setEnabled(file_.hasNext());
}

ImportWindow* ImportWindow::open(ExchangeContext& ctx, const ExchangeTable& table, QWidget* parent) {
    for (;;) {
        const QString path = ctx.files.openFile(QStringLiteral("Import File"), kImportFilter, QString());
        if (path.isEmpty())
            return nullptr;
        ImportFile file;
        if (!file.load(path, ctx.dialogs))
            return nullptr;
        if (!file.empty())
            return new ImportWindow(ctx, table, std::move(file), parent);
        ctx.dialogs.message(QStringLiteral("That file is empty!  Please pick another file."),
                            QStringLiteral("Attention!"), Dialogs::Icon::Exclamation);
    }
}

void ImportWindow::showFields() {
    const int row = CurrentRow(fields_);
    fields_->clear();
    for (const auto& f : file_.fields())
        fields_->addTopLevelItem(
            new QTreeWidgetItem(QStringList{f.name, f.picture, ImportKindText(f.picture), f.value}));
    record_->setText(QStringLiteral("Record %1").arg(file_.record()));
    if (row >= 0 && row < fields_->topLevelItemCount()) {
        selecting_ = true;
        fields_->setCurrentItem(fields_->topLevelItem(row));
        selecting_ = false;
    }
}

void ImportWindow::showTargets() {
    const int row = CurrentRow(targets_);
    targets_->clear();
    for (std::size_t i = 0; i < table_.targets.size(); ++i) {
        const int a = assigned_[i];
        const QString source = a >= 0 ? file_.fields()[static_cast<std::size_t>(a)].name : QString();
        targets_->addTopLevelItem(new QTreeWidgetItem(
            QStringList{table_.targets[i].name, a >= 0 ? QStringLiteral("=") : QString(), source}));
    }
    if (row >= 0 && row < targets_->topLevelItemCount()) {
        selecting_ = true;
        targets_->setCurrentItem(targets_->topLevelItem(row));
        selecting_ = false;
    }
}

void ImportWindow::autoAssign() {
    AutoAssign(table_, file_.fields(), assigned_);
    strip_->setChecked(true);
    showFields();
    showTargets();
}

void ImportWindow::next() {
    if (file_.next())
        showFields();
    auto_->setEnabled(false);
    next_->setEnabled(file_.hasNext());
}

void ImportWindow::changePicture() {
    const int row = CurrentRow(fields_);
    if (row < 0)
        return;
    auto& f = file_.fields()[static_cast<std::size_t>(row)];
    const QString picture = AskPicture(ctx_.dialogs, f.picture, this);
    if (!picture.isEmpty())
        f.picture = picture;
    showFields();
}

void ImportWindow::assign() {
    const int field = CurrentRow(fields_);
    const int target = CurrentRow(targets_);
    if (field < 0 || target < 0)
        return;
    assigned_[static_cast<std::size_t>(target)] = field;
    showTargets();
}

void ImportWindow::unassign() {
    const int target = CurrentRow(targets_);
    if (target < 0)
        return;
    assigned_[static_cast<std::size_t>(target)] = -1;
    showTargets();
}

void ImportWindow::fieldSelected() {
    const int field = CurrentRow(fields_);
    if (selecting_ || field < 0)
        return;
    for (std::size_t i = 0; i < assigned_.size(); ++i) {
        if (assigned_[i] == field) {
            selecting_ = true;
            targets_->setCurrentItem(targets_->topLevelItem(static_cast<int>(i)));
            selecting_ = false;
            return;
        }
    }
}

void ImportWindow::targetSelected() {
    const int target = CurrentRow(targets_);
    if (selecting_ || target < 0)
        return;
    const int field = assigned_[static_cast<std::size_t>(target)];
    if (field >= 0) {
        selecting_ = true;
        fields_->setCurrentItem(fields_->topLevelItem(field));
        selecting_ = false;
    }
}

void ImportWindow::accept() {
    if (std::all_of(assigned_.begin(), assigned_.end(), [](int a) { return a < 0; })) {
        ctx_.dialogs.message(QStringLiteral("You must select one or more fields to import."),
                             QStringLiteral("No Fields Selected for Import!"), Dialogs::Icon::Exclamation);
        return;
    }
    ImportTable(ctx_.store, *ctx_.progress.open(), table_, file_, assigned_, strip_->isChecked());
    // The lists of the table read it again (the schedule's hear ScheduleChanged).
    ctx_.listeners.post(table_.decl->name);
    QDialog::accept();
}

// --------------------------------------------------------------------------------- procedures

QStringList ExchangeProcedures() {
    return {QStringLiteral("Synchronize"), QStringLiteral("ExportSchedule"), QStringLiteral("ExportContacts"),
            QStringLiteral("ExportTodo"),  QStringLiteral("ImportSchedule"), QStringLiteral("ImportContacts"),
            QStringLiteral("ImportTodo")};
}

bool OpenExchangeWindow(const QString& procedure, ExchangeContext& ctx, QWidget* parent) {
    QDialog* window = nullptr;
    const ExchangeTable& table = procedure.endsWith(QLatin1String("Schedule"))   ? ScheduleExchange()
                                 : procedure.endsWith(QLatin1String("Contacts")) ? ContactExchange()
                                                                                 : TodoExchange();
    if (procedure == QLatin1String("Synchronize"))
        window = new Synchronize(ctx, parent);
    else if (procedure.startsWith(QLatin1String("Export")))
        window = new ExportWindow(ctx, table, parent);
    else if (procedure.startsWith(QLatin1String("Import")))
        window = ImportWindow::open(ctx, table, parent);
    else
        return false;
    if (window != nullptr)
        window->show();
    return true;
}

} // namespace kr
