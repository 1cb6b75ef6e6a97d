// The script list of a task: its columns, the order it keeps when items are added, moved and
// deleted, and the commands on the whole script, on a real data file.

#include "script/ui/BrowseScript.h"
#include "ScriptWindowsFixture.h"
#include "reports/ui/ReportPreview.h"
#include "reports/ui/ReportWindows.h"
#include "script/ScriptCommands.h"
#include "script/ui/ScriptPrint.h"
#include "support/Accelerators.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

namespace kr::test {
namespace {

class BrowseScriptTest : public ScriptWindowsTest {
protected:
    BrowseScriptTest() { task.description = QStringLiteral("Nightly copy"); }
    QStringList shown(BrowseScript& list) {
        QStringList out;
        for (int r = 0; r < list.list()->rowCount(); ++r)
            out << list.list()->item(r, 1)->text();
        return out;
    }
    static void Click(BrowseScript& list, const QString& button) {
        ASSERT_NE(list.button(button), nullptr) << button.toStdString();
        list.button(button)->click();
    }

    Schedule task = [] {
        Schedule t;
        t.id = 7;
        return t;
    }();
};

TEST_F(BrowseScriptTest, ShowsTheTasksItemsInOrderWithTheirDescriptions) {
    addItems(7, {QStringLiteral("one"), QStringLiteral("two")});
    addItems(8, {QStringLiteral("not this task")});
    Table<Scripting> items(*store);
    Scripting close;
    close.id = 7;
    close.sequence = 3;
    close.action = QStringLiteral("Close Program");
    ASSERT_EQ(items.add(close), Err::None);

    BrowseScript list(*ctx, task);
    EXPECT_EQ(list.windowTitle(), QStringLiteral("Scripting"));
    EXPECT_EQ(list.list()->horizontalHeaderItem(0)->text(), QStringLiteral("Action"));
    EXPECT_EQ(list.list()->horizontalHeaderItem(1)->text(), QStringLiteral("Details"));
    ASSERT_EQ(list.list()->rowCount(), 3);
    EXPECT_EQ(list.list()->item(0, 0)->text(), QStringLiteral("Send Keystrokes"));
    EXPECT_EQ(shown(list), (QStringList{"one", "two", "Window with focus"}));
    EXPECT_EQ(list.list()->currentRow(), 0);
}

TEST_F(BrowseScriptTest, ATaskThatNeverRunsItsScriptSaysSoAboveIt) {
    addItems(7, {QStringLiteral("one")});
    for (const QString& type : {QStringLiteral("Run Program"), QStringLiteral("Both"),
                                QStringLiteral("Display Message"), QStringLiteral("None")}) {
        SCOPED_TRACE(type.toStdString());
        task.taskType = type;
        BrowseScript list(*ctx, task);
        const bool runs = type == QStringLiteral("Run Program") || type == QStringLiteral("Both");
        EXPECT_EQ(list.scriptNotRunNote()->isVisibleTo(&list), !runs);
        if (!runs) {
            EXPECT_EQ(
                list.scriptNotRunNote()->text(),
                QStringLiteral("This script does not run: only \"Run Program\" and \"Both\" tasks run "
                               "their scripts, and this task is a \"%1\" task. For a task that only runs "
                               "its script, choose \"Run Program\" with the command N/A.")
                    .arg(type));
        }
    }
}

TEST_F(BrowseScriptTest, AddInsertsAfterTheHighlightedItemAndCopyAppends) {
    addItems(7, {"1", "2", "3", "4", "5"});
    BrowseScript list(*ctx, task);
    list.list()->selectRow(2);
    WhenShown<UpdateScripting>([](UpdateScripting& form) {
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Adding Scripting"));
        form.findChild<QLineEdit*>(QStringLiteral("keystrokes"))->setText(QStringLiteral("new"));
        form.accept();
    });
    Click(list, QStringLiteral("&Add"));
    EXPECT_EQ(order(7), (QStringList{"1:1", "2:2", "3:3", "4:new", "5:4", "6:5"}));
    EXPECT_EQ(list.list()->currentRow(), 3);
    EXPECT_EQ(shown(list), (QStringList{"1", "2", "3", "new", "4", "5"}));

    // Cancelled, nothing is added.
    WhenShown<UpdateScripting>([](UpdateScripting& form) { form.reject(); });
    Click(list, QStringLiteral("&Add"));
    EXPECT_EQ(order(7).size(), 6);

    // A copy has every field of the highlighted item and goes to the end.
    list.list()->selectRow(1);
    WhenShown<UpdateScripting>([](UpdateScripting& form) {
        EXPECT_EQ(form.findChild<QLineEdit*>(QStringLiteral("keystrokes"))->text(), QStringLiteral("2"));
        form.accept();
    });
    Click(list, QStringLiteral("Cop&y"));
    EXPECT_EQ(order(7).last(), QStringLiteral("7:2"));
    EXPECT_EQ(list.list()->currentRow(), 6);

    // An empty script takes its first item at number 1.
    Schedule empty;
    empty.id = 9;
    BrowseScript other(*ctx, empty);
    WhenShown<UpdateScripting>([](UpdateScripting& form) { form.accept(); });
    Click(other, QStringLiteral("&Add"));
    EXPECT_EQ(order(9), QStringList{QStringLiteral("1:")});
}

TEST_F(BrowseScriptTest, MovesKeepTheOrderAndTheHighlightFollows) {
    addItems(7, {"a", "b", "c", "d", "e"});
    BrowseScript list(*ctx, task);
    list.list()->selectRow(4);
    Click(list, QStringLiteral("Move record to the top"));
    EXPECT_EQ(order(7), (QStringList{"1:e", "2:a", "3:b", "4:c", "5:d"}));
    EXPECT_EQ(list.list()->currentRow(), 0);
    Click(list, QStringLiteral("Move record up one")); // already first
    EXPECT_EQ(order(7), (QStringList{"1:e", "2:a", "3:b", "4:c", "5:d"}));
    Click(list, QStringLiteral("Move record down one"));
    EXPECT_EQ(order(7), (QStringList{"1:a", "2:e", "3:b", "4:c", "5:d"}));
    EXPECT_EQ(list.list()->currentRow(), 1);
    Click(list, QStringLiteral("Move record to the bottom"));
    EXPECT_EQ(order(7), (QStringList{"1:a", "2:b", "3:c", "4:d", "5:e"}));
    EXPECT_EQ(list.list()->currentRow(), 4);
    EXPECT_TRUE(dialogs.shown.empty());

    // An imported script is numbered from 0; its last item still reaches the top.
    addItems(8, {"p", "q", "r"}, 0);
    Schedule imported;
    imported.id = 8;
    BrowseScript second(*ctx, imported);
    second.list()->selectRow(2);
    Click(second, QStringLiteral("Move record to the top"));
    EXPECT_EQ(order(8), (QStringList{"0:r", "1:p", "2:q"}));
}

TEST_F(BrowseScriptTest, DeleteAsksAndRenumbersTheItemsAfter) {
    addItems(7, {"a", "b", "c", "d"});
    BrowseScript list(*ctx, task);
    list.list()->selectRow(1);
    dialogs.answer(Dialogs::Cancel);
    Click(list, QStringLiteral("&Delete"));
    EXPECT_EQ(order(7).size(), 4);
    ASSERT_EQ(dialogs.captions(), QStringList{QStringLiteral("Confirm Delete")});
    dialogs.answer(Dialogs::Ok);
    Click(list, QStringLiteral("&Delete"));
    EXPECT_EQ(order(7), (QStringList{"1:a", "2:c", "3:d"}));
    EXPECT_EQ(list.list()->currentRow(), 1);
    EXPECT_EQ(shown(list), (QStringList{"a", "c", "d"}));
}

TEST_F(BrowseScriptTest, EnterAndADoubleClickChangeTheHighlightedItem) {
    addItems(7, {"a", "b"});
    BrowseScript list(*ctx, task);
    list.show();
    list.list()->selectRow(1);
    int opened = 0;
    auto change = [&opened](const QString& text) {
        WhenShown<UpdateScripting>([&opened, text](UpdateScripting& form) {
            ++opened;
            EXPECT_EQ(form.windowTitle(), QStringLiteral("Changing Scripting"));
            form.findChild<QLineEdit*>(QStringLiteral("keystrokes"))->setText(text);
            form.accept();
        });
    };
    change(QStringLiteral("B"));
    QTest::keyClick(list.list(), Qt::Key_Return);
    EXPECT_EQ(order(7), (QStringList{"1:a", "2:B"}));
    EXPECT_EQ(shown(list), (QStringList{"a", "B"}));
    EXPECT_EQ(script(7)[1].networkUser, QStringLiteral("desk-1"));
    EXPECT_EQ(list.list()->currentRow(), 1);

    change(QStringLiteral("A"));
    const QRect first = list.list()->visualItemRect(list.list()->item(0, 1));
    QTest::mouseClick(list.list()->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(list.list()->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(order(7), (QStringList{"1:A", "2:B"}));
    EXPECT_EQ(opened, 2); // each gesture opened the form once
}

TEST_F(BrowseScriptTest, ExportClearImportAndPrint) {
    addItems(7, {"opening"});
    Table<Scripting> items(*store);
    Scripting wait;
    wait.id = 7;
    wait.sequence = 2;
    wait.action = QStringLiteral("Wait");
    wait.secondsToWait = 10;
    wait.ddeApplicationName = QStringLiteral("Or");
    wait.waitForWindow = QStringLiteral("*Notepad <draft> & more");
    ASSERT_EQ(items.add(wait), Err::None);
    Scripting start;
    start.id = 7;
    start.sequence = 3;
    start.action = QStringLiteral("Start Program");
    start.command = QStringLiteral("/usr/bin/gedit");
    start.path = QStringLiteral("/tmp");
    ASSERT_EQ(items.add(start), Err::None);

    BrowseScript list(*ctx, task);
    const QString file = dir.file(QStringLiteral("nightly.krs"));
    files.answer(file);
    Click(list, QStringLiteral("E&xport"));
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_EQ(files.asked[0].title, QStringLiteral("Export to File"));
    EXPECT_EQ(files.asked[0].filter, QStringLiteral("Export File|*.krs|Text|*.txt|All|*.*"));
    EXPECT_TRUE(QFile::exists(file));

    dialogs.answer(Dialogs::No);
    Click(list, QStringLiteral("Clear"));
    EXPECT_EQ(list.list()->rowCount(), 3);
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("Delete all script items for the current task?"));
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("Clear All"));
    EXPECT_EQ(dialogs.shown.back().buttons, static_cast<unsigned>(Dialogs::Yes | Dialogs::No));
    dialogs.answer(Dialogs::Yes);
    Click(list, QStringLiteral("Clear"));
    EXPECT_EQ(list.list()->rowCount(), 0);
    EXPECT_TRUE(script(7).empty());

    files.answer(file);
    Click(list, QStringLiteral("&Import"));
    EXPECT_EQ(files.asked.back().title, QStringLiteral("Choose File to Import"));
    EXPECT_EQ(order(7), (QStringList{"0:opening", "1:", "2:"}));
    EXPECT_EQ(shown(list),
              (QStringList{"opening", "10 seconds Or *Notepad <draft> & more", "/usr/bin/gedit /tmp"}));

    // The printout, written to PDF and read back.
    const QString pdf = dir.file(QStringLiteral("script.pdf"));
    ASSERT_TRUE(PrintScriptToPdf(*store, progress, task, pdf));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(20000));
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    for (const QString& expected :
         {QStringLiteral("Script"), QStringLiteral("Nightly copy"), QStringLiteral("Action"),
          QStringLiteral("Details"), QStringLiteral("Send Keystrokes"), QStringLiteral("opening"),
          QStringLiteral("10 seconds *Notepad <draft> & more"), QStringLiteral("Start Program"),
          QStringLiteral("/usr/bin/gedit /tmp"), QStringLiteral("Page 1")})
        EXPECT_TRUE(out.contains(expected)) << expected.toStdString() << "\n" << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("Or *Notepad"))); // the list's text, not the printout's
}

TEST_F(BrowseScriptTest, ALongScriptPrintsOnNumberedPages) {
    QStringList many;
    for (int i = 1; i <= 150; ++i)
        many << QStringLiteral("line %1").arg(i);
    // Too wide for its column: wrapped, not cut short.
    many << QStringLiteral("WWWWWWW MMMMMMMM WWWWWWW MMMMMMMM WWWWWWW MMMMMMMM WWWWWWW lastword");
    addItems(7, many);
    const QString pdf = dir.file(QStringLiteral("long.pdf"));
    const mode_t mask = umask(022);
    ASSERT_TRUE(PrintScriptToPdf(*store, progress, task, pdf));
    umask(mask);
    // The user's alone, whatever the umask.
    EXPECT_EQ(QFile::permissions(pdf) & 0x0077, 0);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(20000));
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("Page 2")));
    EXPECT_TRUE(out.contains(QStringLiteral("line 150")));
    EXPECT_TRUE(out.contains(QStringLiteral("lastword"))) << out.toStdString();
    EXPECT_GE(out.count(QLatin1Char('\f')), 2);
    // Every line once: none lost or doubled at a page break.
    EXPECT_EQ(out.count(QStringLiteral("line 1\n")), 1);
    EXPECT_EQ(out.count(QStringLiteral("Send Keystrokes")), 151);
    // The description heads every page.
    EXPECT_EQ(out.count(QStringLiteral("Nightly copy")), out.count(QLatin1Char('\f')));

    // "Print" shows the same pages in the preview.
    BrowseScript list(*ctx, task);
    int shown = -1;
    QString caption;
    QTimer::singleShot(0, [&] {
        if (auto* preview = qobject_cast<ReportPreview*>(QtReportOutput::openPreview())) {
            shown = preview->pageCount();
            caption = preview->windowTitle();
            preview->reject();
        }
    });
    Click(list, QStringLiteral("&Print"));
    EXPECT_EQ(shown, out.count(QLatin1Char('\f')));
    EXPECT_EQ(caption, QStringLiteral("Script"));
}

TEST_F(BrowseScriptTest, AnEmptyListOffersOnlyWhatWorksAndNoAcceleratorIsShared) {
    BrowseScript list(*ctx, task);
    EXPECT_EQ(AcceleratorClashes(&list), QStringList());
    for (const QString& b :
         {QStringLiteral("Cop&y"), QStringLiteral("&Edit"), QStringLiteral("&Delete"),
          QStringLiteral("Move record up one"), QStringLiteral("Move record to the top"),
          QStringLiteral("Move record down one"), QStringLiteral("Move record to the bottom")})
        EXPECT_FALSE(list.button(b)->isEnabled()) << b.toStdString();
    EXPECT_TRUE(list.button(QStringLiteral("&Add"))->isEnabled());
}

} // namespace
} // namespace kr::test
