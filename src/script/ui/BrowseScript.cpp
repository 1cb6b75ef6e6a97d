#include "script/ui/BrowseScript.h"

#include "platform/Text.h"
#include "platform/qt/WindowPosition.h"
#include "script/ScriptCommands.h"
#include "script/ScriptItems.h"
#include "script/ui/ScriptPrint.h"
#include "store/RecordChanges.h"
#include "store/Table.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kr {

namespace {

// An arrow up or down, with a bar at its point for the moves to the top and the bottom.
QPixmap MoveArrow(bool up, bool toEnd, const QColor& colour) {
    const int size = 32;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    if (!up) {
        p.translate(0, size);
        p.scale(1, -1);
    }
    const qreal top = toEnd ? 10 : 5;
    QPainterPath arrow;
    arrow.moveTo(size / 2.0, top);
    arrow.lineTo(size - 5, top + 13);
    arrow.lineTo(5, top + 13);
    arrow.closeSubpath();
    p.drawPath(arrow);
    p.drawRect(QRectF(size / 2.0 - 3.5, top + 12, 7, 27 - top));
    if (toEnd)
        p.drawRect(QRectF(5, 3, size - 10, 4));
    return pixmap;
}

// The arrow in the text colour, and greyed as the buttons' texts are while they are disabled.
QIcon MoveIcon(bool up, bool toEnd, const QPalette& palette) {
    QIcon icon(MoveArrow(up, toEnd, palette.color(QPalette::Active, QPalette::ButtonText)));
    icon.addPixmap(MoveArrow(up, toEnd, palette.color(QPalette::Disabled, QPalette::ButtonText)),
                   QIcon::Disabled);
    return icon;
}

const QString kMoveUp = QStringLiteral("Move record up one");
const QString kMoveTop = QStringLiteral("Move record to the top");
const QString kMoveDown = QStringLiteral("Move record down one");
const QString kMoveBottom = QStringLiteral("Move record to the bottom");

} // namespace

BrowseScript::BrowseScript(const ScriptWindowContext& ctx, const Schedule& task, QWidget* parent)
    : QDialog(parent)
    , ctx_(ctx)
    , task_(task) {
    setObjectName(QStringLiteral("BrowseScript"));
    setWindowTitle(QStringLiteral("Scripting"));
    auto* layout = new QHBoxLayout(this);

    auto* left = new QVBoxLayout;
    auto* description = new QLabel(Clip(task_.description));
    description->setTextFormat(Qt::PlainText);
    left->addWidget(description);
    // Said where the script is edited: a task of a type that never runs its script.
    note_ = new QLabel(ScriptNotRunNote(task_.taskType));
    note_->setObjectName(QStringLiteral("scriptNotRun"));
    note_->setTextFormat(Qt::PlainText);
    note_->setWordWrap(true);
    note_->setVisible(!TaskTypeRunsScript(task_.taskType));
    left->addWidget(note_);
    list_ = new QTableWidget(0, 2, this);
    list_->setHorizontalHeaderLabels({QStringLiteral("Action"), QStringLiteral("Details")});
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(false);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 8);
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->setColumnWidth(0, list_->fontMetrics().averageCharWidth() * 22 + 12);
    list_->setMinimumWidth(list_->fontMetrics().averageCharWidth() * 80);
    left->addWidget(list_);
    layout->addLayout(left, 1);

    auto add = [this](QBoxLayout* to, const QString& text, void (BrowseScript::*work)()) {
        auto* b = new QPushButton(text);
        connect(b, &QPushButton::clicked, this, work);
        to->addWidget(b);
        buttons_.push_back(b);
        return b;
    };

    // The moves, as arrows beside the list.
    auto* moves = new QVBoxLayout;
    moves->addStretch();

    const std::tuple<QString, bool, bool, void (BrowseScript::*)()> moveButtons[] = {
        {kMoveTop, true, true, &BrowseScript::moveToTop},
        {kMoveUp, true, false, &BrowseScript::moveUp},
        {kMoveDown, false, false, &BrowseScript::moveDown},
        {kMoveBottom, false, true, &BrowseScript::moveToBottom},
    };
    for (const auto& [tip, up, toEnd, work] : moveButtons) {
        QPushButton* b = add(moves, QString(), work);
        b->setToolTip(tip);
        b->setAccessibleName(tip);
        b->setIcon(MoveIcon(up, toEnd, palette()));
        b->setIconSize(QSize(16, 16));
        b->setAutoDefault(false);
    }
    moves->addStretch();
    layout->addLayout(moves);

    auto* column = new QVBoxLayout;
    QPushButton* addButton = add(column, QStringLiteral("&Add"), &BrowseScript::addItem);
    add(column, QStringLiteral("Cop&y"), &BrowseScript::copyItem);
    QPushButton* edit = add(column, QStringLiteral("&Edit"), &BrowseScript::editItem);
    add(column, QStringLiteral("&Delete"), &BrowseScript::deleteItem);
    column->addSpacing(12);
    add(column, QStringLiteral("&Import"), &BrowseScript::importScript);
    add(column, QStringLiteral("E&xport"), &BrowseScript::exportScript);
    add(column, QStringLiteral("Clear"), &BrowseScript::clearScript);
    add(column, QStringLiteral("&Print"), &BrowseScript::printScript);
    column->addStretch();
    auto* close = new QPushButton(QStringLiteral("Cl&ose"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    column->addWidget(close);
    buttons_.push_back(close);
    layout->addLayout(column);

    // Enter and a double click change the highlighted item; Insert and Delete work as the
    // buttons do.
    edit->setDefault(true);
    connect(list_, &QTableWidget::cellDoubleClicked, this, [this] { editItem(); });
    auto* insertKey =
        new QShortcut(QKeySequence(Qt::Key_Insert), list_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(insertKey, &QShortcut::activated, this, &BrowseScript::addItem);
    auto* deleteKey =
        new QShortcut(QKeySequence(Qt::Key_Delete), list_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, &BrowseScript::deleteItem);
    connect(list_, &QTableWidget::itemSelectionChanged, this, &BrowseScript::updateButtons);
    setTabOrder(list_, addButton);

    resize(820, 420);
    RestoreWindowPosition(*this, objectName(), ctx_.positions);
    refresh(0);
    list_->setFocus();
}

QPushButton* BrowseScript::button(const QString& text) const {
    for (QPushButton* b : buttons_) {
        if (b->text() == text || (b->text().isEmpty() && b->toolTip() == text))
            return b;
    }
    return nullptr;
}

int BrowseScript::currentRow() const {
    const int row = list_->currentRow();
    return row >= 0 && row < static_cast<int>(items_.size()) ? row : -1;
}

void BrowseScript::refresh(int row) {
    items_.clear();
    ReadTaskScript(ctx_.store, task_.id, items_);
    list_->setRowCount(static_cast<int>(items_.size()));
    for (int i = 0; i < static_cast<int>(items_.size()); ++i) {
        const Scripting& s = items_[static_cast<std::size_t>(i)];
        list_->setItem(i, 0, new QTableWidgetItem(Clip(s.action.left(20))));
        const QString details = DescribeScriptItem(s);
        auto* cell = new QTableWidgetItem(details.left(80));
        cell->setToolTip(Clip(details));
        list_->setItem(i, 1, cell);
    }
    if (!items_.empty())
        list_->selectRow(qBound(0, row, static_cast<int>(items_.size()) - 1));
    updateButtons();
}

void BrowseScript::updateButtons() {
    const bool selected = currentRow() >= 0;
    for (const QString& text : {QStringLiteral("Cop&y"), QStringLiteral("&Edit"), QStringLiteral("&Delete"),
                                kMoveUp, kMoveTop, kMoveDown, kMoveBottom})
        button(text)->setEnabled(selected);
}

bool BrowseScript::reloadCurrent(Scripting& item) {
    const int row = currentRow();
    if (row < 0)
        return false;
    item = items_[static_cast<std::size_t>(row)];
    Table<Scripting> table(ctx_.store);
    if (!ReloadForChange(table, item.meta.rowid, item, ctx_.dialogs)) {
        refresh(row);
        return false;
    }
    return true;
}

void BrowseScript::addItem() {
    const int row = currentRow();
    UpdateScripting form(ctx_, task_.id, nullptr, this);
    if (!form.ready() || form.exec() != QDialog::Accepted) {
        refresh(row);
        return;
    }
    // The new item goes after the highlighted one; with none highlighted it stays at the end.
    if (row < 0 && !items_.empty()) {
        refresh(static_cast<int>(items_.size()));
        return;
    }
    const qint32 after = row >= 0 ? items_[static_cast<std::size_t>(row)].sequence : 0;
    ScriptOrdering(ctx_.store, task_.id).placeAfter(form.item().sequence, after);
    refresh(row + 1);
}

void BrowseScript::copyItem() {
    const int row = currentRow();
    if (row < 0)
        return;
    const Scripting source = items_[static_cast<std::size_t>(row)];
    UpdateScripting form(ctx_, task_.id, &source, this);
    if (!form.ready() || form.exec() != QDialog::Accepted) {
        refresh(row);
        return;
    }
    refresh(static_cast<int>(items_.size()));
}

void BrowseScript::editItem() {
    Scripting item;
    if (!reloadCurrent(item))
        return;
    const int row = currentRow();
    UpdateScripting form(ctx_, item, this);
    form.exec();
    refresh(row);
}

void BrowseScript::deleteItem() {
    Scripting item;
    if (!reloadCurrent(item))
        return;
    const int row = currentRow();
    Table<Scripting> table(ctx_.store);
    RecordEditor<Scripting> editor(table, Request::Delete, item, {});
    if (editor.remove(item))
        ScriptOrdering(ctx_.store, task_.id).closeGap(item.sequence);
    refresh(row);
}

void BrowseScript::moveUp() {
    const int row = currentRow();
    if (row < 0)
        return;
    ScriptOrdering(ctx_.store, task_.id).moveUp(items_[static_cast<std::size_t>(row)].sequence);
    refresh(row - 1);
}

void BrowseScript::moveToTop() {
    const int row = currentRow();
    if (row < 0)
        return;
    ScriptOrdering(ctx_.store, task_.id).moveToTop(items_[static_cast<std::size_t>(row)].sequence);
    refresh(0);
}

void BrowseScript::moveDown() {
    const int row = currentRow();
    if (row < 0)
        return;
    ScriptOrdering(ctx_.store, task_.id).moveDown(items_[static_cast<std::size_t>(row)].sequence);
    refresh(row + 1);
}

void BrowseScript::moveToBottom() {
    const int row = currentRow();
    if (row < 0)
        return;
    ScriptOrdering(ctx_.store, task_.id).moveToBottom(items_[static_cast<std::size_t>(row)].sequence);
    refresh(static_cast<int>(items_.size()) - 1);
}

void BrowseScript::importScript() {
    const QString file =
        ctx_.files.openFile(QStringLiteral("Choose File to Import"), kScriptFileFilter, QString());
    if (file.isEmpty())
        return;
    ImportScript(ctx_.store, *ctx_.progress.open(), task_.id, file);
    refresh(currentRow());
}

void BrowseScript::exportScript() {
    const QString file = ctx_.files.saveFile(QStringLiteral("Export to File"), kScriptFileFilter, QString());
    if (file.isEmpty())
        return;
    ExportScript(ctx_.store, *ctx_.progress.open(), task_.id, file);
}

void BrowseScript::clearScript() {
    if (ctx_.dialogs.message(QStringLiteral("Delete all script items for the current task?"),
                             QStringLiteral("Clear All"), Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No,
                             Dialogs::No) != Dialogs::Yes)
        return;
    DeleteScript(ctx_.store, *ctx_.progress.open(), task_.id);
    refresh(0);
}

void BrowseScript::printScript() {
    PrintCurrentScript(ctx_, task_, this);
}

void BrowseScript::done(int result) {
    SaveWindowPosition(*this, objectName(), ctx_.positions);
    QDialog::done(result);
}

} // namespace kr
