#include "app/dbus/ProgramBus.h"

#include "cli/CsvCommands.h"
#include "cli/SearchCommand.h"
#include "cli/TaskCommands.h"
#include "exchange/CsvExchange.h"
#include "exchange/Sync.h"
#include "platform/TransactionGuard.h"
#include "cli/TaskOptions.h"
#include "platform/Text.h"
#include "platform/dbus/Instance.h"
#include "scheduler/TaskEditing.h"
#include "store/Table.h"

#include "kelvray1adaptor.h"

#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QThreadPool>

#include <limits>

namespace kr {

Dialogs::Button BusDialogs::show(const QString& text, const QString& caption, Icon icon, unsigned buttons,
                                 Button defaultButton) {
    if (!capturing_)
        return boxes_.message(text, caption, icon, buttons, defaultButton);
    captured_ << (caption.isEmpty() ? text : caption + QStringLiteral(": ") + text);
    return defaultButton;
}

namespace {

// A bus call's span: message boxes are captured for its answer.
class Captured {
public:
    explicit Captured(BusDialogs& d)
        : d_(d)
        , outer_(d.capture()) {}
    ~Captured() { texts(); }
    QStringList texts() {
        if (released_)
            return {};
        released_ = true;
        return d_.release(std::move(outer_));
    }

private:
    BusDialogs& d_;
    BusDialogs::Outer outer_;
    bool released_ = false;
};

// A long call under way, as long as it lives, and its progress: the program's own window, the
// caller told how far it has come, and the caller's Cancel. Its events are let through every
// tenth of a second (not the user's input before the window shows), so that a Cancel from the
// caller arrives.
class CallProgress final : public Progress {
public:
    CallProgress(bool& running, std::unique_ptr<Progress> window, const bool& cancel, std::function<void(int)> told)
        : running_(running)
        , window_(std::move(window))
        , cancel_(cancel)
        , told_(std::move(told)) {
        let_.start();
    }
    ~CallProgress() override { running_ = false; }
    bool cancelled() const override { return cancel_ || (window_ && window_->cancelled()); }
    void end() override {
        if (window_)
            window_->end();
    }
    void setCancelQuestion(const QString& text, const QString& caption) override {
        if (window_)
            window_->setCancelQuestion(text, caption);
    }
    void setCancelQuestionYesNo(const QString& text, const QString& caption) override {
        if (window_)
            window_->setCancelQuestionYesNo(text, caption);
    }

protected:
    void doBegin(const QString& title, const QString& text) override {
        if (window_)
            window_->begin(title, text);
    }
    void doUpdate(int percent) override {
        if (window_)
            window_->update(percent);
        if (percent != told_percent_) {
            told_percent_ = percent;
            told_(percent);
        }
        if (let_.elapsed() >= 100) {
            ProcessEvents(QEventLoop::ExcludeUserInputEvents);
            let_.restart();
        }
    }
    void doSetText(const QString& text) override {
        if (window_)
            window_->setText(text);
    }

private:
    bool& running_;
    std::unique_ptr<Progress> window_;
    const bool& cancel_;
    std::function<void(int)> told_;
    int told_percent_ = -1;
    QElapsedTimer let_;
};

// The longest Quick Start delay a caller may ask for: a week.
constexpr uint kMaxQuickStartMinutes = 7 * 24 * 60;
constexpr uint kMaxOccurrences = 1000;

} // namespace

ProgramBus::ProgramBus(ProgramBusContext ctx, QObject* parent)
    : QObject(parent)
    , ctx_(std::move(ctx)) {
    qDBusRegisterMetaType<QVariantMapList>();
    new Kelvray1Adaptor(this);
    // Every change of the schedule, by the windows, the scheduler or a bus call, is announced.
    watcher_ =
        new TableWatcher(ctx_.state.listeners, {kScheduleTable}, this, [this] { Q_EMIT ScheduleChanged(); });
}

ProgramBus::~ProgramBus() = default;

bool ProgramBus::exportOn(QDBusConnection bus) {
    return bus.registerObject(kProgramObjectPath, this);
}

void ProgramBus::taskStarted(const Schedule& task) {
    Q_EMIT TaskStarted(static_cast<uint>(task.id), Clip(task.description));
}

namespace {

QString IsoMoment(Date date, Time time) {
    if (date == 0)
        return {};
    return time == 0 ? cli::FormatDay(date)
                     : cli::FormatDay(date) + QLatin1Char('T') + cli::FormatClock(time);
}

int RunStatus(const kr::Runs& r) {
    if (r.exited == run::Exited)
        return r.exitStatus;
    if (r.exited == run::Signalled)
        return -r.signal;
    return 0;
}

QVariantMap RunFields(const kr::Runs& r) {
    QVariantMap m;
    m.insert(QStringLiteral("run"), static_cast<uint>(r.run));
    m.insert(QStringLiteral("task"), static_cast<uint>(r.taskId));
    m.insert(QStringLiteral("description"), Clip(r.description));
    m.insert(QStringLiteral("user"), Clip(r.user));
    m.insert(QStringLiteral("station"), Clip(r.station));
    m.insert(QStringLiteral("trigger"), Clip(r.trigger));
    m.insert(QStringLiteral("due"), IsoMoment(r.dueDate, r.dueTime));
    if (r.startDate != 0)
        m.insert(QStringLiteral("start"), IsoMoment(r.startDate, r.startTime));
    if (r.endDate != 0)
        m.insert(QStringLiteral("end"), IsoMoment(r.endDate, r.endTime));
    const qint64 ms = RunDurationMs(r);
    if (ms >= 0)
        m.insert(QStringLiteral("duration_ms"), ms);
    m.insert(QStringLiteral("result"), RunResultText(r));
    m.insert(QStringLiteral("status"), RunStatus(r));
    m.insert(QStringLiteral("failed"), RunFailed(r));
    m.insert(QStringLiteral("output"), !r.output.isEmpty());
    return m;
}

} // namespace

void ProgramBus::runFinished(const kr::Runs& r) {
    Q_EMIT TaskFinished(static_cast<uint>(r.taskId), static_cast<uint>(r.run), RunResultText(r),
                        RunStatus(r));
}

QVariantMapList ProgramBus::Runs(uint task, uint limit) {
    RunQuery query;
    query.task = static_cast<qint32>(std::min<uint>(task, std::numeric_limits<qint32>::max()));
    query.limit = static_cast<int>(std::min<uint>(limit, std::numeric_limits<int>::max()));
    std::vector<kr::Runs> runs;
    StoreError error;
    if (!ReadRuns(ctx_.store, query, runs, &error)) {
        fail(kErrorFailed, error.describe());
        return {};
    }
    QVariantMapList out;
    for (const kr::Runs& r : runs)
        out.append(RunFields(r));
    return out;
}

void ProgramBus::fail(const QString& name, const QString& text) {
    if (calledFromDBus())
        sendErrorReply(name, text);
}

QString ProgramBus::said(const QStringList& texts, const QString& otherwise) const {
    return texts.isEmpty() ? otherwise : texts.join(QLatin1Char('\n'));
}

bool ProgramBus::taskNumber(uint id, qint32& number) {
    // Task numbers run from 1 to 2^31-1; a larger one names no task, and is never taken as
    // the highest one.
    if (id == 0 || id > static_cast<uint>(std::numeric_limits<qint32>::max())) {
        fail(kErrorNotFound, QStringLiteral("There is no task %1.").arg(id));
        return false;
    }
    number = static_cast<qint32>(id);
    return true;
}

bool ProgramBus::find(uint id, Schedule& task) {
    qint32 number = 0;
    if (!taskNumber(id, number))
        return false;
    if (!cli::FindTask(ctx_.store, number, task)) {
        fail(kErrorNotFound, QStringLiteral("There is no task %1.").arg(id));
        return false;
    }
    return true;
}

void ProgramBus::Show() {
    if (ctx_.show)
        ctx_.show();
}

void ProgramBus::ShowSchedule() {
    if (ctx_.showSchedule)
        ctx_.showSchedule();
}

uint ProgramBus::AddTask(const QVariantMap& fields) {
    Captured c(ctx_.dialogs);
    try {
        cli::Arguments args(cli::FieldArguments(fields));
        Schedule task = cli::NewTask(args, ctx_.clock);
        QString error;
        const qint32 id = cli::StoreNewTask(ctx_.store, task, ctx_.settings.userId, ctx_.clock, error);
        if (id == 0) {
            fail(kErrorFailed, said(c.texts(), error));
            return 0;
        }
        ctx_.state.listeners.post();
        return static_cast<uint>(id);
    } catch (const cli::UsageError& e) {
        fail(kErrorInvalidArgument, e.text);
        return 0;
    }
}

QVariantMap ProgramBus::Task(uint id) {
    Captured c(ctx_.dialogs);
    Schedule task;
    if (!find(id, task))
        return {};
    return cli::TaskFields(task);
}

namespace {

QVariantMapList TaskList(const std::vector<Schedule>& tasks) {
    QVariantMapList out;
    out.reserve(static_cast<qsizetype>(tasks.size()));
    for (const Schedule& t : tasks)
        out << cli::TaskFields(t);
    return out;
}

} // namespace

QVariantMapList ProgramBus::Tasks() {
    Captured c(ctx_.dialogs);
    QString error;
    std::vector<Schedule> tasks = cli::TasksInDueOrder(ctx_.store, error);
    if (!error.isEmpty()) {
        fail(kErrorFailed, said(c.texts(), error));
        return {};
    }
    if (!calledFromDBus())
        return TaskList(tasks);
    // Only the reading needs the GUI thread. Turning a large schedule into the answer's maps
    // and those into the message takes longer than the reading (a quarter of a second for
    // 10,000 tasks), and is done by a worker that sends the answer.
    setDelayedReply(true);
    QThreadPool::globalInstance()->start(
        [bus = connection(), call = message(), tasks = std::move(tasks)]() mutable {
            bus.send(call.createReply(QVariant::fromValue(TaskList(tasks))));
        });
    return {};
}

namespace {

void Answer(cli::ChangeOutcome outcome, uint id, const QStringList& texts,
            const std::function<void(const QString&, const QString&)>& fail) {
    const QString said = texts.join(QLatin1Char('\n'));
    switch (outcome) {
    case cli::ChangeOutcome::Done:
        return;
    case cli::ChangeOutcome::NotFound:
        fail(kErrorNotFound, QStringLiteral("There is no task %1.").arg(id));
        return;
    case cli::ChangeOutcome::ChangedByAnother:
        fail(kErrorChangedByAnother, said);
        return;
    case cli::ChangeOutcome::Failed:
        fail(kErrorFailed, said.isEmpty() ? QStringLiteral("The task could not be changed.") : said);
        return;
    }
}

} // namespace

void ProgramBus::SetEnabled(uint id, bool enabled) {
    Captured c(ctx_.dialogs);
    qint32 number = 0;
    if (!taskNumber(id, number))
        return;
    const auto outcome = cli::SetTaskEnabled(ctx_.store, number, enabled);
    if (outcome == cli::ChangeOutcome::Done)
        ctx_.state.listeners.post();
    Answer(outcome, id, c.texts(), [this](const QString& n, const QString& t) { fail(n, t); });
}

void ProgramBus::DeleteTask(uint id) {
    Captured c(ctx_.dialogs);
    qint32 number = 0;
    if (!taskNumber(id, number))
        return;
    const auto outcome = cli::DeleteTaskById(ctx_.store, number);
    if (outcome == cli::ChangeOutcome::Done)
        ctx_.state.listeners.post();
    Answer(outcome, id, c.texts(), [this](const QString& n, const QString& t) { fail(n, t); });
}

void ProgramBus::RunNow(uint id) {
    Captured c(ctx_.dialogs);
    Schedule task;
    if (!find(id, task))
        return;
    ctx_.state.manualScriptPending = true;
    if (ctx_.runNow)
        ctx_.runNow(task);
    // A question the list would have asked is answered with its default; the caller hears it.
    if (const QStringList texts = c.texts(); !texts.isEmpty())
        fail(kErrorFailed, texts.join(QLatin1Char('\n')));
}

uint ProgramBus::QuickStart(uint id, uint minutes) {
    Captured c(ctx_.dialogs);
    if (minutes == 0 || minutes > kMaxQuickStartMinutes) {
        fail(kErrorInvalidArgument,
             QStringLiteral("minutes: from 1 to %1, not %2").arg(kMaxQuickStartMinutes).arg(minutes));
        return 0;
    }
    Schedule task;
    if (!find(id, task))
        return 0;
    const qint32 copy = kr::QuickStart(ctx_.store, task, ctx_.clock.today(), ctx_.clock.now(),
                                       static_cast<Time>(minutes) * 6000);
    if (copy == 0) {
        fail(kErrorFailed, said(c.texts(), QStringLiteral("The copy could not be added.")));
        return 0;
    }
    ctx_.state.listeners.post();
    return static_cast<uint>(copy);
}

QStringList ProgramBus::NextOccurrences(uint id, uint count) {
    Captured c(ctx_.dialogs);
    if (count == 0 || count > kMaxOccurrences) {
        fail(kErrorInvalidArgument,
             QStringLiteral("count: from 1 to %1, not %2").arg(kMaxOccurrences).arg(count));
        return {};
    }
    Schedule task;
    if (!find(id, task))
        return {};
    const Date today = ctx_.clock.today();
    return cli::StoredTaskOccurrences(ctx_.store, task, today, ctx_.clock.now(), static_cast<int>(count),
                                      today);
}

std::unique_ptr<kr::Progress> ProgramBus::beginLong() {
    if (longCall_) {
        fail(kErrorFailed, QStringLiteral("Kelvray is busy with another import, receipt or selection; "
                                          "try again when it has ended."));
        return nullptr;
    }
    longCall_ = true;
    cancel_ = false;
    return std::make_unique<CallProgress>(longCall_, ctx_.progress.open(), cancel_,
                                          [this](int p) { Q_EMIT Progress(p); });
}

QVariantMap ProgramBus::ImportCsv(const QStringList& options, const QString& file) {
    const std::unique_ptr<kr::Progress> progress = beginLong();
    if (!progress)
        return {};
    Captured c(ctx_.dialogs);
    try {
        ImportFile source;
        if (!source.load(file, ctx_.dialogs)) {
            fail(kErrorFailed, said(c.texts(), file + QStringLiteral(" could not be read")));
            return {};
        }
        const cli::CsvImportChoice choice = cli::ReadImportChoice(options, source, file);
        const qint64 added =
            ImportTable(ctx_.store, *progress, *choice.table, source, choice.assigned, choice.skipHeader);
        if (added > 0)
            ctx_.state.listeners.post(choice.table->decl->name);
        return {{QStringLiteral("added"), added},
                {QStringLiteral("cancelled"), progress->cancelled()},
                {QStringLiteral("messages"), c.texts()}};
    } catch (const cli::UsageError& e) {
        fail(kErrorInvalidArgument, e.text);
    } catch (const cli::Failure& e) {
        fail(kErrorFailed, e.text);
    }
    return {};
}

QVariantMap ProgramBus::SyncReceive(const QString& file) {
    const std::unique_ptr<kr::Progress> progress = beginLong();
    if (!progress)
        return {};
    Captured c(ctx_.dialogs);
    SyncCounts counts;
    if (!kr::SyncReceive(ctx_.store, *progress, file, &ctx_.state.listeners, &counts)) {
        fail(kErrorFailed, said(c.texts(), file + QStringLiteral(" was not received")));
        return {};
    }
    return {{QStringLiteral("tasks"), counts.tasks},
            {QStringLiteral("items"), counts.items},
            {QStringLiteral("todos"), counts.todos},
            {QStringLiteral("cancelled"), progress->cancelled()},
            {QStringLiteral("messages"), c.texts()}};
}

QVariantMap ProgramBus::SelectTasks(const QStringList& words) {
    const std::unique_ptr<kr::Progress> progress = beginLong();
    if (!progress)
        return {};
    Captured c(ctx_.dialogs);
    std::vector<Criterion> criteria;
    try {
        criteria = cli::SearchCriteria(words);
    } catch (const cli::UsageError& e) {
        fail(kErrorInvalidArgument, e.text);
        return {};
    }
    QString error;
    const qint64 matched =
        cli::SelectMatches(ctx_.store, std::move(criteria), ctx_.settings.currentUser(), *progress, error);
    // Tags written before a failure or a Cancel are kept, as the window keeps them.
    if (matched > 0)
        ctx_.state.listeners.post(kScheduleTable);
    if (!error.isEmpty()) {
        fail(kErrorFailed, error);
        return {};
    }
    return {{QStringLiteral("matched"), matched},
            {QStringLiteral("cancelled"), progress->cancelled()},
            {QStringLiteral("messages"), c.texts()}};
}

void ProgramBus::Cancel() {
    if (longCall_)
        cancel_ = true;
}

} // namespace kr
