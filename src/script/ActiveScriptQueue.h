#pragma once

// The one queue of script items waiting to run, shared by the whole program.

#include "platform/DateTime.h"
#include "store/Tables.h"

#include <deque>
#include <functional>

namespace kr {

inline const QString kEndMarker = QStringLiteral("**End**");

struct QueueEntry {
    Scripting item;   // a copy of the script item
    Date dueDate = 0; // the moment from which the item may run
    Time dueTime = 0;
    qint32 startHandle = 0; // the result of the most recent program start when queued
    quint64 serial = 0;     // given by the queue: tells an entry from a later one like it
    bool sending = false;   // a Send Email whose message is on its way
};

class ActiveScriptQueue {
public:
    // Called after entries were queued (the frame's timer then runs at the script's pace).
    std::function<void()> appended;

    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    // Stop Running Script and every other way of emptying the queue at once.
    void clear() {
        entries_.clear();
        ++emptied_;
    }
    void append(QueueEntry entry) {
        entry.serial = ++lastSerial_;
        entries_.push_back(std::move(entry));
        if (appended)
            appended();
    }
    QueueEntry& front() { return entries_.front(); }
    void popFront() {
        entries_.pop_front();
        if (entries_.empty())
            ++emptied_;
    }
    // Replaces the whole queue; entries new to it are numbered.
    void replace(std::deque<QueueEntry> entries) {
        for (QueueEntry& e : entries)
            if (e.serial == 0)
                e.serial = ++lastSerial_;
        entries_ = std::move(entries);
        if (entries_.empty())
            ++emptied_;
        else if (appended)
            appended();
    }
    // Numbers entries put into entries() directly.
    void renumber() {
        for (QueueEntry& e : entries_)
            if (e.serial == 0)
                e.serial = ++lastSerial_;
    }
    // The entry with that number, null when it has left the queue.
    QueueEntry* find(quint64 serial) {
        for (QueueEntry& e : entries_)
            if (e.serial == serial)
                return &e;
        return nullptr;
    }
    // Removes the entry with that number; false when it is no longer queued.
    bool remove(quint64 serial) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->serial == serial) {
                entries_.erase(it);
                if (entries_.empty())
                    ++emptied_;
                return true;
            }
        }
        return false;
    }
    // How many times the queue has been emptied: the runner starts afresh after each.
    quint64 emptiedCount() const { return emptied_; }
    std::deque<QueueEntry>& entries() { return entries_; }
    const std::deque<QueueEntry>& entries() const { return entries_; }

private:
    std::deque<QueueEntry> entries_;
    quint64 lastSerial_ = 0;
    quint64 emptied_ = 0;
};

} // namespace kr
