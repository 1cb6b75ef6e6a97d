#include "app/MainFrame.h"

#include "app/ServerWatch.h"
#include "app/Setup.h"
#include "platform/Pictures.h"
#include "platform/qt/TextViewer.h"
#include "platform/qt/WindowPosition.h"
#include "store/Tables.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

// The frame's icons and help live in resources of this library, which a static link only
// keeps when they are named.
static void InitResources() {
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(help);
}

namespace kr {

namespace {

const QString kProcedure = QStringLiteral("Main");

struct MenuEntry {
    const char* path; // menu texts joined by '/', "-" as the last part for a separator
    const char* procedure;
    const char* tip;
};

// The frame's menu. Items whose window is not available are shown disabled.
const MenuEntry kMenu[] = {
    {"&File/&Setup...", "Setup", "Change the program's settings"},
    {"&File/&Print Setup ...", "PrintSetup", "Choose the printer and the page"},
    {"&File/-", "", ""},
    {"&File/&Import/&Schedule", "ImportSchedule", "Import from a Comma-Delimited Text File"},
    {"&File/&Import/&Contacts", "ImportContacts", "Import Contacts from a Comma-Delimited File"},
    {"&File/&Import/&To Do", "ImportTodo", "Import To Do List from Comma-Delimited File"},
    {"&File/&Export/&Schedule", "ExportSchedule", "Export to a Comma-Delimited Text File"},
    {"&File/&Export/&Contacts", "ExportContacts", "Export Contacts to Comma-Delimited Text File"},
    {"&File/&Export/&To Do", "ExportTodo", "Export To Do List to Comma-Delimited File"},
    {"&File/S&ynchronization", "Synchronize", "Send/Receive between Kelvray databases"},
    {"&File/View &Log", "ViewLog", "View the event log"},
    {"&File/-", "", ""},
    {"&File/E&xit", "Exit", "Exit Kelvray"},
    {"&Browse/&View Schedule", "BrowseSchedule", "View and change the schedule"},
    {"&Browse/&Wizards/Add &Message", "AddMessageWizard", "Add a task that shows a message"},
    {"&Browse/&Wizards/Add &Program", "AddProgramWizard", "Add a task that runs a program"},
    {"&Browse/&Wizards/&Generic Add", "AddTaskWizard", "Add any kind of task"},
    {"&Browse/&To Do List", "ViewToDo", "View the To Do list"},
    {"&Browse/&Contacts", "BrowseContacts", "View the contact list"},
    {"&Browse/&Email Messages", "BrowseMessages", "View the stored e-mail messages and news articles"},
    {"&Browse/Clip&board Saver", "BrowseClipboard", "View the saved clipboard texts"},
    {"&Browse/-", "", ""},
    {"&Browse/Schedule Cate&gories", "BrowseCategories", "View the schedule categories"},
    {"&Browse/Co&ntact Categories", "BrowseContactCategories", "View the contact categories"},
    {"&Reports/&Schedule/&Brief Schedule", "ReportBriefSchedule", "Print a brief schedule"},
    {"&Reports/&Schedule/All in &Date Order", "ReportScheduleByDate", "Print every task in date order"},
    {"&Reports/&Schedule/All in &Category Order", "ReportScheduleByCategory",
     "Print every task in category order"},
    {"&Reports/&Schedule/&Specific Category", "ReportScheduleCategory", "Print the tasks of one category"},
    {"&Reports/&Schedule/Check&list Style", "ReportScheduleChecklist", "Print the schedule as a checklist"},
    {"&Reports/&Contacts", "ReportContacts", "Print the contact list"},
    {"&Reports/C&ategories", "ReportCategories", "Print the category list"},
    {"&Reports/&To Do List/&Priority", "ReportTodoByPriority", "Print the To Do list by priority"},
    {"&Reports/&To Do List/&Category", "ReportTodoByCategory", "Print the To Do list by category"},
    {"&Window/&Tile", "Tile", "Arrange the program's windows side by side"},
    {"&Window/&Cascade", "Cascade", "Arrange the program's windows overlapping"},
    {"&Window/&Arrange Icons", "ArrangeIcons", "Arrange the minimized windows"},
    {"&Help/&Contents", "HelpContents", "Show the help"},
    {"&Help/&Search for Help On...", "HelpSearch", "Search the help"},
    {"&Help/&How to Use Help", "HelpHowTo", "How to use the help"},
    {"&Help/-", "", ""},
    {"&Help/&About", "About", "About Kelvray"},
};

// The headings over the event log's fixed columns.
std::vector<TextViewer::Column> EventLogColumns() {
    return {{QStringLiteral("Date"), EventLog::kDateWidth},
            {QStringLiteral("Time"), EventLog::kTimeWidth},
            {QStringLiteral("Event"), EventLog::kLabelWidth},
            {QStringLiteral("Details"), EventLog::kDataWidth}};
}

const QString kNoTrayNote =
    QStringLiteral("There is no notification area to go to, so Kelvray stays in view. To minimize it "
                   "like any window, tick \"No tray icon when minimized\" in File, Setup..., General.");

// Esc that nothing inside a window of the frame took (an open editor, a pop-up list take
// theirs) closes the window, as Esc closes a dialog.
class CloseOnEscape final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier)
            return false;
        // Moving or sizing the window from the keyboard: Esc ends that, not the window.
        if (QWidget::keyboardGrabber() == watched)
            return false;
        if (auto* w = qobject_cast<QWidget*>(watched))
            QMetaObject::invokeMethod(w, &QWidget::close, Qt::QueuedConnection);
        return true;
    }
};

// The list a window shows, which takes the keyboard when it opens: its first item view.
QWidget* FirstList(QWidget* window) {
    for (QAbstractItemView* view : window->findChildren<QAbstractItemView*>()) {
        if (view->isVisibleTo(window) && view->isEnabled() && view->focusPolicy() != Qt::NoFocus)
            return view;
    }
    return nullptr;
}

// The tray animation: the tick's frames; the keystroke sender uses its own.
const char* const kTrayFrames[] = {"tray_ico", "trayb_ico", "trayc_ico", "trayd_ico"};

} // namespace

MainFrame::MainFrame(AppContext& ctx, TrayHost& tray, QWidget* parent)
    : QMainWindow(parent)
    , ctx_(ctx)
    , tray_(tray) {
    InitResources();
    setObjectName(QStringLiteral("MAIN$APPFRAME"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kelvray.svg")));
    setWindowTitle(normalTitle());
    setGeometry(firstGeometry());
    area_ = new QMdiArea(this);
    area_->setObjectName(QStringLiteral("WindowArea"));
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area_->setTabsClosable(true);
    area_->setTabsMovable(true);
    area_->setDocumentMode(true);
    setCentralWidget(area_);
    buildMenus();
    buildToolBar();
    buildStatusBar();

    registerWindow(QStringLiteral("Setup"), [this] { openSetup(); });
    registerWindow(QStringLiteral("ViewLog"), [this] { openViewLog(); });
    registerWindow(QStringLiteral("Exit"), [this] { close(); });
    registerWindow(QStringLiteral("About"), [this] { showAbout(); });
    registerWindow(QStringLiteral("PrintSetup"), [this] {
        // The program's printer: the reports and the script printout use what is chosen here.
        if (ctx_.printer != nullptr) {
            QPageSetupDialog dialog(ctx_.printer, this);
            dialog.exec();
        }
    });
    registerWindow(QStringLiteral("Tile"), [this] { tileWindows(); });
    registerWindow(QStringLiteral("Cascade"), [this] { cascadeWindows(); });
    registerWindow(QStringLiteral("ArrangeIcons"), [this] { arrangeIcons(); });
    registerWindow(QStringLiteral("HelpContents"), [this] { showHelp(QStringLiteral("contents")); });
    registerWindow(QStringLiteral("HelpSearch"), [this] { showHelp(QStringLiteral("search")); });
    registerWindow(QStringLiteral("HelpHowTo"), [this] { showHelp(QStringLiteral("using")); });

    connect(&tray_, &TrayHost::leftClicked, this, &MainFrame::restoreFromTray);
    connect(&tray_, &TrayHost::doubleClicked, this, &MainFrame::restoreFromTray);
    connect(&tray_, &TrayHost::menuRequested, this, [this](const QPoint& at) {
        // The tray menu is an event of its own, handled after the click.
        QMetaObject::invokeMethod(
            this, [this, at] { showTrayMenu(at); }, Qt::QueuedConnection);
    });

    // A timer interval outside 1..100 hundredths starts at one second.
    timer_.setInterval(interval_ * 10);
    connect(&timer_, &QTimer::timeout, this, &MainFrame::tick);
    RestoreWindowPosition(*this, kProcedure, ctx_.positions);
    // A frame saved smaller than a list (as the frame of earlier versions was) starts at
    // the comfortable size instead.
    if (!isMaximized() && (width() < 600 || height() < 400))
        setGeometry(firstGeometry());
    updateClockZones();
}

MainFrame::~MainFrame() = default;

QString MainFrame::normalTitle() const {
    if (normalTitle_.isEmpty()) {
        const QString title = kProductTitle.left(32) + QLatin1Char(' ') + kVersionText.left(10);
        // A station on a server names the database, so that two schedules are told apart.
        normalTitle_ =
            ctx_.store.onServer() ? title + QStringLiteral(" - ") + DatabaseShown(ctx_.store) : title;
    }
    return normalTitle_;
}

void MainFrame::buildMenus() {
    std::map<QString, QMenu*> menus;
    for (const MenuEntry& e : kMenu) {
        const QStringList parts = QString::fromLatin1(e.path).split(QLatin1Char('/'));
        QString key;
        QMenu* menu = nullptr;
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            key += QLatin1Char('/') + parts[i];
            auto it = menus.find(key);
            if (it == menus.end()) {
                QMenu* m = menu == nullptr ? menuBar()->addMenu(parts[i]) : menu->addMenu(parts[i]);
                it = menus.emplace(key, m).first;
            }
            menu = it->second;
        }
        if (parts.last() == QStringLiteral("-")) {
            menu->addSeparator();
            continue;
        }
        const QString procedure = QString::fromLatin1(e.procedure);
        QAction* a = menu->addAction(parts.last());
        a->setStatusTip(QString::fromLatin1(e.tip));
        a->setObjectName(procedure);
        connect(a, &QAction::triggered, this, [this, procedure] { accept(procedure); });
        actions_[procedure] = a;
    }
    windowMenu_ = menus[QStringLiteral("/&Window")];
    windowMenu_->setObjectName(QStringLiteral("WindowMenu"));
    connect(windowMenu_, &QMenu::aboutToShow, this, &MainFrame::fillWindowMenu);
    refreshAvailability();
}

QRect MainFrame::firstGeometry() const {
    // A comfortable first size: room for a list or two, well inside a small screen.
    const QScreen* s = QGuiApplication::primaryScreen();
    const QRect avail = s != nullptr ? s->availableGeometry() : QRect(0, 0, 1366, 768);
    const QSize size(std::min(1000, avail.width() * 9 / 10), std::min(700, avail.height() * 9 / 10));
    return QRect(avail.x() + (avail.width() - size.width()) / 2,
                 avail.y() + (avail.height() - size.height()) / 2, size.width(), size.height());
}

void MainFrame::buildToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Tools"));
    bar->setObjectName(QStringLiteral("Tools"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const std::pair<const char*, const char*> buttons[] = {
        {"Program Wizard", "AddProgramWizard"},
        {"Message Wizard", "AddMessageWizard"},
        {"View Schedule", "BrowseSchedule"},
        {"To Do List", "ViewToDo"},
    };
    for (const auto& [text, procedure] : buttons) {
        QAction* a = bar->addAction(QString::fromLatin1(text));
        const QString p = QString::fromLatin1(procedure);
        a->setObjectName(QStringLiteral("tool:") + p);
        connect(a, &QAction::triggered, this, [this, p] { accept(p); });
        // Follows the availability of the menu item it repeats.
        QAction* item = actions_[p];
        a->setEnabled(item->isEnabled());
        connect(item, &QAction::changed, a, [a, item] { a->setEnabled(item->isEnabled()); });
    }
    bar->addSeparator();
    // Shows "*" while scripts are queued; clicking it then stops them.
    indicator_ = new QToolButton(bar);
    indicator_->setObjectName(QStringLiteral("ScriptIndicator"));
    indicator_->setAutoRaise(true);
    indicator_->setToolTip(QStringLiteral("Click to stop the running script"));
    indicator_->setMinimumWidth(24);
    // A stop sign, greyed while no script runs, that shows on hover what a click does.
    indicator_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    indicator_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    indicator_->setEnabled(false);
    connect(indicator_, &QToolButton::clicked, this, [this] {
        if (!ctx_.queue.empty())
            stopRunningScript();
    });
    bar->addWidget(indicator_);
}

void MainFrame::buildStatusBar() {
    // Zone 1 is the status bar's own message area (menu tips); zones 2 to 4 are fixed.
    for (int z = 2; z <= 4; ++z) {
        zones_[z] = new QLabel(this);
        zones_[z]->setObjectName(QStringLiteral("zone%1").arg(z));
        zones_[z]->setMinimumWidth(z == 2 ? 260 : 90);
        statusBar()->addPermanentWidget(zones_[z], z == 2 ? 1 : 0);
    }
}

void MainFrame::registerWindow(const QString& procedure, std::function<void()> open) {
    openers_[procedure] = std::move(open);
    refreshAvailability();
}

bool MainFrame::canOpen(const QString& procedure) const {
    return openers_.count(procedure) != 0;
}

void MainFrame::refreshAvailability() {
    for (auto& [procedure, action] : actions_)
        action->setEnabled(canOpen(procedure));
}

QAction* MainFrame::menuAction(const QString& procedure) const {
    auto it = actions_.find(procedure);
    return it == actions_.end() ? nullptr : it->second;
}

void MainFrame::accept(const QString& procedure) {
    auto it = openers_.find(procedure);
    if (it != openers_.end())
        it->second();
}

void MainFrame::start() {
    setWindowTitle(normalTitle());
    ctx_.config.putConfig(QStringLiteral("Version"), kVersionText);
    ctx_.config.loadSettings(ctx_.settings);
    applyWindowMode();
    ctx_.state.schedulerActive = ctx_.settings.startUpActive && !ctx_.state.inactiveSwitch;
    monotonic_.start();
    serverWatch_ = std::make_unique<ServerWatch>(ctx_.store);
    ctx_.state.debug = ctx_.config.ini().readInt(kSettingsSection, QStringLiteral("Debug"));
    if (ctx_.state.debug != 0)
        ctx_.dialogs.message(QStringLiteral("Debugging Active"), QStringLiteral("Debug"),
                             Dialogs::Icon::Information);
    if (ctx_.settings.startUpContacts)
        accept(QStringLiteral("BrowseContacts"));
    if (ctx_.settings.startUpClipboardSaver)
        accept(QStringLiteral("BrowseClipboard"));
    if (ctx_.settings.startUpToDo)
        accept(QStringLiteral("ViewToDo"));
    if (ctx_.settings.startUpSchedule)
        accept(QStringLiteral("BrowseSchedule"));
    if (ctx_.settings.startUpMinimized) {
        showMinimized();
        QMetaObject::invokeMethod(this, &MainFrame::goToTray, Qt::QueuedConnection);
    }
    ctx_.log.log(QStringLiteral("Started"), windowTitle());
    normalIcon_ = currentIcon_;
    // A schedule changed by anyone wakes a sleeping frame: its next moments may have moved.
    ctx_.state.listeners.add(this);
    timer_.start();
}

void MainFrame::tick() {
    // A message box opened by an earlier tick runs its own event loop; the timer must not
    // start the scheduler again inside it.
    if (inTick_) {
        // Woken while a message is open: the ticks wait at the normal interval, not at once.
        if (timer_.interval() == 0)
            timer_.setInterval(interval_ * 10);
        return;
    }
    inTick_ = true;
    asleep_ = false;
    animate_ = false;

    watchServer();
    if (ctx_.settings.monitorClipboard && hooks_.pollClipboard)
        hooks_.pollClipboard();

    if (ctx_.state.schedulerActive) {
        if (hooks_.scanDueTask) {
            hooks_.scanDueTask();
        } else {
            setTitleText(normalTitle());
            setZone(2, QString());
        }
        if (hooks_.checkAdvanceWarnings)
            hooks_.checkAdvanceWarnings();
        if (hooks_.removeOldHistory && hooks_.removeOldHistory())
            ctx_.state.listeners.post();
    } else {
        // Stopped by the scheduler itself: the title and the status line say why.
        const QString& why = ctx_.state.inactiveReason;
        setTitleText(kProductTitle.left(32) + (why.isEmpty() ? QStringLiteral(" (Inactive)")
                                                             : QStringLiteral(" (Inactive: %1)").arg(why)));
        setZone(2, why.isEmpty() ? QStringLiteral("Inactive") : QStringLiteral("Inactive: ") + why);
        interval_ = 250;
    }
    watchOtherStations();

    bool scriptShown = false;
    if (!ctx_.state.manualScriptPending && !ctx_.state.schedulerActive) {
        interval_ = 250;
    } else if (!ctx_.queue.empty()) {
        animate_ = true;
        interval_ = 50;
        if (hooks_.runScriptStep)
            hooks_.runScriptStep();
        scriptShown = true;
    } else {
        interval_ = 125;
        ctx_.state.manualScriptPending = false;
    }
    if (indicator_->isEnabled() != scriptShown) {
        indicator_->setText(scriptShown ? QStringLiteral("*") : QString());
        indicator_->setEnabled(scriptShown);
    }

    if (!ctx_.state.pendingStatusText.trimmed().isEmpty()) {
        setZone(2, ctx_.state.pendingStatusText);
        ctx_.state.pendingStatusText.clear();
    }

    if (currentIcon_ != normalIcon_ && !animate_ && trayIconShown_) {
        currentIcon_ = normalIcon_;
        showInTray(currentIcon_, windowTitle());
    }
    if (animate_ && trayIconShown_) {
        animationFrame_ = animationFrame_ % 4 + 1;
        currentIcon_ = QString::fromLatin1(kTrayFrames[animationFrame_ - 1]);
        showInTray(currentIcon_, windowTitle());
    }

    inTick_ = false;
    updateClockZones();
    syncVisibility();
    if (maySleep()) {
        // Nothing to look at until the next moment something can happen; the due timer
        // runs the tick at a due task's moment, and everything else wakes the frame.
        const qint64 ms = hooks_.msToNextEvent();
        if (ms > interval_ * 10) {
            asleep_ = true;
            setTimer(static_cast<int>(ms), Qt::PreciseTimer);
            return;
        }
    }
    setTimer(interval_ * 10, Qt::CoarseTimer);
}

bool MainFrame::maySleep() const {
    if (!hooks_.msToNextEvent || closed_ || !trayIconShown_ || isVisible() || restoring_)
        return false;
    // A script runs, the clipboard is watched, a message window is open, the tray icon is
    // still animated: the tick has work on every interval.
    if (!ctx_.queue.empty() || ctx_.settings.monitorClipboard || currentIcon_ != normalIcon_ ||
        !ctx_.state.pendingStatusText.isEmpty() || (hooks_.busy && hooks_.busy()))
        return false;
    // A server connection lost is tried again on the ticks; other stations' writes that
    // nothing tells of are seen only by looking.
    if (serverWatch_ && serverWatch_->lost())
        return false;
    return !(hooks_.othersNeedPoll && hooks_.othersNeedPoll());
}

void MainFrame::setTimer(int ms, Qt::TimerType type) {
    if (timer_.interval() == ms && timer_.timerType() == type)
        return;
    // Changing the interval restarts a running timer, and with it the wait.
    timer_.setTimerType(type);
    timer_.setInterval(ms);
}

void MainFrame::wake() {
    if (!asleep_ || closed_)
        return;
    asleep_ = false;
    // The first tick at once; it sets the interval again.
    timer_.setTimerType(Qt::CoarseTimer);
    timer_.start(0);
}

void MainFrame::wakeOnCallsTo(QObject* target) {
    target->installEventFilter(this);
}

bool MainFrame::eventFilter(QObject* watched, QEvent* event) {
    // A call from the bus reaches its object as a posted call.
    if (event->type() == QEvent::MetaCall)
        wake();
    return QMainWindow::eventFilter(watched, event);
}

bool MainFrame::event(QEvent* event) {
    if (event->type() == kScheduleChangedEvent) {
        wake();
        return true;
    }
    return QMainWindow::event(event);
}

void MainFrame::watchServer() {
    if (!serverWatch_)
        return;
    const ServerWatch::Change change = serverWatch_->tick(monotonic_.elapsed());
    if (change == ServerWatch::Change::Lost) {
        ctx_.log.log(QStringLiteral("Database server lost"), DatabaseShown(ctx_.store));
        // Stopped as for a task that cannot be saved, so that no occurrence runs twice.
        if (ctx_.state.schedulerActive) {
            ctx_.state.schedulerActive = false;
            ctx_.state.inactiveReason = kServerLostReason;
            resumeWhenServerBack_ = true;
        }
    } else if (change == ServerWatch::Change::Back) {
        ctx_.log.log(QStringLiteral("Database server back"), DatabaseShown(ctx_.store));
        if (resumeWhenServerBack_ && ctx_.state.inactiveReason == kServerLostReason) {
            ctx_.state.inactiveReason.clear();
            ctx_.state.schedulerActive = true;
        }
        resumeWhenServerBack_ = false;
        ctx_.state.listeners.postAll(); // what changed meanwhile is read again
    }
}

void MainFrame::watchOtherStations() {
    if (Unchanged(hooks_.changeMark, othersMark_))
        return;
    if (ctx_.store.changedByOthers())
        ctx_.state.listeners.postAll(); // every open list reads its table again
}

void MainFrame::updateClockZones() {
    const Date today = ctx_.clock.today();
    // The zones show the day and the minute: written again only when one of them changed.
    const qint64 minute = static_cast<qint64>(today) * 1440 + (ctx_.clock.now() - 1) / kOneMinute;
    if (minute == clockShown_)
        return;
    clockShown_ = minute;
    setZone(3, WeekdayName(today) + QStringLiteral(", ") + FormatDateAs(today, QStringLiteral("d3")));
    setZone(4, FormatTimeAs(ctx_.clock.now(), QStringLiteral("t3")));
}

void MainFrame::setZone(int number, const QString& text) {
    if (number >= 2 && number <= 4 && zones_[number] != nullptr && zones_[number]->text() != text)
        zones_[number]->setText(text);
}

QString MainFrame::zone(int number) const {
    return number >= 2 && number <= 4 && zones_[number] != nullptr ? zones_[number]->text() : QString();
}

QString MainFrame::scriptIndicator() const {
    return indicator_->text();
}

void MainFrame::setTitleText(const QString& title) {
    if (windowTitle() != title)
        setWindowTitle(title);
}

bool MainFrame::iconized() const {
    return isMinimized() || trayIconShown_;
}

void MainFrame::refreshTrayIcon() {
    if (!trayIconShown_)
        return;
    currentIcon_ = normalIcon_.isEmpty() ? QStringLiteral("tray_ico") : normalIcon_;
    showInTray(currentIcon_, windowTitle());
}

void MainFrame::showInTray(const QString& icon, const QString& tip) {
    const QString shortTip = tip.left(63);
    if (icon == trayShownIcon_ && shortTip == trayShownTip_)
        return;
    if (tray_.modify(icon, shortTip)) {
        trayShownIcon_ = icon;
        trayShownTip_ = shortTip;
    }
}

void MainFrame::setTrayFrame(const QString& icon, const QString& tip) {
    if (!trayIconShown_)
        return;
    currentIcon_ = icon;
    showInTray(icon, tip.isEmpty() ? windowTitle() : tip);
}

void MainFrame::setTimerInterval(int hundredths) {
    interval_ = hundredths;
    if (asleep_)
        wake();
    else
        setTimer(interval_ * 10, Qt::CoarseTimer);
}

void MainFrame::closeDown() {
    QMetaObject::invokeMethod(this, &MainFrame::close, Qt::QueuedConnection);
}

void MainFrame::syncVisibility() {
    if (closed_)
        return;
    if (trayIconShown_ && isVisible())
        hide();
    else if (!trayIconShown_ && !isVisible())
        showNormal();
}

void MainFrame::goToTray() {
    if (trayIconShown_ || ctx_.settings.noTray)
        return;
    trayTip_ = windowTitle().left(63);
    if (tray_.add(currentIcon_, trayTip_)) {
        trayShownIcon_ = currentIcon_;
        trayShownTip_ = trayTip_;
        hide();
        trayIconShown_ = true;
        return;
    }
    // No notification area to go to. Minimized, the frame would be gone from a desktop that
    // has no task bar either, with nothing to bring it back: it stays in view, and says so.
    if (isMinimized())
        showBack();
    statusBar()->showMessage(kNoTrayNote, 15000);
}

void MainFrame::showBack() {
    // The frame went away minimized, and a window manager may map it minimized again when it
    // comes back; for a moment that is undone instead of taken as the user's.
    restoring_ = true;
    QTimer::singleShot(1000, this, [this] { restoring_ = false; });
    showNormal();
}

void MainFrame::bringToFront() {
    wake();
    if (trayIconShown_) {
        restoreFromTray();
        return;
    }
    if (isMinimized() || !isVisible())
        showBack();
    raise();
    activateWindow();
}

void MainFrame::restoreFromTray() {
    if (!trayIconShown_)
        return;
    wake();
    QMetaObject::invokeMethod(
        this,
        [this] {
            showBack();
            raise();
            activateWindow();
        },
        Qt::QueuedConnection);
    if (tray_.remove()) {
        trayIconShown_ = false;
        trayShownIcon_.clear();
    } else if (tray_.add(currentIcon_, trayTip_)) {
        trayShownIcon_ = currentIcon_;
        trayShownTip_ = trayTip_;
    }
}

QString MainFrame::trayMenuText() const {
    return ctx_.queue.empty()
               ? QStringLiteral("Add &Message|Add &Program|&View To Do|&Options|-|&Restore|-|&About|"
                                "E&xit Kelvray")
               : QStringLiteral("Add &Message|Add &Program|&View To Do|&Options|-|&Restore|-|&About|"
                                "&Stop Running Script|E&xit Kelvray");
}

void MainFrame::trayMenuChoose(const QString& item) {
    static const std::map<QString, QString> posts{
        {QStringLiteral("Add &Message"), QStringLiteral("AddMessageWizard")},
        {QStringLiteral("Add &Program"), QStringLiteral("AddProgramWizard")},
        {QStringLiteral("&View To Do"), QStringLiteral("ViewToDo")},
        {QStringLiteral("&Options"), QStringLiteral("Setup")},
    };
    if (auto it = posts.find(item); it != posts.end()) {
        restoreFromTray();
        const QString procedure = it->second;
        QMetaObject::invokeMethod(
            this, [this, procedure] { accept(procedure); }, Qt::QueuedConnection);
    } else if (item == QStringLiteral("&Restore")) {
        restoreFromTray();
    } else if (item == QStringLiteral("&About")) {
        showAbout();
    } else if (item == QStringLiteral("&Stop Running Script")) {
        stopRunningScript();
    } else if (item == QStringLiteral("E&xit Kelvray")) {
        if (trayIconShown_ && tray_.remove()) {
            trayIconShown_ = false;
            trayShownIcon_.clear();
        }
        QMetaObject::invokeMethod(this, &MainFrame::close, Qt::QueuedConnection);
    }
}

void MainFrame::showTrayMenu(const QPoint& at) {
    QMenu menu;
    for (const QString& item : trayMenuText().split(QLatin1Char('|'))) {
        if (item == QStringLiteral("-")) {
            menu.addSeparator();
            continue;
        }
        connect(menu.addAction(item), &QAction::triggered, this, [this, item] { trayMenuChoose(item); });
    }
    menu.exec(at);
}

void MainFrame::stopRunningScript() {
    ctx_.queue.clear();
}

void MainFrame::restoreForTask(const Schedule& task) {
    const bool message =
        task.taskType == QStringLiteral("Display Message") || task.taskType == QStringLiteral("Both");
    if (!((message && !ctx_.settings.useModalMessage) || ctx_.settings.maximizeOnRun))
        return;
    wake();
    if (isMinimized())
        showBack();
    if (!ctx_.settings.noTray && trayIconShown_ && tray_.remove()) {
        showBack();
        trayIconShown_ = false;
        trayShownIcon_.clear();
    }
}

void MainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    if (restoring_) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                showNormal();
                activateWindow();
            },
            Qt::QueuedConnection);
        return;
    }
    if (!(static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized))
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isMinimized())
                    goToTray();
            },
            Qt::QueuedConnection);
}

void MainFrame::closeEvent(QCloseEvent* event) {
    closingSteps();
    event->accept();
    QApplication::quit();
}

void MainFrame::closingSteps() {
    if (closed_)
        return;
    closed_ = true;
    timer_.stop();
    ctx_.state.listeners.remove(this);
    if (trayIconShown_) {
        tray_.remove();
        trayIconShown_ = false;
    }
    // The windows inside close as they do on their own, keeping their places.
    area_->closeAllSubWindows();
    SaveWindowPosition(*this, kProcedure, ctx_.positions);
    ctx_.log.log(QStringLiteral("Exit Kelvray"), QString());
}

void MainFrame::openSetup() {
    SetupEnvironment env{ctx_.store,
                         ctx_.config,
                         ctx_.settings,
                         ctx_.dialogs,
                         ctx_.positions,
                         ctx_.state.inactiveSwitch,
                         [this] { stopRunningScript(); },
                         [this] {
                             // A scheduler that stopped itself stays stopped until Setup
                             // turns it on again.
                             if (ctx_.state.inactiveReason.isEmpty())
                                 ctx_.state.schedulerActive =
                                     ctx_.settings.startUpActive && !ctx_.state.inactiveSwitch;
                             applyWindowMode();
                         },
                         ctx_.secrets,
                         nullptr,
                         [this](const QString& table) { ctx_.state.listeners.post(table); },
                         {}};
    env.schedulerStopped = !ctx_.state.inactiveReason.isEmpty();
    env.resumeScheduler = [this] { ctx_.state.inactiveReason.clear(); };
    Setup::run(env, this);
    wake(); // the settings may have changed what the tick does
}

void MainFrame::openViewLog() {
    auto* viewer =
        new TextViewer({QStringLiteral("View Log"), QStringLiteral("ViewLog"), true},
                       QDir(ctx_.store.workDir()).filePath(kEventLogName), ctx_.dialogs, ctx_.positions);
    // A fresh installation has no log yet: that is an empty log, not an error.
    viewer->setMissingNote(ctx_.settings.logEvents
                               ? QStringLiteral("The log is empty: nothing has been logged yet.")
                               : QStringLiteral("The log is empty: logging is off. Turn it on with "
                                                "File, Setup..., General, \"Log events\"."));
    viewer->setColumns(EventLogColumns());
    openInFrame(viewer);
    viewer->open();
}

void MainFrame::showAbout() {
    QDialog about(this);
    about.setObjectName(QStringLiteral("About"));
    about.setWindowTitle(QStringLiteral("About ") + kProductTitle);
    auto* layout = new QVBoxLayout(&about);
    auto* icon = new QLabel;
    icon->setPixmap(QIcon(QStringLiteral(":/icons/kelvray.svg")).pixmap(64, 64));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto* text = new QLabel(QStringLiteral("<h2>%1</h2><p>Version %2</p><p>A resident task scheduler and "
                                           "desktop automation tool.</p>")
                                .arg(kProductTitle, kVersionText));
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    layout->addWidget(buttons);
    RestoreWindowPosition(about, QStringLiteral("About"), ctx_.positions);
    about.exec();
    SaveWindowPosition(about, QStringLiteral("About"), ctx_.positions);
}

void MainFrame::openInFrame(QWidget* window) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    const QString procedure = PositionProcedure(*window);
    const QList<QMdiSubWindow*> before = area_->subWindowList(QMdiArea::CreationOrder);
    const bool sameOpen =
        !procedure.isEmpty() && std::any_of(before.begin(), before.end(), [&](QMdiSubWindow* w) {
            return w->widget() != nullptr && PositionProcedure(*w->widget()) == procedure;
        });
    const QSize inner = window->size();
    QMdiSubWindow* sub =
        area_->addSubWindow(window, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                        Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setObjectName(QStringLiteral("sub:") + window->objectName());
    // A window that closes itself (its Close button, Escape) takes its sub-window with it.
    connect(
        window, &QObject::destroyed, sub, [sub] { sub->close(); }, Qt::QueuedConnection);
    if (auto* dialog = qobject_cast<QDialog*>(window))
        connect(
            dialog, &QDialog::finished, sub, [sub] { sub->close(); }, Qt::QueuedConnection);
    const QMargins m = sub->contentsMargins();
    sub->resize(inner.width() + m.left() + m.right(), inner.height() + m.top() + m.bottom());

    // Where it was last closed; a second window of the same kind, or one never placed,
    // cascades from the window opened last.
    if (sameOpen || procedure.isEmpty() || !RestoreSubWindowPosition(*sub, procedure, ctx_.positions)) {
        // An area not on the screen has no size to keep to yet.
        const QSize areaSize = area_->isVisible() ? area_->viewport()->size() : QSize();
        const bool bounded = areaSize.isValid() && !areaSize.isEmpty();
        QSize size = sub->size();
        if (bounded)
            size = size.boundedTo(areaSize);
        sub->resize(size);
        QPoint at(0, 0);
        if (!before.isEmpty()) {
            const QMdiSubWindow* last = before.last();
            const int step = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub) + 4;
            at = last->geometry().topLeft() + QPoint(step, step);
            if (bounded) {
                // Smaller to stay inside the area; when that leaves too little, from the top again.
                const QSize room(areaSize.width() - at.x(), areaSize.height() - at.y());
                if (room.width() >= std::min(size.width(), areaSize.width() * 2 / 3) &&
                    room.height() >= std::min(size.height(), areaSize.height() * 2 / 3))
                    size = size.boundedTo(room);
                else
                    at = QPoint(0, 0);
                sub->resize(size);
            }
        }
        sub->move(at);
    }
    sub->installEventFilter(new CloseOnEscape(sub));
    window->show();
    sub->show();
    area_->setActiveSubWindow(sub);
    if (QWidget* list = FirstList(window))
        list->setFocus(Qt::ActiveWindowFocusReason);
}

QList<QMdiSubWindow*> MainFrame::subWindows() const {
    return area_->subWindowList(QMdiArea::CreationOrder);
}

void MainFrame::tileWindows() {
    area_->tileSubWindows();
}

void MainFrame::cascadeWindows() {
    area_->cascadeSubWindows();
}

void MainFrame::arrangeIcons() {
    // The minimized windows in rows along the bottom of the area, left to right.
    const QSize areaSize = area_->viewport()->size();
    int x = 0;
    int y = areaSize.height();
    int rowHeight = 0;
    for (QMdiSubWindow* w : subWindows()) {
        if (!w->isMinimized())
            continue;
        const QSize size = w->size();
        if (rowHeight == 0) {
            rowHeight = size.height();
            y -= rowHeight;
        } else if (x > 0 && x + size.width() > areaSize.width()) {
            x = 0;
            y -= rowHeight;
        }
        w->move(x, std::max(0, y));
        x += size.width();
    }
}

void MainFrame::fillWindowMenu() {
    for (QAction* a : windowEntries_) {
        windowMenu_->removeAction(a);
        a->deleteLater();
    }
    windowEntries_.clear();
    const QList<QMdiSubWindow*> windows = subWindows();
    if (windows.isEmpty())
        return;
    windowEntries_ << windowMenu_->addSeparator();
    QMdiSubWindow* active = area_->activeSubWindow();
    for (qsizetype i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* w = windows[i];
        const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QString::number(i + 1);
        QAction* a = windowMenu_->addAction(number + QLatin1Char(' ') + w->windowTitle());
        a->setCheckable(true);
        a->setChecked(w == active);
        QPointer<QMdiSubWindow> target(w);
        connect(a, &QAction::triggered, this, [this, target] {
            if (!target)
                return;
            if (target->isMinimized())
                target->showNormal();
            area_->setActiveSubWindow(target);
        });
        windowEntries_ << a;
    }
}

QList<QAction*> MainFrame::windowMenuEntries() {
    fillWindowMenu();
    QList<QAction*> out;
    for (QAction* a : windowEntries_)
        if (!a->isSeparator())
            out << a;
    return out;
}

void MainFrame::applyWindowMode() {
    area_->setViewMode(ctx_.settings.windowsAsTabs ? QMdiArea::TabbedView : QMdiArea::SubWindowView);
}

void MainFrame::showHelp(const QString& anchor) {
    auto* help = new QTextBrowser;
    help->setAttribute(Qt::WA_DeleteOnClose);
    help->setObjectName(QStringLiteral("Help"));
    help->setWindowTitle(kProductTitle + QStringLiteral(" Help"));
    help->setSource(QUrl(QStringLiteral("qrc:/help/help.html")));
    help->scrollToAnchor(anchor);
    help->resize(640, 520);
    // Esc closes it, as it closes the program's other windows.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), help);
    connect(escape, &QShortcut::activated, help, &QWidget::close);
    help->show();
}

} // namespace kr
