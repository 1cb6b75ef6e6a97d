#include "scheduler/RunRecorder.h"

#include "platform/Text.h"
#include "store/Numbering.h"
#include "store/Transaction.h"

#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <limits>

namespace kr {

namespace {

void SetMoment(const QDateTime& utc, qint32& date, qint32& time) {
    const QDateTime local = utc.toLocalTime();
    date = FromQDate(local.date());
    time = FromQTime(local.time());
}

} // namespace

QString FailureNoticeText(const Runs& r) {
    const QString task = Clip(r.description).isEmpty() ? QStringLiteral("Task %1").arg(r.taskId) : Clip(r.description);
    return QStringLiteral("Task failed: ") + task + QStringLiteral(" - ") + RunResultText(r);
}

QString ThisStation() {
    return QSysInfo::machineHostName().left(64);
}

RunRecorder::RunRecorder(RunRecorderContext ctx, QString station)
    : ctx_(std::move(ctx))
    , station_(std::move(station))
    , table_(ctx_.store) {}

void RunRecorder::failed(const StoreError& e) {
    if (told_)
        return;
    told_ = true;
    if (ctx_.status)
        ctx_.status(QStringLiteral("Run records cannot be written: ") + e.describe());
}

bool RunRecorder::add(Runs& r) {
    const Runs primed = r;
    for (int attempt = 0; attempt < 3; ++attempt) {
        Runs last;
        table_.set(Runs::KEYRUN);
        const qint64 highest = detail::LastNumberRead(table_, &last);
        if (highest < 0 || highest >= std::numeric_limits<qint32>::max())
            break;
        r = primed;
        r.meta = RecordMeta{};
        r.run = static_cast<qint32>(highest + 1);
        if (table_.add(r) == Err::None) {
            succeeded();
            return true;
        }
        if (table_.error().code != Err::DuplicateKey)
            break;
    }
    failed(table_.error());
    r.run = 0;
    return false;
}

bool RunRecorder::update(qint32 number, const std::function<void(Runs&)>& change, Runs* after) {
    if (number == 0)
        return false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        Runs r;
        r.run = number;
        const Err e = table_.get(Runs::KEYRUN, r);
        if (e == Err::RecordNotFound)
            return false; // removed meanwhile: nothing to bring up to date
        if (e != Err::None)
            break;
        change(r);
        if (table_.put(r) == Err::None) {
            succeeded();
            if (after != nullptr)
                *after = r;
            return true;
        }
        if (table_.error().code != Err::RecordChanged)
            break;
    }
    failed(table_.error());
    return false;
}

qint32 RunRecorder::occurrence(const Schedule& task, const QString& trigger, const QString& result,
                               const QString& reason) {
    Runs r;
    r.taskId = task.id;
    r.description = Clip(task.description);
    r.user = ctx_.settings.currentUser();
    r.station = station_;
    r.trigger = trigger;
    if (trigger == run::kDue) {
        r.dueDate = task.date;
        r.dueTime = task.time;
    } else {
        r.dueDate = ctx_.clock.today();
        r.dueTime = ctx_.clock.now();
    }
    r.startDate = ctx_.clock.today();
    r.startTime = ctx_.clock.now();
    r.result = result;
    r.reason = reason;
    r.bytesLeftOut = QStringLiteral("0");
    pendingRecord_ = 0;
    if (!add(r))
        return 0;
    if (result == run::kStarted) {
        pendingRecord_ = r.run;
        pendingTask_ = task.id;
    }
    if (result != run::kSkipped)
        byTask_[task.id] = r.run;
    return r.run;
}

void RunRecorder::launchDone() {
    const qint32 number = pendingRecord_;
    pendingRecord_ = 0;
    if (number != 0)
        update(number, [](Runs& r) { r.result = run::kScriptOnly; });
}

void RunRecorder::runStarted(const RunStarted& started) {
    if (pendingRecord_ == 0 || started.taskId != pendingTask_ || started.taskId == 0)
        return;
    const qint32 number = pendingRecord_;
    pendingRecord_ = 0;
    Runs after;
    const bool written = update(
        number,
        [&](Runs& r) {
            switch (started.kind) {
            case RunStarted::Kind::Process:
                r.result = started.captureError.isEmpty() ? run::kRunning : run::kStarted;
                r.pid = started.pid;
                if (started.startedUtc.isValid())
                    SetMoment(started.startedUtc, r.startDate, r.startTime);
                if (!started.captureError.isEmpty())
                    r.failureText = QStringLiteral("Output not kept: ") + started.captureError;
                break;
            case RunStarted::Kind::Desktop:
                r.result = run::kDesktop;
                break;
            case RunStarted::Kind::Failed:
                r.result = run::kFailedToStart;
                r.failure = started.failure;
                r.failureText = started.failureReason.isEmpty() ? started.failureText : started.failureReason;
                break;
            }
        },
        &after);
    if (started.kind == RunStarted::Kind::Process && started.captureError.isEmpty())
        byLaunch_[started.run] = number;
    if (written && started.kind == RunStarted::Kind::Failed) {
        if (finished_)
            finished_(after);
        tellIfFailed(after);
    }
}

void RunRecorder::runEnded(const RunEnded& ended) {
    const auto it = byLaunch_.find(ended.run);
    if (it == byLaunch_.end())
        return;
    const qint32 number = it->second;
    byLaunch_.erase(it);
    Runs after;
    const bool written = update(
        number,
        [&](Runs& r) {
            r.result = run::kEnded;
            r.pid = ended.pid;
            switch (ended.how) {
            case ProcessEnd::How::Exited:
                r.exited = run::Exited;
                r.exitStatus = ended.exitStatus;
                break;
            case ProcessEnd::How::Signalled:
                r.exited = run::Signalled;
                r.signal = ended.signal;
                break;
            default:
                r.exited = run::EndUnknown;
                break;
            }
            if (ended.startedUtc.isValid())
                SetMoment(ended.startedUtc, r.startDate, r.startTime);
            if (ended.endedUtc.isValid())
                SetMoment(ended.endedUtc, r.endDate, r.endTime);
            r.duration = static_cast<qint32>(
                std::min<std::int64_t>(ended.durationNs / 1000000, std::numeric_limits<qint32>::max()));
            r.output = ended.outputPath.isEmpty() ? QString() : QFileInfo(ended.outputPath).fileName();
            r.bytesKept = static_cast<qint32>(ended.bytesKept);
            r.bytesLeftOut = QString::number(ended.bytesLeftOut);
            if (!ended.writeError.isEmpty())
                r.failureText = QStringLiteral("Output not kept in full: ") + ended.writeError;
        },
        &after);
    if (!written)
        return;
    if (finished_)
        finished_(after);
    tellIfFailed(after);
}

void RunRecorder::tellIfFailed(const Runs& after) {
    if (!failure_ || !RunFailed(after) || !toldFailed_.insert(after.run).second)
        return;
    if (toldFailed_.size() > 1000)
        toldFailed_.erase(toldFailed_.begin());
    failure_(after);
}

void RunRecorder::scriptEnded(qint32 taskId, const QString& ending) {
    const auto it = byTask_.find(taskId);
    if (it == byTask_.end())
        return;
    Runs after;
    if (update(it->second, [&](Runs& r) { r.scriptEnd = ending.left(255); }, &after))
        tellIfFailed(after);
}

void RunRecorder::programWaited(qint32 taskId, const QString& command, int exitCode) {
    const auto it = byTask_.find(taskId);
    if (it == byTask_.end())
        return;
    const QString line = QStringLiteral("Start Program-") + command.left(200) + QStringLiteral(": exit status ") +
                         QString::number(exitCode) + QLatin1Char('\n');
    update(it->second, [&](Runs& r) {
        // The memo keeps the first items that fit.
        if (r.items.size() + line.size() <= 4096)
            r.items += line;
    });
}

int RunRecorder::replaceResult(const QString& from, const QString& to) {
    // The station's records with the one result, read first and changed in one transaction.
    std::vector<Runs> found;
    Runs probe;
    probe.station = station_;
    probe.result = from;
    probe.run = 0;
    table_.set(Runs::KEYSTATIONRESULT, probe);
    for (;;) {
        Runs r;
        const Err e = table_.next(r);
        if (e == Err::NoMoreRecords)
            break;
        if (e != Err::None) {
            failed(table_.error());
            return 0;
        }
        if (Clip(r.station).compare(station_, Qt::CaseInsensitive) != 0 ||
            Clip(r.result).compare(from, Qt::CaseInsensitive) != 0)
            break;
        found.push_back(r);
    }
    if (found.empty())
        return 0;
    Transaction tx;
    if (tx.begin({&table_}) != Err::None) {
        failed(tx.error());
        return 0;
    }
    for (Runs& r : found) {
        r.result = to;
        if (table_.put(r) != Err::None) {
            failed(table_.error());
            return 0; // the transaction rolls back
        }
    }
    if (tx.commit() != Err::None) {
        failed(tx.error());
        return 0;
    }
    succeeded();
    return static_cast<int>(found.size());
}

int RunRecorder::fixUpLeftRunning() {
    return replaceResult(run::kRunning, run::kUnknown) + replaceResult(run::kStillRunning, run::kUnknown);
}

int RunRecorder::markStillRunning() {
    byLaunch_.clear();
    return replaceResult(run::kRunning, run::kStillRunning);
}

} // namespace kr
