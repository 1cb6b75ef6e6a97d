#include "platform/qt/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace kr {

QtClipboard::QtClipboard(QObject* parent)
    : QObject(parent) {
    if (QClipboard* c = QGuiApplication::clipboard())
        connect(c, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard)
                dirty_ = true;
        });
}

ClipboardContent QtClipboard::content() {
    if (!dirty_)
        return last_;
    dirty_ = false;
    ++reads_;
    last_ = {};
    QClipboard* c = QGuiApplication::clipboard();
    const QMimeData* data = c != nullptr ? c->mimeData(QClipboard::Clipboard) : nullptr;
    if (data == nullptr)
        return last_;
    last_.formats = data->formats();
    for (const QString& hint : SecretHintFormats())
        if (last_.formats.contains(hint))
            last_.hints.insert(hint, data->data(hint));
    if (data->hasText())
        last_.text = data->text();
    return last_;
}

void QtClipboard::put(const QString& text) {
    if (QClipboard* c = QGuiApplication::clipboard())
        c->setText(text, QClipboard::Clipboard);
}

} // namespace kr
