#include "scheduler/ui/BrowseSchedule.h"

#include "platform/Text.h"
#include "platform/qt/Keyboard.h"
#include "platform/qt/WindowPosition.h"
#include "scheduler/TaskEditing.h"
#include "scheduler/ui/RunsWindow.h"
#include "store/Table.h"
#include "store/Warnings.h"
#include "widgets/Calendar.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace kr {

namespace {

const QString kProcedure = QStringLiteral("BrowseSchedule");
const char* const kTabs[] = {"Day Schedule", "All by Date", "All by Category", "Selected"};
// The list before it had its last-result column: a layout saved against it gains the column.
const QString kSevenColumns = QStringLiteral("26~~@n1@|100~Date~@d3@|72~Time~@t3@|120~Category~@s20@|"
                                             "250~Description~@s40@|110~Task Type~@s20@|110~Schedule Type~@s20@");
const QString kResultColumn = QStringLiteral("|140~Last Result~@s40@");

void UpgradeSavedFormat(const IniFile& positions) {
    if (positions.read(kProcedure, kOriginalFormatKey) != kSevenColumns)
        return;
    const QString user = positions.read(kProcedure, kUserFormatKey);
    positions.write(kProcedure, kOriginalFormatKey, BuiltInScheduleFormat());
    if (!user.isEmpty() && !user.contains(QStringLiteral("~Last Result~")))
        positions.write(kProcedure, kUserFormatKey, user + kResultColumn);
}

} // namespace

QString BuiltInScheduleFormat() {
    return kSevenColumns + kResultColumn;
}

BrowseSchedule::BrowseSchedule(ScheduleListContext ctx, QWidget* parent)
    : QDialog(parent)
    , ctx_(std::move(ctx)) {
    setObjectName(kProcedure);
    setWindowFlag(Qt::WindowMinMaxButtonsHint);
    const Settings& settings = ctx_.forms.settings;
    const QString user = Clip(settings.userId);
    setWindowTitle(settings.multiUser && !user.isEmpty() ? QStringLiteral("View Schedule - ") + user
                                                         : QStringLiteral("View Schedule"));
    selectedDay_ = lastDay_ = ctx_.forms.clock.today();
    activeOnly_ = settings.activeOnly;

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabBar;
    for (const char* t : kTabs)
        tabs_->addTab(QString::fromLatin1(t));
    tabs_->setCurrentIndex(settings.fullSchedule ? 1 : 0);
    layout->addWidget(tabs_);

    auto* info = new QHBoxLayout;
    dayLabel_ = new QLabel;
    categoryLabel_ = new QLabel;
    info->addWidget(dayLabel_);
    info->addSpacing(24);
    info->addWidget(categoryLabel_);
    info->addStretch();
    layout->addLayout(info);

    model_ = new ScheduleListModel(ctx_.forms.store, DatePictureFor(settings.dateFormat), this);
    connect(model_, &ScheduleListModel::readFailed, this,
            [this](const StoreError& e) { warn::ViewOpen(ctx_.forms.dialogs, Schedule::decl().name, e); });
    list_ = new QTableView;
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->setContextMenuPolicy(Qt::DefaultContextMenu);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    list_->horizontalHeader()->setSectionsMovable(true);
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->setIconSize(QSize(16, 16));
    layout->addWidget(list_, 1);
    connect(list_, &QTableView::doubleClicked, this, [this] { editTask(); });
    // Whatever reads the list again (a change, the count of a large view done in the
    // background) keeps the highlighted record highlighted, where it was on the screen.
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { rememberHighlight(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { restoreHighlight(); });

    auto* row = new QHBoxLayout;
    const std::pair<const char*, void (BrowseSchedule::*)()> actions[] = {
        {"&Add", &BrowseSchedule::addTask},
        {"Cop&y", &BrowseSchedule::copyTask},
        {"&Edit", &BrowseSchedule::editTask},
        {"&Delete", &BrowseSchedule::deleteTask},
        {"Reschedule", &BrowseSchedule::rescheduleTask},
        {"Run Now", &BrowseSchedule::runTaskNow},
        {"&Pick Day", &BrowseSchedule::pickDay},
        {"Pick &Category", &BrowseSchedule::pickCategory},
        {"Search", nullptr},
    };
    for (const auto& [text, action] : actions) {
        auto* b = new QPushButton(QString::fromLatin1(text));
        b->setAutoDefault(false);
        if (action != nullptr)
            connect(b, &QPushButton::clicked, this, action);
        buttons_.push_back(b);
        row->addWidget(b);
    }
    button(QStringLiteral("Reschedule"))
        ->setToolTip(QStringLiteral("Rescheduling Wizard - ideal for holidays, and temporary changes"));
    connect(button(QStringLiteral("Search")), &QPushButton::clicked, this, &BrowseSchedule::search);
    row->addStretch();
    auto* close = new QPushButton(QStringLiteral("Cl&ose"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons_.push_back(close);
    row->addWidget(close);
    layout->addLayout(row);

    connect(tabs_, &QTabBar::currentChanged, this, [this] { applyFilter(); });
    // Ctrl+Tab and Ctrl+Shift+Tab turn the tabs, as in any tabbed window.
    TurnTabsWithKeys(this, tabs_);
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { updateButtons(); });
    connect(&dayTimer_, &QTimer::timeout, this, &BrowseSchedule::checkDay);
    dayTimer_.setSingleShot(true);
    armDayTimer();

    resize(960, 420); // the eight columns side by side
    RestoreWindowPosition(*this, kProcedure, ctx_.forms.positions);
    UpgradeSavedFormat(ctx_.forms.positions);
    applyFormat(WithDatePicture(ChooseListFormat(ctx_.forms.positions, kProcedure, BuiltInScheduleFormat()),
                                DatePictureFor(settings.dateFormat)));
    applyFilter();
    ctx_.state.listeners.add(this);
    ctx_.state.listeners.add(this, Runs::decl().name); // the last-result column
}

BrowseSchedule::~BrowseSchedule() {
    ctx_.state.listeners.remove(this);
}

QPushButton* BrowseSchedule::button(const QString& text) const {
    for (QPushButton* b : buttons_)
        if (b->text() == text)
            return b;
    return nullptr;
}

ScheduleView BrowseSchedule::view() const {
    return static_cast<ScheduleView>(tabs_->currentIndex());
}

void BrowseSchedule::applyFormat(const QString& format) {
    const std::vector<ColumnFormat> columns = ParseFormat(format);
    QHeaderView* header = list_->horizontalHeader();
    for (std::size_t visual = 0; visual < columns.size(); ++visual) {
        int logical = -1;
        for (int c = 0; c < ScheduleListModel::ColumnCount; ++c)
            if (model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() == columns[visual].title)
                logical = c;
        if (logical < 0)
            continue;
        header->moveSection(header->visualIndex(logical), static_cast<int>(visual));
        header->resizeSection(logical, columns[visual].width);
        if (logical == ScheduleListModel::DateColumn) {
            QString picture = columns[visual].picture; // "@d6@"
            picture.remove(QLatin1Char('@'));
            if (!picture.isEmpty())
                model_->setDatePicture(picture);
        }
    }
}

QString BrowseSchedule::currentFormat() const {
    const std::vector<ColumnFormat> builtIn = ParseFormat(BuiltInScheduleFormat());
    QHeaderView* header = list_->horizontalHeader();
    QStringList parts;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        QString picture = builtIn[static_cast<std::size_t>(logical)].picture;
        parts << QString::number(header->sectionSize(logical)) + QLatin1Char('~') +
                     model_->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString() +
                     QLatin1Char('~') + picture;
    }
    return parts.join(QLatin1Char('|'));
}

void BrowseSchedule::applyFilter(bool keepHighlight) {
    ScheduleListModel::Filter f;
    f.view = view();
    f.day = selectedDay_;
    f.category = category_;
    f.activeOnly = activeOnly_;
    if (f.view == ScheduleView::Selected && ctx_.taggedTasks)
        f.tagged = ctx_.taggedTasks();
    keepHighlight_ = keepHighlight;
    model_->setFilter(std::move(f));
    keepHighlight_ = true;
    if (!keepHighlight && model_->rowCount() > 0)
        list_->setCurrentIndex(model_->index(0, ScheduleListModel::DescriptionColumn));
    updateLabels();
    updateButtons();
}

void BrowseSchedule::refresh() {
    if (view() == ScheduleView::Selected)
        applyFilter(true); // the tags are read again too
    else
        model_->refresh();
    updateButtons();
}

void BrowseSchedule::rememberHighlight() {
    kept_ = Kept{};
    QScrollBar* bar = list_->verticalScrollBar();
    kept_.scroll = bar->value();
    const QModelIndex current = list_->currentIndex();
    if (!keepHighlight_ || !current.isValid())
        return;
    kept_.row = current.row();
    kept_.rowid = model_->rowidAt(current.row());
    const int y = list_->rowViewportPosition(current.row());
    kept_.inSight = y >= 0 && y < list_->viewport()->height();
    kept_.y = y;
}

void BrowseSchedule::restoreHighlight() {
    if (!keepHighlight_ || kept_.row < 0)
        return;
    // The scroll bar is set for the new rows at once rather than on the next layout.
    list_->doItemsLayout();
    QScrollBar* bar = list_->verticalScrollBar();
    int row = kept_.rowid != 0 ? model_->rowOf(kept_.rowid) : -1;
    const bool found = row >= 0;
    if (!found)
        row = std::min(kept_.row, model_->rowCount() - 1);
    if (row < 0)
        return;
    list_->setCurrentIndex(model_->index(row, ScheduleListModel::DescriptionColumn));
    if (found && kept_.inSight) {
        // Where it was on the screen: the rows around it move, not the one the user is at.
        const int delta = list_->rowViewportPosition(row) - kept_.y;
        if (list_->verticalScrollMode() == QAbstractItemView::ScrollPerPixel) {
            bar->setValue(bar->value() + delta);
        } else {
            const int h = std::max(1, list_->verticalHeader()->defaultSectionSize());
            bar->setValue(bar->value() + (delta >= 0 ? delta + h / 2 : delta - h / 2) / h);
        }
    } else if (!found) {
        bar->setValue(kept_.scroll);
    }
}

qint64 BrowseSchedule::targetRow() {
    if (menuTarget_ != 0)
        return menuTarget_;
    const QModelIndex current = list_->currentIndex();
    return current.isValid() ? model_->rowidAt(current.row()) : 0;
}

void BrowseSchedule::highlightTask(qint32 id) {
    Table<Schedule> tasks(ctx_.forms.store);
    Schedule t;
    t.id = id;
    if (tasks.get(Schedule::KEYID, t) != Err::None)
        return;
    const int row = model_->rowOf(t.meta.rowid);
    if (row >= 0)
        list_->setCurrentIndex(model_->index(row, ScheduleListModel::DescriptionColumn));
}

void BrowseSchedule::search() {
    if (!ctx_.search)
        return;
    const SearchOutcome outcome = ctx_.search(this);
    switch (outcome.kind) {
    case SearchOutcome::Edit:
        editTaskNumber(outcome.task);
        break;
    case SearchOutcome::SelectionChanged:
        if (view() == ScheduleView::Selected)
            applyFilter();
        else
            tabs_->setCurrentIndex(static_cast<int>(ScheduleView::Selected));
        // The other lists show the new selection too.
        ctx_.state.listeners.post(kScheduleTable, this);
        break;
    case SearchOutcome::Nothing:
        break;
    }
}

void BrowseSchedule::editTaskNumber(qint32 id) {
    Table<Schedule> tasks(ctx_.forms.store);
    Schedule t;
    t.id = id;
    tasks.watch();
    const Err e = tasks.get(Schedule::KEYID, t);
    if (e != Err::None) {
        if (e != Err::RecordNotFound)
            warn::RecordRetrieval(ctx_.forms.dialogs, Schedule::decl().name, tasks.error());
        refresh();
        return;
    }
    if (open(TaskWindow::UpdateSchedule, Request::Change, t)) {
        changed();
        highlightTask(t.id);
    }
}

void BrowseSchedule::updateLabels() {
    dayLabel_->setText(QStringLiteral("Day: ") + FormatDate(selectedDay_, ctx_.forms.settings.dateFormat));
    dayLabel_->setVisible(view() == ScheduleView::Day);
    categoryLabel_->setText(QStringLiteral("Category: ") +
                            (Clip(category_).isEmpty() ? QStringLiteral("(none)") : Clip(category_)));
    categoryLabel_->setVisible(view() == ScheduleView::AllByCategory);
}

void BrowseSchedule::updateButtons() {
    const bool any = list_->currentIndex().isValid() && model_->rowCount() > 0;
    for (const char* name : {"Cop&y", "&Edit", "&Delete", "Reschedule", "Run Now"})
        button(QString::fromLatin1(name))->setEnabled(any);
    button(QStringLiteral("Pick &Category"))->setEnabled(static_cast<bool>(ctx_.pickCategory));
    button(QStringLiteral("Search"))->setEnabled(static_cast<bool>(ctx_.search));
}

bool BrowseSchedule::highlighted(Schedule& task) {
    const qint64 rowid = targetRow();
    if (rowid == 0)
        return false;
    Table<Schedule> tasks(ctx_.forms.store);
    tasks.watch();
    if (rowid == 0 || tasks.fetch(rowid, task) != Err::None) {
        // Gone meanwhile: the list shows what is there now.
        refresh();
        return false;
    }
    return true;
}

bool BrowseSchedule::open(TaskWindow window, Request request, Schedule& task) {
    if (ctx_.openForm)
        return ctx_.openForm(window, request, task, selectedDay_);
    if (request == Request::Delete)
        return DeleteTask(ctx_.forms.store, task);
    std::unique_ptr<TaskForm> form;
    if (window == TaskWindow::SpecialEventWizard)
        form = std::make_unique<SpecialEventWizard>(ctx_.forms, task, this);
    else
        form = std::make_unique<UpdateSchedule>(ctx_.forms, request, task, selectedDay_, this);
    if (!form->ready() || form->exec() != QDialog::Accepted)
        return false;
    task = form->task();
    return true;
}

void BrowseSchedule::changed() {
    // Every schedule list refreshes, this one at once.
    refresh();
    ctx_.state.listeners.post(kScheduleTable, this);
}

void BrowseSchedule::addTask() {
    Schedule blank;
    if (open(TaskWindow::UpdateSchedule, Request::Insert, blank)) {
        changed();
        highlightTask(blank.id);
    }
}

void BrowseSchedule::copyTask() {
    Schedule t;
    if (!highlighted(t))
        return;
    if (open(TaskWindow::UpdateSchedule, Request::Insert, t)) {
        changed();
        highlightTask(t.id);
    }
}

void BrowseSchedule::editTask() {
    Schedule t;
    if (highlighted(t) && open(TaskWindow::UpdateSchedule, Request::Change, t))
        changed();
}

void BrowseSchedule::deleteTask() {
    Schedule t;
    if (highlighted(t) && open(TaskWindow::UpdateSchedule, Request::Delete, t))
        changed();
}

void BrowseSchedule::rescheduleTask() {
    Schedule t;
    if (highlighted(t) && open(TaskWindow::SpecialEventWizard, Request::Insert, t))
        changed();
}

void BrowseSchedule::runTaskNow() {
    Schedule t;
    if (!highlighted(t))
        return;
    ctx_.state.manualScriptPending = true;
    if (ctx_.runNow)
        ctx_.runNow(t);
}

void BrowseSchedule::pickDay() {
    const Date picked =
        ctx_.forms.calendar
            ? ctx_.forms.calendar(selectedDay_, QStringLiteral("Select Date"), kCalendarAllDays, Schedule{})
            : Calendar({ctx_.forms.dialogs, ctx_.forms.clock, ctx_.forms.positions}, selectedDay_,
                       QStringLiteral("Select Date"), kCalendarAllDays, Schedule{}, this);
    setSelectedDay(picked);
}

void BrowseSchedule::setSelectedDay(Date day) {
    if (day == 0 || day == selectedDay_)
        return;
    selectedDay_ = day;
    applyFilter();
}

void BrowseSchedule::pickCategory() {
    if (!ctx_.pickCategory)
        return;
    const QString picked = ctx_.pickCategory(category_);
    if (picked == category_)
        return;
    category_ = picked;
    applyFilter();
}

void BrowseSchedule::quickStart(Time delay) {
    Schedule t;
    if (!highlighted(t))
        return;
    StoreError error;
    if (QuickStart(ctx_.forms.store, t, ctx_.forms.clock.today(), ctx_.forms.clock.now(), delay,
                   ctx_.forms.progress.open().get(), &error) == 0) {
        warn::InsertError(ctx_.forms.dialogs, error);
        return;
    }
    changed();
}

void BrowseSchedule::openScript() {
    Schedule t;
    if (highlighted(t) && ctx_.forms.scripting)
        ctx_.forms.scripting(t);
}

void BrowseSchedule::showRuns() {
    Schedule t;
    if (!highlighted(t))
        return;
    auto* w = new RunsWindow({ctx_.forms.store, ctx_.forms.dialogs, ctx_.forms.positions,
                              DatePictureFor(ctx_.forms.settings.dateFormat)},
                             t.id, Clip(t.description), this);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
}

void BrowseSchedule::setActiveOnly(bool on) {
    if (on == activeOnly_)
        return;
    activeOnly_ = on;
    applyFilter();
}

QMenu* BrowseSchedule::contextMenu() {
    auto* menu = new QMenu(this);
    const bool empty = model_->rowCount() == 0 || !list_->currentIndex().isValid();
    // The record the menu was opened on: its commands act on it, whatever the list shows by
    // the time one is chosen.
    const qint64 target = empty ? 0 : targetRow();
    auto on = [this, target](auto&& work) {
        return [this, target, work] {
            const QScopedValueRollback<qint64> keep(menuTarget_, target);
            work();
        };
    };
    auto add = [&](const QString& text, bool enabled, auto&& slot) {
        QAction* a = menu->addAction(text);
        a->setEnabled(enabled);
        connect(a, &QAction::triggered, this, on(slot));
        return a;
    };
    auto enabled = [this](const char* name) { return button(QString::fromLatin1(name))->isEnabled(); };
    add(QStringLiteral("&Add"), enabled("&Add"), [this] { addTask(); });
    add(QStringLiteral("&Edit"), enabled("&Edit") && !empty, [this] { editTask(); });
    add(QStringLiteral("&Delete"), enabled("&Delete") && !empty, [this] { deleteTask(); });
    menu->addSeparator();
    add(QStringLiteral("Cop&y"), enabled("Cop&y"), [this] { copyTask(); });
    menu->addSeparator();
    add(QStringLiteral("Reschedule"), enabled("Reschedule"), [this] { rescheduleTask(); });
    add(QStringLiteral("Run Now"), enabled("Run Now"), [this] { runTaskNow(); });
    QMenu* quick = menu->addMenu(QStringLiteral("Quick Start"));
    quick->setEnabled(!empty);
    for (const QuickStartDelay& d : QuickStartDelays()) {
        const Time delay = d.delay;
        connect(quick->addAction(QString::fromLatin1(d.name)), &QAction::triggered, this,
                on([this, delay] { quickStart(delay); }));
    }
    quick->addSeparator();
    quick->addAction(QStringLiteral("Cancel"));
    menu->addSeparator();
    add(QStringLiteral("&Scripting"), !empty && static_cast<bool>(ctx_.forms.scripting),
        [this] { openScript(); });
    add(QStringLiteral("Show &Runs..."), !empty, [this] { showRuns(); });
    menu->addSeparator();
    add(QStringLiteral("Show Active Only"), !activeOnly_, [this] { setActiveOnly(true); });
    add(QStringLiteral("Show All"), activeOnly_, [this] { setActiveOnly(false); });
    return menu;
}

void BrowseSchedule::armDayTimer() {
    const qint64 toMidnightMs = static_cast<qint64>(kOneDay - ctx_.forms.clock.now()) * 10 + 50;
    dayTimer_.start(static_cast<int>(std::clamp<qint64>(toMidnightMs, 50, 60000)));
}

void BrowseSchedule::checkDay() {
    armDayTimer();
    const Date today = ctx_.forms.clock.today();
    if (today == lastDay_)
        return;
    const bool follow = selectedDay_ == lastDay_;
    lastDay_ = today;
    if (follow) {
        selectedDay_ = today;
        applyFilter();
    }
}

bool BrowseSchedule::event(QEvent* e) {
    if (e->type() == kScheduleChangedEvent || TableChangedEvent::TableOf(e) == Runs::decl().name) {
        refresh();
        return true;
    }
    if (e->type() == QEvent::ContextMenu) {
        auto* c = static_cast<QContextMenuEvent*>(e);
        if (list_->geometry().contains(c->pos())) {
            const QModelIndex at = list_->indexAt(list_->viewport()->mapFrom(this, c->pos()));
            if (at.isValid())
                list_->setCurrentIndex(at);
            QMenu* menu = contextMenu();
            menu->exec(c->globalPos());
            menu->deleteLater();
            return true;
        }
    }
    return QDialog::event(e);
}

void BrowseSchedule::done(int result) {
    SaveWindowPosition(*this, kProcedure, ctx_.forms.positions);
    ctx_.forms.positions.write(kProcedure, kOriginalFormatKey, BuiltInScheduleFormat());
    ctx_.forms.positions.write(kProcedure, kUserFormatKey, currentFormat());
    QDialog::done(result);
}

} // namespace kr
