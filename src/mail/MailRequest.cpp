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
    QString part;
    bool quoted = false;
    bool angled = false;
    auto take = [&] {
        const QString a = part.trimmed();
        if (!a.isEmpty())
            out << a;
        part.clear();
    };
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field.at(i);
        if (quoted && c == QLatin1Char('\\') && i + 1 < field.size()) {
            part += c;
            part += field.at(++i);
            continue;
        }
        if (c == QLatin1Char('"') && !angled)
            quoted = !quoted;
        else if (c == QLatin1Char('<') && !quoted)
            angled = true;
        else if (c == QLatin1Char('>') && !quoted)
            angled = false;
        else if ((c == QLatin1Char(',') || c == QLatin1Char(';')) && !quoted && !angled) {
            take();
            continue;
        }
        part += c;
    }
    take();
    return out;
}

ParsedAddress ParseAddress(const QString& text) {
    ParsedAddress p;
    QString t = text.trimmed();
    const qsizetype open = t.lastIndexOf(QLatin1Char('<'));
    if (open >= 0) {
        const qsizetype close = t.indexOf(QLatin1Char('>'), open);
        if (close < 0 || !t.mid(close + 1).trimmed().isEmpty()) {
            p.address = t;
            return p;
        }
        p.address = t.mid(open + 1, close - open - 1).trimmed();
        QString name = t.left(open).trimmed();
        if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"'))) {
            QString plain;
            for (qsizetype i = 1; i + 1 < name.size(); ++i) {
                if (name.at(i) == QLatin1Char('\\') && i + 2 < name.size())
                    ++i;
                plain += name.at(i);
            }
            name = plain;
        }
        p.name = name.trimmed();
    } else if (t.endsWith(QLatin1Char(')')) && t.indexOf(QLatin1Char('(')) > 0) {
        const qsizetype paren = t.indexOf(QLatin1Char('('));
        p.name = t.mid(paren + 1, t.size() - paren - 2).trimmed();
        p.address = t.left(paren).trimmed();
    } else {
        p.address = t;
    }
    if (p.address.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive))
        p.address = p.address.mid(7).trimmed();
    p.valid = IsSafeAddress(p.address);
    return p;
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
