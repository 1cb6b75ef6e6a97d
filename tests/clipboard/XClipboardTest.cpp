// The clipboard seam and the poll against a real X clipboard owned by other programs: read on
// a connection of its own, and through Qt where no such reader is given.

#include "clipboard/PollClipboard.h"
#include "clipboard/ui/ClipboardWindows.h"
#include "platform/qt/QtClipboard.h"
#include "platform/x11/X11ClipboardReader.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTableView>

#include <gtest/gtest.h>

#include <csignal>

namespace kr::test {
namespace {

void Serve(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Another program that owns the clipboard (tests/support/clipboardowner.cpp).
class Owner {
public:
    Owner() {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(CLIPBOARD_OWNER), {});
        started_ = process_.waitForStarted(10000);
    }
    ~Owner() {
        resume();
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }
    bool started() const { return started_; }
    QString command(const QByteArray& name, const QByteArray& argument = {}) {
        process_.write(name + ' ' + argument.toHex() + '\n');
        QElapsedTimer t;
        t.start();
        // The owner may have to ask this program for the clipboard: keep serving it.
        while (!process_.canReadLine() && t.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            process_.waitForReadyRead(20);
        }
        return QString::fromUtf8(QByteArray::fromHex(process_.readLine().trimmed()));
    }
    // A program that hangs: it keeps the clipboard and answers nobody.
    void hang() { ::kill(static_cast<pid_t>(process_.processId()), SIGSTOP); }
    void resume() { ::kill(static_cast<pid_t>(process_.processId()), SIGCONT); }

private:
    QProcess process_;
    bool started_ = false;
};

class XClipboardTest : public ::testing::Test {
protected:
    XClipboardTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
    }
    // The clipboard as the program makes it on X11.
    void useReader(X11ClipboardReader::Limits limits = {}) {
        auto made = X11ClipboardReader::open({}, limits);
        reader = made.get();
        ASSERT_NE(reader, nullptr);
        clipboard = std::make_unique<QtClipboard>(std::move(made));
        makePoll();
    }
    // The clipboard read through Qt, as on Wayland.
    void useQt() {
        clipboard = std::make_unique<QtClipboard>();
        makePoll();
    }
    // The poll, its first three calls made: the next call checks, and so every third after it.
    void makePoll() {
        poll = std::make_unique<ClipboardPoll>(ClipboardPollContext{*store, settings, clock, *clipboard, {}});
        for (int i = 0; i < 3; ++i)
            poll->poll();
    }
    // Offers the text from the owner and waits until this program has heard of the new owner.
    void offer(const QString& text, bool secret = false) {
        // Late news of an earlier change are taken first, so that the wait below is for this one.
        Serve(150);
        if (clipboard->changed()) {
            clipboard->content();
            settle();
            clipboard->content();
        }
        owner.command(secret ? "secret" : "offer", text.toUtf8());
        QElapsedTimer t;
        t.start();
        while (!clipboard->changed() && t.elapsed() < 5000)
            Serve(20);
        ASSERT_TRUE(clipboard->changed());
    }
    // Waits until the read under way has ended, serving this program's own clipboard meanwhile.
    void settle() {
        QElapsedTimer t;
        t.start();
        while (reader != nullptr && reader->busy() && t.elapsed() < 10000)
            Serve(10);
    }
    // Polls n times; returns the longest call in milliseconds.
    double pollTimes(int n) {
        double longest = 0;
        for (int i = 0; i < n; ++i) {
            QElapsedTimer t;
            t.start();
            poll->poll();
            longest = std::max(longest, static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
        return longest;
    }
    // One check of the poll and the two calls after it that only count; the longest call.
    double check() { return pollTimes(3); }
    // Two checks with the read between them: the first asks, the second finds.
    double checkTwice() {
        const double first = check();
        settle();
        return std::max(first, check());
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

    Owner owner;
    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    std::unique_ptr<Store> store;
    Settings settings;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 0, 0)};
    X11ClipboardReader* reader = nullptr;
    std::unique_ptr<QtClipboard> clipboard;
    std::unique_ptr<ClipboardPoll> poll;
};

TEST_F(XClipboardTest, KeepsWhatAnotherProgramOffers) {
    ASSERT_TRUE(owner.started());
    useReader();
    offer(QStringLiteral("alpha words\tfrom afar"));
    check(); // asks for the text
    settle();
    EXPECT_TRUE(texts().isEmpty());
    check();
    EXPECT_EQ(texts(), QStringList{QStringLiteral("alpha words\tfrom afar")});
    const int reads = clipboard->reads();
    const int finished = reader->stats().finished;
    // Nothing changed: the clipboard's owner is not asked again.
    pollTimes(9);
    settle();
    EXPECT_EQ(clipboard->reads(), reads);
    EXPECT_EQ(reader->stats().finished, finished);

    // A password manager's secret is neither kept nor even taken from its owner.
    offer(QStringLiteral("hunter2 secret words"), true);
    checkTwice();
    EXPECT_TRUE(IsSecret(clipboard->content()));
    EXPECT_TRUE(clipboard->content().text.isEmpty());
    offer(QStringLiteral("plain words"));
    checkTwice();
    EXPECT_EQ(texts(),
              (QStringList{QStringLiteral("alpha words\tfrom afar"), QStringLiteral("plain words")}));
    EXPECT_FALSE(IsSecret(clipboard->content()));
}

TEST_F(XClipboardTest, AnOwnerThatNeverAnswersHoldsUpNoTick) {
    ASSERT_TRUE(owner.started());
    useReader({4 * 4096 + 4, 800});
    offer(QStringLiteral("first words"));
    checkTwice();
    ASSERT_EQ(texts(), QStringList{QStringLiteral("first words")});

    offer(QStringLiteral("words nobody hands over"));
    owner.hang();
    double longest = 0;
    for (int i = 0; i < 4; ++i) {
        longest = std::max(longest, check());
        Serve(300);
    }
    // Every tick returned at once (Qt's own read waits 5 s for each of its three questions).
    EXPECT_LT(longest, 500.0);
    EXPECT_GE(reader->stats().abandoned, 1);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("first words")});

    // Once it answers again, its text arrives.
    owner.resume();
    Serve(300);
    for (int i = 0; i < 4 && texts().size() < 2; ++i)
        checkTwice();
    EXPECT_EQ(texts(),
              (QStringList{QStringLiteral("first words"), QStringLiteral("words nobody hands over")}));
}

TEST_F(XClipboardTest, ANewOwnerIsReadWhileAnOldOneHangs) {
    ASSERT_TRUE(owner.started());
    Owner second;
    ASSERT_TRUE(second.started());
    useReader({4 * 4096 + 4, 60000}); // no time limit would end the hung read
    offer(QStringLiteral("words of a hung program"));
    owner.hang();
    check(); // the read of the hung owner begins
    Serve(200);
    EXPECT_TRUE(reader->busy());
    // The news of the new owner ends that read, and the new owner is read at once.
    second.command("offer", QByteArrayLiteral("words of a live program"));
    settle();
    EXPECT_FALSE(reader->busy());
    check();
    EXPECT_EQ(texts(), QStringList{QStringLiteral("words of a live program")});
    EXPECT_EQ(reader->stats().abandoned, 1);
}

TEST_F(XClipboardTest, AHugeTextIsTakenOnlyAsFarAsItIsKept) {
    ASSERT_TRUE(owner.started());
    useReader();
    auto letters = [](qsizetype n) {
        QString s(n, QLatin1Char('a'));
        for (qsizetype i = 0; i < n; ++i)
            s[i] = QChar(static_cast<char16_t>(u'a' + i % 26));
        return s;
    };
    // One megabyte arrives in one piece; twenty do not fit a request and come in many.
    for (const QByteArray& size : {QByteArrayLiteral("1000000"), QByteArrayLiteral("20000000")}) {
        SCOPED_TRACE(size.constData());
        const qint64 before = reader->stats().bytes;
        const int cut = reader->stats().cutShort;
        Serve(150);
        owner.command("big", size);
        QElapsedTimer t;
        t.start();
        while (!clipboard->changed() && t.elapsed() < 5000)
            Serve(20);
        EXPECT_LT(checkTwice(), 500.0);
        EXPECT_EQ(reader->stats().cutShort, cut + 1);
        EXPECT_LT(reader->stats().bytes - before, 64 * 1024);
        EXPECT_EQ(clipboard->content().text.left(4096), letters(4096));
    }
    const QStringList kept = texts();
    ASSERT_EQ(kept.size(), 1); // the same first 4,096 characters: one entry
    EXPECT_EQ(kept.first(), letters(4096));

    // Text cut in the middle of a character ends before it.
    QString euros(9000, QChar(0x20AC));
    offer(euros);
    checkTwice();
    const QString read = clipboard->content().text;
    EXPECT_GE(read.size(), 4096);
    EXPECT_EQ(read, QString(read.size(), QChar(0x20AC)));
    EXPECT_EQ(texts().last(), euros.left(4096));
}

TEST_F(XClipboardTest, CopyBackReachesTheOtherProgramWithoutANewEntry) {
    ASSERT_TRUE(owner.started());
    useReader();
    offer(QStringLiteral("first saved text   "));
    checkTwice();
    offer(QStringLiteral("second text"));
    checkTwice();
    ASSERT_EQ(texts().size(), 2);
    ClipboardWindowContext ctx{
        *store, dialogs, settings, *clipboard, IniFile(dir.file(QStringLiteral("P.INI"))), {}};
    BrowseClipboard w(ctx);
    w.list()->selectRow(0);
    w.copyToClipboard();
    EXPECT_EQ(owner.command("print"), QStringLiteral("first saved text"));
    // This program owns the clipboard now, and its own reader asks it (the GUI thread answers).
    for (int i = 0; i < 2; ++i)
        checkTwice();
    EXPECT_EQ(clipboard->content().text, QStringLiteral("first saved text"));
    EXPECT_EQ(texts().size(), 2);
}

TEST_F(XClipboardTest, ThroughQtWithoutAReaderOfItsOwn) {
    ASSERT_TRUE(owner.started());
    useQt();
    offer(QStringLiteral("alpha words\tfrom afar"));
    check(); // Qt reads while the tick waits
    EXPECT_EQ(texts(), QStringList{QStringLiteral("alpha words\tfrom afar")});
    const int reads = clipboard->reads();
    pollTimes(9);
    EXPECT_EQ(clipboard->reads(), reads);
    offer(QStringLiteral("hunter2 secret words"), true);
    check();
    EXPECT_EQ(texts().size(), 1);
    EXPECT_TRUE(IsSecret(clipboard->content()));
}

} // namespace
} // namespace kr::test
