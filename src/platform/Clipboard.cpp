#include "platform/Clipboard.h"

namespace kr {

const QStringList& SecretHintFormats() {
    static const QStringList formats{kPasswordManagerHint};
    return formats;
}

bool IsSecret(const ClipboardContent& content) {
    const auto hint = content.hints.constFind(kPasswordManagerHint);
    return hint != content.hints.constEnd() && hint->trimmed() == QByteArrayLiteral("secret");
}

QString ClipboardTextFromBytes(const QByteArray& bytes, bool latin1, bool cutShort) {
    if (latin1)
        return QString::fromLatin1(bytes);
    qsizetype end = bytes.size();
    if (cutShort) {
        // Back over the continuation bytes of the last character to its first byte; when the
        // character needs more bytes than are there, it goes.
        qsizetype i = end;
        int continuation = 0;
        while (i > 0 && continuation < 3 && (static_cast<unsigned char>(bytes[i - 1]) & 0xC0) == 0x80) {
            --i;
            ++continuation;
        }
        if (i > 0) {
            const auto lead = static_cast<unsigned char>(bytes[i - 1]);
            const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (length > 1 && length > continuation + 1)
                end = i - 1;
        }
    }
    return QString::fromUtf8(bytes.constData(), end);
}

} // namespace kr
