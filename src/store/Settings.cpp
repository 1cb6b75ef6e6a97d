#include "store/Settings.h"

#include "platform/Pictures.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"
#include "store/Warnings.h"

#include <pwd.h>
#include <unistd.h>

namespace kr {

const std::vector<SettingDecl>& SettingDecls() {
    using S = Settings;
    using K = SettingDecl;
    static const std::vector<SettingDecl> decls{
        {"HistoryExpires", K::Number, 0, &S::historyExpires, true},
        {"RemoveUncompleted", K::Flag, 0, &S::removeUncompleted, true},
        {"StartUpSchedule", K::InvertedFlag, 0, &S::startUpSchedule, true},
        {"StartUpToDo", K::Flag, 0, &S::startUpToDo, true},
        {"StartUpClipboardSaver", K::Flag, 0, &S::startUpClipboardSaver, true},
        {"StartUpContacts", K::Flag, 0, &S::startUpContacts, true},
        {"StartUpActive", K::InvertedFlag, 0, &S::startUpActive, true},
        {"StartUpMinimized", K::Flag, 0, &S::startUpMinimized, true},
        {"FullSchedule", K::Flag, 0, &S::fullSchedule, true},
        {"ActiveOnly", K::Flag, 0, &S::activeOnly, true},
        {"HideToolbar", K::Flag, 0, &S::hideToolbar, true},
        {"NoTray", K::Flag, 0, &S::noTray, true},
        {"WindowsAsTabs", K::Flag, 0, &S::windowsAsTabs, true},
        {"MaximizeOnRun", K::Flag, 0, &S::maximizeOnRun, true},
        {"MultiUser", K::Flag, 0, &S::multiUser, true},
        {"UserID", K::Text, 30, &S::userId, true},
        {"LogEvents", K::Flag, 0, &S::logEvents, true},
        {"MonitorClipboard", K::Flag, 0, &S::monitorClipboard, true},
        {"MaxClipboardEntries", K::Number, 0, &S::maxClipboardEntries, true},
        {"ForgetClipboardDays", K::Number, 0, &S::forgetClipboardDays, true},
        {"UseExternalMessage", K::Flag, 0, &S::useExternalMessage, true},
        {"UseModalMessage", K::Flag, 0, &S::useModalMessage, true},
        {"UseWinMessage", K::Flag, 0, &S::useWinMessage, false},
        {"RepeatAlarmInterval", K::Number, 0, &S::repeatAlarmInterval, true},
        {"NoFailureNotice", K::InvertedFlag, 0, &S::notifyFailures, true},
        {"SaveScripts", K::Flag, 0, &S::saveScripts, true},
        {"TranslateFilenames", K::Flag, 0, &S::translateFilenames, true},
        {"ScriptingDelay", K::Number, 0, &S::scriptingDelay, true},
        {"BurstSize", K::Number, 0, &S::burstSize, true},
        {"DateFormat", K::Text, 6, &S::dateFormat, false},
        {"SenderName", K::Text, 255, &S::senderName, true},
        {"Sender", K::Text, 255, &S::sender, true},
        {"Host", K::Text, 255, &S::host, true},
        {"Org", K::Text, 20, &S::org, true},
        {"NSenderName", K::Text, 255, &S::nSenderName, true},
        {"NSender", K::Text, 255, &S::nSender, true},
        {"NHost", K::Text, 255, &S::nHost, true},
        {"NOrg", K::Text, 255, &S::nOrg, true},
        {"SmtpUser", K::Text, 255, &S::smtpUser, true},
        {"NewsUser", K::Text, 255, &S::newsUser, true},
    };
    return decls;
}

qint32 EffectiveScriptingDelay(qint32 stored) {
    return stored < 50 ? 50 : stored;
}

qint32 EffectiveBurstSize(qint32 stored) {
    return (stored & 0xff) == 0 ? 7 : stored;
}

QString DatePictureFor(const QString& dateFormat) {
    bool ok = false;
    const int n = dateFormat.mid(1, 2).trimmed().toInt(&ok);
    return QStringLiteral("d%1").arg(ok && n >= 1 && n <= 18 ? n : 3);
}

QString FormatDate(Date date, const QString& dateFormat) {
    return date == 0 ? QString() : FormatDateAs(date, DatePictureFor(dateFormat));
}

QString NetworkUserName() {
    if (const passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_name != nullptr)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

namespace {

// A flag or number as the program reads it: the numeric value of the text, 0 when the text
// is empty or not a number.
qint32 NumericValue(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    int sign = 1;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        sign = t[i++] == QLatin1Char('-') ? -1 : 1;
    qint64 n = 0;
    for (; i < t.size() && t[i].isDigit(); ++i)
        n = qMin<qint64>(n * 10 + t[i].digitValue(), 0x7fffffff);
    return static_cast<qint32>(sign * n);
}

QString ErrorMessageText(const StoreError& e) {
    return e.code == Err::StorageError && !e.driverText.isEmpty() ? e.driverText : e.text();
}

} // namespace

ConfigStore::ConfigStore(Store& store, QString iniPath)
    : store_(store)
    , ini_(std::move(iniPath))
    , table_(std::make_unique<Table<Configuration>>(store)) {}

ConfigStore::~ConfigStore() = default;

QString ConfigStore::getConfig(const QString& name, const QString& defaultValue, bool fromIni) {
    Configuration cf;
    cf.dataType = name;
    const Err e = table_->get(Configuration::KEYDATATYPE, cf);
    if (e == Err::None) {
        lastValue_ = cf.dataValue;
        return cf.dataValue;
    }
    if (e != Err::RecordNotFound) {
        store_.dialogs().message(QStringLiteral("Error retrieving configuration information code ") +
                                     name.leftJustified(40) + QStringLiteral(" - ") +
                                     ErrorMessageText(table_->error()),
                                 QStringLiteral("Error!"), Dialogs::Icon::Exclamation);
        return lastValue_;
    }
    const QString text = fromIni ? ini_.read(kSettingsSection, name, defaultValue) : defaultValue;
    if (!text.isEmpty()) {
        Configuration add;
        add.dataType = name;
        add.dataValue = text;
        table_->add(add);
    }
    lastValue_ = text.left(80);
    return text;
}

Err ConfigStore::writeConfig(const QString& name, const QString& value) {
    Configuration cf;
    cf.dataType = name;
    Err e = table_->get(Configuration::KEYDATATYPE, cf);
    if (e == Err::RecordNotFound) {
        Configuration add;
        add.dataType = name;
        add.dataValue = value;
        e = table_->add(add);
    } else if (e == Err::None) {
        cf.dataValue = value;
        e = table_->put(cf);
    }
    lastValue_ = value.left(80);
    return e;
}

void ConfigStore::sayWriteError(const QString& name, const StoreError& e) {
    store_.dialogs().message(QStringLiteral("Error writing configuration information.  Code ") +
                                 name.leftJustified(40) + QStringLiteral(" - ") + ErrorMessageText(e),
                             QStringLiteral("Error!"), Dialogs::Icon::Exclamation);
}

bool ConfigStore::putConfig(const QString& name, const QString& value) {
    if (writeConfig(name, value) == Err::None)
        return true;
    sayWriteError(name, table_->error());
    return false;
}

void ConfigStore::loadSettings(Settings& s) {
    for (const SettingDecl& d : SettingDecls()) {
        const QString name = QString::fromLatin1(d.name);
        const bool isDateFormat = name == QStringLiteral("DateFormat");
        const QString text = isDateFormat ? getConfig(name, QStringLiteral("d3"), false) : getConfig(name);
        switch (d.kind) {
        case SettingDecl::Flag:
            s.*std::get<bool Settings::*>(d.member) = NumericValue(text) != 0;
            break;
        case SettingDecl::InvertedFlag:
            s.*std::get<bool Settings::*>(d.member) = NumericValue(text) == 0;
            break;
        case SettingDecl::Number:
            // An empty entry leaves the clipboard limit at its default.
            if (name == QStringLiteral("MaxClipboardEntries") && text.trimmed().isEmpty())
                s.maxClipboardEntries = 50;
            else
                s.*std::get<qint32 Settings::*>(d.member) = NumericValue(text);
            break;
        case SettingDecl::Text:
            s.*std::get<QString Settings::*>(d.member) = text.left(d.width);
            break;
        }
    }
    getConfig(QStringLiteral("Debug")); // read and discarded, as the start-up check reads the INI file
    s.scriptingDelay = EffectiveScriptingDelay(s.scriptingDelay);
    s.burstSize = EffectiveBurstSize(s.burstSize);
    if (s.multiUser && s.userId.trimmed().isEmpty())
        s.userId = NetworkUserName().left(30);
}

bool ConfigStore::saveSettings(Settings& s, const std::optional<QString>& dateFormat) {
    if (s.repeatAlarmInterval >= 1 && s.repeatAlarmInterval <= 4)
        s.repeatAlarmInterval = 5;
    const QString table = Configuration::decl().name;
    // All of them or none. Nothing is said while the transaction is open: the first failure
    // is kept, the transaction ended, and then the failure said.
    Transaction tx;
    if (tx.begin({table_.get()}) != Err::None) {
        warn::TransactionFraming(store_.dialogs(), QStringLiteral("Update"), table, tx.error());
        return false;
    }
    auto write = [&](const SettingDecl& d) {
        const QString name = QString::fromLatin1(d.name);
        switch (d.kind) {
        case SettingDecl::Flag:
            return writeConfig(name, s.*std::get<bool Settings::*>(d.member) ? QStringLiteral("1")
                                                                             : QStringLiteral("0"));
        case SettingDecl::InvertedFlag:
            return writeConfig(name, s.*std::get<bool Settings::*>(d.member) ? QStringLiteral("0")
                                                                             : QStringLiteral("1"));
        case SettingDecl::Number:
            return writeConfig(name, QString::number(s.*std::get<qint32 Settings::*>(d.member)));
        case SettingDecl::Text:
            return writeConfig(name, s.*std::get<QString Settings::*>(d.member));
        }
        return Err::None;
    };
    QString failedName;
    for (const SettingDecl& d : SettingDecls()) {
        if (!d.saved)
            continue;
        if (write(d) != Err::None) {
            failedName = QString::fromLatin1(d.name);
            break;
        }
    }
    if (failedName.isEmpty() && dateFormat &&
        writeConfig(QStringLiteral("DateFormat"), *dateFormat) != Err::None)
        failedName = QStringLiteral("DateFormat");
    if (!failedName.isEmpty()) {
        const StoreError saved = table_->error();
        tx.rollback();
        sayWriteError(failedName, saved);
        return false;
    }
    if (tx.commit() != Err::None) {
        warn::UpdateError(store_.dialogs(), table, tx.error());
        return false;
    }
    s.scriptingDelay = EffectiveScriptingDelay(NumericValue(getConfig(QStringLiteral("ScriptingDelay"))));
    s.burstSize = EffectiveBurstSize(NumericValue(getConfig(QStringLiteral("BurstSize"))));
    if (dateFormat)
        s.dateFormat = *dateFormat;
    return true;
}

} // namespace kr
