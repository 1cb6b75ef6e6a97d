#include "app/Program.h"

#include "app/MainFrame.h"
#include "app/OrganizerWindows.h"
#include "app/TaskWindows.h"
#include "platform/Processes.h"
#include "platform/dbus/DBusDde.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtFileDialogs.h"
#include "platform/qt/QtProgress.h"
#include "platform/qt/QtSound.h"
#include "platform/qt/WindowPosition.h"
#include "platform/x11/X11Desktop.h"
#include "scheduler/DueTimer.h"
#include "scheduler/Launcher.h"
#include "scheduler/MessageDisplay.h"
#include "scheduler/Monitor.h"
#include "scheduler/ui/BrowseSchedule.h"
#include "scheduler/ui/MessageWindows.h"
#include "script/Automation.h"
#include "script/Runner.h"
#include "script/ui/BrowseScript.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Tags.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <csignal>
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

} // namespace

int RunProgram(const ProgramOptions& options) {
    QtDialogs dialogs;
    ExitProgram end(dialogs);
    SystemClock clock;
    Store store(QDir::currentPath(), dialogs, end);
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
    ActiveScriptQueue queue;
    AppContext ctx{store,    dialogs, clock,
                   settings, config,  log,
                   state,    queue,   IniFile(QDir::current().filePath(kPositionIniName))};
    QtTrayHost tray;
    MainFrame frame(ctx, tray);

    LinuxProcesses processes;
    QtSound sound;
    QtFileDialogs files(&frame);
    QtProgress progress;
    X11Desktop desktop;
    TaskFormContext taskCtx{store,         dialogs, files,           clock, settings, config,
                            ctx.positions, sound,   options.dataDir, {},    {}};
    ScriptWindowContext scriptCtx{store,
                                  dialogs,
                                  files,
                                  progress,
                                  clock,
                                  settings,
                                  ctx.positions,
                                  desktop.connected() ? &desktop : nullptr,
                                  FindKeyCodesFile()};
    taskCtx.scripting = [&scriptCtx, &frame](const Schedule& task) {
        BrowseScript list(scriptCtx, task,
                          QApplication::activeModalWidget() != nullptr ? QApplication::activeModalWidget()
                                                                       : static_cast<QWidget*>(&frame));
        list.exec();
    };
    TaskWindows taskWindows(taskCtx, &frame, state.listeners);
    for (const auto& [procedure, which] : {std::pair{"AddMessageWizard", TaskWindow::AddMessageWizard},
                                           std::pair{"AddProgramWizard", TaskWindow::AddProgramWizard},
                                           std::pair{"AddTaskWizard", TaskWindow::AddTaskWizard}})
        frame.registerWindow(QString::fromLatin1(procedure),
                             [&taskWindows, which = which] { taskWindows.openWizard(which); });
    frame.registerWindow(QStringLiteral("BrowseCategories"),
                         [&taskWindows] { taskWindows.browseCategories(); });
    Launcher launcher({store, settings, clock, dialogs, log, queue, processes, frame});
    MessageWindows messages({store, settings, clock, dialogs, log, sound, launcher, ctx.positions,
                             options.dataDir, [&taskWindows] { taskWindows.reply(); }});
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
        &frame);
    frame.registerWindow(QStringLiteral("ViewToDo"), [&organizer] { organizer.viewToDo(); });
    frame.registerWindow(QStringLiteral("BrowseContacts"), [&organizer] { organizer.browseContacts(); });
    frame.registerWindow(QStringLiteral("BrowseContactCategories"),
                         [&organizer] { organizer.browseContactCategories(); });
    DueTaskMonitor monitor(
        {store, settings, clock, dialogs, log, queue, state, frame, sound, messages, launcher});
    frame.registerWindow(QStringLiteral("BrowseSchedule"), [&] {
        ScheduleListContext list{
            taskCtx,
            state,
            [&monitor](const Schedule& task) { monitor.runTaskNow(task); },
            [&taskWindows](const QString& current) { return taskWindows.selectCategory(current); },
            [&store, &settings] { return Tags(store, settings.currentUser()).listTags(kSelectedTasks); },
            {},
            {}};
        auto* w = new BrowseSchedule(std::move(list), &frame);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
    });
    ValueStore values(
        clock, [&settings] { return settings.dateFormat; },
        [] {
            return QGuiApplication::focusWindow() != nullptr ? QGuiApplication::focusWindow()->title()
                                                             : QString();
        });
    DBusDde dde;
    Automation services(
        {desktop.connected() ? &desktop : nullptr, desktop.connected() ? &desktop : nullptr, values, settings,
         clock, dialogs, state.debug, [&frame] { return static_cast<WindowHandle>(frame.winId()); },
         [](const QString& name) {
             LinuxProcesses::startDetached(CompanionProgram(QStringLiteral("KILLPROC.EXE")), {name});
         },
         [](int hundredths) {
             QEventLoop loop;
             QTimer::singleShot(hundredths * 10, &loop, &QEventLoop::quit);
             loop.exec();
         },
         [&frame] { return frame.trayIconShown(); }, [&frame] { return frame.currentIconName(); },
         [&frame](const QString& icon, const QString& tip) { frame.setTrayFrame(icon, tip); }, &dde});
    ScriptRunner runner({queue, values, settings, clock, dialogs, log, launcher, services, state.debug,
                         [&frame](const QString& text) { frame.setSchedulerStatus(text); }, &progress});
    frame.hooks().runScriptStep = [&] { runner.runScriptStep(); };
    // The tick also runs at the first task's due moment, not only on the coarse timer.
    DueTimer dueTimer(store, clock, state, [&frame] { frame.tick(); });
    frame.hooks().scanDueTask = [&] {
        monitor.scanDueTask();
        dueTimer.rearm();
    };
    frame.hooks().checkAdvanceWarnings = [&] { monitor.checkAdvanceWarnings(); };
    frame.hooks().removeOldHistory = [&] { return monitor.removeOldHistory(); };

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

    frame.show();
    frame.start();
    const int status = QApplication::exec();
    frame.closingSteps();
    return status;
}

} // namespace kr
