#pragma once

// The scan of a schedule search: where it starts (a key that one criterion can position, the
// tags of the selection, or the whole table), and the walk in slices of one batch per call,
// so that a window can run it from its timer and show progress.

#include "search/Match.h"
#include "store/Table.h"
#include "store/Tags.h"

#include <QElapsedTimer>

#include <memory>
#include <optional>
#include <vector>

namespace kr {

enum class SearchMode { Edit, Select, Unselect };

// Where a scan starts and when it may stop early.
struct ScanPlan {
    enum class Source { Key, Tags, Table };
    Source source = Source::Table;
    int key = -1;           // the key read through (Source::Key)
    int criterion = -1;     // the criterion that positions it
    bool fromStart = false; // begins at the key's first record instead of `start`
    bool earlyEnd = false;  // ends at the first record that fails the key criterion
    Schedule start;         // the key values positioned at
    // The key leaves out records whose key fields are all blank, and the criterion would
    // match such a record: they are examined first, as they come first in the key's order.
    bool leftOut = false;
    // "Equals" ignores the record's leading blanks: the records whose key text begins with a
    // blank are examined too, before or after the positioned range as the key orders them.
    bool leadingBlanks = false;
    bool leadingFirst = false;
};

ScanPlan PlanScan(const std::vector<Criterion>& criteria, SearchMode mode);

class ScheduleScan {
public:
    enum class Result { Working, Match, Done, Failed };

    // `tags` serves select and unselect (set 1) and the tag walk; it must outlive the scan.
    ScheduleScan(Store& store, std::vector<Criterion> criteria, SearchMode mode, Tags& tags, int batch = 100);
    ~ScheduleScan();
    ScheduleScan(const ScheduleScan&) = delete;
    ScheduleScan& operator=(const ScheduleScan&) = delete;

    // The matches need only these fields (a list of them, not a form): they are read with the
    // batches instead of being fetched whole. Before the first step.
    void readMatchesWith(std::vector<int> fields);
    // A scan of the whole table looks only at the rows numbered above `after` and up to `upTo`
    // (0: to the end), so that parts of one table can be scanned side by side. Before the
    // first step; a keyed scan or a walk of the tags is not limited.
    void limitRows(qint64 after, qint64 upTo);

    const ScanPlan& plan() const { return plan_; }
    SearchMode mode() const { return mode_; }
    // The progress total: the tag count for a walk of the tags, otherwise the records.
    qint64 total() const { return total_; }

    // One slice: in edit mode the rest of the batch in hand, or the next batch read with one
    // call; it returns Match at the first match, which match() then holds; the next call goes
    // on after it. Select and unselect tag and untag the matches of the batches of a fifth of
    // a second in one run of writes, stored before the step returns.
    Result step();
    bool done() const { return phase_ >= phases_.size(); }
    // Ends the run of tag writes under way (at the end of the scan it ends by itself): for a
    // scan cancelled before its end. The error number of storing the tags, None when all was
    // written; a run that failed to be stored keeps saying so.
    Err finishWrites();
    const StoreError& writeError() const { return writeError_; }

    const Schedule& match() const { return match_; }
    qint64 examined() const { return examined_; }
    qint64 matched() const { return matched_; }
    // Why the scan failed, and the table that failed it ("Schedule" or the tag table).
    const StoreError& error() const { return error_; }
    const QString& errorTable() const { return errorTable_; }

private:
    enum class Phase { LeftOut, Leading, Main, Tags, Table };

    qint64 recordCount();
    Result stepBatch();
    bool read();
    // Examines the next record of the batch: false when the phase ends with it.
    bool examine(const Schedule& record, bool& matched);
    void nextPhase();
    Result fail(const StoreError& e, const QString& table);
    // A read of the tasks that failed, or of the tags.
    bool taskReadFailed();
    bool tagReadFailed();

    Store& store_;
    std::vector<Criterion> criteria_;
    SearchMode mode_;
    Tags& tags_;
    int batchSize_;
    ScanPlan plan_;
    Table<Schedule> tasks_;
    std::optional<Table<Tag>> tagTable_; // holds the tag table open for the scan
    std::vector<Phase> phases_;
    std::size_t phase_ = 0;
    bool phaseStarted_ = false;
    qint64 phaseRead_ = 0;
    qint64 leftOutEnd_ = 0;
    bool writing_ = false;
    std::vector<Schedule> batch_;
    // What the batches read: the fields the criteria look at and the number the tags keep
    // (the key's own come with them); a match is read whole.
    std::vector<int> fields_;
    bool matchesRead_ = false; // the matches come with the batches
    qint64 rowsAfter_ = 0;
    qint64 rowsUpTo_ = 0;
    std::size_t next_ = 0;
    Schedule match_;
    qint64 total_ = 0;
    qint64 examined_ = 0;
    qint64 matched_ = 0;
    StoreError error_;
    QString errorTable_;
    StoreError writeError_;
};

} // namespace kr
