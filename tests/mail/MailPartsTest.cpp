#include "mail/Composer.h"
#include "mail/MailingProgress.h"
#include "mail/Nntp.h"
#include "mail/Replies.h"
#include "mail/Transcript.h"
#include "support/TempDir.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

TEST(MailErrorTextTest, EveryCodeHasItsText) {
    const QStringList texts{QStringLiteral("Bad arguments from form"),
                            QStringLiteral("Unable to open temporary mailfile for read"),
                            QStringLiteral("Failed to start sockets"),
                            QStringLiteral("Failed to resolve host"),
                            QStringLiteral("Failed to obtain socket handle"),
                            QStringLiteral("Failed to connect. Mail Server not found!"),
                            QStringLiteral("Failed to send"),
                            QStringLiteral("Failed to receive"),
                            QStringLiteral("Mail Server Error:\r"),
                            QStringLiteral("Failed to resolve the host IP name"),
                            QStringLiteral("Out of memory"),
                            QStringLiteral("Failed to open temporary file"),
                            QStringLiteral("Unknown error"),
                            QStringLiteral("User Cancel"),
                            QStringLiteral("No recipiens specified")};
    for (int code = 1; code <= 15; ++code)
        EXPECT_EQ(MailErrorText(code), texts[code - 1]) << code;
    EXPECT_EQ(MailErrorText(16), QStringLiteral("Unknown error"));
    EXPECT_EQ(MailErrorText(1001), QStringLiteral("Unknown error"));
    EXPECT_EQ(MailErrorText(9, QString(300, QLatin1Char('x'))).size(), 254);
}

TEST(MailRequestTest, TextsRecipientsAndAddresses) {
    EXPECT_EQ(MailRequest::text(QString(250, QLatin1Char('a')) + QStringLiteral("   ")).size(), 199);
    QList<Recipient> list;
    MailRequest::addRecipient(list, QStringLiteral("Ann  "), QStringLiteral("   "));
    EXPECT_TRUE(list.isEmpty());
    MailRequest::addRecipient(list, QStringLiteral("Ann  "), QStringLiteral("ann@x.test  "));
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].name, QStringLiteral("Ann"));
    EXPECT_EQ(list[0].address, QStringLiteral("ann@x.test"));
    EXPECT_EQ(
        SplitAddresses(QStringLiteral(" a@x.test; b@x.test,,c@x.test ")),
        (QStringList{QStringLiteral("a@x.test"), QStringLiteral("b@x.test"), QStringLiteral("c@x.test")}));
    EXPECT_TRUE(IsSafeAddress(QStringLiteral("a.b+c@x.test")));
    for (const char* bad : {"a b@x", "a@x>", "<a@x", "a@x\r\nRCPT TO:<b@y>", ""})
        EXPECT_FALSE(IsSafeAddress(QString::fromLatin1(bad))) << bad;
}

TEST(MailRequestTest, AddressesAsPeopleWriteThem) {
    EXPECT_EQ(SplitAddresses(QStringLiteral("\"Doe, John\" <j@x.test>; Ann <a@x.test>, <b,c@x.test>")),
              (QStringList{QStringLiteral("\"Doe, John\" <j@x.test>"), QStringLiteral("Ann <a@x.test>"),
                           QStringLiteral("<b,c@x.test>")}));
    struct Case {
        const char* written;
        const char* name;
        const char* address;
        bool valid;
    };
    for (const Case& c :
         {Case{"  bob@x.test\t", "", "bob@x.test", true}, Case{"Bob <bob@x.test>", "Bob", "bob@x.test", true},
          Case{"\"Doe, \\\"Bo\\\"\" <bob@x.test>", "Doe, \"Bo\"", "bob@x.test", true},
          Case{"<bob@x.test>", "", "bob@x.test", true},
          Case{"bob@x.test (Bob Able)", "Bob Able", "bob@x.test", true},
          Case{"MAILTO:bob@x.test", "", "bob@x.test", true},
          Case{"Bob <bob@x.test> extra", "", "Bob <bob@x.test> extra", false},
          Case{"Bob <bob @x.test>", "Bob", "bob @x.test", false},
          Case{"bob@x.test>", "", "bob@x.test>", false}, Case{"", "", "", false}}) {
        const ParsedAddress a = ParseAddress(QString::fromUtf8(c.written));
        EXPECT_EQ(a.name, QString::fromUtf8(c.name)) << c.written;
        EXPECT_EQ(a.address, QString::fromUtf8(c.address)) << c.written;
        EXPECT_EQ(a.valid, c.valid) << c.written;
    }
}

TEST(MailingProgressTest, OnlyTheSameRecentMailingIsTakenUp) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("Mailings/7.sent"));
    const QByteArray mailing = MailingFingerprint(7, {QStringLiteral("Club"), QStringLiteral("Hello")});
    EXPECT_NE(mailing, MailingFingerprint(7, {QStringLiteral("Club"), QStringLiteral("Hello!")}));
    EXPECT_NE(mailing, MailingFingerprint(8, {QStringLiteral("Club"), QStringLiteral("Hello")}));
    EXPECT_NE(MailingFingerprint(7, {QStringLiteral("ab"), QStringLiteral("c")}),
              MailingFingerprint(7, {QStringLiteral("a"), QStringLiteral("bc")}));
    {
        MailingProgress p(path, mailing, 1000);
        ASSERT_TRUE(p.load(nullptr));
        p.add(QStringLiteral("Ann@X.test "));
        ASSERT_TRUE(p.save(nullptr));
    }
    auto reached = [&](const QByteArray& m, qint32 today) {
        MailingProgress p(path, m, today);
        EXPECT_TRUE(p.load(nullptr));
        return p.reached(QStringLiteral("ann@x.test"));
    };
    EXPECT_TRUE(reached(mailing, 1000));
    EXPECT_TRUE(reached(mailing, 1000 + MailingProgress::kResumeDays - 1));
    EXPECT_FALSE(reached(mailing, 1000 + MailingProgress::kResumeDays));
    EXPECT_FALSE(reached(mailing, 999)); // a clock set back
    EXPECT_FALSE(reached(MailingFingerprint(7, {QStringLiteral("other")}), 1000));
    // A damaged file: the mailing starts afresh rather than guess.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("kelvray mailing 1\nmailing " + mailing + "\nstarted x\n");
    f.close();
    EXPECT_FALSE(reached(mailing, 1000));
    MailingProgress p(path, mailing, 1000);
    EXPECT_TRUE(p.remove(nullptr));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(ComposerTest, HeadersAndBodyEncoding) {
    EXPECT_EQ(EncodeHeaderText(QStringLiteral("plain\r\nBcc: x")), QByteArray("plain  Bcc: x"));
    const QByteArray encoded = EncodeHeaderText(QString(60, QChar(0x00fc)));
    for (const QByteArray& word : encoded.split('\n'))
        EXPECT_LE(word.trimmed().size(), 75);
    EXPECT_TRUE(encoded.startsWith("=?UTF-8?B?"));
    EXPECT_EQ(FormatMailbox(QStringLiteral("Doe, John"), QStringLiteral("j@x.test")),
              QByteArray("\"Doe, John\" <j@x.test>"));
    EXPECT_EQ(FormatMailbox(QString(), QStringLiteral("j@x.test")), QByteArray("j@x.test"));
    EXPECT_EQ(EncodePhrase(QStringLiteral("Team \"A\\B\": 1")), QByteArray("\"Team \\\"A\\\\B\\\": 1\""));
    EXPECT_EQ(EncodePhrase(QStringLiteral("Friends")), QByteArray("Friends"));

    // Long lines are broken softly, "=" and trailing blanks encoded, CRLF everywhere.
    const QByteArray qp = QuotedPrintable(QByteArray(100, 'a') + "=1 \n.x");
    for (const QByteArray& line : qp.split('\n'))
        EXPECT_LE(line.size(), 77);
    EXPECT_TRUE(qp.contains("=3D1=20\r\n=2Ex\r\n"));

    const QDateTime date(QDate(2026, 12, 8), QTime(9, 5, 7), QTimeZone(-(4 * 3600 + 30 * 60)));
    EXPECT_EQ(HeaderDate(date), QByteArray("Tue, 08 Dec 2026 09:05:07 -0430"));

    MailRequest r;
    r.senderAddress = QStringLiteral("me@x.test");
    r.to = {{QString(), QStringLiteral("you@x.test")}};
    r.bcc = {{QString(), QStringLiteral("secret@x.test")}};
    r.subject = QStringLiteral("s");
    const ComposeOptions o{date, "id1@x.test", "b"};
    const QByteArray text = ComposeMessage(r, {}, o);
    EXPECT_FALSE(text.contains("secret"));
    EXPECT_TRUE(text.contains("\r\nMessage-ID: <id1@x.test>\r\n"));
    EXPECT_TRUE(FreshComposeOptions(QStringLiteral("me@x.test")).messageId.endsWith("@x.test"));
    EXPECT_NE(FreshComposeOptions(QString()).messageId, FreshComposeOptions(QString()).messageId);
}

TEST(RepliesTest, StatusLinesInPieces) {
    EXPECT_EQ(ParseReplyLine("250 OK\r\n").code, 250);
    EXPECT_FALSE(ParseReplyLine("250-SIZE").last);
    EXPECT_EQ(ParseReplyLine("25x OK").code, 0);
    EXPECT_EQ(ParseReplyLine("2500 OK").code, 0);
    ReplyReader r;
    r.feed("250-first\r\n250 la");
    EXPECT_EQ(r.lastReply().code, 0);
    r.feed("st\r\n550 5.1.1 no such user\r\n");
    EXPECT_TRUE(r.refused());
    EXPECT_EQ(r.lastReply().text, QStringLiteral("550 5.1.1 no such user"));
    r.feed("221 bye\r\n");
    EXPECT_EQ(r.lastReply().code, 221);
    EXPECT_EQ(r.lastRefusal().text, QStringLiteral("550 5.1.1 no such user"));
    r.feed("354 go on\r\n");
    r.feed(QByteArray(10000, '5'));
    EXPECT_EQ(r.lastReply().code, 354);
}

TEST(NntpPartsTest, HostFormsAndDotStuffing) {
    NntpAddress a = ParseNntpHost(QStringLiteral("news.x.test"));
    EXPECT_TRUE(a.valid);
    EXPECT_EQ(a.port, 119);
    a = ParseNntpHost(QStringLiteral("news.x.test:1190"));
    EXPECT_EQ(a.host, QStringLiteral("news.x.test"));
    EXPECT_EQ(a.port, 1190);
    a = ParseNntpHost(QStringLiteral("nntps://news.x.test"));
    EXPECT_TRUE(a.implicitTls);
    EXPECT_EQ(a.port, 563);
    EXPECT_FALSE(ParseNntpHost(QStringLiteral("news:99999")).valid);
    EXPECT_EQ(DotStuffed(".a\r\nb\r\n..c"), QByteArray("..a\r\nb\r\n...c\r\n.\r\n"));
    EXPECT_EQ(SmtpUrl(QStringLiteral("mail.x.test")), QStringLiteral("smtp://mail.x.test:25"));
    EXPECT_EQ(SmtpUrl(QStringLiteral("mail.x.test:587")), QStringLiteral("smtp://mail.x.test:587"));
    EXPECT_EQ(SmtpUrl(QStringLiteral("smtps://mail.x.test")), QStringLiteral("smtps://mail.x.test"));
}

TEST(TranscriptTest, PasswordsAreMaskedAndTheFileIsPrivate) {
    EXPECT_EQ(Transcript::masked("AUTHINFO PASS hunter2\r\n"), QByteArray("AUTHINFO PASS ****"));
    EXPECT_EQ(Transcript::masked("AUTH PLAIN AGFubgBwdw==\r\n"), QByteArray("AUTH PLAIN ****"));
    TempDir dir;
    {
        Transcript t(dir.file(QStringLiteral("inmail.log")));
        t.sent("AUTHINFO PASS hunter2\r\n");
        t.sentSecret();
        t.received("281 ok\r\n");
    }
    QFile f(dir.file(QStringLiteral("inmail.log")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                                   QFileDevice::WriteUser);
    const QByteArray text = f.readAll();
    EXPECT_FALSE(text.contains("hunter2"));
    EXPECT_TRUE(text.contains("< 281 ok"));
}

} // namespace
} // namespace kr::test
