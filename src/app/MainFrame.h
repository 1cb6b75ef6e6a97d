#pragma once

// The main frame: menu, tool bar, status zones, the tray icon and the tick that drives the
// scheduler and the script runner.

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "platform/SecretStore.h"
#include "platform/qt/TrayHost.h"
#include "platform/qt/WindowHost.h"
#include "scheduler/ChangeMark.h"
#include "scheduler/FrameView.h"
#include "scheduler/ProgramState.h"
#include "script/ActiveScriptQueue.h"
#include "store/EventLog.h"
#include "store/Settings.h"
#include "store/Store.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <map>

class QAction;
class QLabel;
class QPrinter;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolButton;

namespace kr {

struct Schedule;

// What the frame works with; one of each for the whole program.
struct AppContext {
    Store& store;
    Dialogs& dialogs;
    const Clock& clock;
    Settings& settings;
    ConfigStore& config;
    EventLog& log;
    ProgramState& state;
    ActiveScriptQueue& queue;
    IniFile positions;              // POSITION.INI in the working directory
    SecretStore* secrets = nullptr; // the mail and news passwords
    // The printer chosen with Print Setup, shared by the reports and the script printout.
    QPrinter* printer = nullptr;
};

// The tick's collaborators, filled by the scheduler, the clipboard saver and the script runner.
struct TickHooks {
    std::function<void()> pollClipboard;
    std::function<void()> scanDueTask;
    std::function<void()> checkAdvanceWarnings;
    std::function<bool()> removeOldHistory; // true when it ran
    std::function<void()> runScriptStep;
    // While nothing is being done: milliseconds until the next moment something can happen
    // without the user (a due task, an advance warning, midnight); unset, the frame does not
    // sleep.
    std::function<qint64()> msToNextEvent;
    // Something is open that the tick keeps an eye on (a task's message window).
    std::function<bool()> busy;
    // Other stations' writes are seen only by looking on every tick (a data file on a network
    // file system, or one the kernel cannot watch).
    std::function<bool()> othersNeedPoll;
    // Moves whenever the data file may have changed; while it stands still the tick does not
    // ask the file whether another station wrote it.
    ChangeMark changeMark;
};

class ServerWatch;

class MainFrame final : public QMainWindow, public FrameView, public WindowHost {
    Q_OBJECT
public:
    MainFrame(AppContext& ctx, TrayHost& tray, QWidget* parent = nullptr);
    ~MainFrame() override;

    TickHooks& hooks() { return hooks_; }
    // Makes a menu command available: the procedure opens its window.
    void registerWindow(const QString& procedure, std::function<void()> open);
    // The acceptance of a menu item, as the menu, the tool bar and the tray menu post it.
    void accept(const QString& procedure);
    bool canOpen(const QString& procedure) const;

    // The window-opened steps: title, version, settings, debug note, start-up windows,
    // minimizing, the "Started" event.
    void start();
    // SchedulerTick.
    void tick();
    // The timer interval in hundredths of a second.
    int timerInterval() const { return interval_; }
    // Hidden in the tray with nothing to do, the timer sleeps until the next moment something
    // can happen instead of running every interval.
    bool asleep() const { return asleep_; }
    // Milliseconds until the timer runs the tick next; -1 when it is stopped.
    int msToNextTick() const { return timer_.remainingTime(); }
    // Brings the ticks back at once (the first one now): a call from outside, the frame
    // shown again, a script queued, a setting or the schedule changed.
    void wake();
    QString zone(int number) const;
    QString scriptIndicator() const;

    // What the scheduler sees of the frame.
    bool iconized() const override;
    QString normalTitle() const override;
    void setTitleText(const QString& title) override;
    void setSchedulerStatus(const QString& text) override { setZone(2, text); }
    void refreshTrayIcon() override;
    void restoreForTask(const Schedule& task) override;
    void setTimerInterval(int hundredths) override;
    void closeDown() override;

    // The notification area.
    bool trayIconShown() const { return trayIconShown_; }
    QString currentIconName() const { return currentIcon_; }
    void goToTray();
    void restoreFromTray();
    // Brings the frame to the front from wherever it is: the tray, minimized or behind others.
    void bringToFront();
    // Shows a frame of an animation in the notification area (a blank tip: the window title).
    void setTrayFrame(const QString& icon, const QString& tip);
    QString trayMenuText() const;
    void trayMenuChoose(const QString& item);
    void showTrayMenu(const QPoint& at);

    // Status line pieces the scheduler writes.
    void setZone(int number, const QString& text);
    // Empties the script queue (tray menu, tool bar, Setup).
    void stopRunningScript();

    // The closing steps; run once, whichever way the program ends.
    void closingSteps();
    QAction* menuAction(const QString& procedure) const;

    // The windows inside the frame.
    void openInFrame(QWidget* window) override;
    QMdiArea* area() const { return area_; }
    QList<QMdiSubWindow*> subWindows() const;
    // Window menu: Tile, Cascade, Arrange Icons (the minimized windows in rows along the
    // bottom of the area), and the open windows as numbered entries, the active one checked.
    void tileWindows();
    void cascadeWindows();
    void arrangeIcons();
    QList<QAction*> windowMenuEntries();
    // Tabs or overlapping windows, as the "Show windows as tabs" setting says.
    void applyWindowMode();

    // Another station wrote to the data file since the last look: the schedule lists are
    // told, as after the scheduler's own changes.
    void watchOtherStations();
    // Calls delivered to `target` from outside (the session bus) wake the frame.
    void wakeOnCallsTo(QObject* target);
    // A station on a database server: the connection lost is said once and the scheduler
    // waits; when it is made again the scheduler goes on.
    void watchServer();
    static inline const QString kServerLostReason = QStringLiteral("the database server cannot be reached");

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    void refreshAvailability();
    void updateClockZones();
    // Whether the tick may sleep until the next event instead of running every interval.
    bool maySleep() const;
    // Sets the timer to run every `ms`, restarting it only when that changes.
    void setTimer(int ms, Qt::TimerType type);
    // Shows the icon and tip in the notification area unless it shows them already.
    void showInTray(const QString& icon, const QString& tip);
    void syncVisibility();
    void showBack();
    void showAbout();
    void openSetup();
    void openViewLog();
    void fillWindowMenu();
    QRect firstGeometry() const;
    void showHelp(const QString& anchor);

    AppContext& ctx_;
    TrayHost& tray_;
    std::unique_ptr<ServerWatch> serverWatch_;
    QElapsedTimer monotonic_;
    bool resumeWhenServerBack_ = false;
    TickHooks hooks_;
    QTimer timer_;
    int interval_ = 100;
    bool asleep_ = false;
    bool inTick_ = false;
    bool animate_ = false;
    int animationFrame_ = 1;
    bool trayIconShown_ = false;
    bool restoring_ = false; // just back from the tray
    bool closed_ = false;
    QString normalIcon_;
    QString currentIcon_ = QStringLiteral("tray_ico");
    // What the notification area shows now.
    QString trayShownIcon_;
    QString trayShownTip_;
    // The normal title, made once.
    mutable QString normalTitle_;
    // The day and minute the clock zones show.
    qint64 clockShown_ = -1;
    std::optional<std::uint64_t> othersMark_; // the change mark at the last look for others' writes
    // The tip of the tray record: prepared with the hint below, then the window title each
    // time the frame goes to the tray.
    QString trayTip_ = QStringLiteral("Double-click here to restore");
    QLabel* zones_[5] = {};
    QToolButton* indicator_ = nullptr;
    QMdiArea* area_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QList<QAction*> windowEntries_;
    std::map<QString, std::function<void()>> openers_;
    std::map<QString, QAction*> actions_;
};

} // namespace kr
