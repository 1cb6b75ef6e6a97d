// Writes to a file, seen through the kernel on a local file system and not at all on a
// network one (where the caller keeps looking itself).

#include "platform/FileChanges.h"
#include "support/EventLoop.h"
#include "support/TempDir.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

void Append(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(bytes);
}

// Turns the loop a while and says how many changes were told meanwhile.
int ChangesWithin(int& counter, int ms) {
    const int before = counter;
    TurnLoopUntil([] { return false; }, ms);
    return counter - before;
}

TEST(FileChangesTest, WritesToTheFileAndItsJournalByAnyProcessAreTold) {
    EnsureCoreApplication();
    TempDir dir;
    const QString data = dir.file(QStringLiteral("KR98.TPS"));
    Append(data, "first");
    FileChanges changes(data, {QStringLiteral("-journal")});
    ASSERT_EQ(changes.kind(), FileSystemKind::Local);
    ASSERT_TRUE(changes.watching());
    int told = 0;
    QObject::connect(&changes, &FileChanges::changed, [&] { ++told; });

    // Another file in the folder (the event log) is none of its business.
    Append(dir.file(QStringLiteral("KR98Evnt.LOG")), "Started\n");
    Append(dir.file(QStringLiteral("KR98.TPS-shm")), "x");
    EXPECT_EQ(ChangesWithin(told, 150), 0);

    // Another process writes the file.
    ASSERT_EQ(QProcess::execute(QStringLiteral("/bin/sh"),
                                {QStringLiteral("-c"), QStringLiteral("printf more >> \"$0\""), data}),
              0);
    EXPECT_TRUE(TurnLoopUntil([&] { return told > 0; }, 3000));

    // A journal made and removed beside it, as a writer's transaction does.
    ChangesWithin(told, 50);
    const int before = told;
    Append(data + QStringLiteral("-journal"), "journal");
    ASSERT_TRUE(QFile::remove(data + QStringLiteral("-journal")));
    EXPECT_TRUE(TurnLoopUntil([&] { return told > before; }, 3000));
    // Many events waiting at once are told together, not one by one.
    EXPECT_LE(told - before, 2);
}

TEST(FileChangesTest, OnANetworkFileSystemNothingIsWatched) {
    EnsureCoreApplication();
    TempDir dir;
    const QString data = dir.file(QStringLiteral("KR98.TPS"));
    Append(data, "first");
    QString askedAbout;
    FileChanges changes(data, {QStringLiteral("-journal")}, [&](const QString& folder) {
        askedAbout = folder;
        return FileSystemKind::Network;
    });
    EXPECT_EQ(askedAbout, dir.path());
    EXPECT_EQ(changes.kind(), FileSystemKind::Network);
    EXPECT_FALSE(changes.watching());
    int told = 0;
    QObject::connect(&changes, &FileChanges::changed, [&] { ++told; });
    Append(data, "more");
    EXPECT_EQ(ChangesWithin(told, 150), 0);
}

TEST(FileChangesTest, TheKindOfFileSystem) {
    TempDir dir;
    EXPECT_EQ(FileSystemKindOf(dir.path()), FileSystemKind::Local);
    EXPECT_EQ(FileSystemKindOf(QStringLiteral("/proc")), FileSystemKind::Local);
    // What cannot be examined is treated the careful way.
    EXPECT_EQ(FileSystemKindOf(dir.file(QStringLiteral("no/such/folder"))), FileSystemKind::Network);
}

} // namespace
} // namespace kr::test
