#include "cli/CalendarImport.h"

#include "cli/TaskCommands.h"
#include "platform/Text.h"
#include "store/Numbering.h"
#include "store/Table.h"
#include "store/Transaction.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace kr::cli {

namespace {

const QString kKeyPrefix = QStringLiteral("ICS:");

QByteArray Digest(const QByteArray& bytes, int hexDigits) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(hexDigits);
}

// The fields of an event in one order, each "name=value" on a line of its own.
QByteArray Canonical(const QVariantMap& fields) {
    QByteArray out;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        const QVariant& v = it.value();
        const QString text =
            v.typeId() == QMetaType::Bool ? QString::number(v.toBool() ? 1 : 0) : v.toString();
        out += it.key().toUtf8() + '=' + text.toUtf8().toPercentEncoding() + '\n';
    }
    return out;
}

// What the task is, as far as the program itself leaves it alone: its next run, the runs and
// warnings the scheduler records, the enabled state and the stamps are not part of it.
QByteArray TaskDigest(const Schedule& t) {
    static const QStringList moving{QStringLiteral("ID"),
                                    QStringLiteral("DATE"),
                                    QStringLiteral("TIME"),
                                    QStringLiteral("LASTRUNDATE"),
                                    QStringLiteral("LASTRUNTIME"),
                                    QStringLiteral("SKIPNEXTTIME"),
                                    QStringLiteral("ADVANCEWARNDATE"),
                                    QStringLiteral("ADVANCEWARNTIME"),
                                    QStringLiteral("ADVANCEWARNED"),
                                    QStringLiteral("DISABLED"),
                                    QStringLiteral("COMPLETED"),
                                    QStringLiteral("SKIPPED"),
                                    QStringLiteral("EXCEPTIONLINK"),
                                    QStringLiteral("NETWORKUSER"),
                                    QStringLiteral("LASTCHANGEDATE"),
                                    QStringLiteral("LASTCHANGETIME"),
                                    QStringLiteral("ORIGINALID")};
    QByteArray out;
    for (const FieldDecl& f : *Schedule::decl().fields) {
        if (moving.contains(f.name()))
            continue;
        const Value v = f.get(&t);
        out += f.name().toUtf8() + '=';
        if (const auto* text = std::get_if<QString>(&v))
            out += Clip(*text).toUtf8().toPercentEncoding();
        else
            out += QByteArray::number(std::get<qint64>(v));
        out += '\n';
    }
    return Digest(out, 16);
}

// The event's name in the Configuration table: by its UID, or by its fields when it has none.
QString EventKey(const CalendarEvent& e) {
    const QByteArray source = e.uid.isEmpty() ? "fields:" + Canonical(e.fields) : "uid:" + e.uid.toUtf8();
    return kKeyPrefix + QString::fromLatin1(Digest(source, 32));
}

// What is remembered of an event imported before.
struct Remembered {
    qint32 id = 0;
    QString start;
    QByteArray event;
    QByteArray task;
    QString text() const {
        return QStringLiteral("%1 %2 %3 %4")
            .arg(id)
            .arg(start, QString::fromLatin1(event), QString::fromLatin1(task));
    }
    static std::optional<Remembered> parse(const QString& value) {
        const QStringList parts = Clip(value).split(QLatin1Char(' '));
        bool ok = false;
        Remembered r;
        r.id = parts.value(0).toInt(&ok);
        if (parts.size() != 4 || !ok || r.id < 1)
            return std::nullopt;
        r.start = parts[1];
        r.event = parts[2].toLatin1();
        r.task = parts[3].toLatin1();
        return r;
    }
};

QString StartOf(const QVariantMap& fields) {
    return fields.value(QStringLiteral("date")).toString() + QLatin1Char('T') +
           fields.value(QStringLiteral("time")).toString();
}

// The task number an event names when this program wrote it for the data file in `dataDir`.
std::optional<qint32> TaskOfThisDataFile(const CalendarEvent& e, const QString& dataDir) {
    static const QRegularExpression re(QStringLiteral("^task-([0-9]{1,10})-[0-9a-f]+@kelvray$"));
    const auto m = re.match(e.uid);
    bool ok = false;
    const qint32 id = m.hasMatch() ? m.captured(1).toInt(&ok) : 0;
    if (!ok || id < 1 || TaskUid(dataDir, id) != e.uid)
        return std::nullopt;
    return id;
}

ImportOutcome Failed(const QString& what, const StoreError& e) {
    return {ImportOutcome::Kind::Failed, 0, what + e.describe()};
}

ImportOutcome Skipped(const QString& reason, qint32 id = 0) {
    return {ImportOutcome::Kind::Skipped, id, reason};
}

} // namespace

ImportOutcome ImportEvent(Store& store, const CalendarEvent& event, const QString& user, const Clock& clock) {
    Schedule fresh;
    try {
        Arguments args(FieldArguments(event.fields));
        fresh = NewTask(args, clock);
    } catch (const UsageError& e) {
        return Skipped(e.text);
    }
    const QString key = EventKey(event);
    const QString start = StartOf(event.fields);
    const QByteArray eventDigest = Digest(Canonical(event.fields), 16);
    const std::optional<qint32> own = TaskOfThisDataFile(event, store.workDir());

    Table<Schedule> tasks(store);
    Table<Configuration> config(store);
    Transaction tx;
    if (tx.begin({&tasks, &config}) != Err::None)
        return Failed(QStringLiteral("the schedule could not be written: "), tx.error());
    Schedule current;
    auto read = [&](qint32 id) {
        current = Schedule{};
        current.id = id;
        return tasks.get(Schedule::KEYID, current);
    };
    if (own) {
        const Err e = read(*own);
        if (e == Err::None)
            return Skipped(QStringLiteral("it is task %1 of this data file").arg(*own), *own);
        if (e != Err::RecordNotFound)
            return Failed(QStringLiteral("the schedule could not be read: "), tasks.error());
    }
    Configuration mark;
    mark.dataType = key;
    const Err marked = config.get(Configuration::KEYDATATYPE, mark);
    if (marked != Err::None && marked != Err::RecordNotFound)
        return Failed(QStringLiteral("the imported events could not be read: "), config.error());
    const std::optional<Remembered> before =
        marked == Err::None ? Remembered::parse(mark.dataValue) : std::optional<Remembered>();

    Schedule task = fresh;
    if (before) {
        const Err e = read(before->id);
        if (e == Err::RecordNotFound)
            return Skipped(
                QStringLiteral("it was imported before as task %1, which has been deleted here since")
                    .arg(before->id));
        if (e != Err::None)
            return Failed(QStringLiteral("the schedule could not be read: "), tasks.error());
        const bool edited = TaskDigest(current) != before->task;
        if (before->event == eventDigest)
            return Skipped(edited
                               ? QStringLiteral("it was imported before as task %1, which has been changed "
                                                "here since")
                                     .arg(before->id)
                               : QStringLiteral("it was imported before as task %1 and has not changed since")
                                     .arg(before->id),
                           before->id);
        if (edited)
            return Skipped(
                QStringLiteral("it was imported before as task %1, which has been changed here since; "
                               "the calendar's change is not taken")
                    .arg(before->id),
                before->id);
        // The calendar's version of the task, in the task's place. Its next run stays where the
        // scheduler has moved it unless the event starts elsewhere now; what the scheduler and
        // the user keep of it here (runs, warnings, the enabled state) stays.
        task.id = current.id;
        task.meta = current.meta;
        task.user = current.user;
        task.lastRunDate = current.lastRunDate;
        task.lastRunTime = current.lastRunTime;
        task.disabled = current.disabled;
        task.completed = current.completed;
        task.skipped = current.skipped;
        task.advanceWarned = current.advanceWarned;
        task.exceptionLink = current.exceptionLink;
        task.originalId = current.originalId;
        if (start == before->start) {
            task.date = current.date;
            task.time = current.time;
            task.skipNextTime = current.skipNextTime;
        }
        StampTask(task, user, clock.today(), clock.now());
        if (tasks.put(task) != Err::None)
            return Failed(QStringLiteral("task %1 could not be written: ").arg(task.id), tasks.error());
    } else {
        if (!ReserveRecordNumber(tasks, task))
            return {ImportOutcome::Kind::Failed, 0, QStringLiteral("the task could not be numbered")};
        StampTask(task, user, clock.today(), clock.now());
        if (tasks.put(task) != Err::None)
            return Failed(QStringLiteral("the task could not be written: "), tasks.error());
    }
    const Remembered now{task.id, start, eventDigest, TaskDigest(task)};
    mark.dataValue = now.text();
    if ((marked == Err::None ? config.put(mark) : config.add(mark)) != Err::None)
        return Failed(QStringLiteral("the imported event could not be noted: "), config.error());
    if (tx.commit() != Err::None)
        return Failed(QStringLiteral("the schedule could not be written: "), tx.error());
    return {before ? ImportOutcome::Kind::Updated : ImportOutcome::Kind::Added, task.id, {}};
}

} // namespace kr::cli
