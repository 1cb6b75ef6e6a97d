// The progress window on real widgets: Cancel, Esc and the close button ask before a run stops.

#include "platform/qt/QtProgress.h"
#include "support/ScriptedDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

QString Text(QDialog* w) {
    return w->findChild<QLabel*>(QStringLiteral("text"))->text();
}

TEST(ProgressTest, ADeclinedCancelGoesOnWhereTheRunStood) {
    ScriptedDialogs dialogs;
    QtProgress progress(&dialogs);
    progress.begin(QStringLiteral("Processing Records"), QStringLiteral("Importing Script Items"));
    progress.setCancelQuestion(QStringLiteral("Stop?"), QStringLiteral("Cancel Request"));
    progress.showNow();
    progress.update(40);
    QDialog* w = progress.window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Processing Records"));
    EXPECT_EQ(Text(w), QStringLiteral("Importing Script Items\n40% Completed"));

    // Cancel, declined: the window, its bar and the run are as they were.
    dialogs.answer(Dialogs::Cancel);
    w->findChild<QPushButton*>()->click();
    EXPECT_FALSE(progress.cancelled());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->findChild<QProgressBar*>()->value(), 40);
    progress.update(41);
    EXPECT_EQ(Text(w), QStringLiteral("Importing Script Items\n41% Completed"));

    // The text may change while the run goes on.
    progress.setText(QStringLiteral("Sending"));
    EXPECT_EQ(Text(w), QStringLiteral("Sending\n41% Completed"));

    // Esc asks as Cancel does; the close button too. Agreeing stops the run.
    dialogs.answer(Dialogs::Cancel);
    QTest::keyClick(w, Qt::Key_Escape);
    EXPECT_FALSE(progress.cancelled());
    EXPECT_TRUE(w->isVisible());
    dialogs.answer(Dialogs::Ok);
    w->close();
    EXPECT_TRUE(progress.cancelled());
    EXPECT_EQ(dialogs.captions(),
              (QStringList{QStringLiteral("Cancel Request"), QStringLiteral("Cancel Request"),
                           QStringLiteral("Cancel Request")}));
    progress.end();
    EXPECT_EQ(progress.window(), nullptr);

    // A new run starts clean: without a question Cancel stops at once.
    progress.begin(QStringLiteral("Processing Records"), QStringLiteral("Copying Script"));
    progress.showNow();
    EXPECT_FALSE(progress.cancelled());
    progress.window()->findChild<QPushButton*>()->click();
    EXPECT_TRUE(progress.cancelled());
    EXPECT_EQ(dialogs.shown.size(), 3u);
}

TEST(ProgressTest, AYesNoCancelQuestionDefaultsToGoingOn) {
    ScriptedDialogs dialogs;
    QtProgress progress(&dialogs);
    progress.begin(QStringLiteral("Generating Report"), {});
    progress.setCancelQuestionYesNo(QStringLiteral("Stop the report?"), QStringLiteral("Cancel Request"));
    progress.showNow();
    progress.update(30);
    QDialog* w = progress.window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Text(w), QStringLiteral("30% Completed"));

    // Esc with the default answer: No, the run goes on.
    QTest::keyClick(w, Qt::Key_Escape);
    EXPECT_FALSE(progress.cancelled());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].buttons, unsigned(Dialogs::Yes | Dialogs::No));
    EXPECT_EQ(dialogs.shown[0].defaultButton, Dialogs::No);
    dialogs.answer(Dialogs::Yes);
    w->findChild<QPushButton*>()->click();
    EXPECT_TRUE(progress.cancelled());

    // The next run asks with Ok and Cancel again unless told otherwise.
    progress.begin(QStringLiteral("Generating Report"), {});
    progress.setCancelQuestion(QStringLiteral("Stop?"), QStringLiteral("Cancel Request"));
    progress.showNow();
    progress.window()->findChild<QPushButton*>()->click();
    EXPECT_EQ(dialogs.shown.back().buttons, unsigned(Dialogs::Ok | Dialogs::Cancel));
    EXPECT_TRUE(progress.cancelled());
    progress.end();
}

} // namespace
} // namespace kr::test
