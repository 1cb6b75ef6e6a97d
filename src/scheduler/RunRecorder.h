#pragma once

// Writes the run records: one for every occurrence the monitor handles and every Run Now,
// brought up to date when the task's program starts and when it ends. A record that cannot be
// written is said once on the status line and changes nothing about the task itself.

#include "platform/Clock.h"
#include "script/Runner.h"
#include "scheduler/RunSink.h"
#include "store/RunRecords.h"
#include "store/Settings.h"
#include "store/Store.h"
#include "store/Table.h"

#include <functional>
#include <map>
#include <set>

namespace kr {

struct RunRecorderContext {
    Store& store;
    const Settings& settings;
    const Clock& clock;
    // The status line, told once when records cannot be written (and again only after a
    // write succeeded in between).
    std::function<void(const QString&)> status;
    // Told after every record written, so that the lists showing runs read them again.
    std::function<void()> changed = {};
};

// The desktop notification of a failed run: the task and its result, never its output.
QString FailureNoticeText(const Runs& run);

// The station's name in the records: the host's name.
QString ThisStation();

class RunRecorder final : public RunSink, public ScriptWatcher {
public:
    explicit RunRecorder(RunRecorderContext ctx, QString station = ThisStation());

    // A record of an occurrence or a Run Now: run::kSkipped (with why), run::kMessageOnly or
    // run::kStarted. The due moment is the task's. The program the task starts before
    // launchDone() belongs to a started record. Returns the record's number, 0 when it could
    // not be written.
    qint32 occurrence(const Schedule& task, const QString& trigger, const QString& result,
                      const QString& reason = {});
    // The task's launch is over: a program started later is not its own. A launch that
    // started nothing ("N/A") leaves a record of the script alone.
    void launchDone();

    // Records of this station left running by a program that stopped without saying so become
    // "unknown"; returns how many.
    int fixUpLeftRunning();
    // At exit: the runs still under way become "still running when Kelvray stopped".
    int markStillRunning();

    // Told of each record whose program has ended, and of each that could not start.
    void setFinishedHandler(std::function<void(const Runs&)> finished) { finished_ = std::move(finished); }

    // Told once of each record that turned out a failure (RunFailed): a program that ended
    // badly or could not start, a script that stopped on a failing item.
    void setFailureHandler(std::function<void(const Runs&)> failure) { failure_ = std::move(failure); }

    void runStarted(const RunStarted& run) override;
    void runEnded(const RunEnded& run) override;
    // The script's ending and the programs it waited for go into the task's latest record.
    void scriptEnded(qint32 taskId, const QString& ending) override;
    void programWaited(qint32 taskId, const QString& command, int exitCode) override;

    const QString& station() const { return station_; }
    // Whether the last write failed (and the status line was told).
    bool failing() const { return told_; }

private:
    bool add(Runs& r);
    bool update(qint32 number, const std::function<void(Runs&)>& change, Runs* after = nullptr);
    void failed(const StoreError& e);
    // A write went through: a failure is told again when it comes back, and the lists that show
    // runs hear of the write.
    void succeeded() {
        told_ = false;
        if (ctx_.changed)
            ctx_.changed();
    }
    int replaceResult(const QString& from, const QString& to);
    void tellIfFailed(const Runs& after);

    RunRecorderContext ctx_;
    QString station_;
    Table<Runs> table_;
    qint32 pendingRecord_ = 0;
    qint32 pendingTask_ = 0;
    std::map<std::uint64_t, qint32> byLaunch_; // the launcher's run -> its record
    std::map<qint32, qint32> byTask_; // a task -> its latest record of this session
    std::function<void(const Runs&)> finished_;
    std::function<void(const Runs&)> failure_;
    std::set<qint32> toldFailed_; // the records the failure handler heard of
    bool told_ = false;
};

} // namespace kr
