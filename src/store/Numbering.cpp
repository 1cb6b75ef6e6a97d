#include "store/Numbering.h"

namespace kr {

namespace detail {

qint64 LastNumber(TableAccess& table, void* scratch, Dialogs& dialogs) {
    const qint64 n = LastNumberRead(table, scratch);
    if (n < 0)
        warn::RecordRetrieval(dialogs, table.decl().name, table.error());
    return n;
}

qint64 LastNumberRead(TableAccess& table, void* scratch) {
    const Err e = table.previous(scratch);
    if (e == Err::NoMoreRecords)
        return 0;
    if (e != Err::None)
        return -1;
    const TableDecl& d = table.decl();
    const FieldDecl& number =
        (*d.fields)[static_cast<std::size_t>(d.keys[d.primaryKey()].components.front())];
    return std::get<qint64>(number.get(scratch));
}

bool AskRetryNumbering(Dialogs& dialogs, const StoreError& e) {
    return dialogs.message(
               QStringLiteral("Attempts to automatically number this record have failed.  Error: ") +
                   e.describe() + QLatin1Char('.'),
               QStringLiteral("Auto Increment Error"), Dialogs::Icon::Exclamation,
               Dialogs::Retry | Dialogs::Cancel, Dialogs::Cancel) == Dialogs::Retry;
}

} // namespace detail

Err AddTaskCopy(Table<Schedule>& table, Schedule& task) {
    Schedule probe;
    table.set(Schedule::KEYID);
    const Err e = table.previous(probe);
    if (e != Err::None && e != Err::NoMoreRecords)
        return e;
    task.id = e == Err::NoMoreRecords ? 1 : probe.id + 1;
    task.meta = RecordMeta{};
    for (;;) {
        probe.id = task.id;
        if (table.get(Schedule::KEYID, probe) != Err::None)
            break;
        ++task.id;
    }
    return table.add(task);
}

namespace {
template <class R> void Stamp(R& r, const QString& user, Date today, Time now, qint32 original) {
    r.networkUser = user;
    r.lastChangeDate = today;
    r.lastChangeTime = now;
    if (r.originalId == 0)
        r.originalId = original;
}
} // namespace

void StampTask(Schedule& task, const QString& user, Date today, Time now) {
    Stamp(task, user, today, now, task.id);
}

void StampScriptItem(Scripting& item, const QString& user, Date today, Time now) {
    Stamp(item, user, today, now, item.id);
}

void StampTodo(Todo& todo, const QString& user, Date today, Time now, qint32 todoRecords) {
    Stamp(todo, user, today, now, todoRecords);
}

} // namespace kr
