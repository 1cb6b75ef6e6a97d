#include "clipboard/ui/ClipboardWindows.h"

#include "clipboard/Run.h"
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
#include <QTableWidget>
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
    list_ = new QTableWidget(0, 2, this);
    list_->setHorizontalHeaderLabels({QString(), QStringLiteral("Text")});
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    const QStringList columns =
        ChooseListFormat(ctx_.positions, kProcedure, kBuiltInFormat).split(QLatin1Char('|'));
    for (int c = 0; c < 2 && c < columns.size(); ++c)
        list_->setColumnWidth(c, qBound(8, columns[c].section(QLatin1Char('~'), 0, 0).toInt(), 4000));
    list_->setItemDelegate(new LinkDelegate(list_));
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, &BrowseClipboard::showMenu);
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this] { view(); });
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
    connect(tabs_, &QTabBar::currentChanged, this, [this] { refresh(); });
    resize(640, 360);
    RestoreWindowPosition(*this, kProcedure, ctx_.positions);
    readFailed_ = !refresh();
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
    const int row = list_->currentRow();
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<std::size_t>(row)] : 0;
}

bool BrowseClipboard::refresh() {
    const qint64 keep = currentRow();
    const int key = tabs_->currentIndex() == 1 ? Clipboard::KEYCLIPHASH : Clipboard::KEYCLIPDATE;
    Table<Clipboard> table(ctx_.store);
    std::vector<Clipboard> records;
    Err e = table.set(key);
    while (e == Err::None) {
        Clipboard r{};
        e = table.next(r);
        if (e == Err::None)
            records.push_back(std::move(r));
    }
    if (e != Err::NoMoreRecords) {
        warn::FileError(ctx_.dialogs, kTable, table.error());
        close();
        return false;
    }
    rows_.clear();
    list_->setRowCount(static_cast<int>(records.size()));
    static const QIcon check = CheckMark();
    int select = records.empty() ? -1 : 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Clipboard& r = records[i];
        const int row = static_cast<int>(i);
        rows_.push_back(r.meta.rowid);
        auto* mark = new QTableWidgetItem;
        if (r.clipKeep != 0)
            mark->setIcon(check);
        const bool link = ClipboardTextIsLink(r.clipContents);
        auto* text = new QTableWidgetItem(ClipboardListText(r.clipContents));
        for (QTableWidgetItem* item : {mark, text}) {
            item->setData(kLinkRole, link);
            if (link)
                item->setForeground(QColor(Qt::blue));
        }
        list_->setItem(row, 0, mark);
        list_->setItem(row, 1, text);
        if (r.meta.rowid == keep)
            select = row;
    }
    if (select >= 0)
        list_->selectRow(select);
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
