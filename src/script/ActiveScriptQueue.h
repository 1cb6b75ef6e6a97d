#pragma once

// The one queue of script items waiting to run, shared by the whole program.

#include "platform/DateTime.h"
#include "store/Tables.h"

#include <deque>

namespace kr {

inline const QString kEndMarker = QStringLiteral("**End**");

struct QueueEntry {
    Scripting item;   // a copy of the script item
    Date dueDate = 0; // the moment from which the item may run
    Time dueTime = 0;
    qint32 startHandle = 0; // the result of the most recent program start when queued
    bool sending = false;   // a Send Email whose message is on its way
};

class ActiveScriptQueue {
public:
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    void clear() { entries_.clear(); }
    void append(QueueEntry entry) { entries_.push_back(std::move(entry)); }
    QueueEntry& front() { return entries_.front(); }
    void popFront() { entries_.pop_front(); }
    std::deque<QueueEntry>& entries() { return entries_; }
    const std::deque<QueueEntry>& entries() const { return entries_; }

private:
    std::deque<QueueEntry> entries_;
};

} // namespace kr
