#include "mail/Cancel.h"

#include <sys/socket.h>

namespace kr {

void Cancel::request() {
    flag_.store(true);
    const std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        ::shutdown(fd_, SHUT_RDWR);
}

void Cancel::reset() {
    flag_.store(false);
}

void Cancel::attach(int fd) {
    const std::lock_guard lock(mutex_);
    fd_ = fd;
    if (flag_.load())
        ::shutdown(fd_, SHUT_RDWR);
}

void Cancel::detach(int fd) {
    const std::lock_guard lock(mutex_);
    if (fd_ == fd)
        fd_ = -1;
}

} // namespace kr
