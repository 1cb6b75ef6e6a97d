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
        rearm();
        return true;
    }
    return QObject::event(event);
}

void DueTimer::rearm() {
    timer_.stop();
    dueNow_ = false;
    if (!state_.schedulerActive)
        return;
    Schedule first;
    tasks_.set(Schedule::KEYDATEENABLED);
    if (tasks_.next(first) != Err::None || first.disabled != 0)
        return;
    // The clock counts hundredths: the timer runs out at the start of the due hundredth,
    // never before it.
    const qint64 hundredths =
        static_cast<qint64>(first.date - clock_.today()) * kOneDay + (first.time - clock_.now());
    if (hundredths <= 0) {
        dueNow_ = true;
        return;
    }
    timer_.start(static_cast<int>(qMin<qint64>(hundredths * 10 + 1, kLongestWaitMs)));
}

} // namespace kr
