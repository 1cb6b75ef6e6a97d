#include "search/Scan.h"

#include "platform/DateTime.h"

#include <limits>

namespace kr {

namespace {

constexpr qint32 kLowest = std::numeric_limits<qint32>::min();
// Rows the query for the records a key leaves out looks through in one slice.
constexpr qint64 kLeftOutRows = 10000;
// The longest a run of tag writes stays open.
constexpr qint64 kWriteRunMs = 200;

bool Positions(int type) {
    switch (type) {
    case Equals:
    case MoreThan:
    case LessThan:
    case MoreOrEqual:
    case LessOrEqual:
    case InsideRange:
    case BeginsWith:
    case SameYear:
    case SameYearMonth:
        return true;
    default:
        return false;
    }
}

QString KeyText(const Schedule& record, int field) {
    return FoldText(std::get<QString>(Schedule::fieldDecls()[static_cast<std::size_t>(field)].get(&record)));
}

} // namespace

ScanPlan PlanScan(const std::vector<Criterion>& criteria, SearchMode mode) {
    ScanPlan plan;
    // The keys tried in turn, each through its leading field.
    const std::pair<int, int> keys[] = {
        {Schedule::DATE, Schedule::KEYDATE},
        {Schedule::DESCRIPTION, Schedule::KEYTASKNAME},
        {Schedule::TASKTYPE, Schedule::KEYTASKTYPE},
        {Schedule::DISABLED, Schedule::KEYDATEENABLED},
    };
    for (const auto& [field, key] : keys) {
        for (std::size_t i = 0; i < criteria.size(); ++i) {
            const Criterion& c = criteria[i];
            if (c.field != field || !Positions(c.type))
                continue;
            plan.source = ScanPlan::Source::Key;
            plan.key = key;
            plan.criterion = static_cast<int>(i);
            plan.fromStart = c.type == LessThan || c.type == LessOrEqual;
            plan.earlyEnd = c.type != MoreThan && c.type != MoreOrEqual;
            Schedule& s = plan.start;
            switch (field) {
            case Schedule::DATE: {
                Date from = static_cast<Date>(c.number);
                const Ymd ymd = YmdFromDate(from);
                if (c.type == SameYear)
                    from = DateFromYmd(ymd.year, 1, 1);
                else if (c.type == SameYearMonth)
                    from = DateFromYmd(ymd.year, ymd.month, 1);
                s.date = from;
                s.time = kLowest;
                break;
            }
            case Schedule::DESCRIPTION:
                s.description = c.text;
                break;
            case Schedule::TASKTYPE:
                s.taskType = c.text;
                break;
            default:
                s.disabled = static_cast<quint8>(c.number);
                s.date = kLowest;
                s.time = kLowest;
                break;
            }
            plan.leftOut = Matches(c, Schedule{});
            if (c.type == Equals && c.isText() && !c.text.isEmpty() && c.text.at(0) != QLatin1Char(' ')) {
                plan.leadingBlanks = true;
                plan.leadingFirst = c.text.at(0) > QLatin1Char(' ');
            }
            return plan;
        }
    }
    plan.source = mode == SearchMode::Unselect ? ScanPlan::Source::Tags : ScanPlan::Source::Table;
    return plan;
}

ScheduleScan::ScheduleScan(Store& store, std::vector<Criterion> criteria, SearchMode mode, Tags& tags,
                           int batch)
    : store_(store)
    , criteria_(std::move(criteria))
    , mode_(mode)
    , tags_(tags)
    , batchSize_(batch > 0 ? batch : 1)
    , plan_(PlanScan(criteria_, mode))
    , tasks_(store) {
    for (const Criterion& c : criteria_)
        fields_.push_back(c.field);
    fields_.push_back(Schedule::ID);
    // The batches are read one after another to the end (or the next match).
    tasks_.readAhead();
    if (mode_ != SearchMode::Edit)
        tagTable_.emplace(store_);
    switch (plan_.source) {
    case ScanPlan::Source::Key:
        if (plan_.leftOut)
            phases_.push_back(Phase::LeftOut);
        if (plan_.leadingBlanks && plan_.leadingFirst)
            phases_.push_back(Phase::Leading);
        phases_.push_back(Phase::Main);
        if (plan_.leadingBlanks && !plan_.leadingFirst)
            phases_.push_back(Phase::Leading);
        total_ = recordCount();
        break;
    case ScanPlan::Source::Tags:
        phases_.push_back(Phase::Tags);
        total_ = tags_.countTags(kSelectedTasks);
        tagReadFailed();
        break;
    case ScanPlan::Source::Table:
        phases_.push_back(Phase::Table);
        total_ = recordCount();
        break;
    }
}

void ScheduleScan::readMatchesWith(std::vector<int> fields) {
    fields_.insert(fields_.end(), fields.begin(), fields.end());
    matchesRead_ = true;
}

void ScheduleScan::limitRows(qint64 after, qint64 upTo) {
    if (plan_.source != ScanPlan::Source::Table)
        return;
    rowsAfter_ = std::max<qint64>(0, after);
    rowsUpTo_ = upTo;
    const qint64 end = upTo > 0 ? std::min(upTo, total_) : total_;
    total_ = std::max<qint64>(0, end - rowsAfter_);
}

qint64 ScheduleScan::recordCount() {
    // Counting a large table means reading all of it, far longer than a tick may take; the
    // highest row number is the count as long as no task was deleted, and near it otherwise.
    return tasks_.lastRow();
}

ScheduleScan::~ScheduleScan() {
    finishWrites();
}

bool ScheduleScan::taskReadFailed() {
    error_ = tasks_.error();
    errorTable_ = Schedule::decl().name;
    return true;
}

bool ScheduleScan::tagReadFailed() {
    if (tags_.error().ok())
        return false;
    error_ = tags_.error();
    errorTable_ = Tag::decl().name;
    return true;
}

ScheduleScan::Result ScheduleScan::fail(const StoreError& e, const QString& table) {
    error_ = e;
    errorTable_ = table;
    phase_ = phases_.size();
    batch_.clear();
    next_ = 0;
    return Result::Failed;
}

void ScheduleScan::nextPhase() {
    ++phase_;
    phaseStarted_ = false;
    phaseRead_ = 0;
    batch_.clear();
    next_ = 0;
}

bool ScheduleScan::read() {
    batch_.clear();
    next_ = 0;
    const Phase phase = phases_[phase_];
    const bool start = !phaseStarted_;
    phaseStarted_ = true;
    Err e = Err::None;
    switch (phase) {
    case Phase::Main:
    case Phase::Leading:
    case Phase::Table:
        if (start) {
            if (phase == Phase::Table && rowsAfter_ > 0)
                e = tasks_.reset(Position{-1, {}, rowsAfter_ + 1});
            else if (phase == Phase::Table)
                e = tasks_.set(-1);
            else if (phase == Phase::Leading || plan_.fromStart)
                e = tasks_.set(plan_.key);
            else
                e = tasks_.set(plan_.key, plan_.start);
            if (e != Err::None)
                return !taskReadFailed();
        }
        e = tasks_.nextBatch(batch_, batchSize_, fields_);
        if (e != Err::None && e != Err::NoMoreRecords)
            taskReadFailed();
        return e == Err::None && !batch_.empty();
    case Phase::LeftOut: {
        // One slice of rows per call: the query looks at every row of the table once.
        if (start) {
            leftOutEnd_ = tasks_.lastRow();
            if (tasks_.error().code != Err::None)
                return !taskReadFailed();
        }
        if (phaseRead_ >= leftOutEnd_)
            return false;
        const qint64 upTo = std::min(leftOutEnd_, phaseRead_ + kLeftOutRows);
        std::vector<qint64> rows;
        if (tasks_.leftOutRows(plan_.key, phaseRead_, upTo, rows) != Err::None)
            return !taskReadFailed();
        phaseRead_ = upTo;
        for (qint64 row : rows) {
            Schedule& t = batch_.emplace_back();
            e = tasks_.fetch(row, t);
            if (e == Err::RecordNotFound)
                batch_.pop_back();
            else if (e != Err::None)
                return !taskReadFailed();
        }
        return true;
    }
    case Phase::Tags: {
        std::vector<qint32> ids;
        for (int i = 0; i < batchSize_; ++i) {
            const qint32 id =
                start && i == 0 ? tags_.firstTag(kSelectedTasks) : tags_.nextTag(kSelectedTasks);
            if (id == 0) {
                if (tagReadFailed())
                    return false;
                break;
            }
            ids.push_back(id);
        }
        for (qint32 id : ids) {
            Schedule& t = batch_.emplace_back();
            t.id = id;
            e = tasks_.get(Schedule::KEYID, t);
            if (e == Err::RecordNotFound) {
                // Its task was deleted since: nothing to compare.
                batch_.pop_back();
            } else if (e != Err::None) {
                return !taskReadFailed();
            }
        }
        return !ids.empty();
    }
    }
    return false;
}

bool ScheduleScan::examine(const Schedule& record, bool& matched) {
    ++examined_;
    matched = false;
    const Phase phase = phases_[phase_];
    if (phase == Phase::Table && rowsUpTo_ > 0 && record.meta.rowid > rowsUpTo_) {
        --examined_;
        return false;
    }
    if (phase == Phase::Leading) {
        const QString r = KeyText(record, criteria_[static_cast<std::size_t>(plan_.criterion)].field);
        if (!r.isEmpty() && r.at(0) > QLatin1Char(' '))
            return false;
        if (r.isEmpty() || r.at(0) < QLatin1Char(' '))
            return true;
    } else if (phase == Phase::Main) {
        const Criterion& k = criteria_[static_cast<std::size_t>(plan_.criterion)];
        // The key orders the texts as stored: here "equals" takes them with their leading
        // blanks, which the leading-blank pass looks after.
        const bool keyOk =
            k.type == Equals && k.isText() ? KeyText(record, k.field) == k.text : Matches(k, record);
        if (!keyOk)
            return !plan_.earlyEnd;
    }
    matched = MatchesAll(criteria_, record);
    return true;
}

ScheduleScan::Result ScheduleScan::step() {
    if (done())
        return Result::Done;
    if (mode_ == SearchMode::Edit)
        return stepBatch();
    // A run of tag writes is a transaction of the tag file, and the window's progress look
    // after a step lets other events in: the run ends within the step. It ends with a disk
    // sync, so a step takes the batches of a fifth of a second, not one batch.
    QElapsedTimer slice;
    slice.start();
    Result r = Result::Working;
    do {
        r = stepBatch();
    } while (r == Result::Working && slice.elapsed() < kWriteRunMs);
    if (finishWrites() != Err::None)
        return Result::Failed;
    return r;
}

ScheduleScan::Result ScheduleScan::stepBatch() {
    if (done())
        return Result::Done;
    if (next_ >= batch_.size()) {
        if (!read()) {
            if (error_.code != Err::None)
                return fail(error_, errorTable_);
            nextPhase();
            if (!done())
                return Result::Working;
            // The last run of tag writes is stored with the end of the scan.
            return finishWrites() == Err::None ? Result::Done : Result::Failed;
        }
    }
    const bool tagging = mode_ != SearchMode::Edit;
    if (tagging && !writing_) {
        if (tags_.beginWrites() != Err::None)
            return fail(tags_.error(), Tag::decl().name);
        writing_ = true;
    }
    while (next_ < batch_.size()) {
        const Schedule& record = batch_[next_++];
        bool matched = false;
        if (!examine(record, matched)) {
            nextPhase();
            break;
        }
        if (!matched)
            continue;
        ++matched_;
        switch (mode_) {
        case SearchMode::Edit: {
            if (matchesRead_) {
                match_ = record;
                return Result::Match;
            }
            // The match whole, as the window shows and edits it; one removed meanwhile is none.
            const Err e = tasks_.fetch(record.meta.rowid, match_);
            if (e == Err::RecordNotFound) {
                --matched_;
                continue;
            }
            if (e != Err::None)
                return fail(tasks_.error(), Schedule::decl().name);
            return Result::Match;
        }
        case SearchMode::Select:
            tags_.setTag(kSelectedTasks, record.id, QString::number(record.id));
            break;
        case SearchMode::Unselect:
            tags_.clrTag(kSelectedTasks, record.id);
            break;
        }
        if (tagReadFailed()) {
            finishWrites();
            return fail(error_, errorTable_);
        }
    }
    if (tagging && done() && finishWrites() != Err::None)
        return Result::Failed;
    return done() ? Result::Done : Result::Working;
}

Err ScheduleScan::finishWrites() {
    if (!writing_)
        return writeError_.code;
    writing_ = false;
    if (tags_.endWrites() != Err::None) {
        writeError_ = tags_.error();
        fail(writeError_, Tag::decl().name);
    }
    return writeError_.code;
}

} // namespace kr
