#include "platform/qt/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace kr {

QtClipboard::QtClipboard(std::unique_ptr<ClipboardReader> reader, QObject* parent)
    : QObject(parent)
    , reader_(std::move(reader)) {
    if (reader_)
        return;
    if (QClipboard* c = QGuiApplication::clipboard())
        connect(c, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard)
                dirty_ = true;
        });
}

QtClipboard::~QtClipboard() = default;

bool QtClipboard::changed() const {
    return reader_ ? reader_->changed() : dirty_;
}

ClipboardContent QtClipboard::content() {
    if (reader_) {
        if (std::optional<ClipboardContent> read = reader_->take()) {
            last_ = std::move(*read);
            ++reads_;
        }
        // A change is read now and found by a later call.
        if (reader_->changed())
            reader_->request();
        return last_;
    }
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
