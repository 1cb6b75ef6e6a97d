// kelvray-cli runs, output and status on the run records of real programs.

#include "platform/Processes.h"
#include "platform/Text.h"
#include "scheduler/Monitor.h"
#include "scheduler/Occurrence.h"
#include "scheduler/RunRecorder.h"
#include "store/Numbering.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/RecordingSound.h"
#include "support/ScriptedDialogs.h"
#include "support/RunsWorld.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class CliRuns : public ::testing::Test, protected RunsWorld {
protected:
    struct Result {
        int code = -1;
        QByteArray out;
        QString err;
    };
    CliRuns()
        : RunsWorld(QStringLiteral("here")) {}

    Result cli(QStringList arguments) {
        arguments << QStringLiteral("--data-dir") << dir.path();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.file(QStringLiteral("data")));
        env.remove(QStringLiteral("KELVRAY_DATABASE"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KELVRAY_CLI), arguments);
        EXPECT_TRUE(p.waitForFinished(30000));
        return Result{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                      QString::fromUtf8(p.readAllStandardError())};
    }
    QJsonArray json(const QStringList& arguments) {
        const Result r = cli(arguments + QStringList{QStringLiteral("--json")});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out).array();
    }
    qint32 addTask(const QString& description, const QString& command, Time at) {
        Schedule t;
        t.taskType = QStringLiteral("Run Program");
        t.description = description;
        t.scheduleType = kDayOfWeek;
        t.sunday = t.monday = t.tuesday = t.wednesday = t.thursday = t.friday = t.saturday = 1;
        t.date = clock.today();
        t.time = at;
        t.command = command;
        EXPECT_TRUE(ReserveRecordNumber(*tasks, t));
        return t.id;
    }
    bool settled() {
        std::vector<Runs> all;
        ReadRuns(*store, {}, all);
        return std::none_of(all.begin(), all.end(),
                            [](const Runs& r) { return Clip(r.result) == run::kRunning; });
    }

    TempDir home; // the settings and data of the tool itself
};

TEST_F(CliRuns, ATaskThatExitsThreeIsListedAsFailedWithItsOutputAndItsStatus) {
    const QString fails = program(QStringLiteral("fails"), "echo 'no space left'\nexit 3\n");
    const qint32 bad = addTask(QStringLiteral("Backup"), fails, TimeFromHms(2, 0, 0));
    const qint32 good = addTask(QStringLiteral("Tidy"), QStringLiteral("true"), TimeFromHms(2, 30, 0));
    const qint32 slow =
        addTask(QStringLiteral("Long one"), QStringLiteral("sleep 60"), TimeFromHms(2, 45, 0));
    // Not due yet: in status with no last run.
    const qint32 later = addTask(QStringLiteral("Later"), QStringLiteral("true"), TimeFromHms(23, 0, 0));
    for (int i = 0; i < 3; ++i)
        monitor->scanDueTask();
    ASSERT_TRUE(TurnLoopUntil([&] {
        std::vector<Runs> all;
        ReadRuns(*store, {}, all);
        return all.size() == 3 && std::count_if(all.begin(), all.end(), [](const Runs& r) {
                                      return Clip(r.result) == run::kEnded;
                                  }) == 2;
    }));

    // While the slow one runs.
    const QJsonArray failed = json({QStringLiteral("runs"), QStringLiteral("--failed")});
    ASSERT_EQ(failed.size(), 1);
    const QJsonObject f = failed[0].toObject();
    EXPECT_EQ(f[QStringLiteral("task")].toInt(), bad);
    EXPECT_EQ(f[QStringLiteral("exitStatus")].toInt(), 3);
    EXPECT_EQ(f[QStringLiteral("result")].toString(), QStringLiteral("Exit status 3"));
    EXPECT_EQ(f[QStringLiteral("description")].toString(), QStringLiteral("Backup"));
    EXPECT_EQ(f[QStringLiteral("due")].toString(), QStringLiteral("2026-12-09T02:00:00"));
    EXPECT_TRUE(f[QStringLiteral("failed")].toBool());
    EXPECT_TRUE(f[QStringLiteral("output")].toBool());

    const Result out = cli({QStringLiteral("output"), QString::number(f[QStringLiteral("run")].toInt())});
    EXPECT_EQ(out.code, 0) << out.err.toStdString();
    EXPECT_EQ(out.out, QByteArray("no space left\n"));

    const QJsonArray all = json({QStringLiteral("runs")});
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[0].toObject()[QStringLiteral("task")].toInt(), slow);
    EXPECT_EQ(all[0].toObject()[QStringLiteral("result")].toString(), QStringLiteral("Running"));
    EXPECT_TRUE(all[0].toObject()[QStringLiteral("durationMs")].isNull());
    EXPECT_EQ(all[2].toObject()[QStringLiteral("task")].toInt(), bad);

    const Result lines = cli({QStringLiteral("runs"), QStringLiteral("--task"), QString::number(good)});
    EXPECT_EQ(lines.code, 0);
    const QStringList fields = QString::fromUtf8(lines.out).trimmed().split(QLatin1Char('\t'));
    ASSERT_EQ(fields.size(), 8) << lines.out.toStdString();
    EXPECT_EQ(fields[1], QString::number(good));
    EXPECT_EQ(fields[2], QStringLiteral("2026-12-09 02:30:00"));
    EXPECT_EQ(fields[5], QStringLiteral("Succeeded"));
    EXPECT_EQ(fields[6], QStringLiteral("here"));
    // A silent run prints nothing.
    const Result silent = cli({QStringLiteral("output"), fields[0]});
    EXPECT_EQ(silent.code, 0);
    EXPECT_TRUE(silent.out.isEmpty());

    const QJsonArray status = json({QStringLiteral("status")});
    ASSERT_EQ(status.size(), 4);
    // In due order: the three advanced to tomorrow come after the one still due today.
    EXPECT_EQ(status[0].toObject()[QStringLiteral("task")].toInt(), later);
    EXPECT_TRUE(status[0].toObject()[QStringLiteral("lastRun")].isNull());
    EXPECT_EQ(status[1].toObject()[QStringLiteral("task")].toInt(), bad);
    EXPECT_EQ(status[1].toObject()[QStringLiteral("result")].toString(), QStringLiteral("Exit status 3"));
    EXPECT_TRUE(status[1].toObject()[QStringLiteral("failed")].toBool());
    EXPECT_EQ(status[1].toObject()[QStringLiteral("next")].toString(), QStringLiteral("2026-12-10T02:00:00"));
    EXPECT_EQ(status[3].toObject()[QStringLiteral("result")].toString(), QStringLiteral("Running"));

    // Killed: the signal, and among the failed now.
    std::vector<Runs> records;
    ReadRuns(*store, {}, records);
    ASSERT_EQ(::kill(records[0].pid, SIGKILL), 0);
    ASSERT_TRUE(TurnLoopUntil([&] { return settled(); }));
    const QJsonArray now = json({QStringLiteral("runs"), QStringLiteral("--failed")});
    ASSERT_EQ(now.size(), 2);
    EXPECT_EQ(now[0].toObject()[QStringLiteral("signal")].toInt(), SIGKILL);
    const Result text = cli({QStringLiteral("status")});
    EXPECT_TRUE(QString::fromUtf8(text.out).contains(QStringLiteral("\tSignal 9\tLong one\n")))
        << text.out.toStdString();
}

TEST_F(CliRuns, BadArgumentsAndMissingRunsAreRefused) {
    EXPECT_EQ(cli({QStringLiteral("runs"), QStringLiteral("--limit"), QStringLiteral("0")}).code, 2);
    EXPECT_EQ(cli({QStringLiteral("runs"), QStringLiteral("--since"), QStringLiteral("yesterday")}).code, 2);
    EXPECT_EQ(cli({QStringLiteral("output")}).code, 2);
    addTask(QStringLiteral("Any"), QStringLiteral("true"), TimeFromHms(23, 0, 0));
    const Result none = cli({QStringLiteral("output"), QStringLiteral("7")});
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(none.err.contains(QStringLiteral("There is no run 7."))) << none.err.toStdString();
    EXPECT_EQ(cli({QStringLiteral("runs")}).out, QByteArray());
}

} // namespace
} // namespace kr::test
