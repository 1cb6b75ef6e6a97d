#include "clipboard/ui/ClipboardWindows.h"

#include "clipboard/Run.h"
#include "organizer/RecordListModel.h"
#include "platform/Pictures.h"
#include "platform/Text.h"
#include "platform/qt/ListFormat.h"
#include "platform/qt/WindowPosition.h"
#include "store/RecordChanges.h"
#include "store/Table.h"
#include "store/Warnings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>

namespace kr {

namespace {

const QString kProcedure = QStringLiteral("BrowseClipboard");
const QString kTable = QStringLiteral("Clipboard");
constexpr int kLinkRole = Qt::UserRole + 1;
// The list's layout in the schedule list's format code: "width~Title~@picture@" per column.
const QString kBuiltInFormat = QStringLiteral("24~~@s1@|560~Text~@s255@");

// The keep mark: a check drawn in the list's text colour.
QIcon CheckMark() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(0, 128, 0));
    pen.setWidthF(2.2);
    p.setPen(pen);
    p.drawPolyline(QPolygonF{{QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}});
    p.end();
    return QIcon(pixmap);
}

// Links are drawn blue, and aqua while selected.
class LinkDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(kLinkRole).toBool()) {
            option->palette.setColor(QPalette::Text, QColor(Qt::blue));
            option->palette.setColor(QPalette::HighlightedText, QColor(0, 255, 255));
        }
    }
};

QPushButton* MakeButton(const QString& text, QWidget* parent, std::function<void()> action) {
    auto* b = new QPushButton(text, parent);
    QObject::connect(b, &QPushButton::clicked, parent, [action = std::move(action)] { action(); });
    return b;
}

} // namespace

QString ClipboardListText(const QString& text) {
    QString shown = text.left(255);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\u21B5"));
    shown.replace(QLatin1Char('\n'), QChar(0x21B5));
    shown.replace(QLatin1Char('\r'), QChar(0x21B5));
    return shown;
}

// ------------------------------------------------------------------------- UpdateClipboard

UpdateClipboard::UpdateClipboard(ClipboardWindowContext& ctx, Mode mode, const Clipboard& record,
                                 QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , mode_(mode)
    , record_(record) {
    setObjectName(QStringLiteral("UpdateClipboard"));
    setWindowTitle(QStringLiteral("Clipboard Record"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    date_ = new QLabel(FormatDateAs(record_.clipDate, QStringLiteral("d3")), this);
    time_ = new QLabel(FormatTimeAs(record_.clipTime, QStringLiteral("t3")), this);
    form->addRow(QStringLiteral("Date:"), date_);
    form->addRow(QStringLiteral("Time:"), time_);
    layout->addLayout(form);
    text_ = new QPlainTextEdit(Clip(record_.clipContents), this);
    text_->setReadOnly(true);
    layout->addWidget(text_, 1);
    keep_ = new QCheckBox(QStringLiteral("Keep this clipboard record"), this);
    keep_->setChecked(record_.clipKeep != 0);
    layout->addWidget(keep_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ok_ = MakeButton(QStringLiteral("&Ok"), this, [this] {
        Table<Clipboard> table(ctx_.store);
        RecordEditor<Clipboard> editor(table, Request::Change, record_, {});
        Clipboard edited = record_;
        edited.clipKeep = keep_->isChecked() ? 1 : 0;
        if (editor.save(edited) == EditOutcome::Saved)
            accept();
    });
    buttons->addWidget(ok_);
    buttons->addWidget(MakeButton(QStringLiteral("Cl&ose"), this, [this] { reject(); }));
    layout->addLayout(buttons);
    if (mode_ == Mode::View) {
        ok_->setEnabled(false);
        keep_->setEnabled(false);
    }
    resize(480, 360);
}

bool UpdateClipboard::deleteRecord() {
    Table<Clipboard> table(ctx_.store);
    while (DeleteCurrent(table, record_) != ChangeResult::Done) {
        if (!detail::AskDeleteAgain(ctx_.dialogs))
            return false;
    }
    return true;
}

// ------------------------------------------------------------------------- BrowseClipboard

BrowseClipboard::BrowseClipboard(ClipboardWindowContext ctx, QWidget* parent)
    : QWidget(parent)
    , ctx_(std::move(ctx)) {
    setObjectName(kProcedure);
    setWindowTitle(QStringLiteral("Browse Clipboard Saver"));
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    tabs_ = new QTabBar(this);
    tabs_->addTab(QStringLiteral("By Date"));
    tabs_->addTab(QStringLiteral("By Content"));
    left->addWidget(tabs_);
    using Col = RecordListModel<Clipboard>::Column;
    std::vector<Col> columns{
        {QString(),
         [](const Clipboard& r, int role) {
             static const QIcon check = CheckMark();
             if (role == Qt::DecorationRole && r.clipKeep != 0)
                 return QVariant(check);
             if (role == kLinkRole)
                 return QVariant(ClipboardTextIsLink(r.clipContents));
             return QVariant();
         }},
        {QStringLiteral("Text"),
         [](const Clipboard& r, int role) {
             switch (role) {
             case Qt::DisplayRole:
                 return QVariant(ClipboardListText(r.clipContents));
             case Qt::ForegroundRole:
                 return ClipboardTextIsLink(r.clipContents) ? QVariant(QColor(Qt::blue)) : QVariant();
             case kLinkRole:
                 return QVariant(ClipboardTextIsLink(r.clipContents));
             default:
                 return QVariant();
             }
         }},
    };
    model_ = new RecordListModel<Clipboard>(ctx_.store, std::move(columns), this);
    list_ = new QTableView(this);
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(false);
    list_->setShowGrid(false);
    list_->verticalHeader()->hide();
    // Rows of one height: the view never measures rows it does not show.
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 8);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->horizontalHeader()->setHighlightSections(false);
    const QStringList columnFormats =
        ChooseListFormat(ctx_.positions, kProcedure, kBuiltInFormat).split(QLatin1Char('|'));
    for (int c = 0; c < 2 && c < columnFormats.size(); ++c)
        list_->setColumnWidth(c, qBound(8, columnFormats[c].section(QLatin1Char('~'), 0, 0).toInt(), 4000));
    list_->setItemDelegate(new LinkDelegate(list_));
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, &BrowseClipboard::showMenu);
    connect(list_, &QTableView::doubleClicked, this, [this] { view(); });
    left->addWidget(list_, 1);
    layout->addLayout(left, 1);
    auto* column = new QVBoxLayout;
    column->addWidget(MakeButton(QStringLiteral("&Copy to Clipboard"), this, [this] { copyToClipboard(); }));
    column->addWidget(MakeButton(QStringLiteral("&View"), this, [this] { view(); }));
    column->addWidget(MakeButton(QStringLiteral("&Delete"), this, [this] { deleteEntry(); }));
    column->addWidget(MakeButton(QStringLiteral("&Toggle Save"), this, [this] { toggleSave(); }));
    column->addWidget(MakeButton(QStringLiteral("&Run"), this, [this] { run(); }));
    column->addStretch(1);
    column->addWidget(MakeButton(QStringLiteral("Cl&ose"), this, [this] { close(); }));
    layout->addLayout(column);
    connect(tabs_, &QTabBar::currentChanged, this, [this] {
        const qint64 keep = currentRow();
        if (showOrder())
            highlight(keep, 0);
    });
    resize(640, 360);
    RestoreWindowPosition(*this, kProcedure, ctx_.positions);
    readFailed_ = !showOrder();
    if (!readFailed_)
        highlight(0, 0);
}

BrowseClipboard::~BrowseClipboard() = default;

QStringList BrowseClipboard::menuTexts() {
    return {QStringLiteral("&Delete"), QStringLiteral("&Copy to Clipboard")};
}

QPushButton* BrowseClipboard::button(const QString& text) const {
    for (auto* b : findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

qint64 BrowseClipboard::currentRow() const {
    return model_->rowidAt(list_->currentIndex().row());
}

bool BrowseClipboard::showOrder() {
    model_->setView(tabs_->currentIndex() == 1 ? Clipboard::KEYCLIPHASH : Clipboard::KEYCLIPDATE);
    if (model_->ok())
        return true;
    warn::FileError(ctx_.dialogs, kTable, model_->error());
    close();
    return false;
}

void BrowseClipboard::highlight(qint64 rowid, int otherwise) {
    int row = rowid != 0 ? model_->rowOf(rowid) : -1;
    if (row < 0 && model_->rowCount() > 0)
        row = qBound(0, otherwise, model_->rowCount() - 1);
    if (row < 0)
        return;
    list_->selectRow(row);
    list_->scrollTo(model_->index(row, 0));
}

bool BrowseClipboard::refresh() {
    const int row = list_->currentIndex().row();
    const qint64 keep = model_->rowidAt(row);
    model_->refresh();
    if (!model_->ok()) {
        warn::FileError(ctx_.dialogs, kTable, model_->error());
        close();
        return false;
    }
    highlight(keep, row);
    return true;
}

bool BrowseClipboard::reread(Clipboard& record) {
    const qint64 rowid = currentRow();
    if (rowid == 0)
        return false;
    Table<Clipboard> table(ctx_.store);
    table.watch();
    const Err e = table.fetch(rowid, record);
    if (e == Err::None)
        return true;
    if (e != Err::RecordNotFound)
        warn::FileError(ctx_.dialogs, kTable, table.error());
    refresh();
    return false;
}

void BrowseClipboard::copyToClipboard() {
    Clipboard r{};
    if (reread(r))
        ctx_.clipboard.put(Clip(r.clipContents));
}

void BrowseClipboard::view() {
    Clipboard r{};
    if (!reread(r))
        return;
    UpdateClipboard form(ctx_, UpdateClipboard::Mode::View, r, this);
    form.exec();
    refresh();
}

void BrowseClipboard::deleteEntry() {
    Clipboard r{};
    if (!reread(r))
        return;
    if (r.clipKeep != 0 &&
        ctx_.dialogs.message(
            QStringLiteral("This clipboard record has a \"Save\" indicator.  Are you sure you "
                           "want to delete it?"),
            QStringLiteral("Delete Record"), Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No,
            Dialogs::No) != Dialogs::Yes)
        return;
    UpdateClipboard form(ctx_, UpdateClipboard::Mode::Delete, r, this);
    form.deleteRecord();
    refresh();
}

void BrowseClipboard::toggleSave() {
    Clipboard r{};
    if (!reread(r))
        return;
    const Clipboard loaded = r;
    r.clipKeep = r.clipKeep != 0 ? 0 : 1;
    Table<Clipboard> table(ctx_.store);
    UpdateCurrent(table, r, loaded, false);
    refresh();
}

void BrowseClipboard::run() {
    Clipboard r{};
    if (reread(r) && ctx_.run)
        ctx_.run(r.clipContents);
}

void BrowseClipboard::showMenu(const QPoint& at) {
    if (const int row = list_->rowAt(at.y()); row >= 0)
        list_->selectRow(row);
    QMenu menu(this);
    const QStringList texts = menuTexts();
    QAction* del = menu.addAction(texts[0]);
    QAction* copy = menu.addAction(texts[1]);
    QAction* chosen = menu.exec(list_->viewport()->mapToGlobal(at));
    if (chosen == del)
        deleteEntry();
    else if (chosen == copy)
        copyToClipboard();
}

void BrowseClipboard::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete) {
        deleteEntry();
        return;
    }
    QWidget::keyPressEvent(event);
}

QString BrowseClipboard::currentFormat() const {
    return QStringLiteral("%1~~@s1@|%2~Text~@s255@").arg(list_->columnWidth(0)).arg(list_->columnWidth(1));
}

void BrowseClipboard::closeEvent(QCloseEvent* event) {
    SaveWindowPosition(*this, kProcedure, ctx_.positions);
    SaveListFormat(ctx_.positions, kProcedure, kBuiltInFormat, currentFormat());
    event->accept();
}

} // namespace kr
