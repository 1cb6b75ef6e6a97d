#pragma once

// Sending through a queued Send Email step against real servers on 127.0.0.1.

#include "mail/SendStoredMessage.h"
#include "script/Runner.h"
#include "script/ScriptItems.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

namespace kr::test {

inline const QString kPython = QStringLiteral("/usr/bin/python3");

// A Python server of tests/mail, stopped when the test ends.
class PythonServer {
public:
    PythonServer(const QString& script, const QStringList& args) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(kPython, QStringList{QStringLiteral(MAIL_TEST_DIR "/") + script} + args);
        if (process_.waitForStarted(10000) && process_.waitForReadyRead(20000))
            port_ = static_cast<quint16>(process_.readLine().trimmed().toUInt());
    }
    ~PythonServer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }
    quint16 port() const { return port_; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }

private:
    QProcess process_;
    quint16 port_ = 0;
};

class NoStarter final : public ProgramStarter {
public:
    bool startProgram(const QString&, const QString&, const QString&, int, int, bool) override {
        return false;
    }
    int lastExitCode() override { return -1; }
    int lastStartResult() const override { return 0; }
};

class MailServices final : public ScriptServices {
public:
    explicit MailServices(MailSender& mail)
        : mail_(mail) {}
    qint32 sendEmail(qint32 id) override { return mail_.sendStoredMessage(id); }
    qint32 emailResult() override { return mail_.result(); }

private:
    MailSender& mail_;
};

class MailFixture : public ::testing::Test {
protected:
    MailFixture() {
        QDir().mkpath(inbox());
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        settings.logEvents = true;
        settings.sender = QStringLiteral("robot@kelvray.test");
        settings.senderName = QStringLiteral("Kelvray Robot");
        settings.org = QStringLiteral("Test Works");
        settings.nSender = QStringLiteral("poster@kelvray.test");
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        build();
    }

    // The sender and the runner, made again after a change of the certificate authorities.
    void build() {
        sender = std::make_unique<MailSender>(
            MailContext{*store, settings, clock, dialogs, *log, values, dir.path(), kProductTitle.left(32),
                        [this](const QString& t) { statusTexts << t; },
                        [this] { return !queue.empty() && queue.front().sending; }, secretStore, caFile});
        services = std::make_unique<MailServices>(*sender);
        runner = std::make_unique<ScriptRunner>(RunnerContext{
            queue, values, settings, clock, dialogs, *log, starter, *services, debug, {}, nullptr});
    }

    QString inbox() const { return dir.file(QStringLiteral("inbox")); }

    qint32 addMessage(Messages m) {
        Table<Messages> t(*store);
        m.emailId = ++lastId;
        EXPECT_EQ(t.add(m), Err::None);
        return m.emailId;
    }
    Messages message(qint32 id) {
        Table<Messages> t(*store);
        Messages m{};
        m.emailId = id;
        EXPECT_EQ(t.get(Messages::KEYEMAILID, m), Err::None);
        return m;
    }
    void addContact(const QString& category, const QString& first, const QString& last,
                    const QString& email) {
        Table<Contact> t(*store);
        Contact c{};
        c.clientId = ++lastContact;
        c.contactCategory = category;
        c.firstName = first;
        c.lastName = last;
        c.email = email;
        ASSERT_EQ(t.add(c), Err::None);
    }

    // Queues a Send Email step, due at once.
    void queueSend(qint32 id) {
        QueueEntry e;
        e.item.action = action::SendEmail;
        e.item.emailId = id;
        e.dueDate = clock.today();
        e.dueTime = clock.now() - 1; // due: the runner takes entries whose moment has passed
        queue.append(e);
    }
    // Queues a Send Email step and runs the runner until the queue is empty; the step's result.
    qint32 runSend(qint32 id, const std::function<void()>& duringSend = {}) {
        queueSend(id);
        QElapsedTimer timer;
        timer.start();
        while (!queue.empty() && timer.elapsed() < 60000) {
            runner->runScriptStep();
            if (!queue.empty() && queue.front().sending && duringSend) {
                duringSend();
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        // A cancelled send ends on its own.
        while (sender->busy() && timer.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        EXPECT_TRUE(queue.empty());
        return runner->lastMailResult();
    }

    QStringList files(const QString& filter) const {
        QStringList out;
        for (const QString& f : QDir(inbox()).entryList({filter}, QDir::Files, QDir::Name))
            out << QDir(inbox()).filePath(f);
        return out;
    }
    static QJsonObject readJson(const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(f.readAll()).object();
    }
    // The message as Python's mail reader sees it.
    static QJsonObject parse(const QString& path) {
        QProcess p;
        p.start(kPython, {QStringLiteral(MAIL_TEST_DIR "/mailparse.py"), path});
        p.waitForFinished(20000);
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }
    // The event log: label and data of each line.
    QList<QPair<QString, QString>> logLines() const {
        QFile f(dir.file(kEventLogName));
        f.open(QIODevice::ReadOnly);
        QList<QPair<QString, QString>> out;
        for (const QString& l : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            out.append({l.mid(22, 30).trimmed(), l.mid(52).trimmed()});
        return out;
    }
    // The log lines other than the runner's own "Script" lines.
    QStringList mailLog() const {
        QStringList out;
        for (const auto& [label, data] : logLines())
            if (label != QStringLiteral("Script") || data != action::SendEmail)
                out << label + QLatin1Char('|') + data;
        return out;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(10, 0, 0)};
    Settings settings;
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
    ActiveScriptQueue queue;
    NoStarter starter;
    int debug = 0;
    QStringList statusTexts;
    MemorySecretStore secrets;
    SecretStore* secretStore = &secrets; // where the sender reads its passwords
    QString caFile;
    qint32 lastId = 0;
    qint32 lastContact = 0;
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<MailSender> sender;
    std::unique_ptr<MailServices> services;
    std::unique_ptr<ScriptRunner> runner;
};

} // namespace kr::test
