#pragma once

// The clipboard of the X display read on a connection of its own, on a thread of its own.
// XFixes tells of every new owner; a read asks the owner for its formats, a password manager's
// secret mark and the text, each conversion answered within a time limit, and takes at most a
// limited number of bytes of the text, giving up on a long incremental transfer. A program that
// never answers or offers a huge text therefore costs the caller nothing. Xlib's own headers
// stay in the .cpp.

#include "platform/Clipboard.h"

#include <QByteArray>

#include <memory>
#include <thread>

namespace kr {

class X11ClipboardReader final : public ClipboardReader {
public:
    struct Limits {
        // Bytes of the text taken from the owner: enough for 4,096 characters of UTF-8.
        qsizetype textBytes = 4 * 4096 + 4;
        // For one whole read, every conversion of it included.
        int timeoutMs = 2000;
    };
    // What the reads did so far.
    struct Stats {
        int finished = 0;  // reads that gave a content
        int abandoned = 0; // reads given up: no answer in time, or a new owner came first
        qint64 bytes = 0;  // bytes of property data taken from the server
        int cutShort = 0;  // texts of which only the first bytes were taken
    };

    // Connects to the named display, or to $DISPLAY. Null when there is no display or it
    // lacks the XFixes extension.
    static std::unique_ptr<X11ClipboardReader> open(const QByteArray& display, Limits limits);
    static std::unique_ptr<X11ClipboardReader> open(const QByteArray& display = {});
    ~X11ClipboardReader() override;
    X11ClipboardReader(const X11ClipboardReader&) = delete;
    X11ClipboardReader& operator=(const X11ClipboardReader&) = delete;

    bool changed() const override;
    void request() override;
    std::optional<ClipboardContent> take() override;

    Stats stats() const;
    // Whether a read is under way.
    bool busy() const;

    struct Shared;

private:
    X11ClipboardReader(void* display, int xfixesEvent, Limits limits);

    std::shared_ptr<Shared> shared_;
    std::thread worker_;
};

} // namespace kr
