// Sending to servers across a link of 300 ms round trip (150 ms each way), in a network
// namespace of the test's own: the servers listen behind the link, and every packet of the
// conversation, the connection's handshake included, takes the delay.

#include "MailFixture.h"
#include "support/DelayedLink.h"

#include <QCoreApplication>
#include <QTcpServer>

#include <cstdio>

namespace kr::test {
namespace {

constexpr int kOneWayMs = 150;

class LinkTest : public MailFixture {
protected:
    LinkTest() { EXPECT_TRUE(link.ok()) << link.error().toStdString(); }
    // A server of tests/mail listening behind the link.
    std::unique_ptr<PythonServer> serve(const QString& script, QStringList args = {}) {
        args << QStringLiteral("--host") << DelayedLink::localAddress();
        return std::make_unique<PythonServer>(script, QStringList{inbox()} + args);
    }
    static QString across(quint16 port) {
        return DelayedLink::remoteAddress() + QStringLiteral(":%1").arg(port);
    }

    DelayedLink link{kOneWayMs};
};

Messages Article() {
    Messages m{};
    m.mailType = QStringLiteral("News");
    m.emailTo = QStringLiteral("local.far");
    m.subject = QStringLiteral("From afar");
    m.message = QStringLiteral("Hello across the link");
    return m;
}

TEST_F(LinkTest, NewsArticleReachesADistantServer) {
    const auto server = serve(QStringLiteral("nntp_server.py"));
    ASSERT_NE(server->port(), 0);
    settings.nHost = across(server->port());
    const qint32 id = addMessage(Article());
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(runSend(id), 0);
    // Connection, greeting, POST and its answer, the article and its answer: each a round trip.
    EXPECT_GE(t.elapsed(), 4 * 2 * kOneWayMs);
    const QStringList got = files(QStringLiteral("*.eml"));
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(
        parse(got.first())[QStringLiteral("headers")].toObject()[QStringLiteral("Newsgroups")].toString(),
        QStringLiteral("local.far"));
    EXPECT_EQ(message(id).lastDateSent, clock.today());
    EXPECT_EQ(mailLog(), QStringList{QStringLiteral("News|Sent local.far")});
    EXPECT_GT(link.packets(), 10);

    // And the next one too.
    EXPECT_EQ(runSend(id), 0);
    EXPECT_EQ(files(QStringLiteral("*.eml")).size(), 2);
}

TEST_F(LinkTest, NoServerBehindTheLinkIsSaidAtOnce) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress(DelayedLink::localAddress())));
    const quint16 closed = probe.serverPort();
    probe.close();
    settings.nHost = across(closed);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(runSend(addMessage(Article())), 6);
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_TRUE(mailLog().contains(QStringLiteral("News Error|Failed to connect. Mail Server n")))
        << mailLog().join(QLatin1Char('\n')).toStdString();
}

TEST_F(LinkTest, StoppingTheScriptWhileTheArticleTravelsCancelsIt) {
    const auto server = serve(QStringLiteral("nntp_server.py"));
    settings.nHost = across(server->port());
    const qint32 id = addMessage(Article());
    QElapsedTimer t;
    t.start();
    qint64 stoppedAt = 0;
    runSend(id, [&] {
        // Within the first round trip: the connection is not standing yet.
        if (stoppedAt == 0 && t.elapsed() > kOneWayMs) {
            stoppedAt = t.elapsed();
            queue.clear();
        }
    });
    ASSERT_NE(stoppedAt, 0);
    EXPECT_EQ(sender->result(), 14);
    EXPECT_LT(t.elapsed() - stoppedAt, 1000);
    EXPECT_TRUE(files(QStringLiteral("*.eml")).isEmpty());
    EXPECT_EQ(message(id).lastDateSent, 0);
}

TEST_F(LinkTest, EmailReachesADistantServer) {
    const auto server = serve(QStringLiteral("smtp_server.py"));
    ASSERT_NE(server->port(), 0);
    settings.host = across(server->port());
    Messages m{};
    m.emailTo = QStringLiteral("far@example.test");
    m.subject = QStringLiteral("s");
    m.message = QStringLiteral("b");
    const qint32 id = addMessage(m);
    EXPECT_EQ(runSend(id), 0);
    EXPECT_EQ(files(QStringLiteral("*.json")).size(), 1);
    EXPECT_EQ(message(id).lastDateSent, clock.today());
}

} // namespace
} // namespace kr::test

int main(int argc, char** argv) {
    // Before any thread starts: the servers, the link and the sender all live in it. Listing
    // the tests (as the build does) needs none.
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || QByteArray(argv[i]).startsWith("--gtest_list_tests");
    QString error;
    if (!listing && !kr::test::EnterPrivateNetwork(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
