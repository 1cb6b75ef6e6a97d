#pragma once

// A network link with real latency, for tests and figures that must see a distant server.
//
// The process first enters a network namespace of its own (EnterPrivateNetwork, before any
// thread starts), so nothing it does reaches the machine's own network. DelayedLink then makes
// a point-to-point device whose packets are read back by a thread, held for the one-way delay
// and handed to the kernel again with their source and destination addresses swapped: a
// connection to remoteAddress() reaches a server listening on localAddress() of the same
// process tree, and every packet of it, the handshake included, travels the delay once each
// way. Swapping the two addresses changes no checksum.

#include <QString>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

namespace kr::test {

namespace detail {

inline bool SetFlags(int sock, const char* name, short add, QString* error) {
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, name, IFNAMSIZ - 1);
    if (::ioctl(sock, SIOCGIFFLAGS, &ifr) != 0 ||
        (ifr.ifr_flags |= add, ::ioctl(sock, SIOCSIFFLAGS, &ifr) != 0)) {
        if (error != nullptr)
            *error = QStringLiteral("cannot bring %1 up: %2")
                         .arg(QLatin1String(name), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

inline bool SetAddress(int sock, const char* name, unsigned long request, const char* address) {
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, name, IFNAMSIZ - 1);
    auto* in = reinterpret_cast<sockaddr_in*>(&ifr.ifr_addr);
    in->sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &in->sin_addr);
    return ::ioctl(sock, request, &ifr) == 0;
}

} // namespace detail

// Moves the process into a network namespace of its own with its loopback up. Call it before
// any thread is started: threads that run already stay where they were.
inline bool EnterPrivateNetwork(QString* error) {
    if (::unshare(CLONE_NEWNET) != 0) {
        if (error != nullptr)
            *error = QStringLiteral("no network namespace of our own (%1); these tests need root")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool ok = sock >= 0 && detail::SetFlags(sock, "lo", IFF_UP, error);
    if (sock >= 0)
        ::close(sock);
    return ok;
}

class DelayedLink {
public:
    static constexpr const char* kDevice = "krlink0";
    // Where the servers listen, and where the client connects to reach them across the link.
    static QString localAddress() { return QStringLiteral("192.0.2.1"); }
    static QString remoteAddress() { return QStringLiteral("192.0.2.2"); }

    explicit DelayedLink(int oneWayMs)
        : delay_(oneWayMs) {
        fd_ = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) {
            error_ = QStringLiteral("/dev/net/tun: ") + QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        ifreq ifr{};
        ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::strncpy(ifr.ifr_name, kDevice, IFNAMSIZ - 1);
        if (::ioctl(fd_, TUNSETIFF, &ifr) != 0) {
            error_ = QStringLiteral("TUNSETIFF: ") + QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const bool configured = sock >= 0 && detail::SetAddress(sock, kDevice, SIOCSIFADDR, "192.0.2.1") &&
                                detail::SetAddress(sock, kDevice, SIOCSIFNETMASK, "255.255.255.0") &&
                                detail::SetFlags(sock, kDevice, IFF_UP | IFF_RUNNING, &error_);
        if (sock >= 0)
            ::close(sock);
        if (!configured) {
            if (error_.isEmpty())
                error_ = QStringLiteral("cannot give %1 its address: %2")
                             .arg(QLatin1String(kDevice), QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        if (::pipe2(stop_, O_CLOEXEC | O_NONBLOCK) != 0) {
            error_ = QStringLiteral("pipe: ") + QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        thread_ = std::thread([this] { run(); });
    }
    ~DelayedLink() {
        if (thread_.joinable()) {
            const char c = 0;
            [[maybe_unused]] const ssize_t n = ::write(stop_[1], &c, 1);
            thread_.join();
        }
        for (const int fd : {fd_, stop_[0], stop_[1]})
            if (fd >= 0)
                ::close(fd);
    }
    DelayedLink(const DelayedLink&) = delete;
    DelayedLink& operator=(const DelayedLink&) = delete;

    bool ok() const { return thread_.joinable(); }
    const QString& error() const { return error_; }
    // Packets carried so far, each way counted.
    int packets() const { return packets_.load(); }

private:
    using Clock = std::chrono::steady_clock;
    struct Packet {
        Clock::time_point due;
        std::vector<unsigned char> bytes;
    };

    void run() {
        std::deque<Packet> held;
        std::vector<unsigned char> buffer(65536);
        for (;;) {
            int timeout = -1;
            if (!held.empty()) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(held.front().due - Clock::now());
                timeout = static_cast<int>(std::max<long long>(0, left.count()));
            }
            pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            ::poll(fds, 2, timeout);
            if ((fds[1].revents & POLLIN) != 0)
                return;
            if ((fds[0].revents & POLLIN) != 0) {
                for (;;) {
                    const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
                    if (n <= 0)
                        break;
                    // IPv4 only: swap source (12..15) and destination (16..19).
                    if (n < 20 || (buffer[0] >> 4) != 4)
                        continue;
                    Packet p{Clock::now() + std::chrono::milliseconds(delay_),
                             std::vector<unsigned char>(buffer.begin(), buffer.begin() + n)};
                    for (int i = 0; i < 4; ++i)
                        std::swap(p.bytes[12 + i], p.bytes[16 + i]);
                    held.push_back(std::move(p));
                }
            }
            const auto now = Clock::now();
            while (!held.empty() && held.front().due <= now) {
                [[maybe_unused]] const ssize_t n =
                    ::write(fd_, held.front().bytes.data(), held.front().bytes.size());
                held.pop_front();
                ++packets_;
            }
        }
    }

    int delay_;
    int fd_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<int> packets_{0};
    QString error_;
};

} // namespace kr::test
