// kelvray-cli add refuses what the task form would refuse, the verbs that only read leave a
// missing data file missing, and a schedule given on the line runs as the same task stored.

#include <QDir>
#include <QFile>
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

class CliEntry : public ::testing::Test {
protected:
    // kelvray-cli in a home of its own, started in `cwd` (the home when blank).
    CliRun run(const QStringList& args, const QString& cwd = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("share")));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // on the file, never a running program
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(cwd.isEmpty() ? home.path() : cwd);
        p.start(QStringLiteral(KELVRAY_CLI), args);
        p.waitForFinished(20000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    CliRun on(const QString& folder, QStringList args) {
        args.insert(1, QStringLiteral("--data-dir"));
        args.insert(2, folder);
        return run(args);
    }
    CliRun cli(const QStringList& args) { return on(data(), args); }
    QString data() const { return home.filePath(QStringLiteral("data")); }
    QStringList entries(const QString& path) const {
        return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir home;
};

TEST_F(CliEntry, AddRefusesWhatTheTaskFormRefusesWithTheFormsMessage) {
    const QString d = QStringLiteral("--description");
    const std::pair<QStringList, QString> refused[] = {
        {{"add", d, "x", "--type", "Weekly"},
         "--type: \"Weekly\" is not a schedule type. Choose Once, Day of Week, Day of Month, Monthly, Yearly "
         "or Custom."},
        // The calculation compares the type as stored: "monthly" would repeat as a custom task.
        {{"add", d, "x", "--type", "monthly"},
         "--type: \"monthly\" is not a schedule type. Choose Once, Day of Week, Day of Month, Monthly, "
         "Yearly "
         "or Custom."},
        {{"add", d, "x", "--type", "Custom", "--unit", "fortnights"},
         "--unit: \"fortnights\" is not a unit. Choose minute(s), hour(s), day(s), week(s), month(s) or "
         "year(s)."},
        {{"add", d, "x", "--type", "Custom", "--every", "0", "--unit", "day(s)"},
         "--every: Enter a number from 1 to 999999 in \"Every:\"."},
        {{"add", d, "x", "--type", "Custom", "--every", "-5", "--unit", "day(s)"},
         "--every: Enter a number from 1 to 999999 in \"Every:\"."},
        {{"add", d, "x", "--task-type", "Run"},
         "--task-type: \"Run\" is not a task type. Choose Run Program, Display Message, Both or None."},
        {{"add", d, "x", "--type", "Monthly", "--repeat", "Twice"},
         "--repeat: \"Twice\" is not a monthly repeat. Choose Once, Twice - 1st, 15th or Twice - 15th, "
         "Last."},
        {{"add", d, "x", "--type", "Monthly", "--offset", "100"},
         "--offset: Enter a number from -99 to 99 in \"Days to Offset:\"."},
        {{"add", d, "x", "--except", "weekends", "--shift", "Tomorrow"},
         "--shift: \"Tomorrow\" is not an exception action. Choose Skip (to Next Valid Day), Previous Day or "
         "Next Day."},
        {{"add", d, "x", "--except", "weekends,weekdays"},
         "--except: \"Except Weekends\" and \"Except Weekdays\" cannot both be ticked."},
        {{"add", d, ""}, "--description: Enter a description for the task."},
        {{"add", "--type", "Once"}, "--description: Enter a description for the task."},
        {{"add", d, QString(41, QLatin1Char('d'))},
         "--description: The description holds 41 characters; it takes at most 40."},
        {{"add", d, "two\nlines"},
         "--description: The description holds a line break or another control character; it takes one "
         "line of text."},
        {{"add", d, "x", "--command", QString(256, QLatin1Char('c'))},
         "--command: The command holds 256 characters; it takes at most 255."},
        {{"add", d, "x", "--message", QString(1001, QLatin1Char('m'))},
         "--message: The message holds 1001 characters; it takes at most 1000."},
        {{"add", d, "x", "--date", "2030-01-01", "--time", "09:00", "--warn-at", "2030-01-01T10:00"},
         "--warn-at: Advanced Warning cannot be after scheduled task."},
    };
    for (const auto& [args, message] : refused) {
        const CliRun r = cli(args);
        const std::string what = args.join(QLatin1Char(' ')).left(80).toStdString();
        EXPECT_EQ(r.code, 2) << what;
        EXPECT_EQ(r.err, QStringLiteral("kelvray-cli: ") + message + QLatin1Char('\n')) << what;
        EXPECT_TRUE(r.out.isEmpty()) << what;
    }
    // Nothing was written, not even a data file.
    EXPECT_TRUE(entries(data()).isEmpty()) << entries(data()).join(QLatin1Char(' ')).toStdString();

    // What the form can hold is taken, at its limits.
    const CliRun fine =
        cli({"add", d, QString(40, QLatin1Char('d')), "--type", "Custom", "--every", "999999", "--unit",
             "minute(s)", "--offset", "-99", "--message", QString(1000, QLatin1Char('m'))});
    EXPECT_EQ(fine.code, 0) << fine.err.toStdString();
    EXPECT_EQ(fine.out, QStringLiteral("1\n"));
}

TEST_F(CliEntry, WhatItTakesIsStoredAsTheFormStoresIt) {
    // A task of type "None" runs at the end of its day; an excepted time range without an end
    // runs to midnight; a program task without a command only runs its script.
    ASSERT_EQ(cli({"add", "--description", "Quiet", "--task-type", "None", "--type", "Once", "--date",
                   "2030-03-04", "--time", "08:00"})
                  .code,
              0);
    const QString quiet = cli({"show", "1"}).out;
    // 8639500 hundredths, shown to the second.
    EXPECT_TRUE(quiet.contains(QStringLiteral("time: 23:59:54\n"))) << quiet.toStdString();

    ASSERT_EQ(cli({"add", "--description", "Ranged", "--task-type", "Run Program", "--type", "Custom",
                   "--every", "30", "--unit", "minute(s)", "--date", "2030-03-04", "--time", "08:00",
                   "--except-time", "12:00-", "--flags", "alarm,-warn"})
                  .code,
              0);
    const QString ranged = cli({"show", "2"}).out;
    EXPECT_TRUE(ranged.contains(QStringLiteral("command: N/A\n"))) << ranged.toStdString();
    EXPECT_TRUE(ranged.contains(QStringLiteral("except-time: 12:00:00-23:59:59.99\n")))
        << ranged.toStdString();
    EXPECT_TRUE(ranged.contains(QStringLiteral("flags: alarm\n"))) << ranged.toStdString();
    // The range runs from 12:00 to the end of the day: the 12:00 run moves to midnight.
    EXPECT_EQ(cli({"next", "--task", "2", "--after", "2030-03-04T11:00", "--count", "3"}).out,
              QStringLiteral("2030-03-04 11:30:00\n2030-03-05 00:00:00\n2030-03-05 00:30:00\n"));
}

TEST_F(CliEntry, AnExcludedFirstDayIsShiftedAsTheFormShiftsIt) {
    // 2030-03-09 is a Saturday: the task keeps it, to be skipped, and a one-time copy runs on
    // the Monday.
    const CliRun added =
        cli({"add", "--description", "Weekdays only", "--type", "Custom", "--every", "1", "--unit", "week(s)",
             "--date", "2030-03-09", "--time", "07:00", "--except", "weekends", "--shift", "Next Day"});
    ASSERT_EQ(added.code, 0) << added.err.toStdString();
    const QStringList list = cli({"list"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(list.size(), 2) << list.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(list[0], QStringLiteral("1\t2030-03-09\t07:00:00\t0\t0\t1\tBoth\tCustom\tWeekdays only"));
    EXPECT_EQ(list[1], QStringLiteral("2\t2030-03-11\t07:00:00\t0\t0\t0\tBoth\tOnce\tWeekdays only"));
    EXPECT_EQ(cli({"next", "--task", "1", "--after", "2030-03-01", "--count", "2"}).out,
              QStringLiteral("2030-03-09 07:00:00 skipped\n2030-03-11 07:00:00 shifted\n"
                             "2030-03-16 07:00:00 skipped\n2030-03-18 07:00:00 shifted\n"));
}

TEST_F(CliEntry, MalformedNumbersAreRefusedEverywhere) {
    ASSERT_EQ(cli({"add", "--description", "One"}).code, 0);
    for (const QString& bad :
         {QStringLiteral(" 1"), QStringLiteral("1 "), QStringLiteral("+1"), QStringLiteral("1e0"),
          QStringLiteral("0x1"), QString::fromUtf8("\xd9\xa1"), QStringLiteral("99999999999")}) {
        for (const char* verb : {"delete", "disable", "show"}) {
            const CliRun r = cli({QString::fromLatin1(verb), bad});
            EXPECT_EQ(r.code, 2) << verb << " [" << bad.toStdString() << "]";
            EXPECT_EQ(r.err, QStringLiteral("kelvray-cli: %1: not a whole number: %2\n").arg(verb, bad));
        }
        EXPECT_EQ(cli({"next", "--task", bad}).code, 2) << bad.toStdString();
        EXPECT_EQ(cli({"add", "--description", "x", "--every", bad}).code, 2) << bad.toStdString();
    }
    // The task is still there, enabled.
    EXPECT_TRUE(cli({"list"}).out.startsWith(QStringLiteral("1\t"))) << cli({"list"}).out.toStdString();
    EXPECT_TRUE(cli({"show", "1"}).out.contains(QStringLiteral("disabled: false\n")));
}

TEST_F(CliEntry, VerbsThatOnlyReadLeaveAMissingDataFileMissing) {
    const QString empty = home.filePath(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkpath(empty));
    const QString missing = home.filePath(QStringLiteral("missing"));
    const QList<QStringList> verbs{
        {"list"},       {"list", "--json"}, {"show", "1"},   {"next", "--task", "1"},
        {"export-ics"}, {"delete", "1"},    {"enable", "1"}, {"disable", "1"}};
    for (const QString& folder : {empty, missing}) {
        for (const QStringList& args : verbs) {
            const CliRun r = on(folder, args);
            EXPECT_EQ(r.code, 1) << args.join(QLatin1Char(' ')).toStdString();
            EXPECT_EQ(r.err,
                      QStringLiteral("kelvray-cli: No data file in %1 (use --data-dir).\n").arg(folder));
            EXPECT_TRUE(r.out.isEmpty());
        }
    }
    EXPECT_TRUE(entries(empty).isEmpty()) << entries(empty).join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(QFile::exists(missing));

    // Without --data-dir: the default folder, named, and still not made.
    const QString defaultDir = home.filePath(QStringLiteral("share/kelvray"));
    const CliRun list = run({"list"});
    EXPECT_EQ(list.code, 1);
    EXPECT_EQ(list.err,
              QStringLiteral("kelvray-cli: No data file in %1 (use --data-dir).\n").arg(defaultDir));
    EXPECT_FALSE(QFile::exists(defaultDir));

    // A verb that writes makes it; then the others read it.
    ASSERT_EQ(run({"add", "--description", "First"}).code, 0);
    EXPECT_TRUE(QFile::exists(defaultDir + QStringLiteral("/KR97.TPS")));
    EXPECT_EQ(QFile::permissions(defaultDir) & 0x0077, 0);
    EXPECT_TRUE(run({"list"}).out.endsWith(QStringLiteral("\tFirst\n")));
}

TEST_F(CliEntry, AnEmptyDataFolderIsRefusedAndNothingIsWrittenHere) {
    const QString cwd = home.filePath(QStringLiteral("cwd"));
    ASSERT_TRUE(QDir().mkpath(cwd));
    for (const QStringList& args : QList<QStringList>{{"add", "--data-dir", "", "--description", "x"},
                                                      {"list", "--data-dir", ""},
                                                      {"list", "--data-dir="},
                                                      {"import-ics", "--data-dir", "", "none.ics"}}) {
        const CliRun r = run(args, cwd);
        EXPECT_EQ(r.code, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(r.err, QStringLiteral(
                             "kelvray-cli: --data-dir: the folder is missing (an empty text names none)\n"));
    }
    EXPECT_TRUE(entries(cwd).isEmpty()) << entries(cwd).join(QLatin1Char(' ')).toStdString();
}

TEST_F(CliEntry, AScheduleOnTheLineRunsAsTheSameTaskStored) {
    const QList<QStringList> schedules{
        // The daily 02:55 task a minute before its first run.
        {"--type", "Day of Week", "--date", "2026-12-20", "--time", "02:55"},
        {"--type", "Once", "--date", "2026-12-20", "--time", "02:55"},
        {"--type", "Monthly", "--date", "2026-12-31", "--time", "06:00"},
        {"--type", "Monthly", "--repeat", "Twice - 15th, Last", "--offset", "-1", "--date", "2026-12-30",
         "--time", "12:00"},
        {"--type", "Day of Month", "--weekdays", "Fri", "--ordinals", "last", "--date", "2026-12-25",
         "--time", "18:00"},
        {"--type", "Custom", "--every", "90", "--unit", "minute(s)", "--date", "2026-12-20", "--time",
         "02:55"},
        {"--type", "Custom", "--every", "2", "--unit", "week(s)", "--date", "2026-12-19", "--time", "09:00",
         "--except", "weekends", "--shift", "Previous Day"},
        {"--type", "Custom", "--every", "1", "--unit", "hour(s)", "--date", "2026-12-20", "--time", "02:55",
         "--except-time", "04:00-06:00"},
    };
    int id = 0;
    for (const QStringList& schedule : schedules) {
        const std::string what = schedule.join(QLatin1Char(' ')).toStdString();
        const CliRun added = cli(QStringList{"add", "--description", "Same"} + schedule);
        ASSERT_EQ(added.code, 0) << what << added.err.toStdString();
        ++id;
        while (added.out.trimmed() != QString::number(id)) // a shifted copy took a number
            ++id;
        for (const QString& after : {QStringLiteral("2026-12-20T02:54"), QStringLiteral("2026-12-20T02:55"),
                                     QStringLiteral("2026-12-01")}) {
            const QStringList tail{"--after", after, "--count", "6"};
            const CliRun line = run(QStringList{"next"} + schedule + tail);
            const CliRun stored = cli(QStringList{"next", "--task", QString::number(id)} + tail);
            ASSERT_EQ(line.code, 0) << what << line.err.toStdString();
            EXPECT_EQ(line.out, stored.out) << what << " after " << after.toStdString();
        }
    }
    // The daily task's first line is its own run on the 20th, the one-time task's too.
    EXPECT_TRUE(run({"next", "--type", "Day of Week", "--date", "2026-12-20", "--time", "02:55", "--after",
                     "2026-12-20T02:54", "--count", "2"})
                    .out == QStringLiteral("2026-12-20 02:55:00\n2026-12-21 02:55:00\n"));
    EXPECT_EQ(run({"next", "--type", "Once", "--date", "2026-12-20", "--time", "02:55", "--after",
                   "2026-12-20T02:54"})
                  .out,
              QStringLiteral("2026-12-20 02:55:00\ncompleted\n"));
}

} // namespace
