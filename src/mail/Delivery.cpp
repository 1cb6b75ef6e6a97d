#include "mail/Delivery.h"

#include "mail/Composer.h"
#include "mail/Nntp.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

namespace kr {

namespace {

bool HasControl(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

} // namespace

SendOutcome DeliverRequest(const MailRequest& r, Cancel& abort) {
    if (r.to.isEmpty())
        return {kMailNoRecipients, {}};
    // An address reaches the envelope commands as it stands.
    const bool news = r.mode == MailRequest::Mode::News;
    if (!IsSafeAddress(r.senderAddress) || HasControl(r.user) || HasControl(r.host))
        return {kMailBadArguments, {}};
    for (const QList<Recipient>* list : {&r.to, &r.cc, &r.bcc})
        for (const Recipient& rc : *list)
            if (!IsSafeAddress(rc.address))
                return {kMailBadArguments, {}};

    // A message whose attachment cannot be read is not sent without it.
    QList<Attachment> attachments;
    QMimeDatabase mime;
    for (const QString& path : r.attachments) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {kMailTempFile, {}};
        Attachment a;
        a.fileName = QFileInfo(path).fileName();
        a.data = f.readAll();
        if (f.error() != QFileDevice::NoError)
            return {kMailTempFile, {}};
        a.mimeType = mime.mimeTypeForFileNameAndData(path, a.data.left(4096)).name().toLatin1();
        attachments << a;
    }

    Transcript transcript(r.logFile);
    if (news) {
        NntpJob job{r.host, r.user, r.password, r.caFile,
                    ComposeMessage(r, attachments, FreshComposeOptions(r.senderAddress))};
        return PostNntp(job, transcript, abort);
    }

    QStringList envelope;
    for (const QList<Recipient>* list : {&r.to, &r.cc, &r.bcc})
        for (const Recipient& rc : *list)
            envelope << rc.address;
    if (!r.massMailing) {
        SmtpJob job{r.host,
                    r.user,
                    r.password,
                    r.caFile,
                    r.senderAddress,
                    envelope,
                    ComposeMessage(r, attachments, FreshComposeOptions(r.senderAddress))};
        return SendSmtp(job, transcript, abort);
    }
    // One copy per batch; every batch is tried, and the first failure is the result.
    SendOutcome result;
    for (qsizetype i = 0; i < envelope.size(); i += kMassMailingBatch) {
        SmtpJob job{r.host,
                    r.user,
                    r.password,
                    r.caFile,
                    r.senderAddress,
                    envelope.mid(i, kMassMailingBatch),
                    ComposeMessage(r, attachments, FreshComposeOptions(r.senderAddress))};
        const SendOutcome o = SendSmtp(job, transcript, abort);
        if (o.code != kMailSent && result.code == kMailSent)
            result = o;
        if (o.code == kMailUserCancel)
            break;
    }
    return result;
}

} // namespace kr
