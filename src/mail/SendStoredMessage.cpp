#include "mail/SendStoredMessage.h"

#include "mail/Delivery.h"
#include "mail/MailingProgress.h"
#include "platform/Text.h"
#include "store/Table.h"
#include "store/Warnings.h"

#include <QDir>
#include <QElapsedTimer>

namespace kr {

namespace {

const QString kNews = QStringLiteral("News");
const QString kMassMailing = QStringLiteral("Mass Mailing");
const QString kSendingEmail = QStringLiteral("Sending Email...");
// The refused members a mass mailing's window names; the event log has them all.
constexpr qsizetype kRefusalsShown = 20;

// A recipient as the user wrote it ("Bob <bob@x.test>"); the given name goes first. An
// address that cannot be used stays as written, and the send refuses it.
void AddWritten(QList<Recipient>& list, const QString& name, const QString& written) {
    const ParsedAddress a = ParseAddress(written);
    MailRequest::addRecipient(list, Clip(name).isEmpty() ? a.name : name, a.valid ? a.address : written);
}

// A member the mailing did not reach, as the log and the window name it.
QString Named(const Refusal& f) {
    return f.name.isEmpty() ? f.address : f.name + QStringLiteral(" <") + f.address + QLatin1Char('>');
}

QString Lines(const QStringList& lines) {
    QString out;
    for (const QString& l : lines)
        out += Clip(l) + QLatin1Char('\r');
    return out;
}

} // namespace

QString TranslateBody(const ValueStore& values, const QString& text) {
    const QString t = Clip(text.left(MailSender::kBodyWidth));
    QString out;
    qsizetype i = 0;
    while (i < t.size() && out.size() < MailSender::kBodyWidth) {
        if (t.at(i) != QLatin1Char('[')) {
            out += t.at(i++);
            continue;
        }
        QString candidate = t.mid(i + 1, ValueStore::kNameWidth);
        const qsizetype close = candidate.indexOf(QLatin1Char(']'));
        const bool closed = close >= 0;
        if (closed)
            candidate.truncate(close);
        const QString value = values.getValue(candidate);
        if (value.isEmpty()) {
            out += QLatin1Char('[');
            ++i;
            continue;
        }
        out += Clip(value);
        i += 1 + candidate.size() + (closed ? 1 : 0);
    }
    return out.left(MailSender::kBodyWidth);
}

MailSender::MailSender(MailContext ctx, QObject* parent)
    : QObject(parent)
    , ctx_(std::move(ctx)) {
    watchdog_.setInterval(200);
    connect(&watchdog_, &QTimer::timeout, this, &MailSender::watch);
}

MailSender::~MailSender() {
    if (!current_)
        return;
    // A cancelled conversation ends within moments; one that ended already is recorded.
    current_->cancel.request();
    QElapsedTimer waited;
    waited.start();
    while (!current_->done.load() && waited.elapsed() < kEndWaitMs)
        QThread::msleep(5);
    if (current_->done.load())
        record(*current_);
}

void MailSender::abort() {
    if (current_)
        current_->cancel.request();
}

qint32 MailSender::sendStoredMessage(qint32 emailId) {
    const quint64 serial = ++serial_;
    result_ = kPending;
    reply_.clear();
    if (busy()) {
        // The last send was abandoned and is still ending; this one follows it.
        queued_ = std::pair{emailId, serial};
        current_->cancel.request();
        return kPending;
    }
    return begin(emailId, serial);
}

qint32 MailSender::result() {
    if (result_ == kPending && current_ && current_->way != Way::News && ctx_.pendingStatus)
        ctx_.pendingStatus(kSendingEmail);
    return result_;
}

qint32 MailSender::settle(quint64 serial, qint32 code, const QString& reply) {
    if (serial == serial_ && !queued_) {
        result_ = code;
        reply_ = reply;
    }
    return code;
}

QString MailSender::translatedAttachment(const Messages& m) const {
    const QString path = Clip(m.attachment);
    return ctx_.settings.translateFilenames ? ctx_.values.substituteValues(path) : path;
}

qint32 MailSender::begin(qint32 emailId, quint64 serial) {
    auto send = std::make_shared<Send>();
    send->serial = serial;
    Messages& m = send->message;
    {
        Table<Messages> messages(ctx_.store);
        m.emailId = emailId;
        if (messages.get(Messages::KEYEMAILID, m) != Err::None) {
            ctx_.log.log(QStringLiteral("Script"), QStringLiteral("Error sending message"));
            return settle(serial, kMailBadArguments);
        }
    }
    const Settings& s = ctx_.settings;
    const QString type = Clip(m.mailType);
    if ((Clip(s.host).isEmpty() || Clip(s.sender).isEmpty()) && type != kNews) {
        settle(serial, kMailBadArguments);
        ctx_.dialogs.message(
            QStringLiteral("Email not setup.  Select File->Setup, Email tab, and fill in the "
                           "required information."),
            QStringLiteral("Error!"), Dialogs::Icon::Exclamation);
        return kMailBadArguments;
    }
    if ((Clip(s.nHost).isEmpty() || Clip(s.nSender).isEmpty()) && type == kNews) {
        settle(serial, kMailBadArguments);
        ctx_.dialogs.message(
            QStringLiteral("Email (News) not setup. Select File->Setup, Email tab, and fill in "
                           "the required information."),
            QStringLiteral("Error!"), Dialogs::Icon::Exclamation);
        return kMailBadArguments;
    }

    MailRequest& r = send->request;
    r.mailer = MailRequest::text(ctx_.applicationTitle);
    r.senderName = MailRequest::text(s.senderName);
    r.subject = MailRequest::text(ctx_.values.substituteValues(m.subject));
    r.body = Clip(TranslateBody(ctx_.values, m.message));
    r.caFile = ctx_.caFile;
    const QString attachment = translatedAttachment(m);
    if (!attachment.isEmpty())
        r.attachments << attachment.left(255);

    if (type == kNews) {
        send->way = Way::News;
        r.mode = MailRequest::Mode::News;
        r.logFile = QDir(ctx_.logDir).filePath(QStringLiteral("inserver.log"));
        r.host = MailRequest::text(s.nHost);
        r.senderAddress = MailRequest::text(s.nSender);
        // The news sender's own name and organisation, where the user gave them.
        if (!Clip(s.nSenderName).isEmpty())
            r.senderName = MailRequest::text(s.nSenderName);
        r.organisation = MailRequest::text(s.nOrg);
        const QString group = Clip(m.emailTo);
        MailRequest::addRecipient(r.to, Clip(m.emailToName).isEmpty() ? group : Clip(m.emailToName), group);
    } else {
        r.mode = MailRequest::Mode::Email;
        r.host = MailRequest::text(s.host);
        r.senderAddress = MailRequest::text(s.sender);
        r.organisation = MailRequest::text(s.org);
        if (type == kMassMailing) {
            send->way = Way::MassMailing;
            r.massMailing = true;
            r.groupName = Clip(m.emailToGroup);
            if (!r.groupName.isEmpty()) {
                Table<Contact> contacts(ctx_.store);
                Contact c{};
                c.contactCategory = r.groupName;
                contacts.set(Contact::KEYCATEGORY, c);
                while (contacts.next(c) == Err::None) {
                    if (Clip(c.contactCategory).compare(r.groupName, Qt::CaseInsensitive) != 0)
                        break;
                    const QString name = (Clip(c.firstName) + QLatin1Char(' ') + Clip(c.lastName)).trimmed();
                    // Addresses are read as people write them; one that cannot be used is
                    // named, and the others still get the message.
                    const QString email = Clip(c.email).trimmed();
                    if (email.isEmpty())
                        continue;
                    const ParsedAddress a = ParseAddress(email);
                    if (a.valid)
                        MailRequest::addRecipient(r.to, name, a.address);
                    else
                        r.unusable.append(Recipient{name, email});
                }
            }
            r.progressFile = QDir(ctx_.logDir).filePath(QStringLiteral("Mailings/%1.sent").arg(emailId));
            r.mailing = MailingFingerprint(emailId, {r.groupName, r.subject, r.body, attachment,
                                                     r.senderAddress, r.senderName, r.organisation});
            r.today = ctx_.clock.today();
        } else {
            send->way = Way::Email;
            r.logFile = QDir(ctx_.logDir).filePath(QStringLiteral("inmail.log"));
            const QString to = Clip(m.emailTo);
            if (!to.isEmpty() && to.toUpper() != QStringLiteral("N/A")) {
                const QStringList addresses = SplitAddresses(to);
                // The name belongs to a single recipient.
                const QString name = addresses.size() == 1 ? Clip(m.emailToName) : QString();
                for (const QString& a : addresses)
                    AddWritten(r.to, name, a);
            }
            for (const QString& a : SplitAddresses(m.cc))
                AddWritten(r.cc, QString(), a);
            for (const QString& a : SplitAddresses(m.bcc))
                AddWritten(r.bcc, QString(), a);
        }
    }
    r.user = MailRequest::text(send->way == Way::News ? s.newsUser : s.smtpUser);

    // No recipient: nothing to talk to a server about.
    if (r.to.isEmpty()) {
        send->outcome = {kMailNoRecipients, {}};
        for (const Recipient& u : r.unusable)
            send->outcome.refused << Refusal{u.name, u.address, QStringLiteral("not an e-mail address")};
        if (!r.unusable.isEmpty())
            send->outcome.code = kMailBadArguments;
        send->done = true;
        const qint32 code = settle(serial, record(*send));
        showErrors(*send, code);
        return code;
    }
    start(std::move(send));
    return kPending;
}

void MailSender::start(std::shared_ptr<Send> send) {
    current_ = send;
    if (send->way != Way::News && ctx_.pendingStatus)
        ctx_.pendingStatus(kSendingEmail);
    SecretStore* secrets = ctx_.secrets;
    const QString protocol = send->way == Way::News ? QStringLiteral("nntp") : QStringLiteral("smtp");
    // The worker holds the send: the sender may go before it ends.
    QThread* worker = QThread::create([send, secrets, protocol] {
        MailRequest& r = send->request;
        const auto cancelled = [&send] { return send->cancel.requested(); };
        // Without its password a login goes on unauthenticated; the server says why it refuses.
        if (!r.user.isEmpty()) {
            const auto password =
                secrets != nullptr
                    ? secrets->readPassword(SecretStore::key(protocol, r.host, r.user), cancelled)
                    : std::nullopt;
            if (password)
                r.password = *password;
            else
                r.user.clear();
        }
        send->outcome = cancelled() ? SendOutcome{kMailUserCancel, {}} : DeliverRequest(r, send->cancel);
        send->done = true;
    });
    connect(
        worker, &QThread::finished, this, [this, send] { workerDone(send); }, Qt::QueuedConnection);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
    watchdog_.start();
    Q_EMIT busyChanged(true);
}

void MailSender::watch() {
    if (current_ && ctx_.stillWanted && !ctx_.stillWanted())
        current_->cancel.request();
}

void MailSender::workerDone(const std::shared_ptr<Send>& send) {
    if (send != current_)
        return;
    watchdog_.stop();
    current_.reset();
    if (send->way != Way::News && ctx_.pendingStatus)
        ctx_.pendingStatus(QString());
    const qint32 code = settle(send->serial, record(*send), send->outcome.reply);
    if (queued_) {
        const auto [next, serial] = *queued_;
        queued_.reset();
        const qint32 nextCode = begin(next, serial);
        if (nextCode != kPending)
            Q_EMIT finished(serial, nextCode, reply_);
    }
    if (!busy())
        Q_EMIT busyChanged(false);
    showErrors(*send, code);
    Q_EMIT finished(send->serial, code, send->outcome.reply);
}

qint32 MailSender::record(const Send& send) {
    const Messages& m = send.message;
    const qint32 code = send.outcome.code;
    const QString to = Clip(m.emailTo);
    if (code == kMailSent) {
        stamp(m.emailId);
        ctx_.log.log(Clip(m.mailType), QStringLiteral("Sent ") + to);
        return code;
    }
    const QString text = MailErrorText(code, send.outcome.reply);
    switch (send.way) {
    case Way::Email:
        ctx_.log.log(QStringLiteral("Mail Error"), QStringLiteral("Error:  ") + text);
        ctx_.log.log(QStringLiteral("Mail Error"), QStringLiteral("Could not send ") + to);
        break;
    case Way::MassMailing:
        ctx_.log.log(QStringLiteral("Mail Error"), text.left(32));
        ctx_.log.log(QStringLiteral("Mail Error"), QStringLiteral("Could not send ") + to);
        for (const Refusal& f : send.outcome.refused)
            ctx_.log.log(QStringLiteral("Mail Error"), QStringLiteral("Not sent to ") + Named(f));
        break;
    case Way::News:
        ctx_.log.log(QStringLiteral("News Error"), text.left(32));
        ctx_.log.log(QStringLiteral("News Error"), QStringLiteral("Could not send ") + to);
        break;
    }
    return code;
}

void MailSender::showErrors(const Send& send, qint32 code) {
    if (code == kMailSent || send.way == Way::Email)
        return;
    const Messages& m = send.message;
    const MailRequest& r = send.request;
    const Settings& s = ctx_.settings;
    const QString text = MailErrorText(code, send.outcome.reply).left(32);
    if (send.way == Way::News) {
        ctx_.dialogs.message(QStringLiteral("Error: ") +
                                 Lines({text, s.nHost, s.nSender, r.senderName, ctx_.applicationTitle,
                                        r.subject, m.emailToName, m.emailTo}),
                             QStringLiteral("Error Sending News Article"), Dialogs::Icon::Exclamation);
        return;
    }
    // The members not reached follow the mailing's own lines.
    QString refused;
    const QList<Refusal>& list = send.outcome.refused;
    if (!list.isEmpty())
        refused = QStringLiteral("Not sent to:\r");
    for (qsizetype i = 0; i < qMin<qsizetype>(list.size(), kRefusalsShown); ++i)
        refused +=
            (Named(list.at(i)) + QStringLiteral(": ") + list.at(i).reason).left(160) + QLatin1Char('\r');
    if (list.size() > kRefusalsShown)
        refused += QStringLiteral("and %1 more (see the event log)\r").arg(list.size() - kRefusalsShown);
    ctx_.dialogs.message(
        QStringLiteral("Error: ") +
            Lines({text, s.host, s.sender, s.senderName, ctx_.applicationTitle, r.subject, m.emailToGroup}) +
            refused,
        QStringLiteral("Error Sending Mass Mailing"), Dialogs::Icon::Exclamation);
}

void MailSender::stamp(qint32 emailId) {
    // Read again: the message may have been changed while it was being sent.
    Table<Messages> messages(ctx_.store);
    Messages m{};
    m.emailId = emailId;
    if (messages.get(Messages::KEYEMAILID, m) != Err::None) {
        warn::RecordRetrieval(ctx_.dialogs, QStringLiteral("Messages"), messages.error());
        return;
    }
    m.lastDateSent = ctx_.clock.today();
    if (messages.put(m) != Err::None)
        warn::UpdateError(ctx_.dialogs, QStringLiteral("Messages"), messages.error());
}

} // namespace kr
