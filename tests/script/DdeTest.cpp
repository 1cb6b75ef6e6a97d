// Commands to another program over a private session bus, with the example service of the
// README answering them.

#include "platform/dbus/DBusDde.h"
#include "scheduler/FrameView.h"
#include "scheduler/Launcher.h"
#include "script/Automation.h"
#include "script/Runner.h"
#include "script/ScriptItems.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

// The example service, owning `name` and answering on `topic`; it prints "topic: command"
// for every command it executes.
class CommandService {
public:
    CommandService(const QString& busAddress, const QString& name, const QString& topic) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(COMMAND_SERVICE), name, topic});
        ready_ = waitForLine() == QStringLiteral("ready");
    }
    ~CommandService() {
        process_.kill();
        process_.waitForFinished(3000);
    }
    bool ready() const { return ready_; }
    // The next line the service prints; empty when none comes within `ms`.
    QString waitForLine(int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (!process_.canReadLine() && t.elapsed() < ms)
            process_.waitForReadyRead(50);
        return process_.canReadLine() ? QString::fromUtf8(process_.readLine()).chopped(1) : QString();
    }

private:
    QProcess process_;
    bool ready_ = false;
};

class DdeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { bus_ = new SessionBus; }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus(QStringLiteral("dde-test"));
        delete bus_;
    }
    DdeTest()
        : connection(QDBusConnection::connectToBus(bus_->address(), QStringLiteral("dde-test")))
        , dde(connection) {}

    static SessionBus* bus_;
    QDBusConnection connection;
    DBusDde dde;
};

SessionBus* DdeTest::bus_ = nullptr;

TEST(DdeTopic, ATopicBecomesAnObjectPath) {
    EXPECT_EQ(DBusDde::TopicPath(QStringLiteral("docs")), QStringLiteral("/docs"));
    EXPECT_EQ(DBusDde::TopicPath(QStringLiteral("/docs/open")), QStringLiteral("/docs/open"));
    EXPECT_EQ(DBusDde::TopicPath(QStringLiteral("My Docs.txt")), QStringLiteral("/My_Docs_txt"));
    EXPECT_EQ(DBusDde::TopicPath(QStringLiteral("a//b/")), QStringLiteral("/a/b"));
    EXPECT_EQ(DBusDde::TopicPath(QStringLiteral("Système")), QStringLiteral("/Syst_me"));
    EXPECT_EQ(DBusDde::TopicPath(QString()), QStringLiteral("/"));
}

TEST_F(DdeTest, TheCommandArrivesOnceAtTheTopicsObject) {
    ASSERT_TRUE(connection.isConnected());
    CommandService service(bus_->address(), QStringLiteral("org.example.Editor"), QStringLiteral("docs"));
    ASSERT_TRUE(service.ready());
    EXPECT_TRUE(dde.execute(QStringLiteral("org.example.Editor"), QStringLiteral("docs"),
                            QStringLiteral("open report.txt")));
    EXPECT_EQ(service.waitForLine(), QStringLiteral("docs: open report.txt"));
    // A blank command is still sent.
    EXPECT_TRUE(dde.execute(QStringLiteral("org.example.Editor"), QStringLiteral("docs"), QString()));
    EXPECT_EQ(service.waitForLine(), QStringLiteral("docs: "));
    EXPECT_EQ(service.waitForLine(500), QString());
}

TEST_F(DdeTest, NoProgramOnTheNameMeansNoConversation) {
    EXPECT_FALSE(
        dde.execute(QStringLiteral("org.example.Absent"), QStringLiteral("docs"), QStringLiteral("x")));
    // Names that cannot be bus names at all, as older scripts hold them.
    EXPECT_FALSE(dde.execute(QStringLiteral("WinWord"), QStringLiteral("System"), QStringLiteral("[Open]")));
    EXPECT_FALSE(dde.execute(QString(), QStringLiteral("docs"), QStringLiteral("x")));
    DBusDde unconnected(QDBusConnection(QStringLiteral("no such connection")));
    EXPECT_FALSE(unconnected.execute(QStringLiteral("org.example.Editor"), QStringLiteral("docs"), {}));
}

// The script items, through the runner.
class DdeScriptTest : public DdeTest {
protected:
    DdeScriptTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        settings.scriptingDelay = 50;
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        launcher = std::make_unique<Launcher>(
            LauncherContext{*store, settings, clock, dialogs, *log, queue, processes, frame});
        AutomationContext a{nullptr, nullptr, values, settings, clock, dialogs, debug,
                            {},      {},      {},     {},       {},    {}};
        a.dde = &dde;
        services = std::make_unique<Automation>(std::move(a));
        runner = std::make_unique<ScriptRunner>(RunnerContext{queue, values, settings, clock, dialogs, *log,
                                                              *launcher, *services, debug,
                                                              [](const QString&) {}, nullptr});
    }
    // A DDE item with the fixed-width texts the data file holds, due `offset` hundredths from now.
    void addDde(const QString& action, const QString& application, const QString& topic,
                const QString& command, int offset) {
        QueueEntry e;
        e.item.id = 1;
        e.item.action = action;
        e.item.ddeApplicationName = application.leftJustified(80);
        e.item.ddeApplicationTopic = topic.leftJustified(80);
        e.item.ddeCommand = command.leftJustified(80);
        e.dueDate = clock.today();
        e.dueTime = clock.now() + offset;
        queue.append(e);
    }
    void addMessage(int offset) {
        QueueEntry e;
        e.item.id = 1;
        e.item.action = action::DisplayMessage;
        e.item.ddeApplicationName = QStringLiteral("after");
        e.dueDate = clock.today();
        e.dueTime = clock.now() + offset;
        queue.append(e);
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(10, 0, 0)};
    Settings settings;
    ActiveScriptQueue queue;
    NoFrame frame;
    LinuxProcesses processes;
    int debug = 1; // even in debug mode nothing is said
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<Automation> services;
    std::unique_ptr<ScriptRunner> runner;
};

TEST_F(DdeScriptTest, BothStoredNamesSendTheClippedCommand) {
    CommandService service(bus_->address(), QStringLiteral("org.example.Editor"), QStringLiteral("docs"));
    ASSERT_TRUE(service.ready());
    addDde(action::Dde, QStringLiteral("org.example.Editor"), QStringLiteral("docs"),
           QStringLiteral("open a.txt"), 0);
    addDde(action::DdeOld, QStringLiteral("org.example.Editor"), QStringLiteral("docs"),
           QStringLiteral("[print] now"), 50);
    clock.advance(1); // an entry runs once its time has passed
    runner->runScriptStep();
    EXPECT_EQ(queue.size(), 1u);
    EXPECT_EQ(service.waitForLine(), QStringLiteral("docs: open a.txt"));
    clock.advance(50);
    runner->runScriptStep();
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(service.waitForLine(), QStringLiteral("docs: [print] now"));
    EXPECT_EQ(service.waitForLine(500), QString());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(DdeScriptTest, AnAbsentProgramCompletesAtOnceAndTheNextItemFollows) {
    addDde(action::Dde, QStringLiteral("org.example.Absent"), QStringLiteral("docs"), QStringLiteral("x"), 0);
    addMessage(settings.scriptingDelay);
    clock.advance(1);
    QElapsedTimer t;
    t.start();
    runner->runScriptStep();
    EXPECT_LT(t.elapsed(), 2000); // no waiting for an answer that cannot come
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.front().item.action, action::DisplayMessage);
    EXPECT_TRUE(dialogs.shown.empty());
    clock.advance(settings.scriptingDelay);
    runner->runScriptStep();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("after"));
}

} // namespace
} // namespace kr::test
