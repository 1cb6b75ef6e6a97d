#include "platform/qt/TextViewer.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QFile>
#include <QPrinter>
#include <QProcess>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

TEST(FindInLines, WordsCaseAndDirection) {
    const QStringList lines{"Started Kelvray", "Run Program backup.sh", "Script Wait", "run program restore",
                            "Programmer notes"};
    EXPECT_EQ(FindInLines(lines, -1, QStringLiteral("program"), false, false, true), 1);
    EXPECT_EQ(FindInLines(lines, 1, QStringLiteral("program"), false, false, true), 3);
    EXPECT_EQ(FindInLines(lines, 1, QStringLiteral("Program"), false, true, true), 4);
    EXPECT_EQ(FindInLines(lines, 3, QStringLiteral("program"), true, false, true), -1);
    EXPECT_EQ(FindInLines(lines, 5, QStringLiteral("program"), true, false, false), 3);
    EXPECT_EQ(FindInLines(lines, 0, QStringLiteral("program"), false, false, false), -1);
    EXPECT_EQ(FindInLines(lines, -1, QStringLiteral("backup.sh"), true, false, true), 1);
    EXPECT_EQ(FindInLines(lines, -1, QString(), false, false, true), -1);
}

const TextViewer::Options kViewLog{QStringLiteral("View Log"), QStringLiteral("ViewLog"), true};

class ViewLogTest : public ::testing::Test {
protected:
    QString path() const { return dir.file(QStringLiteral("KR98Evnt.LOG")); }
    void writeLines(int count) {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < count; ++i)
            f.write(QStringLiteral("%1 %2\n")
                        .arg(i % 7 == 3 ? "Run Program" : "Script", -30)
                        .arg(i, 71)
                        .toLatin1());
    }
    TempDir dir;
    ScriptedDialogs dialogs;
};

TEST_F(ViewLogTest, LoadsInPiecesAndSearchesAroundTheEnds) {
    writeLines(1000); // about 102,000 bytes: several ticks
    TextViewer v(kViewLog, path(), dialogs, IniFile(dir.file(QStringLiteral("POSITION.INI"))));
    v.open();
    int ticks = 0;
    while (v.loadStep())
        ++ticks;
    EXPECT_GE(ticks, 4);
    ASSERT_EQ(v.lines().size(), 1000);
    EXPECT_EQ(v.currentLine(), 0);

    v.setSearch(QStringLiteral("run program"), false, false, true);
    ASSERT_TRUE(v.findNext());
    EXPECT_EQ(v.currentLine(), 3);
    ASSERT_TRUE(v.findNext());
    EXPECT_EQ(v.currentLine(), 10);
    v.setCurrentLine(998);
    dialogs.answer(Dialogs::Yes);
    ASSERT_TRUE(v.findNext());
    EXPECT_EQ(v.currentLine(), 3);
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("End of File Error"));
    EXPECT_EQ(dialogs.shown.back().text,
              QStringLiteral("The end of the viewed file was encountered.  Do you want "
                             "to start again from the beginning?"));

    v.setSearch(QStringLiteral("Run Program"), true, true, false);
    dialogs.answer(Dialogs::No);
    EXPECT_FALSE(v.findNext());
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("Beginning of File Error"));
    EXPECT_EQ(v.currentLine(), 3);
}

TEST_F(ViewLogTest, CancellingKeepsWhatWasRead) {
    writeLines(2000);
    TextViewer v(kViewLog, path(), dialogs, IniFile(dir.file(QStringLiteral("POSITION.INI"))));
    v.open();
    v.loadStep();
    dialogs.answer(Dialogs::Cancel);
    EXPECT_FALSE(v.cancelLoading());
    EXPECT_TRUE(v.loading());
    dialogs.answer(Dialogs::Ok);
    EXPECT_TRUE(v.cancelLoading());
    EXPECT_EQ(dialogs.shown.back().text,
              QStringLiteral("Are you certain you want to stop loading KR98Evnt.LOG?"));
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("Cancel Request"));
    EXPECT_FALSE(v.loading());
    EXPECT_GT(v.lines().size(), 100);
    EXPECT_LT(v.lines().size(), 2000);
}

TEST_F(ViewLogTest, EmptyAndMissingFilesSayWhy) {
    {
        TextViewer v(kViewLog, path(), dialogs, IniFile(dir.file(QStringLiteral("POSITION.INI"))));
        v.open();
        ASSERT_EQ(dialogs.shown.size(), 2u);
        EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Please note this errorcode:  2; File Not Found"));
        EXPECT_EQ(dialogs.shown[1].text,
                  QStringLiteral("KR98Evnt.LOG File Load Error.  Error: File Not Found."));
        EXPECT_EQ(dialogs.shown[1].caption, QStringLiteral("File Load Error"));
    }
    QFile(path()).open(QIODevice::WriteOnly);
    TextViewer v(kViewLog, path(), dialogs, IniFile(dir.file(QStringLiteral("POSITION.INI"))));
    v.open();
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[2].text,
              QStringLiteral("KR98Evnt.LOG File Load Error.  The file you've requested contains no text."));
    EXPECT_TRUE(v.lines().isEmpty());
}

TEST_F(ViewLogTest, AMissingFileWithANoteIsAnEmptyFileWithHeadings) {
    TextViewer v(kViewLog, path(), dialogs, IniFile(dir.file(QStringLiteral("POSITION.INI"))));
    EXPECT_EQ(v.headingText(), QString());
    v.setColumns({{QStringLiteral("Date"), 12},
                  {QStringLiteral("Time"), 10},
                  {QStringLiteral("Event"), 30},
                  {QStringLiteral("Details"), 50}});
    v.setMissingNote(QStringLiteral("Logging is off."));
    v.open();
    EXPECT_FALSE(v.loading());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(v.lines().isEmpty());
    EXPECT_EQ(v.statusText(), QStringLiteral("Logging is off."));
    // Each heading over its column: date 12, time 10, label 30 characters wide.
    EXPECT_EQ(v.headingText(), QStringLiteral("Date        Time      Event                         Details"));

    // An empty file that is there is still reported.
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    TextViewer again(kViewLog, path(), dialogs, IniFile(dir.file(QStringLiteral("POSITION.INI"))));
    again.setMissingNote(QStringLiteral("Logging is off."));
    again.open();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(again.statusText(), QString());
}

TEST_F(ViewLogTest, PrintsEveryLine) {
    writeLines(150);
    TextViewer v(kViewLog, path(), dialogs, IniFile(dir.file(QStringLiteral("POSITION.INI"))));
    v.open();
    while (v.loadStep()) {
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.file(QStringLiteral("log.pdf")));
    v.print(printer);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {dir.file(QStringLiteral("log.pdf")), QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(20000));
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("Run Program")));
    EXPECT_TRUE(out.contains(QStringLiteral("149")));
    EXPECT_GE(out.count(QLatin1Char('\f')), 2); // more than one page
}

} // namespace
} // namespace kr::test

namespace kr::test {
namespace {

TEST(ViewScriptKeys, AMissingListIsJustEmpty) {
    TempDir dir;
    ScriptedDialogs dialogs;
    TextViewer v({QStringLiteral("List of Key Abbreviations"), QStringLiteral("ViewScriptKeys"), false},
                 dir.file(QStringLiteral("KEYCODES.TXT")), dialogs,
                 IniFile(dir.file(QStringLiteral("POSITION.INI"))));
    v.open();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(v.lines().isEmpty());
    EXPECT_EQ(v.windowTitle(), QStringLiteral("List of Key Abbreviations"));
}

} // namespace
} // namespace kr::test
