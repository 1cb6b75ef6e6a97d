#include "platform/IniFile.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

TEST(IniFile, SectionsAndEntriesIgnoreLetterCase) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("KR98.INI"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "; a comment\n[Settings]\nStartUpSchedule = 1\nHost=mail.example.com\n\n[Other]\nHost=other\n");
    }
    IniFile ini(path);
    EXPECT_EQ(ini.read(QStringLiteral("settings"), QStringLiteral("startupschedule")), QStringLiteral("1"));
    EXPECT_EQ(ini.read(QStringLiteral("SETTINGS"), QStringLiteral("HOST")),
              QStringLiteral("mail.example.com"));
    EXPECT_EQ(ini.read(QStringLiteral("Other"), QStringLiteral("Host")), QStringLiteral("other"));
    EXPECT_EQ(ini.read(QStringLiteral("Settings"), QStringLiteral("Missing"), QStringLiteral("dflt")),
              QStringLiteral("dflt"));
    EXPECT_EQ(ini.readInt(QStringLiteral("Settings"), QStringLiteral("StartUpSchedule")), 1);
    EXPECT_EQ(ini.readInt(QStringLiteral("Settings"), QStringLiteral("Host")), 0);

    // Writing replaces in place, adds to the right section, and keeps everything else.
    ASSERT_TRUE(
        ini.write(QStringLiteral("SETTINGS"), QStringLiteral("host"), QStringLiteral("new.example.com")));
    ASSERT_TRUE(ini.write(QStringLiteral("settings"), QStringLiteral("Debug"), QStringLiteral("1")));
    ASSERT_TRUE(ini.write(QStringLiteral("Main"), QStringLiteral("XPosit"), QStringLiteral("120")));
    EXPECT_EQ(ini.read(QStringLiteral("Settings"), QStringLiteral("Host")),
              QStringLiteral("new.example.com"));
    EXPECT_EQ(ini.read(QStringLiteral("Other"), QStringLiteral("Host")), QStringLiteral("other"));
    EXPECT_EQ(ini.readInt(QStringLiteral("Settings"), QStringLiteral("Debug")), 1);
    EXPECT_EQ(ini.readInt(QStringLiteral("main"), QStringLiteral("xposit")), 120);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("; a comment\n[Settings]\nStartUpSchedule = 1\nhost=new")) ||
                text.startsWith(QStringLiteral("; a comment\n[Settings]\nStartUpSchedule = 1\nHost=new")))
        << text.toStdString();
    EXPECT_LT(text.indexOf(QStringLiteral("Debug=1")), text.indexOf(QStringLiteral("[Other]")));
}

TEST(IniFile, NumbersBeyondAnIntAreCutToItsRange) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("POSITION.INI"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Main]\nXPosit=99999999999999999999\nYPosit=-99999999999999999999999\n"
                "Width=2147483647\nHeight=2147483648\nMaximize=12abc\n");
    }
    IniFile ini(path);
    EXPECT_EQ(ini.readInt(QStringLiteral("Main"), QStringLiteral("XPosit")), 2147483647);
    EXPECT_EQ(ini.readInt(QStringLiteral("Main"), QStringLiteral("YPosit")), -2147483647);
    EXPECT_EQ(ini.readInt(QStringLiteral("Main"), QStringLiteral("Width")), 2147483647);
    EXPECT_EQ(ini.readInt(QStringLiteral("Main"), QStringLiteral("Height")), 2147483647);
    EXPECT_EQ(ini.readInt(QStringLiteral("Main"), QStringLiteral("Maximize")), 12);
}

TEST(IniFile, WritingAnEntryLeavesTheOthersAsTheyRead) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("POSITION.INI"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // Two byte-order marks: the second must not become the section's name.
        f.write("\xef\xbb\xbf\xef\xbb\xbf[Main]\nWidth=5\n");
    }
    IniFile ini(path);
    EXPECT_EQ(ini.read(QStringLiteral("Main"), QStringLiteral("Width")), QStringLiteral("5"));
    ASSERT_TRUE(ini.write(QStringLiteral("Main"), QStringLiteral("XPosit"), QStringLiteral("-120")));
    EXPECT_EQ(ini.readInt(QStringLiteral("Main"), QStringLiteral("XPosit")), -120);
    EXPECT_EQ(ini.read(QStringLiteral("Main"), QStringLiteral("Width")), QStringLiteral("5"));
}

TEST(IniFile, AMissingFileReadsAsDefaultsAndIsCreatedOnWrite) {
    TempDir dir;
    IniFile ini(dir.file(QStringLiteral("sub/POSITION.INI")));
    EXPECT_EQ(ini.read(QStringLiteral("Main"), QStringLiteral("Width")), QString());
    ASSERT_TRUE(ini.write(QStringLiteral("Main"), QStringLiteral("?Browse:1"), QString()));
    EXPECT_TRUE(QFile::exists(dir.file(QStringLiteral("sub/POSITION.INI"))));
    EXPECT_EQ(ini.read(QStringLiteral("Main"), QStringLiteral("?Browse:1"), QStringLiteral("x")), QString());
}

} // namespace
} // namespace kr::test
