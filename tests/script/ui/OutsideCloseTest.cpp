// Forms whose X window another program destroys, on a private X display with a window
// manager: the form acts as cancelled and leaves nothing half-typed behind.

#include "ScriptWindowsFixture.h"
#include "platform/x11/X11Desktop.h"
#include "scheduler/ui/TaskForm.h"
#include "script/ui/BrowseScript.h"
#include "support/RecordingSound.h"
#include "support/XServer.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <cstring>

namespace kr::test {
namespace {

// Destroys the window as `xdotool windowclose` does (XDestroyWindow), not by a close request.
void DestroyFromOutside(QWidget& window) {
    const QString id = QString::number(window.winId());
    EXPECT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowclose"), id}), 0);
}

// Waits until the form is gone from the screen, or five seconds.
bool WaitHidden(QWidget& window) {
    QElapsedTimer t;
    t.start();
    while (window.isVisible() && t.elapsed() < 5000)
        QTest::qWait(20);
    return !window.isVisible();
}

class OutsideCloseTest : public ScriptWindowsTest {};

TEST_F(OutsideCloseTest, AnItemEditorDestroyedFromOutsideSavesNothing) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    addItems(7, {QStringLiteral("first")});
    Schedule task;
    task.id = 7;
    task.description = QStringLiteral("Nightly copy");
    BrowseScript list(*ctx, task);
    list.show();
    bool destroyed = false;
    WhenShown<UpdateScripting>([&](UpdateScripting& form) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.findChild<QLineEdit*>(QStringLiteral("keystrokes"))->setText(QStringLiteral("half-typ"));
        EXPECT_EQ(script(7).size(), 2u); // the new item is held while the form is open
        DestroyFromOutside(form);
        destroyed = WaitHidden(form);
        if (!destroyed)
            form.reject(); // not to wait for ever in the form's loop
    });
    list.button(QStringLiteral("&Add"))->click(); // returns when the form has gone
    EXPECT_TRUE(destroyed);
    ASSERT_EQ(script(7).size(), 1u);
    EXPECT_EQ(script(7)[0].keystrokes, QStringLiteral("first"));
    // The list shows what is stored, no more and no less.
    EXPECT_EQ(list.list()->rowCount(), 1);
    EXPECT_TRUE(dialogs.shown.empty());

    // A change destroyed the same way keeps the item as it was.
    WhenShown<UpdateScripting>([&](UpdateScripting& form) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.findChild<QLineEdit*>(QStringLiteral("keystrokes"))->setText(QStringLiteral("changed"));
        DestroyFromOutside(form);
        if (!WaitHidden(form)) {
            ADD_FAILURE() << "the form stayed open";
            form.reject();
        }
    });
    list.button(QStringLiteral("&Edit"))->click();
    ASSERT_EQ(script(7).size(), 1u);
    EXPECT_EQ(script(7)[0].keystrokes, QStringLiteral("first"));

    // A form the user closes normally still saves.
    WhenShown<UpdateScripting>([&](UpdateScripting& form) {
        form.findChild<QLineEdit*>(QStringLiteral("keystrokes"))->setText(QStringLiteral("second"));
        form.accept();
    });
    list.button(QStringLiteral("&Add"))->click();
    EXPECT_EQ(script(7).size(), 2u);
    EXPECT_EQ(list.list()->rowCount(), 2);
}

TEST_F(OutsideCloseTest, ATaskFormDestroyedFromOutsideIsCancelledWithoutAQuestion) {
    RecordingSound sound;
    ConfigStore config(*store, dir.file(QStringLiteral("KR98.INI")));
    TaskFormContext taskCtx{
        *store, dialogs,    files, clock, settings, config, IniFile(dir.file(QStringLiteral("POSITION.INI"))),
        sound,  dir.path(), {},    {}};
    UpdateSchedule form(taskCtx, Request::Insert, Schedule{});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.descriptionField()->setText(QStringLiteral("Half a task"));
    Table<Schedule> tasks(*store);
    EXPECT_EQ(tasks.records(), 1);
    DestroyFromOutside(form);
    EXPECT_TRUE(WaitHidden(form));
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(tasks.records(), 0);
    EXPECT_TRUE(dialogs.shown.empty()); // no one to answer a question
}

TEST_F(OutsideCloseTest, TheCloseBoxOfATaskFormAsksBeforeDiscarding) {
    RecordingSound sound;
    ConfigStore config(*store, dir.file(QStringLiteral("KR98.INI")));
    TaskFormContext taskCtx{
        *store, dialogs,    files, clock, settings, config, IniFile(dir.file(QStringLiteral("POSITION.INI"))),
        sound,  dir.path(), {},    {}};
    X11Desktop x11(qgetenv("DISPLAY"));
    ASSERT_TRUE(x11.connected());
    AddTaskWizard form(taskCtx, Request::Insert, Schedule{});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.descriptionField()->setText(QStringLiteral("Half a task"));
    // The window manager's close request, as Alt+F4 or the close box sends it.
    auto requestClose = [&] {
        x11.requestClose(form.winId());
        QElapsedTimer t;
        t.start();
        const std::size_t before = dialogs.shown.size();
        while (dialogs.shown.size() == before && t.elapsed() < 5000)
            QTest::qWait(20);
        QTest::qWait(100);
    };
    dialogs.answer(Dialogs::No);
    requestClose();
    ASSERT_EQ(dialogs.texts(), QStringList{QStringLiteral("Discard the changes?")});
    EXPECT_TRUE(form.isVisible());
    Table<Schedule> tasks(*store);
    EXPECT_EQ(tasks.records(), 1);
    dialogs.answer(Dialogs::Yes);
    requestClose();
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_TRUE(WaitHidden(form));
    EXPECT_EQ(tasks.records(), 0);
}

} // namespace
} // namespace kr::test

// The display comes first: the application connects to it when it starts.
int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    std::unique_ptr<kr::test::XServer> x;
    if (listing) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else {
        x = std::make_unique<kr::test::XServer>();
        if (!x->ok()) {
            std::fprintf(stderr, "no X server\n");
            return 1;
        }
        qputenv("DISPLAY", x->display().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString dir = QDir::tempPath() + QStringLiteral("/kelvray-test-runtime");
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    return result;
}
