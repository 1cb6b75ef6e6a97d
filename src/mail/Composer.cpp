#include "mail/Composer.h"

#include <QRandomGenerator>

namespace kr {

namespace {

const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Header texts come from scripts (window titles, file contents): a line break in them would
// start a header of its own.
QString Blanked(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar(0x2028) || c == QChar(0x2029) ||
            c == QChar(0x85))
            c = QLatin1Char(' ');
    return out;
}

bool IsAscii(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() > 0x7e)
            return false;
    return true;
}

// Characters that may stand in a display name without quoting.
bool IsAtomText(const QString& text) {
    static const QString specials = QStringLiteral("()<>[]:;@\\,.\"");
    for (const QChar c : text)
        if (specials.contains(c))
            return false;
    return true;
}

QByteArray RandomHex(int bytes) {
    QByteArray raw(bytes, Qt::Uninitialized);
    for (char& c : raw)
        c = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return raw.toHex();
}

void AppendHeader(QByteArray& out, const char* name, const QByteArray& value) {
    out += name;
    out += ": ";
    out += value;
    out += "\r\n";
}

QByteArray Base64Lines(const QByteArray& data) {
    const QByteArray b = data.toBase64();
    QByteArray out;
    out.reserve(b.size() + b.size() / 76 * 2 + 2);
    for (qsizetype i = 0; i < b.size(); i += 76) {
        out += b.mid(i, 76);
        out += "\r\n";
    }
    return out;
}

// The file name parameter: plain when it is simple ASCII, RFC 2231 otherwise.
QByteArray FileNameParameter(const QString& name) {
    const QString clean = Blanked(name);
    bool plain = IsAscii(clean);
    for (const QChar c : clean)
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            plain = false;
    if (plain)
        return "filename=\"" + clean.toLatin1() + '"';
    return "filename*=UTF-8''" + clean.toUtf8().toPercentEncoding();
}

QByteArray Recipients(const QList<Recipient>& list) {
    QByteArray out;
    for (const Recipient& r : list) {
        if (!out.isEmpty())
            out += ",\r\n ";
        out += FormatMailbox(r.name, r.address);
    }
    return out;
}

} // namespace

QByteArray HeaderDate(const QDateTime& date) {
    const int offset = date.offsetFromUtc() / 60;
    const int a = offset < 0 ? -offset : offset;
    return QStringLiteral("%1, %2 %3 %4 %5 %6%7")
        .arg(QLatin1String(kDays[date.date().dayOfWeek() - 1]))
        .arg(date.date().day(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(kMonths[date.date().month() - 1]))
        .arg(date.date().year())
        .arg(date.time().toString(QStringLiteral("HH:mm:ss")))
        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(a / 60 * 100 + a % 60, 4, 10, QLatin1Char('0'))
        .toLatin1();
}

QByteArray EncodeHeaderText(const QString& text) {
    const QString clean = Blanked(text);
    if (IsAscii(clean))
        return clean.toLatin1();
    // Encoded words of at most 75 characters, never splitting a character.
    QByteArray out;
    QByteArray chunk;
    auto flush = [&] {
        if (chunk.isEmpty())
            return;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < clean.size(); ++i) {
        QString one(clean.at(i));
        if (clean.at(i).isHighSurrogate() && i + 1 < clean.size())
            one += clean.at(++i);
        const QByteArray bytes = one.toUtf8();
        if (chunk.size() + bytes.size() > 45)
            flush();
        chunk += bytes;
    }
    flush();
    return out;
}

QByteArray EncodePhrase(const QString& text) {
    const QString n = Blanked(text).trimmed();
    if (!IsAscii(n))
        return EncodeHeaderText(n);
    if (IsAtomText(n))
        return n.toLatin1();
    QString q = n;
    q.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    q.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return '"' + q.toLatin1() + '"';
}

QByteArray FormatMailbox(const QString& name, const QString& address) {
    const QByteArray addr = Blanked(address).toUtf8();
    if (Blanked(name).trimmed().isEmpty())
        return addr;
    return EncodePhrase(name) + " <" + addr + '>';
}

QByteArray QuotedPrintable(const QByteArray& utf8) {
    // Lines end in CRLF whatever the body used.
    QByteArray text = utf8;
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    QByteArray out;
    const QList<QByteArray> lines = text.split('\n');
    static const char hex[] = "0123456789ABCDEF";
    for (qsizetype l = 0; l < lines.size(); ++l) {
        const QByteArray& line = lines.at(l);
        int column = 0;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const auto c = static_cast<unsigned char>(line.at(i));
            const bool last = i + 1 == line.size();
            QByteArray piece;
            // A blank at the end of a line, a dot at its start, "=" and non-ASCII are encoded.
            if ((c >= 33 && c <= 126 && c != '=' && !(c == '.' && column == 0)) ||
                ((c == ' ' || c == '\t') && !last))
                piece = QByteArray(1, static_cast<char>(c));
            else
                piece = QByteArray{"="} + hex[c >> 4] + hex[c & 15];
            if (column + piece.size() > (last ? 76 : 75)) {
                out += "=\r\n";
                column = 0;
                if (piece == ".")
                    piece = "=2E";
            }
            out += piece;
            column += static_cast<int>(piece.size());
        }
        if (l + 1 < lines.size())
            out += "\r\n";
    }
    out += "\r\n";
    return out;
}

ComposeOptions FreshComposeOptions(const QString& senderAddress) {
    ComposeOptions o;
    o.date = QDateTime::currentDateTime();
    QString domain = senderAddress.section(QLatin1Char('@'), 1);
    if (domain.isEmpty() || !IsSafeAddress(domain))
        domain = QStringLiteral("localhost");
    o.messageId = RandomHex(16) + '@' + domain.toLatin1();
    o.boundary = "=_kelvray_" + RandomHex(12);
    return o;
}

QByteArray ComposeMessage(const MailRequest& r, const QList<Attachment>& attachments,
                          const ComposeOptions& o) {
    QByteArray out;
    AppendHeader(out, "Date", HeaderDate(o.date));
    AppendHeader(out, "Message-ID", '<' + o.messageId + '>');
    AppendHeader(out, "From", FormatMailbox(r.senderName, r.senderAddress));
    if (r.mode == MailRequest::Mode::News) {
        QByteArray groups;
        for (const Recipient& g : r.to) {
            if (!groups.isEmpty())
                groups += ',';
            groups += Blanked(g.address).remove(QLatin1Char(' ')).toLatin1();
        }
        AppendHeader(out, "Newsgroups", groups);
    } else if (r.massMailing) {
        // An empty group: the members' addresses stay out of every copy. Its name is a phrase,
        // quoted when the category holds what a phrase cannot (", " or ":").
        const QString group = Blanked(r.groupName).trimmed();
        AppendHeader(out, "To", EncodePhrase(group.isEmpty() ? QStringLiteral("Recipients") : group) + ": ;");
    } else {
        AppendHeader(out, "To", Recipients(r.to));
        if (!r.cc.isEmpty())
            AppendHeader(out, "Cc", Recipients(r.cc));
    }
    AppendHeader(out, "Subject", EncodeHeaderText(r.subject));
    if (!r.organisation.trimmed().isEmpty())
        AppendHeader(out, "Organization", EncodeHeaderText(r.organisation));
    if (!r.mailer.trimmed().isEmpty())
        AppendHeader(out, "User-Agent", EncodeHeaderText(r.mailer));
    AppendHeader(out, "MIME-Version", "1.0");
    const QByteArray textType = "text/plain; charset=UTF-8";
    const QByteArray body = QuotedPrintable(r.body.toUtf8());
    if (attachments.isEmpty()) {
        AppendHeader(out, "Content-Type", textType);
        AppendHeader(out, "Content-Transfer-Encoding", "quoted-printable");
        out += "\r\n";
        out += body;
        return out;
    }
    AppendHeader(out, "Content-Type", "multipart/mixed; boundary=\"" + o.boundary + '"');
    out += "\r\nThis is a message in MIME format.\r\n";
    out += "\r\n--" + o.boundary + "\r\n";
    AppendHeader(out, "Content-Type", textType);
    AppendHeader(out, "Content-Transfer-Encoding", "quoted-printable");
    out += "\r\n";
    out += body;
    for (const Attachment& a : attachments) {
        out += "\r\n--" + o.boundary + "\r\n";
        AppendHeader(out, "Content-Type",
                     a.mimeType.isEmpty() ? QByteArray("application/octet-stream") : a.mimeType);
        AppendHeader(out, "Content-Transfer-Encoding", "base64");
        AppendHeader(out, "Content-Disposition", "attachment; " + FileNameParameter(a.fileName));
        out += "\r\n";
        out += Base64Lines(a.data);
    }
    out += "\r\n--" + o.boundary + "--\r\n";
    return out;
}

} // namespace kr
