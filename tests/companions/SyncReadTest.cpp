// kelvray-syncread, run as the receive runs it: on a synchronization file sent by this program
// it writes every record to its pipe; on a file of another making it refuses, or dies where
// the storage library does, and in no case writes the file or leaves a core behind.

#include "../exchange/CraftedFiles.h"
#include "../exchange/ExchangeFixture.h"
#include "exchange/Sync.h"
#include "exchange/SyncStream.h"

#include <QProcess>

#include <sys/stat.h>

namespace kr::test {
namespace {

struct ReaderRun {
    QProcess::ExitStatus status = QProcess::NormalExit;
    int code = -1;
    QByteArray out;
    QString err;
};

ReaderRun Read(const QStringList& args, const QString& folder) {
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(QStringLiteral(KELVRAY_SYNCREAD), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return ReaderRun{p.exitStatus(), p.exitCode(), p.readAllStandardOutput(),
                     QString::fromUtf8(p.readAllStandardError())};
}

class SyncReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            Table<Schedule> tasks(*station.store);
            Table<Scripting> items(*station.store);
            Table<Todo> todos(*station.store);
            for (qint32 id = 1; id <= 4; ++id) {
                Schedule t;
                t.id = id;
                t.description = QStringLiteral("Task %1").arg(id);
                ASSERT_EQ(tasks.add(t), Err::None);
                Scripting s;
                s.id = id;
                s.sequence = 1;
                ASSERT_EQ(items.add(s), Err::None);
            }
            Todo d;
            d.todo = QStringLiteral("entry");
            d.priority = 5;
            ASSERT_EQ(todos.add(d), Err::None);
        }
        NoProgress none;
        ASSERT_TRUE(SyncSend(*station.store, none, file()));
    }
    QString file() const { return station.file(QStringLiteral("sent.syn")); }
    QString Crafted(const QString& name, const QString& sql) {
        const QString path = station.file(name);
        EXPECT_TRUE(QFile::copy(file(), path));
        EXPECT_EQ(ExecOnFile(path, sql), QString());
        return path;
    }

    Station station;
};

TEST_F(SyncReadTest, ASentFileComesWholeThroughThePipeAndStaysAsItWas) {
    const QByteArray before = FileBytes(file());
    const ReaderRun run = Read({file()}, station.dir.path());
    ASSERT_EQ(run.status, QProcess::NormalExit);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    syncstream::Reader reader;
    reader.feed(run.out.constData(), run.out.size());
    syncstream::RawRecord r;
    std::vector<char> tags;
    syncstream::Reader::Result result;
    while ((result = reader.next(r)) == syncstream::Reader::Result::Record)
        tags.push_back(r.tag);
    EXPECT_EQ(result, syncstream::Reader::Result::End);
    EXPECT_EQ(tags, (std::vector<char>{'T', 'T', 'T', 'T', 'I', 'I', 'I', 'I', 'D'}));
    EXPECT_EQ(FileBytes(file()), before);
}

TEST_F(SyncReadTest, CraftedFilesAreRefusedOrKillTheReaderAlone) {
    const QString crash =
        Crafted(QStringLiteral("create-as.syn"),
                QStringLiteral("PRAGMA writable_schema=ON; INSERT INTO sqlite_master VALUES("
                               "'table','x','x',0,'CREATE TABLE x AS SELECT 1');"));
    const QByteArray crashBytes = FileBytes(crash);
    const ReaderRun died = Read({crash}, station.dir.path());
    // The storage library crashes on it: in this process, which is why it is one of its own.
    EXPECT_TRUE(died.status == QProcess::CrashExit || died.code != 0);
    EXPECT_TRUE(died.out.size() < 8) << died.out.size();
    EXPECT_EQ(FileBytes(crash), crashBytes);
    EXPECT_TRUE(QDir(station.dir.path()).entryList({QStringLiteral("core*")}, QDir::Files).isEmpty());

    const std::vector<std::tuple<QString, QString, QString>> refused{
        {QStringLiteral("stat1.syn"), QStringLiteral("ANALYZE;"),
         QStringLiteral("the catalogue holds table sqlite_stat1")},
        {QStringLiteral("trigger.syn"),
         QStringLiteral("CREATE TRIGGER t AFTER INSERT ON todo BEGIN SELECT 1; END;"),
         QStringLiteral("the catalogue holds trigger t")},
        {QStringLiteral("layout.syn"), QStringLiteral("UPDATE _layout SET version=9 WHERE name='todo';"),
         QStringLiteral("its layouts are not those of this version")},
        {QStringLiteral("damaged.syn"),
         QStringLiteral("PRAGMA writable_schema=ON; UPDATE sqlite_master SET rootpage=2 "
                        "WHERE name='todo__KEYTODO';"),
         QStringLiteral("the integrity check failed")},
    };
    for (const auto& [name, sql, why] : refused) {
        const QString path = Crafted(name, sql);
        const QByteArray before = FileBytes(path);
        const ReaderRun run = Read({path}, station.dir.path());
        EXPECT_EQ(run.status, QProcess::NormalExit) << name.toStdString();
        EXPECT_EQ(run.code, 2) << name.toStdString();
        EXPECT_TRUE(run.err.contains(why)) << name.toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << name.toStdString();
        EXPECT_EQ(FileBytes(path), before) << name.toStdString();
    }
}

TEST_F(SyncReadTest, WhatIsNoPlainFileIsRefusedAtOnce) {
    const QString pipe = station.file(QStringLiteral("pipe.syn"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& what : {pipe, station.dir.path(), station.file(QStringLiteral("none.syn"))}) {
        const ReaderRun run = Read({what}, station.dir.path());
        EXPECT_EQ(run.code, 2) << what.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("not a synchronization file"))) << run.err.toStdString();
    }
    EXPECT_EQ(Read({}, station.dir.path()).code, 64);
}

} // namespace
} // namespace kr::test
