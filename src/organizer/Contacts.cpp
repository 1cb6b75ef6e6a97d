#include "organizer/Contacts.h"

#include "platform/Text.h"

#include <QUrl>

namespace kr {

namespace {

bool HasBlankOrControl(const QString& text) {
    for (const QChar c : text)
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return true;
    return false;
}

} // namespace

QString ContactText(const Contact& c) {
    QString out;
    auto line = [&out](const QString& text) {
        out += Clip(text);
        out += QLatin1Char('\n');
    };
    auto labelled = [&line](const char* label, const QString& value) {
        line(QString::fromLatin1(label) + QLatin1Char(' ') + Clip(value));
    };
    line(c.lastName);
    line(c.firstName);
    line(c.addressLine1);
    line(c.addressLine2);
    line(c.addressLine3);
    line(c.postalCode);
    labelled("Work Phone:", c.workdayPhone);
    labelled("Home Phone:", c.homeEveningPhone);
    labelled("Fax:", c.fax);
    labelled("Other Phone:", c.otherPhone);
    labelled("Email:", c.email);
    labelled("Web Site:", c.website);
    labelled("Category:", c.contactCategory);
    return out;
}

Contact CopyOfContact(const Contact& c) {
    Contact copy = c;
    copy.meta = RecordMeta{};
    copy.clientId = 0;
    copy.user.clear();
    return copy;
}

std::optional<QString> MailAddress(const QString& email) {
    const QString address = Clip(email).trimmed();
    if (address.isEmpty() || HasBlankOrControl(address))
        return std::nullopt;
    // '@' is kept; everything that could end the address or start parameters is encoded.
    return QStringLiteral("mailto:") + QString::fromLatin1(QUrl::toPercentEncoding(address, "@"));
}

std::optional<QString> WebAddress(const QString& website) {
    const QString site = Clip(website).trimmed();
    if (site.isEmpty() || HasBlankOrControl(site))
        return std::nullopt;
    const bool http = site.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
                      site.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
    QString address = http ? site : QStringLiteral("http://") + site;
    if (!http) {
        // A scheme of its own ("file:", "mailto:", "javascript:") or a path is not a web site.
        if (site.startsWith(QLatin1Char('/')) || site.startsWith(QLatin1Char('.')) ||
            site.startsWith(QLatin1Char('~')) || site.contains(QLatin1Char('\\')))
            return std::nullopt;
        const int colon = site.indexOf(QLatin1Char(':'));
        const int slash = site.indexOf(QLatin1Char('/'));
        if (colon >= 0 && (slash < 0 || colon < slash)) {
            // "host:port" is a web site; "scheme:..." is not.
            const QString after = site.mid(colon + 1);
            const QString port = after.section(QLatin1Char('/'), 0, 0);
            bool digits = !port.isEmpty();
            for (const QChar ch : port)
                digits = digits && ch.isDigit();
            if (!digits)
                return std::nullopt;
        }
    }
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QStringLiteral("http") && scheme != QStringLiteral("https"))
        return std::nullopt;
    return address;
}

} // namespace kr
