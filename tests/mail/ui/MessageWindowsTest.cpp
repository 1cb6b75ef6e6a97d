#include "mail/ui/MessageWindows.h"
#include "../MailFixture.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedFileDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class MessageWindowsTest : public ::testing::Test {
protected:
    MessageWindowsTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        settings.sender = QStringLiteral("robot@kelvray.test");
        sender = std::make_unique<MailSender>(
            MailContext{*store, settings, clock, dialogs, *log, values, dir.path()});
        ctx = std::make_unique<MessageWindowContext>(MessageWindowContext{
            *store, dialogs, files, settings, IniFile(dir.file(QStringLiteral("POSITION.INI"))), *sender});
    }
    qint32 add(const QString& type, const QString& to, const QString& subject) {
        Table<Messages> t(*store);
        Messages m{};
        m.emailId = ++lastId;
        m.mailType = type;
        m.emailTo = to;
        m.subject = subject;
        EXPECT_EQ(t.add(m), Err::None);
        return m.emailId;
    }
    Messages get(qint32 id, Err* error = nullptr) {
        Table<Messages> t(*store);
        Messages m{};
        m.emailId = id;
        const Err e = t.get(Messages::KEYEMAILID, m);
        if (error != nullptr)
            *error = e;
        return m;
    }
    // Runs `fill` on the modal form once it shows.
    static void onForm(const std::function<void(UpdateMessages&)>& fill) {
        QTimer::singleShot(0, [fill] {
            auto* form = qobject_cast<UpdateMessages*>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr);
            fill(*form);
        });
    }
    static QString cell(QTableWidget* list, int row, int column) { return list->item(row, column)->text(); }

    TempDir dir;
    ScriptedDialogs dialogs;
    ScriptedFileDialogs files;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(10, 0, 0)};
    Settings settings;
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<MailSender> sender;
    std::unique_ptr<MessageWindowContext> ctx;
    qint32 lastId = 0;
};

TEST_F(MessageWindowsTest, ListShowsTypeRecipientSubjectAndLastSent) {
    add(QString(), QStringLiteral("ann@example.test"), QStringLiteral("Hello"));
    const qint32 mass = add(QStringLiteral("Mass Mailing"), QString(), QStringLiteral("To all"));
    {
        Table<Messages> t(*store);
        Messages m = get(mass);
        m.emailToGroup = QStringLiteral("Friends");
        m.lastDateSent = DateFromYmd(2026, 10, 31);
        ASSERT_EQ(t.put(m), Err::None);
    }
    BrowseMessages list(*ctx);
    EXPECT_EQ(list.windowTitle(), QStringLiteral("Email Messages"));
    ASSERT_EQ(list.list()->rowCount(), 2);
    EXPECT_EQ(cell(list.list(), 0, 0), QStringLiteral("Email"));
    EXPECT_EQ(cell(list.list(), 0, 1), QStringLiteral("ann@example.test"));
    EXPECT_EQ(cell(list.list(), 1, 0), QStringLiteral("Mass Mailing"));
    EXPECT_EQ(cell(list.list(), 1, 1), QStringLiteral("Friends"));
    EXPECT_EQ(cell(list.list(), 1, 2), QStringLiteral("To all"));
    EXPECT_EQ(cell(list.list(), 1, 3), FormatDate(DateFromYmd(2026, 10, 31), QStringLiteral("d3")));
    for (const char* b : {"&Add", "Cop&y", "&Edit", "&Delete", "Send &Now", "Cl&ose"})
        EXPECT_NE(list.button(QString::fromLatin1(b)), nullptr) << b;
    EXPECT_EQ(list.button(QStringLiteral("&Select")), nullptr);
}

TEST_F(MessageWindowsTest, AnEmptyListOffersOnlyAddAndClose) {
    BrowseMessages list(*ctx);
    for (const char* b : {"Cop&y", "&Edit", "&Delete", "Send &Now"})
        EXPECT_FALSE(list.button(QString::fromLatin1(b))->isEnabled()) << b;
    EXPECT_TRUE(list.button(QStringLiteral("&Add"))->isEnabled());
    add(QString(), QStringLiteral("ann@example.test"), QStringLiteral("Hello"));
    list.refresh();
    for (const char* b : {"Cop&y", "&Edit", "&Delete", "Send &Now"})
        EXPECT_TRUE(list.button(QString::fromLatin1(b))->isEnabled()) << b;
}

TEST_F(MessageWindowsTest, AddChangeCopyAndCancel) {
    add(QString(), QStringLiteral("first@example.test"), QStringLiteral("First"));
    BrowseMessages list(*ctx);
    onForm([](UpdateMessages& f) {
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Adding/Changing an Email Message"));
        f.field(QStringLiteral("To:"))->setText(QStringLiteral("bob@example.test"));
        f.field(QStringLiteral("Subject:"))->setText(QStringLiteral("Weekly [DATE]"));
        f.bodyField()->setPlainText(QString(12000, QLatin1Char('x')));
        f.accept();
    });
    list.addMessage();
    Err e = Err::None;
    Messages added = get(2, &e);
    ASSERT_EQ(e, Err::None);
    EXPECT_EQ(Clip(added.emailTo), QStringLiteral("bob@example.test"));
    EXPECT_EQ(Clip(added.subject), QStringLiteral("Weekly [DATE]"));
    EXPECT_EQ(added.message.size(), 10000);
    EXPECT_EQ(list.currentId(), 2);

    // A cancelled addition gives its reserved number back.
    onForm([](UpdateMessages& f) { f.reject(); });
    list.addMessage();
    get(3, &e);
    EXPECT_EQ(e, Err::RecordNotFound);

    onForm([](UpdateMessages& f) {
        EXPECT_EQ(f.field(QStringLiteral("To:"))->text(), QStringLiteral("bob@example.test"));
        f.field(QStringLiteral("Subject:"))->setText(QStringLiteral("Changed"));
        f.accept();
    });
    list.editMessage();
    EXPECT_EQ(Clip(get(2).subject), QStringLiteral("Changed"));
    EXPECT_EQ(cell(list.list(), 1, 2), QStringLiteral("Changed"));

    onForm([](UpdateMessages& f) { f.accept(); });
    list.copyMessage();
    EXPECT_EQ(Clip(get(3).subject), QStringLiteral("Changed"));
    EXPECT_EQ(list.list()->rowCount(), 3);
}

TEST_F(MessageWindowsTest, TypeChoosesTheRecipientFields) {
    {
        Table<ContactCategories> t(*store);
        for (const char* name : {"Club", "Friends"}) {
            ContactCategories c{};
            c.contactCategory = QString::fromLatin1(name);
            ASSERT_EQ(t.add(c), Err::None);
        }
    }
    const qint32 id = add(QString(), QStringLiteral("ann@example.test"), QStringLiteral("s"));
    Table<Messages> t(*store);
    Messages m = get(id);
    {
        UpdateMessages form(*ctx, Request::Change, m);
        EXPECT_TRUE(form.rowShown(QStringLiteral("To:")));
        EXPECT_TRUE(form.rowShown(QStringLiteral("Bcc:")));
        EXPECT_FALSE(form.rowShown(QStringLiteral("Contact category:")));
        EXPECT_FALSE(form.rowShown(QStringLiteral("Newsgroup:")));
        form.typeField()->setCurrentText(QStringLiteral("Mass Mailing"));
        EXPECT_FALSE(form.rowShown(QStringLiteral("To:")));
        EXPECT_TRUE(form.rowShown(QStringLiteral("Contact category:")));
        EXPECT_EQ(form.categoryField()->count(), 2);
        form.categoryField()->setCurrentText(QStringLiteral("Friends"));
        form.accept();
    }
    m = get(id);
    EXPECT_EQ(Clip(m.mailType), QStringLiteral("Mass Mailing"));
    EXPECT_EQ(Clip(m.emailToGroup), QStringLiteral("Friends"));
    {
        UpdateMessages form(*ctx, Request::Change, m);
        form.typeField()->setCurrentText(QStringLiteral("News"));
        EXPECT_TRUE(form.rowShown(QStringLiteral("Newsgroup:")));
        EXPECT_TRUE(form.rowShown(QStringLiteral("Group name:")));
        EXPECT_FALSE(form.rowShown(QStringLiteral("Cc:")));
        form.field(QStringLiteral("Newsgroup:"))->setText(QStringLiteral("local.test"));
        form.field(QStringLiteral("Group name:"))->setText(QStringLiteral("Local"));
        files.answer(QStringLiteral("/tmp/report.pdf"));
        for (auto* b : form.findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("&Browse..."))
                b->click();
        EXPECT_EQ(form.field(QStringLiteral("Attachment:"))->text(), QStringLiteral("/tmp/report.pdf"));
        form.accept();
    }
    m = get(id);
    EXPECT_EQ(Clip(m.mailType), QStringLiteral("News"));
    EXPECT_EQ(Clip(m.emailTo), QStringLiteral("local.test"));
    EXPECT_EQ(Clip(m.emailToName), QStringLiteral("Local"));
    EXPECT_EQ(Clip(m.attachment), QStringLiteral("/tmp/report.pdf"));
}

TEST_F(MessageWindowsTest, DeletingAMessageInUseAsksFirst) {
    const qint32 id = add(QString(), QStringLiteral("ann@example.test"), QStringLiteral("s"));
    {
        Table<Scripting> items(*store);
        Scripting s{};
        s.id = 1;
        s.sequence = 1;
        s.action = QStringLiteral("Send Email");
        s.emailId = id;
        ASSERT_EQ(items.add(s), Err::None);
    }
    BrowseMessages list(*ctx);
    dialogs.answer(Dialogs::No);
    list.deleteMessage();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("This message is sent by 1 script item(s). Delete it anyway?"));
    Err e = Err::None;
    get(id, &e);
    EXPECT_EQ(e, Err::None);

    dialogs.answer(Dialogs::Yes);
    dialogs.answer(Dialogs::Ok);
    list.deleteMessage();
    EXPECT_EQ(dialogs.shown.back().caption, QStringLiteral("Confirm Delete"));
    get(id, &e);
    EXPECT_EQ(e, Err::RecordNotFound);
    EXPECT_EQ(list.list()->rowCount(), 0);
}

TEST_F(MessageWindowsTest, PickerReturnsTheChosenMessage) {
    add(QString(), QStringLiteral("a@example.test"), QStringLiteral("A"));
    const qint32 second = add(QString(), QStringLiteral("b@example.test"), QStringLiteral("B"));
    QTimer::singleShot(0, [] {
        auto* list = QApplication::activeModalWidget()->findChild<BrowseMessages*>();
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->currentId(), 1);
        list->list()->selectRow(1);
        list->button(QStringLiteral("&Select"))->click();
    });
    EXPECT_EQ(PickMessage(*ctx, 1), second);
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->findChild<BrowseMessages*>()->close(); });
    EXPECT_EQ(PickMessage(*ctx, 0), 0);
}

TEST_F(MessageWindowsTest, SendNowReportsTheOutcome) {
    settings.host = QStringLiteral("127.0.0.1:1");
    add(QString(), QStringLiteral("ann@example.test"), QStringLiteral("s"));
    BrowseMessages list(*ctx);
    list.sendNow();
    QElapsedTimer t;
    t.start();
    while (dialogs.shown.empty() && t.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Send Now"));
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Failed to connect. Mail Server not found!"));
}

TEST_F(MessageWindowsTest, ClosingTheListDuringSendNowWaitsForNothingAndTheSendEndsStampedAndLogged) {
    settings.logEvents = true;
    const QString inbox = dir.file(QStringLiteral("inbox"));
    QDir().mkpath(inbox);
    for (const double stall : {1.0, 0.0}) {
        PythonServer server(QStringLiteral("smtp_server.py"),
                            {inbox, QStringLiteral("--stall"), QString::number(stall)});
        settings.host = server.address();
        const qint32 id = add(QString(), QStringLiteral("ann@example.test"), QStringLiteral("s"));
        auto* list = new BrowseMessages(*ctx);
        list->list()->selectRow(list->list()->rowCount() - 1);
        list->sendNow();
        EXPECT_FALSE(list->button(QStringLiteral("Send &Now"))->isEnabled());
        if (stall == 0.0) {
            // The send has ended on its worker; its end is not yet taken when the list closes.
            QElapsedTimer t;
            t.start();
            while (QDir(inbox).entryList({QStringLiteral("*.json")}).size() < 2 && t.elapsed() < 20000)
                QThread::msleep(10);
            QThread::msleep(300);
        }
        QElapsedTimer closing;
        closing.start();
        list->close();
        delete list;
        EXPECT_LT(closing.elapsed(), 200);
        QElapsedTimer t;
        t.start();
        while (sender->busy() && t.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(get(id).lastDateSent, clock.today()) << stall;
    }
    QFile f(dir.file(kEventLogName));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()).count(QStringLiteral("Sent ann@example.test")), 2);
    // The list that asked is gone: nobody to tell.
    EXPECT_TRUE(dialogs.shown.empty());
}

} // namespace
} // namespace kr::test
