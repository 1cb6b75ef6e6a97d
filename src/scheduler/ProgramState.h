#pragma once

// State that the main frame shares with the windows and routines that run beside it.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>

#include <mutex>
#include <vector>

namespace kr {

// Posted to every open schedule list after the scheduler changed tasks.
inline constexpr QEvent::Type kScheduleChangedEvent = static_cast<QEvent::Type>(QEvent::User + 66);

// The windows that want to hear that the schedule changed (the schedule lists).
class ScheduleListeners {
public:
    void add(QObject* listener) {
        std::lock_guard lock(mutex_);
        listeners_.emplace_back(listener);
    }
    void remove(QObject* listener) {
        std::lock_guard lock(mutex_);
        std::erase_if(listeners_, [&](const QPointer<QObject>& p) { return p == listener || p.isNull(); });
    }
    // Posts, never sends: the scheduler does not wait for the lists to refresh.
    void post() {
        std::lock_guard lock(mutex_);
        for (const auto& l : listeners_) {
            if (l)
                QCoreApplication::postEvent(l, new QEvent(kScheduleChangedEvent));
        }
    }
    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return listeners_.size();
    }

private:
    mutable std::mutex mutex_;
    std::vector<QPointer<QObject>> listeners_;
};

struct ProgramState {
    // The scheduler runs due tasks, warnings and history removal only while active.
    bool schedulerActive = true;
    // Why the scheduler stopped itself (a task could not be saved); blank otherwise. It stays
    // inactive until the user turns it back on in Setup.
    QString inactiveReason;
    // Started with "/I": inactive for this run, and the settings cannot be changed.
    bool inactiveSwitch = false;
    // A task was run by hand: its script may run even while the scheduler is inactive.
    bool manualScriptPending = false;
    // A one-shot text for the status line, left by the mail sender.
    QString pendingStatusText;
    // The "Debug" entry of KR98.INI, read once at start-up.
    int debug = 0;
    ScheduleListeners listeners;
};

} // namespace kr
