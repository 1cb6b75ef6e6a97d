#include "mail/Delivery.h"

#include "mail/Composer.h"
#include "mail/MailingProgress.h"
#include "mail/Nntp.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSet>

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
    return DeliverMassMailing(r, attachments, transcript, abort);
}

SendOutcome DeliverMassMailing(const MailRequest& r, const QList<Attachment>& attachments,
                               Transcript& transcript, Cancel& abort) {
    MailingProgress progress(r.progressFile, r.mailing, r.today);
    QString error;
    const bool remembered = !r.progressFile.isEmpty();
    if (remembered && !progress.load(&error)) {
        transcript.note(error);
        return {kMailTempRead, {}};
    }
    SendOutcome result;
    for (const Recipient& u : r.unusable)
        result.refused << Refusal{u.name, u.address, QStringLiteral("not an e-mail address")};
    // The members this mailing has not reached yet, each once.
    QList<Recipient> left;
    QSet<QString> seen;
    for (const Recipient& rc : r.to) {
        const QString lower = rc.address.toLower();
        if (seen.contains(lower) || (remembered && progress.reached(rc.address)))
            continue;
        seen.insert(lower);
        left << rc;
    }
    // What goes must be remembered: a mailing that cannot keep its progress does not start.
    if (remembered && !left.isEmpty() && !progress.save(&error)) {
        transcript.note(error);
        return {kMailTempFile, {}};
    }
    bool serverRefused = false;
    for (qsizetype i = 0; i < left.size(); i += kMassMailingBatch) {
        const QList<Recipient> batch = left.mid(i, kMassMailingBatch);
        QStringList envelope;
        for (const Recipient& rc : batch)
            envelope << rc.address;
        SmtpJob job{r.host,
                    r.user,
                    r.password,
                    r.caFile,
                    r.senderAddress,
                    envelope,
                    ComposeMessage(r, attachments, FreshComposeOptions(r.senderAddress)),
                    true};
        const SendOutcome o = SendSmtp(job, transcript, abort);
        QSet<QString> refused;
        for (const Refusal& f : o.refused) {
            refused.insert(f.address.toLower());
            // The member's name, for whoever reads the refusal.
            Refusal named = f;
            for (const Recipient& rc : batch)
                if (rc.address.compare(f.address, Qt::CaseInsensitive) == 0)
                    named.name = rc.name;
            result.refused << named;
            serverRefused = true;
        }
        if (o.code == kMailSent) {
            for (const Recipient& rc : batch)
                if (!refused.contains(rc.address.toLower()))
                    progress.add(rc.address);
            if (remembered && !progress.save(&error)) {
                transcript.note(error);
                result.code = kMailTempFile;
                return result;
            }
            continue;
        }
        // Every member of the batch refused: the next batch may fare better. Anything else
        // ends the mailing here; sending it again goes on from this batch.
        if (o.code == kMailServerError && o.refused.size() == batch.size())
            continue;
        result.code = o.code;
        result.reply = o.reply;
        return result;
    }
    if (!result.refused.isEmpty()) {
        // Not complete: the refused members are tried again when the mailing is sent again.
        result.code = serverRefused ? kMailServerError : kMailBadArguments;
        for (const Refusal& f : result.refused)
            if (serverRefused && f.reason != QStringLiteral("not an e-mail address")) {
                result.reply = f.reason;
                break;
            }
        return result;
    }
    if (remembered && !progress.remove(&error))
        transcript.note(error);
    return result;
}

} // namespace kr
