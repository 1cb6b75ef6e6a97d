// The clipboard seam and the poll against a real X clipboard owned by another program.

#include "clipboard/PollClipboard.h"
#include "clipboard/ui/ClipboardWindows.h"
#include "platform/qt/QtClipboard.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class XClipboardTest : public ::testing::Test {
protected:
    XClipboardTest() {
        owner.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        owner.start(QStringLiteral(CLIPBOARD_OWNER), {});
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        poll = std::make_unique<ClipboardPoll>(ClipboardPollContext{*store, settings, clock, clipboard, {}});
    }
    ~XClipboardTest() override {
        owner.closeWriteChannel();
        if (!owner.waitForFinished(5000))
            owner.kill();
    }
    QString command(const QByteArray& name, const QString& text = {}) {
        owner.write(name + ' ' + text.toUtf8().toHex() + '\n');
        QElapsedTimer t;
        t.start();
        // The owner may have to ask this program for the clipboard: keep serving it.
        while (!owner.canReadLine() && t.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            owner.waitForReadyRead(20);
        }
        return QString::fromUtf8(QByteArray::fromHex(owner.readLine().trimmed()));
    }
    // Offers the text from the other program and waits until Qt here has heard of it.
    void offer(const QString& text, bool secret = false) {
        // Late news of an earlier change are taken first, so that the wait below is for this one.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 150)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (clipboard.changed())
            clipboard.content();
        command(secret ? "secret" : "offer", text);
        QElapsedTimer t;
        t.start();
        while (!clipboard.changed() && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(clipboard.changed());
    }
    void pollTimes(int n) {
        for (int i = 0; i < n; ++i)
            poll->poll();
    }
    QStringList texts() {
        Table<Clipboard> t(*store);
        QStringList out;
        Clipboard r{};
        t.set(Clipboard::KEYCLIPDATE);
        while (t.next(r) == Err::None)
            out << r.clipContents;
        return out;
    }

    QProcess owner;
    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    std::unique_ptr<Store> store;
    Settings settings;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 0, 0)};
    QtClipboard clipboard;
    std::unique_ptr<ClipboardPoll> poll;
};

TEST_F(XClipboardTest, KeepsWhatAnotherProgramOffers) {
    ASSERT_TRUE(owner.waitForStarted(10000));
    offer(QStringLiteral("alpha words\tfrom afar"));
    pollTimes(3);
    EXPECT_TRUE(texts().isEmpty());
    pollTimes(1);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("alpha words\tfrom afar")});
    const int reads = clipboard.reads();
    // Nothing changed: the clipboard's owner is not asked again.
    pollTimes(9);
    EXPECT_EQ(clipboard.reads(), reads);

    offer(QStringLiteral("hunter2 secret words"), true);
    pollTimes(3);
    offer(QStringLiteral("plain words"));
    pollTimes(3);
    EXPECT_EQ(texts(),
              (QStringList{QStringLiteral("alpha words\tfrom afar"), QStringLiteral("plain words")}));

    QString longText;
    for (int i = 0; i < 5000; ++i)
        longText += QChar(u'a' + i % 26);
    offer(longText);
    pollTimes(3);
    EXPECT_EQ(texts().size(), 3);
    EXPECT_EQ(texts().last(), longText.left(4096));
}

TEST_F(XClipboardTest, CopyBackReachesTheOtherProgramWithoutANewEntry) {
    ASSERT_TRUE(owner.waitForStarted(10000));
    offer(QStringLiteral("first saved text   "));
    pollTimes(4);
    offer(QStringLiteral("second text"));
    pollTimes(3);
    ASSERT_EQ(texts().size(), 2);
    ClipboardWindowContext ctx{
        *store, dialogs, settings, clipboard, IniFile(dir.file(QStringLiteral("P.INI"))), {}};
    BrowseClipboard w(ctx);
    w.list()->selectRow(0);
    w.copyToClipboard();
    EXPECT_EQ(command("print"), QStringLiteral("first saved text"));
    pollTimes(6);
    EXPECT_EQ(texts().size(), 2);
}

} // namespace
} // namespace kr::test
