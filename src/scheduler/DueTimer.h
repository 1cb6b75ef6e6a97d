#pragma once

// A task comes due between two ticks of the frame's timer, which runs every 1.25 s (and
// further apart when the system bundles coarse timers). The due timer runs the tick once more
// exactly at the first enabled task's moment, so that the task starts within milliseconds of
// it. It is set again from the first enabled task after every scan and every ScheduleChanged.

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "scheduler/ChangeMark.h"
#include "scheduler/ProgramState.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace kr {

class DueTimer final : public QObject {
public:
    // Longest single wait; the scans set it again long before it runs out.
    static constexpr int kLongestWaitMs = 3600 * 1000;

    // `tick` runs the frame's tick. Listens for ScheduleChanged until destroyed.
    DueTimer(Store& store, const Clock& clock, ProgramState& state, std::function<void()> tick);
    ~DueTimer() override;
    DueTimer(const DueTimer&) = delete;
    DueTimer& operator=(const DueTimer&) = delete;

    // Sets the timer for the first enabled task's moment; stops it while the scheduler is
    // inactive, when no enabled task is ahead, or when the first one is due already (the
    // tick that is running or the next one takes it).
    void rearm();
    // While the mark stands still the first task is not read again: the timer is set from
    // the moment read last. A ScheduleChanged always reads.
    void setChangeMark(ChangeMark mark) { mark_ = std::move(mark); }
    // How often the first task was read (for the measurements and the tests).
    int reads() const { return reads_; }

    bool armed() const { return timer_.isActive(); }
    // Milliseconds until it runs the tick; -1 when it is not set.
    int remainingMs() const { return timer_.remainingTime(); }
    // The first enabled task was due already at the last rearm: the next tick takes it.
    bool dueNow() const { return dueNow_; }

protected:
    bool event(QEvent* event) override;

private:
    Table<Schedule> tasks_;
    const Clock& clock_;
    ProgramState& state_;
    std::function<void()> tick_;
    void arm(bool force);

    QTimer timer_;
    bool dueNow_ = false;
    ChangeMark mark_;
    std::optional<std::uint64_t> lastMark_;
    bool known_ = false; // the first task below was read
    bool none_ = true;   // no enabled task is ahead
    Date firstDate_ = 0;
    Time firstTime_ = 0;
    int reads_ = 0;
};

} // namespace kr
