// The runner's side of a Send Email step that ends on a later tick.

#include "script/Runner.h"
#include "script/ScriptItems.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

class NoPrograms final : public ProgramStarter {
public:
    bool startProgram(const QString&, const QString&, const QString&, int, int, bool) override {
        return false;
    }
    int lastExitCode() override { return -1; }
    int lastStartResult() const override { return 0; }
};

// A send that stays under way for `ticks` looks, then ends with `code`.
struct SlowMail final : ScriptServices {
    int ticks = 2;
    qint32 code = 7;
    QList<qint32> started;
    int looks = 0;
    qint32 sendEmail(qint32 id) override {
        started << id;
        return ticks > 0 ? kEmailPending : code;
    }
    qint32 emailResult() override {
        ++looks;
        return looks < ticks ? kEmailPending : code;
    }
};

TEST(RunnerMailTest, SendEmailStaysAtTheHeadUntilTheSendEnds) {
    TempDir dir;
    ScriptedDialogs dialogs;
    FakeClock clock;
    Settings settings;
    settings.logEvents = true;
    EventLog log(dir.file(kEventLogName), settings, clock);
    ValueStore values(clock, [] { return QStringLiteral("d3"); });
    ActiveScriptQueue queue;
    NoPrograms starter;
    SlowMail mail;
    int debug = 0;
    ScriptRunner runner({queue, values, settings, clock, dialogs, log, starter, mail, debug, {}, nullptr});
    for (const QString& a : {action::SendEmail, action::End}) {
        QueueEntry e;
        e.item.action = a;
        e.item.emailId = 42;
        e.dueDate = clock.today();
        e.dueTime = clock.now() - 1;
        queue.append(e);
    }
    runner.runScriptStep();
    EXPECT_EQ(mail.started, QList<qint32>{42});
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_TRUE(queue.front().sending);
    runner.runScriptStep();
    EXPECT_EQ(queue.size(), 2u);
    runner.runScriptStep();
    EXPECT_EQ(queue.size(), 1u);
    EXPECT_EQ(runner.lastMailResult(), 7);
    // Started once, and the step logged once when it left the queue.
    EXPECT_EQ(mail.started.size(), 1);
    QFile f(dir.file(kEventLogName));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count("Send Email"), 1);

    // Stopped meanwhile: a new script's Send Email starts a send of its own.
    queue.clear();
    mail.looks = 0;
    QueueEntry again;
    again.item.action = action::SendEmail;
    again.item.emailId = 43;
    again.dueDate = clock.today();
    again.dueTime = clock.now() - 1;
    queue.append(again);
    runner.runScriptStep();
    EXPECT_EQ(mail.started, (QList<qint32>{42, 43}));
}

} // namespace
} // namespace kr::test
