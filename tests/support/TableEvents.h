#pragma once

// A window stand-in that records the table-change events posted to it.

#include "scheduler/ProgramState.h"

#include <QCoreApplication>
#include <QObject>
#include <QStringList>

namespace kr::test {

class TableEventRecorder final : public QObject {
public:
    // The tables named by the events delivered so far ("Schedule" for ScheduleChanged).
    QStringList tables;
    bool event(QEvent* e) override {
        const QString table = TableChangedEvent::TableOf(e);
        if (table.isEmpty())
            return QObject::event(e);
        tables << table;
        return true;
    }
    // Delivers what was posted and hands the list over.
    QStringList take() {
        QCoreApplication::sendPostedEvents(this);
        QStringList out = tables;
        tables.clear();
        return out;
    }
};

} // namespace kr::test
