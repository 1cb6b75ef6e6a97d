#pragma once

// The schedules the benchmarks fill their data files with.

#include "platform/DateTime.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"

namespace kr::bench {

// A task with most of its fields filled, as a comma-delimited file carries them.
inline Schedule FullTask(qint32 id) {
    Schedule t;
    t.id = id;
    t.taskType = QStringLiteral("Run Program");
    t.category = QStringLiteral("Category %1").arg(id % 17);
    t.description = QStringLiteral("Task, \"number\" %1").arg((id * 7919) % 100003);
    t.command = QStringLiteral("/usr/bin/program --option %1").arg(id);
    t.path = QStringLiteral("/home/user/work");
    t.scheduleType = QStringLiteral("Day of Week");
    t.monday = 1;
    t.friday = 1;
    t.everyType = QStringLiteral("day(s)");
    t.every = 1;
    t.date = DateFromYmd(2027, 1 + id % 12, 1 + id % 28);
    t.time = TimeFromHms(id % 24, id % 60, 0);
    t.lastRunDate = t.date - 7;
    t.lastRunTime = t.time;
    t.exceptTimeBegin = TimeFromHms(8, 0, 0);
    t.exceptTimeEnd = TimeFromHms(17, 0, 0);
    t.shiftType = QStringLiteral("Next Day");
    t.message = QStringLiteral("A message of some length for task %1,\nwith a second line.").arg(id);
    t.lastChangeDate = 90000 + id % 100;
    t.lastChangeTime = 100;
    return t;
}

// Mostly history as in the list benchmark, with the tasks each case looks for: 1,000
// descriptions "Backup ...", 10,000 tasks of 2019, 1,000 messages with "needle" and 100,000
// descriptions "Bulk ...".
inline void FillHistory(Store& store, int count) {
    Table<Schedule> tasks(store);
    Transaction tx;
    tx.begin({&tasks});
    for (int i = 1; i <= count; ++i) {
        Schedule t;
        t.id = i;
        t.taskType = QStringLiteral("Run Program");
        t.category = i % 3 == 0 ? QStringLiteral("Work") : QStringLiteral("Home");
        t.scheduleType = QStringLiteral("Once");
        t.date = DateFromYmd(2020, 1, 1) + (i * 7) % 2500;
        t.time = 1 + (i * 7919) % 8640000;
        if (i <= 1000)
            t.description = QStringLiteral("Backup %1").arg(i);
        else if (i <= 101000)
            t.description = QStringLiteral("Bulk %1").arg(i);
        else
            t.description = QStringLiteral("Task %1").arg(i);
        if (i > 101000 && i <= 111000)
            t.date = DateFromYmd(2019, 1, 1) + i % 365;
        t.message = i % 1000 == 7 ? QStringLiteral("Remember the needle in the haystack")
                                  : QStringLiteral("Remember the milk and the bread");
        t.completed = t.disabled = i <= count - 1000 ? 1 : 0;
        tasks.add(t);
    }
    tx.commit();
}

} // namespace kr::bench
