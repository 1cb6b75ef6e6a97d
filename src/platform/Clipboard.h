#pragma once

// The system clipboard as the clipboard saver sees it: the text with the formats offered
// beside it, putting a text back, and whether its content may have changed since the last
// read.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace kr {

// The format a password manager offers beside a copied password, with the content "secret".
inline const QString kPasswordManagerHint = QStringLiteral("x-kde-passwordManagerHint");

struct ClipboardContent {
    QString text;
    QStringList formats; // the formats offered (a reader of its own names those it knows)
    // The content of the hint formats offered (see SecretHintFormats()).
    QMap<QString, QByteArray> hints;
};

// The formats whose content the seam reads beside the text: the marks by which other programs
// say that a text must not be kept.
const QStringList& SecretHintFormats();
// Whether the content is marked as a secret (a copied password).
bool IsSecret(const ClipboardContent& content);
// The text of a clipboard format's bytes: UTF-8, or Latin-1 (X11's STRING). Bytes cut short
// after a limit may end inside a character, which is then left out.
QString ClipboardTextFromBytes(const QByteArray& bytes, bool latin1, bool cutShort);

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

// Reads another program's clipboard away from the caller: asked to read, it reads on a thread
// of its own and the content is taken on a later call. Nothing here waits for the clipboard's
// owner, and a read gives up after a time and a size limit.
class ClipboardReader {
public:
    virtual ~ClipboardReader() = default;
    // Whether a read would give something new: the clipboard changed (or was never read) since
    // the last read that finished, or a finished read waits to be taken.
    virtual bool changed() const = 0;
    // Starts a read when the clipboard changed and no read is under way.
    virtual void request() = 0;
    // The content of the read that finished last, once.
    virtual std::optional<ClipboardContent> take() = 0;
};

} // namespace kr
