// What the session bus costs: kelvray-cli add through the running program against add on the
// data file directly, and Tasks() on a large schedule. Real programs on a private bus; the
// program runs on the offscreen platform.
//
//   bus_figures KELVRAY KELVRAY_CLI [adds] [tasks] [calls]
//   (defaults: 50 adds, 10000 tasks, 1000 Tasks() calls)

#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "platform/dbus/Instance.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

class Quiet final : public kr::Dialogs {
public:
    Button show(const QString& text, const QString&, Icon, unsigned, Button def) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return def;
    }
};

bool Fill(const QString& dir, int count) {
    Quiet dialogs;
    kr::ExitProgram end(dialogs);
    kr::Store store(dir, dialogs, end);
    store.declareLayouts();
    kr::Table<kr::Schedule> tasks(store);
    kr::Transaction tx;
    if (tx.begin({&tasks}) != kr::Err::None)
        return false;
    for (int i = 1; i <= count; ++i) {
        kr::Schedule t;
        t.id = i;
        t.taskType = QStringLiteral("Display Message");
        t.description = QStringLiteral("Task %1").arg(i);
        t.message = QStringLiteral("A message of some length for task %1").arg(i);
        t.scheduleType = QStringLiteral("Once");
        t.date = kr::DateFromYmd(2030, 1, 1) + i % 3000;
        t.time = 1 + (i * 7919) % 8640000;
        t.disabled = i % 10 == 0 ? 1 : 0;
        if (tasks.add(t) != kr::Err::None)
            return false;
    }
    return tx.commit() == kr::Err::None;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bus_figures KELVRAY KELVRAY_CLI [adds] [tasks] [calls]\n");
        return 2;
    }
    const QString program = QString::fromLocal8Bit(argv[1]);
    const QString cli = QString::fromLocal8Bit(argv[2]);
    const int adds = argc > 3 ? QString::fromLocal8Bit(argv[3]).toInt() : 50;
    const int taskCount = argc > 4 ? QString::fromLocal8Bit(argv[4]).toInt() : 10000;
    const int calls = argc > 5 ? QString::fromLocal8Bit(argv[5]).toInt() : 1000;

    QTemporaryDir tmp;
    QDir().mkpath(tmp.filePath(QStringLiteral("runtime")));
    QFile::setPermissions(tmp.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                 QStringLiteral("--print-address=1")});
    daemon.waitForStarted();
    daemon.waitForReadyRead(5000);
    const QString address = QString::fromLatin1(daemon.readLine()).trimmed();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), tmp.filePath(QStringLiteral("runtime")));
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("figures"));

    auto addMs = [&](const QString& dir) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < adds; ++i) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(cli, {QStringLiteral("add"), QStringLiteral("--data-dir"), dir,
                          QStringLiteral("--description"), QStringLiteral("Added %1").arg(i)});
            p.waitForFinished();
            if (p.exitCode() != 0)
                std::fprintf(stderr, "add failed: %s\n", p.readAllStandardError().constData());
        }
        return static_cast<double>(t.elapsed()) / adds;
    };
    auto startProgram = [&](QProcess& p, const QString& dir) {
        p.setProcessEnvironment(env);

        p.start(program, {QStringLiteral("--data-dir"), dir});
        p.waitForStarted();
        for (int i = 0; i < 300; ++i) {
            QDBusMessage m = QDBusMessage::createMethodCall(kr::InstanceBusName(dir), kr::kProgramObjectPath,
                                                            kr::kProgramInterface, QStringLiteral("Show"));
            if (bus.call(m, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage)
                return true;
            QThread::msleep(100);
        }
        return false;
    };

    const QString direct = tmp.filePath(QStringLiteral("direct"));
    const QString running = tmp.filePath(QStringLiteral("running"));
    const QString large = tmp.filePath(QStringLiteral("large"));
    QDir().mkpath(direct);
    QDir().mkpath(running);
    QDir().mkpath(large);
    addMs(direct); // the first add creates the data file; not counted
    const double directMs = addMs(direct);
    QProcess first;
    if (!startProgram(first, running))
        return 1;
    const double busMs = addMs(running);
    std::printf("kelvray-cli add, directly on the file:        %.1f ms per call (%d calls)\n", directMs,
                adds);
    std::printf("kelvray-cli add, through the running program: %.1f ms per call (%d calls)\n", busMs, adds);
    first.terminate();
    first.waitForFinished();

    if (!Fill(large, taskCount))
        return 1;
    QProcess second;
    if (!startProgram(second, large))
        return 1;
    QElapsedTimer t;
    t.start();
    qint64 worst = 0;
    for (int i = 0; i < calls; ++i) {
        QElapsedTimer one;
        one.start();
        QDBusMessage m = QDBusMessage::createMethodCall(kr::InstanceBusName(large), kr::kProgramObjectPath,
                                                        kr::kProgramInterface, QStringLiteral("Tasks"));
        const QDBusMessage reply = bus.call(m, QDBus::Block, 60000);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            std::fprintf(stderr, "Tasks() failed: %s\n", qPrintable(reply.errorMessage()));
            return 1;
        }
        worst = std::max(worst, one.elapsed());
    }
    std::printf("Tasks() on %d tasks: %.1f ms per call, worst %lld ms (%d calls)\n", taskCount,
                static_cast<double>(t.elapsed()) / calls, static_cast<long long>(worst), calls);
    second.terminate();
    second.waitForFinished();
    daemon.kill();
    daemon.waitForFinished();
    return 0;
}
