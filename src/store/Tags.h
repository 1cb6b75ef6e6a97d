#pragma once

// Tag sets in the tag file: marks on records of a table, kept apart from the records, so that
// a search can select or unselect tasks and the schedule list can show only the selected ones.
// Set 1 holds tasks; a tag's position is the task number and its value the number as text, so
// a set is visited by task number compared as text ("10" before "9").

#include "platform/Progress.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"

#include <optional>
#include <vector>

namespace kr {

// The tag set of the schedule search and the schedule list's "Selected" view.
inline constexpr qint16 kSelectedTasks = 1;

// The user number under which a user's tags are kept: 0 for the blank user of a single-user
// installation, otherwise a number derived from the name (letter case ignored), never 0.
qint32 TagUser(const QString& userName);

// Every operation opens the tag table through the use counts and releases it on leaving; a
// window that works with tags for a while may hold a Table<Tag> of its own to keep it open.
// Failures to write tags end the program. A read that fails is not taken for "no tag" or the
// end of a set: the operation gives up, and error() says why until the next operation. The
// count of one set is remembered for the whole process (per tag file and user), so that every
// window sees the same count.
class Tags {
public:
    Tags(Store& store, const QString& userName, Progress* progress = nullptr);

    qint32 user() const { return user_; }
    // The progress window used by the count and by clearing a set; null shows none.
    void setProgress(Progress* progress) { progress_ = progress; }

    // SetTag: tags the record, or gives its tag the new value when it has one already.
    // Set 0 and positions below 1 are never tagged.
    void setTag(qint16 set, qint32 position, const QString& value);
    // ClrTag: removes the record's tag, if it has one.
    void clrTag(qint16 set, qint32 position);
    // IsTagged: whether the record has a tag in the set; never in set 0.
    bool isTagged(qint16 set, qint32 position);
    // FirstTag: the first tagged position in value order, 0 when the set is empty. Starts the
    // walk that NextTag continues.
    qint32 firstTag(qint16 set);
    // NextTag: the position after the last one FirstTag or NextTag returned for the set; 0 at
    // the end of the set, or when no walk of this set has begun.
    qint32 nextTag(qint16 set);
    // CountTags: the number of tags in the set, remembered until a change in another set.
    qint32 countTags(qint16 set);
    // NewTag: removes every tag of the set.
    void newTag(qint16 set);

    // Every tagged position of the set in visiting order, read in one pass; the walk of
    // FirstTag and NextTag is left as it was.
    std::vector<qint32> listTags(qint16 set);

    // The read error of the last operation; None when it read what it needed.
    const StoreError& error() const { return error_; }

    // A run of tag writes in one transaction (a search tagging what it finds). The remembered
    // count follows the run's tags only once they are stored: a run that cannot be stored
    // forgets it. endWrites gives the storing's error; no message is shown in between.
    Err beginWrites();
    Err endWrites();
    bool writing() const { return run_.has_value(); }

private:
    Tag keyRecord(qint16 set, qint32 position = 0, const QString& value = {}) const;
    bool belongs(const Tag& tag, qint16 set) const;
    // Reads the first tag of the set in value order into `tag`: None, NoMoreRecords when the
    // set is empty, or the read error (kept in error()).
    Err readFirst(Table<Tag>& table, qint16 set, Tag& tag);
    void noteReadError(const StoreError& e);
    qint32 count(Table<Tag>& table, qint16 set);
    bool tryQuickClear(Table<Tag>& table, qint16 set);
    void slowClear(Table<Tag>& table, qint16 set);
    [[noreturn]] void fail(const StoreError& error, const char* operation) const;

    // The remembered count, shared by every Tags of the process on the same file and user.
    std::optional<qint32> cachedCount(qint16 set) const;
    void cacheCount(qint16 set, qint32 count) const;
    void forgetCount() const;
    // A tag added to (+1) or removed from (-1) the set; a change in another set forgets. Inside
    // a run of writes the change waits for the run to be stored.
    void adjustCount(qint16 set, int change);

    struct Walk {
        qint16 set = 0;
        Position at;
    };

    Store& store_;
    QString file_;
    qint32 user_;
    Progress* progress_;
    std::optional<Walk> walk_;
    StoreError error_;
    // The run of writes under way, and what it changes in the counts once stored.
    struct Run {
        explicit Run(Store& store)
            : table(store) {}
        Table<Tag> table;
        qint16 set = 0;
        int change = 0;
        bool otherSets = false;
    };
    std::optional<Run> run_;
};

} // namespace kr
