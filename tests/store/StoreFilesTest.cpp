// The data file as a file: who may read it, how it comes into being, how long an operation
// waits for another station, how it is read in batches and how a write by another station
// shows.

#include "Peer.h"
#include "StoreFixture.h"
#include "platform/IniFile.h"
#include "platform/PrivateFiles.h"
#include "store/EventLog.h"
#include "store/Settings.h"
#include "store/Transaction.h"
#include "support/FakeClock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <sys/stat.h>

namespace kr::test {
namespace {

unsigned Mode(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0xffff;
    return st.st_mode & 0777;
}

// Files made under the usual umask would be readable by everyone.
class UsualUmask {
public:
    UsualUmask()
        : old_(::umask(022)) {}
    ~UsualUmask() { ::umask(old_); }

private:
    mode_t old_;
};

using StoreFiles = StoreFixture;

TEST_F(StoreFiles, EveryFileTheProgramMakesIsPrivate) {
    UsualUmask umask;
    const QString data = dir.file(QStringLiteral("data/inner"));
    ASSERT_TRUE(MakePrivateDir(data));
    EXPECT_EQ(Mode(data), 0700u);
    EXPECT_EQ(Mode(dir.file(QStringLiteral("data"))), 0700u);

    {
        Table<Schedule> s(*store);
        Schedule t = Task(1);
        ASSERT_EQ(s.add(t), Err::None);
        Table<Tag> tags(*store);
    }
    EXPECT_EQ(Mode(dataFile()), 0600u);
    EXPECT_EQ(Mode(dir.file(kTagFileName)), 0600u);
    // Only the data files are left: nothing half made beside them.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).join(QLatin1Char(' ')).toStdString();

    IniFile ini(dir.file(QStringLiteral("config/kelvray/KR98.INI")));
    ASSERT_TRUE(ini.write(QStringLiteral("Settings"), QStringLiteral("Debug"), QStringLiteral("0")));
    EXPECT_EQ(Mode(ini.path()), 0600u);
    EXPECT_EQ(Mode(dir.file(QStringLiteral("config/kelvray"))), 0700u);
    ASSERT_TRUE(ini.write(QStringLiteral("Settings"), QStringLiteral("Debug"), QStringLiteral("1")));
    EXPECT_EQ(Mode(ini.path()), 0600u);

    Settings settings;
    settings.logEvents = true;
    FakeClock clock;
    EventLog log(dir.file(QStringLiteral("KR98Evnt.LOG")), settings, clock);
    log.log(QStringLiteral("Run Program"), QStringLiteral("/usr/bin/secret --password x"));
    EXPECT_EQ(Mode(dir.file(QStringLiteral("KR98Evnt.LOG"))), 0600u);
}

TEST_F(StoreFiles, FilesLeftReadableFromBeforeAreTightenedWhenOpened) {
    { Table<Schedule> s(*store); }
    resetStore();
    const QString folder = dir.file(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dataFile()).constData(), 0644), 0);
    const QString ini = dir.file(QStringLiteral("POSITION.INI"));
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[BrowseSchedule]\nXPos=10\n");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), 0664), 0);

    Table<Schedule> s(*store);
    EXPECT_EQ(Mode(dataFile()), 0600u);
    EXPECT_EQ(IniFile(ini).read(QStringLiteral("BrowseSchedule"), QStringLiteral("XPos"), {}),
              QStringLiteral("10"));
    EXPECT_EQ(Mode(ini), 0600u);
    ASSERT_TRUE(MakePrivateDir(folder));
    EXPECT_EQ(Mode(folder), 0700u);
}

TEST_F(StoreFiles, ABatchReadGivesTheKeyOrderAndHoldsNoLockBetweenBatches) {
    Table<Schedule> s(*store);
    {
        Transaction tx;
        ASSERT_EQ(tx.begin({&s}), Err::None);
        for (qint32 id = 1; id <= 1000; ++id) {
            Schedule t = Task(id, {}, 80000 + (id * 37) % 101, 1 + (id * 7919) % 8640000);
            ASSERT_EQ(s.add(t), Err::None);
        }
        ASSERT_EQ(tx.commit(), Err::None);
    }
    std::vector<qint32> oneByOne;
    Schedule t;
    s.set(Schedule::KEYDATE);
    while (s.next(t) == Err::None)
        oneByOne.push_back(t.id);
    ASSERT_EQ(oneByOne.size(), 1000u);

    Peer peer(dir.path());
    std::vector<qint32> batched;
    std::vector<Schedule> batch;
    s.set(Schedule::KEYDATE);
    int batches = 0;
    Err e = Err::None;
    while ((e = s.nextBatch(batch, 97)) == Err::None) {
        ASSERT_LE(batch.size(), 97u);
        for (const Schedule& r : batch)
            batched.push_back(r.id);
        // Between two batches another station takes the file for itself at once.
        if (++batches == 3) {
            EXPECT_EQ(peer.ask(QStringLiteral("exclusive")), QStringLiteral("0"));
            EXPECT_EQ(peer.ask(QStringLiteral("unlock")), QStringLiteral("0"));
        }
    }
    EXPECT_EQ(e, Err::NoMoreRecords);
    EXPECT_TRUE(batch.empty());
    EXPECT_EQ(batched, oneByOne);
    EXPECT_EQ(batches, 11);

    // From a value on, and after a record read one at a time.
    Schedule from;
    from.date = 80050;
    s.set(Schedule::KEYDATE, from);
    ASSERT_EQ(s.nextBatch(batch, 5), Err::None);
    ASSERT_EQ(batch.size(), 5u);
    EXPECT_GE(batch.front().date, 80050);
    s.set(Schedule::KEYDATE);
    ASSERT_EQ(s.next(t), Err::None);
    ASSERT_EQ(s.nextBatch(batch, 2), Err::None);
    EXPECT_EQ(batch[0].id, oneByOne[1]);
    EXPECT_EQ(batch[1].id, oneByOne[2]);
    ASSERT_EQ(s.next(t), Err::None);
    EXPECT_EQ(t.id, oneByOne[3]);
    // A batch record is loaded like any other: it can be written back.
    batch[0].description = QStringLiteral("changed");
    EXPECT_EQ(s.put(batch[0]), Err::None);
}

TEST_F(StoreFiles, ABatchOfAFewFieldsReadsThoseAndTheKeysInTheSameOrder) {
    Table<Schedule> s(*store);
    {
        Transaction tx;
        ASSERT_EQ(tx.begin({&s}), Err::None);
        for (qint32 id = 1; id <= 300; ++id) {
            Schedule t = Task(id, QStringLiteral("Task %1").arg(id), 80000 + (id * 37) % 11, 1 + (id * 7919) % 8640000);
            t.message = QStringLiteral("long message %1").arg(id);
            t.category = id % 2 == 0 ? QStringLiteral("Even") : QStringLiteral("Odd");
            ASSERT_EQ(s.add(t), Err::None);
        }
        ASSERT_EQ(tx.commit(), Err::None);
    }
    std::vector<Schedule> all;
    std::vector<Schedule> batch;
    s.set(Schedule::KEYDATE);
    while (s.nextBatch(batch, 1000) == Err::None)
        all.insert(all.end(), batch.begin(), batch.end());
    ASSERT_EQ(all.size(), 300u);

    // The description only, in batches of 7: the key's date and time come with it.
    std::vector<Schedule> few;
    s.set(Schedule::KEYDATE);
    Err e = Err::None;
    while ((e = s.nextBatch(batch, 7, {Schedule::DESCRIPTION})) == Err::None)
        few.insert(few.end(), batch.begin(), batch.end());
    EXPECT_EQ(e, Err::NoMoreRecords);
    ASSERT_EQ(few.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(few[i].meta.rowid, all[i].meta.rowid);
        EXPECT_EQ(few[i].description, all[i].description);
        EXPECT_EQ(few[i].date, all[i].date);
        EXPECT_EQ(few[i].time, all[i].time);
        EXPECT_TRUE(few[i].message.isEmpty());
        EXPECT_EQ(few[i].id, 0);
    }
    // From a value on, on a key of texts without regard to case: the same records as a full read.
    Schedule from;
    from.category = QStringLiteral("odd");
    std::vector<qint32> full;
    s.set(Schedule::KEYCATEGORY, from);
    ASSERT_EQ(s.nextBatch(batch, 500), Err::None);
    for (const Schedule& r : batch)
        full.push_back(r.id);
    std::vector<qint32> partial;
    s.set(Schedule::KEYCATEGORY, from);
    while (s.nextBatch(batch, 9, {Schedule::ID}) == Err::None)
        for (const Schedule& r : batch)
            partial.push_back(r.id);
    EXPECT_EQ(partial, full);
    EXPECT_EQ(partial.size(), 150u);
}

TEST_F(StoreFiles, AWriteByAnotherStationIsSeenOnceAndOurOwnIsNot) {
    Table<Schedule> s(*store);
    EXPECT_FALSE(store->changedByOthers()); // takes note
    Schedule t = Task(1);
    ASSERT_EQ(s.add(t), Err::None);
    EXPECT_FALSE(store->changedByOthers());

    Peer peer(dir.path());
    EXPECT_EQ(peer.ask(QStringLiteral("add 2 other")), QStringLiteral("0"));
    EXPECT_TRUE(store->changedByOthers());
    EXPECT_FALSE(store->changedByOthers());

    // While the other station holds the file, the question does not wait.
    peer.send(QStringLiteral("hold 1500"));
    EXPECT_EQ(peer.line(), QStringLiteral("0"));
    QElapsedTimer timer;
    timer.start();
    store->changedByOthers();
    EXPECT_LT(timer.elapsed(), 200);
    EXPECT_EQ(peer.line(), QStringLiteral("0 released"));
}

TEST_F(StoreFiles, NoOperationWaitsLongerThanTwoSecondsForAnotherStation) {
    Table<Schedule> s(*store);
    Schedule t = Task(1);
    ASSERT_EQ(s.add(t), Err::None);
    Peer peer(dir.path());
    EXPECT_EQ(peer.ask(QStringLiteral("count")), QStringLiteral("0 1"));
    peer.send(QStringLiteral("hold 8000"));
    EXPECT_EQ(peer.line(), QStringLiteral("0"));

    auto timed = [](auto&& call) {
        QElapsedTimer timer;
        timer.start();
        const Err e = call();
        return std::make_pair(e, timer.elapsed());
    };
    Schedule u = Task(2);
    const auto [added, addMs] = timed([&] { return s.add(u); });
    EXPECT_EQ(added, Err::IsLocked);
    EXPECT_GE(addMs, 1500);
    EXPECT_LE(addMs, 2500);
    Schedule r;
    s.set(Schedule::KEYID);
    const auto [read, readMs] = timed([&] { return s.next(r); });
    EXPECT_EQ(read, Err::IsLocked) << readMs << " ms after an add of " << addMs << " ms";
    EXPECT_LE(readMs, 2500);
    Transaction tx;
    const auto [framed, frameMs] = timed([&] { return tx.begin({&s}); });
    EXPECT_EQ(framed, Err::IsLocked);
    EXPECT_LE(frameMs, 2500);
    EXPECT_EQ(peer.line(10000), QStringLiteral("0 released"));
    EXPECT_EQ(s.add(u), Err::None);
}

} // namespace
} // namespace kr::test
