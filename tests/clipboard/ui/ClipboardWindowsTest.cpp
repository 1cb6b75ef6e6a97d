#include "clipboard/ui/ClipboardWindows.h"
#include "clipboard/PollClipboard.h"
#include "organizer/RecordListModel.h"
#include "platform/Text.h"
#include "store/Table.h"
#include "store/Transaction.h"
#include "support/FakeClipboard.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class ClipboardWindowsTest : public ::testing::Test {
protected:
    ClipboardWindowsTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        ctx = std::make_unique<ClipboardWindowContext>(ClipboardWindowContext{
            *store, dialogs, settings, clipboard, IniFile(dir.file(QStringLiteral("POSITION.INI"))),
            [this](const QString& text) { ran << text; }});
    }
    void add(const QString& text, bool keep, const QString& user = {}) {
        Table<Clipboard> t(*store);
        Clipboard r{};
        r.user = user;
        r.clipContents = text;
        r.clipHashKey = ClipboardDigest(text);
        r.clipKeep = keep ? 1 : 0;
        r.clipDate = clock.today();
        r.clipTime = clock.now();
        clock.advance(100);
        ASSERT_EQ(t.add(r), Err::None);
    }
    std::vector<Clipboard> entries() {
        Table<Clipboard> t(*store);
        std::vector<Clipboard> out;
        Clipboard r{};
        t.set(Clipboard::KEYCLIPDATE);
        while (t.next(r) == Err::None)
            out.push_back(r);
        return out;
    }
    // The cell as the list shows it.
    static QVariant cell(BrowseClipboard& w, int row, int column, int role = Qt::DisplayRole) {
        return w.list()->model()->index(row, column).data(role);
    }
    static QString text(BrowseClipboard& w, int row) { return cell(w, row, 1).toString(); }
    static int rowOf(BrowseClipboard& w, const QString& shown) {
        for (int row = 0; row < w.list()->model()->rowCount(); ++row)
            if (text(w, row) == shown)
                return row;
        return -1;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    std::unique_ptr<Store> store;
    Settings settings;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 0, 0)};
    FakeClipboard clipboard;
    std::unique_ptr<ClipboardWindowContext> ctx;
    QStringList ran;
};

TEST_F(ClipboardWindowsTest, ListShowsMarksColoursAndBothOrders) {
    add(QStringLiteral("zebra plain"), false);
    add(QStringLiteral("see https://example.org"), true);
    add(QStringLiteral("line one\nline two"), false, QStringLiteral("other"));
    BrowseClipboard w(*ctx);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Browse Clipboard Saver"));
    ASSERT_EQ(w.list()->model()->rowCount(), 3); // every user's entries
    // By date: the blank user's ordinary entry, then the kept one, then the other user's.
    EXPECT_EQ(text(w, 0), QStringLiteral("zebra plain"));
    EXPECT_EQ(text(w, 1), QStringLiteral("see https://example.org"));
    EXPECT_EQ(text(w, 2), QStringLiteral("line one\u21B5line two"));
    EXPECT_FALSE(cell(w, 0, 0, Qt::DecorationRole).isValid());
    EXPECT_TRUE(cell(w, 1, 0, Qt::DecorationRole).canConvert<QIcon>());
    EXPECT_EQ(cell(w, 1, 1, Qt::ForegroundRole).value<QColor>(), QColor(Qt::blue));
    EXPECT_FALSE(cell(w, 0, 1, Qt::ForegroundRole).isValid());
    w.tabs()->setCurrentIndex(1);
    EXPECT_EQ(text(w, 0), QStringLiteral("see https://example.org"));
    EXPECT_EQ(text(w, 1), QStringLiteral("zebra plain"));
    EXPECT_EQ(ClipboardListText(QString(300, QLatin1Char('x'))).size(), 255);

    // The column layout is kept for the next window.
    w.list()->setColumnWidth(1, 333);
    w.close();
    EXPECT_EQ(ctx->positions.read(QStringLiteral("BrowseClipboard"), QStringLiteral("SRCF?Browse:1")),
              w.currentFormat());
    BrowseClipboard again(*ctx);
    EXPECT_EQ(again.list()->columnWidth(1), 333);
}

// Whether the row of the list, as drawn, holds a pixel of the colour.
bool RowShows(QTableView* list, int row, const QColor& colour) {
    const QImage image = list->viewport()->grab().toImage();
    const QRect rect = list->visualRect(list->model()->index(row, 1)).intersected(image.rect());
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

TEST_F(ClipboardWindowsTest, LinksAreBlueAndAquaWhenSelected) {
    add(QStringLiteral("WWWWWWWW plain MMMMMMMM"), false);
    add(QStringLiteral("MMMMMMMM mailto:someone@example.org MMMMMMMM"), false);
    BrowseClipboard w(*ctx);
    w.resize(800, 300);
    w.show();
    const QColor blue(Qt::blue);
    const QColor aqua(0, 255, 255);
    w.list()->selectRow(0);
    EXPECT_TRUE(RowShows(w.list(), 1, blue));
    EXPECT_FALSE(RowShows(w.list(), 1, aqua));
    EXPECT_FALSE(RowShows(w.list(), 0, blue));
    w.list()->selectRow(1);
    EXPECT_TRUE(RowShows(w.list(), 1, aqua));
    EXPECT_FALSE(RowShows(w.list(), 1, blue));
}

TEST_F(ClipboardWindowsTest, DeletingAKeptEntryAsksFirst) {
    add(QStringLiteral("ordinary"), false);
    add(QStringLiteral("precious"), true);
    BrowseClipboard w(*ctx);
    w.list()->selectRow(rowOf(w, QStringLiteral("precious")));
    dialogs.answer(Dialogs::No);
    w.deleteEntry();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("This clipboard record has a \"Save\" indicator.  Are you "
                             "sure you want to delete it?"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Delete Record"));
    EXPECT_EQ(dialogs.shown[0].defaultButton, Dialogs::No);
    EXPECT_EQ(entries().size(), 2u);
    dialogs.answer(Dialogs::Yes);
    w.deleteEntry();
    EXPECT_EQ(entries().size(), 1u);
    EXPECT_EQ(w.list()->model()->rowCount(), 1);
    // An ordinary entry goes without a question; the Delete key deletes too.
    w.list()->selectRow(0);
    QTest::keyClick(w.list(), Qt::Key_Delete);
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_TRUE(entries().empty());
}

TEST_F(ClipboardWindowsTest, ToggleCopyRunAndView) {
    add(QStringLiteral("open http://example.org now   "), false);
    BrowseClipboard w(*ctx);
    w.list()->selectRow(0);
    w.toggleSave();
    EXPECT_EQ(entries().front().clipKeep, 1);
    EXPECT_TRUE(cell(w, 0, 0, Qt::DecorationRole).isValid());
    w.toggleSave();
    EXPECT_EQ(entries().front().clipKeep, 0);
    EXPECT_TRUE(dialogs.shown.empty());

    w.copyToClipboard();
    EXPECT_EQ(clipboard.puts, QStringList{QStringLiteral("open http://example.org now")});
    // Run is given the entry's text as the table holds it.
    w.run();
    ASSERT_EQ(ran.size(), 1);
    EXPECT_EQ(Clip(ran[0]), QStringLiteral("open http://example.org now"));

    QTimer::singleShot(0, [] {
        auto* form = qobject_cast<UpdateClipboard*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Clipboard Record"));
        EXPECT_FALSE(form->okButton()->isEnabled());
        EXPECT_FALSE(form->keepBox()->isEnabled());
        EXPECT_TRUE(form->textField()->isReadOnly());
        EXPECT_EQ(form->textField()->toPlainText(), QStringLiteral("open http://example.org now"));
        form->reject();
    });
    w.view();
}

TEST_F(ClipboardWindowsTest, CopiedBackTextMakesNoNewEntry) {
    add(QStringLiteral("already saved"), false);
    ClipboardPoll poll({*store, settings, clock, clipboard, {}});
    BrowseClipboard w(*ctx);
    w.list()->selectRow(0);
    w.copyToClipboard();
    for (int i = 0; i < 8; ++i)
        poll.poll();
    EXPECT_EQ(entries().size(), 1u);
}

TEST_F(ClipboardWindowsTest, ALargeHistoryIsReadOnlyWhereItIsSeen) {
    constexpr int kEntries = 3000;
    {
        Table<Clipboard> t(*store);
        Transaction tx;
        tx.begin({&t});
        for (int i = 0; i < kEntries; ++i) {
            Clipboard r{};
            r.clipContents = QStringLiteral("entry %1 %2")
                                 .arg(i, 5, 10, QLatin1Char('0'))
                                 .arg(QString(i % 26 + 1, QLatin1Char('q')));
            r.clipHashKey = ClipboardDigest(r.clipContents) + QString::number(i);
            r.clipDate = clock.today() - kEntries + i;
            r.clipTime = 100;
            ASSERT_EQ(t.add(r), Err::None);
        }
        ASSERT_EQ(tx.commit(), Err::None);
    }
    BrowseClipboard w(*ctx);
    QAbstractItemModelTester tester(w.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    w.resize(640, 360);
    w.show();
    QApplication::processEvents();
    ASSERT_EQ(w.list()->model()->rowCount(), kEntries);
    EXPECT_EQ(text(w, 0), QStringLiteral("entry 00000 q"));
    EXPECT_LE(w.model()->pagesRead(), 2);
    // The end of the list: the newest entry, read without the rows between.
    w.list()->scrollToBottom();
    QApplication::processEvents();
    EXPECT_EQ(text(w, kEntries - 1),
              QStringLiteral("entry 02999 %1").arg(QString(2999 % 26 + 1, QLatin1Char('q'))));
    EXPECT_LE(w.model()->pagesRead(), 4);

    // A new entry before the highlighted one: the same entry stays highlighted.
    w.list()->selectRow(1500);
    const qint64 highlighted = w.currentRow();
    {
        Table<Clipboard> t(*store);
        Clipboard r{};
        r.clipContents = QStringLiteral("older than all");
        r.clipHashKey = ClipboardDigest(r.clipContents);
        r.clipDate = 1;
        ASSERT_EQ(t.add(r), Err::None);
    }
    ASSERT_TRUE(w.refresh());
    EXPECT_EQ(w.currentRow(), highlighted);
    EXPECT_EQ(w.list()->currentIndex().row(), 1501);
    EXPECT_EQ(text(w, 0), QStringLiteral("older than all"));
    // The entry is deleted: the row that took its place is highlighted.
    w.deleteEntry();
    EXPECT_EQ(w.list()->model()->rowCount(), kEntries);
    EXPECT_EQ(w.list()->currentIndex().row(), 1501);
    EXPECT_NE(w.currentRow(), highlighted);
}

} // namespace
} // namespace kr::test
