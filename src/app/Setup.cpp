#include "app/Setup.h"

#include "platform/Autostart.h"
#include "platform/SecretStore.h"
#include "platform/qt/Keyboard.h"
#include "platform/qt/QtProgress.h"
#include "platform/qt/WindowPosition.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/pg/PgDatabase.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <memory>

namespace kr {

QString DatabaseShown(const Store& store) {
    return store.onServer() ? ServerDisplayName(store.database()) : QDir::toNativeSeparators(store.workDir());
}

namespace {
const QString kCaption = QStringLiteral("Housekeeping");
const QString kProcedure = QStringLiteral("Setup");
} // namespace

const std::vector<DateFormatSample>& DateFormatSamples() {
    static const std::vector<DateFormatSample> samples{
        {"Windows Default", "d17", true}, {"October 31, 1959", "d4", true},
        {"OCT 31,1959", "d3", true},      {"10/31/59", "d1", true},
        {"10/31/1959", "d2", true},       {"31 OCT 59", "d7", true},
        {"31 OCT 1959", "d8", true},      {"31/10/59", "d5", true},
        {"31/10/1959", "d6", true},       {"Windows Default 2", "d18", true},
        {"59/10", "d15", false},          {"1959/10", "d16", false},
        {"10/59", "d13", false},          {"10/1959", "d14", false},
        {"Year Only", "n4b", false},
    };
    return samples;
}

QString SampleForPicture(const QString& picture) {
    for (const auto& s : DateFormatSamples()) {
        if (picture.trimmed().compare(QLatin1String(s.picture), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(s.sample);
    }
    return picture;
}

QString PictureForSample(const QString& sample) {
    for (const auto& s : DateFormatSamples()) {
        if (sample == QLatin1String(s.sample))
            return QString::fromLatin1(s.picture);
    }
    return sample;
}

const QStringList& WindowProcedures() {
    static const QStringList names{
        QStringLiteral("BrowseSchedule"),
        QStringLiteral("Main"),
        QStringLiteral("About"),
        QStringLiteral("Calendar"),
        QStringLiteral("ViewToDo"),
        QStringLiteral("UpdateTodo"),
        QStringLiteral("Setup"),
        QStringLiteral("AddProgramWizard"),
        QStringLiteral("AddMessageWizard"),
        QStringLiteral("BrowseTodo"),
        QStringLiteral("UpdateSchedule"),
        QStringLiteral("UpdateScripting"),
        QStringLiteral("ViewScriptKeys"),
        QStringLiteral("AddScripting"),
        QStringLiteral("ShowMessage"),
        QStringLiteral("SystemInfo"),
        QStringLiteral("AddTaskWizard"),
        QStringLiteral("SpecialEventWizard"),
    };
    return names;
}

bool Setup::run(SetupEnvironment& env, QWidget* parent) {
    if (env.inactivatedMode) {
        env.dialogs.message(QStringLiteral("Configuration cannot be changed in \"inactivated\" mode."),
                            QStringLiteral("Warning"), Dialogs::Icon::Exclamation);
        return false;
    }
    Setup window(env, parent);
    RestoreWindowPosition(window, kProcedure, env.positions);
    return window.exec() == QDialog::Accepted;
}

Setup::Setup(SetupEnvironment& env, QWidget* parent)
    : QDialog(parent)
    , env_(env)
    , edit_(env.settings) {
    setObjectName(kProcedure);
    setWindowTitle(QStringLiteral("Setup"));
    if (env_.schedulerStopped)
        edit_.startUpActive = false;
    build();
    load();
}

void Setup::build() {
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->setUsesScrollButtons(false); // all eight tabs in view
    layout->addWidget(tabs_);
    TurnTabsWithKeys(this, tabs_);

    auto page = [&](const QString& title) {
        auto* w = new QWidget;
        auto* form = new QFormLayout(w);
        // Numbers and buttons keep their own width; only the text fields stretch.
        form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
        tabs_->addTab(w, title);
        return form;
    };
    auto flag = [&](QFormLayout* form, const QString& text, bool Settings::*member) {
        auto* box = new QCheckBox(text);
        form->addRow(box);
        flags_.emplace_back(box, member);
        return box;
    };
    auto number = [&](QFormLayout* form, const QString& text, qint32 Settings::*member, int min, int max) {
        auto* spin = new QSpinBox;
        spin->setRange(min, max);
        form->addRow(text, spin);
        numbers_.emplace_back(spin, member);
        return spin;
    };
    auto text = [&](QFormLayout* form, const QString& label, QString Settings::*member, int width) {
        auto* edit = new QLineEdit;
        edit->setMaxLength(width);
        form->addRow(label, edit);
        texts_.emplace_back(edit, member);
        return edit;
    };

    QFormLayout* f = page(QStringLiteral("Start Up"));
    flag(f, QStringLiteral("&Scheduler active"), &Settings::startUpActive);
    flag(f, QStringLiteral("Start &minimized"), &Settings::startUpMinimized);
    flag(f, QStringLiteral("Open the s&chedule"), &Settings::startUpSchedule);
    flag(f, QStringLiteral("Open the &To Do list"), &Settings::startUpToDo);
    flag(f, QStringLiteral("Open the Clip&board Saver"), &Settings::startUpClipboardSaver);
    flag(f, QStringLiteral("Open C&ontacts"), &Settings::startUpContacts);
    flag(f, QStringLiteral("Show the &full schedule"), &Settings::fullSchedule);
    flag(f, QStringLiteral("Show &active tasks only"), &Settings::activeOnly);
    autostart_ = new QCheckBox(QStringLiteral("Start Kelvray when I lo&g in"));
    f->addRow(autostart_);

    f = page(QStringLiteral("General"));
    dateFormat_ = new QComboBox;
    dateFormat_->setEditable(true);
    for (const auto& s : DateFormatSamples()) {
        if (s.offered)
            dateFormat_->addItem(QString::fromLatin1(s.sample));
    }
    f->addRow(QStringLiteral("&Date format:"), dateFormat_);
    flag(f, QStringLiteral("&No tray icon when minimized"), &Settings::noTray);
    flag(f, QStringLiteral("&Restore the window before running a task"), &Settings::maximizeOnRun);
    flag(f, QStringLiteral("&Hide the tool bar"), &Settings::hideToolbar);
    flag(f, QStringLiteral("Show &windows as tabs"), &Settings::windowsAsTabs);
    flag(f, QStringLiteral("&Multi-user"), &Settings::multiUser);
    text(f, QStringLiteral("&User ID:"), &Settings::userId, 30);
    flag(f, QStringLiteral("&Log events"), &Settings::logEvents);
    flag(f, QStringLiteral("Tell me when a task &fails"), &Settings::notifyFailures);
    // Which database holds the schedule is the station's choice, made when the program starts.
    auto* database = new QLineEdit(DatabaseShown(env_.store));
    database->setObjectName(QStringLiteral("Database"));
    database->setReadOnly(true);
    database->setToolTip(
        QStringLiteral("Chosen when Kelvray starts: --database URL|DIR or KELVRAY_DATABASE"));
    f->addRow(QStringLiteral("Database:"), database);

    f = page(QStringLiteral("Messages"));
    flag(f, QStringLiteral("Use the &external message program"), &Settings::useExternalMessage);
    flag(f, QStringLiteral("Do not &proceed until message acknowledged"), &Settings::useModalMessage);
    number(f, QStringLiteral("&Repeat alarms every # seconds"), &Settings::repeatAlarmInterval, 0, 86400);

    f = page(QStringLiteral("History"));
    number(f, QStringLiteral("Remove history after (&days, 0 = never):"), &Settings::historyExpires, -1,
           99999);
    flag(f, QStringLiteral("Also remove &uncompleted disabled tasks"), &Settings::removeUncompleted);
    flag(f, QStringLiteral("&Keep the scripts of history entries"), &Settings::saveScripts);

    f = page(QStringLiteral("Scripting"));
    number(f, QStringLiteral("Send &Interval (1/100ths of a second)"), &Settings::scriptingDelay, 0, 100000);
    number(f, QStringLiteral("&Keystrokes per group:"), &Settings::burstSize, 0, 255);
    auto* translate =
        flag(f, QStringLiteral("&Translate value names in file names"), &Settings::translateFilenames);
    auto* info = new QPushButton(QStringLiteral("Info"));
    f->addRow(translate, info);
    connect(info, &QPushButton::clicked, this, [this] {
        env_.dialogs.message(
            QStringLiteral(
                "This applies to starting programs from within scripting.  When it is on, a value name "
                "written in square brackets inside a file name or folder is replaced by the value before "
                "the file is used, for example:\n\nFile Action: Copy File c:\\this.txt d:\\[DATE].txt\n\n"
                "copies the file to one named after today's date."),
            QStringLiteral("Info"), Dialogs::Icon::Information);
    });

    f = page(QStringLiteral("Clipboard"));
    flag(f, QStringLiteral("&Monitor clipboard"), &Settings::monitorClipboard);
    number(f, QStringLiteral("Maximum number of entries to &retain:"), &Settings::maxClipboardEntries, 0,
           100000);
    number(f, QStringLiteral("&Forget clipboard entries older than N days (0 = never):"),
           &Settings::forgetClipboardDays, 0, 36500);

    f = page(QStringLiteral("Email"));
    text(f, QStringLiteral("Sender &Name"), &Settings::senderName, 255);
    text(f, QStringLiteral("Email &Reply-to Address"), &Settings::sender, 255);
    text(f, QStringLiteral("SMTP &Mail Host"), &Settings::host, 255);
    text(f, QStringLiteral("Email &Organization"), &Settings::org, 20)
        ->setToolTip(QStringLiteral("The Organization line of e-mails and mass mailings; blank: none"));
    text(f, QStringLiteral("SMTP &user name"), &Settings::smtpUser, 255);
    // A password field shows nothing; what is typed replaces the kept password.
    auto password = [&](const QString& label) {
        auto* edit = new QLineEdit;
        edit->setEchoMode(QLineEdit::Password);
        edit->setMaxLength(255);
        edit->setEnabled(env_.secrets != nullptr);
        f->addRow(label, edit);
        return edit;
    };
    smtpPassword_ = password(QStringLiteral("SMTP pa&ssword"));
    text(f, QStringLiteral("News Sender N&ame"), &Settings::nSenderName, 255)
        ->setToolTip(QStringLiteral("The sender's name on news articles; blank: the Sender Name"));
    text(f, QStringLiteral("News Re&ply-to Address"), &Settings::nSender, 255);
    text(f, QStringLiteral("News &Host"), &Settings::nHost, 255);
    text(f, QStringLiteral("News Or&ganization"), &Settings::nOrg, 255)
        ->setToolTip(QStringLiteral("The Organization line of news articles; blank: none"));
    text(f, QStringLiteral("News user nam&e"), &Settings::newsUser, 255);
    newsPassword_ = password(QStringLiteral("News pass&word"));

    auto* hk = new QWidget;
    auto* hkPage = new QVBoxLayout(hk);
    // One column of buttons as wide as the widest, not the whole page.
    auto* column = new QWidget;
    auto* hkLayout = new QVBoxLayout(column);
    hkLayout->setContentsMargins(0, 0, 0, 0);
    hkPage->addWidget(column, 0, Qt::AlignLeft);
    auto button = [&](const QString& label, void (Setup::*action)()) {
        auto* b = new QPushButton(label);
        hkLayout->addWidget(b);
        connect(b, &QPushButton::clicked, this, action);
    };
    button(QStringLiteral("Clear all disabled tasks"), &Setup::clearDisabledTasks);
    button(QStringLiteral("Clear all completed tasks"), &Setup::clearCompletedTasks);
    button(QStringLiteral("Clear To Do list"), &Setup::clearTodoList);
    button(QStringLiteral("Reset saved window settings"), &Setup::resetWindowSettings);
    button(QStringLiteral("Clear current script queue"), &Setup::clearScriptQueue);
    hkPage->addStretch();
    tabs_->addTab(hk, QStringLiteral("Housekeeping"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &Setup::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &Setup::reject);
}

void Setup::load() {
    autostart_->setChecked(AutostartEnabled());
    for (auto& [box, member] : flags_)
        box->setChecked(edit_.*member);
    for (auto& [spin, member] : numbers_)
        spin->setValue(edit_.*member);
    for (auto& [line, member] : texts_)
        line->setText(edit_.*member);
    originalSample_ = SampleForPicture(edit_.dateFormat);
    dateFormat_->setCurrentText(originalSample_);
}

void Setup::store() {
    for (auto& [box, member] : flags_)
        edit_.*member = box->isChecked();
    for (auto& [spin, member] : numbers_)
        edit_.*member = spin->value();
    for (auto& [line, member] : texts_)
        edit_.*member = line->text();
}

void Setup::accept() {
    store();
    Settings& s = env_.settings;
    Settings chosen = edit_;
    // A stopped scheduler shows unticked; left so, that is no choice about the next start.
    const bool resume = env_.schedulerStopped && chosen.startUpActive;
    if (env_.schedulerStopped && !chosen.startUpActive)
        chosen.startUpActive = s.startUpActive;
    const QString sample = dateFormat_->currentText();
    // Stored whole or not at all; when not, the store has said why and the window stays open
    // with the user's choices, the settings in effect as they were.
    if (!env_.config.saveSettings(chosen, PictureForSample(sample).left(6)))
        return;
    s = chosen;
    if (autostart_->isChecked() != AutostartEnabled()) {
        QString error;
        if (!SetAutostart(autostart_->isChecked(), env_.store.workDir(), &error))
            env_.dialogs.message(error, kCaption, Dialogs::Icon::Exclamation);
    }
    storePasswords();
    if (sample != originalSample_)
        env_.dialogs.message(
            QStringLiteral("Date format changes will not affect currently open windows.  You can "
                           "close and re-open windows, or exit and restart Kelvray to view "
                           "information using the new date format."),
            QStringLiteral("Information"), Dialogs::Icon::Information);
    SaveWindowPosition(*this, kProcedure, env_.positions);
    if (resume && env_.resumeScheduler)
        env_.resumeScheduler();
    if (env_.settingsApplied)
        env_.settingsApplied();
    QDialog::accept();
}

void Setup::storePasswords() {
    if (env_.secrets == nullptr)
        return;
    const Settings& s = env_.settings;
    for (const auto& [edit, protocol, host, user] :
         {std::tuple{smtpPassword_, QStringLiteral("smtp"), s.host, s.smtpUser},
          std::tuple{newsPassword_, QStringLiteral("nntp"), s.nHost, s.newsUser}}) {
        if (edit->text().isEmpty())
            continue;
        QString error;
        if (!env_.secrets->writePassword(SecretStore::key(protocol, host.trimmed(), user.trimmed()),
                                         edit->text(), &error))
            env_.dialogs.message(
                QStringLiteral("The password could not be kept in the desktop's secret store (") + error +
                    QStringLiteral("). It is kept for this run of the program only."),
                QStringLiteral("Warning"), Dialogs::Icon::Exclamation);
        edit->clear();
    }
}

void Setup::reject() {
    // Loading the settings again undoes every change made in the window.
    env_.config.loadSettings(env_.settings);
    SaveWindowPosition(*this, kProcedure, env_.positions);
    if (env_.settingsApplied)
        env_.settingsApplied();
    QDialog::reject();
}

bool Setup::confirm(const QString& question) {
    return env_.dialogs.message(question, kCaption, Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No,
                                Dialogs::No) == Dialogs::Yes;
}

template <class R>
bool Setup::removeInSlices(RemovalPass<R>& pass, const QString& text, const QString& failure,
                           const QString& failureCaption) {
    std::unique_ptr<QtProgress> own;
    if (env_.progress == nullptr)
        own = std::make_unique<QtProgress>(&env_.dialogs, this);
    Progress& progress = env_.progress != nullptr ? *env_.progress : *own;
    // The highest row number stands for the count: counting a large table would itself keep
    // the window from answering.
    const qint64 total = std::max<qint64>(1, pass.table().lastRow());
    progress.begin(kCaption, text);
    bool whole = true;
    for (bool more = true; more;) {
        // The slice's transaction is over when step() returns: the window may answer now.
        more = pass.step();
        QStringList told;
        for (const StoreError& e : pass.failures()) {
            if (told.contains(e.text()))
                continue; // one message for a kind of failure in a slice
            told << e.text();
            env_.dialogs.message(e.text() + failure, failureCaption, Dialogs::Icon::Exclamation);
        }
        if (!pass.error().ok()) {
            env_.dialogs.message(pass.error().text() + failure, failureCaption, Dialogs::Icon::Exclamation);
            whole = false;
        }
        // More than a slice to go: the window shows at once, so that the program answers from
        // the first step on (it shows by itself only after a while).
        if (more && own && own->window() != nullptr && !own->window()->isVisible())
            own->showNow();
        progress.update(static_cast<int>(std::min<qint64>(100, pass.visited() * 100 / total)));
        if (more && progress.cancelled()) {
            whole = false;
            break;
        }
    }
    progress.end();
    if (pass.removed() > 0 && env_.tableChanged)
        env_.tableChanged(pass.table().decl().name);
    return whole;
}

void Setup::clearTasks(bool disabled) {
    using Pass = RemovalPass<Schedule>;
    Pass pass(
        env_.store, Schedule::KEYDATEENABLED,
        [disabled](const Schedule& t) {
            return (disabled ? t.disabled : t.completed) != 0 ? Pass::Verdict::Remove : Pass::Verdict::Keep;
        },
        {}, env_.removalLimits);
    if (!removeInSlices(
            pass,
            disabled ? QStringLiteral("Removing disabled tasks") : QStringLiteral("Removing completed tasks"),
            QStringLiteral(" error while removing history"), QStringLiteral("Cannot Remove History")))
        return;
    env_.dialogs.message(disabled ? QStringLiteral("Disabled tasks removed.")
                                  : QStringLiteral("Completed tasks removed."),
                         kCaption, Dialogs::Icon::Information);
}

void Setup::clearDisabledTasks() {
    if (confirm(QStringLiteral("Remove disabled tasks?")))
        clearTasks(true);
}

void Setup::clearCompletedTasks() {
    if (confirm(QStringLiteral("Remove completed tasks?")))
        clearTasks(false);
}

void Setup::clearTodoList() {
    if (!confirm(QStringLiteral("Clear To Do list?")))
        return;
    using Pass = RemovalPass<Todo>;
    Pass pass(
        env_.store, -1, [](const Todo&) { return Pass::Verdict::Remove; }, {}, env_.removalLimits);
    if (!removeInSlices(pass, QStringLiteral("Removing the To Do list"),
                        QStringLiteral(" error while removing To Do entry"),
                        QStringLiteral("Cannot Remove To Do List")))
        return;
    env_.dialogs.message(QStringLiteral("To Do list removed."), kCaption, Dialogs::Icon::Information);
}

void Setup::resetWindowSettings() {
    if (!confirm(QStringLiteral("Reset saved window settings?")))
        return;
    static const QStringList entries{QStringLiteral("Maximize"),  QStringLiteral("XPosit"),
                                     QStringLiteral("YPosit"),    QStringLiteral("Width"),
                                     QStringLiteral("Height"),    QStringLiteral("?Browse:1"),
                                     QStringLiteral("?Browse:2"), QStringLiteral("WindowScaled")};
    for (const QString& procedure : WindowProcedures()) {
        for (const QString& entry : entries) {
            env_.config.ini().write(procedure, entry, QString());
            env_.positions.write(procedure, entry, QString());
        }
    }
}

void Setup::clearScriptQueue() {
    if (!confirm(QStringLiteral("Remove active scripts?")))
        return;
    if (env_.clearScriptQueue)
        env_.clearScriptQueue();
    env_.dialogs.message(QStringLiteral("All active scripts have been removed"), kCaption,
                         Dialogs::Icon::Information);
}

} // namespace kr
