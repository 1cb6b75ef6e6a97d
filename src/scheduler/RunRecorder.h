#pragma once

// Writes the run records: one for every occurrence the monitor handles and every Run Now,
// brought up to date when the task's program starts and when it ends. A record that cannot be
// written is said once on the status line and changes nothing about the task itself.

#include "platform/Clock.h"
#include "scheduler/RunSink.h"
#include "store/RunRecords.h"
#include "store/Settings.h"
#include "store/Store.h"
#include "store/Table.h"

#include <functional>
#include <map>

namespace kr {

struct RunRecorderContext {
    Store& store;
    const Settings& settings;
    const Clock& clock;
    // The status line, told once when records cannot be written (and again only after a
    // write succeeded in between).
    std::function<void(const QString&)> status;
};

// The station's name in the records: the host's name.
QString ThisStation();

class RunRecorder final : public RunSink {
public:
    explicit RunRecorder(RunRecorderContext ctx, QString station = ThisStation());

    // A record of an occurrence or a Run Now: run::kSkipped (with why), run::kMessageOnly or
    // run::kStarted. The due moment is the task's. The program the task starts before
    // launchDone() belongs to a started record. Returns the record's number, 0 when it could
    // not be written.
    qint32 occurrence(const Schedule& task, const QString& trigger, const QString& result,
                      const QString& reason = {});
    // The task's launch is over: a program started later is not its own.
    void launchDone() { pendingRecord_ = 0; }

    // Records of this station left running by a program that stopped without saying so become
    // "unknown"; returns how many.
    int fixUpLeftRunning();
    // At exit: the runs still under way become "still running when Kelvray stopped".
    int markStillRunning();

    // Told of each record whose program has ended, and of each that could not start.
    void setFinishedHandler(std::function<void(const Runs&)> finished) { finished_ = std::move(finished); }

    void runStarted(const RunStarted& run) override;
    void runEnded(const RunEnded& run) override;

    const QString& station() const { return station_; }
    // Whether the last write failed (and the status line was told).
    bool failing() const { return told_; }

private:
    bool add(Runs& r);
    bool update(qint32 number, const std::function<void(Runs&)>& change, Runs* after = nullptr);
    void failed(const StoreError& e);
    void succeeded() { told_ = false; }
    int replaceResult(const QString& from, const QString& to);

    RunRecorderContext ctx_;
    QString station_;
    Table<Runs> table_;
    qint32 pendingRecord_ = 0;
    qint32 pendingTask_ = 0;
    std::map<std::uint64_t, qint32> byLaunch_; // the launcher's run -> its record
    std::function<void(const Runs&)> finished_;
    bool told_ = false;
};

} // namespace kr
