#pragma once

// Long runs over the tables in slices: each slice is one transaction per file holding as many
// batches of 25 records as fit in a fifth of a second, and after each slice the program's
// events go through (the progress window's look), as a timer event of their own would. A
// commit per batch of 25 made a run of 100,000 records wait for the disk thousands of times;
// one transaction for the whole run would keep the other stations out for as long.
//
// No message box or question comes up while a slice's transaction is open: a step notes what
// it met in the run's SliceNotes, and the run puts it to the user once the transaction has
// ended.

#include "platform/Progress.h"
#include "store/Transaction.h"

#include <QElapsedTimer>

#include <functional>
#include <initializer_list>
#include <utility>

namespace kr {

inline constexpr int kSliceMs = 200;

// How long a slice lasts; the tests shorten it to one batch, to see where a run stops.
inline int& SliceMs() {
    static int ms = kSliceMs;
    return ms;
}

enum class Batch {
    More,   // more records follow
    Done,   // the last batch was handled
    Stop,   // stop after keeping what was done (the reason is in the notes)
    Failed, // stop and undo the slice (the reason is in the notes)
    Ask,    // keep what was done, then ask the notes' question: yes goes on from there
};

// What a step leaves to be said once its transaction has ended.
struct SliceNotes {
    std::function<void()> message;  // shown when the run stops (Stop, Failed)
    std::function<bool()> question; // asked after an Ask; true goes on with the run

    void tell() {
        if (auto m = std::exchange(message, nullptr))
            m();
    }
};

// Runs `step` (one batch) slice after slice. True when the run went to its end or the user
// cancelled it; false after a failure, told from the notes or, for the transaction itself, by
// `framingFailed`.
template <class Step>
bool RunSliced(std::initializer_list<TableAccess*> tables, Progress& progress,
               const std::function<int()>& percent,
               const std::function<void(const StoreError&)>& framingFailed, SliceNotes& notes, Step step) {
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
        while (b == Batch::More && slice.elapsed() < SliceMs());
        if (b == Batch::Failed) {
            tx.rollback();
            notes.tell();
            return false;
        }
        if (tx.commit() != Err::None) {
            notes.message = nullptr;
            framingFailed(tx.error());
            return false;
        }
        if (b == Batch::Stop) {
            notes.tell();
            return false;
        }
        if (b == Batch::Ask) {
            auto question = std::exchange(notes.question, nullptr);
            if (!question || !question()) {
                notes.tell();
                return false;
            }
            notes.message = nullptr;
        }
        progress.update(percent());
        if (b == Batch::Done || progress.cancelled())
            return true;
    }
}

} // namespace kr
