#pragma once

// A data directory with its store, the organizer windows' context on it and helpers to drive
// the windows' forms.

#include "organizer/ui/OrganizerContext.h"
#include "store/Table.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include "store/KeyView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace kr::test {

// Runs `step` on the window of type W that `open` brings up, while it waits for the user.
template <class W> bool WithOpened(const std::function<void()>& open, const std::function<void(W&)>& step) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
        if (w == nullptr)
            return;
        opened = true;
        step(*w);
        if (w->isVisible())
            w->reject();
    });
    open();
    return opened;
}

// Runs the events until `done` holds or `ms` have passed; whether it holds.
inline bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

// While it lives, every view of more than one slice of rows is counted on a thread of its own,
// as a large list is on a slow disk: a list first shows an estimate.
struct CountInTheBackground {
    CountInTheBackground() { KeyView::setCountHereMs(0); }
    ~CountInTheBackground() { KeyView::setCountHereMs(20); }
};

class OrganizerFixture : public ::testing::Test {
protected:
    OrganizerFixture() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        ctx = std::make_unique<OrganizerContext>(OrganizerContext{
            *store, dialogs, clock, IniFile(dir.file(QStringLiteral("POSITION.INI"))), QStringLiteral("d3"),
            QStringLiteral("ALICE"), false, [this](const QString& current) { return pickCategory(current); },
            [this](const QString& address) { launched << address; }});
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 30, 0)};
    std::unique_ptr<Store> store;
    std::unique_ptr<OrganizerContext> ctx;
    std::function<QString(const QString&)> pickCategory = [](const QString& c) { return c; };
    QStringList launched; // what the launcher was handed
};

} // namespace kr::test
