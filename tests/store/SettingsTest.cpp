#include "store/Settings.h"
#include "StoreFixture.h"

#include <QFile>

namespace kr::test {
namespace {

class SettingsTest : public StoreFixture {
protected:
    QString iniPath() const { return dir.file(QStringLiteral("config/KR98.INI")); }
    void writeIni(const QByteArray& text) {
        QDir().mkpath(dir.file(QStringLiteral("config")));
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QString tableValue(const QString& name) {
        Table<Configuration> cf(*store);
        Configuration r;
        r.dataType = name;
        return cf.get(Configuration::KEYDATATYPE, r) == Err::None ? r.dataValue : QStringLiteral("<none>");
    }
    Settings load() {
        ConfigStore config(*store, iniPath());
        Settings s;
        config.loadSettings(s);
        return s;
    }
};

TEST_F(SettingsTest, AFreshInstallationStartsWithTheDefaults) {
    const Settings s = load();
    EXPECT_TRUE(s.startUpSchedule);
    EXPECT_TRUE(s.startUpActive);
    EXPECT_FALSE(s.startUpMinimized);
    EXPECT_EQ(s.dateFormat, QStringLiteral("d3"));
    EXPECT_EQ(s.scriptingDelay, 50);
    EXPECT_EQ(s.burstSize, 7);
    EXPECT_EQ(s.maxClipboardEntries, 50);
    EXPECT_EQ(s.historyExpires, 0);
    EXPECT_EQ(s.currentUser(), QString());
    EXPECT_TRUE(dialogs.shown.empty());
    // Only the date format came from somewhere (its default); nothing else was written.
    EXPECT_EQ(tableValue(QStringLiteral("DateFormat")), QStringLiteral("d3"));
    EXPECT_EQ(tableValue(QStringLiteral("StartUpSchedule")), QStringLiteral("<none>"));
}

TEST_F(SettingsTest, AnIniValueIsCopiedIntoTheTableOnce) {
    writeIni("[Settings]\nStartUpSchedule=1\nHost=mail.example.com\nBurstSize=256\nScriptingDelay=120\n");
    Settings s = load();
    EXPECT_FALSE(s.startUpSchedule);
    EXPECT_EQ(s.host, QStringLiteral("mail.example.com"));
    EXPECT_EQ(s.burstSize, 7); // low byte 0
    EXPECT_EQ(s.scriptingDelay, 120);
    EXPECT_EQ(tableValue(QStringLiteral("StartUpSchedule")), QStringLiteral("1"));
    QFile::remove(iniPath());
    s = load();
    EXPECT_FALSE(s.startUpSchedule);
    EXPECT_EQ(s.host, QStringLiteral("mail.example.com"));
}

TEST_F(SettingsTest, AnEmptyTableValueIsNotLookedUpAgain) {
    {
        ConfigStore config(*store, iniPath());
        config.putConfig(QStringLiteral("Host"), QString());
        config.putConfig(QStringLiteral("MaxClipboardEntries"), QString());
    }
    writeIni("[Settings]\nHost=from.ini\nMaxClipboardEntries=9\n");
    ConfigStore config(*store, iniPath());
    EXPECT_EQ(config.getConfig(QStringLiteral("Host")), QString());
    Settings s;
    config.loadSettings(s);
    EXPECT_EQ(s.host, QString());
    EXPECT_EQ(s.maxClipboardEntries, 50);
}

TEST_F(SettingsTest, SavingAppliesTheRulesOfEachSetting) {
    Settings s = load();
    s.sender = QString(100, QLatin1Char('r'));
    s.repeatAlarmInterval = 3;
    s.scriptingDelay = 10;
    s.maxClipboardEntries = 20;
    s.startUpActive = false;
    s.startUpSchedule = false;
    s.org = QStringLiteral("Organisation");
    {
        ConfigStore config(*store, iniPath());
        config.saveSettings(s);
    }
    // While the program runs the long address stays whole; the delay is used as 50.
    EXPECT_EQ(s.sender.size(), 100);
    EXPECT_EQ(s.repeatAlarmInterval, 5);
    EXPECT_EQ(s.scriptingDelay, 50);
    EXPECT_EQ(tableValue(QStringLiteral("ScriptingDelay")), QStringLiteral("10"));
    EXPECT_EQ(tableValue(QStringLiteral("RepeatAlarmInterval")), QStringLiteral("5"));
    EXPECT_EQ(tableValue(QStringLiteral("StartUpActive")), QStringLiteral("1"));
    EXPECT_EQ(tableValue(QStringLiteral("StartUpSchedule")), QStringLiteral("1"));
    EXPECT_EQ(tableValue(QStringLiteral("UseWinMessage")), QStringLiteral("<none>"));

    const Settings again = load();
    EXPECT_EQ(again.sender.size(), 80);
    EXPECT_EQ(again.maxClipboardEntries, 20);
    EXPECT_FALSE(again.startUpActive);
    EXPECT_EQ(again.repeatAlarmInterval, 5);

    s.repeatAlarmInterval = 0;
    ConfigStore config(*store, iniPath());
    config.saveSettings(s);
    EXPECT_EQ(s.repeatAlarmInterval, 0);
}

TEST_F(SettingsTest, MultiUserTakesTheLogonNameWhenNoUserIsSet) {
    writeIni("[Settings]\nMultiUser=1\n");
    Settings s = load();
    EXPECT_EQ(s.userId, NetworkUserName());
    EXPECT_FALSE(s.userId.isEmpty());
    EXPECT_EQ(s.currentUser(), s.userId);
    writeIni("[Settings]\nUserID=station7\n");
    ConfigStore config(*store, iniPath());
    config.putConfig(QStringLiteral("UserID"), QStringLiteral("station7"));
    s = load();
    EXPECT_EQ(s.userId, QStringLiteral("station7"));
}

TEST_F(SettingsTest, VersionAndLastSoundFileAreKeptAsText) {
    ConfigStore config(*store, iniPath());
    config.putConfig(QStringLiteral("Version"), QStringLiteral("1.7d"));
    config.putConfig(QStringLiteral("Version"), QStringLiteral("1.7d"));
    EXPECT_EQ(config.getConfig(QStringLiteral("Version")), QStringLiteral("1.7d"));
    Table<Configuration> cf(*store);
    EXPECT_EQ(cf.records(), 1);
}

TEST(DateFormatSetting, SelectsThePictureByItsNumber) {
    const Date d = DateFromYmd(1959, 10, 31);
    EXPECT_EQ(FormatDate(d, QStringLiteral("d3")), QStringLiteral("OCT 31,1959"));
    EXPECT_EQ(FormatDate(d, QStringLiteral("d6")), QStringLiteral("31/10/1959"));
    EXPECT_EQ(FormatDate(d, QStringLiteral("d16")), QStringLiteral("1959/10"));
    EXPECT_EQ(FormatDate(d, QStringLiteral("d99")), QStringLiteral("OCT 31,1959"));
    EXPECT_EQ(FormatDate(d, QStringLiteral("n4b")), QStringLiteral("OCT 31,1959"));
    EXPECT_EQ(FormatDate(0, QStringLiteral("d6")), QString());
}

} // namespace
} // namespace kr::test
