#include "scheduler/WakePlan.h"

#include "platform/Text.h"

#include <algorithm>

namespace kr {

WakePlan::WakePlan(Store& store, const Clock& clock, const ProgramState& state, const DueTimer& due,
                   qint64 longestSleepMs)
    : tasks_(store)
    , clock_(clock)
    , state_(state)
    , due_(due)
    , longestSleepMs_(longestSleepMs) {}

std::optional<qint64> WakePlan::msToDue() const {
    if (!state_.schedulerActive)
        return std::nullopt;
    if (due_.dueNow())
        return 0;
    if (!due_.armed())
        return std::nullopt;
    return std::max(0, due_.remainingMs());
}

std::optional<WakePlan::Warning> WakePlan::nextWarning() {
    if (Unchanged(mark_, markSeen_))
        return warning_;
    // The warning the tick would give next: the first record in warning order, unless it is
    // warned already or is no task (then the tick gives none at all).
    Schedule t;
    tasks_.set(Schedule::KEYADVANCED);
    const Err e = tasks_.next(t);
    if (e != Err::None && e != Err::NoMoreRecords)
        markSeen_.reset(); // read again next time
    if (e != Err::None || t.advanceWarned != 0 || Clip(t.scheduleType).isEmpty())
        warning_.reset();
    else
        warning_ = Warning{t.advanceWarnDate, t.advanceWarnTime};
    return warning_;
}

std::optional<qint64> WakePlan::msToWarning() {
    if (!state_.schedulerActive)
        return std::nullopt;
    const std::optional<Warning> w = nextWarning();
    if (!w)
        return std::nullopt;
    // Given once its moment has passed: from the hundredth after it.
    const qint64 hundredths =
        static_cast<qint64>(w->date - clock_.today()) * kOneDay + (w->time - clock_.now()) + 1;
    return std::max<qint64>(0, hundredths * 10);
}

qint64 WakePlan::msToMidnight() const {
    // Time 1 is 00:00:00.00 of the next day.
    return static_cast<qint64>(kOneDay + 1 - clock_.now()) * 10;
}

qint64 WakePlan::msToNext() {
    qint64 ms = std::min(longestSleepMs_, msToMidnight());
    if (const auto due = msToDue())
        ms = std::min(ms, *due);
    if (const auto warning = msToWarning())
        ms = std::min(ms, *warning);
    return std::max<qint64>(0, ms);
}

} // namespace kr
