// kelvray-cli add against real data files: killed in the middle, and four at once on a folder
// that has no data file yet.

#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
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

} // namespace
} // namespace kr::test
