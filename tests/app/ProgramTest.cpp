// The real program, started as a user starts it, on a private X display.

#include "support/EventLoop.h"
#include "support/RecordingNotifications.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"
#include "support/XServer.h"

#include <QDBusConnection>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace kr::test {
namespace {

// A notification area on the display (trayer), there until the end of the test.
struct TrayHost {
    QProcess process;
    ~TrayHost() {
        process.kill();
        process.waitForFinished();
    }
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(dir.file(QStringLiteral("config/kelvray")));
        QDir().mkpath(dir.file(QStringLiteral("runtime")));
        QFile::setPermissions(dir.file(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    void writeIni(const QByteArray& text) {
        QFile f(dir.file(QStringLiteral("config/kelvray/KR98.INI")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QProcessEnvironment environment(const QString& display) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (display.isEmpty())
            env.remove(QStringLiteral("DISPLAY"));
        else
            env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.file(QStringLiteral("runtime")));
        return env;
    }
    // Runs a tool on the display; its standard output.
    QString tool(const QString& display, const QString& program, const QStringList& args) const {
        QProcess p;
        p.setProcessEnvironment(environment(display));
        p.start(program, args);
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    bool startTray(TrayHost& tray, const QString& display) const {
        tray.process.setProcessEnvironment(environment(display));
        tray.process.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top")});
        return tray.process.waitForStarted(10000);
    }
    // kelvray-cli with its arguments, without a display; its standard output.
    QString cli(const QStringList& args) const {
        QProcess p;
        p.setProcessEnvironment(environment(QString()));
        p.start(QStringLiteral(KELVRAY_CLI), args);
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    // A "Run Program" task added from the command line, due once at `due`; its number.
    QString addTask(const QString& description, const QString& command, const QDateTime& due) const {
        return cli({QStringLiteral("add"), QStringLiteral("--data-dir"), dir.file(QStringLiteral("data")),
                    QStringLiteral("--description"), description, QStringLiteral("--task-type"),
                    QStringLiteral("Run Program"), QStringLiteral("--command"), command, QStringLiteral("--date"),
                    due.date().toString(Qt::ISODate), QStringLiteral("--time"),
                    due.time().toString(QStringLiteral("HH:mm:ss"))})
            .trimmed();
    }
    bool waitForWindow(const QString& display, const QString& title, bool visibleOnly, int ms = 15000) const {
        QElapsedTimer t;
        t.start();
        QStringList args{QStringLiteral("search")};
        if (visibleOnly)
            args << QStringLiteral("--onlyvisible");
        args << QStringLiteral("--name") << title;
        while (t.elapsed() < ms) {
            if (!tool(display, QStringLiteral("xdotool"), args).isEmpty())
                return true;
            QThread::msleep(200);
        }
        return false;
    }
    QStringList logLines() const {
        QFile f(dir.file(QStringLiteral("data/KR98Evnt.LOG")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void start(QProcess& p, const QString& display, const QStringList& extra = {}) {
        p.setProcessEnvironment(environment(display));
        p.start(QStringLiteral(KELVRAY_BIN),
                QStringList{QStringLiteral("--data-dir"), dir.file(QStringLiteral("data"))} + extra);
        ASSERT_TRUE(p.waitForStarted(10000));
    }

    // The frame window of the program, as xdotool names it.
    QString frameOf(const QString& display, const QProcess& p) const {
        return tool(display, QStringLiteral("xdotool"),
                    {QStringLiteral("search"), QStringLiteral("--pid"), QString::number(p.processId()),
                     QStringLiteral("--name"), QStringLiteral("Kelvray 98")})
            .section(QLatin1Char('\n'), 0, 0);
    }
    QString mapState(const QString& display, const QString& id) const {
        return tool(display, QStringLiteral("xwininfo"), {QStringLiteral("-id"), id})
            .section(QStringLiteral("Map State:"), 1)
            .section(QLatin1Char('\n'), 0, 0)
            .trimmed();
    }
    QString wmState(const QString& display, const QString& id) const {
        return tool(display, QStringLiteral("xprop"),
                    {QStringLiteral("-id"), id, QStringLiteral("WM_STATE")});
    }
    // The program's icon inside trayer's panel, on the screen; empty when it is not there.
    QRect trayIcon(const QString& display = {}) const {
        if (display.isEmpty())
            return {};
        const QStringList lines =
            tool(display, QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})
                .split(QLatin1Char('\n'));
        static const QRegularExpression geometry(
            QStringLiteral(R"((\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$)"));
        qsizetype indent = -1;
        for (const QString& line : lines) {
            const qsizetype here = line.size() - line.trimmed().size();
            if (line.contains(QStringLiteral("(\"panel\" \"trayer\")"))) {
                indent = here;
                continue;
            }
            if (indent < 0)
                continue;
            if (!line.trimmed().isEmpty() && here <= indent)
                break; // past the panel's windows
            if (!line.contains(QStringLiteral("(\"kelvray\" \"Kelvray\")")))
                continue;
            const QRegularExpressionMatch m = geometry.match(line);
            if (m.hasMatch() && m.captured(1).toInt() > 1 && m.captured(2).toInt() > 1)
                return QRect(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(),
                             m.captured(2).toInt());
        }
        return {};
    }

    TempDir dir;
};

TEST_F(ProgramTest, WithoutADisplayItSaysSoAndStops) {
    QProcess p;
    start(p, QString());
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_EQ(err.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("display"))) << err.toStdString();
}

TEST_F(ProgramTest, ShowsItsFrameAndClosesProperlyOnTerminate) {
    XServer x;
    ASSERT_TRUE(x.ok());
    writeIni("[Settings]\nLogEvents=1\n");
    QProcess p;
    start(p, x.display());
    ASSERT_TRUE(waitForWindow(x.display(), QStringLiteral("Kelvray 98 1.7d"), true));
    QThread::msleep(1500); // a tick or two

    const QString shot = dir.file(QStringLiteral("frame.png"));
    tool(x.display(), QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), shot});
    QImage image(shot);
    ASSERT_FALSE(image.isNull());
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int xx = 0; xx < image.width(); xx += 4)
            colours.insert(image.pixel(xx, y));
    EXPECT_GT(colours.size(), 8); // a drawn window, not a blank screen

    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(lines[0].mid(22, 30).trimmed(), QStringLiteral("Started"));
    EXPECT_EQ(lines[1].mid(22, 30).trimmed(), QStringLiteral("Exit Kelvray"));
    EXPECT_TRUE(QFile::exists(dir.file(QStringLiteral("data/POSITION.INI"))));
    EXPECT_TRUE(QFile::exists(dir.file(QStringLiteral("data/KR97.TPS"))));
}

TEST_F(ProgramTest, OnFirstStartTheFrameIsInFrontWithTheScheduleListInsideIt) {
    XServer x;
    ASSERT_TRUE(x.ok());
    QProcess p;
    start(p, x.display());
    ASSERT_TRUE(waitForWindow(x.display(), QStringLiteral("Kelvray 98 1.7d"), true));
    QThread::msleep(1500);
    // The schedule list opened at start-up is no window of its own over the frame: the
    // frame, with its menu, is the active window.
    EXPECT_TRUE(tool(x.display(), QStringLiteral("xdotool"),
                     {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                      QStringLiteral("View Schedule")})
                    .isEmpty());
    EXPECT_EQ(tool(x.display(), QStringLiteral("xdotool"),
                   {QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")}),
              QStringLiteral("Kelvray 98 1.7d"));
    const QString geometry = tool(x.display(), QStringLiteral("xdotool"),
                                  {QStringLiteral("getactivewindow"), QStringLiteral("getwindowgeometry")});
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)")).match(geometry);
    ASSERT_TRUE(size.hasMatch()) << geometry.toStdString();
    EXPECT_GE(size.captured(1).toInt(), 800); // room for the list, not the size of a tool bar
    EXPECT_GE(size.captured(2).toInt(), 560);
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
}

TEST_F(ProgramTest, ADueTaskRunsItsProgramAndLeavesItsHistory) {
    const QDateTime due = QDateTime::currentDateTime().addSecs(4);
    const QString marker = dir.file(QStringLiteral("touched"));
    const QString id = addTask(QStringLiteral("Touch a file"), QStringLiteral("touch ") + marker, due);
    ASSERT_EQ(id, QStringLiteral("1"));

    XServer x;
    ASSERT_TRUE(x.ok());
    QProcess p;
    start(p, x.display());
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(marker) && t.elapsed() < 30000)
        QThread::msleep(100);
    EXPECT_TRUE(QFile::exists(marker));
    QThread::msleep(500);
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));

    const QStringList lines =
        cli({QStringLiteral("list"), QStringLiteral("--data-dir"), dir.file(QStringLiteral("data"))})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('\n')).toStdString();
    const QString time = due.time().toString(QStringLiteral("HH:mm:ss"));
    EXPECT_EQ(lines[0], QStringLiteral("1\t%1\t%2\t0\t0\t0\tRun Program\tDay of Week\tTouch a file")
                            .arg(due.date().addDays(1).toString(Qt::ISODate), time));
    EXPECT_EQ(lines[1], QStringLiteral("2\t%1\t%2\t1\t1\t0\tRun Program\tDay of Week\tTouch a file")
                            .arg(due.date().toString(Qt::ISODate), time));
}

TEST_F(ProgramTest, AFailedTaskIsToldOnTheDesktopAndASucceededOneIsNot) {
    EnsureCoreApplication();
    SessionBus bus(SessionBus::Services::None);
    ASSERT_FALSE(bus.address().isEmpty());
    QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), QStringLiteral("notifications"));
    ASSERT_TRUE(connection.isConnected());
    RecordingNotifications service;
    ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                          QDBusConnection::ExportAllSlots));
    const QDateTime due = QDateTime::currentDateTime().addSecs(4);
    ASSERT_EQ(addTask(QStringLiteral("Works nightly"), QStringLiteral("true"), due), QStringLiteral("1"));
    ASSERT_EQ(addTask(QStringLiteral("Fails nightly"), QStringLiteral("false"), due), QStringLiteral("2"));

    XServer x;
    ASSERT_TRUE(x.ok());
    QProcess p;
    QProcessEnvironment env = environment(x.display());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KELVRAY_BIN), {QStringLiteral("--data-dir"), dir.file(QStringLiteral("data"))});
    ASSERT_TRUE(p.waitForStarted(10000));
    EXPECT_TRUE(TurnLoopUntil([&] { return !service.bodies.isEmpty(); }, 40000));
    // Both ran by now; the success has had its time to be told too.
    TurnLoopUntil([] { return false; }, 1500);
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    connection.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("notifications"));
    EXPECT_EQ(service.bodies, QStringList{QStringLiteral("Task failed: Fails nightly - Exit status 1")});
}

// Hidden in the tray the frame sleeps until its next moment; another process's write wakes it.
TEST_F(ProgramTest, HiddenInTheTrayATaskAddedMeanwhileRunsAtItsDueSecond) {
    XServer x;
    ASSERT_TRUE(x.ok());
    TrayHost trayer;
    ASSERT_TRUE(startTray(trayer, x.display()));
    QThread::msleep(500);
    // StartUpActive is kept inverted: 0 (or none) starts the scheduler active.
    writeIni("[Settings]\nStartUpMinimized=1\nStartUpActive=0\n");
    QProcess p;
    start(p, x.display());
    ASSERT_TRUE(waitForWindow(x.display(), QStringLiteral("Kelvray 98"), false));
    // In the tray with nothing to do, the frame sleeps: a minute at a time.
    QThread::msleep(3000);

    const QDateTime due = QDateTime::currentDateTime().addSecs(4);
    const QString marker = dir.file(QStringLiteral("touched"));
    ASSERT_EQ(addTask(QStringLiteral("Touch a file"), QStringLiteral("touch ") + marker, due), QStringLiteral("1"));

    QElapsedTimer t;
    t.start();
    while (!QFile::exists(marker) && t.elapsed() < 30000)
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(marker));
    // The due second is the whole second the task names.
    const QDateTime dueSecond = due.addMSecs(-due.time().msec());
    const qint64 late = dueSecond.msecsTo(QFileInfo(marker).lastModified());
    EXPECT_GE(late, 0);
    EXPECT_LE(late, 2000);
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
}

TEST_F(ProgramTest, StartsAsATrayIconWhenTheDesktopHasANotificationArea) {
    XServer x;
    ASSERT_TRUE(x.ok());
    TrayHost trayer;
    ASSERT_TRUE(startTray(trayer, x.display()));
    QThread::msleep(500);
    writeIni("[Settings]\nStartUpMinimized=1\nStartUpActive=1\n");
    QProcess p;
    start(p, x.display());
    ASSERT_TRUE(waitForWindow(x.display(), QStringLiteral("Kelvray 98"), false));
    QThread::msleep(1500);
    // The frame is not on the screen; only its icon is.
    EXPECT_TRUE(tool(x.display(), QStringLiteral("xdotool"),
                     {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                      QStringLiteral("Kelvray 98")})
                    .isEmpty());
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
}

TEST_F(ProgramTest, WithoutANotificationAreaMinimizingLeavesTheFrameInView) {
    XServer x;
    ASSERT_TRUE(x.ok());
    QProcess p;
    start(p, x.display());
    ASSERT_TRUE(waitForWindow(x.display(), QStringLiteral("Kelvray 98 1.7d"), true));
    const QString id = frameOf(x.display(), p);
    ASSERT_FALSE(id.isEmpty());
    // As the window manager's minimize button does it.
    tool(x.display(), QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), id});
    QThread::msleep(1500);
    // Still on the screen: a minimized window would be unmapped, with no task bar to bring
    // it back from.
    EXPECT_TRUE(mapState(x.display(), id).contains(QStringLiteral("IsViewable")))
        << mapState(x.display(), id).toStdString();
    EXPECT_TRUE(wmState(x.display(), id).contains(QStringLiteral("Normal")))
        << wmState(x.display(), id).toStdString();
    QThread::msleep(1500); // and stays so over the next ticks
    EXPECT_TRUE(mapState(x.display(), id).contains(QStringLiteral("IsViewable")));
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));

    // Started minimized: the same.
    writeIni("[Settings]\nStartUpMinimized=1\n");
    QProcess again;
    start(again, x.display());
    ASSERT_TRUE(waitForWindow(x.display(), QStringLiteral("Kelvray 98"), false));
    QThread::msleep(1500);
    const QString second = frameOf(x.display(), again);
    EXPECT_TRUE(mapState(x.display(), second).contains(QStringLiteral("IsViewable")))
        << mapState(x.display(), second).toStdString();
    again.terminate();
    ASSERT_TRUE(again.waitForFinished(10000));
}

TEST_F(ProgramTest, WithNoTrayIconItStartsAsAMinimizedWindow) {
    XServer x;
    ASSERT_TRUE(x.ok());
    writeIni("[Settings]\nStartUpMinimized=1\nNoTray=1\n");
    QProcess p;
    start(p, x.display(), {QStringLiteral("/I")});
    ASSERT_TRUE(waitForWindow(x.display(), QStringLiteral("Kelvray 98 \\(Inactive\\)"), false));
    const QString id = frameOf(x.display(), p);
    QElapsedTimer t;
    t.start();
    while (!wmState(x.display(), id).contains(QStringLiteral("Iconic")) && t.elapsed() < 5000)
        QThread::msleep(100);
    EXPECT_TRUE(wmState(x.display(), id).contains(QStringLiteral("Iconic")))
        << wmState(x.display(), id).toStdString();
    const QString state = tool(x.display(), QStringLiteral("xprop"),
                               {QStringLiteral("-id"), id, QStringLiteral("_NET_WM_STATE")});
    EXPECT_TRUE(state.contains(QStringLiteral("_NET_WM_STATE_HIDDEN"))) << state.toStdString();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
}

TEST_F(ProgramTest, WithANotificationAreaMinimizingGoesThereAndAClickBringsItBack) {
    XServer x;
    ASSERT_TRUE(x.ok());
    TrayHost trayer;
    ASSERT_TRUE(startTray(trayer, x.display()));
    QThread::msleep(500);
    QProcess p;
    start(p, x.display());
    ASSERT_TRUE(waitForWindow(x.display(), QStringLiteral("Kelvray 98 1.7d"), true));
    const QString id = frameOf(x.display(), p);
    ASSERT_FALSE(id.isEmpty());
    EXPECT_TRUE(trayIcon(x.display()).isEmpty());
    tool(x.display(), QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), id});

    // The frame leaves the screen (withdrawn, not minimized); its icon is embedded in the tray.
    QElapsedTimer t;
    t.start();
    QRect icon;
    while ((icon = trayIcon(x.display())).isEmpty() && t.elapsed() < 10000)
        QThread::msleep(100);
    ASSERT_FALSE(icon.isEmpty()) << tool(x.display(), QStringLiteral("xwininfo"),
                                         {QStringLiteral("-root"), QStringLiteral("-tree")})
                                        .toStdString();
    QThread::msleep(500);
    EXPECT_TRUE(mapState(x.display(), id).contains(QStringLiteral("IsUnMapped")));
    EXPECT_FALSE(wmState(x.display(), id).contains(QStringLiteral("Iconic")))
        << wmState(x.display(), id).toStdString();

    // One click on the icon: the frame is back and the icon gone.
    tool(x.display(), QStringLiteral("xdotool"),
         {QStringLiteral("mousemove"), QString::number(icon.center().x()), QString::number(icon.center().y()),
          QStringLiteral("click"), QStringLiteral("1")});
    t.restart();
    while (!mapState(x.display(), id).contains(QStringLiteral("IsViewable")) && t.elapsed() < 10000)
        QThread::msleep(100);
    EXPECT_TRUE(mapState(x.display(), id).contains(QStringLiteral("IsViewable")));
    t.restart();
    while (!trayIcon(x.display()).isEmpty() && t.elapsed() < 5000)
        QThread::msleep(100);
    EXPECT_TRUE(trayIcon(x.display()).isEmpty());
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
}

} // namespace
} // namespace kr::test

