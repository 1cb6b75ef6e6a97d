#pragma once

// Long runs over the tables in slices: each slice is one transaction per file holding as many
// batches of 25 records as fit in a fifth of a second, and after each slice the program's
// events go through (the progress window's look), as a timer event of their own would. A
// commit per batch of 25 made a run of 100,000 records wait for the disk thousands of times;
// one transaction for the whole run would keep the other stations out for as long.

#include "platform/Progress.h"
#include "store/Transaction.h"

#include <QElapsedTimer>

#include <functional>
#include <initializer_list>

namespace kr {

inline constexpr int kSliceMs = 200;

enum class Batch {
    More,   // more records follow
    Done,   // the last batch was handled
    Stop,   // stop after keeping what was done (already reported)
    Failed, // stop and undo the slice (already reported)
};

// Runs `step` (one batch) slice after slice. True when the run went to its end or the user
// cancelled it; false after a failure, reported by `step` or, for the transaction itself, by
// `framingFailed`.
template <class Step>
bool RunSliced(std::initializer_list<TableAccess*> tables, Progress& progress,
               const std::function<int()>& percent,
               const std::function<void(const StoreError&)>& framingFailed, Step step) {
    for (;;) {
        Transaction tx;
        if (tx.begin(tables) != Err::None) {
            framingFailed(tx.error());
            return false;
        }
        QElapsedTimer slice;
        slice.start();
        Batch b = Batch::More;
        do
            b = step();
        while (b == Batch::More && slice.elapsed() < kSliceMs);
        if (b == Batch::Failed) {
            tx.rollback();
            return false;
        }
        if (tx.commit() != Err::None) {
            framingFailed(tx.error());
            return false;
        }
        if (b == Batch::Stop)
            return false;
        progress.update(percent());
        if (b == Batch::Done || progress.cancelled())
            return true;
    }
}

} // namespace kr
