#pragma once

// A scheduler with run records on a real data file in a folder of its own: the launcher keeps
// the output of the programs it starts in "runs", the monitor records every occurrence it
// handles, and the processes are real. The clock stands at DEC 09,2026 3:00AM.

#include "platform/Processes.h"
#include "scheduler/Monitor.h"
#include "scheduler/RunRecorder.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/RecordingSound.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace kr::test {

// Messages are counted, never shown.
struct CountedMessages final : MessageDisplay {
    int shown = 0;
    int openCount() const override { return 0; }
    void show(const MessageInputs&) override { ++shown; }
};

class RunsWorld {
public:
    // The records are this station's; what the recorder says on the status line is kept.
    explicit RunsWorld(const QString& station) {
        EnsureCoreApplication();
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        settings.scriptingDelay = 50;
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        launcher = std::make_unique<Launcher>(
            LauncherContext{*store, settings, clock, dialogs, *log, queue, processes, frame});
        monitor = std::make_unique<DueTaskMonitor>(MonitorContext{
            *store, settings, clock, dialogs, *log, queue, state, frame, sound, messages, *launcher});
        recorder = makeRecorder(station);
        launcher->captureRuns(runs(), recorder.get());
        monitor->setRunRecorder(recorder.get(), runs());
        tasks = std::make_unique<Table<Schedule>>(*store);
    }
    ~RunsWorld() { launcher->captureRuns(runs(), nullptr); }
    RunsWorld(const RunsWorld&) = delete;
    RunsWorld& operator=(const RunsWorld&) = delete;

    std::unique_ptr<RunRecorder> makeRecorder(const QString& station) {
        return std::make_unique<RunRecorder>(
            RunRecorderContext{*store, settings, clock, [this](const QString& t) { statusLines << t; }}, station);
    }
    // Where the output of the programs is kept.
    QString runs() const { return dir.file(QStringLiteral("runs")); }
    // A shell script of that name in the folder, made executable; its path.
    QString program(const QString& name, const QByteArray& body) {
        const QString path = dir.file(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body);
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return path;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 9), TimeFromHms(3, 0, 0)};
    Settings settings;
    ActiveScriptQueue queue;
    ProgramState state;
    NoFrame frame;
    RecordingSound sound;
    CountedMessages messages;
    LinuxProcesses processes;
    QStringList statusLines;
    std::unique_ptr<Store> store;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<DueTaskMonitor> monitor;
    std::unique_ptr<RunRecorder> recorder;
    std::unique_ptr<Table<Schedule>> tasks;
};

} // namespace kr::test
