#include "store/RunRecords.h"

#include "platform/Text.h"

#include <limits>

namespace kr {

QString RunResultText(const Runs& r) {
    const QString result = Clip(r.result);
    if (result == run::kEnded) {
        QString text;
        if (r.exited == run::Exited)
            text = r.exitStatus == 0 ? QStringLiteral("Succeeded")
                                     : QStringLiteral("Exit status %1").arg(r.exitStatus);
        else if (r.exited == run::Signalled)
            text = QStringLiteral("Signal %1").arg(r.signal);
        else
            text = QStringLiteral("Ended, how is unknown");
        const QString script = Clip(r.scriptEnd);
        if (!script.isEmpty() && script != run::kScriptCompleted)
            text += QStringLiteral("; script: ") + script;
        return text;
    }
    if (result == run::kFailedToStart)
        return QStringLiteral("Failed to start: ") + Clip(r.failureText) +
               (r.failure != 0 ? QStringLiteral(" (%1)").arg(r.failure) : QString());
    if (result.isEmpty())
        return QString();
    QString text = result.left(1).toUpper() + result.mid(1);
    if (result == run::kSkipped && !Clip(r.reason).isEmpty())
        text += QStringLiteral(" (") + Clip(r.reason) + QLatin1Char(')');
    const QString script = Clip(r.scriptEnd);
    if (!script.isEmpty() && script != run::kScriptCompleted)
        text += QStringLiteral("; script: ") + script;
    return text;
}

bool RunFailed(const Runs& r) {
    const QString result = Clip(r.result);
    if (result == run::kFailedToStart)
        return true;
    if (result == run::kEnded &&
        ((r.exited == run::Exited && r.exitStatus != 0) || r.exited == run::Signalled))
        return true;
    return Clip(r.scriptEnd).startsWith(run::kScriptItemFailed);
}

qint64 RunBytesLeftOut(const Runs& r) {
    return Clip(r.bytesLeftOut).toLongLong();
}

qint64 RunDurationMs(const Runs& r) {
    return Clip(r.result) == run::kEnded ? r.duration : -1;
}

bool ReadRuns(Store& store, const RunQuery& query, std::vector<Runs>& out, StoreError* error) {
    out.clear();
    Table<Runs> table(store);
    Runs r;
    if (query.task != 0) {
        Runs from;
        from.taskId = query.task;
        from.run = std::numeric_limits<qint32>::max();
        table.set(Runs::KEYTASKRUN, from);
    } else {
        table.set(Runs::KEYRUN);
    }
    for (;;) {
        const Err e = table.previous(r);
        if (e == Err::NoMoreRecords)
            return true;
        if (e != Err::None) {
            if (error != nullptr)
                *error = table.error();
            return false;
        }
        if (query.task != 0 && r.taskId != query.task)
            return true;
        if (query.since != 0 && r.dueDate < query.since)
            continue;
        if (query.failed && !RunFailed(r))
            continue;
        out.push_back(r);
        if (query.limit > 0 && static_cast<int>(out.size()) >= query.limit)
            return true;
    }
}

bool LastRunOf(Table<Runs>& table, qint32 task, Runs& out, StoreError* error) {
    Runs from;
    from.taskId = task;
    from.run = std::numeric_limits<qint32>::max();
    table.set(Runs::KEYTASKRUN, from);
    const Err e = table.previous(out);
    if (e == Err::None)
        return out.taskId == task;
    if (e != Err::NoMoreRecords && error != nullptr)
        *error = table.error();
    return false;
}

} // namespace kr
