#pragma once

// The clipboard through Qt: the clipboard proper only, never the selection. Reading another
// program's clipboard is a round trip to that program. Given a reader of its own (on X11), the
// text is read there, away from this thread, and a call answers from the last read that
// finished; without one (Wayland), Qt reads it, once at start and again only after Qt said
// that the clipboard changed, and Qt lets such a read take seconds.

#include "platform/Clipboard.h"

#include <QObject>

#include <memory>

namespace kr {

class QtClipboard final : public QObject, public SystemClipboard {
    Q_OBJECT
public:
    explicit QtClipboard(std::unique_ptr<ClipboardReader> reader = nullptr, QObject* parent = nullptr);
    ~QtClipboard() override;

    ClipboardContent content() override;
    void put(const QString& text) override;
    bool changed() const override;

    // How many times the clipboard itself was read (reads that finished and were taken).
    int reads() const { return reads_; }
    ClipboardReader* reader() const { return reader_.get(); }

private:
    std::unique_ptr<ClipboardReader> reader_;
    ClipboardContent last_;
    bool dirty_ = true;
    int reads_ = 0;
};

} // namespace kr
