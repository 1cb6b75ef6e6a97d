#pragma once

// The program's preferences: named values in the Configuration table, first taken from the
// "Settings" section of KR98.INI when the table has no entry yet.

#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "store/Errors.h"

#include <QString>

#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace kr {

class Store;
template <class R> class Table;
struct Configuration;

inline const QString kSettingsSection = QStringLiteral("Settings");
inline const QString kVersionText = QStringLiteral("1.7d");
inline const QString kProductTitle = QStringLiteral("Kelvray 98");

// The setting values in effect while the program runs.
struct Settings {
    qint32 historyExpires = 0;
    bool removeUncompleted = false;
    bool startUpSchedule = true; // stored inverted
    bool startUpToDo = false;
    bool startUpClipboardSaver = false;
    bool startUpContacts = false;
    bool startUpActive = true; // stored inverted
    bool startUpMinimized = false;
    bool fullSchedule = false;
    bool activeOnly = false;
    bool hideToolbar = false;
    bool noTray = false;
    bool windowsAsTabs = false; // the frame shows its windows as tabs
    bool maximizeOnRun = false;
    bool multiUser = false;
    QString userId; // 30 characters
    bool logEvents = false;
    bool monitorClipboard = false;
    qint32 maxClipboardEntries = 50;
    qint32 forgetClipboardDays = 0; // unkept clipboard entries older than this go; 0 = never
    bool useExternalMessage = false;
    bool useModalMessage = false;
    bool useWinMessage = false;
    qint32 repeatAlarmInterval = 0;
    bool notifyFailures = true; // "Tell me when a task fails"; stored inverted
    bool saveScripts = false;
    bool translateFilenames = false;
    qint32 scriptingDelay = 50; // hundredths; below 50 is used as 50
    qint32 burstSize = 7;       // a low byte of 0 is used as 7
    QString dateFormat = QStringLiteral("d3");
    QString senderName;
    QString sender;
    QString host;
    QString org; // 20 characters
    QString nSenderName;
    QString nSender;
    QString nHost;
    QString nOrg;
    // The logins of the mail and news servers; their passwords are kept in the secret store.
    QString smtpUser;
    QString newsUser;

    // The current user: blank, or in multi-user mode the station's user name.
    QString currentUser() const { return multiUser ? userId : QString(); }
};

// One setting: its name, how it is stored, and the variable it fills.
struct SettingDecl {
    enum Kind { Flag, InvertedFlag, Number, Text };
    const char* name;
    Kind kind;
    int width; // texts: characters kept in the variable
    std::variant<bool Settings::*, qint32 Settings::*, QString Settings::*> member;
    bool saved; // written by the Setup window's OK
};

// Every setting in the order of loading.
const std::vector<SettingDecl>& SettingDecls();

// Applies the minimums and defaults the program uses for the delay and the burst size.
qint32 EffectiveScriptingDelay(qint32 stored);
qint32 EffectiveBurstSize(qint32 stored);

// The date picture every displayed date goes through: a date of 0 gives an empty text;
// otherwise the number formed by the second and third characters of the DateFormat
// setting selects "d1" to "d18", any other number "d3".
QString FormatDate(Date date, const QString& dateFormat);
// The picture ("d1" ... "d18") that the DateFormat setting selects.
QString DatePictureFor(const QString& dateFormat);

// The station's user name under which the user is logged on.
QString NetworkUserName();

// GetConfig, PutConfig and LoadSettings over the Configuration table.
class ConfigStore {
public:
    // `iniPath` is KR98.INI in the platform's settings directory.
    ConfigStore(Store& store, QString iniPath);
    ~ConfigStore();

    const IniFile& ini() const { return ini_; }

    // GetConfig: the table's value; when the table has none, the INI file's (copied into the
    // table when not empty). Without an INI file the default is the value.
    QString getConfig(const QString& name, const QString& defaultValue = {}, bool fromIni = true);
    // PutConfig; a failed write is said ("Error writing configuration information. ...") and
    // gives false.
    bool putConfig(const QString& name, const QString& value);

    // LoadSettings: every setting into `settings`, with the derived values.
    void loadSettings(Settings& settings);
    // The Setup window's OK: every saved setting (and the date format picture, when given)
    // written in one transaction, then the delay and the burst size read back and applied.
    // False when nothing was stored; the failure has then been said, after the transaction
    // ended.
    bool saveSettings(Settings& settings, const std::optional<QString>& dateFormat = std::nullopt);

private:
    // One value written, nothing said.
    Err writeConfig(const QString& name, const QString& value);
    void sayWriteError(const QString& name, const StoreError& e);

    Store& store_;
    IniFile ini_;
    std::unique_ptr<Table<Configuration>> table_;
    QString lastValue_;
};

} // namespace kr
