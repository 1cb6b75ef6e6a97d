// kelvray-cli export-csv against real data files: the same bytes as the export window's own
// routine writes for the same choices, and clear refusals that write nothing.

#include "exchange/CsvExchange.h"
#include "exchange/ExchangeTables.h"
#include "platform/DateTime.h"
#include "platform/Progress.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class CliCsv : public ::testing::Test {
protected:
    struct Run {
        int code = -1;
        QByteArray out;
        QString err;
    };
    Run cli(QStringList arguments) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
        p.setProcessEnvironment(env);
        arguments.prepend(data());
        arguments.prepend(QStringLiteral("--data-dir"));
        arguments.prepend(QStringLiteral("export-csv"));
        p.start(QStringLiteral(KELVRAY_CLI), arguments);
        EXPECT_TRUE(p.waitForFinished(30000));
        return Run{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                   QString::fromUtf8(p.readAllStandardError())};
    }
    QString data() const { return dir.file(QStringLiteral("data")); }
    // What the export window's routine writes for these choices.
    QByteArray windowExport(const ExchangeTable& table, const std::vector<ExchangeField>& fields, bool header) {
        const QString file = dir.file(QStringLiteral("window.csv"));
        QFile::remove(file);
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(data(), dialogs, end);
        store.declareLayouts();
        NoProgress progress;
        EXPECT_GE(ExportTable(store, progress, table, fields, header, file), 0);
        return Bytes(file);
    }
    void fill() {
        ASSERT_TRUE(QDir().mkpath(data()));
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(data(), dialogs, end);
        store.declareLayouts();
        Table<Schedule> tasks(store);
        for (qint32 id = 1; id <= 40; ++id) {
            Schedule t;
            t.id = id;
            t.description = id % 3 == 0 ? QStringLiteral("Quote \"this\", then, a comma") : QStringLiteral("Task %1").arg(id);
            t.taskType = QStringLiteral("Run Program");
            t.scheduleType = QStringLiteral("Day of Week");
            t.command = QStringLiteral("café --now");
            t.message = id % 5 == 0 ? QStringLiteral("two\nlines") : QString();
            t.date = DateFromYmd(2026, 12, 1) + id % 7;
            t.time = 1 + (id * 7919) % 8640000;
            ASSERT_EQ(tasks.add(t), Err::None);
        }
        Table<Contact> contacts(store);
        Contact c;
        c.lastName = QStringLiteral("Nakamura");
        c.firstName = QStringLiteral("Ai");
        ASSERT_EQ(contacts.add(c), Err::None);
    }

    TempDir dir;
};

TEST_F(CliCsv, TheFileIsTheOneTheExportWindowWritesForTheSameChoices) {
    fill();
    const ExchangeTable& schedule = ScheduleExchange();
    // Every field with its default picture, a header line; to a file and to standard output.
    const QByteArray expected = windowExport(schedule, schedule.exportFields, true);
    ASSERT_FALSE(expected.isEmpty());
    const QString file = dir.file(QStringLiteral("cli.csv"));
    Run r = cli({QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--header"), file});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(Bytes(file), expected);
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("40 records written"));
    EXPECT_EQ(QFile::permissions(file) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    r = cli({QStringLiteral("--table"), QStringLiteral("SCHEDULE"), QStringLiteral("--header"), QStringLiteral("-")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, expected);

    // A few fields in an order of their own, one with another picture, no header.
    ASSERT_GE(schedule.exportFields.size(), 3u);
    std::vector<ExchangeField> chosen{schedule.exportFields[2], schedule.exportFields[0]};
    chosen[1].picture = QStringLiteral("@d6");
    const QString second = chosen[0].name;
    const QString first = chosen[1].name;
    r = cli({QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--fields"),
             second + QLatin1Char(',') + first.section(QLatin1Char(':'), 1).toLower(), QStringLiteral("--picture"),
             first + QStringLiteral("=@d6"), QStringLiteral("-")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, windowExport(schedule, chosen, false));

    // Another table.
    r = cli({QStringLiteral("--table"), QStringLiteral("contacts"), QStringLiteral("-")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, windowExport(ContactExchange(), ContactExchange().exportFields, false));
    EXPECT_TRUE(r.out.contains("Nakamura"));
}

TEST_F(CliCsv, BadChoicesAreRefusedClearlyAndNothingIsWritten) {
    fill();
    const QString file = dir.file(QStringLiteral("never.csv"));
    struct Case {
        QStringList args;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {{QStringLiteral("--table"), QStringLiteral("tasks"), file}, 2, "schedule, contacts or todo"},
        {{file}, 2, "needs --table"},
        {{QStringLiteral("--table"), QStringLiteral("todo"), QStringLiteral("--fields"), QStringLiteral("Nope"), file},
         2, "no field \"Nope\""},
        {{QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--picture"),
          QStringLiteral("Description=s40"), file},
         2, "must begin with \"@\""},
        {{QStringLiteral("--table"), QStringLiteral("schedule"), QStringLiteral("--fields"),
          QStringLiteral("Description"), QStringLiteral("--picture"), QStringLiteral("Command=@s20"), file},
         2, "not among the fields"},
        {{QStringLiteral("--table"), QStringLiteral("schedule")}, 2, "needs one FILE"},
        {{QStringLiteral("--table"), QStringLiteral("schedule"), dir.path()}, 1, "Cannot CREATE"},
        {{QStringLiteral("--table"), QStringLiteral("schedule"), data() + QStringLiteral("/KR97.TPS")}, 1,
         "data file of the program"},
    };
    for (const Case& c : cases) {
        const Run r = cli(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(QFile::exists(file));
    }
}

} // namespace
} // namespace kr::test
