#include "mail/Nntp.h"

#include "mail/MailRequest.h"
#include "mail/Replies.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace kr {

namespace {

constexpr int kConnectSeconds = 30;
constexpr int kStallSeconds = 60;
constexpr int kLook = 50; // ms between looks at the abort flag

// The conversation runs the worker thread's own event loop between its steps: the socket
// connects, reads and writes asynchronously, however far away the server is, and a wait ends
// as soon as what it waits for happened, its time is up or the send was cancelled.
class Session {
public:
    enum class Wait { Done, Cancelled, Expired };

    Session(Transcript& transcript, Cancel& abort)
        : transcript_(transcript)
        , abort_(abort) {
        look_.setSingleShot(true);
        QObject::connect(&look_, &QTimer::timeout, &loop_, &QEventLoop::quit);
        QObject::connect(&socket_, &QAbstractSocket::stateChanged, &loop_, &QEventLoop::quit);
        QObject::connect(&socket_, &QAbstractSocket::errorOccurred, &loop_, &QEventLoop::quit);
        QObject::connect(&socket_, &QIODevice::readyRead, &loop_, &QEventLoop::quit);
        QObject::connect(&socket_, &QIODevice::bytesWritten, &loop_, &QEventLoop::quit);
        QObject::connect(&socket_, &QSslSocket::encrypted, &loop_, &QEventLoop::quit);
        QObject::connect(&socket_, &QSslSocket::sslErrors, &loop_, &QEventLoop::quit);
    }

    SendOutcome fail(qint32 code, const QString& reply = {}) {
        if (code != kMailSent)
            transcript_.note(QStringLiteral("Failed: ") +
                             MailErrorText(code, reply).replace(QLatin1Char('\r'), QLatin1Char(' ')));
        return {code, reply};
    }

    // Runs the event loop until `done` holds.
    Wait waitUntil(const std::function<bool()>& done, const QDeadlineTimer& deadline) {
        for (;;) {
            if (abort_.requested())
                return Wait::Cancelled;
            if (done())
                return Wait::Done;
            if (deadline.hasExpired())
                return Wait::Expired;
            look_.start(static_cast<int>(qMin<qint64>(kLook, deadline.remainingTime())));
            loop_.exec();
        }
    }

    qint32 connect(const NntpAddress& a, const QString& caFile) {
        if (!caFile.isEmpty()) {
            QSslConfiguration config = QSslConfiguration::defaultConfiguration();
            QList<QSslCertificate> cas = config.caCertificates();
            cas += QSslCertificate::fromPath(caFile);
            config.setCaCertificates(cas);
            socket_.setSslConfiguration(config);
        }
        // One attempt with the whole time: a distant server answers late, not never.
        if (a.implicitTls)
            socket_.connectToHostEncrypted(a.host, a.port);
        else
            socket_.connectToHost(a.host, a.port);
        const auto standing = [&] {
            return a.implicitTls ? socket_.isEncrypted() : socket_.state() == QAbstractSocket::ConnectedState;
        };
        const Wait w = waitUntil(
            [&] {
                return standing() || socket_.state() == QAbstractSocket::UnconnectedState ||
                       (a.implicitTls && !socket_.sslHandshakeErrors().isEmpty());
            },
            QDeadlineTimer(kConnectSeconds * 1000));
        if (w == Wait::Cancelled)
            return kMailUserCancel;
        if (w == Wait::Expired) {
            socket_.abort();
            return kMailConnect;
        }
        if (standing())
            return kMailSent;
        if (a.implicitTls && (socket_.error() == QAbstractSocket::SslHandshakeFailedError ||
                              !socket_.sslHandshakeErrors().isEmpty()))
            return kMailServerError;
        if (socket_.error() == QAbstractSocket::HostNotFoundError)
            return kMailResolve;
        return kMailConnect;
    }

    QString tlsError() const {
        const auto errors = socket_.sslHandshakeErrors();
        return QStringLiteral("TLS: ") +
               (errors.isEmpty() ? socket_.errorString() : errors.first().errorString());
    }

    // The next status line; nullopt with `code` set when none came.
    std::optional<ServerReply> reply(qint32& code) {
        QDeadlineTimer stall(kStallSeconds * 1000);
        for (;;) {
            if (socket_.canReadLine()) {
                const QByteArray line = socket_.readLine(ReplyReader::kMaxLine);
                transcript_.received(line);
                const ServerReply r = ParseReplyLine(line);
                if (r.code == 0) {
                    code = kMailReceive;
                    return std::nullopt;
                }
                return r;
            }
            if (socket_.bytesAvailable() >= ReplyReader::kMaxLine ||
                socket_.state() != QAbstractSocket::ConnectedState) {
                code = kMailReceive;
                return std::nullopt;
            }
            // Whatever arrives restarts the stall time.
            const qint64 had = socket_.bytesAvailable();
            const Wait w = waitUntil(
                [&] {
                    return socket_.bytesAvailable() != had ||
                           socket_.state() != QAbstractSocket::ConnectedState;
                },
                stall);
            if (w == Wait::Cancelled) {
                code = kMailUserCancel;
                return std::nullopt;
            }
            if (w == Wait::Expired) {
                code = kMailReceive;
                return std::nullopt;
            }
            stall.setRemainingTime(kStallSeconds * 1000);
        }
    }

    qint32 write(const QByteArray& bytes, bool secret = false, bool data = false) {
        if (secret)
            transcript_.sentSecret();
        else if (data)
            transcript_.data(bytes.size());
        else
            transcript_.sent(bytes);
        if (socket_.write(bytes) != bytes.size())
            return kMailSend;
        QDeadlineTimer stall(kStallSeconds * 1000);
        while (socket_.bytesToWrite() > 0) {
            if (socket_.state() != QAbstractSocket::ConnectedState)
                return kMailSend;
            const qint64 left = socket_.bytesToWrite();
            const Wait w = waitUntil(
                [&] {
                    return socket_.bytesToWrite() < left ||
                           socket_.state() != QAbstractSocket::ConnectedState;
                },
                stall);
            if (w == Wait::Cancelled)
                return kMailUserCancel;
            if (w == Wait::Expired)
                return kMailSend;
            stall.setRemainingTime(kStallSeconds * 1000);
        }
        return kMailSent;
    }

    qint32 startTls() {
        socket_.startClientEncryption();
        const Wait w = waitUntil(
            [&] {
                return socket_.isEncrypted() || socket_.state() != QAbstractSocket::ConnectedState ||
                       !socket_.sslHandshakeErrors().isEmpty();
            },
            QDeadlineTimer(kConnectSeconds * 1000));
        if (w == Wait::Cancelled)
            return kMailUserCancel;
        return socket_.isEncrypted() ? kMailSent : kMailServerError;
    }

    void quit() {
        if (socket_.state() == QAbstractSocket::ConnectedState && write("QUIT\r\n") == kMailSent) {
            qint32 ignored = 0;
            reply(ignored);
        }
        socket_.abort();
    }

    QSslSocket socket_;

private:
    Transcript& transcript_;
    Cancel& abort_;
    QEventLoop loop_;
    QTimer look_;
};

} // namespace

NntpAddress ParseNntpHost(const QString& host) {
    NntpAddress a;
    QString h = host.trimmed();
    const QString lower = h.toLower();
    if (lower.startsWith(QStringLiteral("nntp://")) || lower.startsWith(QStringLiteral("nntps://")) ||
        lower.startsWith(QStringLiteral("news://"))) {
        const QUrl url(h);
        a.implicitTls = url.scheme().toLower() == QStringLiteral("nntps");
        a.host = url.host();
        a.port = static_cast<quint16>(url.port(a.implicitTls ? 563 : 119));
        a.valid = url.isValid() && !a.host.isEmpty();
        return a;
    }
    const qsizetype colon = h.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && h.count(QLatin1Char(':')) == 1) {
        bool ok = false;
        const uint port = h.mid(colon + 1).toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return a;
        a.port = static_cast<quint16>(port);
        h.truncate(colon);
    }
    a.host = h;
    a.valid = !h.isEmpty() && !h.contains(QLatin1Char(' '));
    return a;
}

QByteArray DotStuffed(const QByteArray& article) {
    QByteArray out;
    out.reserve(article.size() + article.size() / 64 + 8);
    bool lineStart = true;
    for (const char c : article) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    if (!out.endsWith("\r\n"))
        out += "\r\n";
    out += ".\r\n";
    return out;
}

SendOutcome PostNntp(const NntpJob& job, Transcript& transcript, Cancel& abort) {
    const NntpAddress address = ParseNntpHost(job.host);
    Session s(transcript, abort);
    if (!address.valid)
        return s.fail(kMailBadArguments);
    qint32 code = s.connect(address, job.caFile);
    if (code == kMailServerError)
        return s.fail(code, s.tlsError());
    if (code != kMailSent)
        return s.fail(code);

    auto expect = [&](int wanted, SendOutcome& out) {
        qint32 c = 0;
        const std::optional<ServerReply> r = s.reply(c);
        if (!r) {
            out = s.fail(c);
            return false;
        }
        if (r->code != wanted) {
            out = s.fail(kMailServerError, r->text);
            return false;
        }
        return true;
    };
    SendOutcome out;
    auto finish = [&](SendOutcome o) {
        if (o.code != kMailUserCancel && o.code != kMailSend && o.code != kMailReceive)
            s.quit();
        return o;
    };

    if (!expect(200, out))
        return finish(out);
    if (!address.implicitTls && !job.user.isEmpty()) {
        // Credentials never travel in clear: STARTTLS first.
        if ((code = s.write("STARTTLS\r\n")) != kMailSent)
            return finish(s.fail(code));
        if (!expect(382, out))
            return finish(out);
        if ((code = s.startTls()) != kMailSent)
            return code == kMailServerError ? s.fail(code, s.tlsError()) : s.fail(code);
    }
    if (!job.user.isEmpty()) {
        if ((code = s.write("AUTHINFO USER " + job.user.toUtf8() + "\r\n")) != kMailSent)
            return finish(s.fail(code));
        qint32 c = 0;
        const std::optional<ServerReply> r = s.reply(c);
        if (!r)
            return finish(s.fail(c));
        if (r->code == 381) {
            if ((code = s.write("AUTHINFO PASS " + job.password.toUtf8() + "\r\n", true)) != kMailSent)
                return finish(s.fail(code));
            if (!expect(281, out))
                return finish(out);
        } else if (r->code != 281) {
            return finish(s.fail(kMailServerError, r->text));
        }
    }
    if ((code = s.write("POST\r\n")) != kMailSent)
        return finish(s.fail(code));
    if (!expect(340, out))
        return finish(out);
    if ((code = s.write(DotStuffed(job.article), false, true)) != kMailSent)
        return finish(s.fail(code));
    if (!expect(240, out))
        return finish(out);
    return finish({kMailSent, {}});
}

} // namespace kr
