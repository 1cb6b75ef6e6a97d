// A script's Start Script step while another run (an import, a report) shows its progress
// window: on real progress windows, each run keeps its own window, its Cancel and its open
// cancel question.

#include "platform/qt/QtProgress.h"
#include "script/Runner.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>

namespace kr::test {
namespace {

struct NoPrograms final : ProgramStarter {
    bool startProgram(const QString&, const QString&, const QString&, int, int, bool) override {
        return false;
    }
    int lastExitCode() override { return -1; }
    int lastStartResult() const override { return 0; }
};

// Boxes that may do something while they are up, as the frame's timer does in a box's loop.
class BusyDialogs final : public Dialogs {
public:
    Button show(const QString& text, const QString& caption, Icon, unsigned, Button) override {
        shown << caption + QLatin1Char('|') + text;
        if (whileShown) {
            auto work = std::move(whileShown);
            whileShown = nullptr;
            work();
        }
        return Ok;
    }
    QStringList shown;
    std::function<void()> whileShown;
};

class ProgressRuns : public ::testing::Test {
protected:
    ProgressRuns() {
        QFile f(script);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "\"Send Keystrokes\",\"abc\",\"\",\"\",\"\",\"\"\n\"Exit Script\",\"\",\"\",\"\",\"\",\"\"\n");
    }
    QDialog* windowOf(Progress& p) { return static_cast<QtProgress&>(p).window(); }
    // A Start Script step of a running script, as the runner takes it on a tick.
    void startScriptStep() { EXPECT_TRUE(runner.startScript(script, QStringLiteral("Jump"), 1)); }

    TempDir dir;
    const QString script = dir.file(QStringLiteral("more.krs"));
    BusyDialogs dialogs;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(10, 0, 0)};
    Settings settings;
    EventLog log{dir.file(kEventLogName), settings, clock};
    ActiveScriptQueue queue;
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
    NoPrograms programs;
    ScriptServices services;
    int debug = 0;
    const ProgressWindows windows = QtProgressWindows(&dialogs, nullptr);
    ScriptRunner runner{RunnerContext{queue, values, settings, clock, dialogs, log, programs, services, debug,
                                      [](const QString&) {}, windows}};
};

TEST_F(ProgressRuns, AStartScriptStepLeavesAnotherRunsWindowAndItsCancel) {
    const std::unique_ptr<Progress> import = windows.open();
    import->begin(QStringLiteral("Processing Records"), QStringLiteral("Importing Records"));
    import->setCancelQuestion(QStringLiteral("Stop the import?"), QStringLiteral("Cancel Request"));
    static_cast<QtProgress&>(*import).showNow();
    import->update(30);
    QDialog* window = windowOf(*import);
    ASSERT_NE(window, nullptr);

    startScriptStep();
    EXPECT_EQ(queue.size(), 2u);
    // The import's window is the one it had, still showing, and its Cancel still asks.
    EXPECT_EQ(windowOf(*import), window);
    EXPECT_TRUE(window->isVisible());
    window->findChild<QPushButton*>()->click();
    EXPECT_TRUE(import->cancelled());
    EXPECT_EQ(dialogs.shown, QStringList{QStringLiteral("Cancel Request|Stop the import?")});
    import->end();
    EXPECT_EQ(windowOf(*import), nullptr);
}

TEST_F(ProgressRuns, ACancelQuestionOutlivesAStartScriptStepTakenWhileItIsUp) {
    const std::unique_ptr<Progress> report = windows.open();
    report->begin(QStringLiteral("Generating Report"), {});
    report->setCancelQuestionYesNo(QStringLiteral("Stop the report?"), QStringLiteral("Cancel Request"));
    static_cast<QtProgress&>(*report).showNow();
    QDialog* window = windowOf(*report);
    ASSERT_NE(window, nullptr);

    // While the question is up, the timer ticks and a script reads its file under a window of
    // its own; the question's window is not touched, and its answer still counts.
    bool stepped = false;
    dialogs.whileShown = [&] {
        startScriptStep();
        stepped = true;
        EXPECT_EQ(windowOf(*report), window);
    };
    window->findChild<QPushButton*>()->click();
    EXPECT_TRUE(stepped);
    EXPECT_EQ(windowOf(*report), window);
    EXPECT_FALSE(report->cancelled()); // the box answered Ok, not Yes: the report goes on
    report->update(60);
    EXPECT_TRUE(window->isVisible());
    report->end();
}

TEST_F(ProgressRuns, ARunThatEndsWhileItsOwnQuestionIsUpClosesItsWindowAfterwards) {
    const std::unique_ptr<Progress> search = windows.open();
    search->begin(QStringLiteral("Searching for Matching Records"), {});
    search->setCancelQuestion(QStringLiteral("Stop?"), QStringLiteral("Cancel Request"));
    static_cast<QtProgress&>(*search).showNow();
    QPointer<QDialog> window = windowOf(*search);
    ASSERT_FALSE(window.isNull());
    // The run's timer finishes the run while the user is being asked.
    dialogs.whileShown = [&] { search->end(); };
    window->findChild<QPushButton*>()->click();
    EXPECT_EQ(windowOf(*search), nullptr);
    EXPECT_TRUE(search->cancelled());
    ASSERT_FALSE(window.isNull()); // not under its own handler
    EXPECT_FALSE(window->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST(ProgressWindowsTest, OneProgressLentToEveryRunAndNoneWithoutOne) {
    struct Recording final : Progress {
        void doBegin(const QString& title, const QString&) override { begun << title; }
        void doUpdate(int p) override { last = p; }
        bool cancelled() const override { return true; }
        void end() override { ++ended; }
        QStringList begun;
        int last = -1;
        int ended = 0;
    } one;
    const ProgressWindows lent(one);
    {
        const auto run = lent.open();
        run->begin(QStringLiteral("first"), {});
        run->update(40);
        EXPECT_TRUE(run->cancelled());
        run->end();
    }
    lent.open()->begin(QStringLiteral("second"), {});
    EXPECT_EQ(one.begun, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    EXPECT_EQ(one.last, 40);
    EXPECT_EQ(one.ended, 1);

    const ProgressWindows none;
    const auto quiet = none.open();
    ASSERT_NE(quiet, nullptr);
    quiet->begin(QStringLiteral("nothing"), {});
    EXPECT_FALSE(quiet->cancelled());
    EXPECT_FALSE(ProgressWindows(static_cast<Progress*>(nullptr)).open()->cancelled());
}

} // namespace
} // namespace kr::test
