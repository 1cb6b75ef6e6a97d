#pragma once

// Two installations that exchange a synchronization file, and the records they hold.

#include "ExchangeFixture.h"
#include "exchange/Sync.h"
#include "exchange/SyncReader.h"

#include "platform/DateTime.h"

#include <QFile>

namespace kr::test {

inline Schedule Task(qint32 id, const QString& description, const QString& category, Date stamp,
                     Time time = 1) {
    Schedule t;
    t.id = id;
    t.taskType = QStringLiteral("Run Program");
    t.description = description;
    t.category = category;
    t.command = QStringLiteral("cmd %1").arg(id);
    t.message = QStringLiteral("Message of %1,\n\"second\" line").arg(id);
    t.lastChangeDate = stamp;
    t.lastChangeTime = time;
    t.originalId = id + 1000;
    t.networkUser = QStringLiteral("sender");
    t.date = 80000 + id;
    return t;
}

inline Scripting Item(qint32 task, qint32 sequence) {
    Scripting s;
    s.id = task;
    s.sequence = sequence;
    s.action = QStringLiteral("Send Keystrokes");
    s.keystrokes = QStringLiteral("item %1 of %2").arg(sequence).arg(task);
    return s;
}

inline Todo Entry(const QString& text, Date stamp) {
    Todo t;
    t.todo = text;
    t.priority = 3;
    t.notes = QStringLiteral("notes of ") + text + QStringLiteral("\nline two");
    t.resolution = QStringLiteral("resolved ") + text;
    t.lastChangeDate = stamp;
    t.lastChangeTime = 100;
    return t;
}

class SyncTest : public ::testing::Test {
protected:
    void SetUp() override { SyncReaderOptions() = SyncReaderSettings{QStringLiteral(KELVRAY_SYNCREAD), 0}; }
    QString syncFile() const { return sender.file(QStringLiteral("SyncSch.syn")); }

    void Send() {
        RecordingProgress progress;
        ASSERT_TRUE(SyncSend(*sender.store, progress, syncFile()));
        EXPECT_EQ(progress.title, QStringLiteral("Processing Records"));
        EXPECT_EQ(progress.text, QStringLiteral("Process Completed"));
    }
    SyncCounts Receive() {
        RecordingProgress progress;
        SyncCounts counts;
        EXPECT_TRUE(SyncReceive(*receiver.store, progress, syncFile(), nullptr, &counts));
        EXPECT_TRUE(receiver.dialogs.shown.empty())
            << receiver.dialogs.texts().join(QLatin1Char('|')).toStdString();
        return counts;
    }
    // Three tasks with three items each and two to-do entries.
    void SeedSender() {
        for (qint32 id : {5, 9, 12}) {
            sender.add(Task(id, QStringLiteral("Task %1").arg(id), QStringLiteral("Work"), 90000));
            for (qint32 seq = 1; seq <= 3; ++seq)
                sender.add(Item(id, seq));
        }
        sender.add(Entry(QStringLiteral("buy milk"), 90000));
        sender.add(Entry(QStringLiteral("call Bob"), 90000));
    }

    Station sender;
    Station receiver;
};

} // namespace kr::test
