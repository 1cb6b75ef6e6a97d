// Setup's OK when the settings cannot be stored: a disk that refuses the commit, another
// station holding the data file. Nothing is half stored, the store's warning is said after the
// transaction ended, and the window stays open with what the user chose.

#include "../store/Peer.h"
#include "FrameFixture.h"
#include "app/Setup.h"
#include "support/FaultyReads.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>

namespace kr::test {
namespace {

// Installed before the fixture opens the data file, so that its connection goes through it.
struct WithFaults {
    FaultyReads faults;
};

class SetupSaveTest : public WithFaults, public FrameFixture {
protected:
    SetupSaveTest() {
        config->loadSettings(settings);
        env = std::make_unique<SetupEnvironment>(
            SetupEnvironment{*store, *config, settings, dialogs, IniFile(dir.file(kPositionIniName)), false,
                             [this] { queue.clear(); }, [this] { ++applied; }});
    }
    static QCheckBox* box(kr::Setup& s, const QString& text) {
        for (auto* b : s.findChildren<QCheckBox*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    // The user's choices: logging on, the scheduler off, another date format.
    static void choose(kr::Setup& s) {
        box(s, QStringLiteral("&Log events"))->setChecked(true);
        box(s, QStringLiteral("&Scheduler active"))->setChecked(false);
        s.findChild<QComboBox*>()->setCurrentText(QStringLiteral("31/10/1959"));
    }
    // What a fresh look at the data file finds.
    Settings stored() {
        ConfigStore fresh(*store, iniPath());
        Settings s;
        fresh.loadSettings(s);
        return s;
    }
    void expectNothingChanged() {
        EXPECT_FALSE(settings.logEvents);
        EXPECT_TRUE(settings.startUpActive);
        EXPECT_EQ(settings.dateFormat, QStringLiteral("d3"));
        EXPECT_EQ(applied, 0);
        const Settings s = stored();
        EXPECT_FALSE(s.logEvents);
        EXPECT_TRUE(s.startUpActive);
        EXPECT_EQ(s.dateFormat, QStringLiteral("d3"));
    }
    void expectChoicesStillShown(kr::Setup& s) {
        EXPECT_TRUE(s.isVisible());
        EXPECT_NE(s.result(), QDialog::Accepted);
        EXPECT_TRUE(box(s, QStringLiteral("&Log events"))->isChecked());
        EXPECT_FALSE(box(s, QStringLiteral("&Scheduler active"))->isChecked());
        EXPECT_EQ(s.findChild<QComboBox*>()->currentText(), QStringLiteral("31/10/1959"));
    }
    // OK once more, with the file usable again: stored, and closed.
    void okAgain(kr::Setup& s) {
        dialogs.shown.clear();
        s.accept();
        EXPECT_FALSE(s.isVisible());
        EXPECT_EQ(s.result(), QDialog::Accepted);
        EXPECT_TRUE(settings.logEvents);
        EXPECT_FALSE(settings.startUpActive);
        EXPECT_EQ(settings.dateFormat, QStringLiteral("d6"));
        EXPECT_EQ(applied, 1);
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Information")); // the date format note
        const Settings again = stored();
        EXPECT_TRUE(again.logEvents);
        EXPECT_FALSE(again.startUpActive);
        EXPECT_EQ(again.dateFormat, QStringLiteral("d6"));
    }

    std::unique_ptr<SetupEnvironment> env;
    int applied = 0;
};

TEST_F(SetupSaveTest, ACommitTheDiskRefusesKeepsTheWindowOpenAndStoresNothing) {
    kr::Setup s(*env);
    s.show();
    choose(s);
    faults.failSyncs(true);
    s.accept();
    faults.failSyncs(false);
    ASSERT_GT(faults.failedSyncs(), 0); // the commit did reach the disk, and was refused

    ASSERT_EQ(dialogs.shown.size(), 1u) << dialogs.texts().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Update Operation Error"));
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("An error (")))
        << dialogs.shown[0].text.toStdString();
    EXPECT_TRUE(dialogs.shown[0].text.endsWith(QStringLiteral("Probable Cause: Configuration.")))
        << dialogs.shown[0].text.toStdString();
    expectChoicesStillShown(s);
    expectNothingChanged();
    okAgain(s);
}

TEST_F(SetupSaveTest, AnotherStationHoldingTheFileKeepsTheWindowOpenAndStoresNothing) {
    kr::Setup s(*env);
    s.show();
    choose(s);
    Peer peer(dir.path());
    ASSERT_EQ(peer.ask(QStringLiteral("open")), QStringLiteral("0"));
    ASSERT_EQ(peer.ask(QStringLiteral("begin")), QStringLiteral("0"));
    QElapsedTimer t;
    t.start();
    s.accept();
    // It waited for the other station, but no longer than the 2 seconds a window may.
    EXPECT_LT(t.elapsed(), 3000);

    ASSERT_EQ(dialogs.shown.size(), 1u) << dialogs.texts().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Transaction Framing Error"));
    EXPECT_TRUE(dialogs.shown[0].text.endsWith(
        QStringLiteral(" attempting to frame the update transaction on Configuration.  Update transaction "
                       "cancelled.")))
        << dialogs.shown[0].text.toStdString();
    expectChoicesStillShown(s);
    ASSERT_EQ(peer.ask(QStringLiteral("rollback")), QStringLiteral("0"));
    expectNothingChanged();
    okAgain(s);
}

} // namespace
} // namespace kr::test
