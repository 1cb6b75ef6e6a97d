// kelvray-cli as a shell user runs it.

#include <QDate>
#include <QLocale>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CliRun {
    int code = -1;
    QString out;
    QString err;
};

CliRun Cli(const QStringList& args) {
    static QTemporaryDir home;
    QProcess p;
    // Never the user's own settings or data.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KELVRAY_CLI), args);
    p.waitForFinished(20000);
    return CliRun{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                  QString::fromUtf8(p.readAllStandardError())};
}

TEST(CliNext, ListsTheNextOccurrences) {
    const CliRun r = Cli({"next", "--type", "Monthly", "--date", "2026-01-31", "--time", "09:00", "--after",
                          "2026-01-31", "--count", "3"});
    EXPECT_EQ(r.code, 0);
    // Its own moment comes first: 09:00 is after the start of the day.
    EXPECT_EQ(r.out, QStringLiteral("2026-01-31 09:00:00\n2026-03-03 09:00:00\n2026-04-03 09:00:00\n"));
    EXPECT_TRUE(r.err.isEmpty());

    const CliRun weekly = Cli({"next", "--type", "Day of Week", "--weekdays", "Mon,thu", "--date",
                               "2026-12-07", "--after", "2026-12-07"});
    EXPECT_EQ(weekly.out.count(QLatin1Char('\n')), 10);
    EXPECT_TRUE(weekly.out.startsWith(QStringLiteral("2026-12-10 --:--:--\n2026-12-14 --:--:--\n")));

    const CliRun minutes =
        Cli({"next", "--type", "Custom", "--every", "90", "--unit", "minute(s)", "--date", "2026-03-01",
             "--time", "23:00", "--after", "2026-03-01T23:30", "--count", "2"});
    EXPECT_EQ(minutes.out, QStringLiteral("2026-03-02 00:30:00\n2026-03-02 02:00:00\n"));

    const CliRun ordinals = Cli({"next", "--type", "Day of Month", "--weekdays", "Fri", "--ordinals", "last",
                                 "--date", "2026-07-01", "--after", "2026-07-01", "--count", "2"});
    EXPECT_EQ(ordinals.out, QStringLiteral("2026-07-31 --:--:--\n2026-08-28 --:--:--\n"));
}

TEST(CliNext, AOnceTaskRunsOnItsDayAndCompletes) {
    const CliRun r = Cli({"next", "--type", "Once", "--date", "2026-05-01", "--after", "2026-01-01"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, QStringLiteral("2026-05-01 --:--:--\ncompleted\n"));
    // Asked after its day: nothing is left.
    EXPECT_EQ(Cli({"next", "--type", "Once", "--date", "2026-05-01", "--after", "2026-05-02"}).out,
              QStringLiteral("completed\n"));
}

TEST(CliNext, TheUnitMessageGoesToStandardErrorAndTheCalculationGoesOn) {
    const CliRun r =
        Cli({"next", "--type", "Custom", "--date", "2026-01-01", "--after", "2026-01-05", "--count", "2"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, QStringLiteral("2026-01-06 --:--:--\n2026-01-07 --:--:--\n"));
    EXPECT_EQ(r.err.count(QStringLiteral("Custom repetition is not set up properly.  Select units.")), 2);
}

TEST(CliMatches, AnswersYesOrNo) {
    EXPECT_EQ(Cli({"matches", "--type", "Day of Month", "--weekdays", "Fri", "--ordinals", "last", "--on",
                   "2026-07-31"})
                  .out,
              QStringLiteral("yes\n"));
    EXPECT_EQ(Cli({"matches", "--type", "Day of Month", "--weekdays", "Fri", "--ordinals", "last", "--on",
                   "2026-07-24"})
                  .out,
              QStringLiteral("no\n"));
    EXPECT_EQ(Cli({"matches", "--type", "Monthly", "--repeat", "Twice - 15th, Last", "--offset", "-1", "--on",
                   "2026-06-29"})
                  .out,
              QStringLiteral("yes\n"));
}

TEST(CliErrors, BadArgumentsExitWithTwo) {
    const QList<QStringList> bad{
        {},
        {"frobnicate"},
        {"next", "--type", "Monthly"},
        {"next", "--after", "2026-13-01"},
        {"next", "--after", "1800-12-31"},
        {"next", "--after", "2100-01-01"},
        {"next", "--after", "2026-01-01T25:00"},
        {"next", "--after", "2026-01-01", "--count", "0"},
        {"next", "--after", "2026-01-01", "--weekdays", "Funday"},
        {"next", "--after", "2026-01-01", "--ordinals", "5th"},
        {"next", "--after", "2026-01-01", "--offset", "three"},
        {"next", "--after", "2026-01-01", "--stray"},
        {"next", "--after"},
        {"matches", "--type", "Yearly"},
    };
    for (const QStringList& args : bad) {
        const CliRun r = Cli(args);
        EXPECT_EQ(r.code, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(r.err.trimmed().isEmpty());
    }
    EXPECT_TRUE(
        Cli({"next", "--after", "1800-12-31"}).err.contains(QStringLiteral("1801-01-01 to 2099-12-31")));
}

} // namespace

namespace {

class CliData : public ::testing::Test {
protected:
    QTemporaryDir dir;
    CliRun cli(QStringList args) {
        args.insert(1, QStringLiteral("--data-dir"));
        args.insert(2, dir.path());
        return Cli(args);
    }
};

TEST_F(CliData, AddsNumberedTasksAndListsThemInDueOrder) {
    const CliRun first = cli({"add", "--description", "Backup", "--task-type", "Run Program", "--type",
                              "Custom", "--every", "1", "--unit", "day(s)", "--date", "2027-01-02", "--time",
                              "02:00", "--flags", "no-history,skip-next"});
    EXPECT_EQ(first.code, 0) << first.err.toStdString();
    EXPECT_EQ(first.out, QStringLiteral("1\n"));
    const CliRun second = cli({"add", "--description", "Earlier", "--date", "2027-01-01", "--time", "08:30"});
    EXPECT_EQ(second.out, QStringLiteral("2\n"));
    const CliRun off = cli({"add", "--description", "Off", "--date", "2026-06-01", "--flags", "disabled"});
    EXPECT_EQ(off.out, QStringLiteral("3\n"));

    const CliRun list = cli({"list"});
    EXPECT_EQ(list.code, 0);
    const QStringList lines = list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("2\t2027-01-01\t08:30:00\t0\t0\t0\tBoth\tDay of Week\tEarlier"));
    EXPECT_EQ(lines[1], QStringLiteral("1\t2027-01-02\t02:00:00\t0\t0\t1\tRun Program\tCustom\tBackup"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("3\t2026-06-01\t")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("\t1\t0\t0\tBoth\t")));
}

TEST_F(CliData, AWeeklyTaskGivenNoDateStartsOnItsFirstWeekday) {
    // Tomorrow's weekday only: the task starts tomorrow, not today.
    const QDate tomorrow = QDate::currentDate().addDays(1);
    const QString day = QLocale::c().dayName(tomorrow.dayOfWeek(), QLocale::ShortFormat);
    const CliRun add = cli(
        {"add", "--description", "Weekly", "--type", "Day of Week", "--weekdays", day, "--time", "09:00"});
    ASSERT_EQ(add.code, 0) << add.err.toStdString();
    const CliRun list = cli({"list"});
    if (QDate::currentDate().addDays(1) != tomorrow)
        GTEST_SKIP() << "midnight passed during the test";
    EXPECT_TRUE(
        list.out.startsWith(QStringLiteral("1\t") + tomorrow.toString(Qt::ISODate) + QLatin1Char('\t')))
        << list.out.toStdString();
}

TEST_F(CliData, RefusesBadTasks) {
    for (const QStringList& args : QList<QStringList>{{"add"},
                                                      {"add", "--description", "  "},
                                                      {"add", "--description", "x", "--flags", "loud"},
                                                      {"add", "--description", "x", "--date", "2026-02-30"},
                                                      {"list", "--extra"}}) {
        const CliRun r = cli(args);
        EXPECT_EQ(r.code, 2) << args.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_EQ(cli({"list"}).out, QString());
}

} // namespace

#include "store/Numbering.h"
#include "support/ScriptedDialogs.h"

namespace {

TEST_F(CliData, NextOfAStoredTaskShowsSkippedAndShiftedOccurrences) {
    {
        kr::test::ScriptedDialogs dialogs;
        kr::test::ThrowingProgramEnd end;
        kr::Store store(dir.path(), dialogs, end);
        store.declareLayouts();
        kr::Table<kr::Holidays> holidays(store);
        kr::Holidays h;
        h.holidayDate = kr::DateFromYmd(2027, 1, 11); // a Monday
        ASSERT_EQ(holidays.add(h), kr::Err::None);
        kr::Table<kr::Schedule> tasks(store);
        kr::Schedule t;
        t.description = QStringLiteral("Mondays");
        t.scheduleType = QStringLiteral("Day of Week");
        t.monday = 1;
        t.date = kr::DateFromYmd(2027, 1, 4);
        t.time = kr::TimeFromHms(9, 0, 0);
        t.exceptHolidays = 1;
        t.shiftType = QStringLiteral("Next Day");
        ASSERT_TRUE(kr::ReserveRecordNumber(tasks, t));
    }
    const CliRun r = cli({"next", "--task", "1", "--after", "2027-01-01", "--count", "3"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out,
              QStringLiteral("2027-01-04 09:00:00\n2027-01-11 09:00:00 skipped\n2027-01-12 09:00:00 shifted\n"
                             "2027-01-18 09:00:00\n"));
    // Nothing was written: the holiday and the task are as they were.
    EXPECT_EQ(cli({"list"}).out.count(QLatin1Char('\n')), 1);
    const CliRun missing = cli({"next", "--task", "9", "--after", "2027-01-01"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err, QStringLiteral("kelvray-cli: There is no task 9.\n"));
}

} // namespace
