#pragma once

#include <QtGlobal>

namespace kr {

// Today and now as the program counts them: a day number (day 4 is 1 January 1801) and
// hundredths of a second since midnight plus one.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint32 today() const = 0;
    virtual qint32 now() const = 0;
};

// The local wall clock.
class SystemClock final : public Clock {
public:
    qint32 today() const override;
    qint32 now() const override;
};

} // namespace kr
