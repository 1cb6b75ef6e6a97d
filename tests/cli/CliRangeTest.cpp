// kelvray-cli with repeat counts too large for the calendar, and the stored task's own next run.

#include "store/Numbering.h"
#include "store/Store.h"
#include "store/Table.h"
#include "support/ScriptedDialogs.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CliResult {
    int code = -1;
    QString out;
    QString err;
    bool finished = false;
};

CliResult Cli(const QStringList& args) {
    static QTemporaryDir home;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KELVRAY_CLI), args);
    CliResult r;
    r.finished = p.waitForFinished(20000);
    if (!r.finished) {
        p.kill();
        p.waitForFinished();
    }
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

TEST(CliRange, HugeRepeatCountsPrintWhatThereIsAndStop) {
    const QList<QStringList> hung{
        {"--every", "2147483647", "--unit", "year(s)"},
        {"--every", "2147483647", "--unit", "week(s)", "--time", "10:00"},
        {"--every", "2147483647", "--unit", "day(s)"},
        {"--every", "2147483647", "--unit", "month(s)"},
        {"--every", "2147483647", "--unit", "hour(s)", "--time", "10:00"},
        {"--every", "6000000", "--unit", "year(s)"},
    };
    for (const QStringList& every : hung) {
        // After the task's own moment: only what follows it would be listed.
        QStringList args{"next",    "--type",           "Custom",  "--date", "2024-01-01",
                         "--after", "2024-01-01T12:00", "--count", "4"};
        args << every;
        const CliResult r = Cli(args);
        ASSERT_TRUE(r.finished) << every.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, QString()) << every.join(QLatin1Char(' ')).toStdString();
    }
    // The occurrences up to the last date, and no more.
    const CliResult r = Cli({"next", "--type", "Custom", "--every", "40", "--unit", "year(s)", "--date",
                             "2000-03-01", "--after", "2000-03-01", "--count", "4"});
    EXPECT_EQ(r.out, QStringLiteral("2040-03-01 --:--:--\n2080-03-01 --:--:--\n"));
}

class CliStored : public ::testing::Test {
protected:
    QTemporaryDir dir;
    CliResult cli(QStringList args) {
        args.insert(1, QStringLiteral("--data-dir"));
        args.insert(2, dir.path());
        return Cli(args);
    }
};

TEST_F(CliStored, AddRefusesARepeatCountThatNeverGivesADate) {
    const CliResult r = cli({"add", "--description", "Never", "--type", "Custom", "--every", "100", "--unit",
                             "year(s)", "--date", "2024-01-01"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("31 Dec 2099"))) << r.err.toStdString();
    // More than "Every:" holds.
    const CliResult wide = cli({"add", "--description", "Never", "--type", "Custom", "--every", "6000000",
                                "--unit", "year(s)", "--date", "2024-01-01"});
    EXPECT_EQ(wide.code, 2);
    EXPECT_EQ(wide.err,
              QStringLiteral("kelvray-cli: --every: Enter a number from 1 to 999999 in \"Every:\".\n"));
    EXPECT_EQ(cli({"list"}).code, 1); // nothing was written: not even a data file
    const CliResult fine = cli({"add", "--description", "Decades", "--type", "Custom", "--every", "30",
                                "--unit", "year(s)", "--date", "2024-01-01"});
    EXPECT_EQ(fine.code, 0) << fine.err.toStdString();
}

TEST_F(CliStored, NextOfAStoredTaskStartsWithItsOwnNextRun) {
    const CliResult once =
        cli({"add", "--description", "Dentist", "--type", "Once", "--date", "2026-12-15", "--time", "10:00"});
    ASSERT_EQ(once.code, 0) << once.err.toStdString();
    const QString onceId = once.out.trimmed();
    EXPECT_EQ(cli({"next", "--task", onceId, "--after", "2026-12-08"}).out,
              QStringLiteral("2026-12-15 10:00:00\ncompleted\n"));
    // Asked after it: nothing is left.
    EXPECT_EQ(cli({"next", "--task", onceId, "--after", "2026-12-16"}).out, QStringLiteral("completed\n"));

    const CliResult hours = cli({"add", "--description", "Stretch", "--type", "Custom", "--every", "2",
                                 "--unit", "hour(s)", "--date", "2026-12-09", "--time", "10:00"});
    ASSERT_EQ(hours.code, 0);
    EXPECT_EQ(cli({"next", "--task", hours.out.trimmed(), "--after", "2026-12-08", "--count", "3"}).out,
              QStringLiteral("2026-12-09 10:00:00\n2026-12-09 12:00:00\n2026-12-09 14:00:00\n"));
    // At its own moment the stored run is no longer after it.
    EXPECT_EQ(cli({"next", "--task", hours.out.trimmed(), "--after", "2026-12-09T10:00", "--count", "1"}).out,
              QStringLiteral("2026-12-09 12:00:00\n"));
}

TEST_F(CliStored, AStoredRunOnAnExcludedDayShowsItsShiftedCopy) {
    {
        kr::test::ScriptedDialogs dialogs;
        kr::test::ThrowingProgramEnd end;
        kr::Store store(dir.path(), dialogs, end);
        store.declareLayouts();
        kr::Table<kr::Schedule> tasks(store);
        kr::Schedule copy;
        copy.description = QStringLiteral("Saturdays");
        copy.scheduleType = QStringLiteral("Once");
        copy.date = kr::DateFromYmd(2026, 12, 11);
        copy.time = kr::TimeFromHms(9, 0, 0);
        ASSERT_TRUE(kr::ReserveRecordNumber(tasks, copy));
        kr::Schedule t;
        t.description = QStringLiteral("Saturdays");
        t.scheduleType = QStringLiteral("Day of Week");
        t.saturday = 1;
        t.date = kr::DateFromYmd(2026, 12, 12);
        t.time = kr::TimeFromHms(9, 0, 0);
        t.exceptWeekends = 1;
        t.shiftType = QStringLiteral("Previous Day");
        t.skipNextTime = 1;
        t.exceptionLink = copy.id;
        ASSERT_TRUE(kr::ReserveRecordNumber(tasks, t));
        ASSERT_EQ(t.id, 2);
    }
    const CliResult r = cli({"next", "--task", "2", "--after", "2026-12-08", "--count", "2"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("2026-12-12 09:00:00 skipped\n2026-12-11 09:00:00 shifted\n"
                                    "2026-12-19 09:00:00 skipped\n2026-12-18 09:00:00 shifted\n"));
}

} // namespace
