#include "platform/x11/X11ClipboardReader.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kr {

struct X11ClipboardReader::Shared {
    mutable std::mutex mutex;
    quint64 noticed = 1; // new owners seen; the clipboard as found counts as the first
    quint64 readOf = 0;  // `noticed` when the last read that finished began
    bool wanted = false; // a read was asked for and has not begun
    bool busy = false;   // a read is under way
    bool stop = false;
    std::optional<ClipboardContent> result;
    Stats stats;
    int wake = -1; // an eventfd that wakes the worker

    void signal() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake, &one, sizeof one);
    }
};

namespace {

using SteadyClock = std::chrono::steady_clock;

// The formats are few: 1,024 of them at most. The secret mark holds a word.
constexpr qsizetype kTargetsBytes = 4096;
constexpr qsizetype kHintBytes = 64;

// One piece of a window property, as Xlib gives it: bytes (format 8) or numbers (format 32,
// which Xlib hands out as longs).
struct Piece {
    bool ok = false;
    Atom type = None;
    int format = 0;
    QByteArray bytes;
    std::vector<unsigned long> numbers;
    unsigned long after = 0; // bytes left in the property
};

Piece ReadProperty(Display* d, Window w, Atom property, qsizetype maxBytes, qint64& received) {
    Piece piece;
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned char* data = nullptr;
    const long longs = static_cast<long>((maxBytes + 3) / 4);
    if (XGetWindowProperty(d, w, property, 0, longs, False, AnyPropertyType, &type, &format, &items,
                           &piece.after, &data) != Success)
        return piece;
    piece.ok = true;
    piece.type = type;
    piece.format = format;
    if (data != nullptr) {
        if (format == 8) {
            const auto kept = std::min<unsigned long>(items, static_cast<unsigned long>(maxBytes));
            piece.bytes = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(kept));
            piece.after += items - kept;
            received += static_cast<qint64>(items);
        } else if (format == 32) {
            const auto* n = reinterpret_cast<const unsigned long*>(data);
            piece.numbers.assign(n, n + items);
            received += static_cast<qint64>(items) * 4;
        } else if (format == 16) {
            received += static_cast<qint64>(items) * 2;
        }
        XFree(data);
    }
    return piece;
}

class Worker {
public:
    Worker(Display* d, int xfixesEvent, X11ClipboardReader::Limits limits,
           std::shared_ptr<X11ClipboardReader::Shared> shared)
        : d_(d)
        , xfixesEvent_(xfixesEvent)
        , limits_(limits)
        , shared_(std::move(shared)) {
        clipboard_ = Intern("CLIPBOARD");
        targets_ = Intern("TARGETS");
        incr_ = Intern("INCR");
        property_ = Intern("KELVRAY_CLIPBOARD");
        utf8_ = Intern("UTF8_STRING");
        plainUtf8_ = Intern("text/plain;charset=utf-8");
        plain_ = Intern("text/plain");
        hint_ = XInternAtom(d_, kPasswordManagerHint.toLatin1().constData(), False);
    }

    void run() {
        listener_ = XCreateSimpleWindow(d_, DefaultRootWindow(d_), -10, -10, 1, 1, 0, 0, 0);
        XFixesSelectSelectionInput(d_, listener_, clipboard_,
                                   XFixesSetSelectionOwnerNotifyMask |
                                       XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
        XFlush(d_);
        for (;;) {
            // Xlib may already hold events it read with an earlier reply.
            while (XPending(d_) > 0) {
                XEvent e;
                XNextEvent(d_, &e);
                handle(e);
            }
            bool stop = false;
            bool wanted = false;
            {
                std::lock_guard lock(shared_->mutex);
                stop = shared_->stop;
                wanted = shared_->wanted;
            }
            if (stop)
                break;
            if (step_ == Step::Idle && wanted) {
                start();
                continue;
            }
            int timeout = -1;
            if (step_ != Step::Idle) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - SteadyClock::now())
                        .count();
                if (left <= 0) {
                    abandon();
                    continue;
                }
                timeout = static_cast<int>(left);
            }
            pollfd fds[2] = {{ConnectionNumber(d_), POLLIN, 0}, {shared_->wake, POLLIN, 0}};
            ::poll(fds, 2, timeout);
            if ((fds[1].revents & POLLIN) != 0) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(shared_->wake, &count, sizeof count);
            }
        }
        if (window_ != None)
            XDestroyWindow(d_, window_);
        XDestroyWindow(d_, listener_);
        XCloseDisplay(d_);
    }

private:
    enum class Step { Idle, Targets, Hint, Text };

    Atom Intern(const char* name) { return XInternAtom(d_, name, False); }

    void handle(XEvent& e) {
        if (e.type == xfixesEvent_ + XFixesSelectionNotify) {
            const auto& n = reinterpret_cast<const XFixesSelectionNotifyEvent&>(e);
            if (n.selection != clipboard_)
                return;
            {
                std::lock_guard lock(shared_->mutex);
                ++shared_->noticed;
            }
            // The read under way is for an owner that has gone: the asked-for read is of the new one.
            if (step_ != Step::Idle) {
                abandon();
                std::lock_guard lock(shared_->mutex);
                shared_->wanted = true;
            }
            return;
        }
        if (e.type == SelectionNotify)
            selectionNotify(e.xselection);
        else if (e.type == PropertyNotify)
            propertyNotify(e.xproperty);
    }

    void start() {
        {
            std::lock_guard lock(shared_->mutex);
            shared_->wanted = false;
            shared_->busy = true;
            generation_ = shared_->noticed;
        }
        content_ = {};
        if (XGetSelectionOwner(d_, clipboard_) == None) {
            finish(); // nobody owns the clipboard: it is empty
            return;
        }
        // A window of its own for every read: an owner still busy with an earlier, abandoned
        // transfer writes to a window that is gone, never into this read.
        window_ = XCreateSimpleWindow(d_, DefaultRootWindow(d_), -10, -10, 1, 1, 0, 0, 0);
        XSelectInput(d_, window_, PropertyChangeMask);
        deadline_ = SteadyClock::now() + std::chrono::milliseconds(limits_.timeoutMs);
        step_ = Step::Targets;
        convert(targets_);
    }

    void convert(Atom target) {
        target_ = target;
        incremental_ = false;
        cut_ = false;
        incoming_.clear();
        XConvertSelection(d_, clipboard_, target, property_, window_, CurrentTime);
        XFlush(d_);
    }

    qsizetype limit() const {
        return step_ == Step::Targets ? kTargetsBytes : step_ == Step::Hint ? kHintBytes : limits_.textBytes;
    }

    void selectionNotify(const XSelectionEvent& e) {
        if (step_ == Step::Idle || e.requestor != window_ || e.selection != clipboard_ || e.target != target_)
            return;
        if (e.property == None) {
            received({}); // refused
            return;
        }
        Piece piece = readPiece(limit());
        if (piece.ok && piece.type == incr_) {
            // The owner sends the value in pieces, each after the one before is deleted.
            incremental_ = true;
            XDeleteProperty(d_, window_, property_);
            XFlush(d_);
            return;
        }
        XDeleteProperty(d_, window_, property_);
        if (piece.after > 0 && step_ == Step::Text)
            cutShort();
        cut_ = piece.after > 0;
        received(std::move(piece));
    }

    void propertyNotify(const XPropertyEvent& e) {
        if (step_ == Step::Idle || !incremental_ || e.window != window_ || e.atom != property_ ||
            e.state != PropertyNewValue)
            return;
        Piece piece = readPiece(limit() - incoming_.size());
        if (!piece.ok || piece.format != 8) {
            received({});
            return;
        }
        if (piece.bytes.isEmpty() && piece.after == 0) {
            // An empty piece ends the transfer.
            XDeleteProperty(d_, window_, property_);
            piece.bytes = incoming_;
            received(std::move(piece));
            return;
        }
        incoming_ += piece.bytes;
        if (incoming_.size() >= limit()) {
            // Enough: the rest is never asked for, and the owner's next piece meets no window.
            if (step_ == Step::Text)
                cutShort();
            cut_ = true;
            piece.bytes = incoming_;
            received(std::move(piece));
            return;
        }
        XDeleteProperty(d_, window_, property_);
        XFlush(d_);
    }

    // The round trip to the server is made without the lock: the caller's thread never waits
    // on it.
    Piece readPiece(qsizetype maxBytes) {
        qint64 received = 0;
        Piece piece = ReadProperty(d_, window_, property_, maxBytes, received);
        std::lock_guard lock(shared_->mutex);
        shared_->stats.bytes += received;
        return piece;
    }

    void cutShort() {
        std::lock_guard lock(shared_->mutex);
        ++shared_->stats.cutShort;
    }

    // The value of the conversion under way (not ok when refused).
    void received(Piece piece) {
        switch (step_) {
        case Step::Targets: {
            std::vector<Atom> offered;
            if (piece.ok && piece.format == 32 && (piece.type == XA_ATOM || piece.type == targets_))
                offered.assign(piece.numbers.begin(), piece.numbers.end());
            auto has = [&](Atom a) { return std::find(offered.begin(), offered.end(), a) != offered.end(); };
            texts_.clear();
            if (offered.empty()) {
                // No list of formats: ask for text as most owners give it.
                texts_ = {utf8_, XA_STRING};
            } else {
                for (const auto& [atom, name] :
                     {std::pair{utf8_, "UTF8_STRING"}, std::pair{plainUtf8_, "text/plain;charset=utf-8"},
                      std::pair{XA_STRING, "STRING"}, std::pair{plain_, "text/plain"}}) {
                    if (has(atom)) {
                        texts_.push_back(atom);
                        content_.formats << QString::fromLatin1(name);
                    }
                }
            }
            if (has(hint_)) {
                content_.formats << kPasswordManagerHint;
                step_ = Step::Hint;
                convert(hint_);
                return;
            }
            nextText();
            return;
        }
        case Step::Hint:
            if (piece.ok && piece.format == 8)
                content_.hints.insert(kPasswordManagerHint, piece.bytes);
            // A secret is not even taken from its owner.
            if (IsSecret(content_)) {
                finish();
                return;
            }
            nextText();
            return;
        case Step::Text:
            if (!piece.ok || piece.format != 8) {
                nextText();
                return;
            }
            content_.text = ClipboardTextFromBytes(piece.bytes, target_ == XA_STRING, cut_);
            finish();
            return;
        case Step::Idle:
            return;
        }
    }

    void nextText() {
        if (texts_.empty()) {
            finish(); // no text offered
            return;
        }
        const Atom target = texts_.front();
        texts_.erase(texts_.begin());
        step_ = Step::Text;
        convert(target);
    }

    void endRead() {
        if (window_ != None) {
            XDestroyWindow(d_, window_);
            XFlush(d_);
            window_ = None;
        }
        step_ = Step::Idle;
        incremental_ = false;
        incoming_.clear();
    }

    void finish() {
        endRead();
        std::lock_guard lock(shared_->mutex);
        shared_->result = std::move(content_);
        content_ = {};
        shared_->readOf = generation_;
        shared_->busy = false;
        ++shared_->stats.finished;
    }

    void abandon() {
        endRead();
        std::lock_guard lock(shared_->mutex);
        shared_->busy = false;
        ++shared_->stats.abandoned;
    }

    Display* d_;
    int xfixesEvent_;
    X11ClipboardReader::Limits limits_;
    std::shared_ptr<X11ClipboardReader::Shared> shared_;
    Atom clipboard_ = None, targets_ = None, incr_ = None, property_ = None;
    Atom utf8_ = None, plainUtf8_ = None, plain_ = None, hint_ = None;
    Window listener_ = None;
    Window window_ = None; // the window of the read under way
    Step step_ = Step::Idle;
    Atom target_ = None;
    std::vector<Atom> texts_; // text formats still to ask for, the best first
    bool incremental_ = false;
    bool cut_ = false; // the value was taken only in part
    QByteArray incoming_;
    quint64 generation_ = 0;
    SteadyClock::time_point deadline_;
    ClipboardContent content_;
};

} // namespace

std::unique_ptr<X11ClipboardReader> X11ClipboardReader::open(const QByteArray& display, Limits limits) {
    // The connection is the worker's alone, but Xlib's shared state is reached from two threads
    // (libX11 1.8 makes itself thread-safe at load; the call says so for older ones).
    XInitThreads();
    Display* d = XOpenDisplay(display.isEmpty() ? nullptr : display.constData());
    if (d == nullptr)
        return nullptr;
    int event = 0;
    int error = 0;
    int major = 5;
    int minor = 0;
    if (!XFixesQueryExtension(d, &event, &error) || !XFixesQueryVersion(d, &major, &minor) || major < 1) {
        XCloseDisplay(d);
        return nullptr;
    }
    return std::unique_ptr<X11ClipboardReader>(new X11ClipboardReader(d, event, limits));
}

std::unique_ptr<X11ClipboardReader> X11ClipboardReader::open(const QByteArray& display) {
    return open(display, Limits{});
}

X11ClipboardReader::X11ClipboardReader(void* display, int xfixesEvent, Limits limits)
    : shared_(std::make_shared<Shared>()) {
    shared_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    worker_ = std::thread([display, xfixesEvent, limits, shared = shared_] {
        Worker(static_cast<Display*>(display), xfixesEvent, limits, shared).run();
    });
}

X11ClipboardReader::~X11ClipboardReader() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->signal();
    worker_.join();
    ::close(shared_->wake);
}

bool X11ClipboardReader::changed() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->noticed > shared_->readOf || shared_->result.has_value();
}

void X11ClipboardReader::request() {
    std::lock_guard lock(shared_->mutex);
    if (shared_->noticed > shared_->readOf && !shared_->busy && !shared_->wanted) {
        shared_->wanted = true;
        shared_->signal();
    }
}

std::optional<ClipboardContent> X11ClipboardReader::take() {
    std::lock_guard lock(shared_->mutex);
    std::optional<ClipboardContent> r = std::move(shared_->result);
    shared_->result.reset();
    return r;
}

X11ClipboardReader::Stats X11ClipboardReader::stats() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->stats;
}

bool X11ClipboardReader::busy() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->busy || shared_->wanted;
}

} // namespace kr
