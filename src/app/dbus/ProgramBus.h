#pragma once

// The running program on the session bus: /org/kelvray/Kelvray, interface
// org.kelvray.Kelvray1. Every call runs on the GUI thread through the routines the windows
// use; what they would have said in a message box is answered as a D-Bus error instead.

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Progress.h"
#include "scheduler/ProgramState.h"
#include "store/RunRecords.h"
#include "store/Settings.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>

using QVariantMapList = QList<QVariantMap>;

namespace kr {

// The program's message boxes, which a bus call turns into a list of texts for its answer.
class BusDialogs final : public Dialogs {
public:
    explicit BusDialogs(Dialogs& boxes)
        : boxes_(boxes) {}
    Button show(const QString& text, const QString& caption, Icon icon, unsigned buttons,
                Button defaultButton) override;

    // While captured, nothing is shown: the texts are kept and the default button answers.
    // A capture begun inside another (a call that arrives while a long one lets events through)
    // keeps its own texts; the outer one's are given back when it ends.
    struct Outer {
        bool capturing = false;
        QStringList texts;
    };
    Outer capture() {
        Outer outer{capturing_, std::exchange(captured_, {})};
        capturing_ = true;
        return outer;
    }
    QStringList release(Outer outer) {
        capturing_ = outer.capturing;
        return std::exchange(captured_, std::move(outer.texts));
    }

private:
    Dialogs& boxes_;
    bool capturing_ = false;
    QStringList captured_;
};

struct ProgramBusContext {
    Store& store;
    BusDialogs& dialogs;
    const Clock& clock;
    const Settings& settings;
    ProgramState& state;
    std::function<void()> show;
    std::function<void()> showSchedule;
    std::function<void(const Schedule&)> runNow;
    // The progress windows of the long calls (an import, a receipt, a selection).
    ProgressWindows progress;
};

class ProgramBus final : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    explicit ProgramBus(ProgramBusContext ctx, QObject* parent = nullptr);
    ~ProgramBus() override;

    // Exports the object on the connection; false when the path is taken.
    bool exportOn(QDBusConnection bus);
    // A due task was started.
    void taskStarted(const Schedule& task);
    // A run's program ended, or could not start.
    void runFinished(const kr::Runs& run);

public Q_SLOTS:
    void Show();
    void ShowSchedule();
    uint AddTask(const QVariantMap& fields);
    QVariantMap Task(uint id);
    QVariantMapList Tasks();
    void SetEnabled(uint id, bool enabled);
    void DeleteTask(uint id);
    void RunNow(uint id);
    uint QuickStart(uint id, uint minutes);
    QStringList NextOccurrences(uint id, uint count);
    // The task's runs, newest first (0: every task's), at most `limit` (0: all).
    QVariantMapList Runs(uint task, uint limit);
    // The comma-delimited import of kelvray-cli import-csv: its options (--table, --header,
    // --map or --auto) and the file. "added", "cancelled" and "messages".
    QVariantMap ImportCsv(const QStringList& options, const QString& file);
    // A synchronization file merged in: "tasks", "items", "todos", "cancelled" and "messages".
    QVariantMap SyncReceive(const QString& file);
    // The tasks the search words (FIELD MATCH VALUE ...) match tagged for the "Selected" view:
    // "matched", "cancelled" and "messages".
    QVariantMap SelectTasks(const QStringList& words);
    // Cancels the long call under way, as its progress window's Cancel does.
    void Cancel();

Q_SIGNALS:
    void TaskStarted(uint id, const QString& description);
    // The exit status, or the signal as a negative number; 0 for a run without one.
    void TaskFinished(uint task, uint run, const QString& result, int status);
    void ScheduleChanged();
    // How far the long call under way has come.
    void Progress(int percent);

private:
    // The task number a bus argument names, or NotFound.
    bool taskNumber(uint id, qint32& number);
    // Reads a task, or answers NotFound.
    bool find(uint id, Schedule& task);
    // Answers an error unless on the calling connection; the return value is ignored then.
    void fail(const QString& name, const QString& text);
    // The texts the routines would have shown, or a default.
    QString said(const QStringList& texts, const QString& otherwise) const;

    // A long call's progress, which marks the call under way while it lives; null (and the call
    // refused) while another runs, as one may arrive while the first lets events through.
    std::unique_ptr<kr::Progress> beginLong();

    ProgramBusContext ctx_;
    QObject* watcher_ = nullptr;
    bool longCall_ = false;
    bool cancel_ = false;
};

} // namespace kr
