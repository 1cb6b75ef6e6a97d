#include "mail/Nntp.h"

#include "mail/MailRequest.h"
#include "mail/Replies.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QUrl>

namespace kr {

namespace {

constexpr int kConnectSeconds = 30;
constexpr int kStallSeconds = 60;
constexpr int kSlice = 200; // ms between looks at the abort flag

class Session {
public:
    Session(Transcript& transcript, Cancel& abort)
        : transcript_(transcript)
        , abort_(abort) {}

    SendOutcome fail(qint32 code, const QString& reply = {}) {
        if (code != kMailSent)
            transcript_.note(QStringLiteral("Failed: ") +
                             MailErrorText(code, reply).replace(QLatin1Char('\r'), QLatin1Char(' ')));
        return {code, reply};
    }

    qint32 connect(const NntpAddress& a, const QString& caFile) {
        if (!caFile.isEmpty()) {
            QSslConfiguration config = QSslConfiguration::defaultConfiguration();
            QList<QSslCertificate> cas = config.caCertificates();
            cas += QSslCertificate::fromPath(caFile);
            config.setCaCertificates(cas);
            socket_.setSslConfiguration(config);
        }
        if (a.implicitTls)
            socket_.connectToHostEncrypted(a.host, a.port);
        else
            socket_.connectToHost(a.host, a.port);
        QDeadlineTimer deadline(kConnectSeconds * 1000);
        for (;;) {
            if (abort_.requested())
                return kMailUserCancel;
            if (a.implicitTls ? socket_.waitForEncrypted(kSlice) : socket_.waitForConnected(kSlice))
                return kMailSent;
            if (socket_.error() == QAbstractSocket::HostNotFoundError)
                return kMailResolve;
            if (socket_.error() == QAbstractSocket::ConnectionRefusedError ||
                socket_.error() == QAbstractSocket::NetworkError)
                return kMailConnect;
            if (a.implicitTls && (socket_.error() == QAbstractSocket::SslHandshakeFailedError ||
                                  !socket_.sslHandshakeErrors().isEmpty()))
                return kMailServerError;
            if (socket_.state() == QAbstractSocket::UnconnectedState &&
                socket_.error() != QAbstractSocket::SocketTimeoutError)
                return kMailConnect;
            if (deadline.hasExpired())
                return kMailConnect;
        }
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
            if (abort_.requested()) {
                code = kMailUserCancel;
                return std::nullopt;
            }
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
            if (socket_.bytesAvailable() >= ReplyReader::kMaxLine) {
                code = kMailReceive;
                return std::nullopt;
            }
            if (socket_.state() != QAbstractSocket::ConnectedState && socket_.bytesAvailable() == 0) {
                code = kMailReceive;
                return std::nullopt;
            }
            if (stall.hasExpired()) {
                code = kMailReceive;
                return std::nullopt;
            }
            if (socket_.waitForReadyRead(kSlice))
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
        qint64 left = socket_.bytesToWrite();
        while (socket_.bytesToWrite() > 0) {
            if (abort_.requested())
                return kMailUserCancel;
            if (socket_.state() != QAbstractSocket::ConnectedState)
                return kMailSend;
            socket_.waitForBytesWritten(kSlice);
            if (socket_.bytesToWrite() < left) {
                left = socket_.bytesToWrite();
                stall.setRemainingTime(kStallSeconds * 1000);
            } else if (stall.hasExpired()) {
                return kMailSend;
            }
        }
        return kMailSent;
    }

    qint32 startTls() {
        socket_.startClientEncryption();
        QDeadlineTimer deadline(kConnectSeconds * 1000);
        while (!socket_.isEncrypted()) {
            if (abort_.requested())
                return kMailUserCancel;
            if (!socket_.waitForEncrypted(kSlice) &&
                (socket_.state() != QAbstractSocket::ConnectedState ||
                 !socket_.sslHandshakeErrors().isEmpty() || deadline.hasExpired()))
                return kMailServerError;
        }
        return kMailSent;
    }

    void quit() {
        if (socket_.state() == QAbstractSocket::ConnectedState) {
            write("QUIT\r\n");
            qint32 ignored = 0;
            reply(ignored);
        }
        socket_.abort();
    }

    QSslSocket socket_;

private:
    Transcript& transcript_;
    Cancel& abort_;
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
