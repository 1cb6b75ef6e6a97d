#pragma once

// Housekeeping that deletes many records of a table: a walk along one key that deletes the
// records its rule picks, in slices. Each slice is one transaction of a bounded number of
// records and a bounded time, so that other stations wait at most one slice for the file and
// the program's own windows and its scheduler answer between slices. Nothing inside a slice
// waits for the user: what went wrong is noted, and the caller tells it once the slice's
// transaction is over.

#include "store/Savepoint.h"
#include "store/Table.h"
#include "store/Transaction.h"

#include <QElapsedTimer>

#include <functional>
#include <vector>

namespace kr {

struct RemovalLimits {
    int records = 2000; // records looked at in one slice
    qint64 ms = 100;    // time one slice may take, checked between batches of records
    int batch = 20;     // records read at a time
    int waitSeconds = 1;
    // Slices in a row that may find the file held by another station before the pass gives up.
    int busyTries = 3;
};

template <class R> class RemovalPass {
public:
    enum class Verdict { Remove, Keep, Stop };
    using Rule = std::function<Verdict(const R&)>;
    // Runs inside the slice's transaction before a record goes (a task's script items); an
    // error keeps the record and is noted like a failed delete.
    using Before = std::function<StoreError(const R&)>;

    // The whole table in the key's order (-1: the order of the file).
    RemovalPass(Store& store, int key, Rule rule, Before before = {}, RemovalLimits limits = {})
        : table_(store)
        , rule_(std::move(rule))
        , before_(std::move(before))
        , limits_(limits) {
        table_.set(key);
    }
    // Told of each record once the slice that removed it is committed.
    using Gone = std::function<void(const R&)>;
    void setGone(Gone gone) { gone_ = std::move(gone); }

    // Begins at the first record of the key not below `from`.
    void startFrom(int key, const R& from) { table_.set(key, from); }

    // One slice; true while records are left for another.
    bool step() {
        failures_.clear();
        if (finished_)
            return false;
        QElapsedTimer clock;
        clock.start();
        Transaction tx;
        if (tx.begin({&table_}, limits_.waitSeconds) != Err::None) {
            // Held by another station: the next slice tries again, a few times.
            if (tx.error().code == Err::IsLocked && ++busy_ < limits_.busyTries)
                return true;
            return end(tx.error());
        }
        busy_ = 0;
        qint64 removed = 0;
        int looked = 0;
        std::vector<R> batch;
        std::vector<R> gone;
        bool last = false; // the rule stopped the walk, or a read failed
        bool atEnd = false;
        while (!last && !atEnd && looked < limits_.records && clock.elapsed() < limits_.ms) {
            const Err e = table_.nextBatch(batch, limits_.batch);
            if (e == Err::NoMoreRecords) {
                atEnd = true;
                break;
            }
            if (e != Err::None) {
                ended_ = table_.error();
                last = true;
                break;
            }
            for (R& r : batch) {
                ++looked;
                ++visited_;
                const Verdict v = rule_(r);
                if (v == Verdict::Stop) {
                    last = true;
                    break;
                }
                if (v == Verdict::Keep)
                    continue;
                // A record that cannot go keeps what goes with it, and the slice goes on.
                Savepoint part(table_);
                if (before_) {
                    if (const StoreError b = before_(r); !b.ok()) {
                        failures_.push_back(b);
                        continue;
                    }
                }
                const Err d = table_.remove(r);
                if (d == Err::None) {
                    ++removed;
                    if (gone_)
                        gone.push_back(r);
                } else if (d != Err::NoMoreRecords) // gone already: nothing left to remove
                    failures_.push_back(table_.error());
                part.end(d == Err::None || d == Err::NoMoreRecords);
            }
            atEnd = static_cast<int>(batch.size()) < limits_.batch;
        }
        const bool more = !last && !atEnd;
        if (tx.commit() != Err::None) {
            // Nothing of this slice was removed.
            failures_.clear();
            return end(tx.error());
        }
        removed_ += removed;
        for (const R& r : gone)
            gone_(r);
        if (!more)
            finished_ = true;
        return more;
    }

    bool finished() const { return finished_; }
    // The failed deletes of the last slice; the pass goes on after them.
    const std::vector<StoreError>& failures() const { return failures_; }
    // What ended the pass early (a read, a transaction or a commit that failed); none when it
    // ran to its end.
    const StoreError& error() const { return ended_; }
    qint64 visited() const { return visited_; }
    qint64 removed() const { return removed_; }
    TableAccess& table() { return table_; }

private:
    bool end(const StoreError& e) {
        ended_ = e;
        finished_ = true;
        return false;
    }

    Table<R> table_;
    Rule rule_;
    Before before_;
    Gone gone_;
    RemovalLimits limits_;
    std::vector<StoreError> failures_;
    StoreError ended_;
    qint64 visited_ = 0;
    qint64 removed_ = 0;
    int busy_ = 0;
    bool finished_ = false;
};

} // namespace kr
