#include "platform/Clock.h"

#include "platform/DateTime.h"

#include <QTime>

#include <atomic>
#include <ctime>

namespace kr {

namespace {

// The local time now. The zone is looked at again once a minute: each look reads the zone's
// file from disk (Qt's own clock looks at every reading, several times a tick), and a change
// of zone is followed within the minute.
std::tm LocalNow(long& nanoseconds) {
    static std::atomic<std::time_t> zoneLooked{0};
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const std::time_t last = zoneLooked.load(std::memory_order_relaxed);
    if (ts.tv_sec < last || ts.tv_sec - last >= 60) {
        zoneLooked.store(ts.tv_sec, std::memory_order_relaxed);
        tzset();
    }
    std::tm local{};
    localtime_r(&ts.tv_sec, &local);
    nanoseconds = ts.tv_nsec;
    return local;
}

} // namespace

qint32 SystemClock::today() const {
    long ns = 0;
    const std::tm t = LocalNow(ns);
    return DateFromYmd(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
}

qint32 SystemClock::now() const {
    long ns = 0;
    const std::tm t = LocalNow(ns);
    // A leap second reads as the last second of its minute.
    return FromQTime(QTime(t.tm_hour, t.tm_min, t.tm_sec > 59 ? 59 : t.tm_sec, static_cast<int>(ns / 1000000)));
}

} // namespace kr
