// kelvray-cli against real data files: an add killed in the middle, four at once on a folder
// that has no data file yet, and a data file that can only be read.

#include "store/Cipher.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/sqlite/DataFile.h"
#include "store/sqlite/Sqlite.h"
#include "support/ReadOnlyView.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace kr::test {
namespace {

class CliStore : public ::testing::Test {
protected:
    struct Run {
        int code = -1;
        QString out;
        QString err;
    };
    // kelvray-cli with its arguments, through `view` when there is one.
    Run cli(const QStringList& arguments, const ReadOnlyView* view = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.file(QStringLiteral("data")));
        p.setProcessEnvironment(env);
        const QString program = QStringLiteral(KELVRAY_CLI);
        if (view != nullptr)
            p.start(view->program(program), view->arguments(program, arguments));
        else
            p.start(program, arguments);
        EXPECT_TRUE(p.waitForFinished(30000));
        return Run{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                   QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

    std::unique_ptr<QProcess> startAdd(const QString& dataDir, const QString& description) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.file(QStringLiteral("data")));
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(KELVRAY_CLI), {QStringLiteral("add"), QStringLiteral("--data-dir"), dataDir,
                                               QStringLiteral("--description"), description});
        p->waitForStarted();
        return p;
    }

    std::vector<Schedule> tasks(const QString& dataDir) {
        ScriptedDialogs dialogs;
        ThrowingProgramEnd end;
        Store store(dataDir, dialogs, end);
        store.declareLayouts();
        Table<Schedule> table(store);
        std::vector<Schedule> all;
        Schedule t;
        table.set(Schedule::KEYID);
        while (table.next(t) == Err::None)
            all.push_back(t);
        EXPECT_TRUE(dialogs.shown.empty());
        return all;
    }

    TempDir home;
};

TEST_F(CliStore, AnAddKilledAtAnyMomentLeavesAWholeTaskOrNone) {
    const QString data = home.file(QStringLiteral("kill"));
    QElapsedTimer timer;
    timer.start();
    auto first = startAdd(data, QStringLiteral("first"));
    ASSERT_TRUE(first->waitForFinished(20000));
    ASSERT_EQ(first->exitCode(), 0);
    const qint64 span = std::max<qint64>(20, timer.elapsed());

    int finished = 0;
    QRandomGenerator rng(15);
    for (int i = 0; i < 60; ++i) {
        auto p = startAdd(data, QStringLiteral("task %1").arg(i));
        QThread::usleep(static_cast<unsigned long>(rng.bounded(static_cast<int>(span * 1000))));
        p->kill();
        p->waitForFinished(10000);
        if (p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0)
            ++finished;
    }
    const std::vector<Schedule> stored = tasks(data);
    ASSERT_GE(stored.size(), static_cast<std::size_t>(1 + finished));
    for (const Schedule& t : stored) {
        // The stamps are written with the number: no task without them.
        EXPECT_NE(t.lastChangeDate, 0) << "task " << t.id << " " << t.description.toStdString();
        EXPECT_EQ(t.originalId, t.id);
    }
}

TEST_F(CliStore, FourStationsMakingTheDataFileAtOnceAllSucceed) {
    for (int round = 0; round < 8; ++round) {
        const QString data = home.file(QStringLiteral("round%1").arg(round));
        std::vector<std::unique_ptr<QProcess>> adds;
        for (int i = 0; i < 4; ++i)
            adds.push_back(startAdd(data, QStringLiteral("station %1").arg(i)));
        std::set<QString> numbers;
        for (auto& p : adds) {
            ASSERT_TRUE(p->waitForFinished(30000));
            EXPECT_EQ(p->exitCode(), 0)
                << "round " << round << ": " << p->readAllStandardError().toStdString();
            numbers.insert(QString::fromUtf8(p->readAllStandardOutput()).trimmed());
        }
        EXPECT_EQ(numbers, (std::set<QString>{"1", "2", "3", "4"})) << "round " << round;
        EXPECT_EQ(tasks(data).size(), 4u);
    }
}

TEST_F(CliStore, AFileThatCanOnlyBeReadIsReadAndItsWritesFailAsWrites) {
    const QString data = home.file(QStringLiteral("readonly"));
    const QString dir = QStringLiteral("--data-dir");
    ASSERT_EQ(cli({"add", dir, data, "--description", "Weekly", "--type", "Custom", "--every", "7", "--unit",
                   "day(s)", "--date", "2027-01-04", "--time", "09:00"})
                  .code,
              0);
    // A file of an older installation, without the holiday table.
    {
        sql::SqliteConnection c;
        ASSERT_EQ(c.open(data + QLatin1Char('/') + kDataFileName, false, OwnerRawKey()), 0);
        ASSERT_EQ(c.execCode(QStringLiteral("DROP TABLE Hol; DELETE FROM _layout WHERE name='hol'")), 0)
            << c.errorMessage().toStdString();
    }
    QFile file(data + QLatin1Char('/') + kDataFileName);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    {
        const ReadOnlyView view(data);
        if (!view.why().isEmpty())
            GTEST_SKIP() << view.why().toStdString();
        // The dates come from the file as it is, without a word about making anything.
        const Run next =
            cli({"next", "--task", "1", dir, data, "--after", "2027-01-01", "--count", "2"}, &view);
        EXPECT_EQ(next.code, 0) << next.err.toStdString();
        EXPECT_EQ(next.out, QStringLiteral("2027-01-04 09:00:00\n2027-01-11 09:00:00\n"));
        EXPECT_EQ(next.err, QString());
        EXPECT_EQ(cli({"list", dir, data}, &view).code, 0);

        // A change is a write, and fails as one, with the storage layer's own words.
        for (const char* verb : {"disable", "delete"}) {
            const Run change = cli({verb, dir, data, "1"}, &view);
            EXPECT_NE(change.code, 0) << verb;
            EXPECT_TRUE(change.err.contains(QStringLiteral("readonly database"))) << change.err.toStdString();
            EXPECT_FALSE(change.err.contains(QStringLiteral("File Creation Error")))
                << change.err.toStdString();
            EXPECT_FALSE(change.err.contains(QStringLiteral("Press OK"))) << change.err.toStdString();
        }
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    const std::vector<Schedule> stored = tasks(data);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].disabled, 0);
}

} // namespace
} // namespace kr::test
