// kelvray-cli import-ics on a calendar another program wrote, on the same calendar again, and
// on the calendar kelvray-cli export-ics wrote: the events whose rules map onto a schedule
// type become tasks, the others are listed with the reason, each event comes in once, and the
// program's own calendar gives back the tasks it came from.

#include "platform/DateTime.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "support/ScriptedDialogs.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct IcsRun {
    int code = -1;
    QString out;
    QString err;
};

class IcsImport : public ::testing::Test {
protected:
    IcsRun in(const QString& folder, const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // on the file, never a running program
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KELVRAY_CLI),
                QStringList{args.first(), QStringLiteral("--data-dir"), dir.filePath(folder)} + args.mid(1));
        p.waitForFinished(60000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    IcsRun cli(const QStringList& args) { return in(QStringLiteral("data"), args); }
    QString write(const QByteArray& text, const QString& name = QStringLiteral("in.ics")) {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(text);
        return path;
    }
    // The tasks of a folder by description: what `show` prints of each, its number left out.
    QMap<QString, QString> tasksOf(const QString& folder) {
        QMap<QString, QString> out;
        for (const QString& line : in(folder, {"list"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString id = line.section(QLatin1Char('\t'), 0, 0);
            QString shown = in(folder, {"show", id}).out;
            shown.remove(QRegularExpression(QStringLiteral("(^|\n)id: [0-9]+")));
            out.insert(line.section(QLatin1Char('\t'), 8), shown);
        }
        return out;
    }
    // Works on a folder's data file as another station would.
    void onTheFile(const QString& folder, const std::function<void(kr::Table<kr::Schedule>&)>& work) {
        kr::test::ScriptedDialogs dialogs;
        kr::test::ThrowingProgramEnd end;
        kr::Store store(dir.filePath(folder), dialogs, end);
        store.declareLayouts();
        kr::Table<kr::Schedule> tasks(store);
        work(tasks);
    }
    static kr::Schedule Task(kr::Table<kr::Schedule>& tasks, qint32 id) {
        kr::Schedule t;
        t.id = id;
        EXPECT_EQ(tasks.get(kr::Schedule::KEYID, t), kr::Err::None);
        return t;
    }

    QTemporaryDir dir;
};

TEST_F(IcsImport, MapsTheRulesItCanAndListsTheOthers) {
    const IcsRun r = cli({QStringLiteral("import-ics"), QStringLiteral(FIXTURES "/other-program.ics")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 13);
    EXPECT_EQ(
        cli({QStringLiteral("list")}).out,
        QStringLiteral("1\t2027-01-04\t09:00:00\t0\t0\t0\tDisplay Message\tDay of Week\tTeam meeting\n"
                       "9\t2027-01-04\t09:00:00\t0\t0\t0\tDisplay Message\tCustom\tHourly check\n"
                       "13\t2027-01-04\t09:00:00\t0\t0\t0\tDisplay Message\tCustom\tStretch\n"
                       "12\t2027-01-04\t09:30:00\t0\t0\t1\tDisplay Message\tDay of Week\tNot this Monday\n"
                       "7\t2027-01-05\t12:00:00\t0\t0\t0\tDisplay Message\tCustom\tEvery other day\n"
                       "3\t2027-01-12\t18:30:00\t0\t0\t0\tDisplay Message\tDay of Month\tBook club\n"
                       "11\t2027-01-14\t10:00:00\t0\t0\t0\tDisplay Message\tMonthly\tDay before\n"
                       "10\t2027-01-15\t08:00:00\t0\t0\t0\tDisplay Message\tMonthly\tPay day\n"
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
    auto next = [&](const char* id, int count) {
        return cli({QStringLiteral("next"), QStringLiteral("--task"), QString::fromLatin1(id),
                    QStringLiteral("--after"), QStringLiteral("2027-01-01"), QStringLiteral("--count"),
                    QString::number(count)})
            .out;
    };
    // Book club runs on the second and the last Tuesday.
    EXPECT_EQ(next("3", 3),
              QStringLiteral("2027-01-12 18:30:00\n2027-01-26 18:30:00\n2027-02-09 18:30:00\n"));
    // Twice a month: on the 1st and the 15th; on the 14th and the second-last day.
    EXPECT_EQ(next("10", 3),
              QStringLiteral("2027-01-15 08:00:00\n2027-02-01 08:00:00\n2027-02-15 08:00:00\n"));
    EXPECT_EQ(next("11", 3),
              QStringLiteral("2027-01-14 10:00:00\n2027-01-30 10:00:00\n2027-02-14 10:00:00\n"));
    // The excluded first Monday is the task's skipped next run.
    EXPECT_EQ(next("12", 2), QStringLiteral("2027-01-04 09:30:00 skipped\n2027-01-11 09:30:00\n"));
    EXPECT_EQ(next("13", 3),
              QStringLiteral("2027-01-04 09:00:00\n2027-01-04 09:20:00\n2027-01-04 09:40:00\n"));
    EXPECT_EQ(next("9", 2), QStringLiteral("2027-01-04 09:00:00\n2027-01-04 10:00:00\n"));

    const QStringList skipped = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(skipped.size(), 6) << r.err.toStdString();
    for (const char* expected :
         {"skipped \"Ten lessons\": its repetition ends (COUNT or UNTIL)",
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
    const IcsRun empty =
        cli({QStringLiteral("import-ics"), write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nEND:VCALENDAR\r\n")});
    EXPECT_EQ(empty.code, 1);
    EXPECT_EQ(empty.err, QStringLiteral("kelvray-cli: the calendar holds no events; nothing was added\n"));
    // Not even a data file was made.
    EXPECT_EQ(cli({QStringLiteral("list")}).code, 1);
}

TEST_F(IcsImport, SeriesOnSomeWeekdaysBecomeWeeklyTasksOrPassOverTheOthers) {
    auto event = [](const QByteArray& summary, const QByteArray& start, const QByteArray& rule) {
        return "BEGIN:VEVENT\r\nUID:" + summary.toLower().replace(' ', '-') +
               "@example.com\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:" + start + "\r\nSUMMARY:" + summary +
               "\r\nRRULE:" + rule + "\r\nEND:VEVENT\r\n";
    };
    // 2027-01-08 is a Friday.
    const QByteArray calendar =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n" +
        event("Every weekday", "20270104T083000", "FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR") +
        event("Pings", "20270108T233000", "FREQ=MINUTELY;INTERVAL=15;BYDAY=MO,TU,WE,TH,FR") +
        event("Weekend watch", "20270109T060000", "FREQ=HOURLY;INTERVAL=3;BYDAY=SA,SU") +
        event("Odd pair", "20270104T083000", "FREQ=DAILY;INTERVAL=2;BYDAY=MO,WE") + "END:VCALENDAR\r\n";
    const IcsRun r = cli({QStringLiteral("import-ics"), write(calendar)});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("1\n2\n3\n"));
    EXPECT_EQ(r.err, QStringLiteral("kelvray-cli: skipped \"Odd pair\": no schedule type repeats as "
                                    "FREQ=DAILY;INTERVAL=2;BYDAY=MO,WE\n"));
    const QString weekday = cli({QStringLiteral("show"), QStringLiteral("1")}).out;
    EXPECT_TRUE(weekday.contains(QStringLiteral("type: Day of Week\n")) &&
                weekday.contains(QStringLiteral("weekdays: Mon,Tue,Wed,Thu,Fri\n")))
        << weekday.toStdString();
    const QString pings = cli({QStringLiteral("show"), QStringLiteral("2")}).out;
    EXPECT_TRUE(pings.contains(QStringLiteral("except: weekends\n")) &&
                pings.contains(QStringLiteral("shift: Skip (to Next Valid\n")) &&
                pings.contains(QStringLiteral("every: 15\n")) &&
                pings.contains(QStringLiteral("unit: minute(s)\n")))
        << pings.toStdString();
    EXPECT_EQ(
        cli({QStringLiteral("next"), QStringLiteral("--task"), QStringLiteral("2"), QStringLiteral("--after"),
             QStringLiteral("2027-01-08T23:00"), QStringLiteral("--count"), QStringLiteral("3")})
            .out,
        QStringLiteral("2027-01-08 23:30:00\n2027-01-08 23:45:00\n2027-01-09 00:00:00 skipped\n"));
    EXPECT_TRUE(cli({QStringLiteral("show"), QStringLiteral("3")})
                    .out.contains(QStringLiteral("except: weekdays\n")));
}

TEST_F(IcsImport, TheSameCalendarTwiceAddsEachEventOnce) {
    const QString fixture = QStringLiteral(FIXTURES "/other-program.ics");
    ASSERT_EQ(cli({QStringLiteral("import-ics"), fixture}).code, 0);
    const QString list = cli({QStringLiteral("list")}).out;
    const IcsRun again = cli({QStringLiteral("import-ics"), fixture});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.out.isEmpty()) << again.out.toStdString();
    EXPECT_TRUE(again.err.contains(QStringLiteral(
        "skipped \"Team meeting\": it was imported before as task 1 and has not changed since\n")))
        << again.err.toStdString();
    EXPECT_TRUE(again.err.contains(QStringLiteral(
        "skipped \"Stretch\": it was imported before as task 13 and has not changed since\n")));
    EXPECT_EQ(again.err.count(QStringLiteral("has not changed since")), 13);
    EXPECT_TRUE(
        again.err.endsWith(QStringLiteral("kelvray-cli: every event was skipped; nothing was added\n")));
    EXPECT_EQ(cli({QStringLiteral("list")}).out, list);

    // The note is kept beside the settings, the tables as they were: a name of "ICS:" and a
    // digest, the task's number first in its value.
    kr::test::ScriptedDialogs dialogs;
    kr::test::ThrowingProgramEnd end;
    kr::Store store(dir.filePath(QStringLiteral("data")), dialogs, end);
    store.declareLayouts();
    kr::Table<kr::Configuration> config(store);
    kr::Configuration c;
    QStringList numbers;
    config.set(kr::Configuration::KEYDATATYPE);
    while (config.next(c) == kr::Err::None) {
        if (!c.dataType.startsWith(QStringLiteral("ICS:")))
            continue;
        EXPECT_EQ(c.dataType.trimmed().size(), 36) << c.dataType.toStdString();
        numbers << c.dataValue.section(QLatin1Char(' '), 0, 0);
    }
    numbers.sort();
    EXPECT_EQ(numbers, (QStringList{"1", "10", "11", "12", "13", "2", "3", "4", "5", "6", "7", "8", "9"}));
}

// One event of a calendar of another program, as it is changed there between imports.
QByteArray Meeting(const QByteArray& summary, const QByteArray& start,
                   const QByteArray& uid = "m-1@example.com") {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\nBEGIN:VEVENT\r\nUID:" + uid +
           "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:" + start + "\r\nSUMMARY:" + summary +
           "\r\nRRULE:FREQ=WEEKLY;BYDAY=MO\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

TEST_F(IcsImport, AChangedEventUpdatesItsTaskWhereItStands) {
    ASSERT_EQ(cli({QStringLiteral("import-ics"), write(Meeting("Planning", "20270104T090000"))}).out,
              QStringLiteral("1\n"));
    // Meanwhile the scheduler ran it twice and the user turned it off.
    onTheFile(QStringLiteral("data"), [](kr::Table<kr::Schedule>& tasks) {
        kr::Schedule t = Task(tasks, 1);
        t.date = kr::DateFromYmd(2027, 1, 18);
        t.lastRunDate = kr::DateFromYmd(2027, 1, 11);
        t.disabled = 1;
        ASSERT_EQ(tasks.put(t), kr::Err::None);
    });
    const IcsRun renamed =
        cli({QStringLiteral("import-ics"), write(Meeting("Planning, room 2", "20270104T090000"))});
    ASSERT_EQ(renamed.code, 0) << renamed.err.toStdString();
    EXPECT_EQ(renamed.out, QStringLiteral("1\n"));
    EXPECT_EQ(renamed.err, QStringLiteral("kelvray-cli: updated task 1 from \"Planning, room 2\"\n"));
    // The new description, the run where the scheduler left it, the task still off.
    EXPECT_EQ(
        cli({QStringLiteral("list")}).out,
        QStringLiteral("1\t2027-01-18\t09:00:00\t1\t0\t0\tDisplay Message\tDay of Week\tPlanning, room 2\n"));

    // Moved to another start: the task starts there.
    const IcsRun moved =
        cli({QStringLiteral("import-ics"), write(Meeting("Planning, room 2", "20270201T140000"))});
    ASSERT_EQ(moved.code, 0) << moved.err.toStdString();
    EXPECT_EQ(
        cli({QStringLiteral("list")}).out,
        QStringLiteral("1\t2027-02-01\t14:00:00\t1\t0\t0\tDisplay Message\tDay of Week\tPlanning, room 2\n"));
    onTheFile(QStringLiteral("data"), [](kr::Table<kr::Schedule>& tasks) {
        EXPECT_EQ(Task(tasks, 1).lastRunDate, kr::DateFromYmd(2027, 1, 11));
    });

    // Another event with the same summary is another task.
    const IcsRun other = cli({QStringLiteral("import-ics"),
                              write(Meeting("Planning, room 2", "20270201T140000", "m-2@example.com"))});
    EXPECT_EQ(other.out, QStringLiteral("2\n"));
}

TEST_F(IcsImport, WhatWasChangedOrDeletedHereStaysSo) {
    ASSERT_EQ(cli({QStringLiteral("import-ics"), write(Meeting("Review", "20270104T090000"))}).code, 0);
    ASSERT_EQ(
        cli({QStringLiteral("import-ics"), write(Meeting("Standup", "20270104T100000", "s@example.com"))})
            .code,
        0);
    onTheFile(QStringLiteral("data"), [](kr::Table<kr::Schedule>& tasks) {
        kr::Schedule t = Task(tasks, 1);
        t.description = QStringLiteral("Review (my notes)");
        ASSERT_EQ(tasks.put(t), kr::Err::None);
    });
    ASSERT_EQ(cli({QStringLiteral("delete"), QStringLiteral("2")}).code, 0);

    const IcsRun same = cli({QStringLiteral("import-ics"), write(Meeting("Review", "20270104T090000"))});
    EXPECT_EQ(same.code, 1);
    EXPECT_TRUE(same.err.startsWith(QStringLiteral(
        "kelvray-cli: skipped \"Review\": it was imported before as task 1, which has been changed "
        "here since\n")))
        << same.err.toStdString();
    const IcsRun changed =
        cli({QStringLiteral("import-ics"), write(Meeting("Review, longer", "20270104T090000"))});
    EXPECT_EQ(changed.code, 1);
    EXPECT_TRUE(
        changed.err.contains(QStringLiteral("which has been changed here since; the calendar's change is "
                                            "not taken")))
        << changed.err.toStdString();
    const IcsRun deleted =
        cli({QStringLiteral("import-ics"), write(Meeting("Standup", "20270104T100000", "s@example.com"))});
    EXPECT_EQ(deleted.code, 1);
    EXPECT_TRUE(
        deleted.err.startsWith(QStringLiteral("kelvray-cli: skipped \"Standup\": it was imported before as "
                                              "task 2, which has been deleted here since\n")))
        << deleted.err.toStdString();
    EXPECT_EQ(cli({QStringLiteral("list")}).out,
              QStringLiteral(
                  "1\t2027-01-04\t09:00:00\t0\t0\t0\tDisplay Message\tDay of Week\tReview (my notes)\n"));
}

TEST_F(IcsImport, ItsOwnCalendarGivesBackTheTasksItCameFrom) {
    const QList<QStringList> tasks{
        {"--description", "Two minutes", "--type", "Custom", "--every", "2", "--unit", "minute(s)", "--date",
         "2030-01-07", "--time", "10:00"},
        {"--description", "Ninety minutes", "--type", "Custom", "--every", "90", "--unit", "minute(s)",
         "--date", "2030-01-07", "--time", "23:00:30.25", "--flags", "alarm,-warn", "--alarm-file",
         "/tmp/bell.wav"},
        {"--description", "Six hours", "--task-type", "Run Program", "--command",
         "backup --all; echo \"done\"", "--path", "/srv/data, old", "--type", "Custom", "--every", "6",
         "--unit", "hour(s)", "--date", "2030-01-07", "--time", "03:00"},
        {"--description", "Weekly  twice", "--task-type", "Display Message", "--message",
         "Line one,\nline two; with \\ and \"quotes\"", "--type", "Day of Week", "--weekdays", "Tue,Fri",
         "--date", "2030-01-08", "--time", "08:00", "--category", "Work"},
        {"--description", "Off its day", "--type", "Day of Week", "--weekdays", "Mon", "--date", "2030-01-09",
         "--time", "08:00"},
        {"--description", "Second Tuesday", "--type", "Day of Month", "--weekdays", "Tue", "--ordinals",
         "2nd,last", "--date", "2030-01-08", "--time", "18:30", "--flags", "user-skip,no-history"},
        {"--description", "Month end", "--type", "Day of Month", "--month-end", "--date", "2030-01-31",
         "--time", ""},
        {"--description", "Twice shifted", "--type", "Monthly", "--repeat", "Twice - 15th, Last", "--offset",
         "3", "--date", "2030-01-18", "--time", "12:00"},
        {"--description", "Thirty-first", "--type", "Monthly", "--date", "2030-01-31", "--time", "07:00"},
        {"--description", "Leap day", "--type", "Yearly", "--date", "2032-02-29", "--time", "07:00"},
        {"--description", "Quarterly", "--type", "Custom", "--every", "3", "--unit", "month(s)", "--date",
         "2030-02-10", "--time", "09:00", "--warn-at", "2030-02-09T09:00"},
        {"--description", "Skip the first", "--type", "Custom", "--every", "1", "--unit", "week(s)", "--date",
         "2030-01-07", "--time", "06:00", "--flags", "skip-next,skip-if-missed"},
        {"--description", "Weekdays only", "--type", "Custom", "--every", "1", "--unit", "day(s)", "--date",
         "2030-01-07", "--time", "07:00", "--except", "weekends", "--shift", "Next Day", "--except-time",
         "12:00-13:00"},
        {"--description", "Dentist", "--task-type", "None", "--type", "Once", "--date", "2030-02-01"},
        {"--description", "Weekday pings", "--type", "Custom", "--every", "15", "--unit", "minute(s)",
         "--date", "2030-01-07", "--time", "09:00", "--except", "weekends", "--shift",
         "Skip (to Next Valid Day)"},
    };
    for (const QStringList& t : tasks) {
        const IcsRun added = in(QStringLiteral("from"), QStringList{"add"} + t);
        ASSERT_EQ(added.code, 0) << t.join(QLatin1Char(' ')).toStdString() << added.err.toStdString();
    }
    const IcsRun exported = in(QStringLiteral("from"),
                               {QStringLiteral("export-ics"), QStringLiteral("--days"), QStringLiteral("3")});
    ASSERT_EQ(exported.code, 0) << exported.err.toStdString();
    const QString text = exported.out;
    // Series that a rule states are written as one: the two-minute task is one line, not
    // thousands.
    EXPECT_TRUE(text.contains(QStringLiteral("RRULE:FREQ=MINUTELY;INTERVAL=2\r\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("RRULE:FREQ=MINUTELY;INTERVAL=90\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("RRULE:FREQ=HOURLY;INTERVAL=6\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("RRULE:FREQ=MONTHLY;BYMONTHDAY=3,18\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("RRULE:FREQ=MONTHLY;INTERVAL=3\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("EXDATE")));
    // Weekends passed over: the series less those days.
    EXPECT_TRUE(text.contains(QStringLiteral("RRULE:FREQ=MINUTELY;INTERVAL=15;BYDAY=MO,TU,WE,TH,FR\r\n")));
    EXPECT_LT(text.count(QStringLiteral("RDATE")), 10) << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("BEGIN:VEVENT")), tasks.size());

    const QString file = write(text.toUtf8(), QStringLiteral("own.ics"));
    const IcsRun back = in(QStringLiteral("to"), {QStringLiteral("import-ics"), file});
    ASSERT_EQ(back.code, 0) << back.err.toStdString();
    EXPECT_TRUE(back.err.isEmpty()) << back.err.toStdString();
    const QMap<QString, QString> before = tasksOf(QStringLiteral("from"));
    const QMap<QString, QString> after = tasksOf(QStringLiteral("to"));
    ASSERT_EQ(after.keys(), before.keys());
    for (const QString& description : before.keys())
        EXPECT_EQ(after.value(description), before.value(description)) << description.toStdString();
    // And each runs as it did.
    const QStringList from =
        in(QStringLiteral("from"), {"list"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList to =
        in(QStringLiteral("to"), {"list"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(from.size(), to.size());
    for (qsizetype i = 0; i < from.size(); ++i) {
        auto next = [&](const QString& folder, const QString& line) {
            return in(folder, {"next", "--task", line.section(QLatin1Char('\t'), 0, 0), "--after",
                               "2030-01-01", "--count", "8"})
                .out;
        };
        EXPECT_EQ(from[i].section(QLatin1Char('\t'), 1), to[i].section(QLatin1Char('\t'), 1));
        EXPECT_EQ(next(QStringLiteral("from"), from[i]), next(QStringLiteral("to"), to[i]))
            << from[i].toStdString();
    }

    // Imported where it came from, the calendar is those tasks already.
    const IcsRun home = in(QStringLiteral("from"), {QStringLiteral("import-ics"), file});
    EXPECT_EQ(home.code, 1);
    EXPECT_TRUE(
        home.err.contains(QStringLiteral("skipped \"Two minutes\": it is task 1 of this data file\n")))
        << home.err.toStdString();
    EXPECT_EQ(home.err.count(QStringLiteral("of this data file")), tasks.size());
    // Imported again where it went, nothing changes.
    EXPECT_EQ(in(QStringLiteral("to"), {QStringLiteral("import-ics"), file}).code, 1);
    EXPECT_EQ(tasksOf(QStringLiteral("to")), after);
}

TEST_F(IcsImport, TheProgramsOwnPropertyIsCheckedLikeEveryOtherField) {
    auto event = [](const QByteArray& own) {
        return "BEGIN:VEVENT\r\nUID:x-" + QByteArray::number(qHash(own)) +
               "@example.com\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20300107T090000\r\nSUMMARY:Crafted\r\n"
               "X-KELVRAY-TASK:" +
               own + "\r\nEND:VEVENT\r\n";
    };
    const std::pair<QByteArray, const char*> crafted[] = {
        {"type=Weekly&date=2030-01-07&time=09%3A00", "--type: \"Weekly\" is not a schedule type. Choose "
                                                     "Once, Day of Week, Day of Month, Monthly, Yearly or "
                                                     "Custom."},
        {"type=Custom&unit=fortnights&date=2030-01-07", "--unit: \"fortnights\" is not a unit."},
        {"type=Custom&every=0&unit=day%28s%29", "--every: Enter a number from 1 to 999999 in \"Every:\"."},
        {"type=Custom&every=%201&unit=day%28s%29", "--every: not a whole number:  1"},
        {"date=2100-01-01", "--date: dates from 1801-01-01 to 2099-12-31 only: 2100-01-01"},
        {"time=25%3A00", "--time: not a time in the form HH:MM[:SS]: 25:00"},
        {"command=" + QByteArray(300, 'c'),
         "--command: The command holds 300 characters; it takes at most 255."},
        {"path=a%0Ab", "--path: The start folder holds a line break or another control character"},
        {"flags=loud", "--flags: unknown flag: loud"},
        {"month-end=yes", "its X-KELVRAY-TASK property gives month-end as neither 0 nor 1"},
        {"colour=red", "its X-KELVRAY-TASK property names an unknown field: colour"},
        {"data-dir=%2Ftmp", "its X-KELVRAY-TASK property names an unknown field: data-dir"},
        {"type=Once&type=Yearly", "its X-KELVRAY-TASK property names the field type twice"},
        {"category=%FF%FE", "its X-KELVRAY-TASK property is not UTF-8 text"},
        {"type", "its X-KELVRAY-TASK property holds a field without a value"},
        {"command=" + QByteArray(5000, 'c'), "its X-KELVRAY-TASK property is longer than 4096 characters"},
    };
    QByteArray calendar = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example//EN\r\n";
    for (const auto& [own, reason] : crafted)
        calendar += event(own);
    calendar += "END:VCALENDAR\r\n";
    const IcsRun r = cli({QStringLiteral("import-ics"), write(calendar)});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    for (const auto& [own, reason] : crafted)
        EXPECT_TRUE(r.err.contains(QStringLiteral("skipped \"Crafted\": ") + QString::fromUtf8(reason)))
            << reason << "\n"
            << r.err.toStdString();
    EXPECT_EQ(r.err.count(QStringLiteral("skipped \"Crafted\"")), static_cast<qsizetype>(std::size(crafted)));
    EXPECT_EQ(cli({QStringLiteral("list")}).out, QString());
}

} // namespace
