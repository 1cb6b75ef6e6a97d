#include "clipboard/Run.h"

#include "platform/Text.h"

#include <QDir>
#include <QFileInfo>

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

// Blanks, tabs and line breaks: no address or unquoted name goes across one.
bool Separates(QChar c) {
    return c.unicode() <= u' ' || c.unicode() == 0x7F;
}

QString AddressFrom(const QString& text, qsizetype at) {
    QString address = text.mid(at, 255);
    for (qsizetype i = 0; i < address.size(); ++i) {
        if (Separates(address[i]) || address[i] == QLatin1Char('"')) {
            address.truncate(i);
            break;
        }
    }
    return address;
}

// The name that ends with the extension found at `at`: from just after the nearest double
// quote before it when the text up to the character after the extension holds one, else from
// just after the nearest blank or line break before it, else from the start.
QString NameEndingAt(const QString& text, qsizetype at, qsizetype length) {
    const qsizetype end = at + length;
    qsizetype start = 0;
    if (text.left(end + 1).contains(QLatin1Char('"'))) {
        start = at > 0 ? text.lastIndexOf(QLatin1Char('"'), at - 1) + 1 : 0;
    } else {
        for (qsizetype i = at - 1; i >= 0; --i) {
            if (Separates(text[i])) {
                start = i + 1;
                break;
            }
        }
    }
    return text.mid(start, end - start);
}

const QString kRunLabel = QStringLiteral("Run Program");

} // namespace

std::vector<ClipboardRunTarget> ClipboardRunTargets(const QString& text) {
    const QString lower = AsciiLower(text);
    std::vector<ClipboardRunTarget> targets;
    for (const char* pattern : {"http:", "https:", "mailto:"}) {
        const qsizetype at = lower.indexOf(QLatin1String(pattern));
        if (at < 0)
            continue;
        const QString address = AddressFrom(text, at);
        if (!Clip(address).isEmpty())
            targets.push_back({ClipboardRunTarget::Address, address});
    }
    for (const char* extension : {".exe", ".lnk", ".url"}) {
        const qsizetype at = lower.indexOf(QLatin1String(extension));
        if (at < 0)
            continue;
        const QString name = NameEndingAt(text, at, 4);
        if (!Clip(name).isEmpty())
            targets.push_back({ClipboardRunTarget::File, name});
    }
    if (targets.empty() && text.startsWith(QLatin1String("www")))
        targets.push_back({ClipboardRunTarget::Address, QStringLiteral("http://") + AddressFrom(text, 0)});
    return targets;
}

bool ClipboardTextIsLink(const QString& text) {
    const QString lower = AsciiLower(text);
    for (const char* pattern : {"http:", "https:", "mailto:", ".exe", ".lnk"})
        if (lower.contains(QLatin1String(pattern)))
            return true;
    return false;
}

int RunClipboardText(const QString& text, const ClipboardRunContext& ctx) {
    int started = 0;
    for (const ClipboardRunTarget& target : ClipboardRunTargets(text)) {
        QString name = target.name;
        int result = shell::kFileNotFound;
        if (target.kind == ClipboardRunTarget::Address) {
            ctx.log.log(kRunLabel, QStringLiteral("Clipboard Saver: an address"));
            result = ctx.processes.shellExecute(name, QString(), QString(), QStringLiteral("open"));
        } else {
            ctx.log.log(kRunLabel, QStringLiteral("Clipboard Saver: a file"));
            // Only an existing file, named by its whole path: never a program found on the
            // search path, never a name taken apart at its blanks.
            QString path = name;
            if (path.startsWith(QStringLiteral("~/")))
                path = QDir::homePath() + path.mid(1);
            const QFileInfo file(QDir::current().absoluteFilePath(path));
            if (file.exists())
                result = ctx.processes.shellExecute(file.absoluteFilePath(), QString(), QString(),
                                                    QStringLiteral("open"));
        }
        if (result > 32) {
            ++started;
            continue;
        }
        ctx.dialogs.message(QStringLiteral("Could not start ") + Clip(name) + QLatin1Char('.'),
                            QStringLiteral("Error Code ") + QString::number(result),
                            Dialogs::Icon::Exclamation);
    }
    return started;
}

} // namespace kr
