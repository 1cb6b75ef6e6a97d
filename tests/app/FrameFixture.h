#pragma once

#include "app/MainFrame.h"
#include "platform/qt/WindowPosition.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "support/FakeClock.h"
#include "support/FakeTrayHost.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace kr::test {

// A main frame over a fresh working directory, with a fixed clock, scripted messages and a
// notification area the test controls.
class FrameFixture : public ::testing::Test {
protected:
    FrameFixture() {
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        config = std::make_unique<ConfigStore>(*store, iniPath());
        log = std::make_unique<EventLog>(dir.file(kEventLogName), settings, clock);
        ctx = std::make_unique<AppContext>(AppContext{*store, dialogs, clock, settings, *config, *log, state,
                                                      queue, IniFile(dir.file(kPositionIniName))});
    }

    QString iniPath() const { return dir.file(QStringLiteral("config/KR98.INI")); }
    void writeIni(const QByteArray& text) {
        QDir().mkpath(dir.file(QStringLiteral("config")));
        QFile f(iniPath());
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
    MainFrame& makeFrame() {
        frame = std::make_unique<MainFrame>(*ctx, tray);
        frame->show();
        return *frame;
    }
    QStringList logLines() const {
        QFile f(dir.file(kEventLogName));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void queueEntry(const QString& action = QStringLiteral("Wait")) {
        QueueEntry e;
        e.item.action = action;
        queue.append(e);
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    FakeClock clock{DateFromYmd(1959, 10, 31), TimeFromHms(17, 5, 9)};
    Settings settings;
    ProgramState state;
    ActiveScriptQueue queue;
    FakeTrayHost tray;
    std::unique_ptr<Store> store;
    std::unique_ptr<ConfigStore> config;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<MainFrame> frame;
};

} // namespace kr::test
