#pragma once

// The Setup window: every preference on eight tabs, and the housekeeping buttons.

#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "platform/Progress.h"
#include "store/RemovalPass.h"
#include "store/Settings.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QTabWidget;

namespace kr {

class SecretStore;
class Store;

struct SetupEnvironment {
    Store& store;
    ConfigStore& config;
    Settings& settings;
    Dialogs& dialogs;
    IniFile positions;            // POSITION.INI
    bool inactivatedMode = false; // started with "/I"
    std::function<void()> clearScriptQueue;
    // Called after OK and after Cancel, once the settings in effect may have changed.
    std::function<void()> settingsApplied;
    // Where the mail and news passwords go; none: the password fields are not offered.
    SecretStore* secrets = nullptr;
    // The progress window of the housekeeping; the window's own when null.
    Progress* progress = nullptr;
    // Told after housekeeping removed records of a table (its name), so that open lists
    // show what is left.
    std::function<void(const QString& table)> tableChanged = nullptr;
    // How large a slice of the housekeeping's removals is.
    RemovalLimits removalLimits = {};
    // The scheduler stopped itself: "Scheduler active" shows it off. Ticking it and OK turn it
    // on again (`resumeScheduler` is called); left unticked, the stored start-up choice stays.
    bool schedulerStopped = false;
    std::function<void()> resumeScheduler = nullptr;
};

// Which database holds the schedule, as Setup and the window title show it: the server
// database (never its password), or the data folder.
QString DatabaseShown(const Store& store);

// The date format samples offered in the window, with the pictures they stand for.
struct DateFormatSample {
    const char* sample;
    const char* picture;
    bool offered;
};
const std::vector<DateFormatSample>& DateFormatSamples();
QString SampleForPicture(const QString& picture);
QString PictureForSample(const QString& sample);

// The procedures whose saved window settings the reset clears.
const QStringList& WindowProcedures();

class Setup final : public QDialog {
    Q_OBJECT
public:
    // Opens the window and waits for it; in inactivated mode only says why it cannot. True
    // when the user closed it with OK, and so the settings were stored. OK keeps the window
    // open, with the user's choices, when they could not be stored.
    static bool run(SetupEnvironment& env, QWidget* parent = nullptr);

    Setup(SetupEnvironment& env, QWidget* parent = nullptr);

    QTabWidget* tabs() const { return tabs_; }
    QCheckBox* autostart() const { return autostart_; }

    // The housekeeping actions, also reachable from the buttons.
    void clearDisabledTasks();
    void clearCompletedTasks();
    void clearTodoList();
    void resetWindowSettings();
    void clearScriptQueue();

    void accept() override;
    void reject() override;

private:
    void build();
    void load();
    void store();
    bool confirm(const QString& question);
    void clearTasks(bool disabled);
    // Runs a removal pass a slice at a time under a progress window, telling each failure
    // after its slice; false when it ended early (a failed read, or the user cancelled).
    template <class R>
    bool removeInSlices(RemovalPass<R>& pass, const QString& text, const QString& failure,
                        const QString& failureCaption);

    SetupEnvironment& env_;
    Settings edit_;
    QString originalSample_;
    QTabWidget* tabs_ = nullptr;
    std::vector<std::pair<QCheckBox*, bool Settings::*>> flags_;
    // Its state is the autostart file, not a setting.
    QCheckBox* autostart_ = nullptr;
    std::vector<std::pair<QSpinBox*, qint32 Settings::*>> numbers_;
    std::vector<std::pair<QLineEdit*, QString Settings::*>> texts_;
    QComboBox* dateFormat_ = nullptr;
    QLineEdit* smtpPassword_ = nullptr;
    QLineEdit* newsPassword_ = nullptr;

    void storePasswords();
};

} // namespace kr
