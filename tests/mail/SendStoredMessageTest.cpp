#include "MailFixture.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>

namespace kr::test {
namespace {

class SmtpTest : public MailFixture {
protected:
    // The envelope recipients of every message the server kept, in order.
    static QStringList Envelopes(const QStringList& files) {
        QStringList out;
        for (const QString& f : files)
            out += readJson(f)[QStringLiteral("to")].toVariant().toStringList();
        return out;
    }
};

Messages Email(const QString& to, const QString& subject, const QString& body = QStringLiteral("Hello")) {
    Messages m{};
    m.emailTo = to;
    m.subject = subject;
    m.message = body;
    return m;
}

TEST_F(SmtpTest, EmailArrivesWithHeadersCopiesAttachmentAndStamp) {
    PythonServer server(QStringLiteral("smtp_server.py"), {inbox()});
    ASSERT_NE(server.port(), 0);
    settings.host = server.address();
    values.setValue(QStringLiteral("WHO"), QStringLiteral("Ann"));

    QByteArray binary(3000, Qt::Uninitialized);
    for (char& c : binary)
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    binary[10] = '\r';
    binary[11] = '\n';
    binary[12] = '.';
    QFile f(dir.file(QStringLiteral("report ü.bin")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(binary);
    f.close();

    Messages m = Email(QStringLiteral("ann@example.test"), QStringLiteral("Report for [WHO] – größer"),
                       QStringLiteral("Dear [WHO],\n.\nÜbersicht: 100 %\nbye"));
    m.emailToName = QStringLiteral("Ann Example");
    m.cc = QStringLiteral("carl@example.test");
    m.bcc = QStringLiteral("hidden@example.test");
    m.attachment = f.fileName();
    const qint32 id = addMessage(m);

    EXPECT_EQ(runSend(id), 0);
    const QStringList got = files(QStringLiteral("*.json"));
    ASSERT_EQ(got.size(), 1);
    const QJsonObject envelope = readJson(got.first());
    EXPECT_EQ(envelope[QStringLiteral("from")].toString(), QStringLiteral("robot@kelvray.test"));
    EXPECT_EQ(envelope[QStringLiteral("to")].toVariant().toStringList(),
              (QStringList{QStringLiteral("ann@example.test"), QStringLiteral("carl@example.test"),
                           QStringLiteral("hidden@example.test")}));

    const QJsonObject mail = parse(got.first());
    const QJsonObject h = mail[QStringLiteral("headers")].toObject();
    EXPECT_TRUE(mail[QStringLiteral("defects")].toArray().isEmpty());
    EXPECT_EQ(h[QStringLiteral("Subject")].toString(), QStringLiteral("Report for Ann – größer"));
    EXPECT_EQ(h[QStringLiteral("To")].toString(), QStringLiteral("Ann Example <ann@example.test>"));
    EXPECT_EQ(h[QStringLiteral("Cc")].toString(), QStringLiteral("carl@example.test"));
    EXPECT_FALSE(h.contains(QStringLiteral("Bcc")));
    EXPECT_EQ(h[QStringLiteral("From")].toString(), QStringLiteral("Kelvray Robot <robot@kelvray.test>"));
    EXPECT_EQ(h[QStringLiteral("Organization")].toString(), QStringLiteral("Test Works"));
    EXPECT_EQ(h[QStringLiteral("User-Agent")].toString(), QStringLiteral("Kelvray 98"));
    EXPECT_TRUE(h[QStringLiteral("Message-ID")].toString().endsWith(QStringLiteral("@kelvray.test>")));
    EXPECT_TRUE(QDateTime::fromString(h[QStringLiteral("Date")].toString(), Qt::RFC2822Date).isValid())
        << h[QStringLiteral("Date")].toString().toStdString();
    EXPECT_EQ(mail[QStringLiteral("body")].toString(),
              QStringLiteral("Dear Ann,\n.\nÜbersicht: 100 %\nbye\n"));
    const QJsonArray attachments = mail[QStringLiteral("attachments")].toArray();
    ASSERT_EQ(attachments.size(), 1);
    const QJsonObject a = attachments.first().toObject();
    EXPECT_EQ(a[QStringLiteral("filename")].toString(), QStringLiteral("report ü.bin"));
    EXPECT_EQ(QByteArray::fromBase64(a[QStringLiteral("data")].toString().toLatin1()), binary);

    EXPECT_EQ(message(id).lastDateSent, clock.today());
    EXPECT_EQ(mailLog(), QStringList{QStringLiteral("|Sent ann@example.test")});
    EXPECT_TRUE(statusTexts.contains(QStringLiteral("Sending Email...")));
    EXPECT_TRUE(dialogs.shown.empty());
    // The transcript is private and holds the conversation, not the message.
    QFile transcript(dir.file(QStringLiteral("inmail.log")));
    ASSERT_TRUE(transcript.open(QIODevice::ReadOnly));
    EXPECT_EQ(transcript.permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ReadUser | QFileDevice::WriteUser);
    const QByteArray text = transcript.readAll();
    EXPECT_TRUE(text.contains("RCPT TO:<hidden@example.test>"));
    EXPECT_FALSE(text.contains("Dear"));
}

TEST_F(SmtpTest, ControlCharactersInSubstitutedValuesStayInTheirHeader) {
    PythonServer server(QStringLiteral("smtp_server.py"), {inbox()});
    settings.host = server.address();
    values.setValue(QStringLiteral("TITLE"), QStringLiteral("Report\r\nBcc: x@evil.test"));
    const qint32 id = addMessage(Email(QStringLiteral("ann@example.test"), QStringLiteral("[TITLE]")));
    EXPECT_EQ(runSend(id), 0);
    const QStringList got = files(QStringLiteral("*.json"));
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(readJson(got.first())[QStringLiteral("to")].toVariant().toStringList(),
              QStringList{QStringLiteral("ann@example.test")});
    const QJsonObject mail = parse(got.first());
    EXPECT_FALSE(mail[QStringLiteral("headers")].toObject().contains(QStringLiteral("Bcc")));
    EXPECT_EQ(mail[QStringLiteral("headers")].toObject()[QStringLiteral("Subject")].toString(),
              QStringLiteral("Report  Bcc: x@evil.test"));
}

TEST_F(SmtpTest, AnAddressThatWouldBreakTheEnvelopeIsRefusedBeforeConnecting) {
    PythonServer server(QStringLiteral("smtp_server.py"), {inbox()});
    settings.host = server.address();
    const qint32 id = addMessage(Email(QStringLiteral("ann@example.test> NOTIFY=x"), QStringLiteral("s")));
    EXPECT_EQ(runSend(id), 1);
    EXPECT_TRUE(files(QStringLiteral("*.json")).isEmpty());
    EXPECT_EQ(mailLog(),
              (QStringList{QStringLiteral("Mail Error|Error:  Bad arguments from form"),
                           QStringLiteral("Mail Error|Could not send ann@example.test> NOTIFY=x")}));
}

TEST_F(SmtpTest, SeveralAddressesAndNoRecipient) {
    PythonServer server(QStringLiteral("smtp_server.py"), {inbox()});
    settings.host = server.address();
    Messages both = Email(QStringLiteral("ann@example.test; bob@example.test"), QStringLiteral("two"));
    both.emailToName = QStringLiteral("Ann");
    EXPECT_EQ(runSend(addMessage(both)), 0);
    const QStringList got = files(QStringLiteral("*.json"));
    ASSERT_EQ(got.size(), 1);
    // The name of one recipient is not given to two.
    EXPECT_EQ(parse(got.first())[QStringLiteral("headers")].toObject()[QStringLiteral("To")].toString(),
              QStringLiteral("ann@example.test, bob@example.test"));

    Messages none = Email(QStringLiteral("n/a"), QStringLiteral("none"));
    none.cc = QStringLiteral("carl@example.test");
    const qint32 id = addMessage(none);
    EXPECT_EQ(runSend(id), 15);
    EXPECT_EQ(files(QStringLiteral("*.json")).size(), 1);
    EXPECT_EQ(message(id).lastDateSent, 0);
    EXPECT_EQ(mailLog().mid(1), (QStringList{QStringLiteral("Mail Error|Error:  No recipiens specified"),
                                             QStringLiteral("Mail Error|Could not send n/a")}));
}

TEST_F(SmtpTest, RecipientsAreReadAsPeopleWriteThem) {
    PythonServer server(QStringLiteral("smtp_server.py"), {inbox()});
    settings.host = server.address();
    Messages m = Email(QStringLiteral(" Ann Example <ann@example.test>, \"Doe, Bob\" <bob@example.test> "),
                       QStringLiteral("two"));
    m.cc = QStringLiteral("Carl <carl@example.test>");
    EXPECT_EQ(runSend(addMessage(m)), 0);
    const QStringList got = files(QStringLiteral("*.json"));
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(readJson(got.first())[QStringLiteral("to")].toVariant().toStringList(),
              (QStringList{QStringLiteral("ann@example.test"), QStringLiteral("bob@example.test"),
                           QStringLiteral("carl@example.test")}));
    const QJsonObject h = parse(got.first())[QStringLiteral("headers")].toObject();
    EXPECT_EQ(h[QStringLiteral("To")].toString(),
              QStringLiteral("Ann Example <ann@example.test>, \"Doe, Bob\" <bob@example.test>"));
    EXPECT_EQ(h[QStringLiteral("Cc")].toString(), QStringLiteral("Carl <carl@example.test>"));
}

TEST_F(SmtpTest, FailuresGiveTheirCodesAndLogLines) {
    PythonServer server(QStringLiteral("smtp_server.py"),
                        {inbox(), QStringLiteral("--refuse"), QStringLiteral("nobody@example.test")});
    settings.host = server.address();
    const qint32 refused = addMessage(Email(QStringLiteral("nobody@example.test"), QStringLiteral("s")));
    EXPECT_EQ(runSend(refused), 9);
    EXPECT_TRUE(files(QStringLiteral("*.json")).isEmpty());
    EXPECT_EQ(message(refused).lastDateSent, 0);
    // The reply is cut by the log's 50-character field.
    EXPECT_EQ(mailLog(),
              (QStringList{QStringLiteral("Mail Error|Error:  Mail Server Error: 550 5.1.1 <nobody@examp"),
                           QStringLiteral("Mail Error|Could not send nobody@example.test")}));
    EXPECT_EQ(MailErrorText(9, QStringLiteral("550 x  ")), QStringLiteral("Mail Server Error:\r550 x"));

    // A port where nobody listens, then a name that does not resolve.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 closed = probe.serverPort();
    probe.close();
    settings.host = QStringLiteral("127.0.0.1:%1").arg(closed);
    EXPECT_EQ(runSend(refused), 6);
    settings.host = QStringLiteral("nohost.invalid");
    EXPECT_EQ(runSend(refused), 4);
    EXPECT_TRUE(
        mailLog().contains(QStringLiteral("Mail Error|Error:  Failed to connect. Mail Server not found!")));
    EXPECT_TRUE(mailLog().contains(QStringLiteral("Mail Error|Error:  Failed to resolve host")));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SmtpTest, MissingMessageSetupOrAttachment) {
    EXPECT_EQ(runSend(77), 1);
    EXPECT_EQ(logLines().first(),
              (QPair<QString, QString>{QStringLiteral("Script"), QStringLiteral("Error sending message")}));

    const qint32 id = addMessage(Email(QStringLiteral("ann@example.test"), QStringLiteral("s")));
    EXPECT_EQ(runSend(id), 1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Email not setup.  Select File->Setup, Email tab, and fill "
                             "in the required information."));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error!"));

    // An attachment that cannot be read: nothing goes out without it.
    PythonServer server(QStringLiteral("smtp_server.py"), {inbox()});
    settings.host = server.address();
    settings.translateFilenames = true;
    values.setValue(QStringLiteral("F"), QStringLiteral("missing"));
    Messages m = Email(QStringLiteral("ann@example.test"), QStringLiteral("s"));
    m.attachment = dir.file(QStringLiteral("[F].txt"));
    EXPECT_EQ(runSend(addMessage(m)), 12);
    EXPECT_TRUE(files(QStringLiteral("*.json")).isEmpty());
    EXPECT_TRUE(mailLog().contains(QStringLiteral("Mail Error|Error:  Failed to open temporary file")));
    // The substituted name is the one looked for.
    QFile present(dir.file(QStringLiteral("missing.txt")));
    ASSERT_TRUE(present.open(QIODevice::WriteOnly));
    present.write("here");
    present.close();
    EXPECT_EQ(runSend(lastId), 0);
}

TEST_F(SmtpTest, MassMailingKeepsAddressesInTheEnvelope) {
    PythonServer server(QStringLiteral("smtp_server.py"), {inbox()});
    settings.host = server.address();
    addContact(QStringLiteral("Friends"), QStringLiteral("Ann"), QStringLiteral("Able"),
               QStringLiteral("ann@example.test"));
    addContact(QStringLiteral("Friends"), QStringLiteral("Bob"), QStringLiteral("Baker"), QString());
    addContact(QStringLiteral("Friends"), QString(), QStringLiteral("Cole"),
               QStringLiteral("cole@example.test"));
    addContact(QStringLiteral("Others"), QStringLiteral("Dan"), QStringLiteral("Dane"),
               QStringLiteral("dan@example.test"));
    Messages m = Email(QString(), QStringLiteral("News for [WHO]"), QStringLiteral("Hi all"));
    m.mailType = QStringLiteral("Mass Mailing");
    m.emailToGroup = QStringLiteral("Friends");
    const qint32 id = addMessage(m);
    EXPECT_EQ(runSend(id), 0);
    const QStringList got = files(QStringLiteral("*.json"));
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(readJson(got.first())[QStringLiteral("to")].toVariant().toStringList(),
              (QStringList{QStringLiteral("ann@example.test"), QStringLiteral("cole@example.test")}));
    const QByteArray data =
        QByteArray::fromBase64(readJson(got.first())[QStringLiteral("data")].toString().toLatin1());
    EXPECT_FALSE(data.contains("example.test"));
    EXPECT_TRUE(parse(got.first())[QStringLiteral("headerLines")].toVariant().toStringList().contains(
        QStringLiteral("To: Friends: ;")));
    EXPECT_EQ(message(id).lastDateSent, clock.today());
    EXPECT_EQ(mailLog(), QStringList{QStringLiteral("Mass Mailing|Sent")});

    // 120 members: three messages of at most 50.
    const Table<Contact> keepOpen(*store); // one opening of the table for the 120 additions
    for (int i = 0; i < 120; ++i)
        addContact(QStringLiteral("Club"), QStringLiteral("M%1").arg(i), QStringLiteral("L"),
                   QStringLiteral("m%1@example.test").arg(i));
    m.emailToGroup = QStringLiteral("Club");
    EXPECT_EQ(runSend(addMessage(m)), 0);
    const QStringList all = files(QStringLiteral("*.json"));
    ASSERT_EQ(all.size(), 4);
    QStringList recipients;
    for (const QString& f : all.mid(1))
        recipients += readJson(f)[QStringLiteral("to")].toVariant().toStringList();
    EXPECT_EQ(recipients.size(), 120);
    EXPECT_EQ(readJson(all[1])[QStringLiteral("to")].toArray().size(), 50);
    EXPECT_EQ(readJson(all[3])[QStringLiteral("to")].toArray().size(), 20);
}

TEST_F(SmtpTest, MassMailingFailureShowsItsWindow) {
    settings.host = QStringLiteral("127.0.0.1:1");
    addContact(QStringLiteral("Friends"), QStringLiteral("Ann"), QStringLiteral("Able"),
               QStringLiteral("ann@example.test"));
    values.setValue(QStringLiteral("WHO"), QStringLiteral("Ann"));
    Messages m = Email(QStringLiteral("list"), QStringLiteral("For [WHO]"));
    m.mailType = QStringLiteral("Mass Mailing");
    m.emailToGroup = QStringLiteral("Friends");
    const qint32 id = addMessage(m);
    EXPECT_EQ(runSend(id), 6);
    const QString cut = MailErrorText(6).left(32);
    EXPECT_EQ(mailLog(), (QStringList{QStringLiteral("Mail Error|") + cut,
                                      QStringLiteral("Mail Error|Could not send list")}));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error Sending Mass Mailing"));
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Error: ") + cut +
                  QStringLiteral("\r127.0.0.1:1\r"
                                 "robot@kelvray.test\rKelvray Robot\rKelvray 98\rFor Ann\r"
                                 "Friends\r"));
    EXPECT_EQ(message(id).lastDateSent, 0);

    // A category without addresses: nothing to send.
    m.emailToGroup = QStringLiteral("Nobody");
    EXPECT_EQ(runSend(addMessage(m)), 15);
}

Messages MassMailing(const QString& category) {
    Messages m{};
    m.mailType = QStringLiteral("Mass Mailing");
    m.emailTo = QStringLiteral("list");
    m.emailToGroup = category;
    m.subject = QStringLiteral("To all");
    m.message = QStringLiteral("Hello all");
    return m;
}

TEST_F(SmtpTest, MassMailingReadsUntidyAddressesAndNamesTheOnesItCannotUse) {
    PythonServer server(QStringLiteral("smtp_server.py"), {inbox()});
    settings.host = server.address();
    const QString category = QStringLiteral("Smith, Jones");
    addContact(category, QStringLiteral("Bob"), QStringLiteral("Able"), QStringLiteral(" bob@x.test"));
    addContact(category, QStringLiteral("Carl"), QStringLiteral("Baker"),
               QStringLiteral("Carl <carl@x.test>"));
    addContact(category, QStringLiteral("Dan"), QStringLiteral("Cole"),
               QStringLiteral("\"Cole, Dan\" <dan@x.test>"));
    addContact(category, QStringLiteral("Eve"), QStringLiteral("Dane"), QStringLiteral("mailto:eve@x.test"));
    addContact(category, QStringLiteral("Fay"), QStringLiteral("Fox"), QStringLiteral("fay at x dot test"));
    addContact(category, QStringLiteral("Bob"), QStringLiteral("Again"), QStringLiteral("BOB@x.test"));
    const qint32 id = addMessage(MassMailing(category));

    // The others get it; the one that is no address is named, and the mailing is not done.
    EXPECT_EQ(runSend(id), 1);
    QStringList got = files(QStringLiteral("*.json"));
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(Envelopes(got), (QStringList{QStringLiteral("bob@x.test"), QStringLiteral("carl@x.test"),
                                           QStringLiteral("dan@x.test"), QStringLiteral("eve@x.test")}));
    const QJsonObject mail = parse(got.first());
    EXPECT_TRUE(mail[QStringLiteral("defects")].toArray().isEmpty());
    EXPECT_TRUE(mail[QStringLiteral("headerLines")].toVariant().toStringList().contains(
        QStringLiteral("To: \"Smith, Jones\": ;")))
        << mail[QStringLiteral("headerLines")]
               .toVariant()
               .toStringList()
               .join(QLatin1Char('\n'))
               .toStdString();
    EXPECT_EQ(message(id).lastDateSent, 0);
    EXPECT_EQ(mailLog(), (QStringList{QStringLiteral("Mail Error|Bad arguments from form"),
                                      QStringLiteral("Mail Error|Could not send list"),
                                      QStringLiteral("Mail Error|Not sent to Fay Fox <fay at x dot test>")}));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error Sending Mass Mailing"));
    EXPECT_TRUE(dialogs.shown[0].text.endsWith(
        QStringLiteral("Smith, Jones\rNot sent to:\rFay Fox <fay at x dot test>: not an e-mail address\r")))
        << dialogs.shown[0].text.toStdString();

    // Mended, the mailing goes to her alone, and is done.
    {
        Table<Contact> t(*store);
        Contact c{};
        c.clientId = 5;
        ASSERT_EQ(t.get(Contact::KEYCLIENTID, c), Err::None);
        c.email = QStringLiteral("Fay Fox <fay@x.test>");
        ASSERT_EQ(t.put(c), Err::None);
    }
    EXPECT_EQ(runSend(id), 0);
    got = files(QStringLiteral("*.json"));
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(Envelopes(got.mid(1)), QStringList{QStringLiteral("fay@x.test")});
    EXPECT_EQ(message(id).lastDateSent, clock.today());
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("Mailings/%1.sent").arg(id))));
}

TEST_F(SmtpTest, OneRefusedMemberDoesNotSinkItsBatch) {
    PythonServer server(QStringLiteral("smtp_server.py"),
                        {inbox(), QStringLiteral("--refuse"), QStringLiteral("nobody@x.test")});
    settings.host = server.address();
    addContact(QStringLiteral("Club"), QStringLiteral("No"), QStringLiteral("Body"),
               QStringLiteral("nobody@x.test"));
    for (int i = 0; i < 60; ++i)
        addContact(QStringLiteral("Club"), QStringLiteral("M%1").arg(i, 2, 10, QLatin1Char('0')),
                   QStringLiteral("L"), QStringLiteral("m%1@x.test").arg(i));
    const qint32 id = addMessage(MassMailing(QStringLiteral("Club")));
    EXPECT_EQ(runSend(id), 9);
    QStringList got = files(QStringLiteral("*.json"));
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(Envelopes(got).size(), 60);
    EXPECT_FALSE(Envelopes(got).contains(QStringLiteral("nobody@x.test")));
    EXPECT_TRUE(mailLog().contains(QStringLiteral("Mail Error|Not sent to No Body <nobody@x.test>")))
        << mailLog().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(mailLog().first(), QStringLiteral("Mail Error|Mail Server Error: 550 5.1.1 <no"));
    EXPECT_TRUE(dialogs.shown.back().text.contains(QStringLiteral("No Body <nobody@x.test>: 550 5.1.1")));
    EXPECT_EQ(message(id).lastDateSent, 0);

    // Sent again, it tries the refused member alone: the others get nothing twice.
    EXPECT_EQ(runSend(id), 9);
    EXPECT_EQ(files(QStringLiteral("*.json")).size(), 2);
    // Without him the mailing is done.
    {
        Table<Contact> t(*store);
        Contact c{};
        c.clientId = 1;
        ASSERT_EQ(t.get(Contact::KEYCLIENTID, c), Err::None);
        ASSERT_EQ(t.remove(c), Err::None);
    }
    EXPECT_EQ(runSend(id), 0);
    EXPECT_EQ(files(QStringLiteral("*.json")).size(), 2);
    EXPECT_EQ(message(id).lastDateSent, clock.today());
}

TEST_F(SmtpTest, AnInterruptedMassMailingGoesOnWhereItStoppedAfterARestart) {
    addContact(QStringLiteral("Club"), QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("a@x.test"));
    for (int i = 0; i < 120; ++i)
        addContact(QStringLiteral("Club"), QStringLiteral("M%1").arg(i, 3, 10, QLatin1Char('0')),
                   QStringLiteral("L"), QStringLiteral("m%1@x.test").arg(i));
    const qint32 id = addMessage(MassMailing(QStringLiteral("Club")));
    const QString progress = dir.file(QStringLiteral("Mailings/%1.sent").arg(id));
    {
        // The server takes one message and then goes down.
        PythonServer server(QStringLiteral("smtp_server.py"),
                            {inbox(), QStringLiteral("--limit"), QStringLiteral("1")});
        settings.host = server.address();
        EXPECT_EQ(runSend(id), 9);
    }
    EXPECT_EQ(Envelopes(files(QStringLiteral("*.json"))).size(), 50);
    EXPECT_EQ(message(id).lastDateSent, 0);
    // What went is kept privately, and no address is written down.
    QFile kept(progress);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.permissions() & 0x0077, 0);
    EXPECT_EQ(QFile::permissions(dir.file(QStringLiteral("Mailings"))) & 0x0077, 0);
    EXPECT_FALSE(kept.readAll().contains("@"));
    kept.close();

    // The program starts again, and so does the script.
    build();
    PythonServer server(QStringLiteral("smtp_server.py"), {inbox()});
    settings.host = server.address();
    EXPECT_EQ(runSend(id), 0);
    const QStringList all = Envelopes(files(QStringLiteral("*.json")));
    EXPECT_EQ(all.size(), 121);
    EXPECT_EQ(QSet<QString>(all.begin(), all.end()).size(), 121);
    EXPECT_EQ(message(id).lastDateSent, clock.today());
    EXPECT_FALSE(QFile::exists(progress));

    // Done, the same mailing sent again is a new one: it goes to everyone.
    EXPECT_EQ(runSend(id), 0);
    EXPECT_EQ(Envelopes(files(QStringLiteral("*.json"))).size(), 242);
}

TEST_F(SmtpTest, StoppingTheScriptCancelsTheSend) {
    PythonServer server(QStringLiteral("smtp_server.py"),
                        {inbox(), QStringLiteral("--stall"), QStringLiteral("30")});
    settings.host = server.address();
    const qint32 id = addMessage(Email(QStringLiteral("ann@example.test"), QStringLiteral("s")));
    QElapsedTimer t;
    t.start();
    bool stopped = false;
    runSend(id, [&] {
        if (!stopped && t.elapsed() > 500) {
            stopped = true;
            queue.clear(); // "Stop Running Script"
        }
    });
    EXPECT_TRUE(stopped);
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_EQ(sender->result(), 14);
    EXPECT_EQ(mailLog(), (QStringList{QStringLiteral("Mail Error|Error:  User Cancel"),
                                      QStringLiteral("Mail Error|Could not send ann@example.test")}));
    EXPECT_EQ(message(id).lastDateSent, 0);
}

TEST_F(SmtpTest, ASendThatEndedBeforeItsSenderWentIsStampedAndLogged) {
    PythonServer server(QStringLiteral("smtp_server.py"), {inbox()});
    settings.host = server.address();
    const qint32 id = addMessage(Email(QStringLiteral("ann@example.test"), QStringLiteral("s")));
    ASSERT_EQ(sender->sendStoredMessage(id), MailSender::kPending);
    // The server has the message and the worker has ended, but nobody has looked yet.
    QElapsedTimer t;
    t.start();
    while (files(QStringLiteral("*.json")).isEmpty() && t.elapsed() < 20000)
        QThread::msleep(10);
    ASSERT_EQ(files(QStringLiteral("*.json")).size(), 1);
    QThread::msleep(300);
    t.restart();
    sender.reset();
    EXPECT_LT(t.elapsed(), 500);
    EXPECT_EQ(message(id).lastDateSent, clock.today());
    EXPECT_EQ(mailLog(), QStringList{QStringLiteral("|Sent ann@example.test")});
}

TEST_F(SmtpTest, ASenderGoingDuringASendCancelsItWithoutWaitingForTheServer) {
    PythonServer server(QStringLiteral("smtp_server.py"),
                        {inbox(), QStringLiteral("--stall"), QStringLiteral("30")});
    settings.host = server.address();
    const qint32 id = addMessage(Email(QStringLiteral("ann@example.test"), QStringLiteral("s")));
    ASSERT_EQ(sender->sendStoredMessage(id), MailSender::kPending);
    QThread::msleep(500);
    QElapsedTimer t;
    t.start();
    sender.reset();
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(message(id).lastDateSent, 0);
    EXPECT_EQ(mailLog(), (QStringList{QStringLiteral("Mail Error|Error:  User Cancel"),
                                      QStringLiteral("Mail Error|Could not send ann@example.test")}));
}

// ---------------------------------------------------------------------------------- news

class NntpTest : public MailFixture {};

Messages Article(const QString& group, const QString& name) {
    Messages m{};
    m.mailType = QStringLiteral("News");
    m.emailTo = group;
    m.emailToName = name;
    m.subject = QStringLiteral("Weekly [WHO]");
    m.message = QStringLiteral("Line one\n.hidden dot\nlast");
    return m;
}

TEST_F(NntpTest, ArticleIsPostedWithItsAttachment) {
    PythonServer server(QStringLiteral("nntp_server.py"), {inbox()});
    ASSERT_NE(server.port(), 0);
    settings.nHost = QStringLiteral("nntp://127.0.0.1:%1").arg(server.port());
    values.setValue(QStringLiteral("WHO"), QStringLiteral("report"));
    QFile f(dir.file(QStringLiteral("data.csv")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("a,b\r\n.,c\r\n");
    f.close();
    Messages m = Article(QStringLiteral("local.test"), QString());
    m.attachment = f.fileName();
    const qint32 id = addMessage(m);
    EXPECT_EQ(runSend(id), 0);
    const QStringList got = files(QStringLiteral("*.eml"));
    ASSERT_EQ(got.size(), 1);
    const QJsonObject article = parse(got.first());
    const QJsonObject h = article[QStringLiteral("headers")].toObject();
    EXPECT_EQ(h[QStringLiteral("Newsgroups")].toString(), QStringLiteral("local.test"));
    EXPECT_FALSE(h.contains(QStringLiteral("To")));
    EXPECT_EQ(h[QStringLiteral("From")].toString(), QStringLiteral("Kelvray Robot <poster@kelvray.test>"));
    EXPECT_EQ(h[QStringLiteral("Subject")].toString(), QStringLiteral("Weekly report"));
    EXPECT_EQ(article[QStringLiteral("body")].toString(), QStringLiteral("Line one\n.hidden dot\nlast\n"));
    const QJsonArray attachments = article[QStringLiteral("attachments")].toArray();
    ASSERT_EQ(attachments.size(), 1);
    EXPECT_EQ(QByteArray::fromBase64(attachments[0].toObject()[QStringLiteral("data")].toString().toLatin1()),
              QByteArray("a,b\r\n.,c\r\n"));
    EXPECT_EQ(message(id).lastDateSent, clock.today());
    EXPECT_EQ(mailLog(), QStringList{QStringLiteral("News|Sent local.test")});
    EXPECT_FALSE(statusTexts.contains(QStringLiteral("Sending Email...")));
    EXPECT_TRUE(QFile::exists(dir.file(QStringLiteral("inserver.log"))));
}

TEST_F(NntpTest, AnArticleCarriesTheNewsSenderNameAndOrganisationWhereGiven) {
    PythonServer server(QStringLiteral("nntp_server.py"), {inbox()});
    settings.nHost = server.address();
    const qint32 id = addMessage(Article(QStringLiteral("local.test"), QString()));
    // Not given: the sender's name, and no organisation (the e-mail one is not the news one).
    EXPECT_EQ(runSend(id), 0);
    settings.nSenderName = QStringLiteral("Night Desk");
    settings.nOrg = QStringLiteral("News, Inc.");
    EXPECT_EQ(runSend(id), 0);
    const QStringList got = files(QStringLiteral("*.eml"));
    ASSERT_EQ(got.size(), 2);
    const QJsonObject plain = parse(got[0])[QStringLiteral("headers")].toObject();
    EXPECT_EQ(plain[QStringLiteral("From")].toString(),
              QStringLiteral("Kelvray Robot <poster@kelvray.test>"));
    EXPECT_FALSE(plain.contains(QStringLiteral("Organization")));
    const QJsonObject own = parse(got[1])[QStringLiteral("headers")].toObject();
    EXPECT_EQ(own[QStringLiteral("From")].toString(), QStringLiteral("Night Desk <poster@kelvray.test>"));
    EXPECT_EQ(own[QStringLiteral("Organization")].toString(), QStringLiteral("News, Inc."));
}

TEST_F(NntpTest, RefusedArticleGivesNineAndItsWindow) {
    PythonServer server(QStringLiteral("nntp_server.py"), {inbox(), QStringLiteral("--refuse")});
    settings.nHost = server.address();
    settings.host = QString(); // news needs only the news settings
    values.setValue(QStringLiteral("WHO"), QStringLiteral("report"));
    const qint32 id = addMessage(Article(QStringLiteral("local.test"), QStringLiteral("Local Tests")));
    EXPECT_EQ(runSend(id), 9);
    const QString cut = QStringLiteral("Mail Server Error:\r441 posting f");
    // The log line is one line: the reply's line break is a blank there.
    EXPECT_EQ(mailLog(), (QStringList{QStringLiteral("News Error|Mail Server Error: 441 posting f"),
                                      QStringLiteral("News Error|Could not send local.test")}));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error Sending News Article"));
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Error: ") + cut +
                                         QStringLiteral("\r%1\r"
                                                        "poster@kelvray.test\rKelvray Robot\rKelvray 98\r"
                                                        "Weekly report\rLocal Tests\rlocal.test\r")
                                             .arg(server.address()));
    EXPECT_EQ(message(id).lastDateSent, 0);
}

TEST_F(NntpTest, ASendStartedWhileAnErrorWindowIsOpenKeepsItsOwnResult) {
    PythonServer news(QStringLiteral("nntp_server.py"), {inbox(), QStringLiteral("--refuse")});
    PythonServer smtp(QStringLiteral("smtp_server.py"),
                      {inbox(), QStringLiteral("--stall"), QStringLiteral("1")});
    settings.nHost = news.address();
    settings.host = smtp.address();
    const qint32 refused = addMessage(Article(QStringLiteral("local.test"), QString()));
    const qint32 mail = addMessage(Email(QStringLiteral("ann@example.test"), QStringLiteral("s")));
    bool restarted = false;
    dialogs.whileShown = [&](const ScriptedDialogs::Shown& box) {
        if (box.caption != QStringLiteral("Error Sending News Article") || restarted)
            return;
        restarted = true;
        // While the window is open the user stops the script, and another script sends an
        // e-mail; the window is closed while that send runs.
        queue.clear();
        queueSend(mail);
        QElapsedTimer t;
        t.start();
        while (!(queue.front().sending && sender->busy()) && t.elapsed() < 10000) {
            runner->runScriptStep();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        EXPECT_TRUE(queue.front().sending);
    };
    runSend(refused);
    ASSERT_TRUE(restarted);
    EXPECT_EQ(runner->lastMailResult(), 0);
    EXPECT_EQ(sender->result(), 0);
    EXPECT_EQ(files(QStringLiteral("*.json")).size(), 1);
    EXPECT_EQ(message(mail).lastDateSent, clock.today());
    EXPECT_EQ(message(refused).lastDateSent, 0);
}

TEST_F(NntpTest, GreetingWithoutPostingAndMissingSetup) {
    PythonServer server(QStringLiteral("nntp_server.py"),
                        {inbox(), QStringLiteral("--greeting"), QStringLiteral("201")});
    settings.nHost = server.address();
    EXPECT_EQ(runSend(addMessage(Article(QStringLiteral("local.test"), QString()))), 9);
    EXPECT_TRUE(files(QStringLiteral("*.eml")).isEmpty());

    // Without a news host a news article is refused while e-mail still goes.
    dialogs.shown.clear();
    settings.nHost = QString();
    PythonServer smtp(QStringLiteral("smtp_server.py"), {inbox()});
    settings.host = smtp.address();
    EXPECT_EQ(runSend(addMessage(Article(QStringLiteral("local.test"), QString()))), 1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Email (News) not setup. Select File->Setup, Email tab, and "
                             "fill in the required information."));
    EXPECT_EQ(runSend(addMessage(Email(QStringLiteral("ann@example.test"), QStringLiteral("s")))), 0);
    EXPECT_EQ(files(QStringLiteral("*.json")).size(), 1);
}

TEST_F(NntpTest, LoginNeedsEncryptionAndTheTranscriptHidesThePassword) {
    PythonServer server(QStringLiteral("nntp_server.py"),
                        {inbox(), QStringLiteral("--auth"), QStringLiteral("reader:s3cret")});
    settings.nHost = server.address();
    settings.newsUser = QStringLiteral("reader");
    secrets.writePassword(
        SecretStore::key(QStringLiteral("nntp"), server.address(), QStringLiteral("reader")),
        QStringLiteral("s3cret"));
    // This server offers no STARTTLS: the password is not sent in clear.
    EXPECT_EQ(runSend(addMessage(Article(QStringLiteral("local.test"), QString()))), 9);
    EXPECT_TRUE(files(QStringLiteral("*.eml")).isEmpty());
    QFile transcript(dir.file(QStringLiteral("inserver.log")));
    ASSERT_TRUE(transcript.open(QIODevice::ReadOnly));
    const QByteArray text = transcript.readAll();
    EXPECT_TRUE(text.contains("STARTTLS"));
    EXPECT_FALSE(text.contains("s3cret"));
}

} // namespace
} // namespace kr::test

namespace kr::test {
namespace {

// A certificate for 127.0.0.1 and its key, made for the test.
bool MakeCertificate(const QString& cert, const QString& key) {
    QProcess p;
    p.start(QStringLiteral("openssl"),
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
             QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), key,
             QStringLiteral("-out"), cert, QStringLiteral("-days"), QStringLiteral("2"),
             QStringLiteral("-subj"), QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
             QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost")});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

TEST_F(SmtpTest, StartTlsAndLoginWithThePasswordFromTheSecretStore) {
    const QString cert = dir.file(QStringLiteral("cert.pem"));
    ASSERT_TRUE(MakeCertificate(cert, dir.file(QStringLiteral("key.pem"))));
    PythonServer server(QStringLiteral("smtp_server.py"),
                        {inbox(), QStringLiteral("--tls"), cert, dir.file(QStringLiteral("key.pem")),
                         QStringLiteral("--auth"), QStringLiteral("robot:Pa55word!")});
    ASSERT_NE(server.port(), 0);
    settings.host = server.address();
    settings.smtpUser = QStringLiteral("robot");
    const qint32 id = addMessage(Email(QStringLiteral("ann@example.test"), QStringLiteral("secure")));

    // The server's certificate is not trusted by the system: no login, no message.
    EXPECT_EQ(runSend(id), 9);
    EXPECT_TRUE(mailLog().last().startsWith(QStringLiteral("Mail Error|Could not send")));
    EXPECT_TRUE(mailLog()
                    .at(mailLog().size() - 2)
                    .startsWith(QStringLiteral("Mail Error|Error:  Mail Server Error: TLS: ")))
        << mailLog().join(QLatin1Char('\n')).toStdString();

    caFile = cert;
    build();
    // Without its password the send goes on unauthenticated, and the server says why it refuses.
    EXPECT_EQ(runSend(id), 9);
    EXPECT_TRUE(files(QStringLiteral("*.json")).isEmpty());
    EXPECT_TRUE(mailLog().at(mailLog().size() - 2).contains(QStringLiteral("530")))
        << mailLog().join(QLatin1Char('\n')).toStdString();

    secrets.writePassword(SecretStore::key(QStringLiteral("smtp"), server.address(), QStringLiteral("robot")),
                          QStringLiteral("Pa55word!"));
    EXPECT_EQ(runSend(id), 0);
    EXPECT_EQ(files(QStringLiteral("*.json")).size(), 1);

    QFile transcript(dir.file(QStringLiteral("inmail.log")));
    ASSERT_TRUE(transcript.open(QIODevice::ReadOnly));
    const QByteArray text = transcript.readAll();
    EXPECT_TRUE(text.contains("STARTTLS"));
    EXPECT_TRUE(text.contains("> AUTH "));
    EXPECT_FALSE(text.contains("Pa55word!"));
    EXPECT_FALSE(text.contains(QByteArray("Pa55word!").toBase64()));
    EXPECT_FALSE(text.contains(QByteArray("robot\0robot\0Pa55word!", 21).toBase64()));
    EXPECT_FALSE(text.contains(QByteArray("\0robot\0Pa55word!", 16).toBase64()));
}

} // namespace
} // namespace kr::test

namespace kr::test {
namespace {

TEST_F(NntpTest, LoginOverStartTlsAndArticlesOverImplicitTls) {
    const QString cert = dir.file(QStringLiteral("cert.pem"));
    const QString key = dir.file(QStringLiteral("key.pem"));
    ASSERT_TRUE(MakeCertificate(cert, key));
    caFile = cert;
    build();
    values.setValue(QStringLiteral("WHO"), QStringLiteral("report"));
    {
        PythonServer server(QStringLiteral("nntp_server.py"),
                            {inbox(), QStringLiteral("--auth"), QStringLiteral("reader:s3cret"),
                             QStringLiteral("--tls"), cert, key});
        settings.nHost = server.address();
        settings.newsUser = QStringLiteral("reader");
        secrets.writePassword(
            SecretStore::key(QStringLiteral("nntp"), server.address(), QStringLiteral("reader")),
            QStringLiteral("s3cret"));
        EXPECT_EQ(runSend(addMessage(Article(QStringLiteral("local.test"), QString()))), 0);
        EXPECT_EQ(files(QStringLiteral("*.eml")).size(), 1);
    }
    QFile transcript(dir.file(QStringLiteral("inserver.log")));
    ASSERT_TRUE(transcript.open(QIODevice::ReadOnly));
    const QByteArray text = transcript.readAll();
    EXPECT_TRUE(text.contains("< 382"));
    EXPECT_TRUE(text.contains("> AUTHINFO USER reader"));
    EXPECT_TRUE(text.contains("< 281"));
    EXPECT_FALSE(text.contains("s3cret"));

    PythonServer secure(QStringLiteral("nntp_server.py"),
                        {inbox(), QStringLiteral("--tls"), cert, key, QStringLiteral("--implicit")});
    settings.nHost = QStringLiteral("nntps://127.0.0.1:%1").arg(secure.port());
    settings.newsUser.clear();
    EXPECT_EQ(runSend(addMessage(Article(QStringLiteral("local.test"), QString()))), 0);
    EXPECT_EQ(files(QStringLiteral("*.eml")).size(), 2);

    // A certificate the sender does not trust: "TLS: " and the reason.
    caFile.clear();
    build();
    EXPECT_EQ(runSend(addMessage(Article(QStringLiteral("local.test"), QString()))), 9);
    EXPECT_TRUE(
        mailLog().at(mailLog().size() - 2).startsWith(QStringLiteral("News Error|Mail Server Error: TLS: ")))
        << mailLog().join(QLatin1Char('\n')).toStdString();
}

} // namespace
} // namespace kr::test
