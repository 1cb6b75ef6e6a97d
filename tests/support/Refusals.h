#pragma once

// Makes the database refuse one kind of change to a table, as a failing disk, a damaged page
// or a server's constraint would: `when` is "DELETE|UPDATE|INSERT condition", the condition
// naming the record's fields as old.FIELD or new.FIELD ("1" for every record). On the data
// file the refusal holds for this program's connection only; on a server, for every station
// of the schedule.

#include "store/Table.h"

#include <QRegularExpression>

namespace kr::test {

// How a refusal is told: as a refusal of the storage, or as a key that another station took
// meanwhile (a duplicate key, 40 on every driver).
enum class Refusal { Refused, Taken };

inline StoreError RefuseChanges(TableAccess& table, const QString& when, const QString& name = "refused",
                                Refusal as = Refusal::Refused) {
    Database& db = table.tableFile()->file();
    std::lock_guard lock(db.mutex());
    const QString op = when.section(QLatin1Char(' '), 0, 0);
    QString condition = when.section(QLatin1Char(' '), 1);
    const QString sqlName = table.decl().sqlName;
    if (!db.failuresEndTransactions())
        return db.connection().exec(QStringLiteral("CREATE TEMP TRIGGER %1 BEFORE %2 ON main.\"%3\" WHEN %4 "
                                                   "BEGIN SELECT RAISE(ABORT, '%5'); END")
                                        .arg(name, op, sqlName, condition,
                                             as == Refusal::Taken ? QStringLiteral("UNIQUE constraint failed")
                                                                  : QStringLiteral("refused")));
    static const QRegularExpression field(QStringLiteral("\\b(old|new)\\.([A-Za-z_]+)"));
    condition.replace(field, QStringLiteral("\\1.\"\\2\""));
    if (condition.trimmed() == QStringLiteral("1"))
        condition = QStringLiteral("true");
    const QString function =
        as == Refusal::Taken ? QStringLiteral("kr_refuse_taken") : QStringLiteral("kr_refuse");
    StoreError e = db.connection().exec(
        QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN "
                       "RAISE EXCEPTION 'refused' USING ERRCODE = '%2'; END$$")
            .arg(function,
                 as == Refusal::Taken ? QStringLiteral("unique_violation") : QStringLiteral("P0001")));
    if (e.ok())
        e = db.connection().exec(
            QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON \"%3\" FOR EACH ROW WHEN (%4) "
                           "EXECUTE FUNCTION %5()")
                .arg(name, op, sqlName, condition, function));
    return e;
}

inline StoreError AllowChanges(TableAccess& table, const QString& name = "refused") {
    Database& db = table.tableFile()->file();
    std::lock_guard lock(db.mutex());
    if (!db.failuresEndTransactions())
        return db.connection().exec(QStringLiteral("DROP TRIGGER temp.%1").arg(name));
    return db.connection().exec(QStringLiteral("DROP TRIGGER %1 ON \"%2\"").arg(name, table.decl().sqlName));
}

} // namespace kr::test
