#include "clipboard/Run.h"

#include "platform/Text.h"

namespace kr {

namespace {

// Lower case for A to Z only, so that positions in it are positions in the text.
QString AsciiLower(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c.unicode() >= u'A' && c.unicode() <= u'Z')
            c = QChar(c.unicode() - u'A' + u'a');
    return out;
}

QString AddressFrom(const QString& text, qsizetype at) {
    QString address = text.mid(at, 255);
    for (qsizetype i = 0; i < address.size(); ++i) {
        if (address[i] == QLatin1Char(' ') || address[i] == QLatin1Char('"')) {
            address.truncate(i);
            break;
        }
    }
    return address;
}

// The name that ends with the extension found at `at`.
QString NameEndingAt(const QString& text, qsizetype at, qsizetype length) {
    const qsizetype end = at + length;
    qsizetype start = 0;
    if (at > 0) {
        const QChar boundary =
            text.left(end + 1).contains(QLatin1Char('"')) ? QLatin1Char('"') : QLatin1Char(' ');
        start = text.lastIndexOf(boundary, at - 1) + 1;
    }
    return text.mid(start, end - start);
}

} // namespace

QStringList ClipboardRunTargets(const QString& text) {
    const QString lower = AsciiLower(text);
    QStringList targets;
    for (const char* pattern : {"http:", "https:", "mailto:"}) {
        const qsizetype at = lower.indexOf(QLatin1String(pattern));
        if (at < 0)
            continue;
        const QString address = AddressFrom(text, at);
        if (!Clip(address).isEmpty())
            targets << address;
    }
    for (const char* extension : {".exe", ".lnk", ".url"}) {
        const qsizetype at = lower.indexOf(QLatin1String(extension));
        if (at < 0)
            continue;
        const QString name = NameEndingAt(text, at, 4);
        if (!Clip(name).isEmpty())
            targets << name;
    }
    if (targets.isEmpty() && text.startsWith(QLatin1String("www")))
        targets << QStringLiteral("http://") + Clip(text);
    return targets;
}

bool ClipboardTextIsLink(const QString& text) {
    const QString lower = AsciiLower(text);
    for (const char* pattern : {"http:", "https:", "mailto:", ".exe", ".lnk"})
        if (lower.contains(QLatin1String(pattern)))
            return true;
    return false;
}

} // namespace kr
