// The frame when the scheduler stopped itself because a task could not be saved.

#include "FrameFixture.h"
#include "app/Setup.h"

#include <QApplication>
#include <QCheckBox>
#include <QTimer>

namespace kr::test {
namespace {

using SchedulerStopTest = FrameFixture;

// Waits for Setup to open, sets its "Scheduler active" box and closes it with OK or Cancel.
void AnswerSetup(bool tick, bool ok, bool* shownTicked) {
    QTimer::singleShot(50, [=] {
        auto* setup = qobject_cast<Setup*>(QApplication::activeModalWidget());
        if (setup == nullptr) {
            AnswerSetup(tick, ok, shownTicked);
            return;
        }
        for (QCheckBox* box : setup->findChildren<QCheckBox*>()) {
            if (box->text() == QStringLiteral("&Scheduler active")) {
                *shownTicked = box->isChecked();
                box->setChecked(tick);
            }
        }
        if (ok)
            setup->accept();
        else
            setup->reject();
    });
}

TEST_F(SchedulerStopTest, TheTitleSaysWhyAndOnlyTickingItInSetupTurnsItBackOn) {
    MainFrame& f = makeFrame();
    f.start();
    ASSERT_TRUE(state.schedulerActive);
    state.schedulerActive = false;
    state.inactiveReason = QStringLiteral("task changes cannot be saved");
    f.tick();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Kelvray 98 (Inactive: task changes cannot be saved)"));
    EXPECT_EQ(f.zone(2), QStringLiteral("Inactive: task changes cannot be saved"));

    // Closing Setup without ticking the box leaves it off.
    bool shownTicked = true;
    AnswerSetup(true, false, &shownTicked);
    f.accept(QStringLiteral("Setup"));
    EXPECT_FALSE(shownTicked); // shown off, as it is
    EXPECT_FALSE(state.schedulerActive);
    AnswerSetup(false, true, &shownTicked);
    f.accept(QStringLiteral("Setup"));
    EXPECT_FALSE(shownTicked);
    EXPECT_FALSE(state.schedulerActive);
    // The box was unticked only to show the stop: the next start is still an active one.
    EXPECT_TRUE(settings.startUpActive);
    EXPECT_NE(config->getConfig(QStringLiteral("StartUpActive")), QStringLiteral("1"));
    {
        Settings next;
        ConfigStore(*store, iniPath()).loadSettings(next);
        EXPECT_TRUE(next.startUpActive);
    }

    // Ticked and confirmed: on again, and the title is the normal one.
    AnswerSetup(true, true, &shownTicked);
    f.accept(QStringLiteral("Setup"));
    EXPECT_TRUE(state.schedulerActive);
    EXPECT_TRUE(state.inactiveReason.isEmpty());
    f.tick();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Kelvray 98 1.7d"));
    EXPECT_EQ(config->getConfig(QStringLiteral("StartUpActive")), QStringLiteral("0"));
}

TEST_F(SchedulerStopTest, AStartInactiveChoiceStaysWhenTheStoppedSchedulerIsLeftOff) {
    writeIni("[Settings]\nStartUpActive=1\n"); // the user's choice: start inactive
    MainFrame& f = makeFrame();
    f.start();
    ASSERT_FALSE(state.schedulerActive);
    state.inactiveReason = QStringLiteral("task changes cannot be saved");
    bool shownTicked = true;
    AnswerSetup(false, true, &shownTicked);
    f.accept(QStringLiteral("Setup"));
    EXPECT_FALSE(shownTicked);
    EXPECT_FALSE(state.schedulerActive);
    EXPECT_EQ(config->getConfig(QStringLiteral("StartUpActive")), QStringLiteral("1"));
    // Ticked: on now, and at the next start.
    AnswerSetup(true, true, &shownTicked);
    f.accept(QStringLiteral("Setup"));
    EXPECT_TRUE(state.schedulerActive);
    EXPECT_TRUE(state.inactiveReason.isEmpty());
    EXPECT_EQ(config->getConfig(QStringLiteral("StartUpActive")), QStringLiteral("0"));
}

} // namespace
} // namespace kr::test
