#pragma once

// State that the main frame shares with the windows and routines that run beside it.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <vector>

namespace kr {

// Posted to every open schedule list after the scheduler changed tasks.
inline constexpr QEvent::Type kScheduleChangedEvent = static_cast<QEvent::Type>(QEvent::User + 66);
// Posted to a window that lists another table after that table was written.
inline constexpr QEvent::Type kTableChangedEvent = static_cast<QEvent::Type>(QEvent::User + 67);

// The table whose listeners hear ScheduleChanged.
inline const QString kScheduleTable = QStringLiteral("Schedule");

// TableChanged(table): the named table was written, by this program, another of its windows,
// an import, or another station. The Schedule case keeps the event number of ScheduleChanged,
// so the schedule lists need not tell the two apart.
class TableChangedEvent final : public QEvent {
public:
    explicit TableChangedEvent(const QString& table)
        : QEvent(IsSchedule(table) ? kScheduleChangedEvent : kTableChangedEvent)
        , table_(table) {}
    const QString& table() const { return table_; }

    static bool IsSchedule(const QString& table) {
        return table.compare(kScheduleTable, Qt::CaseInsensitive) == 0;
    }
    // The table an event names when it is a change event; empty otherwise.
    static QString TableOf(const QEvent* e) {
        if (e->type() != kScheduleChangedEvent && e->type() != kTableChangedEvent)
            return {};
        if (const auto* t = dynamic_cast<const TableChangedEvent*>(e))
            return t->table();
        return kScheduleTable; // a plain ScheduleChanged
    }

private:
    QString table_;
};

// The windows that want to hear that a table changed, each with the tables it lists. One
// mechanism for every list: the schedule lists, the to-do list, the contacts, the clipboard
// saver and the messages register here under their table's name (as the table declares it).
class TableListeners {
public:
    void add(QObject* listener, const QString& table = kScheduleTable) {
        std::lock_guard lock(mutex_);
        for (Entry& e : entries_) {
            if (e.listener == listener) {
                if (!e.tables.contains(table, Qt::CaseInsensitive))
                    e.tables << table;
                return;
            }
        }
        entries_.push_back(Entry{listener, {table}});
    }
    // Stops every notification to the listener.
    void remove(QObject* listener) {
        std::lock_guard lock(mutex_);
        std::erase_if(entries_,
                      [&](const Entry& e) { return e.listener == listener || e.listener.isNull(); });
    }
    // Posts TableChanged(table) to every listener of the table, in the order they registered,
    // but `except` (a list that has already shown the change). Posts, never sends: the writer
    // does not wait for the lists to refresh.
    void post(const QString& table = kScheduleTable, const QObject* except = nullptr) {
        std::lock_guard lock(mutex_);
        for (const Entry& e : entries_) {
            if (e.listener && e.listener != except && e.tables.contains(table, Qt::CaseInsensitive))
                QCoreApplication::postEvent(e.listener, new TableChangedEvent(table));
        }
    }
    // The data file was changed by another station: every listener hears of every table it
    // lists, once per table.
    void postAll() {
        std::lock_guard lock(mutex_);
        for (const Entry& e : entries_) {
            if (!e.listener)
                continue;
            for (const QString& table : e.tables)
                QCoreApplication::postEvent(e.listener, new TableChangedEvent(table));
        }
    }
    // How many listeners a table has.
    std::size_t size(const QString& table = kScheduleTable) const {
        std::lock_guard lock(mutex_);
        std::size_t n = 0;
        for (const Entry& e : entries_)
            n += e.listener && e.tables.contains(table, Qt::CaseInsensitive) ? 1 : 0;
        return n;
    }

private:
    struct Entry {
        QPointer<QObject> listener;
        QStringList tables;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

// Hears the change events of some tables for a window that cannot take them itself, and calls
// back; it lives, and listens, as long as its parent.
class TableWatcher final : public QObject {
public:
    TableWatcher(TableListeners& listeners, const QStringList& tables, QObject* parent,
                 std::function<void()> changed)
        : QObject(parent)
        , listeners_(listeners)
        , changed_(std::move(changed)) {
        for (const QString& table : tables)
            listeners_.add(this, table);
    }
    ~TableWatcher() override { listeners_.remove(this); }

    bool event(QEvent* e) override {
        if (TableChangedEvent::TableOf(e).isEmpty())
            return QObject::event(e);
        if (changed_)
            changed_();
        return true;
    }

private:
    TableListeners& listeners_;
    std::function<void()> changed_;
};

// The schedule lists' name for it, from when the schedule was the only table with lists.
using ScheduleListeners = TableListeners;

struct ProgramState {
    // The scheduler runs due tasks, warnings and history removal only while active.
    bool schedulerActive = true;
    // Why the scheduler stopped itself (a task could not be saved); blank otherwise. It stays
    // inactive until the user turns it back on in Setup.
    QString inactiveReason;
    // Started with "/I": inactive for this run, and the settings cannot be changed.
    bool inactiveSwitch = false;
    // A task was run by hand: its script may run even while the scheduler is inactive.
    bool manualScriptPending = false;
    // A one-shot text for the status line, left by the mail sender.
    QString pendingStatusText;
    // The "Debug" entry of KR98.INI, read once at start-up.
    int debug = 0;
    TableListeners listeners;
};

} // namespace kr
