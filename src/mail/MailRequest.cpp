#include "mail/MailRequest.h"

#include "platform/Text.h"

namespace kr {

QString MailRequest::text(const QString& value) {
    return Clip(Clip(value).left(kTextWidth));
}

void MailRequest::addRecipient(QList<Recipient>& list, const QString& name, const QString& address) {
    const QString a = text(address);
    if (a.trimmed().isEmpty())
        return;
    list.append(Recipient{text(name), a});
}

QString MailErrorText(qint32 code, const QString& reply) {
    switch (code) {
    case kMailBadArguments:
        return QStringLiteral("Bad arguments from form");
    case kMailTempRead:
        return QStringLiteral("Unable to open temporary mailfile for read");
    case kMailSockets:
        return QStringLiteral("Failed to start sockets");
    case kMailResolve:
        return QStringLiteral("Failed to resolve host");
    case kMailSocketHandle:
        return QStringLiteral("Failed to obtain socket handle");
    case kMailConnect:
        return QStringLiteral("Failed to connect. Mail Server not found!");
    case kMailSend:
        return QStringLiteral("Failed to send");
    case kMailReceive:
        return QStringLiteral("Failed to receive");
    case kMailServerError:
        return (QStringLiteral("Mail Server Error:") + QLatin1Char('\r') + Clip(reply)).left(254);
    case kMailResolveIp:
        return QStringLiteral("Failed to resolve the host IP name");
    case kMailMemory:
        return QStringLiteral("Out of memory");
    case kMailTempFile:
        return QStringLiteral("Failed to open temporary file");
    case kMailUserCancel:
        return QStringLiteral("User Cancel");
    case kMailNoRecipients:
        return QStringLiteral("No recipiens specified");
    default:
        return QStringLiteral("Unknown error");
    }
}

QStringList SplitAddresses(const QString& field) {
    QStringList out;
    QString f = field;
    f.replace(QLatin1Char(';'), QLatin1Char(','));
    for (const QString& part : f.split(QLatin1Char(','))) {
        const QString a = part.trimmed();
        if (!a.isEmpty())
            out << a;
    }
    return out;
}

bool IsSafeAddress(const QString& address) {
    if (address.isEmpty())
        return false;
    for (const QChar c : address) {
        if (c.unicode() < 0x21 || c.unicode() == 0x7f || c == QLatin1Char('<') || c == QLatin1Char('>') ||
            c.category() == QChar::Separator_Space || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

} // namespace kr
