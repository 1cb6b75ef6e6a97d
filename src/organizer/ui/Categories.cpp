#include "organizer/ui/Categories.h"

#include "organizer/PickedCategory.h"
#include "organizer/ui/ListParts.h"

#include "platform/Pictures.h"
#include "platform/Text.h"
#include "platform/qt/Fields.h"
#include "platform/qt/WindowHost.h"
#include "platform/qt/WindowPosition.h"
#include "store/Settings.h"
#include "store/Table.h"
#include "store/Warnings.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace kr {

namespace {

constexpr int kCategoryWidth = 20; // CAT:CATEGORY

// A list of whole rows, read only, that the Tab key leaves.
QTableWidget* MakeList(QWidget* parent, const QStringList& headers) {
    auto* list = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    list->setHorizontalHeaderLabels(headers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setTabKeyNavigation(false);
    list->setWordWrap(false);
    list->setShowGrid(false);
    list->setAlternatingRowColors(true);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->verticalHeader()->hide();
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 8);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setHighlightSections(false);
    list->horizontalHeader()->setStretchLastSection(true);
    return list;
}

QTableWidgetItem* Cell(const QString& text) {
    return new QTableWidgetItem(Clip(text));
}

// The row whose record number is `rowid`, else `fallback` kept within the list.
qint64 RowidOf(const CategoryRow& r) {
    return r.rowid;
}
template <class R> qint64 RowidOf(const R& r) {
    return r.meta.rowid;
}

template <class R> int RowToHighlight(const std::vector<R>& rows, qint64 rowid, int fallback) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rowid != 0 && RowidOf(rows[i]) == rowid)
            return static_cast<int>(i);
    return qBound(0, fallback, static_cast<int>(rows.size()) - 1);
}

// "&Add", "&Edit", "&Delete"; Edit and Delete greyed while the list is empty.
template <class W>
std::unique_ptr<QMenu> ListMenu(W* window, bool empty, void (W::*add)(), void (W::*edit)(),
                                void (W::*remove)()) {
    auto menu = std::make_unique<QMenu>(window);
    QObject::connect(menu->addAction(QStringLiteral("&Add")), &QAction::triggered, window, add);
    QAction* e = menu->addAction(QStringLiteral("&Edit"));
    QObject::connect(e, &QAction::triggered, window, edit);
    QAction* d = menu->addAction(QStringLiteral("&Delete"));
    QObject::connect(d, &QAction::triggered, window, remove);
    e->setEnabled(!empty);
    d->setEnabled(!empty);
    return menu;
}

// A right click highlights the row under the mouse and pops the window's menu up there.
template <class W> void PopUpOnRightClick(W* window, QTableWidget* list) {
    QObject::connect(list, &QWidget::customContextMenuRequested, window, [window, list](const QPoint& at) {
        if (const int row = list->rowAt(at.y()); row >= 0)
            list->selectRow(row);
        window->contextMenu()->exec(list->viewport()->mapToGlobal(at));
    });
}

QPushButton* Button(const QString& text, QWidget* window, const std::function<void()>& action) {
    auto* b = new QPushButton(text);
    QObject::connect(b, &QPushButton::clicked, window, action);
    return b;
}

} // namespace

// -------------------------------------------------------------------------- CategoryRecord

namespace {

template <class R, QString R::*Name, int Key> class CategoryRecordOf final : public CategoryRecord {
public:
    // `longMessage`: another station's change is reported with the long text that says the
    // window now shows it.
    CategoryRecordOf(Store& store, bool longMessage)
        : table_(store)
        , longMessage_(longMessage) {}

    const TableDecl& decl() const override { return R::decl(); }

    bool readAll(std::vector<CategoryRow>& out) override {
        Table<R> table(table_.store());
        table.set(Key);
        R r;
        Err e;
        while ((e = table.next(r)) == Err::None)
            out.push_back({r.meta.rowid, Clip(r.*Name)});
        if (e == Err::NoMoreRecords)
            return true;
        warn::FileError(table_.store().dialogs(), R::decl().name, table.error());
        return false;
    }

    bool load(qint64 rowid) override {
        if (!ReloadForChange(table_, rowid, record_, table_.store().dialogs()))
            return false;
        loaded_ = true;
        return true;
    }

    QString name() const override { return Clip(record_.*Name); }
    qint64 rowid() const override { return record_.meta.rowid; }

    EditOutcome save(const QString& name) override {
        if (!editor_) {
            typename RecordEditor<R>::Options options;
            options.longMessage = longMessage_;
            editor_ = std::make_unique<RecordEditor<R>>(table_, loaded_ ? Request::Change : Request::Insert,
                                                        record_, options);
        }
        record_.*Name = name;
        const EditOutcome outcome = editor_->save(record_);
        if (outcome == EditOutcome::Saved)
            loaded_ = true;
        return outcome;
    }

    bool remove() override {
        RecordEditor<R> editor(table_, Request::Delete, record_, {});
        return editor.remove(record_);
    }

private:
    Table<R> table_;
    bool longMessage_;
    R record_;
    bool loaded_ = false;
    std::unique_ptr<RecordEditor<R>> editor_;
};

using ScheduleCategoryRecord = CategoryRecordOf<Categories, &Categories::category, Categories::KEYCATEGORY>;
using ContactCategoryRecord = CategoryRecordOf<ContactCategories, &ContactCategories::contactCategory,
                                               ContactCategories::KEYCONTACTCATEGORIES>;

} // namespace

std::unique_ptr<CategoryRecord> MakeCategoryRecord(CategoryKind kind, Store& store) {
    // The contact categories' window passes the long-message flag; the schedule's does not.
    if (kind == CategoryKind::Contact)
        return std::make_unique<ContactCategoryRecord>(store, true);
    return std::make_unique<ScheduleCategoryRecord>(store, false);
}

// ------------------------------------------------------------------------ UpdateCategories

UpdateCategories::UpdateCategories(CategoryContext& ctx, Request request, const Categories& category,
                                   QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , record_(MakeCategoryRecord(CategoryKind::Schedule, ctx.store)) {
    // Deletes go through BrowseCategories::deleteCategory, without a form.
    deleteRequest_ = request == Request::Delete;
    if (request == Request::Change)
        record_->load(category.meta.rowid);
    build(CategoryKind::Schedule, request == Request::Change ? record_->name() : Clip(category.category));
}

UpdateCategories::UpdateCategories(CategoryContext& ctx, CategoryKind kind,
                                   std::unique_ptr<CategoryRecord> record, const QString& name,
                                   QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , record_(std::move(record)) {
    build(kind, record_->rowid() != 0 ? record_->name() : name);
}

void UpdateCategories::build(CategoryKind kind, const QString& name) {
    const bool insert = record_->rowid() == 0;
    const bool contact = kind == CategoryKind::Contact;
    setObjectName(contact ? QStringLiteral("UpdateContactCategories") : QStringLiteral("UpdateCategories"));
    if (contact)
        openTitle_ =
            insert ? QStringLiteral("Record Will Be Added") : QStringLiteral("Record Will Be Changed");
    else
        openTitle_ = insert ? QStringLiteral("Adding a Categories Record")
                            : QStringLiteral("Changing a Categories Record");
    // The window's own caption; once open it tells what is being done.
    setWindowTitle(contact ? QStringLiteral("Update Contact Category") : QStringLiteral("Update Category"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    name_ = new QLineEdit(name);
    name_->setMaxLength(kCategoryWidth);
    name_->setMinimumWidth(CharsWidth(name_, kCategoryWidth + 2));
    form->addRow(contact ? QStringLiteral("&Contact Category:") : QStringLiteral("&Category:"), name_);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(contact ? QStringLiteral("OK") : QStringLiteral("&OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateCategories::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &UpdateCategories::reject);
    layout->addWidget(buttons);
    // Wide enough for the caption in a bold title bar beside its buttons; only the width may
    // change.
    QFont bold = font();
    bold.setBold(true);
    setMinimumWidth(
        qMax(sizeHint().width(),
             QFontMetrics(bold).horizontalAdvance(QStringLiteral("Changing a Categories Record")) + 160));
    setFixedHeight(sizeHint().height());
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

void UpdateCategories::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    setWindowTitle(openTitle_);
    if (deleteRequest_)
        QTimer::singleShot(0, this, [this] {
            warn::RequestNotAllowed(ctx_.dialogs, Request::Delete);
            QDialog::reject();
        });
}

void UpdateCategories::accept() {
    if (deleteRequest_)
        return;
    const QString name = Clip(LeftTrimmed(name_->text()));
    if (name.isEmpty()) { // a category without a name could not be told from no category
        RejectField(name_);
        return;
    }
    switch (record_->save(name)) {
    case EditOutcome::Saved:
        QDialog::accept();
        return;
    case EditOutcome::Unsaved:
        QDialog::reject();
        return;
    case EditOutcome::Stay:
    case EditOutcome::StayFirstField:
    case EditOutcome::Redisplay:
        // A refused rename has put the old name back, another station's change shows.
        if (record_->rowid() != 0)
            name_->setText(record_->name());
        name_->setFocus();
        name_->selectAll();
        return;
    }
}

void UpdateCategories::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

// ---------------------------------------------------------------------------- CategoryList

CategoryList::CategoryList(CategoryContext ctx, CategoryKind kind, const QString& procedure,
                           const QString& caption, QWidget* parent)
    : QDialog(parent)
    , ctx_(std::move(ctx))
    , kind_(kind) {
    setObjectName(procedure);
    setWindowTitle(caption);
    list_ = MakeList(this, {kind == CategoryKind::Contact ? QStringLiteral("Contact Category")
                                                          : QStringLiteral("Category")});
    list_->setMinimumWidth(CharsWidth(list_, kCategoryWidth + 4));
    FitHeadings(list_);
}

QString CategoryList::currentCategory() const {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return {};
    return rows_[static_cast<std::size_t>(row)].name;
}

void CategoryList::refresh(qint64 select) {
    const int selected = list_->currentRow();
    rows_.clear();
    MakeCategoryRecord(kind_, ctx_.store)->readAll(rows_);
    list_->clearContents();
    list_->setRowCount(static_cast<int>(rows_.size()));
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
        list_->setItem(i, 0, Cell(rows_[static_cast<std::size_t>(i)].name));
    if (!rows_.empty())
        list_->selectRow(RowToHighlight(rows_, select, selected));
    updateButtons();
}

std::unique_ptr<CategoryRecord> CategoryList::reloadCurrent() {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        return nullptr;
    auto record = MakeCategoryRecord(kind_, ctx_.store);
    if (!record->load(rows_[static_cast<std::size_t>(row)].rowid)) {
        refresh();
        return nullptr;
    }
    return record;
}

void CategoryList::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

// ------------------------------------------------------------------------ BrowseCategories

BrowseCategories::BrowseCategories(CategoryContext ctx, CategoryKind kind, QWidget* parent)
    : CategoryList(std::move(ctx), kind,
                   kind == CategoryKind::Contact ? QStringLiteral("BrowseContactCategories")
                                                 : QStringLiteral("BrowseCategories"),
                   kind == CategoryKind::Contact ? QStringLiteral("Contact Categories")
                                                 : QStringLiteral("Categories"),
                   parent) {
    const bool contact = kind == CategoryKind::Contact;
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    auto* column = new QVBoxLayout;
    add_ =
        Button(contact ? QStringLiteral("&Insert") : QStringLiteral("&Add"), this, [this] { addCategory(); });
    edit_ = Button(QStringLiteral("&Edit"), this, [this] { editCategory(); });
    delete_ = Button(QStringLiteral("&Delete"), this, [this] { deleteCategory(); });
    schedule_ = Button(QStringLiteral("&Schedule"), this, [this] { showSchedule(); });
    auto* close =
        Button(contact ? QStringLiteral("Close") : QStringLiteral("Cl&ose"), this, [this] { accept(); });
    for (QPushButton* b : {add_, edit_, delete_})
        column->addWidget(b);
    column->addSpacing(12);
    column->addWidget(schedule_);
    schedule_->setVisible(!contact); // contacts have no schedule
    column->addStretch(1);
    column->addWidget(close);
    layout->addLayout(column);
    edit_->setDefault(true); // Enter on the list edits, as a double click does
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this] { editCategory(); });
    PopUpOnRightClick(this, list_);
    resize(380, 360);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
    refresh();
}

void BrowseCategories::updateButtons() {
    const bool any = !rows_.empty();
    for (QPushButton* b : {edit_, delete_, schedule_})
        b->setEnabled(any);
}

void BrowseCategories::addCategory() {
    UpdateCategories form(ctx_, kind_, MakeCategoryRecord(kind_, ctx_.store), {}, this);
    if (form.exec() == QDialog::Accepted)
        refresh(form.rowid());
    list_->setFocus();
}

void BrowseCategories::editCategory() {
    auto record = reloadCurrent();
    if (!record)
        return;
    const qint64 rowid = record->rowid();
    UpdateCategories form(ctx_, kind_, std::move(record), {}, this);
    form.exec();
    refresh(rowid);
    list_->setFocus();
}

void BrowseCategories::deleteCategory() {
    auto record = reloadCurrent();
    if (!record)
        return;
    if (record->remove())
        refresh();
    list_->setFocus();
}

void BrowseCategories::showSchedule() {
    const QString category = currentCategory();
    if (category.isEmpty() || kind_ != CategoryKind::Schedule)
        return;
    if (!OpenListWindow(ctx_.host, new BrowseScheduleByCategory(ctx_, category, this)))
        list_->setFocus();
}

std::unique_ptr<QMenu> BrowseCategories::contextMenu() {
    auto menu = ListMenu(this, rows_.empty(), &BrowseCategories::addCategory, &BrowseCategories::editCategory,
                         &BrowseCategories::deleteCategory);
    if (kind_ == CategoryKind::Contact)
        menu->actions().at(0)->setText(QStringLiteral("&Insert"));
    return menu;
}

// ------------------------------------------------------------------------ SelectCategories

SelectCategories::SelectCategories(CategoryContext ctx, CategoryKind kind, const QString& current,
                                   QWidget* parent)
    : CategoryList(std::move(ctx), kind,
                   kind == CategoryKind::Contact ? QStringLiteral("SelectContactCategories")
                                                 : QStringLiteral("SelectCategories"),
                   kind == CategoryKind::Contact ? QStringLiteral("Select a Contact Category")
                                                 : QStringLiteral("Select a Category"),
                   parent) {
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    auto* column = new QVBoxLayout;
    select_ = Button(QStringLiteral("&Select"), this, [this] { choose(); });
    auto* close = Button(QStringLiteral("Cl&ose"), this, [this] { reject(); });
    column->addWidget(select_);
    column->addStretch(1);
    column->addWidget(close);
    layout->addLayout(column);
    select_->setDefault(true);
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this] { choose(); });
    resize(340, 340);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
    refresh();
    const QString wanted = Clip(current);
    for (int i = 0; !wanted.isEmpty() && i < static_cast<int>(rows_.size()); ++i) {
        if (rows_[static_cast<std::size_t>(i)].name.compare(wanted, Qt::CaseInsensitive) == 0) {
            list_->selectRow(i);
            break;
        }
    }
}

void SelectCategories::choose() {
    selected_ = currentCategory();
    if (selected_.isEmpty())
        return;
    (kind_ == CategoryKind::Contact ? PickedCategory::contact() : PickedCategory::schedule()).set(selected_);
    accept();
}

void SelectCategories::updateButtons() {
    select_->setEnabled(!rows_.empty());
}

// ---------------------------------------------------------------- BrowseScheduleByCategory

BrowseScheduleByCategory::BrowseScheduleByCategory(CategoryContext ctx, const QString& category,
                                                   QWidget* parent)
    : QDialog(parent)
    , ctx_(std::move(ctx))
    , category_(Clip(category)) {
    setObjectName(QStringLiteral("BrowseSCH:KeyCategory"));
    setWindowTitle(QStringLiteral("Browse Schedule for ") + category_);
    auto* layout = new QVBoxLayout(this);
    list_ = MakeList(this, {QStringLiteral("Description"), QStringLiteral("Date"), QStringLiteral("Time"),
                            QStringLiteral("Task Type"), QStringLiteral("Schedule Type")});
    const int widths[] = {40, 16, 9, 18};
    for (int i = 0; i < 4; ++i)
        list_->setColumnWidth(i, ColumnWidth(list_, i, widths[i]));
    FitHeadings(list_);
    layout->addWidget(list_);
    auto* row = new QHBoxLayout;
    add_ = Button(QStringLiteral("&Add"), this, [this] { addTask(); });
    edit_ = Button(QStringLiteral("&Edit"), this, [this] { editTask(); });
    delete_ = Button(QStringLiteral("&Delete"), this, [this] { deleteTask(); });
    for (QPushButton* b : {add_, edit_, delete_})
        row->addWidget(b);
    row->addStretch(1);
    auto* close = Button(QStringLiteral("Cl&ose"), this, [this] { accept(); });
    row->addWidget(close);
    layout->addLayout(row);
    edit_->setDefault(true);
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this] { editTask(); });
    PopUpOnRightClick(this, list_);
    resize(820, 400);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
    refresh();
}

void BrowseScheduleByCategory::refresh(qint64 select) {
    const int selected = list_->currentRow();
    rows_.clear();
    Table<Schedule> table(ctx_.store);
    using Link = ChildLink<Categories>;
    Schedule t;
    Link::seek(t, category_);
    table.set(Schedule::KEYCATEGORY, t);
    Err e;
    while ((e = table.next(t)) == Err::None && Link::holds(t, category_))
        rows_.push_back(t);
    if (e != Err::None && e != Err::NoMoreRecords)
        warn::FileError(ctx_.dialogs, Schedule::decl().name, table.error());
    list_->clearContents();
    list_->setRowCount(static_cast<int>(rows_.size()));
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        const Schedule& r = rows_[static_cast<std::size_t>(i)];
        list_->setItem(i, 0, Cell(r.description));
        list_->setItem(i, 1, Cell(FormatDate(r.date, ctx_.dateFormat)));
        list_->setItem(i, 2, Cell(FormatTimeAs(r.time, QStringLiteral("t3"))));
        list_->setItem(i, 3, Cell(r.taskType));
        list_->setItem(i, 4, Cell(r.scheduleType));
    }
    if (!rows_.empty())
        list_->selectRow(RowToHighlight(rows_, select, selected));
    updateButtons();
}

void BrowseScheduleByCategory::updateButtons() {
    const bool form = static_cast<bool>(ctx_.openTask);
    add_->setEnabled(form);
    edit_->setEnabled(form && !rows_.empty());
    delete_->setEnabled(form && !rows_.empty());
}

void BrowseScheduleByCategory::addTask() {
    if (!ctx_.openTask)
        return;
    Schedule t;
    t.category = category_;
    ctx_.openTask(Request::Insert, t);
    refresh(t.meta.rowid);
    list_->setFocus();
}

void BrowseScheduleByCategory::editTask() {
    openHighlighted(Request::Change);
}

void BrowseScheduleByCategory::deleteTask() {
    openHighlighted(Request::Delete);
}

void BrowseScheduleByCategory::openHighlighted(Request request) {
    const int row = list_->currentRow();
    if (!ctx_.openTask || row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    Table<Schedule> table(ctx_.store);
    Schedule t;
    if (!ReloadForChange(table, rows_[static_cast<std::size_t>(row)].meta.rowid, t, ctx_.dialogs)) {
        refresh();
        return;
    }
    ctx_.openTask(request, t);
    refresh(t.meta.rowid);
    list_->setFocus();
}

std::unique_ptr<QMenu> BrowseScheduleByCategory::contextMenu() {
    auto menu = ListMenu(this, rows_.empty(), &BrowseScheduleByCategory::addTask,
                         &BrowseScheduleByCategory::editTask, &BrowseScheduleByCategory::deleteTask);
    if (!ctx_.openTask)
        for (QAction* a : menu->actions())
            a->setEnabled(false);
    return menu;
}

void BrowseScheduleByCategory::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

} // namespace kr
