// Sending on the local servers: one e-mail with a 1 MB attachment, a mass mailing to 1,000
// contacts and a news article posted across a link of 300 ms round trip, and the longest the
// GUI thread went without running its event loop meanwhile (the conversation runs on a worker
// thread). The benchmark runs in a network namespace of its own (it needs root), where the
// delayed link is made.

#include "mail/SendStoredMessage.h"
#include "store/Table.h"
#include "support/DelayedLink.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <ctime>

namespace kr {
namespace {

using namespace kr::test;

struct Server {
    QProcess process;
    quint16 port = 0;
    explicit Server(const QString& folder, const QString& script = QStringLiteral("smtp_server.py"),
                    const QStringList& args = {}) {
        process.start(QStringLiteral("/usr/bin/python3"),
                      QStringList{QStringLiteral(MAIL_TEST_DIR "/") + script, folder} + args);
        if (process.waitForStarted(10000) && process.waitForReadyRead(20000))
            port = static_cast<quint16>(process.readLine().trimmed().toUInt());
    }
    ~Server() {
        process.closeWriteChannel();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(2000);
    }
};

struct Setup {
    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock;
    Settings settings;
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
    Store store{dir.path(), dialogs, end};
    EventLog log{dir.file(kEventLogName), settings, clock};
    std::unique_ptr<MailSender> sender;
    qint64 prepareMs = 0; // the longest preparation on the GUI thread

    explicit Setup(quint16 port) {
        settings.host = QStringLiteral("127.0.0.1:%1").arg(port);
        settings.sender = QStringLiteral("bench@kelvray.test");
        sender = std::make_unique<MailSender>(
            MailContext{store, settings, clock, dialogs, log, values, dir.path(), kProductTitle});
    }
    // Sends and returns the longest gap between two turns of the event loop, in ms.
    qint64 send(qint32 id, qint32& code) {
        QElapsedTimer gap;
        gap.start();
        qint64 longest = 0;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] { longest = qMax(longest, gap.restart()); });
        ticker.start();
        QElapsedTimer call;
        call.start();
        code = sender->sendStoredMessage(id);
        prepareMs = qMax(prepareMs, call.elapsed());
        longest = qMax(longest, gap.restart());
        while (code == MailSender::kPending) {
            // Waits for events without spinning: the figure counts the sender's own work.
            QEventLoop loop;
            QTimer::singleShot(20, &loop, &QEventLoop::quit);
            loop.exec();
            code = sender->result();
        }
        return longest;
    }
};

void EmailWithAttachment(benchmark::State& state) {
    TempDir inbox;
    Server server(inbox.path());
    Setup s(server.port);
    QByteArray data(1 << 20, Qt::Uninitialized);
    for (char& c : data)
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    QFile f(s.dir.file(QStringLiteral("big.bin")));
    f.open(QIODevice::WriteOnly);
    f.write(data);
    f.close();
    Messages m{};
    m.emailId = 1;
    m.emailTo = QStringLiteral("to@kelvray.test");
    m.subject = QStringLiteral("big");
    m.attachment = f.fileName();
    Table<Messages>(s.store).add(m);
    qint64 gap = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        qint32 code = 0;
        gap = qMax(gap, s.send(1, code));
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        if (code != 0)
            state.SkipWithError("send failed");
    }
    state.counters["gui_gap_ms"] = static_cast<double>(gap);
    state.counters["prepare_ms"] = static_cast<double>(s.prepareMs);
}

void MassMailing(benchmark::State& state) {
    TempDir inbox;
    Server server(inbox.path());
    Setup s(server.port);
    {
        Table<Contact> contacts(s.store);
        for (int i = 0; i < 1000; ++i) {
            Contact c{};
            c.clientId = i + 1;
            c.contactCategory = QStringLiteral("All");
            c.lastName = QStringLiteral("L%1").arg(i);
            c.email = QStringLiteral("c%1@kelvray.test").arg(i);
            contacts.add(c);
        }
    }
    Messages m{};
    m.emailId = 1;
    m.mailType = QStringLiteral("Mass Mailing");
    m.emailToGroup = QStringLiteral("All");
    m.subject = QStringLiteral("to all");
    m.message = QStringLiteral("Hello");
    Table<Messages>(s.store).add(m);
    qint64 gap = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        qint32 code = 0;
        gap = qMax(gap, s.send(1, code));
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        if (code != 0)
            state.SkipWithError("send failed");
    }
    state.counters["gui_gap_ms"] = static_cast<double>(gap);
    state.counters["prepare_ms"] = static_cast<double>(s.prepareMs);
}

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

void NewsPostAcrossSlowLink(benchmark::State& state) {
    DelayedLink link(150);
    if (!link.ok()) {
        state.SkipWithError(link.error().toStdString().c_str());
        return;
    }
    TempDir inbox;
    Server server(inbox.path(), QStringLiteral("nntp_server.py"),
                  {QStringLiteral("--host"), DelayedLink::localAddress()});
    Setup s(0);
    s.settings.nHost = DelayedLink::remoteAddress() + QStringLiteral(":%1").arg(server.port);
    s.settings.nSender = QStringLiteral("bench@kelvray.test");
    Messages m{};
    m.emailId = 1;
    m.mailType = QStringLiteral("News");
    m.emailTo = QStringLiteral("local.bench");
    m.subject = QStringLiteral("far away");
    m.message = QStringLiteral("Hello");
    Table<Messages>(s.store).add(m);
    qint64 gap = 0;
    double cpu = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        const double cpuBefore = CpuMs();
        qint32 code = 0;
        gap = qMax(gap, s.send(1, code));
        cpu = qMax(cpu, CpuMs() - cpuBefore);
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        if (code != 0)
            state.SkipWithError(QStringLiteral("post failed with %1").arg(code).toStdString().c_str());
    }
    state.counters["gui_gap_ms"] = static_cast<double>(gap);
    state.counters["cpu_ms"] = cpu;
}

BENCHMARK(EmailWithAttachment)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(MassMailing)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(NewsPostAcrossSlowLink)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kr

int main(int argc, char** argv) {
    // Before any thread starts: the servers, the link and the sender all live in it.
    QString error;
    if (!kr::test::EnterPrivateNetwork(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
