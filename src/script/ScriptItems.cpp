#include "script/ScriptItems.h"

#include "platform/Progress.h"
#include "script/ScriptCommands.h"
#include "store/Table.h"
#include "store/Warnings.h"

#include <vector>

namespace kr {

namespace {

// The task's items in sequence order, as far as they could be read.
std::vector<Scripting> ItemsOf(Table<Scripting>& items, qint32 taskId) {
    std::vector<Scripting> out;
    ReadTaskItems(items, taskId, out);
    return out;
}

} // namespace

const QStringList& ActionCatalogue() {
    static const QStringList actions{
        action::SendKeystrokes, action::SetFocus,      action::Wait,        action::DisplayMessage,
        action::IfWindow,       action::IfTimeElapsed, action::IfValue,     action::EndIf,
        action::StartProgram,   action::CloseProgram,  action::StartScript, action::Dde,
        action::FileActions,    action::SendEmail,     action::SetValue,    action::ExitScript,
    };
    return actions;
}

StartOptions StartOptions::unpack(const QString& packed) {
    StartOptions o;
    o.wait = packed.left(1) == QStringLiteral("1");
    const QString p = packed.mid(1, 1);
    o.priority = p == QStringLiteral("1") ? 1 : p == QStringLiteral("3") ? 3 : 2;
    const QString m = packed.mid(2, 1);
    o.windowMode = (m == QStringLiteral("2") || m == QStringLiteral("3") || m == QStringLiteral("7") ||
                    m == QStringLiteral("8"))
                       ? m.toInt()
                       : 1;
    return o;
}

QString StartOptions::pack() const {
    return QString::number(wait ? 1 : 0) + QString::number(priority) + QString::number(windowMode);
}

bool TaskTypeRunsScript(const QString& taskType) {
    const QString type = Clip(taskType);
    return type == QStringLiteral("Run Program") || type == QStringLiteral("Both");
}

QString ScriptNotRunNote(const QString& taskType) {
    if (TaskTypeRunsScript(taskType))
        return {};
    const QString type = Clip(taskType);
    return QStringLiteral("This script does not run: only \"Run Program\" and \"Both\" tasks run their "
                          "scripts, and this task %1. For a task that only runs its script, choose "
                          "\"Run Program\" with the command N/A.")
        .arg(type.isEmpty() ? QStringLiteral("has no task type")
                            : QStringLiteral("is a \"%1\" task").arg(type));
}

QString DescribeScriptItem(const Scripting& s) {
    const QString a = Clip(s.action);
    QString d;
    if (a == action::StartProgram || a == action::WaitForProgramEnd || a == action::StartScript)
        d = Clip(s.command) + QLatin1Char(' ') + Clip(s.path);
    else if (a == action::CloseProgram)
        d = Clip(s.command).isEmpty() ? QStringLiteral("Window with focus") : s.command;
    else if (a == action::SetValue)
        d = Clip(s.path) + QStringLiteral(" = ") + Clip(s.command);
    else if (a == action::IfValue)
        d = Clip(s.command) + QLatin1Char(' ') + Clip(s.windowTitleToCheckFor) + QLatin1Char(' ') +
            Clip(s.waitForWindow);
    else if (a == action::FileActions)
        d = Clip(s.ddeType) + QStringLiteral(" ( ") + Clip(s.command) + QStringLiteral(" , ") + Clip(s.path) +
            QStringLiteral(" )");
    else if (a == action::SendKeystrokes)
        d = s.keystrokes;
    else if (a == action::Dde || a == action::DdeOld)
        d = Clip(s.ddeType) + QLatin1Char(' ') + Clip(s.ddeApplicationName) + QLatin1Char(' ') +
            s.ddeApplicationTopic;
    else if (a == action::DisplayMessage)
        d = Clip(s.ddeApplicationName) + QLatin1Char(' ') + s.ddeApplicationTopic;
    else if (a == action::SetFocus)
        d = s.focusOnWindow;
    else if (a == action::Wait && s.secondsToWait != 0)
        d = Clip(s.waitForWindow).isEmpty()
                ? QString::number(s.secondsToWait) + QStringLiteral(" seconds ")
                : QString::number(s.secondsToWait) + QStringLiteral(" seconds ") +
                      Clip(s.ddeApplicationName) + QLatin1Char(' ') + s.waitForWindow;
    else if (a == action::Wait)
        d = s.waitForWindow;
    else if (a == action::IfWindow)
        d = Clip(s.focusOnWindow).isEmpty()
                ? Clip(s.windowTitleToCheckFor) + QStringLiteral(" - ") + Clip(s.windowExistance)
                : Clip(s.windowTitleToCheckFor) + QLatin1Char('/') + Clip(s.focusOnWindow) +
                      QStringLiteral(" - ") + Clip(s.windowExistance);
    else if (a == action::IfTimeElapsed)
        d = QString::number(s.timeElapsed) + QStringLiteral(" seconds");
    return d.left(128);
}

bool PrimeScriptItem(Store& store, qint32 taskId, Scripting& item) {
    Table<Scripting> items(store);
    Scripting primed;
    primed.id = taskId;
    primed.action = action::SendKeystrokes;
    primed.windowExistance = QStringLiteral("Window Exists");
    primed.ifTimeElapsed = QStringLiteral("Greater Than");
    primed.timeElapsed = 86400;
    for (;;) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            // The last item at or below (task, highest sequence), read backwards once.
            Scripting last;
            last.id = taskId;
            last.sequence = std::numeric_limits<qint32>::max();
            items.set(Scripting::KEYID, last);
            const Err e = items.previous(last);
            if (e != Err::None && e != Err::NoMoreRecords) {
                warn::FileError(store.dialogs(), Scripting::decl().name, items.error());
                return false;
            }
            item = primed;
            item.sequence = e == Err::NoMoreRecords || last.id != taskId ? 1 : last.sequence + 1;
            if (items.add(item) == Err::None)
                return true;
        }
        if (!warn::FileError(store.dialogs(), Scripting::decl().name, items.error(), true))
            return false;
    }
}

std::vector<qint32> ScriptOrdering::sequences() {
    Table<Scripting> items(store_);
    std::vector<qint32> out;
    for (const Scripting& s : ItemsOf(items, task_))
        out.push_back(s.sequence);
    return out;
}

bool ScriptOrdering::swapError(const StoreError& e, qint32 sequence, const char* section) {
    store_.dialogs().message(
        QStringLiteral("Record swap error: ") + QLatin1Char('\n') + e.text() + QLatin1Char('\n') +
            QStringLiteral("Scripting, SCR:KeyID") + QLatin1Char('\n') +
            QStringLiteral("Key Field SCR:ID = ") + QString::number(task_) + QLatin1Char('\n') +
            QStringLiteral("Key Field SCR:Sequence = ") + QString::number(sequence) + QLatin1Char('\n') +
            QStringLiteral("Section = ") + QString::fromLatin1(section) + QLatin1Char('\n'),
        QStringLiteral("Error!"), Dialogs::Icon::Exclamation);
    return false;
}

bool ScriptOrdering::ripple(qint32 o, int direction, bool oneStep, qint32 lowerBound) {
    Table<Scripting> items(store_);
    // The moving item and its neighbour in the direction of the move.
    Scripting moving;
    moving.id = task_;
    moving.sequence = o;
    if (items.get(Scripting::KEYID, moving) != Err::None)
        return swapError(items.error(), o, "Get Orig");
    // The item next to a sequence in the direction of the move, within the task. A read
    // error is not the end of the task: it stops the move and is reported.
    enum class Found { Item, None, Error };
    auto neighbourOf = [&](qint32 sequence, Scripting& out) {
        Scripting probe;
        probe.id = task_;
        probe.sequence = direction < 0 ? sequence - 1 : sequence + 1;
        items.set(Scripting::KEYID, probe);
        const Err e = direction < 0 ? items.previous(probe) : items.next(probe);
        if (e == Err::NoMoreRecords || (e == Err::None && probe.id != task_))
            return Found::None;
        if (e != Err::None)
            return Found::Error;
        out = probe;
        return Found::Item;
    };
    Scripting neighbour;
    switch (neighbourOf(o, neighbour)) {
    case Found::None:
        return true;
    case Found::Error:
        return swapError(items.error(), o, "Test Range");
    case Found::Item:
        break;
    }
    std::vector<Scripting> all;
    if (!ReadTaskItems(items, task_, all))
        return swapError(items.error(), o, "Test Range");
    const qint32 parked = (all.empty() ? 0 : all.back().sequence) + 1;
    moving.sequence = parked;
    if (items.put(moving) != Err::None)
        return swapError(items.error(), o, "Put Swap Out");
    for (;;) {
        const qint32 old = neighbour.sequence;
        neighbour.sequence = o;
        if (items.put(neighbour) != Err::None)
            return swapError(items.error(), old, "Put Swap");
        o = old;
        if (oneStep)
            break;
        Scripting next;
        const Found found = neighbourOf(old, next);
        if (found == Found::Error)
            return swapError(items.error(), old, "Test Range");
        if (found == Found::None || next.sequence == parked || next.sequence <= lowerBound)
            break;
        neighbour = next;
    }
    Scripting reload;
    reload.id = task_;
    reload.sequence = parked;
    if (items.get(Scripting::KEYID, reload) != Err::None)
        return swapError(items.error(), parked, "Get Orig After");
    reload.sequence = o;
    if (items.put(reload) != Err::None)
        return swapError(items.error(), o, "Final Put");
    return true;
}

bool ScriptOrdering::placeAfter(qint32 sequence, qint32 after) {
    if (sequence == after + 1)
        return true;
    return ripple(sequence, -1, false, after);
}

bool ScriptOrdering::closeGap(qint32 deletedSequence) {
    Table<Scripting> items(store_);
    qint32 next = deletedSequence;
    for (Scripting s : ItemsOf(items, task_)) {
        if (s.sequence <= deletedSequence)
            continue;
        const qint32 old = s.sequence;
        s.sequence = next++;
        if (items.put(s) != Err::None)
            return swapError(items.error(), old, "Put Upd Seq");
    }
    return true;
}

int DeleteTaskScript(Store& store, qint32 taskId) {
    Table<Scripting> items(store);
    int deleted = 0;
    for (Scripting& r : ItemsOf(items, taskId)) {
        if (items.remove(r) == Err::None)
            ++deleted;
    }
    return deleted;
}

void CopyTaskScript(Store& store, qint32 fromTask, qint32 toTask, bool replace) {
    NoProgress quiet;
    CopyScript(store, quiet, fromTask, toTask, replace);
}

} // namespace kr
