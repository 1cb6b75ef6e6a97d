#pragma once

// The system clipboard as the clipboard saver sees it: the text with the formats offered
// beside it, putting a text back, and whether its content may have changed since the last
// read.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace kr {

// The format a password manager offers beside a copied password, with the content "secret".
inline const QString kPasswordManagerHint = QStringLiteral("x-kde-passwordManagerHint");

struct ClipboardContent {
    QString text;
    QStringList formats; // every format offered
    // The content of the hint formats offered (see SecretHintFormats()).
    QMap<QString, QByteArray> hints;
};

// The formats whose content the seam reads beside the text: the marks by which other programs
// say that a text must not be kept.
const QStringList& SecretHintFormats();
// Whether the content is marked as a secret (a copied password).
bool IsSecret(const ClipboardContent& content);

class SystemClipboard {
public:
    virtual ~SystemClipboard() = default;
    // The current content. An implementation may answer from its last read while it has not
    // seen a change; it never waits long for the clipboard's owner.
    virtual ClipboardContent content() = 0;
    // Puts a text on the clipboard (the clipboard proper, not the selection).
    virtual void put(const QString& text) = 0;
    // Whether a change was seen since the last read.
    virtual bool changed() const = 0;
};

} // namespace kr
