// kelvray-cli beside the running program on a private session bus: the program's answers are
// passed on as they are, add refuses the same values through it, and an import written to the
// data file while it runs is read by the program.

#include "support/SessionBus.h"
#include "support/TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

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
    Result cli(const QStringList& args) const {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral(KELVRAY_CLI),
                QStringList{args.first(), QStringLiteral("--data-dir"), data()} + args.mid(1));
        p.waitForFinished(30000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
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

} // namespace
} // namespace kr::test
