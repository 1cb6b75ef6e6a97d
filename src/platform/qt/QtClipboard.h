#pragma once

// The clipboard through Qt: the clipboard proper only, never the selection. Reading another
// program's clipboard is a round trip to that program, which Qt lets take seconds; the text is
// therefore read once at start and again only after Qt said that the clipboard changed.

#include "platform/Clipboard.h"

#include <QObject>

namespace kr {

class QtClipboard final : public QObject, public SystemClipboard {
    Q_OBJECT
public:
    explicit QtClipboard(QObject* parent = nullptr);

    ClipboardContent content() override;
    void put(const QString& text) override;
    bool changed() const override { return dirty_; }

    // How many times the clipboard itself was read.
    int reads() const { return reads_; }

private:
    ClipboardContent last_;
    bool dirty_ = true;
    int reads_ = 0;
};

} // namespace kr
