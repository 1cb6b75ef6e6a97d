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

} // namespace kr
