// kelvray-cli import-ics on a calendar another program wrote: the events whose rules map onto
// a schedule type become tasks, the others are listed with the reason.

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct IcsRun {
    int code = -1;
    QString out;
    QString err;
};

class IcsImport : public ::testing::Test {
protected:
    IcsRun cli(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // on the file, never a running program
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KELVRAY_CLI), QStringList{args.first(), QStringLiteral("--data-dir"),
                                                         dir.filePath(QStringLiteral("data"))} +
                                                 args.mid(1));
        p.waitForFinished(20000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QString write(const QByteArray& text) {
        const QString path = dir.filePath(QStringLiteral("in.ics"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(text);
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(IcsImport, MapsTheRulesItCanAndListsTheOthers) {
    const IcsRun r = cli({QStringLiteral("import-ics"), QStringLiteral(FIXTURES "/other-program.ics")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 8);
    EXPECT_EQ(cli({QStringLiteral("list")}).out,
              QStringLiteral("1\t2027-01-04\t09:00:00\t0\t0\t0\tDisplay Message\tDay of Week\tTeam meeting\n"
                             "7\t2027-01-05\t12:00:00\t0\t0\t0\tDisplay Message\tCustom\tEvery other day\n"
                             "3\t2027-01-12\t18:30:00\t0\t0\t0\tDisplay Message\tDay of Month\tBook club\n"
                             "2\t2027-01-31\t00:00:00\t0\t0\t0\tDisplay Message\tDay of Month\tPay the rent\n"
                             "6\t2027-02-01\t10:00:00\t0\t0\t0\tDisplay Message\tOnce\tDentist\n"
                             "4\t2027-03-01\t08:00:00\t0\t0\t0\tDisplay Message\tCustom\tQuarterly report\n"
                             "5\t2027-05-15\t07:00:00\t0\t0\t0\tDisplay Message\tYearly\tAnniversary\n"
                             "8\t2027-06-10\t13:00:00\t0\t0\t0\tDisplay Message\tOnce\tBerlin call\n"));
    const QString team = cli({QStringLiteral("show"), QStringLiteral("1")}).out;
    EXPECT_TRUE(team.contains(QStringLiteral("weekdays: Mon,Thu"))) << team.toStdString();
    EXPECT_TRUE(team.contains(QStringLiteral("message: Room 4, second floor"))) << team.toStdString();
    const QString book = cli({QStringLiteral("show"), QStringLiteral("3")}).out;
    EXPECT_TRUE(book.contains(QStringLiteral("weekdays: Tue"))) << book.toStdString();
    EXPECT_TRUE(book.contains(QStringLiteral("ordinals: 2nd,last"))) << book.toStdString();
    EXPECT_TRUE(
        cli({QStringLiteral("show"), QStringLiteral("2")}).out.contains(QStringLiteral("month-end: true")));
    const QString quarterly = cli({QStringLiteral("show"), QStringLiteral("4")}).out;
    EXPECT_TRUE(quarterly.contains(QStringLiteral("every: 3")) &&
                quarterly.contains(QStringLiteral("unit: month(s)")))
        << quarterly.toStdString();
    // Book club runs on the second and the last Tuesday.
    EXPECT_EQ(
        cli({QStringLiteral("next"), QStringLiteral("--task"), QStringLiteral("3"), QStringLiteral("--after"),
             QStringLiteral("2027-01-01"), QStringLiteral("--count"), QStringLiteral("3")})
            .out,
        QStringLiteral("2027-01-12 18:30:00\n2027-01-26 18:30:00\n2027-02-09 18:30:00\n"));

    const QStringList skipped = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(skipped.size(), 7) << r.err.toStdString();
    for (const char* expected :
         {"skipped \"Ten lessons\": its repetition ends (COUNT or UNTIL)",
          "skipped \"Hourly check\": it repeats more often than daily",
          "skipped \"Month end by date\": it repeats on day 31, which not every month has",
          "skipped \"Fortnightly Mondays\": no schedule type repeats as FREQ=WEEKLY;INTERVAL=2;BYDAY=MO",
          "skipped \"With exceptions\": it lists extra or excluded dates",
          "skipped \"Mixed grid\": no schedule type repeats as FREQ=MONTHLY;BYDAY=1MO,3TU",
          "skipped \"Far future\": --date: dates from 1801-01-01 to 2099-12-31 only"})
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(expected))) << expected << "\n" << r.err.toStdString();
}

TEST_F(IcsImport, NothingIsAddedFromAFileThatIsNoCalendar) {
    for (const QByteArray& text :
         {QByteArray("not a calendar at all\n"),
          QByteArray("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n\0BEGIN:VEVENT", 35), QByteArray()}) {
        const IcsRun r = cli({QStringLiteral("import-ics"), write(text)});
        EXPECT_EQ(r.code, 1) << text.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("nothing was added"))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_EQ(cli({QStringLiteral("import-ics"), dir.filePath(QStringLiteral("missing.ics"))}).code, 1);
    EXPECT_EQ(cli({QStringLiteral("import-ics")}).code, 2);
    EXPECT_TRUE(cli({QStringLiteral("list")}).out.isEmpty());
}

TEST_F(IcsImport, ACalendarItExportedComesBackAsTheSameSchedule) {
    cli({QStringLiteral("add"), QStringLiteral("--description"), QStringLiteral("Stand-up"),
         QStringLiteral("--type"), QStringLiteral("Day of Week"), QStringLiteral("--weekdays"),
         QStringLiteral("Mon,Tue,Fri"), QStringLiteral("--date"), QStringLiteral("2030-01-07"),
         QStringLiteral("--time"), QStringLiteral("09:15")});
    cli({QStringLiteral("add"), QStringLiteral("--description"), QStringLiteral("Review"),
         QStringLiteral("--type"), QStringLiteral("Day of Month"), QStringLiteral("--weekdays"),
         QStringLiteral("Wed"), QStringLiteral("--ordinals"), QStringLiteral("1st,3rd"),
         QStringLiteral("--date"), QStringLiteral("2030-01-02"), QStringLiteral("--time"),
         QStringLiteral("14:00")});
    const IcsRun exported = cli({QStringLiteral("export-ics")});
    ASSERT_EQ(exported.code, 0) << exported.err.toStdString();
    EXPECT_TRUE(exported.out.contains(QStringLiteral("RRULE:FREQ=WEEKLY;BYDAY=MO,TU,FR")));
    EXPECT_TRUE(exported.out.contains(QStringLiteral("RRULE:FREQ=MONTHLY;BYDAY=1WE,3WE")));
    const IcsRun back = cli({QStringLiteral("import-ics"), write(exported.out.toUtf8())});
    ASSERT_EQ(back.code, 0) << back.err.toStdString();
    // The calendar lists in due order: Review comes back first.
    for (const auto& [a, b] : {std::pair{"1", "4"}, std::pair{"2", "3"}}) {
        auto next = [&](const char* id) {
            return cli({QStringLiteral("next"), QStringLiteral("--task"), QString::fromLatin1(id),
                        QStringLiteral("--after"), QStringLiteral("2030-01-01"), QStringLiteral("--count"),
                        QStringLiteral("12")})
                .out;
        };
        EXPECT_EQ(next(a), next(b));
    }
}

} // namespace
