#pragma once

// A station on a database server notices when the connection goes away and makes it again in
// the background: each try waits a fraction of a second at most, a few seconds apart, so
// that the frame never stops answering.

#include "store/Table.h"
#include "store/Tables.h"

#include <memory>

namespace kr {

class ServerWatch {
public:
    static constexpr qint64 kRetryMs = 5000;
    static constexpr int kTryWaitMs = 500;

    // Watches the database that holds the schedule; on a data file it never reports anything.
    explicit ServerWatch(Store& store);

    enum class Change { None, Lost, Back };
    // Called from the tick with the monotonic time: Lost once when the connection went away,
    // Back once when it is made again.
    Change tick(qint64 nowMs);
    bool lost() const { return lost_; }

private:
    std::unique_ptr<Table<Schedule>> tasks_;
    bool lost_ = false;
    qint64 nextTry_ = 0;
};

} // namespace kr
