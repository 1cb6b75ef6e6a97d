#include "script/Keystrokes.h"
#include "support/FakeClock.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

// Records what would be typed, cycle by cycle.
struct RecordingKeys final : KeySender {
    QStringList sent;
    void typeText(const QString& text) override { sent << QStringLiteral("text:") + text; }
    void pressKey(quint16 code) override { sent << QStringLiteral("key:0x%1").arg(code, 0, 16); }
};

class KeystrokesTest : public ::testing::Test {
protected:
    void send(const QString& sequence, int burst = 7) {
        KeystrokeContext ctx{
            keys,
            values,
            clock,
            50,
            burst,
            [this](int h) {
                ++cycles;
                keys.sent << QStringLiteral("|");
                clock.advance(h);
            },
            [this] { return trayShown; },
            [] { return QStringLiteral("tray_ico"); },
            [this](const QString& icon, const QString& tip) { tray << icon + QLatin1Char('/') + tip; }};
        SendKeystrokes(sequence, ctx);
    }
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 0, 0)};
    ValueStore values{clock, [] { return QStringLiteral("d3"); }};
    RecordingKeys keys;
    int cycles = 0;
    bool trayShown = false;
    QStringList tray;
};

TEST(KeyNames, TheListShowsTheKeysByNameNotByCode) {
    EXPECT_EQ(DescribeKeyCode(*KeyCodeOf(QStringLiteral("AltF4"))), QStringLiteral("Alt+F4"));
    EXPECT_EQ(DescribeKeyCode(*KeyCodeOf(QStringLiteral("CtrlShiftS"))), QStringLiteral("Ctrl+Shift+S"));
    EXPECT_EQ(DescribeKeyCode(*KeyCodeOf(QStringLiteral("ShiftPad0"))), QStringLiteral("Shift+Keypad 0"));
    EXPECT_EQ(DescribeKeyCode(*KeyCodeOf(QStringLiteral("CtrlAltDelete"))),
              QStringLiteral("Ctrl+Alt+Delete"));
    EXPECT_EQ(DescribeKeyCode(*KeyCodeOf(QStringLiteral("MouseRight2"))),
              QStringLiteral("Right mouse button, double click"));
    EXPECT_EQ(DescribeKeyCode(*KeyCodeOf(QStringLiteral("SlashKey"))), QStringLiteral("Keypad /"));
    const QString text = KeyCodesText();
    EXPECT_TRUE(text.contains(QStringLiteral("ALTF4             Alt+F4\n")));
    EXPECT_FALSE(text.contains(QStringLiteral("0x")));
    EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("Key \\d")))); // every code has a name
}

TEST(KeyNames, TheTableHasItsNamesAndCodes) {
    EXPECT_EQ(KeyNames().size(), 623);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("AltF4")), 0x473);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("altf4")), 0x473);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("CtrlShiftS")), 0x353);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("CTRLALTDELETE")), 0x62E);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("ShiftPad0")), 0x160);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("AltB")), 0x442);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("Enter  ")), 0x0D);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("CapsLockKey")), 0x14);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("PauseKey")), 0x13);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("KeyPad7")), 0x67);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("MouseRight2")), 6);
    EXPECT_EQ(KeyCodeOf(QStringLiteral("F12")), 0x7B);
    EXPECT_FALSE(KeyCodeOf(QStringLiteral("ShiftCtrlS")).has_value());
    EXPECT_FALSE(KeyCodeOf(QStringLiteral("A")).has_value());
    EXPECT_FALSE(KeyCodeOf(QStringLiteral("Pause")).has_value());
    EXPECT_FALSE(KeyCodeOf(QStringLiteral("5")).has_value());
    QStringList names = KeyNames();
    EXPECT_EQ(names.removeDuplicates(), 0);
}

TEST_F(KeystrokesTest, PlainTextGoesInOneCycleWhateverTheBurst) {
    send(QStringLiteral("a rather long piece of text   "), 3);
    EXPECT_EQ(keys.sent, (QStringList{"|", "text:a rather long piece of text"}));
}

TEST_F(KeystrokesTest, TextBeforeAKeyGoesInBursts) {
    send(QStringLiteral("Hello world[Enter]"));
    EXPECT_EQ(cycles, 3);
    EXPECT_EQ(keys.sent, (QStringList{"|", "text:Hello w", "|", "text:orld", "|", "key:0xd"}));
}

TEST_F(KeystrokesTest, PausesWaitAndUnknownNamesAreTypedAsValuesOrText) {
    send(QStringLiteral("[Pause][PAUSE]"));
    EXPECT_EQ(keys.sent, (QStringList{"|", "|"}));
    keys.sent.clear();
    values.setValue(QStringLiteral("WHO"), QStringLiteral("Ann"));
    send(QStringLiteral("[who][x][ShiftCtrlS][today]"));
    EXPECT_EQ(keys.sent,
              (QStringList{"|", "text:Ann", "|", "text:x", "|", "text:ShiftCtrlS", "|", "text:DEC 08,2026"}));
    keys.sent.clear();
    send(QStringLiteral("[AltF4"));
    EXPECT_EQ(keys.sent, (QStringList{"|", "|", "text:AltF4"}));
}

TEST_F(KeystrokesTest, TheTrayAnimatesWhileKeysGo) {
    trayShown = true;
    send(QStringLiteral("[Tab][Tab][Tab][Tab][Tab]"));
    EXPECT_EQ(tray,
              (QStringList{"tray_ico/\"Send Keys\" in progress", "traybr_ico/\"Send Keys\" in progress",
                           "trayc_ico/\"Send Keys\" in progress", "traydr_ico/\"Send Keys\" in progress",
                           "tray_ico/\"Send Keys\" in progress", "tray_ico/"}));
}

TEST_F(KeystrokesTest, NoWaitWhenTheDelayWouldPassMidnight) {
    clock.set(DateFromYmd(2026, 12, 8), kOneDay - 10);
    send(QStringLiteral("late"));
    EXPECT_EQ(cycles, 0);
    EXPECT_EQ(keys.sent, QStringList{QStringLiteral("text:late")});
}

} // namespace
} // namespace kr::test
