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

std::optional<qint64> WakePlan::msToWarning() {
    if (!state_.schedulerActive)
        return std::nullopt;
    // The warning the tick would give next: the first record in warning order, unless it is
    // warned already or is no task (then the tick gives none at all).
    Schedule t;
    tasks_.set(Schedule::KEYADVANCED);
    if (tasks_.next(t) != Err::None || t.advanceWarned != 0 || Clip(t.scheduleType).isEmpty())
        return std::nullopt;
    // Given once its moment has passed: from the hundredth after it.
    const qint64 hundredths = static_cast<qint64>(t.advanceWarnDate - clock_.today()) * kOneDay +
                              (t.advanceWarnTime - clock_.now()) + 1;
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
