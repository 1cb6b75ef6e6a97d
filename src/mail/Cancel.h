#pragma once

// Cancelling a conversation from another thread: the flag the conversation looks at, and
// the socket it waits on, shut down so that a wait for the server ends at once.

#include <atomic>
#include <mutex>

namespace kr {

class Cancel {
public:
    bool requested() const { return flag_.load(); }
    void request();
    void reset();
    // The socket of the conversation, while it is open.
    void attach(int fd);
    void detach(int fd);

private:
    std::atomic<bool> flag_{false};
    std::mutex mutex_;
    int fd_ = -1;
};

} // namespace kr
