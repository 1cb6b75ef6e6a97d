#pragma once

#include "platform/Clock.h"
#include "platform/DateTime.h"

namespace kr::test {

// A clock the test sets and moves.
class FakeClock final : public Clock {
public:
    FakeClock() = default;
    FakeClock(Date d, Time t)
        : date_(d)
        , time_(t) {}

    qint32 today() const override { return date_; }
    qint32 now() const override { return time_; }

    void set(Date d, Time t) {
        date_ = d;
        time_ = t;
    }
    // Moves the clock on by hundredths of a second, across midnight when it must.
    void advance(Time hundredths) {
        time_ += hundredths;
        CarryDays(date_, time_);
    }

private:
    Date date_ = DateFromYmd(2026, 1, 1);
    Time time_ = TimeFromHms(12, 0, 0);
};

} // namespace kr::test
