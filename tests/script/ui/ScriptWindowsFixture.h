#pragma once

// A real data file with the script windows' context, a desktop whose windows the test
// makes up, and a way to work in a window that another one opens modally.

#include "script/ui/UpdateScripting.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedFileDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace kr::test {

struct FakeWindows final : WindowSystem {
    std::vector<TopLevelWindow> windows;
    std::map<WindowHandle, std::vector<ChildWindow>> children;
    std::vector<TopLevelWindow> topLevelWindows() override { return windows; }
    std::vector<ChildWindow> childWindows(WindowHandle w) override { return children[w]; }
    void activate(WindowHandle) override {}
    WindowHandle foreground() override { return 0; }
    void requestClose(WindowHandle) override {}
    QString processName(pid_t) override { return {}; }
};

// Runs `work` on the window of type W as soon as it is the active modal window (within five
// seconds), while the code that opened it waits in the window's own event loop.
template <class W> void WhenShown(std::function<void(W&)> work) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, work] {
        W* w = qobject_cast<W*>(QApplication::activeModalWidget());
        if (w == nullptr && clock->elapsed() < 5000)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (w == nullptr) {
            ADD_FAILURE() << "the window did not open";
            return;
        }
        work(*w);
    });
    timer->start();
}

class ScriptWindowsTest : public ::testing::Test {
protected:
    ScriptWindowsTest() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        settings.userId = QStringLiteral("desk-1");
        ctx = std::make_unique<ScriptWindowContext>(
            ScriptWindowContext{*store, dialogs, files, progress, clock, settings,
                                IniFile(dir.file(QStringLiteral("POSITION.INI"))), &desktop,
                                dir.file(QStringLiteral("KEYCODES.TXT"))});
    }
    // Adds items of a task as given, numbered from `first`.
    void addItems(qint32 task, const QStringList& keystrokes, qint32 first = 1) {
        Table<Scripting> items(*store);
        qint32 sequence = first;
        for (const QString& k : keystrokes) {
            Scripting s;
            s.id = task;
            s.sequence = sequence++;
            s.action = QStringLiteral("Send Keystrokes");
            s.keystrokes = k;
            ASSERT_EQ(items.add(s), Err::None);
        }
    }
    std::vector<Scripting> script(qint32 task) {
        Table<Scripting> items(*store);
        std::vector<Scripting> out;
        Scripting s;
        s.id = task;
        s.sequence = std::numeric_limits<qint32>::min();
        items.set(Scripting::KEYID, s);
        while (items.next(s) == Err::None && s.id == task)
            out.push_back(s);
        return out;
    }
    // "sequence:keystrokes" of each item.
    QStringList order(qint32 task) {
        QStringList out;
        for (const Scripting& s : script(task))
            out << QStringLiteral("%1:%2").arg(s.sequence).arg(s.keystrokes);
        return out;
    }
    Scripting watched(const Scripting& item) {
        Table<Scripting> items(*store);
        Scripting s = item;
        items.watch();
        EXPECT_EQ(items.get(Scripting::KEYID, s), Err::None);
        return s;
    }
    template <class T> static T* Field(QWidget& form, const QString& name) {
        T* w = form.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    // The field of that name on the page the form shows.
    template <class T> static T* PageField(UpdateScripting& form, const QString& name) {
        QWidget* page = form.findChild<QWidget*>(form.pageName());
        T* w = page != nullptr ? page->findChild<T*>(name) : nullptr;
        EXPECT_NE(w, nullptr) << form.pageName().toStdString() << "/" << name.toStdString();
        return w;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ScriptedFileDialogs files;
    ThrowingProgramEnd end;
    NoProgress progress;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 30, 0)};
    Settings settings;
    FakeWindows desktop;
    std::unique_ptr<Store> store;
    std::unique_ptr<ScriptWindowContext> ctx;
};

} // namespace kr::test
