#pragma once

// When nothing is being done (the frame hidden in the tray, no script queued, nothing open),
// the frame's timer need not run: nothing can happen before the next of these moments.
//   - the first enabled task's due moment (the due timer is set for it and runs the tick);
//   - the next advance warning, which is given on the first tick after its moment;
//   - midnight: the day's history pass and the day change.
// Everything else that can happen (a call from outside, the frame shown, a script queued, a
// setting changed, another station's write) wakes the frame itself.

#include "platform/Clock.h"
#include "scheduler/ChangeMark.h"
#include "scheduler/DueTimer.h"
#include "scheduler/ProgramState.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"

#include <optional>

namespace kr {

class WakePlan {
public:
    // Longest sleep; the frame looks again after it even when nothing is ahead. The timers
    // count time the machine is awake: after a suspend, or when the clock is set, a task that
    // came due meanwhile runs within this much.
    static constexpr qint64 kLongestSleepMs = 60 * 1000;

    WakePlan(Store& store, const Clock& clock, const ProgramState& state, const DueTimer& due,
             qint64 longestSleepMs = kLongestSleepMs);

    // Milliseconds from now to the first of the moments above, at most the longest sleep;
    // 0 when something is due already.
    qint64 msToNext();

    // The pieces. Each is empty when there is nothing of its kind ahead.
    std::optional<qint64> msToDue() const;
    std::optional<qint64> msToWarning();
    qint64 msToMidnight() const;

    // While the mark stands still the next warning's moment is not read again.
    void setChangeMark(ChangeMark mark) { mark_ = std::move(mark); }

private:
    // The moment of the warning the tick would give next, as read: empty when none is ahead.
    struct Warning {
        Date date = 0;
        Time time = 0;
    };
    std::optional<Warning> nextWarning();

    Table<Schedule> tasks_;
    const Clock& clock_;
    const ProgramState& state_;
    const DueTimer& due_;
    qint64 longestSleepMs_;
    ChangeMark mark_;
    std::optional<std::uint64_t> markSeen_;
    std::optional<Warning> warning_;
};

} // namespace kr
