#include "script/FileActions.h"
#include "platform/DateTime.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class FileActionsTest : public ::testing::Test {
protected:
    qint32 run(const QString& operation, const QString& first, const QString& second = {}) {
        return RunFileAction(operation, first, second, values, nullptr);
    }
    QString path(const QString& name) const { return dir.file(name); }
    void write(const QString& name, const QByteArray& data) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QByteArray read(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void touch(const QString& name, const QDateTime& when) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    }
    QString value(const char* name) const { return values.getValue(QString::fromLatin1(name)); }

    TempDir dir;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(10, 0, 0)};
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
};

TEST_F(FileActionsTest, CopyIntoFoldersAndOntoFiles) {
    write(QStringLiteral("Report.txt"), "first");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Out")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("v1.2")));

    // A target without a dot is a folder; the letter case of both names is kept.
    EXPECT_EQ(run(QStringLiteral("Copy"), path(QStringLiteral("Report.txt")), path(QStringLiteral("Out"))),
              1);
    EXPECT_EQ(read(QStringLiteral("Out/Report.txt")), "first");
    EXPECT_EQ(value("FileCopy"), QStringLiteral("1"));
    EXPECT_EQ(value("Errorcode"), QStringLiteral("0"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("OUT/REPORT.TXT"))));

    // Written with backslashes and a trailing separator, with trailing blanks.
    write(QStringLiteral("Report.txt"), "second");
    QString backslashed = path(QStringLiteral("Out")) + QStringLiteral("\\   ");
    EXPECT_EQ(
        run(QStringLiteral("Copy"), path(QStringLiteral("Report.txt")) + QStringLiteral("  "), backslashed),
        1);
    EXPECT_EQ(read(QStringLiteral("Out/Report.txt")), "second"); // overwritten

    // A target with a dot is a file name, even when a folder of that name exists.
    EXPECT_EQ(run(QStringLiteral("Copy"), path(QStringLiteral("Report.txt")), path(QStringLiteral("v1.2"))),
              0);
    EXPECT_EQ(value("FileCopy"), QStringLiteral("0"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("v1.2/Report.txt"))));
    EXPECT_EQ(
        run(QStringLiteral("Copy"), path(QStringLiteral("Report.txt")), path(QStringLiteral("Copy.bak"))), 1);
    EXPECT_EQ(read(QStringLiteral("Copy.bak")), "second");

    // Nothing to copy, or nowhere to: 0, and nothing left behind.
    EXPECT_EQ(run(QStringLiteral("Copy"), path(QStringLiteral("Missing.txt")), path(QStringLiteral("Out"))),
              0);
    EXPECT_EQ(run(QStringLiteral("Copy"), QStringLiteral("   "), path(QStringLiteral("Out"))), 0);
    EXPECT_EQ(run(QStringLiteral("Copy"), path(QStringLiteral("Report.txt")), QString()), 0);
    EXPECT_EQ(
        run(QStringLiteral("Copy"), path(QStringLiteral("Report.txt")), path(QStringLiteral("Report.txt"))),
        0);
    EXPECT_EQ(read(QStringLiteral("Report.txt")), "second");
    EXPECT_EQ(QDir(path(QStringLiteral("Out"))).entryList(QDir::Files),
              QStringList{QStringLiteral("Report.txt")});
}

TEST_F(FileActionsTest, MoveNeverReplacesAFile) {
    write(QStringLiteral("a.txt"), "a");
    write(QStringLiteral("b.txt"), "b");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Archive")));
    EXPECT_EQ(run(QStringLiteral("Move"), path(QStringLiteral("a.txt")), path(QStringLiteral("b.txt"))), 0);
    EXPECT_EQ(value("FileMove"), QStringLiteral("0"));
    EXPECT_EQ(read(QStringLiteral("a.txt")), "a");
    EXPECT_EQ(read(QStringLiteral("b.txt")), "b");

    EXPECT_EQ(run(QStringLiteral("Move"), path(QStringLiteral("a.txt")), path(QStringLiteral("Archive"))), 1);
    EXPECT_EQ(value("FileMove"), QStringLiteral("1"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("a.txt"))));
    EXPECT_EQ(read(QStringLiteral("Archive/a.txt")), "a");
    EXPECT_EQ(run(QStringLiteral("Move"), path(QStringLiteral("a.txt")), path(QStringLiteral("Archive"))), 0);
}

TEST_F(FileActionsTest, CopyAndMoveCrossFileSystems) {
    struct stat here {};
    struct stat shm {};
    QTemporaryDir other(QStringLiteral("/dev/shm/kelvray-test-XXXXXX"));
    if (!other.isValid() || ::stat(dir.path().toLocal8Bit().constData(), &here) != 0 ||
        ::stat(other.path().toLocal8Bit().constData(), &shm) != 0 || here.st_dev == shm.st_dev)
        GTEST_SKIP() << "no second file system at hand";
    write(QStringLiteral("data.bin"), QByteArray(100000, 'x'));
    EXPECT_EQ(run(QStringLiteral("Copy"), path(QStringLiteral("data.bin")), other.path()), 1);
    EXPECT_EQ(QFileInfo(other.filePath(QStringLiteral("data.bin"))).size(), 100000);
    EXPECT_EQ(run(QStringLiteral("Move"), path(QStringLiteral("data.bin")),
                  other.filePath(QStringLiteral("moved.bin"))),
              1);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("data.bin"))));
    EXPECT_EQ(QFileInfo(other.filePath(QStringLiteral("moved.bin"))).size(), 100000);
}

TEST_F(FileActionsTest, DeleteTakesOneFileByItsName) {
    write(QStringLiteral("one.txt"), "1");
    write(QStringLiteral("two.txt"), "2");
    EXPECT_EQ(run(QStringLiteral("Delete"), path(QStringLiteral("*.txt"))), 0);
    EXPECT_EQ(value("FileDelete"), QStringLiteral("0"));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("one.txt"))));
    EXPECT_EQ(run(QStringLiteral("Delete"), path(QStringLiteral("ONE.TXT"))), 0);
    EXPECT_EQ(run(QStringLiteral("Delete"), path(QStringLiteral("one.txt")) + QStringLiteral("   ")), 1);
    EXPECT_EQ(value("FileDelete"), QStringLiteral("1"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("one.txt"))));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("two.txt"))));
    EXPECT_EQ(run(QStringLiteral("Delete"), dir.path()), 0); // a folder is not a file
    EXPECT_TRUE(QFileInfo(dir.path()).isDir());
}

TEST_F(FileActionsTest, DirectoriesAreJudgedByWhetherTheyExistAfterwards) {
    const QString made = path(QStringLiteral("Made"));
    EXPECT_EQ(run(QStringLiteral("Make Directory"), made + QStringLiteral("  ")), 1);
    EXPECT_TRUE(QFileInfo(made).isDir());
    EXPECT_EQ(run(QStringLiteral("Make Directory"), made), 1); // already there
    EXPECT_EQ(value("DirCreate"), QStringLiteral("1"));
    EXPECT_EQ(run(QStringLiteral("Make Directory"), path(QStringLiteral("No/Such/Parent"))), 0);
    EXPECT_EQ(value("DirCreate"), QStringLiteral("0"));
    EXPECT_EQ(run(QStringLiteral("Make Directory"), QString()), 0);

    write(QStringLiteral("Made/inside.txt"), "x");
    EXPECT_EQ(run(QStringLiteral("Remove Directory"), made), 0); // not empty
    EXPECT_EQ(value("DirRemove"), QStringLiteral("0"));
    QFile::remove(path(QStringLiteral("Made/inside.txt")));
    EXPECT_EQ(run(QStringLiteral("Remove Directory"), made), 1);
    EXPECT_FALSE(QFileInfo::exists(made));
    EXPECT_EQ(run(QStringLiteral("Remove Directory"), made), 1); // gone already
    EXPECT_EQ(run(QStringLiteral("Remove Directory"), QStringLiteral("  ")), 0);
    EXPECT_EQ(value("DirRemove"), QStringLiteral("0"));
}

TEST_F(FileActionsTest, FileDateTimeAndSizeOfTheFirstMatch) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("a-folder.log"))); // folders are not listed
    write(QStringLiteral("b.log"), "12345");
    write(QStringLiteral("c.log"), "1234567890");
    write(QStringLiteral("notes.txt"), "1");
    touch(QStringLiteral("b.log"), QDateTime(QDate(2025, 3, 4), QTime(7, 8, 9)));
    touch(QStringLiteral("c.log"), QDateTime(QDate(2024, 1, 2), QTime(23, 0, 1)));

    EXPECT_EQ(run(QStringLiteral("Get File Date"), path(QStringLiteral("*.log"))), DateFromYmd(2025, 3, 4));
    EXPECT_EQ(value("FileDate"), QStringLiteral("20250304"));
    EXPECT_EQ(run(QStringLiteral("Get File Time"), path(QStringLiteral("?.log"))), TimeFromHms(7, 8, 9));
    EXPECT_EQ(value("FileTime"), QStringLiteral("070809"));
    EXPECT_EQ(run(QStringLiteral("Get File Size"), path(QStringLiteral("*.log"))), 5);
    EXPECT_EQ(value("FileSize"), QStringLiteral("5"));
    EXPECT_EQ(run(QStringLiteral("Get File Size"), path(QStringLiteral("c.log"))), 10);
    EXPECT_EQ(run(QStringLiteral("Get File Date"), path(QStringLiteral("c.log"))), DateFromYmd(2024, 1, 2));
    EXPECT_EQ(value("FileDate"), QStringLiteral("20240102"));

    // Nothing matches: day 0, no time, no size.
    EXPECT_EQ(run(QStringLiteral("Get File Date"), path(QStringLiteral("missing.txt"))), 0);
    EXPECT_EQ(value("FileDate"), QStringLiteral("18001228"));
    EXPECT_EQ(run(QStringLiteral("Get File Time"), path(QStringLiteral("*.doc"))), 0);
    EXPECT_EQ(value("FileTime"), QString());
    EXPECT_EQ(run(QStringLiteral("Get File Size"), path(QStringLiteral("No/*.log"))), 0);
    EXPECT_EQ(value("FileSize"), QStringLiteral("0"));
    EXPECT_EQ(value("Errorcode"), QStringLiteral("0"));
}

TEST_F(FileActionsTest, BracketsInFileNamesAreNoWildcards) {
    // "[1]" would be a set of characters to a shell pattern and pick report1.txt.
    write(QStringLiteral("report1.txt"), "1");
    write(QStringLiteral("report[1].txt"), "123");
    write(QStringLiteral("odd]name[.txt"), "12345678");
    EXPECT_EQ(run(QStringLiteral("Get File Size"), path(QStringLiteral("report[1].txt"))), 3);
    EXPECT_EQ(value("FileSize"), QStringLiteral("3"));
    EXPECT_EQ(run(QStringLiteral("Get File Size"), path(QStringLiteral("odd]name[.txt"))), 8);
    EXPECT_EQ(run(QStringLiteral("Get File Size"), path(QStringLiteral("*]*[.TXT"))), 8);
    EXPECT_EQ(run(QStringLiteral("Get File Size"), path(QStringLiteral("report[?].txt"))), 3);
    EXPECT_NE(run(QStringLiteral("Get File Date"), path(QStringLiteral("REPORT[1].TXT"))), 0);
    EXPECT_NE(run(QStringLiteral("Get File Time"), path(QStringLiteral("report[1].txt"))), 0);
    // Other characters of regular expressions stand for themselves too.
    EXPECT_EQ(run(QStringLiteral("Get File Size"), path(QStringLiteral("report.1..txt"))), 0);
    EXPECT_EQ(run(QStringLiteral("Get File Size"), path(QStringLiteral("report[2].txt"))), 0);
}

TEST_F(FileActionsTest, ExistenceValuesAndUnknownOperations) {
    write(QStringLiteral("here.txt"), "");
    EXPECT_EQ(run(QStringLiteral("File Exists"), path(QStringLiteral("here.txt")) + QStringLiteral(" ")), 1);
    EXPECT_EQ(value("FileExists"), QStringLiteral("1"));
    EXPECT_EQ(run(QStringLiteral("If File Exists"), path(QStringLiteral("gone.txt"))), 0);
    EXPECT_EQ(value("FileExists"), QStringLiteral("0"));
    EXPECT_EQ(run(QStringLiteral("File Exists"), dir.path()), 1); // any path that exists

    // Names are compared exactly; an unknown one sets only the error code.
    values.setValue(QStringLiteral("Errorcode"), QStringLiteral("99"));
    const std::size_t before = values.size();
    EXPECT_EQ(run(QStringLiteral("file exists"), path(QStringLiteral("here.txt"))), 0);
    EXPECT_EQ(run(QStringLiteral("Rename"), path(QStringLiteral("here.txt")), path(QStringLiteral("x.txt"))),
              0);
    EXPECT_EQ(values.size(), before);
    EXPECT_EQ(value("Errorcode"), QStringLiteral("0"));
    EXPECT_EQ(value("FileExists"), QStringLiteral("1"));
}

TEST_F(FileActionsTest, ValuesInBracketsAreSubstitutedInBothParameters) {
    values.setValue(QStringLiteral("Folder"), dir.path());
    values.setValue(QStringLiteral("Stamp"), QStringLiteral("20261208"));
    write(QStringLiteral("daily.csv"), "rows");
    EXPECT_EQ(run(QStringLiteral("Make Directory"), QStringLiteral("[Folder]/Backup-[STAMP]")), 1);
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("Backup-20261208"))).isDir());
    EXPECT_EQ(run(QStringLiteral("Copy"), QStringLiteral("[folder]/daily.csv"),
                  QStringLiteral("[Folder]/Backup-[Stamp]")),
              1);
    EXPECT_EQ(read(QStringLiteral("Backup-20261208/daily.csv")), "rows");
}

// Windows with children, some of which hold windows of their own.
struct FakeWindows final : WindowSystem {
    std::vector<TopLevelWindow> topLevelWindows() override {
        return {{QStringLiteral("Editor - notes.txt"), 10, 0},
                {QString(), 30, 0}, // untitled windows are not listed
                {QStringLiteral("Calculator"), 20, 0}};
    }
    std::vector<ChildWindow> childWindows(WindowHandle w) override {
        switch (w) {
        case 10:
            return {{QStringLiteral("Button"), QStringLiteral("&OK"), 11},
                    {QStringLiteral("Edit"), QStringLiteral("<>"), 12},
                    {QStringLiteral("MDIWinClass"), QStringLiteral("Document 1"), 13}};
        case 20: // drawn by a toolkit: no window, whatever its role says
            return {{QStringLiteral("WinKey"), QStringLiteral("7"), 0, true}};
        case 13:
            return {{QStringLiteral("Static"), QStringLiteral("Line 1"), 14},
                    {QStringLiteral("PaneWindow"), QStringLiteral("Inner"), 15}};
        default:
            return {};
        }
    }
    void activate(WindowHandle) override {}
    WindowHandle foreground() override { return 0; }
    void requestClose(WindowHandle) override {}
    QString processName(pid_t) override { return {}; }
};

TEST_F(FileActionsTest, LogWindowsListsChildrenAndTheWindowsInsideThem) {
    FakeWindows system;
    WindowMatcher matcher(system);
    const QString log = path(QStringLiteral("WINDOWS.LOG"));
    write(QStringLiteral("WINDOWS.LOG"), "old contents that are replaced\n");
    EXPECT_EQ(RunFileAction(QStringLiteral("Log Windows"), log, {}, values, &matcher), 4);
    EXPECT_EQ(value("Errorcode"), QStringLiteral("0"));

    const QStringList lines = QString::fromUtf8(read(QStringLiteral("WINDOWS.LOG"))).split(QLatin1Char('\n'));
    auto row = [](const QString& title, const QString& handle, const QString& text, const QString& cls,
                  const QString& child) {
        return title.leftJustified(40) + handle.leftJustified(12) + text.leftJustified(40) +
               cls.leftJustified(20) + child.leftJustified(12);
    };
    const QStringList expected{
        row(QStringLiteral("Editor - notes.txt"), QStringLiteral("10"), {}, {}, {}),
        row({}, {}, QStringLiteral("&OK"), QStringLiteral("Button"), QStringLiteral("11")),
        row({}, {}, QStringLiteral("Document 1"), QStringLiteral("MDIWinClass"), QStringLiteral("13")),
        row(QStringLiteral("Calculator"), QStringLiteral("20"), {}, {}, {}),
        row({}, {}, QStringLiteral("7"), QStringLiteral("WinKey"), {}),
        row(QStringLiteral("Document 1 (Child of Editor - notes.txt)"), QStringLiteral("13"), {}, {}, {}),
        row({}, {}, QStringLiteral("Line 1"), QStringLiteral("Static"), QStringLiteral("14")),
        row({}, {}, QStringLiteral("Inner"), QStringLiteral("PaneWindow"), QStringLiteral("15")),
        row(QStringLiteral("Inner (Child of Document 1 (Child of Edi"), QStringLiteral("15"), {}, {}, {}),
        QString()};
    EXPECT_EQ(lines, expected);
    for (const QString& l : lines.mid(0, 9))
        EXPECT_EQ(l.size(), 124);

    // A new file is the user's alone, whatever the umask.
    const QString fresh = path(QStringLiteral("FRESH.LOG"));
    const mode_t mask = umask(022);
    EXPECT_EQ(RunFileAction(QStringLiteral("Log Windows"), fresh, {}, values, &matcher), 4);
    umask(mask);
    EXPECT_EQ(QFile::permissions(fresh) & 0x0077, 0);

    // A file that cannot be written: the count is 0 and the error code says why.
    EXPECT_EQ(RunFileAction(QStringLiteral("Log Windows"), path(QStringLiteral("No/such/dir.log")), {},
                            values, &matcher),
              0);
    EXPECT_NE(value("Errorcode"), QStringLiteral("0"));
}

} // namespace
} // namespace kr::test
