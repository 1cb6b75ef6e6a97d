// The running program on a private session bus: its interface end to end on a real data file,
// one program per data folder, and kelvray-cli with and without the program.

#include "platform/DateTime.h"
#include "platform/dbus/Instance.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "support/ScriptedDialogs.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"
#include "support/XServer.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace kr::test {

// Hears the program's signals.
class SignalRecorder : public QObject {
    Q_OBJECT
public:
    QList<std::pair<uint, QString>> started;
    struct Finished {
        uint task;
        uint run;
        QString result;
        int status;
    };
    QList<Finished> finished;
    int scheduleChanged = 0;
public Q_SLOTS:
    void taskStarted(uint id, const QString& description) { started.append({id, description}); }
    void taskFinished(uint task, uint run, const QString& result, int status) {
        finished.append({task, run, result, status});
    }
    void changed() { ++scheduleChanged; }
};

namespace {

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

struct Result {
    int code = -1;
    QString out;
    QString err;
};

class BusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(bus.address().isEmpty());
        ASSERT_TRUE(x.ok());
        QDir().mkpath(dir.file(QStringLiteral("config/kelvray")));
        QDir().mkpath(dir.file(QStringLiteral("runtime")));
        QFile::setPermissions(dir.file(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus.address(), QStringLiteral("bus-test-%1").arg(++connections)));
        ASSERT_TRUE(connection->isConnected());
    }
    void TearDown() override {
        for (auto& p : programs) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(10000))
                    p->kill();
            }
        }
        QDBusConnection::disconnectFromBus(connection->name());
    }

    QString data(const QString& name = QStringLiteral("data")) const { return dir.file(name); }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("DISPLAY"), x.display());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.file(QStringLiteral("runtime")));
        return env;
    }

    // Starts the program on a folder and waits until it answers on the bus.
    QProcess* startProgram(const QString& folder) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(environment());
        p->start(QStringLiteral(KELVRAY_BIN), {QStringLiteral("--data-dir"), folder});
        EXPECT_TRUE(p->waitForStarted(10000));
        programs.push_back(std::move(p));
        const QString name = InstanceBusName(folder);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000) {
            if (call(name, QStringLiteral("Tasks"), {}).type() == QDBusMessage::ReplyMessage)
                return programs.back().get();
            QThread::msleep(100);
        }
        ADD_FAILURE() << "the program did not answer on the bus";
        return programs.back().get();
    }

    QDBusMessage call(const QString& name, const QString& method, const QVariantList& args) const {
        QDBusMessage m = QDBusMessage::createMethodCall(name, kProgramObjectPath, kProgramInterface, method);
        m.setArguments(args);
        return connection->call(m, QDBus::Block, 10000);
    }
    QDBusMessage call(const QString& method, const QVariantList& args = {}) const {
        return call(InstanceBusName(data()), method, args);
    }

    Result cli(const QStringList& args) const {
        QProcess p;
        QProcessEnvironment env = environment();
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KELVRAY_CLI), args);
        p.waitForFinished(30000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    Result cliOn(const QString& verb, const QString& folder, const QStringList& rest = {}) const {
        return cli(QStringList{verb, QStringLiteral("--data-dir"), folder} + rest);
    }

    QString tool(const QString& program, const QStringList& args) const {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(program, args);
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    static QVariantMap Fields(const QDBusMessage& reply) {
        return qdbus_cast<QVariantMap>(reply.arguments().value(0));
    }
    static QList<QVariantMap> TaskList(const QDBusMessage& reply) {
        const QDBusArgument arg = reply.arguments().value(0).value<QDBusArgument>();
        QList<QVariantMap> out;
        arg.beginArray();
        while (!arg.atEnd()) {
            QVariantMap m;
            arg >> m;
            out << m;
        }
        arg.endArray();
        return out;
    }

    std::vector<Scripting> scriptItems(const QString& folder, qint32 task) {
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(folder, dialogs, end);
        store.declareLayouts();
        Table<Scripting> items(store);
        std::vector<Scripting> out;
        Scripting s;
        items.set(-1);
        while (items.next(s) == Err::None)
            if (s.id == task)
                out.push_back(s);
        return out;
    }
    void addScriptItems(const QString& folder, qint32 task, int count) {
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(folder, dialogs, end);
        store.declareLayouts();
        Table<Scripting> items(store);
        for (int i = 1; i <= count; ++i) {
            Scripting s;
            s.id = task;
            s.sequence = i;
            s.action = QStringLiteral("Wait");
            s.secondsToWait = 1;
            ASSERT_EQ(items.add(s), Err::None);
        }
    }

    static inline int connections = 0;
    SessionBus bus;
    XServer x;
    TempDir dir;
    std::unique_ptr<QDBusConnection> connection;
    std::vector<std::unique_ptr<QProcess>> programs;
};

TEST_F(BusTest, EveryMethodWorksOnTheRealDataFile) {
    startProgram(data());
    SignalRecorder recorder;
    ASSERT_TRUE(connection->connect(InstanceBusName(data()), kProgramObjectPath, kProgramInterface,
                                    QStringLiteral("ScheduleChanged"), &recorder, SLOT(changed())));

    // AddTask takes the names and defaults of kelvray-cli add.
    QVariantMap fields{{QStringLiteral("description"), QStringLiteral("Water the plants")},
                       {QStringLiteral("task-type"), QStringLiteral("Display Message")},
                       {QStringLiteral("message"), QStringLiteral("The ferns first")},
                       {QStringLiteral("type"), QStringLiteral("Day of Week")},
                       {QStringLiteral("weekdays"), QStringLiteral("Mon,Thu")},
                       {QStringLiteral("date"), QStringLiteral("2030-01-03")},
                       {QStringLiteral("time"), QStringLiteral("08:30")}};
    QDBusMessage reply = call(QStringLiteral("AddTask"), {fields});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const uint id = reply.arguments().value(0).toUInt();
    ASSERT_GT(id, 0u);
    reply =
        call(QStringLiteral("AddTask"), {QVariantMap{{QStringLiteral("description"), QStringLiteral("Later")},
                                                     {QStringLiteral("type"), QStringLiteral("Once")},
                                                     {QStringLiteral("date"), QStringLiteral("2031-05-01")},
                                                     {QStringLiteral("time"), QStringLiteral("09:00")}}});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const uint later = reply.arguments().value(0).toUInt();

    // What kelvray-cli list reads from the file.
    const Result list = cliOn(QStringLiteral("list"), data());
    ASSERT_EQ(list.code, 0) << list.err.toStdString();
    EXPECT_TRUE(list.out.contains(QStringLiteral("%1\t2030-01-03\t08:30:00\t0\t0\t0\tDisplay Message\tDay of "
                                                 "Week\tWater the plants")
                                      .arg(id)))
        << list.out.toStdString();

    reply = call(QStringLiteral("Task"), {id});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    QVariantMap task = Fields(reply);
    EXPECT_EQ(task.value(QStringLiteral("description")).toString(), QStringLiteral("Water the plants"));
    EXPECT_EQ(task.value(QStringLiteral("weekdays")).toString(), QStringLiteral("Mon,Thu"));
    EXPECT_EQ(task.value(QStringLiteral("message")).toString(), QStringLiteral("The ferns first"));
    EXPECT_EQ(task.value(QStringLiteral("id")).toUInt(), id);

    // Tasks in due order.
    reply = call(QStringLiteral("Tasks"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    QList<QVariantMap> tasks = TaskList(reply);
    ASSERT_EQ(tasks.size(), 2);
    EXPECT_EQ(tasks[0].value(QStringLiteral("id")).toUInt(), id);
    EXPECT_EQ(tasks[1].value(QStringLiteral("id")).toUInt(), later);

    reply = call(QStringLiteral("NextOccurrences"), {id, 3u});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const Result next = cliOn(
        QStringLiteral("next"), data(),
        {QStringLiteral("--task"), QString::number(id), QStringLiteral("--count"), QStringLiteral("3")});
    EXPECT_EQ(reply.arguments().value(0).toStringList(),
              next.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts));
    EXPECT_EQ(reply.arguments().value(0).toStringList().value(1), QStringLiteral("2030-01-07 08:30:00"));

    // Turned off, and back on.
    reply = call(QStringLiteral("SetEnabled"), {id, false});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_TRUE(Fields(call(QStringLiteral("Task"), {id})).value(QStringLiteral("disabled")).toBool());
    EXPECT_TRUE(cliOn(QStringLiteral("list"), data())
                    .out.contains(QStringLiteral("%1\t2030-01-03\t08:30:00\t1").arg(id)));
    call(QStringLiteral("SetEnabled"), {id, true});
    EXPECT_FALSE(Fields(call(QStringLiteral("Task"), {id})).value(QStringLiteral("disabled")).toBool());

    // Quick Start: a once-only copy that runs that many minutes from now.
    reply = call(QStringLiteral("QuickStart"), {id, 10u});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const uint copy = reply.arguments().value(0).toUInt();
    const QVariantMap copied = Fields(call(QStringLiteral("Task"), {copy}));
    EXPECT_EQ(copied.value(QStringLiteral("type")).toString(), QStringLiteral("Once"));
    EXPECT_EQ(copied.value(QStringLiteral("description")).toString(), QStringLiteral("Water the plants"));
    EXPECT_EQ(copied.value(QStringLiteral("date")).toString(), QDate::currentDate().toString(Qt::ISODate));

    // DeleteTask takes the task's script items with it.
    addScriptItems(data(), static_cast<qint32>(id), 3);
    ASSERT_EQ(scriptItems(data(), static_cast<qint32>(id)).size(), 3u);
    reply = call(QStringLiteral("DeleteTask"), {id});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_TRUE(scriptItems(data(), static_cast<qint32>(id)).empty());
    reply = call(QStringLiteral("Task"), {id});
    EXPECT_EQ(reply.errorName(), kErrorNotFound);

    Pump(500);
    EXPECT_GE(recorder.scheduleChanged, 5); // two adds, off, on, the copy, the delete
}

TEST_F(BusTest, BadArgumentsAreAnsweredWithNamedErrorsAndWriteNothing) {
    startProgram(data());
    const QVariantMap good{{QStringLiteral("description"), QStringLiteral("Good")}};
    const std::pair<QVariantMap, const char*> bad[] = {
        {{}, "a missing description"},
        {{{QStringLiteral("description"), QStringLiteral("x")},
          {QStringLiteral("colour"), QStringLiteral("red")}},
         "an unknown field"},
        {{{QStringLiteral("description"), QStringLiteral("x")}, {QStringLiteral("date"), 2.5}},
         "a wrong type"},
        {{{QStringLiteral("description"), QStringLiteral("x")},
          {QStringLiteral("date"), QStringLiteral("2100-01-01")}},
         "a date out of range"},
        {{{QStringLiteral("description"), QStringLiteral("x")},
          {QStringLiteral("time"), QStringLiteral("25:00")}},
         "a time out of range"},
        {{{QStringLiteral("description"), QStringLiteral("x")},
          {QStringLiteral("weekdays"), QStringLiteral("Funday")}},
         "an unknown weekday"},
        {{{QStringLiteral("description"), QStringLiteral("x")},
          {QStringLiteral("flags"), QStringLiteral("loud")}},
         "an unknown flag"},
        {{{QStringLiteral("description"), QStringLiteral("x")},
          {QStringLiteral("data-dir"), QStringLiteral("/tmp")}},
         "another data folder"},
    };
    for (const auto& [fields, what] : bad) {
        const QDBusMessage reply = call(QStringLiteral("AddTask"), {fields});
        EXPECT_EQ(reply.errorName(), kErrorInvalidArgument) << what;
        EXPECT_FALSE(reply.errorMessage().isEmpty()) << what;
    }
    EXPECT_TRUE(cliOn(QStringLiteral("list"), data()).out.isEmpty());
    EXPECT_FALSE(QFile::exists(data(QStringLiteral("data/Kelvray Error.png"))));

    EXPECT_EQ(call(QStringLiteral("Task"), {77u}).errorName(), kErrorNotFound);
    EXPECT_EQ(call(QStringLiteral("SetEnabled"), {77u, false}).errorName(), kErrorNotFound);
    EXPECT_EQ(call(QStringLiteral("DeleteTask"), {77u}).errorName(), kErrorNotFound);
    EXPECT_EQ(call(QStringLiteral("RunNow"), {77u}).errorName(), kErrorNotFound);
    EXPECT_EQ(call(QStringLiteral("NextOccurrences"), {77u, 3u}).errorName(), kErrorNotFound);
    const uint id = call(QStringLiteral("AddTask"), {good}).arguments().value(0).toUInt();
    ASSERT_GT(id, 0u);
    EXPECT_EQ(call(QStringLiteral("QuickStart"), {id, 0u}).errorName(), kErrorInvalidArgument);
    EXPECT_EQ(call(QStringLiteral("NextOccurrences"), {id, 0u}).errorName(), kErrorInvalidArgument);
    // Only the good task is there: nothing half-written by the refusals.
    const QStringList lines =
        cliOn(QStringLiteral("list"), data()).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\tGood")));
    // No message box was shown for any of it.
    EXPECT_TRUE(tool(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                 QStringLiteral("--class"), QStringLiteral("kelvray")})
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                    .size() <= 1);
}

TEST_F(BusTest, NumbersBeyondTheirRangeNameNoTaskAndChangeNothing) {
    // The highest task number the file can hold, which a clamped argument would reach.
    QDir().mkpath(data());
    {
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(data(), dialogs, end);
        store.declareLayouts();
        Table<Schedule> tasks(store);
        Schedule t;
        t.id = std::numeric_limits<qint32>::max();
        t.description = QStringLiteral("Highest");
        t.taskType = QStringLiteral("Display Message");
        t.scheduleType = QStringLiteral("Once");
        t.date = DateFromYmd(2040, 1, 1);
        t.time = TimeFromHms(12, 0, 0);
        ASSERT_EQ(tasks.add(t), Err::None);
    }
    startProgram(data());
    const QString listed = cliOn(QStringLiteral("list"), data()).out;
    ASSERT_TRUE(listed.startsWith(QStringLiteral("2147483647\t2040-01-01\t12:00:00\t0\t")))
        << listed.toStdString();

    const uint beyond[] = {2147483648u, 3000000000u, 4294967295u};
    for (const uint id : beyond) {
        const std::string what = std::to_string(id);
        EXPECT_EQ(call(QStringLiteral("Task"), {id}).errorName(), kErrorNotFound) << what;
        QDBusMessage reply = call(QStringLiteral("SetEnabled"), {id, false});
        EXPECT_EQ(reply.errorName(), kErrorNotFound) << what;
        EXPECT_EQ(reply.errorMessage(), QStringLiteral("There is no task %1.").arg(id)) << what;
        reply = call(QStringLiteral("DeleteTask"), {id});
        EXPECT_EQ(reply.errorName(), kErrorNotFound) << what;
        EXPECT_EQ(reply.errorMessage(), QStringLiteral("There is no task %1.").arg(id)) << what;
        EXPECT_EQ(call(QStringLiteral("RunNow"), {id}).errorName(), kErrorNotFound) << what;
        EXPECT_EQ(call(QStringLiteral("QuickStart"), {id, 10u}).errorName(), kErrorNotFound) << what;
        EXPECT_EQ(call(QStringLiteral("NextOccurrences"), {id, 3u}).errorName(), kErrorNotFound) << what;
    }
    // The counts of the other arguments, at the top of their type.
    const uint highest = std::numeric_limits<qint32>::max();
    EXPECT_EQ(call(QStringLiteral("QuickStart"), {highest, 4294967295u}).errorName(), kErrorInvalidArgument);
    EXPECT_EQ(call(QStringLiteral("NextOccurrences"), {highest, 4294967295u}).errorName(),
              kErrorInvalidArgument);

    // Numbers inside a new task's fields, of every integer type the bus carries.
    const QVariantMap custom{{QStringLiteral("description"), QStringLiteral("Often")},
                             {QStringLiteral("type"), QStringLiteral("Custom")},
                             {QStringLiteral("unit"), QStringLiteral("Days")}};
    const std::pair<QVariant, const char*> numbers[] = {
        {QVariant::fromValue(std::numeric_limits<qulonglong>::max()), "uint64 max"},
        {QVariant::fromValue(qulonglong{4294967297ull}), "2^32 + 1"},
        {QVariant::fromValue(std::numeric_limits<uint>::max()), "uint32 max"},
        {QVariant::fromValue(qlonglong{-4294967295ll}), "-(2^32 - 1)"},
        {QVariant::fromValue(std::numeric_limits<qlonglong>::min()), "int64 min"},
    };
    for (const auto& [value, what] : numbers) {
        for (const char* field : {"every", "offset"}) {
            QVariantMap fields = custom;
            fields.insert(QString::fromLatin1(field), value);
            const QDBusMessage reply = call(QStringLiteral("AddTask"), {fields});
            EXPECT_EQ(reply.errorName(), kErrorInvalidArgument) << field << " = " << what;
        }
    }

    // Only the one task, as it was: enabled, not deleted, no copy, nothing added.
    const QStringList lines =
        cliOn(QStringLiteral("list"), data()).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("2147483647\t2040-01-01\t12:00:00\t0\t")))
        << lines[0].toStdString();
    // The number itself still reaches it.
    EXPECT_EQ(Fields(call(QStringLiteral("Task"), {highest})).value(QStringLiteral("description")).toString(),
              QStringLiteral("Highest"));
    EXPECT_EQ(call(QStringLiteral("SetEnabled"), {highest, false}).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(Fields(call(QStringLiteral("Task"), {highest})).value(QStringLiteral("disabled")).toBool());
}

TEST_F(BusTest, RunNowStartsARealProgramAndDueTasksAreAnnounced) {
    const QString marker = dir.file(QStringLiteral("ran"));
    const QString script = dir.file(QStringLiteral("run.sh"));
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho ran >> \"$1\"\n");
    }
    QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    startProgram(data());
    SignalRecorder recorder;
    ASSERT_TRUE(connection->connect(InstanceBusName(data()), kProgramObjectPath, kProgramInterface,
                                    QStringLiteral("TaskStarted"), &recorder,
                                    SLOT(taskStarted(uint, QString))));
    const uint id = call(QStringLiteral("AddTask"),
                         {QVariantMap{{QStringLiteral("description"), QStringLiteral("Mark it")},
                                      {QStringLiteral("task-type"), QStringLiteral("Run Program")},
                                      {QStringLiteral("command"), script + QLatin1Char(' ') + marker},
                                      {QStringLiteral("type"), QStringLiteral("Once")},
                                      {QStringLiteral("date"), QStringLiteral("2040-01-01")},
                                      {QStringLiteral("time"), QStringLiteral("12:00")}}})
                        .arguments()
                        .value(0)
                        .toUInt();
    ASSERT_GT(id, 0u);
    const QDBusMessage reply = call(QStringLiteral("RunNow"), {id});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(marker) && t.elapsed() < 10000)
        Pump(100);
    ASSERT_TRUE(QFile::exists(marker));

    // A task that comes due a few seconds from now is announced when it starts.
    const QDateTime soon = QDateTime::currentDateTime().addSecs(4);
    const Result added =
        cliOn(QStringLiteral("add"), data(),
              {QStringLiteral("--description"), QStringLiteral("Due soon"), QStringLiteral("--task-type"),
               QStringLiteral("Run Program"), QStringLiteral("--command"), script + QLatin1Char(' ') + marker,
               QStringLiteral("--type"), QStringLiteral("Once"), QStringLiteral("--date"),
               soon.date().toString(Qt::ISODate), QStringLiteral("--time"),
               soon.time().toString(QStringLiteral("HH:mm:ss"))});
    ASSERT_EQ(added.code, 0) << added.err.toStdString();
    const uint due = added.out.trimmed().toUInt();
    t.restart();
    while (recorder.started.isEmpty() && t.elapsed() < 40000)
        Pump(100);
    while (recorder.started.size() < 2 && t.elapsed() < 40000)
        Pump(100);
    // The task run by hand, then the one that came due.
    ASSERT_EQ(recorder.started.size(), 2);
    EXPECT_EQ(recorder.started[0], std::make_pair(id, QStringLiteral("Mark it")));
    EXPECT_EQ(recorder.started[1], std::make_pair(due, QStringLiteral("Due soon")));
    Pump(1500);
    EXPECT_EQ(recorder.started.size(), 2); // each once
}

TEST_F(BusTest, AFinishedRunIsAnnouncedWithItsResultAndItsRecordIsRead) {
    const QString script = dir.file(QStringLiteral("fail.sh"));
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho failing\nexit 3\n");
    }
    QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    startProgram(data());
    SignalRecorder recorder;
    ASSERT_TRUE(connection->connect(InstanceBusName(data()), kProgramObjectPath, kProgramInterface,
                                    QStringLiteral("TaskFinished"), &recorder,
                                    SLOT(taskFinished(uint, uint, QString, int))));
    const uint id = call(QStringLiteral("AddTask"),
                         {QVariantMap{{QStringLiteral("description"), QStringLiteral("Exits 3")},
                                      {QStringLiteral("task-type"), QStringLiteral("Run Program")},
                                      {QStringLiteral("command"), script},
                                      {QStringLiteral("type"), QStringLiteral("Once")},
                                      {QStringLiteral("date"), QStringLiteral("2040-01-01")},
                                      {QStringLiteral("time"), QStringLiteral("12:00")}}})
                        .arguments()
                        .value(0)
                        .toUInt();
    ASSERT_GT(id, 0u);
    ASSERT_EQ(call(QStringLiteral("RunNow"), {id}).type(), QDBusMessage::ReplyMessage);
    QElapsedTimer t;
    t.start();
    while (recorder.finished.isEmpty() && t.elapsed() < 15000)
        Pump(100);
    ASSERT_EQ(recorder.finished.size(), 1);
    EXPECT_EQ(recorder.finished[0].task, id);
    EXPECT_EQ(recorder.finished[0].result, QStringLiteral("Exit status 3"));
    EXPECT_EQ(recorder.finished[0].status, 3);

    const QDBusMessage reply = call(QStringLiteral("Runs"), {id, 10u});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const QList<QVariantMap> runs = TaskList(reply);
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs[0].value(QStringLiteral("run")).toUInt(), recorder.finished[0].run);
    EXPECT_EQ(runs[0].value(QStringLiteral("task")).toUInt(), id);
    EXPECT_EQ(runs[0].value(QStringLiteral("result")).toString(), QStringLiteral("Exit status 3"));
    EXPECT_EQ(runs[0].value(QStringLiteral("status")).toInt(), 3);
    EXPECT_TRUE(runs[0].value(QStringLiteral("failed")).toBool());
    EXPECT_TRUE(runs[0].value(QStringLiteral("output")).toBool());
    // Another task has none; every task's runs include this one.
    EXPECT_TRUE(TaskList(call(QStringLiteral("Runs"), {id + 1, 0u})).isEmpty());
    EXPECT_EQ(TaskList(call(QStringLiteral("Runs"), {0u, 0u})).size(), 1);
}

TEST_F(BusTest, ASecondProgramOnTheSameFolderRaisesTheFirstAndEnds) {
    QProcess* first = startProgram(data());
    QProcess* other = startProgram(data(QStringLiteral("other")));
    ASSERT_EQ(other->state(), QProcess::Running);
    auto frameOf = [this](QProcess* p) {
        QElapsedTimer t;
        t.start();
        QString w;
        while (w.isEmpty() && t.elapsed() < 15000) {
            w = tool(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                 QStringLiteral("--pid"), QString::number(p->processId()),
                                                 QStringLiteral("--name"), QStringLiteral("Kelvray 98")})
                    .section(QLatin1Char('\n'), 0, 0);
            if (w.isEmpty())
                QThread::msleep(200);
        }
        return w;
    };
    const QString firstFrame = frameOf(first);
    const QString otherFrame = frameOf(other);
    ASSERT_FALSE(firstFrame.isEmpty());
    ASSERT_FALSE(otherFrame.isEmpty());
    tool(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), firstFrame});
    tool(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), otherFrame});
    QThread::msleep(500);
    ASSERT_EQ(tool(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}), otherFrame);

    QProcess second;
    second.setProcessEnvironment(environment());
    second.start(QStringLiteral(KELVRAY_BIN), {QStringLiteral("--data-dir"), data()});
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    QElapsedTimer t;
    t.start();
    QString active;
    while (active != firstFrame && t.elapsed() < 5000) {
        QThread::msleep(100);
        active = tool(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")});
    }
    EXPECT_EQ(active, firstFrame);
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_EQ(other->state(), QProcess::Running);
}

TEST_F(BusTest, WithoutASessionBusALockFileKeepsToOneProgram) {
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + dir.file(QStringLiteral("nobus")));
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(KELVRAY_BIN), {QStringLiteral("--data-dir"), data()});
    ASSERT_TRUE(first.waitForStarted(10000));
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(data(QStringLiteral("data/kelvray.lock"))) && t.elapsed() < 10000)
        QThread::msleep(100);
    ASSERT_TRUE(QFile::exists(data(QStringLiteral("data/kelvray.lock"))));
    EXPECT_EQ(QFile::permissions(data(QStringLiteral("data/kelvray.lock"))) & 0x0077, 0);
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(KELVRAY_BIN), {QStringLiteral("--data-dir"), data()});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(
        QString::fromLocal8Bit(second.readAllStandardError()).contains(QStringLiteral("already running")));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
}

TEST_F(BusTest, OneProgramPerFolderWhetherOrNotEachHasTheSessionBus) {
    QProcessEnvironment noBus = environment();
    noBus.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                 QStringLiteral("unix:path=") + dir.file(QStringLiteral("nobus")));
    auto second = [&](const QProcessEnvironment& env, const QString& folder) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(KELVRAY_BIN), {QStringLiteral("--data-dir"), folder});
        EXPECT_TRUE(p->waitForStarted(10000));
        const bool ended = p->waitForFinished(15000);
        EXPECT_TRUE(ended) << "a second program runs on " << folder.toStdString();
        return p;
    };

    // With the bus first, then one started without it (over ssh, from a timer unit).
    const QString first = data(QStringLiteral("bus-first"));
    QProcess* withBus = startProgram(first);
    ASSERT_TRUE(QFile::exists(first + QStringLiteral("/kelvray.lock")));
    auto without = second(noBus, first);
    EXPECT_EQ(without->exitCode(), 0);
    EXPECT_TRUE(
        QString::fromLocal8Bit(without->readAllStandardError()).contains(QStringLiteral("already running")));
    EXPECT_EQ(withBus->state(), QProcess::Running);

    // Without the bus first, then one with it: the second gives the folder's name back and ends.
    const QString other = data(QStringLiteral("plain-first"));
    QProcess plain;
    plain.setProcessEnvironment(noBus);
    plain.start(QStringLiteral(KELVRAY_BIN), {QStringLiteral("--data-dir"), other});
    ASSERT_TRUE(plain.waitForStarted(10000));
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(other + QStringLiteral("/kelvray.lock")) && t.elapsed() < 10000)
        QThread::msleep(100);
    ASSERT_TRUE(QFile::exists(other + QStringLiteral("/kelvray.lock")));
    auto late = second(environment(), other);
    EXPECT_EQ(late->exitCode(), 0);
    EXPECT_TRUE(
        QString::fromLocal8Bit(late->readAllStandardError()).contains(QStringLiteral("already running")));
    EXPECT_EQ(plain.state(), QProcess::Running);
    EXPECT_FALSE(connection->interface()->isServiceRegistered(InstanceBusName(other)).value());

    // Once the first has ended, a new one starts on the folder.
    plain.terminate();
    ASSERT_TRUE(plain.waitForFinished(10000));
    QProcess* again = startProgram(other);
    EXPECT_EQ(again->state(), QProcess::Running);
}

TEST_F(BusTest, TheCommandLineGivesTheSameScheduleWithAndWithoutTheProgram) {
    const QString on = data(QStringLiteral("running"));
    const QString off = data(QStringLiteral("direct"));
    startProgram(on);
    auto script = [this](const QString& folder) {
        QStringList codes;
        auto run = [&](const QString& verb, const QStringList& rest) {
            const Result r = cliOn(verb, folder, rest);
            codes << QString::number(r.code);
            return r;
        };
        for (const char* d : {"Alpha", "Beta", "Gamma"})
            run(QStringLiteral("add"),
                {QStringLiteral("--description"), QString::fromLatin1(d), QStringLiteral("--type"),
                 QStringLiteral("Monthly"), QStringLiteral("--date"), QStringLiteral("2032-02-10"),
                 QStringLiteral("--time"), QStringLiteral("07:15")});
        run(QStringLiteral("disable"), {QStringLiteral("2")});
        run(QStringLiteral("delete"), {QStringLiteral("1")});
        run(QStringLiteral("delete"), {QStringLiteral("9")}); // no such task: 1
        run(QStringLiteral("enable"), {});                    // usage: 2
        run(QStringLiteral("add"), {QStringLiteral("--description"), QStringLiteral("x"),
                                    QStringLiteral("--weekdays"), QStringLiteral("Funday")}); // usage: 2
        codes << run(QStringLiteral("list"), {}).out;
        return codes;
    };
    const QStringList through = script(on);
    const QStringList direct = script(off);
    EXPECT_EQ(through, direct);
    EXPECT_EQ(through.mid(0, 8), (QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                                              QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1"),
                                              QStringLiteral("2"), QStringLiteral("2")}));
    EXPECT_EQ(through.value(9).count(QLatin1Char('\n')), 2) << through.value(9).toStdString();

    // run needs the program.
    EXPECT_EQ(cliOn(QStringLiteral("run"), off, {QStringLiteral("2")}).code, 1);
    EXPECT_EQ(cliOn(QStringLiteral("run"), on, {QStringLiteral("9")}).code, 1);

    // --json is one document that a JSON reader takes.
    for (const QStringList& args :
         {QStringList{QStringLiteral("list"), QStringLiteral("--json")},
          QStringList{QStringLiteral("show"), QStringLiteral("--json"), QStringLiteral("2")},
          QStringList{QStringLiteral("next"), QStringLiteral("--json"), QStringLiteral("--task"),
                      QStringLiteral("3")}}) {
        const Result r = cli(QStringList{args.first(), QStringLiteral("--data-dir"), on} + args.mid(1));
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        QProcess json;
        json.start(QStringLiteral("python3"), {QStringLiteral("-m"), QStringLiteral("json.tool")});
        json.write(r.out.toUtf8());
        json.closeWriteChannel();
        ASSERT_TRUE(json.waitForFinished(10000));
        EXPECT_EQ(json.exitCode(), 0) << r.out.toStdString();
    }
    const Result shown = cli({QStringLiteral("show"), QStringLiteral("--data-dir"), on,
                              QStringLiteral("--json"), QStringLiteral("2")});
    EXPECT_TRUE(shown.out.contains(QStringLiteral("\"id\": 2"))) << shown.out.toStdString();
    EXPECT_TRUE(shown.out.contains(QStringLiteral("\"date\": \"2032-02-10\""))) << shown.out.toStdString();
    EXPECT_TRUE(shown.out.contains(QStringLiteral("\"disabled\": true"))) << shown.out.toStdString();

    const Result version = cli({QStringLiteral("--version")});
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("kelvray-cli "))) << version.out.toStdString();
}

TEST_F(BusTest, UnderAWaylandSessionItRunsOnX11AndSaysSoOnce) {
    {
        QFile ini(dir.file(QStringLiteral("config/kelvray/KR98.INI")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Settings]\nLogEvents=1\n");
    }
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"),
               QStringLiteral("wayland-kelvray-test")); // no such compositor
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KELVRAY_BIN), {QStringLiteral("--data-dir"), data()});
    ASSERT_TRUE(p.waitForStarted(10000));
    QElapsedTimer t;
    t.start();
    while (call(QStringLiteral("Tasks")).type() != QDBusMessage::ReplyMessage && t.elapsed() < 20000)
        QThread::msleep(100);
    // It runs, on the X display, with its frame there.
    EXPECT_FALSE(tool(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--pid"), QString::number(p.processId()),
                       QStringLiteral("--name"), QStringLiteral("Kelvray 98")})
                     .isEmpty());
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    QFile log(data(QStringLiteral("data/KR98Evnt.LOG")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromLocal8Bit(log.readAll());
    EXPECT_EQ(text.count(QStringLiteral("Only X11 windows can be automated")), 1) << text.toStdString();
}

} // namespace
} // namespace kr::test

#include "BusTest.moc"
