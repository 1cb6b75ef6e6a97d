#include "mail/Smtp.h"

#include "mail/MailRequest.h"
#include "mail/Replies.h"

#include <curl/curl.h>

#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <mutex>

namespace kr {

namespace {

struct Conversation {
    const QByteArray* message = nullptr;
    qsizetype offset = 0;
    Cancel* abort = nullptr;
    Transcript* transcript = nullptr;
    ReplyReader replies;
    bool inLogin = false;
    // The recipient whose RCPT awaits its answer, and those refused.
    QString rcpt;
    QList<Refusal> refused;
    // The whole message went out; the next answer says whether the server took it.
    bool messageOut = false;
    bool answered = false;
    bool accepted = false;
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* user) {
    auto* c = static_cast<Conversation*>(user);
    const qsizetype left = c->message->size() - c->offset;
    const auto n = static_cast<qsizetype>(qMin<size_t>(size * count, static_cast<size_t>(left)));
    memcpy(buffer, c->message->constData() + c->offset, static_cast<size_t>(n));
    c->offset += n;
    if (c->offset == c->message->size())
        c->messageOut = true;
    return static_cast<size_t>(n);
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Conversation*>(user)->abort->requested() ? 1 : 0;
}

// The socket is known to the canceller, which shuts it down to end any wait on the server.
curl_socket_t OpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
    const curl_socket_t fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (fd != CURL_SOCKET_BAD)
        static_cast<Conversation*>(user)->abort->attach(fd);
    return fd;
}

int CloseSocket(void* user, curl_socket_t fd) {
    static_cast<Conversation*>(user)->abort->detach(fd);
    return ::close(fd);
}

int Debug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* c = static_cast<Conversation*>(user);
    const QByteArray bytes(data, static_cast<qsizetype>(size));
    switch (type) {
    case CURLINFO_HEADER_IN: {
        const int before = c->replies.finalReplies();
        c->replies.feed(bytes);
        c->transcript->received(bytes);
        if (c->replies.finalReplies() != before) {
            const ServerReply& r = c->replies.lastReply();
            if (!c->rcpt.isEmpty() && r.code >= 400)
                c->refused.append(Refusal{QString(), c->rcpt, r.text});
            c->rcpt.clear();
            // The first answer after the message is the server's word on it.
            if (c->messageOut && !c->answered) {
                c->answered = true;
                c->accepted = r.code >= 200 && r.code < 300;
            }
        }
        // The login exchange goes on while the server asks for more (334).
        if (c->inLogin && c->replies.lastReply().code != 334)
            c->inLogin = false;
        break;
    }
    case CURLINFO_HEADER_OUT:
        if (bytes.startsWith("RCPT TO:<")) {
            const qsizetype end = bytes.indexOf('>');
            c->rcpt = QString::fromUtf8(bytes.mid(9, end > 9 ? end - 9 : -1));
        }
        if (bytes.trimmed().toUpper().startsWith("AUTH ")) {
            c->inLogin = true;
            c->transcript->sent(bytes);
        } else if (c->inLogin) {
            c->transcript->sentSecret();
        } else {
            c->transcript->sent(bytes);
        }
        break;
    case CURLINFO_DATA_OUT:
        c->transcript->data(static_cast<qsizetype>(size));
        break;
    case CURLINFO_TEXT:
        c->transcript->note(QString::fromUtf8(bytes).trimmed());
        break;
    default:
        break;
    }
    return 0;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Spelt with three Ls before libcurl 8.2.
#if LIBCURL_VERSION_NUM >= 0x080200
constexpr CURLoption kAllowRefusals = CURLOPT_MAIL_RCPT_ALLOWFAILS;
#else
constexpr CURLoption kAllowRefusals = CURLOPT_MAIL_RCPT_ALLLOWFAILS;
#endif

bool IsTlsError(CURLcode code) {
    switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
        return true;
    default:
        return false;
    }
}

} // namespace

QString SmtpUrl(const QString& host) {
    const QString h = host.trimmed();
    const QString lower = h.toLower();
    if (lower.startsWith(QStringLiteral("smtp://")) || lower.startsWith(QStringLiteral("smtps://")))
        return h;
    // A name with a port, or a bracketed IPv6 address with one, keeps it.
    const bool hasPort =
        h.startsWith(QLatin1Char('[')) ? h.contains(QStringLiteral("]:")) : h.count(QLatin1Char(':')) == 1;
    return QStringLiteral("smtp://") + h + (hasPort ? QString() : QStringLiteral(":25"));
}

SendOutcome SendSmtp(const SmtpJob& job, Transcript& transcript, Cancel& abort) {
    GlobalInit();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
        return {kMailMemory, {}};
    CURL* h = curl.get();
    Conversation c;
    c.message = &job.message;
    c.abort = &abort;
    c.transcript = &transcript;

    curl_slist* rcpt = nullptr;
    for (const QString& r : job.recipients)
        rcpt = curl_slist_append(rcpt, ('<' + r.toUtf8() + '>').constData());
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> rcptList(rcpt, curl_slist_free_all);

    const QByteArray url = SmtpUrl(job.host).toUtf8();
    const QByteArray from = '<' + job.from.toUtf8() + '>';
    const QByteArray user = job.user.toUtf8();
    const QByteArray password = job.password.toUtf8();
    const QByteArray ca = job.caFile.toLocal8Bit();
    char error[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, rcpt);
    if (job.allowRefusals)
        curl_easy_setopt(h, kAllowRefusals, 1L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(job.message.size()));
    curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadMessage);
    curl_easy_setopt(h, CURLOPT_READDATA, &c);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &c);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, Debug);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &c);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, &c);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, CloseSocket);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETDATA, &c);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
    // A send that moves less than a byte a second for a minute has stalled.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!ca.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, ca.constData());
    if (!user.isEmpty()) {
        // Credentials never travel in clear.
        curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    } else {
        curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    }

    const CURLcode rc = curl_easy_perform(h);
    // Taken is sent: a cancel or a lost connection after the server's answer changes nothing.
    if (rc == CURLE_OK || c.accepted)
        return {kMailSent, {}, c.refused};
    transcript.note(QStringLiteral("Failed: ") +
                    QString::fromUtf8(error[0] != 0 ? error : curl_easy_strerror(rc)));
    if (rc == CURLE_ABORTED_BY_CALLBACK || abort.requested())
        return {kMailUserCancel, {}};
    if (c.replies.refused())
        return {kMailServerError, c.replies.lastRefusal().text, c.refused};
    if (IsTlsError(rc))
        return {kMailServerError,
                QStringLiteral("TLS: ") + QString::fromUtf8(error[0] != 0 ? error : curl_easy_strerror(rc))};
    switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return {kMailResolve, {}};
    case CURLE_COULDNT_CONNECT:
        return {kMailConnect, {}};
    case CURLE_OPERATION_TIMEDOUT: {
        // Timed out before the connection stood: no connection; afterwards: a stall.
        curl_off_t connected = 0;
        curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connected);
        return {connected == 0 ? kMailConnect : kMailReceive, {}};
    }
    case CURLE_SEND_ERROR:
    case CURLE_UPLOAD_FAILED:
        return {kMailSend, {}};
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return {kMailReceive, {}};
    case CURLE_OUT_OF_MEMORY:
        return {kMailMemory, {}};
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return {kMailBadArguments, {}};
    default:
        return {kMailUnknown, {}};
    }
}

} // namespace kr
