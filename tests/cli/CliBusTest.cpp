// kelvray-cli beside the running program on a private session bus: the program's answers are
// passed on as they are, add refuses the same values through it, an import written to the
// data file while it runs is read by the program, and the long verbs that change the data
// (import-csv, sync receive, search --select) are the program's work, Ctrl+C cancelling them.

#include "support/SelectedTasks.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

namespace kr::test {
namespace {

struct Result {
    int code = -1;
    QString out;
    QString err;
};

class CliBus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(bus.address().isEmpty());
        QDir().mkpath(dir.file(QStringLiteral("runtime")));
        QFile::setPermissions(dir.file(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        program.setProcessEnvironment(environment());
        program.start(QStringLiteral(KELVRAY_BIN), {QStringLiteral("--data-dir"), data()});
        ASSERT_TRUE(program.waitForStarted(10000));
        // Up when it answers for itself.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000 && cli({QStringLiteral("run"), QStringLiteral("1")})
                                          .err.contains(QStringLiteral("needs the running")))
            QThread::msleep(100);
    }
    void TearDown() override {
        program.terminate();
        if (!program.waitForFinished(10000))
            program.kill();
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.file(QStringLiteral("runtime")));
        return env;
    }
    QString data() const { return dir.file(QStringLiteral("data")); }
    Result cli(const QStringList& args, const QByteArray& input = {}, const QString& folder = {}) const {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral(KELVRAY_CLI), QStringList{args.first(), QStringLiteral("--data-dir"),
                                                         folder.isEmpty() ? data() : folder} +
                                                 args.mid(1));
        if (!input.isEmpty())
            p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(60000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    // The program's calls and signals as they pass on the bus.
    void watchBus(QProcess& monitor) const {
        monitor.start(QStringLiteral("dbus-monitor"),
                      {QStringLiteral("--address"), bus.address(),
                       QStringLiteral("interface='org.kelvray.Kelvray1'")});
        ASSERT_TRUE(monitor.waitForStarted(10000));
        // Watching once it has said so.
        while (!monitor.readAllStandardOutput().contains("NameAcquired") && monitor.waitForReadyRead(5000)) {
        }
    }
    // "Task 1" to "Task N", each on its day of December.
    static QByteArray TaskFile(int count) {
        QByteArray csv = "\"SCH:Description\",\"SCH:Date\"\r\n";
        for (int i = 1; i <= count; ++i)
            csv += "\"Task " + QByteArray::number(i) + "\",\"2031-12-" +
                   QByteArray::number(i % 28 + 1).rightJustified(2, '0') + "\"\r\n";
        return csv;
    }
    int taskCount(const QString& folder = {}) const {
        return static_cast<int>(
            cli({QStringLiteral("list")}, {}, folder).out.count(QLatin1Char('\n')));
    }

    SessionBus bus;
    TempDir dir;
    QProcess program;
};

TEST_F(CliBus, TheProgramsAnswerIsAllThatIsSaid) {
    ASSERT_EQ(program.state(), QProcess::Running);
    // Qt's own warning came with about one answer in twenty: every answer of many is looked at.
    for (int i = 0; i < 25; ++i) {
        for (const char* verb : {"run", "enable", "disable", "delete"}) {
            const Result r = cli({QString::fromLatin1(verb), QStringLiteral("999")});
            ASSERT_EQ(r.code, 1) << verb;
            ASSERT_EQ(r.err, QStringLiteral("kelvray-cli: There is no task 999.\n")) << verb << " " << i;
            ASSERT_TRUE(r.out.isEmpty());
        }
    }
}

TEST_F(CliBus, AddRefusesTheSameThroughTheProgram) {
    ASSERT_EQ(program.state(), QProcess::Running);
    const std::pair<QStringList, QString> refused[] = {
        {{"add", "--description", "x", "--type", "Weekly"},
         "--type: \"Weekly\" is not a schedule type. Choose Once, Day of Week, Day of Month, Monthly, Yearly "
         "or "
         "Custom."},
        {{"add", "--description", "x", "--type", "Custom", "--every", "0", "--unit", "day(s)"},
         "--every: Enter a number from 1 to 999999 in \"Every:\"."},
        {{"add", "--description", "x", "--type", "Custom", "--unit", "fortnights"},
         "--unit: \"fortnights\" is not a unit. Choose minute(s), hour(s), day(s), week(s), month(s) or "
         "year(s)."},
    };
    for (const auto& [args, message] : refused) {
        const Result r = cli(args);
        EXPECT_EQ(r.code, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(r.err, QStringLiteral("kelvray-cli: ") + message + QLatin1Char('\n'));
    }
    const Result added = cli({"add", "--description", "Through the program", "--type", "Custom", "--every",
                              "2", "--unit", "minute(s)", "--date", "2031-01-01", "--time", "08:00",
                              "--except", "weekends", "--flags", "-warn"});
    ASSERT_EQ(added.code, 0) << added.err.toStdString();
    const QString shown = cli({"show", added.out.trimmed()}).out;
    EXPECT_TRUE(shown.contains(QStringLiteral("except: weekends\n"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("flags: \n"))) << shown.toStdString();
}

TEST_F(CliBus, AnImportWhileTheProgramRunsIsTheProgramsToo) {
    ASSERT_EQ(program.state(), QProcess::Running);
    const QString file = dir.file(QStringLiteral("in.ics"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//"
                "EN\r\nBEGIN:VEVENT\r\nUID:b-1@example.com\r\n"
                "DTSTAMP:20260101T000000Z\r\nDTSTART:20310106T090000\r\nSUMMARY:Board\r\n"
                "RRULE:FREQ=WEEKLY;BYDAY=MO\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    }
    const Result imported = cli({"import-ics", file});
    ASSERT_EQ(imported.code, 0) << imported.err.toStdString();
    const QString id = imported.out.trimmed();
    // The program finds it: turning it off goes through the program.
    const Result off = cli({"disable", id});
    EXPECT_EQ(off.code, 0) << off.err.toStdString();
    EXPECT_TRUE(cli({"show", id}).out.contains(QStringLiteral("disabled: true\n")));
    const Result again = cli({"import-ics", file});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(
        QStringLiteral("it was imported before as task %1 and has not changed since").arg(id)))
        << again.err.toStdString();
}

TEST_F(CliBus, ImportReceiptAndSelectionAreTheRunningProgramsWork) {
    ASSERT_EQ(program.state(), QProcess::Running);
    QProcess monitor;
    watchBus(monitor);
    const QString file = dir.file(QStringLiteral("in.csv"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(TaskFile(30));
    }
    Result r = cli({"import-csv", "--table", "schedule", "--auto", file});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, QStringLiteral("30 records added\n"));
    // From standard input (handed to the program in a file of its own), by place.
    r = cli({"import-csv", "--table", "schedule", "--header", "--map", "1=Description,2=Date:@d6", "-"},
            TaskFile(5));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, QStringLiteral("5 records added\n"));
    EXPECT_EQ(taskCount(), 35);
    // A bad choice is told before the program is asked, the same as without it.
    r = cli({"import-csv", "--table", "schedule", "--map", "3=Description", file});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("has 2 field(s)"))) << r.err.toStdString();

    r = cli({"search", "--select", "description", "equals", "task 3"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 2) << r.out.toStdString(); // once from each file
    EXPECT_EQ(SelectedTasks(data()), (std::vector<qint32>{3, 33}));

    // Another installation's schedule, received into the running program's.
    const QString other = dir.file(QStringLiteral("other"));
    for (const char* what : {"From afar", "From further"})
        ASSERT_EQ(cli({"add", "--description", what}, {}, other).code, 0);
    const QString carried = dir.file(QStringLiteral("carried.syn"));
    ASSERT_EQ(cli({"sync", "send", carried}, {}, other).code, 0);
    r = cli({"sync", "receive", carried});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, QStringLiteral("received: 2 tasks, 0 script items, 0 to-do entries\n"));
    EXPECT_EQ(taskCount(), 37);
    // Refused by the program as it would refuse it in its window.
    r = cli({"sync", "receive", file});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("is not a synchronization file"))) << r.err.toStdString();
    EXPECT_EQ(taskCount(), 37);

    // The verbs that only read find the same data the program holds.
    r = cli({"export-csv", "--table", "schedule", "--fields", "Description", "-"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 37);
    EXPECT_TRUE(r.out.contains(QStringLiteral("\"From further\"")));
    EXPECT_EQ(r.err, QStringLiteral("37 records written\n"));

    // Each went to the program, whose lists heard of the change.
    monitor.waitForReadyRead(500);
    monitor.terminate();
    monitor.waitForFinished(5000);
    const QByteArray seen = monitor.readAllStandardOutput();
    EXPECT_EQ(seen.count("member=ImportCsv"), 2);
    EXPECT_EQ(seen.count("member=SelectTasks"), 1);
    EXPECT_EQ(seen.count("member=SyncReceive"), 2);
    EXPECT_GE(seen.count("member=ScheduleChanged"), 3);
    EXPECT_TRUE(seen.contains("member=Progress"));
}

TEST_F(CliBus, CtrlCCancelsAnImportTheProgramRunsAndWhatWentInStays) {
    ASSERT_EQ(program.state(), QProcess::Running);
    constexpr int kLines = 150000;
    const QString file = dir.file(QStringLiteral("big.csv"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(TaskFile(kLines));
    }
    QProcess monitor;
    watchBus(monitor);
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(QStringLiteral(KELVRAY_CLI), {QStringLiteral("import-csv"), QStringLiteral("--data-dir"), data(),
                                          QStringLiteral("--table"), QStringLiteral("schedule"),
                                          QStringLiteral("--auto"), file});
    ASSERT_TRUE(p.waitForStarted(10000));
    // Ctrl+C once the program tells it has begun.
    QByteArray seen;
    while (!seen.contains("member=Progress") && monitor.waitForReadyRead(20000))
        seen += monitor.readAllStandardOutput();
    ASSERT_TRUE(seen.contains("member=Progress"));
    ASSERT_EQ(::kill(static_cast<pid_t>(p.processId()), SIGINT), 0);
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 130) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("cancelled"))) << err.toStdString();
    const int added = err.section(QStringLiteral(" records added"), 0, 0).section(QLatin1Char('\n'), -1).toInt();
    EXPECT_GT(added, 0) << err.toStdString();
    EXPECT_LT(added, kLines);
    EXPECT_EQ(taskCount(), added);
    // The program is free for the next one.
    const Result again = cli({"import-csv", "--table", "schedule", "--auto", "-"}, TaskFile(3));
    EXPECT_EQ(again.code, 0) << again.err.toStdString();
    EXPECT_EQ(taskCount(), added + 3);
    monitor.terminate();
    monitor.waitForFinished(5000);
}

} // namespace
} // namespace kr::test
