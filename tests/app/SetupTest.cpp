#include "app/Setup.h"
#include "FrameFixture.h"
#include "platform/Autostart.h"
#include "platform/Paths.h"
#include "platform/SecretStore.h"
#include "store/Transaction.h"
#include "support/Accelerators.h"
#include "support/Refusals.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <algorithm>

namespace kr::test {
namespace {

class SetupTest : public FrameFixture {
protected:
    SetupTest() {
        config->loadSettings(settings);
        env = std::make_unique<SetupEnvironment>(
            SetupEnvironment{*store,
                             *config,
                             settings,
                             dialogs,
                             IniFile(dir.file(kPositionIniName)),
                             false,
                             [this] { queue.clear(); },
                             [this] { ++applied; },
                             nullptr,
                             &progress,
                             [this](const QString& table) { changed << table; },
                             {}});
    }
    QCheckBox* box(kr::Setup& s, const QString& text) {
        for (auto* b : s.findChildren<QCheckBox*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    // The housekeeping's progress window: what it showed, and how many records were left at
    // each step.
    struct CountingProgress final : Progress {
        void doBegin(const QString& title, const QString& text) override {
            begun << title + QLatin1Char('|') + text;
            steps.clear();
        }
        void doUpdate(int percent) override {
            steps.push_back(percent);
            if (step)
                step();
        }
        bool cancelled() const override {
            return cancelAfter > 0 && static_cast<int>(steps.size()) >= cancelAfter;
        }
        void end() override { ++ended; }
        QStringList begun;
        std::vector<int> steps;
        std::function<void()> step;
        int cancelAfter = 0;
        int ended = 0;
    };

    std::unique_ptr<SetupEnvironment> env;
    int applied = 0;
    CountingProgress progress;
    QStringList changed;
};

TEST_F(SetupTest, HasItsEightTabs) {
    kr::Setup s(*env);
    QStringList tabs;
    for (int i = 0; i < s.tabs()->count(); ++i)
        tabs << s.tabs()->tabText(i);
    EXPECT_EQ(tabs, (QStringList{"Start Up", "General", "Messages", "History", "Scripting", "Clipboard",
                                 "Email", "Housekeeping"}));
    EXPECT_EQ(s.windowTitle(), QStringLiteral("Setup"));
}

TEST_F(SetupTest, OkStoresTheSettingsAndCancelUndoesThem) {
    {
        kr::Setup s(*env);
        box(s, QStringLiteral("&Scheduler active"))->setChecked(false);
        box(s, QStringLiteral("&Log events"))->setChecked(true);
        s.accept();
    }
    EXPECT_FALSE(settings.startUpActive);
    EXPECT_TRUE(settings.logEvents);
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(config->getConfig(QStringLiteral("StartUpActive")), QStringLiteral("1"));
    EXPECT_EQ(config->getConfig(QStringLiteral("LogEvents")), QStringLiteral("1"));
    // The same date format again: no information message.
    EXPECT_TRUE(dialogs.shown.empty());
    {
        kr::Setup s(*env);
        box(s, QStringLiteral("&Log events"))->setChecked(false);
        s.reject();
    }
    EXPECT_TRUE(settings.logEvents);
    EXPECT_EQ(applied, 2);
}

TEST_F(SetupTest, WindowsAsTabsIsOnTheGeneralTabAndOffAtFirst) {
    EXPECT_FALSE(settings.windowsAsTabs);
    {
        kr::Setup s(*env);
        QCheckBox* tabs = box(s, QStringLiteral("Show &windows as tabs"));
        ASSERT_NE(tabs, nullptr);
        EXPECT_FALSE(tabs->isChecked());
        EXPECT_EQ(s.tabs()->tabText(s.tabs()->indexOf(tabs->parentWidget())), QStringLiteral("General"));
        tabs->setChecked(true);
        s.accept();
    }
    EXPECT_TRUE(settings.windowsAsTabs);
    EXPECT_EQ(config->getConfig(QStringLiteral("WindowsAsTabs")), QStringLiteral("1"));
    Settings again;
    config->loadSettings(again);
    EXPECT_TRUE(again.windowsAsTabs);
}

TEST_F(SetupTest, ChangingTheDateFormatStoresItsPictureAndSaysWhen) {
    EXPECT_EQ(SampleForPicture(QStringLiteral("d6")), QStringLiteral("31/10/1959"));
    EXPECT_EQ(SampleForPicture(QStringLiteral("n4b")), QStringLiteral("Year Only"));
    EXPECT_EQ(SampleForPicture(QStringLiteral("d11")), QStringLiteral("d11"));
    EXPECT_EQ(PictureForSample(QStringLiteral("Windows Default 2")), QStringLiteral("d18"));
    EXPECT_EQ(PictureForSample(QStringLiteral("d12")), QStringLiteral("d12"));
    kr::Setup s(*env);
    auto* combo = s.findChild<QComboBox*>();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), QStringLiteral("OCT 31,1959"));
    EXPECT_EQ(combo->count(), 10);
    combo->setCurrentText(QStringLiteral("31/10/1959"));
    s.accept();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Information"));
    EXPECT_TRUE(
        dialogs.shown[0].text.startsWith(QStringLiteral("Date format changes will not affect currently open "
                                                        "windows.")));
    EXPECT_EQ(settings.dateFormat, QStringLiteral("d6"));
    EXPECT_EQ(config->getConfig(QStringLiteral("DateFormat")), QStringLiteral("d6"));
}

TEST_F(SetupTest, HousekeepingAsksAndThenRemoves) {
    {
        Table<Schedule> t(*store);
        for (int i = 1; i <= 6; ++i) {
            Schedule s;
            s.id = i;
            s.date = 1000 + i;
            s.time = 1;
            s.disabled = i % 2;
            s.completed = i > 4 ? 1 : 0;
            ASSERT_EQ(t.add(s), Err::None);
        }
        Table<Todo> todo(*store);
        for (int i = 0; i < 3; ++i) {
            Todo d;
            d.todo = QStringLiteral("item %1").arg(i);
            ASSERT_EQ(todo.add(d), Err::None);
        }
    }
    kr::Setup s(*env);
    dialogs.answer(Dialogs::No);
    s.clearDisabledTasks();
    EXPECT_EQ(Table<Schedule>(*store).records(), 6);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Remove disabled tasks?"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Housekeeping"));
    EXPECT_EQ(dialogs.shown[0].defaultButton, Dialogs::No);

    dialogs.answer(Dialogs::Yes);
    s.clearDisabledTasks();
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("Disabled tasks removed."));
    EXPECT_EQ(Table<Schedule>(*store).records(), 3); // 2, 4 and 6 were enabled

    dialogs.answer(Dialogs::Yes);
    s.clearCompletedTasks();
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("Completed tasks removed."));
    EXPECT_EQ(Table<Schedule>(*store).records(), 2);

    dialogs.answer(Dialogs::Yes);
    s.clearTodoList();
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("To Do list removed."));
    EXPECT_EQ(Table<Todo>(*store).records(), 0);

    queueEntry();
    dialogs.answer(Dialogs::Yes);
    s.clearScriptQueue();
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("All active scripts have been removed"));
}

TEST_F(SetupTest, HousekeepingRemovesInSlicesUnderAProgressWindowAndTellsTheLists) {
    constexpr int kDone = 600;
    {
        Table<Schedule> t(*store);
        Table<Todo> todo(*store);
        Transaction tx;
        ASSERT_EQ(tx.begin({&t, &todo}), Err::None);
        for (int i = 1; i <= kDone + 5; ++i) {
            Schedule s;
            s.id = i;
            s.description = QStringLiteral("Task %1").arg(i);
            s.date = 1000 + i % 50;
            s.time = 1;
            s.completed = i <= kDone ? 1 : 0;
            s.disabled = s.completed;
            ASSERT_EQ(t.add(s), Err::None);
        }
        for (int i = 0; i < 300; ++i) {
            Todo d;
            d.todo = QStringLiteral("item %1").arg(i);
            ASSERT_EQ(todo.add(d), Err::None);
        }
        ASSERT_EQ(tx.commit(), Err::None);
    }
    env->removalLimits.records = 100;
    env->removalLimits.batch = 20;
    // One completed task cannot be deleted: said once, and the others go.
    Table<Schedule> tasks(*store);
    ASSERT_TRUE(RefuseChanges(tasks, QStringLiteral("DELETE old.ID = 321")).ok());
    // Between slices the program goes on: the window's steps let the frame's timer run, and
    // another window saves a task (no transaction is left open for it to join).
    std::vector<qint64> left;
    progress.step = [&] {
        EXPECT_EQ(OpenTransactions::count(), 0);
        left.push_back(Table<Schedule>(*store).records());
    };
    kr::Setup s(*env);
    dialogs.answer(Dialogs::Yes);
    s.clearCompletedTasks();

    EXPECT_EQ(progress.begun, QStringList{QStringLiteral("Housekeeping|Removing completed tasks")});
    EXPECT_EQ(progress.ended, 1);
    EXPECT_GE(progress.steps.size(), 6u); // 605 records, 100 a slice
    EXPECT_EQ(progress.steps.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.steps.begin(), progress.steps.end()));
    ASSERT_FALSE(left.empty());
    EXPECT_TRUE(std::is_sorted(left.rbegin(), left.rend()));
    EXPECT_LT(left.front(), kDone + 5); // the first slice went before the first step
    EXPECT_EQ(tasks.records(), 6);      // the five open tasks and the refused one
    EXPECT_EQ(changed, QStringList{QStringLiteral("Schedule")});
    EXPECT_EQ(dialogs.captions(), (QStringList{"Housekeeping", "Cannot Remove History", "Housekeeping"}));
    EXPECT_TRUE(dialogs.shown[1].text.endsWith(QStringLiteral(" error while removing history")));
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("Completed tasks removed."));

    // Cancelled after two steps: what went is gone, the rest stays, and no done message.
    dialogs.shown.clear();
    changed.clear();
    progress.step = nullptr;
    progress.cancelAfter = 2;
    dialogs.answer(Dialogs::Yes);
    s.clearTodoList();
    EXPECT_EQ(progress.begun.back(), QStringLiteral("Housekeeping|Removing the To Do list"));
    EXPECT_EQ(progress.steps.size(), 2u);
    EXPECT_EQ(Table<Todo>(*store).records(), 100);
    EXPECT_EQ(changed, QStringList{QStringLiteral("Todo")});
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Clear To Do list?")});

    progress.cancelAfter = 0;
    dialogs.answer(Dialogs::Yes);
    s.clearTodoList();
    EXPECT_EQ(Table<Todo>(*store).records(), 0);
    EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("To Do list removed."));
}

TEST_F(SetupTest, ResettingWindowSettingsEmptiesBothFiles) {
    IniFile positions(dir.file(kPositionIniName));
    positions.write(QStringLiteral("BrowseSchedule"), QStringLiteral("XPosit"), QStringLiteral("200"));
    positions.write(QStringLiteral("Main"), QStringLiteral("Maximize"), QStringLiteral("Yes"));
    config->ini().write(QStringLiteral("Setup"), QStringLiteral("Width"), QStringLiteral("300"));
    kr::Setup s(*env);
    dialogs.answer(Dialogs::Yes);
    s.resetWindowSettings();
    EXPECT_EQ(dialogs.shown.size(), 1u); // the question only
    EXPECT_EQ(positions.read(QStringLiteral("BrowseSchedule"), QStringLiteral("XPosit"), QStringLiteral("x")),
              QString());
    EXPECT_EQ(positions.read(QStringLiteral("Main"), QStringLiteral("Maximize"), QStringLiteral("x")),
              QString());
    EXPECT_EQ(config->ini().read(QStringLiteral("Setup"), QStringLiteral("Width"), QStringLiteral("x")),
              QString());
    EXPECT_EQ(positions.read(QStringLiteral("SpecialEventWizard"), QStringLiteral("?Browse:2"),
                             QStringLiteral("x")),
              QString());
    EXPECT_EQ(WindowProcedures().size(), 18);
}

TEST_F(SetupTest, ClipboardTabKeepsItsSettings) {
    {
        kr::Setup s(*env);
        QWidget* page = nullptr;
        for (int i = 0; i < s.tabs()->count(); ++i)
            if (s.tabs()->tabText(i) == QStringLiteral("Clipboard"))
                page = s.tabs()->widget(i);
        ASSERT_NE(page, nullptr);
        auto* form = qobject_cast<QFormLayout*>(page->layout());
        ASSERT_NE(form, nullptr);
        QStringList rows;
        QList<QSpinBox*> numbers;
        for (int r = 0; r < form->rowCount(); ++r) {
            QLayoutItem* label = form->itemAt(r, QFormLayout::LabelRole);
            QLayoutItem* field = form->itemAt(r, QFormLayout::FieldRole);
            QLayoutItem* spanning = form->itemAt(r, QFormLayout::SpanningRole);
            if (spanning != nullptr)
                if (auto* box = qobject_cast<QCheckBox*>(spanning->widget()))
                    rows << box->text();
            if (label != nullptr)
                if (auto* l = qobject_cast<QLabel*>(label->widget()))
                    rows << l->text();
            if (field != nullptr)
                if (auto* spin = qobject_cast<QSpinBox*>(field->widget()))
                    numbers << spin;
        }
        EXPECT_EQ(rows,
                  (QStringList{QStringLiteral("&Monitor clipboard"),
                               QStringLiteral("Maximum number of entries to &retain:"),
                               QStringLiteral("&Forget clipboard entries older than N days (0 = never):")}));
        ASSERT_EQ(numbers.size(), 2);
        EXPECT_EQ(numbers[0]->value(), 50);
        box(s, QStringLiteral("&Monitor clipboard"))->setChecked(true);
        numbers[0]->setValue(7);
        numbers[1]->setValue(30);
        s.accept();
    }
    EXPECT_TRUE(settings.monitorClipboard);
    EXPECT_EQ(settings.maxClipboardEntries, 7);
    EXPECT_EQ(settings.forgetClipboardDays, 30);
    EXPECT_EQ(config->getConfig(QStringLiteral("MonitorClipboard")), QStringLiteral("1"));
    EXPECT_EQ(config->getConfig(QStringLiteral("MaxClipboardEntries")), QStringLiteral("7"));
}

TEST_F(SetupTest, NoTwoControlsShareAnAcceleratorOnAnyTab) {
    kr::Setup s(*env);
    for (int i = 0; i < s.tabs()->count(); ++i) {
        s.tabs()->setCurrentIndex(i);
        EXPECT_EQ(AcceleratorClashes(&s), QStringList()) << s.tabs()->tabText(i).toStdString();
    }
}

TEST_F(SetupTest, NumbersAndTheInfoButtonKeepTheirOwnWidth) {
    kr::Setup s(*env);
    s.resize(900, s.sizeHint().height());
    s.show();
    for (int i = 0; i < s.tabs()->count(); ++i) {
        s.tabs()->setCurrentIndex(i);
        QApplication::processEvents();
        for (QSpinBox* spin : s.tabs()->currentWidget()->findChildren<QSpinBox*>())
            EXPECT_LE(spin->width(), spin->sizeHint().width()) << s.tabs()->tabText(i).toStdString();
        // The buttons of a page: no wider than the widest of them needs.
        int widest = 0;
        for (QPushButton* b : s.tabs()->currentWidget()->findChildren<QPushButton*>())
            widest = std::max(widest, b->sizeHint().width());
        for (QPushButton* b : s.tabs()->currentWidget()->findChildren<QPushButton*>())
            EXPECT_LE(b->width(), widest) << b->text().toStdString();
    }
}

} // namespace
} // namespace kr::test

namespace kr::test {
namespace {

// A store that refuses, as the desktop's does with no unlocked collection.
class RefusingSecretStore final : public SecretStore {
public:
    std::optional<QString> readPassword(const QString&, const std::function<bool()>& = {}) override {
        return std::nullopt;
    }
    bool writePassword(const QString&, const QString&, QString* error) override {
        if (error != nullptr)
            *error =
                QStringLiteral("Object does not exist at path /org/freedesktop/secrets/collection/login");
        return false;
    }
};

QLineEdit* Field(kr::Setup& s, const QString& label) {
    for (auto* form : s.findChildren<QFormLayout*>())
        for (int row = 0; row < form->rowCount(); ++row) {
            auto* l = form->itemAt(row, QFormLayout::LabelRole);
            auto* f = form->itemAt(row, QFormLayout::FieldRole);
            if (l != nullptr && f != nullptr && qobject_cast<QLabel*>(l->widget()) != nullptr &&
                qobject_cast<QLabel*>(l->widget())->text() == label)
                return qobject_cast<QLineEdit*>(f->widget());
        }
    return nullptr;
}

TEST_F(SetupTest, MailPasswordsGoToTheSecretStoreOnly) {
    MemorySecretStore memory;
    env->secrets = &memory;
    {
        kr::Setup s(*env);
        ASSERT_NE(Field(s, QStringLiteral("SMTP &Mail Host")), nullptr);
        Field(s, QStringLiteral("SMTP &Mail Host"))->setText(QStringLiteral("mail.example.test:587"));
        Field(s, QStringLiteral("SMTP &user name"))->setText(QStringLiteral("robot"));
        QLineEdit* password = Field(s, QStringLiteral("SMTP pa&ssword"));
        ASSERT_NE(password, nullptr);
        EXPECT_EQ(password->echoMode(), QLineEdit::Password);
        password->setText(QStringLiteral("Pa55word!"));
        s.accept();
    }
    EXPECT_EQ(config->getConfig(QStringLiteral("SmtpUser")), QStringLiteral("robot"));
    EXPECT_EQ(memory.readPassword(SecretStore::key(
                  QStringLiteral("smtp"), QStringLiteral("mail.example.test:587"), QStringLiteral("robot"))),
              std::optional<QString>(QStringLiteral("Pa55word!")));
    EXPECT_TRUE(dialogs.shown.empty());
    for (const QString& file : QDir(dir.path()).entryList(QDir::Files)) {
        QFile f(dir.file(file));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_FALSE(f.readAll().contains("Pa55word!")) << file.toStdString();
    }

    // No store answering: said so, and kept for this run only.
    RefusingSecretStore refusing;
    SessionSecretStore session(&refusing);
    env->secrets = &session;
    {
        kr::Setup s(*env);
        Field(s, QStringLiteral("News pass&word"))->setText(QStringLiteral("n3ws"));
        s.accept();
    }
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Warning"));
    EXPECT_TRUE(dialogs.shown[0].text.contains(QStringLiteral("collection/login")));
    EXPECT_EQ(session.readPassword(SecretStore::key(QStringLiteral("nntp"), QString(), QString())),
              std::optional<QString>(QStringLiteral("n3ws")));
}

// desktop-file-validate's verdict on a file: empty when it is valid.
QString Validate(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("desktop-file-validate"), {path});
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("desktop-file-validate did not run");
    const QString said = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
    return p.exitCode() == 0 && !said.contains(QStringLiteral("error")) ? QString() : said;
}

TEST_F(SetupTest, StartAtLoginWritesAndRemovesTheAutostartFile) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.file(QStringLiteral("xdg-config")).toLocal8Bit());
    const QString file = dir.file(QStringLiteral("xdg-config/autostart/kelvray.desktop"));
    ASSERT_EQ(AutostartFile(), file);
    {
        kr::Setup s(*env);
        ASSERT_NE(s.autostart(), nullptr);
        EXPECT_EQ(s.autostart()->text(), QStringLiteral("Start Kelvray when I lo&g in"));
        EXPECT_FALSE(s.autostart()->isChecked());
        s.autostart()->setChecked(true);
        s.accept();
    }
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_EQ(Validate(file), QString());
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    // Not the default folder: the entry names it.
    EXPECT_TRUE(text.contains(QStringLiteral(" --data-dir ") + QFileInfo(dir.path()).canonicalFilePath()))
        << text.toStdString();
    EXPECT_EQ(QFile::permissions(file) & 0x0077, 0);
    // Not a setting of the program.
    EXPECT_TRUE(config->getConfig(QStringLiteral("Autostart")).isEmpty());
    {
        kr::Setup s(*env);
        EXPECT_TRUE(s.autostart()->isChecked());
        s.autostart()->setChecked(false);
        s.accept();
    }
    EXPECT_FALSE(QFile::exists(file));
    // Cancel changes nothing.
    {
        kr::Setup s(*env);
        s.autostart()->setChecked(true);
        s.reject();
    }
    EXPECT_FALSE(QFile::exists(file));
    qputenv("XDG_CONFIG_HOME", saved);
}

TEST_F(SetupTest, AutostartEntriesForAwkwardFoldersAreValid) {
    const QString odd = dir.file(QStringLiteral("a \"quoted\" $HOME `x` 100% back\\slash"));
    QDir().mkpath(odd);
    const QString path = dir.file(QStringLiteral("odd.desktop"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QString entry = AutostartEntry(QStringLiteral("/opt/my programs/kelvray"), odd);
    f.write(entry.toUtf8());
    f.close();
    EXPECT_EQ(Validate(path), QString()) << entry.toStdString();
    EXPECT_TRUE(entry.contains(QStringLiteral("Exec=\"/opt/my programs/kelvray\" --data-dir \"")))
        << entry.toStdString();
    EXPECT_TRUE(entry.contains(QStringLiteral("\\\\$HOME"))) << entry.toStdString();
    EXPECT_TRUE(entry.contains(QStringLiteral("100%%"))) << entry.toStdString();
    // The default folder needs no argument.
    EXPECT_FALSE(
        AutostartEntry(QStringLiteral("kelvray"), DefaultDataDir()).contains(QStringLiteral("--data-dir")));
}

} // namespace
} // namespace kr::test
