#pragma once

#include "platform/DateTime.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

namespace kr::test {

// A store over a fresh working directory, with recorded messages and a program end that
// throws instead of leaving the process.
class StoreFixture : public ::testing::Test {
protected:
    StoreFixture() { resetStore(); }

    void resetStore() {
        store.reset();
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
    }

    QString dataFile() const { return dir.file(kDataFileName); }

    static Schedule Task(qint32 id, const QString& description = {}, Date date = 0, Time time = 0) {
        Schedule t;
        t.id = id;
        t.description = description.isEmpty() ? QStringLiteral("Task %1").arg(id) : description;
        t.taskType = QStringLiteral("Run Program");
        t.date = date;
        t.time = time;
        return t;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
    ThrowingProgramEnd end;
    std::unique_ptr<Store> store;
};

} // namespace kr::test
