#include "scheduler/DueTimer.h"

#include <QEvent>

namespace kr {

DueTimer::DueTimer(Store& store, const Clock& clock, ProgramState& state, std::function<void()> tick)
    : tasks_(store)
    , clock_(clock)
    , state_(state)
    , tick_(std::move(tick)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (tick_)
            tick_();
    });
    state_.listeners.add(this);
}

DueTimer::~DueTimer() {
    state_.listeners.remove(this);
}

bool DueTimer::event(QEvent* event) {
    if (event->type() == kScheduleChangedEvent) {
        arm(true);
        return true;
    }
    return QObject::event(event);
}

void DueTimer::rearm() {
    arm(false);
}

void DueTimer::arm(bool force) {
    dueNow_ = false;
    if (!state_.schedulerActive) {
        timer_.stop();
        known_ = false;
        return;
    }
    if (!Unchanged(mark_, lastMark_) || force || !known_) {
        Schedule first;
        tasks_.set(Schedule::KEYDATEENABLED);
        ++reads_;
        known_ = true;
        none_ = tasks_.next(first) != Err::None || first.disabled != 0;
        firstDate_ = first.date;
        firstTime_ = first.time;
    }
    if (none_) {
        timer_.stop();
        return;
    }
    // The clock counts hundredths: the timer runs out at the start of the due hundredth,
    // never before it.
    const qint64 hundredths =
        static_cast<qint64>(firstDate_ - clock_.today()) * kOneDay + (firstTime_ - clock_.now());
    if (hundredths <= 0) {
        timer_.stop();
        dueNow_ = true;
        return;
    }
    const int ms = static_cast<int>(qMin<qint64>(hundredths * 10 + 1, kLongestWaitMs));
    // Set again only when the moment moved: a timer started anew costs a system call or two.
    if (timer_.isActive() && (qAbs(timer_.remainingTime() - ms) <= 10 ||
                              (ms == kLongestWaitMs && timer_.remainingTime() > 60000)))
        return;
    timer_.start(ms);
}

} // namespace kr
