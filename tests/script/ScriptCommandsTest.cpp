// Export, import, clear, copy and the printout's texts of a task's script, on a real data
// file and real script files.

#include "script/ScriptCommands.h"
#include "script/ScriptItems.h"
#include "store/Table.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

// Records what the progress window was asked to show; may cancel after a number of steps.
struct RecordingProgress final : Progress {
    void doBegin(const QString& title, const QString& text) override {
        begun << title + QLatin1Char('|') + text;
    }
    void doUpdate(int percent) override {
        last = percent;
        ++updates;
    }
    bool cancelled() const override { return cancelAfter > 0 && updates >= cancelAfter; }
    void end() override { ++ended; }
    QStringList begun;
    int last = -1;
    int updates = 0;
    int ended = 0;
    int cancelAfter = 0;
};

class ScriptCommandsTest : public ::testing::Test {
protected:
    ScriptCommandsTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
    }
    void add(Scripting s) {
        Table<Scripting> items(*store);
        ASSERT_EQ(items.add(s), Err::None);
    }
    static Scripting Item(qint32 task, qint32 sequence, const QString& action) {
        Scripting s;
        s.id = task;
        s.sequence = sequence;
        s.action = action;
        return s;
    }
    std::vector<Scripting> script(qint32 task) {
        std::vector<Scripting> out;
        EXPECT_TRUE(ReadTaskScript(*store, task, out));
        return out;
    }
    QStringList lines(const QString& name) {
        QFile f(dir.file(name));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void write(const QString& name, const QByteArray& text) {
        QFile f(dir.file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    RecordingProgress progress;
    std::unique_ptr<Store> store;
};

TEST_F(ScriptCommandsTest, ExportAddsToTheFileEachTimeAndPassesOverWhatHasNoLine) {
    Scripting wait = Item(3, 1, QStringLiteral("Wait"));
    wait.secondsToWait = 10;
    wait.ddeApplicationName = QStringLiteral("Or");
    wait.waitForWindow = QStringLiteral("*Notepad");
    wait.focusOnWindow = QStringLiteral("Save");
    add(wait);
    Scripting keys = Item(3, 2, QStringLiteral("Send Keystrokes"));
    keys.keystrokes = QString(90, QLatin1Char('k'));
    add(keys);
    add(Item(3, 3, QStringLiteral("Other"))); // no line form
    add(Item(4, 1, QStringLiteral("...End If")));

    // A file whose last line has no end: the export starts on a line of its own.
    write(QStringLiteral("out.krs"), "\"Exit Script\",\"\",\"\",\"\",\"\",\"\"");
    EXPECT_EQ(ExportScript(*store, progress, 3, dir.file(QStringLiteral("out.krs"))), 2);
    EXPECT_EQ(ExportScript(*store, progress, 3, dir.file(QStringLiteral("out.krs"))), 2);
    const QString waitLine = QStringLiteral("\"Wait\",\"10\",\"*Notepad\",\"Or\",\"Save\",\"\"");
    const QString keysLine = QStringLiteral("\"Send Keystrokes\",\"") + QString(80, QLatin1Char('k')) +
                             QStringLiteral("\",\"\",\"\",\"\",\"\"");
    EXPECT_EQ(lines(QStringLiteral("out.krs")),
              (QStringList{QStringLiteral("\"Exit Script\",\"\",\"\",\"\",\"\",\"\""), waitLine, keysLine,
                           waitLine, keysLine}));
    EXPECT_EQ(dialogs.texts(),
              (QStringList{QStringLiteral("Process Completed"), QStringLiteral("Process Completed")}));
    EXPECT_EQ(progress.begun.first(), QStringLiteral("Processing Records|Exporting Script Items"));
    EXPECT_EQ(progress.last, 100);
    EXPECT_EQ(progress.ended, 2);

    // Read back into an empty task, the items are what went out, cut to the file's widths.
    ASSERT_EQ(ImportScript(*store, progress, 9, dir.file(QStringLiteral("out.krs"))), 5);
    const auto back = script(9);
    ASSERT_EQ(back.size(), 5u);
    EXPECT_EQ(back[1].action, QStringLiteral("Wait"));
    EXPECT_EQ(back[1].secondsToWait, 10);
    EXPECT_EQ(back[1].ddeApplicationName, QStringLiteral("Or"));
    EXPECT_EQ(back[1].waitForWindow, QStringLiteral("*Notepad"));
    EXPECT_EQ(back[1].focusOnWindow, QStringLiteral("Save"));
    EXPECT_EQ(back[2].keystrokes, QString(80, QLatin1Char('k')));
}

TEST_F(ScriptCommandsTest, ExportReportsEveryFailedLineAndAFileItCannotOpen) {
    add(Item(3, 1, QStringLiteral("...End If")));
    add(Item(3, 2, QStringLiteral("Exit Script")));
    // A device that takes no bytes: each line fails and the export goes on to the end.
    EXPECT_EQ(ExportScript(*store, progress, 3, QStringLiteral("/dev/full")), 0);
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("Error exporting script item ")));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error!"));
    EXPECT_EQ(dialogs.shown[1].caption, QStringLiteral("Error!"));
    EXPECT_EQ(dialogs.shown[2].text, QStringLiteral("Process Completed"));

    dialogs.shown.clear();
    EXPECT_EQ(ExportScript(*store, progress, 3, dir.file(QStringLiteral("no/such/folder/out.krs"))), -1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("File Error"));
}

TEST_F(ScriptCommandsTest, ImportNumbersFromZeroAndSkipsWhatItDoesNotKnow) {
    write(QStringLiteral("in.krs"), "\"Set Value\",\"SIZE\",\"[FILESIZE]\",\"\",\"\",\"\"\r\n"
                                    "\"Dance\",\"1\",\"\",\"\",\"\",\"\"\r\n"
                                    "\r\n"
                                    "\"If Value...\",\"SIZE\",\"<>\",\"0\",\"\",\"\"\r\n"
                                    "\"...End If\",\"\",\"\",\"\",\"\",\"\"\r\n");
    EXPECT_EQ(ImportScript(*store, progress, 5, dir.file(QStringLiteral("in.krs"))), 3);
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Unrecognized script action: Dance")});
    EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("Import Error")});
    EXPECT_EQ(progress.begun, QStringList{QStringLiteral("Processing Records|Importing Script Items")});
    EXPECT_EQ(progress.last, 100);
    auto items = script(5);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].sequence, 0);
    EXPECT_EQ(items[0].path, QStringLiteral("SIZE"));
    EXPECT_EQ(items[0].command, QStringLiteral("[FILESIZE]"));
    EXPECT_EQ(items[1].sequence, 1);
    EXPECT_EQ(items[1].windowTitleToCheckFor, QStringLiteral("<>"));
    EXPECT_EQ(items[1].waitForWindow, QStringLiteral("0"));
    EXPECT_EQ(items[2].sequence, 2);
    EXPECT_EQ(items[2].action, QStringLiteral("...End If"));

    // The task's items stay; a number already in use fails, and the next line takes the next.
    dialogs.shown.clear();
    write(QStringLiteral("more.krs"), "\"Exit Script\"\n\"Exit Script\"\n\"Exit Script\"\n\"Wait\",\"5\"\n");
    EXPECT_EQ(ImportScript(*store, progress, 5, dir.file(QStringLiteral("more.krs"))), 1);
    EXPECT_EQ(dialogs.texts(),
              QStringList(3, QStringLiteral("Error adding script item Creates Duplicate Key")));
    EXPECT_EQ(dialogs.captions(), QStringList(3, QStringLiteral("Error!")));
    items = script(5);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].action, QStringLiteral("Set Value"));
    EXPECT_EQ(items[3].action, QStringLiteral("Wait"));
    EXPECT_EQ(items[3].sequence, 3);
    EXPECT_EQ(items[3].secondsToWait, 5);

    dialogs.shown.clear();
    EXPECT_EQ(ImportScript(*store, progress, 5, dir.file(QStringLiteral("missing.krs"))), -1);
    EXPECT_EQ(dialogs.captions(), QStringList{QStringLiteral("File Error")});
}

TEST_F(ScriptCommandsTest, ImportStopsWhenTheUserCancelsKeepingTheItemsStoredSoFar) {
    // The window is looked at between batches: Cancel stops after the first one.
    const int lines = kImportBatchItems * 3;
    write(QStringLiteral("in.krs"), QByteArray("\"Exit Script\"\n").repeated(lines));
    progress.cancelAfter = 1;
    const int added = ImportScript(*store, progress, 5, dir.file(QStringLiteral("in.krs")));
    EXPECT_GT(added, 0);
    EXPECT_LE(added, kImportBatchItems);
    EXPECT_EQ(progress.updates, 1);
    EXPECT_EQ(progress.ended, 1);
    const auto items = script(5);
    ASSERT_EQ(items.size(), static_cast<std::size_t>(added));
    EXPECT_EQ(items.back().sequence, added - 1);
}

TEST_F(ScriptCommandsTest, CopyKeepsNumbersAndPassesOverTakenOnesAndDeleteTakesOneTask) {
    for (int i = 1; i <= 3; ++i) {
        Scripting s = Item(1, i, QStringLiteral("Send Keystrokes"));
        s.keystrokes = QStringLiteral("from one %1").arg(i);
        s.networkUser = QStringLiteral("desk-1");
        add(s);
    }
    Scripting taken = Item(2, 2, QStringLiteral("Send Keystrokes"));
    taken.keystrokes = QStringLiteral("already there");
    add(taken);

    CopyScript(*store, progress, 1, 2);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(progress.begun, QStringList{QStringLiteral("Processing Records|Copying Script")});
    auto copied = script(2);
    ASSERT_EQ(copied.size(), 3u);
    EXPECT_EQ(copied[0].keystrokes, QStringLiteral("from one 1"));
    EXPECT_EQ(copied[0].networkUser, QStringLiteral("desk-1"));
    EXPECT_EQ(copied[1].keystrokes, QStringLiteral("already there"));
    EXPECT_EQ(copied[2].sequence, 3);
    EXPECT_EQ(script(1).size(), 3u);

    EXPECT_EQ(DeleteScript(*store, progress, 1), 3);
    EXPECT_TRUE(script(1).empty());
    EXPECT_EQ(script(2).size(), 3u);
    EXPECT_EQ(progress.begun.last(), QStringLiteral("Processing Records|Deleting Script"));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ScriptCommandsTest, ThePrintoutHasDetailTextsOfItsOwn) {
    Scripting start = Item(1, 1, QStringLiteral("Start Program"));
    start.command = QStringLiteral("/usr/bin/gedit");
    start.path = QStringLiteral("/tmp");
    EXPECT_EQ(PrintedDetail(start), QStringLiteral("/usr/bin/gedit /tmp"));
    Scripting wait = Item(1, 2, QStringLiteral("Wait"));
    wait.waitForWindow = QStringLiteral("*Notepad");
    wait.ddeApplicationName = QStringLiteral("Or");
    EXPECT_EQ(PrintedDetail(wait), QStringLiteral("*Notepad"));
    wait.secondsToWait = 10;
    EXPECT_EQ(PrintedDetail(wait), QStringLiteral("10 seconds *Notepad")); // no And/Or, unlike the list
    Scripting ifWindow = Item(1, 3, QStringLiteral("If Window..."));
    ifWindow.windowTitleToCheckFor = QStringLiteral("Untitled - *");
    ifWindow.focusOnWindow = QStringLiteral("OK");
    EXPECT_EQ(PrintedDetail(ifWindow), QStringLiteral("Untitled - *"));
    Scripting elapsed = Item(1, 4, QStringLiteral("If Time Elapsed..."));
    elapsed.timeElapsed = 90;
    EXPECT_EQ(PrintedDetail(elapsed), QStringLiteral("90 seconds"));
    Scripting dde = Item(1, 5, QStringLiteral("DDE (Dynamic Data Exchange)"));
    dde.ddeType = QStringLiteral("Execute");
    dde.ddeApplicationName = QStringLiteral("org.example.Notes");
    dde.ddeApplicationTopic = QStringLiteral("/notes");
    EXPECT_EQ(PrintedDetail(dde), QStringLiteral("Execute org.example.Notes /notes"));
    Scripting close = Item(1, 6, QStringLiteral("Close Program"));
    EXPECT_EQ(PrintedDetail(close), QString()); // the list says "Window with focus"
    Scripting keys = Item(1, 7, QStringLiteral("Send Keystrokes"));
    keys.keystrokes = QString(100, QLatin1Char('k'));
    EXPECT_EQ(PrintedDetail(keys), QString(80, QLatin1Char('k')));

    for (const Scripting& s : {start, wait, ifWindow, elapsed, dde, close, keys})
        add(s);
    Schedule task;
    task.id = 1;
    task.description = QStringLiteral("Morning backup");
    const ScriptReport report = MakeScriptReport(*store, progress, task);
    EXPECT_EQ(report.title, QStringLiteral("Script"));
    EXPECT_EQ(report.description, QStringLiteral("Morning backup"));
    ASSERT_EQ(report.lines.size(), 7u);
    EXPECT_EQ(report.lines[4].action, QStringLiteral("DDE (Dynamic Data Exchange)"));
    EXPECT_EQ(report.lines[1].detail, QStringLiteral("10 seconds *Notepad"));
    EXPECT_EQ(progress.begun, QStringList{QStringLiteral("Script|Generating Report")});
}

} // namespace
} // namespace kr::test
