#include "app/Program.h"

#include "app/MainFrame.h"
#include "app/OrganizerWindows.h"
#include "app/ServerLogin.h"
#include "app/ServerWake.h"
#include "app/TaskWindows.h"
#include "app/dbus/ProgramBus.h"
#include "clipboard/PollClipboard.h"
#include "clipboard/Run.h"
#include "clipboard/ui/ClipboardWindows.h"
#include "exchange/ui/ExchangeWindows.h"
#include "mail/KeychainSecretStore.h"
#include "mail/SendStoredMessage.h"
#include "mail/ui/MessageWindows.h"
#include "platform/FileChanges.h"
#include "platform/Processes.h"
#include "platform/dbus/DBusDde.h"
#include "platform/qt/FrameWindows.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtFileDialogs.h"
#include "platform/qt/QtProgress.h"
#include "platform/qt/QtSound.h"
#include "platform/qt/WindowPosition.h"
#include "platform/x11/X11ClipboardReader.h"
#include "platform/x11/X11Desktop.h"
#include "reports/ui/ReportWindows.h"
#include "scheduler/DueTimer.h"
#include "scheduler/Launcher.h"
#include "scheduler/MessageDisplay.h"
#include "scheduler/Monitor.h"
#include "scheduler/RunRecorder.h"
#include "scheduler/WakePlan.h"
#include "scheduler/ui/BrowseSchedule.h"
#include "scheduler/ui/MessageWindows.h"
#include "script/Automation.h"
#include "script/Runner.h"
#include "script/ui/BrowseScript.h"
#include "search/ui/SearchSchedule.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Tags.h"
#include "store/Warnings.h"
#include "store/WriteCount.h"
#include "widgets/Calendar.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QPrinter>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace kr {

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// The list of key names the script editor shows: beside the data, beside the program, or
// where the program is installed.
QString FindKeyCodesFile() {
    const QString name = QStringLiteral("KEYCODES.TXT");
    const QString app = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {QDir::current().filePath(name), QDir(app).filePath(name),
                                     QDir(app).filePath(QStringLiteral("../share/kelvray/") + name)})
        if (QFileInfo::exists(candidate))
            return QDir::cleanPath(candidate);
    return name;
}

// The script actions, with Send Email handed to the mail sender.
class ProgramServices final : public Automation {
public:
    ProgramServices(AutomationContext ctx, MailSender& mail)
        : Automation(std::move(ctx))
        , mail_(mail) {}
    qint32 sendEmail(qint32 emailId) override { return mail_.sendStoredMessage(emailId); }
    qint32 emailResult() override { return mail_.result(); }

private:
    MailSender& mail_;
};

} // namespace

int RunProgram(const ProgramOptions& options) {
    QtDialogs boxes;
    // The boxes, unless a bus call is under way: its caller hears them as its answer.
    BusDialogs dialogs(boxes);
    ExitProgram end(dialogs);
    SystemClock clock;
    // Passwords the desktop's store refuses are kept for this run only.
    KeychainSecretStore keychain;
    SessionSecretStore secrets(&keychain);
    QString database = options.database;
    if (!database.isEmpty()) {
        const std::optional<QString> loggedIn = LogInToServer(database, &secrets, [](const QString& text) {
            bool ok = false;
            const QString password = QInputDialog::getText(nullptr, QStringLiteral("Database Server"), text,
                                                           QLineEdit::Password, QString(), &ok);
            return ok ? std::optional<QString>(password) : std::nullopt;
        });
        if (!loggedIn)
            return 1; // nothing was opened
        database = *loggedIn;
    }
    Store store(QDir::currentPath(), dialogs, end, database);
    store.declareLayouts();

    // The tables every scheduler operation needs stay open for the life of the program.
    std::vector<std::unique_ptr<TableAccess>> tables;
    for (const TableDecl* d : {&Schedule::decl(), &Scripting::decl(), &Configuration::decl(),
                               &Messages::decl(), &Clipboard::decl()})
        tables.push_back(std::make_unique<TableAccess>(store, *d));

    Settings settings;
    ConfigStore config(store, QDir(options.configDir).filePath(QStringLiteral("KR98.INI")));
    EventLog log(QDir::current().filePath(kEventLogName), settings, clock);
    ProgramState state;
    state.inactiveSwitch = options.inactive;
    // A log that cannot be written is said once, on the status line; the program goes on.
    log.setOpenFailureHandler([&state](const QString& text) { state.pendingStatusText = text; });
    ActiveScriptQueue queue;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    AppContext ctx{store,    dialogs, clock,
                   settings, config,  log,
                   state,    queue,   IniFile(QDir::current().filePath(kPositionIniName)),
                   &secrets, &printer};
    QtTrayHost tray;
    MainFrame frame(ctx, tray);

    LinuxProcesses processes;
    QtSound sound;
    QtFileDialogs files(&frame);
    // Every run its own progress window: a Start Script step never closes an import's.
    const ProgressWindows progress = QtProgressWindows(&dialogs, &frame);
    X11Desktop desktop;
    // The windows scripts wait for and focus, the program's own sub-windows among them.
    FrameWindows windows(desktop, *frame.area(),
                         [&frame] { return static_cast<WindowHandle>(frame.winId()); });
    WindowSystem* windowSystem = desktop.connected() ? &windows : nullptr;
    TaskFormContext taskCtx{store,         dialogs, files,           clock, settings, config,
                            ctx.positions, sound,   options.dataDir, {},    {},       progress};
    ScriptWindowContext scriptCtx{store,    dialogs,       files,        progress,           clock,
                                  settings, ctx.positions, windowSystem, FindKeyCodesFile(), &printer};
    // The script list of a task: in the frame when opened from a list, a dialog of the task
    // form when opened from there.
    taskCtx.scripting = [&scriptCtx, &frame](const Schedule& task) {
        OpenListWindow(&frame, new BrowseScript(scriptCtx, task,
                                                QApplication::activeModalWidget() != nullptr
                                                    ? QApplication::activeModalWidget()
                                                    : static_cast<QWidget*>(&frame)));
    };
    TaskWindows taskWindows(taskCtx, &frame, state.listeners, &frame);
    for (const auto& [procedure, which] : {std::pair{"AddMessageWizard", TaskWindow::AddMessageWizard},
                                           std::pair{"AddProgramWizard", TaskWindow::AddProgramWizard},
                                           std::pair{"AddTaskWizard", TaskWindow::AddTaskWizard}})
        frame.registerWindow(QString::fromLatin1(procedure),
                             [&taskWindows, which = which] { taskWindows.openWizard(which); });
    frame.registerWindow(QStringLiteral("BrowseCategories"),
                         [&taskWindows] { taskWindows.browseCategories(); });
    Launcher launcher({store, settings, clock, dialogs, log, queue, processes, frame});
    MessageWindows messages({store, settings, clock, dialogs, log, sound, launcher, ctx.positions,
                             options.dataDir, [&taskWindows] { taskWindows.reply(); }, &state.listeners});
    OrganizerWindows organizer(
        [&] {
            return OrganizerContext{
                store,
                dialogs,
                clock,
                ctx.positions,
                settings.dateFormat,
                settings.userId,
                settings.multiUser,
                [&taskWindows](const QString& current) { return taskWindows.selectCategory(current); },
                [&launcher](const QString& address) {
                    launcher.launchProgram(0, address, QString(), QStringLiteral("open"), 0, true, true, true,
                                           0);
                }};
        },
        frame, state.listeners);
    frame.registerWindow(QStringLiteral("ViewToDo"), [&organizer] { organizer.viewToDo(); });
    frame.registerWindow(QStringLiteral("BrowseContacts"), [&organizer] { organizer.browseContacts(); });
    frame.registerWindow(QStringLiteral("BrowseContactCategories"),
                         [&organizer] { organizer.browseContactCategories(); });
    // Synchronization, and the comma-delimited import and export.
    ExchangeContext exchangeCtx{store, dialogs, files, progress, ctx.positions, state.listeners, {}};
    for (const QString& procedure : ExchangeProcedures())
        frame.registerWindow(procedure, [&exchangeCtx, &frame, procedure] {
            OpenExchangeWindow(procedure, exchangeCtx, &frame);
        });
    // The Reports menu: every report on the program's printer, its choices kept for the run.
    ReportWindows reports(
        {store, dialogs, clock, progress, &printer, ctx.positions,
         [&settings] { return DatePictureFor(settings.dateFormat); },
         [&taskWindows](const QString& current) { return taskWindows.selectCategory(current); }},
        &frame);
    for (const QString& procedure : ReportProcedures())
        frame.registerWindow(procedure, [&reports, procedure] { reports.run(*ReportKindOf(procedure)); });
    DueTaskMonitor monitor(
        {store, settings, clock, dialogs, log, queue, state, frame, sound, messages, launcher});
    ProgramBus bus({store, dialogs, clock, settings, state, [&frame] { frame.bringToFront(); },
                    [&frame] {
                        frame.bringToFront();
                        frame.accept(QStringLiteral("BrowseSchedule"));
                    },
                    [&monitor](const Schedule& task) { monitor.runTaskNow(task); }, progress});
    monitor.setStartedHandler([&bus](const Schedule& task) { bus.taskStarted(task); });
    // Every run leaves a record; the output of the programs started goes beside the data file.
    const QString runsFolder = QDir::current().filePath(QStringLiteral("runs"));
    RunRecorder runRecorder({store, settings, clock,
                             [&state](const QString& text) { state.pendingStatusText = text; },
                             [&state] { state.listeners.post(Runs::decl().name); }});
    launcher.captureRuns(runsFolder, &runRecorder);
    monitor.setRunRecorder(&runRecorder, runsFolder);
    runRecorder.setFinishedHandler([&bus](const Runs& run) { bus.runFinished(run); });
    // A failed run is told on the desktop (Setup, "Tell me when a task fails").
    runRecorder.setFailureHandler([&settings](const Runs& run) {
        if (settings.notifyFailures)
            LinuxProcesses::startDetached(CompanionProgram(QStringLiteral("DODAR")), {FailureNoticeText(run)});
    });
    // Said at once on standard error (the log is not open before the settings are read), and
    // logged once it is.
    const bool notExported = options.exportOnBus && !bus.exportOn(QDBusConnection::sessionBus());
    if (notExported)
        std::fprintf(stderr, "kelvray: the program's interface could not be exported on the session bus; "
                             "kelvray-cli and a second start cannot reach this program\n");
    frame.registerWindow(QStringLiteral("BrowseSchedule"), [&] {
        ScheduleListContext list{
            taskCtx,
            state,
            [&monitor](const Schedule& task) { monitor.runTaskNow(task); },
            [&taskWindows](const QString& current) { return taskWindows.selectCategory(current); },
            [&store, &settings, &dialogs] {
                Tags tags(store, settings.currentUser());
                std::vector<qint32> selected = tags.listTags(kSelectedTasks);
                if (!tags.error().ok())
                    warn::RecordRetrieval(dialogs, Tag::decl().name, tags.error());
                return selected;
            },
            [&store, &dialogs, &settings, &clock, &ctx](QWidget* parent) {
                SearchSchedule window({store,
                                       dialogs,
                                       settings,
                                       nullptr,
                                       {},
                                       {},
                                       {},
                                       [&dialogs, &clock, &ctx](Date current, QWidget* over) {
                                           return Calendar({dialogs, clock, ctx.positions}, current,
                                                           QStringLiteral("Select Date"), kCalendarAllDays,
                                                           Schedule{}, over);
                                       }},
                                      parent);
                window.exec();
                const SearchResult& r = window.result();
                return SearchOutcome{r.kind == SearchResult::Edit ? SearchOutcome::Edit
                                     : r.kind == SearchResult::SelectionChanged
                                         ? SearchOutcome::SelectionChanged
                                         : SearchOutcome::Nothing,
                                     r.task};
            },
            {}};
        frame.openInFrame(new BrowseSchedule(std::move(list), &frame));
    });
    ValueStore values(
        clock, [&settings] { return settings.dateFormat; },
        [] {
            return QGuiApplication::focusWindow() != nullptr ? QGuiApplication::focusWindow()->title()
                                                             : QString();
        });
    DBusDde dde;
    MailSender mail({store, settings, clock, dialogs, log, values, QDir::currentPath(),
                     kProductTitle.left(32),
                     [&state](const QString& text) { state.pendingStatusText = text; },
                     // "Stop Running Script" empties the queue: a send under way is cancelled.
                     [&queue] { return !queue.empty() && queue.front().sending; }, &secrets});
    ProgramServices services(
        {windowSystem, desktop.connected() ? &desktop : nullptr, values, settings, clock, dialogs,
         state.debug, [&frame] { return static_cast<WindowHandle>(frame.winId()); },
         [](const QString& name) {
             LinuxProcesses::startDetached(CompanionProgram(QStringLiteral("KILLPROC.EXE")), {name});
         },
         [](int hundredths) {
             QEventLoop loop;
             QTimer::singleShot(hundredths * 10, &loop, &QEventLoop::quit);
             RunEventLoop(loop);
         },
         [&frame] { return frame.trayIconShown(); }, [&frame] { return frame.currentIconName(); },
         [&frame](const QString& icon, const QString& tip) { frame.setTrayFrame(icon, tip); }, &dde},
        mail);
    // The Email Messages list, and the picker behind the script editor's "Select &Message".
    // Their Send Now sends with a sender of its own, which outlives the lists.
    MailSender windowMail({store,
                           settings,
                           clock,
                           dialogs,
                           log,
                           values,
                           QDir::currentPath(),
                           kProductTitle.left(32),
                           [&state](const QString& text) { state.pendingStatusText = text; },
                           {},
                           &secrets});
    const MessageWindowContext messageCtx{store, dialogs, files, settings, ctx.positions, windowMail};
    scriptCtx.pickMessage = [&messageCtx](qint32 current, QWidget* parent) {
        return PickMessage(messageCtx, current, parent);
    };
    frame.registerWindow(QStringLiteral("BrowseMessages"), [&messageCtx, &frame, &state] {
        auto* w = new BrowseMessages(messageCtx, false, 0);
        new TableWatcher(state.listeners, {QStringLiteral("Messages")}, w,
                         [w] { w->refresh(w->currentId()); });
        frame.openInFrame(w);
    });
    // The clipboard saver: the poll on the tick, and its list in the frame. On X11 the text is
    // read on a connection of its own, so that an owner that does not answer holds up nothing.
    QtClipboard clipboard(
        QGuiApplication::platformName() == QStringLiteral("xcb") ? X11ClipboardReader::open() : nullptr);
    ClipboardPoll clipboardPoll(
        {store, settings, clock, clipboard, [&state] { state.listeners.post(QStringLiteral("Clipboard")); }});
    frame.hooks().pollClipboard = [&clipboardPoll] { clipboardPoll.poll(); };
    const ClipboardWindowContext clipboardCtx{store,
                                              dialogs,
                                              settings,
                                              clipboard,
                                              ctx.positions,
                                              [&processes, &dialogs, &log](const QString& text) {
                                                  RunClipboardText(text, {processes, dialogs, log});
                                              }};
    frame.registerWindow(QStringLiteral("BrowseClipboard"), [&clipboardCtx, &frame, &state] {
        auto* w = new BrowseClipboard(clipboardCtx);
        if (w->readFailed()) {
            delete w;
            return;
        }
        new TableWatcher(state.listeners, {QStringLiteral("Clipboard")}, w, [w] { w->refresh(); });
        frame.openInFrame(w);
    });
    ScriptRunner runner({queue, values, settings, clock, dialogs, log, launcher, services, state.debug,
                         [&frame](const QString& text) { frame.setSchedulerStatus(text); }, progress,
                         &runRecorder});
    frame.hooks().runScriptStep = [&] { runner.runScriptStep(); };
    // The tick also runs at the first task's due moment, not only on the coarse timer.
    DueTimer dueTimer(store, clock, state, [&frame] { frame.tick(); });
    frame.hooks().scanDueTask = [&] {
        monitor.scanDueTask();
        dueTimer.rearm();
    };
    frame.hooks().checkAdvanceWarnings = [&] { monitor.checkAdvanceWarnings(); };
    frame.hooks().removeOldHistory = [&] { return monitor.removeOldHistory(); };
    // Hidden in the tray with nothing to do, the frame's timer sleeps until the next moment
    // something can happen; whatever else can happen wakes it.
    WakePlan wakePlan(store, clock, state, dueTimer);
    frame.hooks().msToNextEvent = [&wakePlan] { return wakePlan.msToNext(); };
    frame.hooks().busy = [&messages] { return messages.openCount() > 0; };
    queue.appended = [&frame] { frame.wake(); };
    frame.wakeOnCallsTo(&bus);
    // Another station's write to a data file on this machine's disks is told by the kernel;
    // on a network file system it is looked for on every tick.
    std::unique_ptr<FileChanges> dataFileChanges;
    std::uint64_t filesChanged = 0;
    if (!store.onServer()) {
        dataFileChanges =
            std::make_unique<FileChanges>(store.filePath(Schedule::decl()),
                                          QStringList{QStringLiteral("-journal"), QStringLiteral("-wal")});
        QObject::connect(dataFileChanges.get(), &FileChanges::changed, &frame, [&frame, &filesChanged] {
            ++filesChanged;
            frame.wake();
        });
    }
    // On a server, the server's own word wakes the frame; the watch on the connection is set
    // as the frame goes to sleep.
    ServerWake serverWake(store, [&frame] { frame.wake(); });
    frame.hooks().othersNeedPoll = [&dataFileChanges, &serverWake, &store] {
        if (store.onServer())
            return !serverWake.arm();
        return !dataFileChanges || !dataFileChanges->watching();
    };
    // While nothing was written here and the kernel told of no write to the data file, the
    // ticks need not read the schedule again (both counts only grow, so their sum moves with
    // either). A file the kernel cannot watch, or a server, is read on every tick.
    const ChangeMark changeMark = [&dataFileChanges, &filesChanged]() -> std::optional<std::uint64_t> {
        if (!dataFileChanges || !dataFileChanges->watching())
            return std::nullopt;
        return filesChanged + WritesThroughTables();
    };
    monitor.setChangeMark(changeMark);
    dueTimer.setChangeMark(changeMark);
    wakePlan.setChangeMark(changeMark);
    frame.hooks().changeMark = changeMark;

    // SIGTERM and SIGINT close the program through its normal closing steps.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &frame);
        QObject::connect(notifier, &QSocketNotifier::activated, &frame, [&frame] {
            char c = 0;
            [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &c, 1);
            frame.close();
        });
        std::signal(SIGTERM, OnSignal);
        std::signal(SIGINT, OnSignal);
    }
    // The desktop session ending: the user may log off, and the program closes properly.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &frame,
                     [](QSessionManager& m) { m.release(); });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &frame, [&frame] { frame.closingSteps(); });

    // Runs a program that ended without saying so left behind: their end is not known.
    runRecorder.fixUpLeftRunning();
    frame.show();
    frame.start();
    // Window automation needs X11: under Wayland the program runs through XWayland and reaches
    // only the windows of other X11 programs.
    if (options.waylandSession)
        log.log(QStringLiteral("Wayland session"), QStringLiteral("Only X11 windows can be automated"));
    if (notExported)
        log.log(QStringLiteral("D-Bus"), QStringLiteral("The program's interface could not be exported"));
    const int status = QApplication::exec();
    runRecorder.markStillRunning();
    launcher.captureRuns(runsFolder, nullptr);
    frame.closingSteps();
    return status;
}

} // namespace kr
