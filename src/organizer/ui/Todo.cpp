#include "organizer/ui/Todo.h"

#include "organizer/PickedCategory.h"
#include "organizer/Todo.h"
#include "organizer/ui/ListParts.h"
#include "platform/Pictures.h"
#include "platform/Text.h"
#include "platform/qt/Fields.h"
#include "platform/qt/WindowPosition.h"
#include "store/Numbering.h"
#include "store/Settings.h"
#include "store/Warnings.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace kr {

namespace {

const QString kListProcedure = QStringLiteral("ViewToDo");
const QString kFormProcedure = QStringLiteral("UpdateTodo");
constexpr int kTodoChars = 80;
constexpr int kCategoryChars = 20;
constexpr int kNotesChars = 4096;
constexpr int kResolutionChars = 1000;

// The done mark: a ticked box for a done entry, an empty box for an open one.
QIcon DoneIcon(bool done) {
    auto draw = [](bool ticked) {
        const int size = 32;
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box(4, 4, size - 8, size - 8);
        p.setPen(QPen(QColor(70, 70, 70), 2.5));
        p.setBrush(QColor(255, 255, 255));
        p.drawRoundedRect(box, 3, 3);
        if (ticked) {
            p.setPen(QPen(QColor(20, 140, 40), 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            QPainterPath tick;
            tick.moveTo(box.left() + 4, box.center().y());
            tick.lineTo(box.left() + box.width() * 0.42, box.bottom() - 5);
            tick.lineTo(box.right() - 3, box.top() + 4);
            p.drawPath(tick);
        }
        return QIcon(pm);
    };
    static const QIcon open = draw(false);
    static const QIcon ticked = draw(true);
    return done ? ticked : open;
}

// A memo page: plain text cut at the memo's length, as it is typed or pasted.
QPlainTextEdit* MemoPage(int limit) {
    auto* edit = new QPlainTextEdit;
    edit->setTabChangesFocus(true);
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [edit, limit] {
        const QString text = edit->toPlainText();
        if (text.size() > limit) {
            edit->setPlainText(text.left(limit));
            edit->moveCursor(QTextCursor::End);
        }
    });
    return edit;
}

void FocusBack(QWidget* field) {
    QTimer::singleShot(0, field, [field] {
        field->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(field))
            edit->selectAll();
    });
    field->setFocus();
}

} // namespace

// ------------------------------------------------------------------------------ UpdateTodo

UpdateTodo::UpdateTodo(OrganizerContext& ctx, Request request, const Todo& entry, QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , table_(ctx.store)
    , record_(entry) {
    Q_ASSERT(request != Request::Delete); // deletes need no form: ViewToDo::deleteEntry
    setObjectName(kFormProcedure);
    // The window's own caption; once open it tells what is being done.
    setWindowTitle(QStringLiteral("Update To Do Item"));
    openTitle_ = request == Request::Insert ? QStringLiteral("Adding a To Do Item")
                                            : QStringLiteral("Changing a To Do Item");
    RecordEditor<Todo>::Options options;
    options.longMessage = true;
    options.stamp = [this](Todo& t) {
        StampTodo(t, ctx_.userId, ctx_.clock.today(), ctx_.clock.now(),
                  static_cast<qint32>(std::max<qint64>(0, table_.records())));
    };
    editor_ = std::make_unique<RecordEditor<Todo>>(table_, request, record_, options);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    todo_ = new QLineEdit;
    todo_->setMaxLength(kTodoChars);
    todo_->setMinimumWidth(CharsWidth(todo_, 50));
    priority_ = new QLineEdit;
    priority_->setValidator(new QIntValidator(0, 99, priority_));
    priority_->setMaximumWidth(CharsWidth(priority_, 4));
    category_ = new QComboBox;
    category_->setEditable(true);
    category_->setInsertPolicy(QComboBox::NoInsert);
    category_->lineEdit()->setMaxLength(kCategoryChars);
    category_->setMinimumWidth(CharsWidth(category_, kCategoryChars + 4));
    {
        QStringList names;
        Table<Categories> categories(ctx_.store);
        categories.set(Categories::KEYCATEGORY);
        Categories c;
        Err e;
        while ((e = categories.next(c)) == Err::None)
            names << Clip(c.category);
        if (e != Err::NoMoreRecords)
            warn::FileError(ctx_.dialogs, Categories::decl().name, categories.error());
        names.sort(Qt::CaseInsensitive);
        category_->addItems(names);
    }
    done_ = new QCheckBox(QStringLiteral("&Done"));
    date_ = new DateField(ctx_.dateFormat.isEmpty() ? QStringLiteral("d3") : ctx_.dateFormat);
    time_ = new TimeField(QStringLiteral("t3"));
    connect(done_, &QCheckBox::clicked, this, [this](bool on) {
        if (on) {
            date_->setDate(ctx_.clock.today());
            time_->setTime(ctx_.clock.now());
        }
    });
    form->addRow(QStringLiteral("&To Do:"), todo_);
    form->addRow(QStringLiteral("&Priority:"), priority_);
    form->addRow(QStringLiteral("&Category:"), category_);
    form->addRow(QString(), done_);
    form->addRow(QStringLiteral("Completion Date:"), date_);
    form->addRow(QStringLiteral("Completion Time:"), time_);
    layout->addLayout(form);
    auto* pages = new QTabWidget;
    notes_ = MemoPage(kNotesChars);
    resolution_ = MemoPage(kResolutionChars);
    pages->addTab(notes_, QStringLiteral("Notes"));
    pages->addTab(resolution_, QStringLiteral("Resolution"));
    layout->addWidget(pages, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setText(QStringLiteral("&Ok"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateTodo::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &UpdateTodo::reject);
    layout->addWidget(buttons);
    priority_->installEventFilter(this);
    category_->lineEdit()->installEventFilter(this);
    load(record_);
    resize(560, 460);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
}

void UpdateTodo::load(const Todo& t) {
    todo_->setText(Clip(t.todo));
    priority_->setText(QString::number(t.priority));
    category_->setCurrentIndex(category_->findText(Clip(t.category), Qt::MatchFixedString));
    category_->setEditText(Clip(t.category));
    done_->setChecked(t.done != 0);
    date_->setDate(t.completionDate);
    time_->setTime(t.completionTime);
    notes_->setPlainText(t.notes);
    resolution_->setPlainText(t.resolution);
}

void UpdateTodo::read(Todo& t) const {
    t.todo = Clip(todo_->text());
    t.priority = static_cast<quint8>(priority_->text().toInt());
    t.category = Clip(category_->currentText());
    t.done = done_->isChecked() ? 1 : 0;
    t.completionDate = date_->date();
    t.completionTime = time_->time();
    t.notes = notes_->toPlainText();
    t.resolution = resolution_->toPlainText();
}

bool UpdateTodo::checkPriority() {
    bool ok = false;
    const int value = priority_->text().toInt(&ok);
    if (ok && TodoPriorityInRange(value))
        return true;
    checking_ = true;
    warn::Range(ctx_.dialogs, QStringLiteral("TDO:Priority"), QStringLiteral("1 and 10"));
    checking_ = false;
    FocusBack(priority_);
    return false;
}

bool UpdateTodo::checkCategory() {
    const QString typed = Clip(category_->currentText());
    // The entry's own category passes even when no longer listed (entries added from a
    // message window or imported carry names of their own): only a new name must be listed.
    if (typed.compare(Clip(editor_->loaded().category), Qt::CaseSensitive) == 0)
        return true;
    if (typed.isEmpty() || category_->findText(typed, Qt::MatchFixedString) >= 0) {
        const int at = category_->findText(typed, Qt::MatchFixedString);
        if (at >= 0 && category_->itemText(at) != typed)
            category_->setEditText(category_->itemText(at)); // the listed spelling
        return true;
    }
    QApplication::beep();
    FocusBack(category_);
    return false;
}

bool UpdateTodo::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !checking_ && isVisible()) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // A pop-up (the drop list, a menu) and a switch to another window do not leave the field.
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            if (watched == priority_)
                checkPriority();
            else if (watched == category_->lineEdit())
                checkCategory();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void UpdateTodo::accept() {
    if (!checkPriority() || !checkCategory())
        return;
    bool dateOk = false;
    bool timeOk = false;
    date_->date(&dateOk);
    time_->time(&timeOk);
    if (!dateOk) {
        RejectField(date_);
        return;
    }
    if (!timeOk) {
        RejectField(time_);
        return;
    }
    read(record_);
    if (editor_->request() == Request::Insert)
        StampTodo(record_, ctx_.userId, ctx_.clock.today(), ctx_.clock.now(),
                  static_cast<qint32>(std::max<qint64>(0, table_.records())));
    switch (editor_->save(record_)) {
    case EditOutcome::Saved:
        QDialog::accept();
        return;
    case EditOutcome::Unsaved:
        QDialog::reject();
        return;
    case EditOutcome::StayFirstField:
        todo_->setFocus();
        return;
    case EditOutcome::Redisplay:
        load(record_);
        todo_->setFocus();
        return;
    case EditOutcome::Stay:
        return;
    }
}

void UpdateTodo::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    setWindowTitle(openTitle_);
}

void UpdateTodo::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

// -------------------------------------------------------------------------------- ViewToDo

ViewToDo::ViewToDo(OrganizerContext ctx, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , ctx_(std::move(ctx)) {
    setObjectName(kListProcedure);
    const QString user = Clip(ctx_.userId);
    setWindowTitle(ctx_.multiUser && !user.isEmpty() ? QStringLiteral("To Do List - ") + user
                                                     : QStringLiteral("To Do List"));
    using Col = RecordListModel<Todo>::Column;
    const QString datePicture = ctx_.dateFormat;
    std::vector<Col> columns{
        {QString(),
         [](const Todo& t, int role) {
             if (role == Qt::DecorationRole)
                 return QVariant(DoneIcon(t.done != 0));
             if (role == Qt::ToolTipRole)
                 return QVariant(t.done != 0 ? QStringLiteral("Done") : QStringLiteral("Not done"));
             return QVariant();
         }},
        {QStringLiteral("Priority"),
         [](const Todo& t, int role) {
             return role == Qt::DisplayRole ? QVariant(FormatNumber(t.priority, QStringLiteral("n2")))
                                            : QVariant();
         }},
        {QStringLiteral("To Do"),
         [](const Todo& t, int role) {
             return role == Qt::DisplayRole ? QVariant(Clip(t.todo)) : QVariant();
         }},
        {QStringLiteral("Category"),
         [](const Todo& t, int role) {
             return role == Qt::DisplayRole ? QVariant(Clip(t.category)) : QVariant();
         }},
        {QStringLiteral("Completion Date"),
         [datePicture](const Todo& t, int role) {
             return role == Qt::DisplayRole ? QVariant(FormatDate(t.completionDate, datePicture))
                                            : QVariant();
         }},
        {QStringLiteral("Completion Time"),
         [](const Todo& t, int role) {
             return role == Qt::DisplayRole ? QVariant(FormatTimeAs(t.completionTime, QStringLiteral("t3")))
                                            : QVariant();
         }},
    };
    model_ = new RecordListModel<Todo>(ctx_.store, std::move(columns), this);
    model_->setRefined([this] { refresh(); });

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabBar;
    for (const char* t : {"Do&ne", "&Priority", "To Do", "Cate&gory"})
        tabs_->addTab(QString::fromLatin1(t));
    layout->addWidget(tabs_);
    list_ = MakeRecordList(this);
    list_->setModel(model_);
    list_->setColumnWidth(DoneColumn, 34);
    list_->setColumnWidth(PriorityColumn, CharsWidth(list_, 7));
    list_->setColumnWidth(TodoColumn, CharsWidth(list_, 40));
    list_->setColumnWidth(CategoryColumn, CharsWidth(list_, kCategoryChars));
    list_->setColumnWidth(DateColumn, CharsWidth(list_, 17));
    FitHeadings(list_);
    layout->addWidget(list_, 1);
    auto* row = new QHBoxLayout;
    add_ = MakeButton(QStringLiteral("&Add"), this, [this] { addEntry(); });
    edit_ = MakeButton(QStringLiteral("&Edit"), this, [this] { editEntry(); });
    delete_ = MakeButton(QStringLiteral("&Delete"), this, [this] { deleteEntry(); });
    toggle_ = MakeButton(QStringLiteral("&Toggle Done Status"), this, [this] { toggleDone(); });
    pick_ = MakeButton(QStringLiteral("&Pick"), this, [this] { pick(); });
    auto* close = MakeButton(QStringLiteral("Cl&ose"), this, [this] { this->close(); });
    for (QPushButton* b : {add_, edit_, delete_, toggle_, pick_})
        row->addWidget(b);
    row->addStretch(1);
    row->addWidget(close);
    layout->addLayout(row);
    connect(list_, &QTableView::doubleClicked, this, [this] { editEntry(); });
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (const int r = list_->rowAt(at.y()); r >= 0)
            list_->selectRow(r);
        contextMenu()->exec(list_->viewport()->mapToGlobal(at));
    });
    connect(tabs_, &QTabBar::currentChanged, this, [this] { applyTab(); });
    connect(&PickedCategory::schedule(), &PickedCategory::changed, this, [this] {
        if (tabs_->currentIndex() == CategoryTab)
            applyTab();
    });
    resize(760, 420);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
    const QByteArray columnsState =
        QByteArray::fromBase64(ctx_.positions.read(objectName(), QStringLiteral("Columns")).toLatin1());
    if (!columnsState.isEmpty())
        list_->horizontalHeader()->restoreState(columnsState);
    applyTab();
}

ViewToDo::~ViewToDo() = default;

void ViewToDo::applyTab() {
    using Cond = KeyView::Condition;
    const qint64 keep = model_->rowidAt(list_->currentIndex().row());
    switch (tabs_->currentIndex()) {
    case PriorityTab:
        model_->setView(Todo::KEYPRIORITY);
        break;
    case TodoTab:
        model_->setView(Todo::KEYTODO);
        break;
    case CategoryTab:
        model_->setView(Todo::KEYCATEGORY,
                        {{Todo::CATEGORY, Cond::EqualNoCase, Clip(PickedCategory::schedule().value())}});
        break;
    default:
        model_->setView(Todo::KEYDONE);
        break;
    }
    toggle_->setText(tabs_->currentIndex() == CategoryTab ? QStringLiteral("&Toggle")
                                                          : QStringLiteral("&Toggle Done Status"));
    if (!model_->ok()) {
        warn::FileError(ctx_.dialogs, Todo::decl().name, model_->error());
        QTimer::singleShot(0, this, &QWidget::close);
    }
    highlight(keep);
}

void ViewToDo::refresh() {
    RefreshKeepingHighlight(*model_, *list_);
    updateButtons();
}

void ViewToDo::highlight(qint64 rowid) {
    HighlightRecord(*model_, *list_, rowid);
    updateButtons();
}

const Todo* ViewToDo::current() const {
    return model_->recordAt(list_->currentIndex().row());
}

void ViewToDo::updateButtons() {
    const bool any = current() != nullptr;
    for (QPushButton* b : {edit_, delete_, toggle_})
        b->setEnabled(any);
}

bool ViewToDo::reloadCurrent(Table<Todo>& table, Todo& record) {
    const Todo* c = current();
    if (c == nullptr)
        return false;
    if (!ReloadForChange(table, c->meta.rowid, record, ctx_.dialogs)) {
        refresh();
        return false;
    }
    return true;
}

void ViewToDo::addEntry() {
    UpdateTodo form(ctx_, Request::Insert, NewTodo(PickedCategory::schedule().value()), this);
    if (form.exec() == QDialog::Accepted) {
        model_->refresh();
        highlight(form.entry().meta.rowid);
    }
    list_->setFocus();
}

void ViewToDo::editEntry() {
    Table<Todo> table(ctx_.store);
    Todo t;
    if (!reloadCurrent(table, t))
        return;
    UpdateTodo form(ctx_, Request::Change, t, this);
    form.exec();
    model_->refresh();
    highlight(t.meta.rowid);
    list_->setFocus();
}

void ViewToDo::deleteEntry() {
    Table<Todo> table(ctx_.store);
    Todo t;
    if (!reloadCurrent(table, t))
        return;
    RecordEditor<Todo> editor(table, Request::Delete, t, {});
    if (editor.remove(t))
        refresh();
    list_->setFocus();
}

void ViewToDo::toggleDone() {
    const Todo* c = current();
    if (c == nullptr)
        return;
    const qint64 rowid = c->meta.rowid;
    Table<Todo> table(ctx_.store);
    ToggleDone(table, rowid, {ctx_.userId, ctx_.clock.today(), ctx_.clock.now()});
    model_->refresh();
    highlight(rowid);
    list_->setFocus();
}

void ViewToDo::pick() {
    if (!ctx_.selectCategory)
        return;
    PickedCategory::schedule().set(ctx_.selectCategory(PickedCategory::schedule().value()));
    list_->setFocus();
}

std::unique_ptr<QMenu> ViewToDo::contextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    connect(menu->addAction(QStringLiteral("&Add")), &QAction::triggered, this, &ViewToDo::addEntry);
    QAction* e = menu->addAction(QStringLiteral("&Edit"));
    connect(e, &QAction::triggered, this, &ViewToDo::editEntry);
    QAction* d = menu->addAction(QStringLiteral("&Delete"));
    connect(d, &QAction::triggered, this, &ViewToDo::deleteEntry);
    e->setEnabled(current() != nullptr);
    d->setEnabled(current() != nullptr);
    return menu;
}

void ViewToDo::closeEvent(QCloseEvent* event) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    ctx_.positions.write(objectName(), QStringLiteral("Columns"),
                         QString::fromLatin1(list_->horizontalHeader()->saveState().toBase64()));
    QWidget::closeEvent(event);
}

} // namespace kr
