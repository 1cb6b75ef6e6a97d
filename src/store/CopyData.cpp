#include "store/CopyData.h"

#include "store/Table.h"
#include "store/Tables.h"

#include <memory>

namespace kr {

namespace {

using Row = std::vector<Value>;

// Reads the next batch after the record number `after`, in record-number order. The source
// is read under its own transaction, so that other stations cannot change it between batches.
StoreError ReadBatch(TableFile& source, qint64 after, std::vector<Row>& rows) {
    rows.clear();
    Database& db = source.file();
    std::lock_guard lock(db.mutex());
    const Schema& s = source.schema();
    const QStringList columns =
        QStringList{QStringLiteral("_id"), QStringLiteral("_ver")} + s.columns + s.foldedColumns;
    sql::Statement st(db.connection(), QStringLiteral("SELECT %1 FROM %2 WHERE _id>?1 ORDER BY _id LIMIT ?2")
                                           .arg(columns.join(QLatin1Char(',')), s.table));
    if (!st.valid())
        return st.prepareError();
    st.bind(1, after);
    st.bind(2, static_cast<qint64>(kCopyBatch));
    sql::Step step = sql::Step::Done;
    const auto& fields = *source.decl().fields;
    while ((step = st.step()) == sql::Step::Row) {
        Row row;
        row.reserve(static_cast<std::size_t>(columns.size()));
        row.emplace_back(st.columnInt(0));
        row.emplace_back(st.columnInt(1));
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const int col = static_cast<int>(i) + 2;
            if (fields[i].isText())
                row.emplace_back(st.columnText(col));
            else
                row.emplace_back(st.columnInt(col));
        }
        for (qsizetype i = 0; i < s.foldedColumns.size(); ++i)
            row.emplace_back(
                st.columnText(static_cast<int>(2 + fields.size() + static_cast<std::size_t>(i))));
        rows.push_back(std::move(row));
    }
    const StoreError e = step == sql::Step::Done ? StoreError{} : st.error();
    st.reset();
    return e;
}

StoreError WriteBatch(TableFile& target, const std::vector<Row>& rows) {
    Database& db = target.file();
    std::lock_guard lock(db.mutex());
    const Schema& s = target.schema();
    const QStringList columns =
        QStringList{QStringLiteral("_id"), QStringLiteral("_ver")} + s.columns + s.foldedColumns;
    QStringList params;
    for (qsizetype i = 1; i <= columns.size(); ++i)
        params << QStringLiteral("?%1").arg(i);
    sql::Statement st(db.connection(),
                      QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                          .arg(s.table, columns.join(QLatin1Char(',')), params.join(QLatin1Char(','))));
    if (!st.valid())
        return st.prepareError();
    for (const Row& row : rows) {
        int index = 1;
        for (const Value& v : row) {
            if (const auto* n = std::get_if<qint64>(&v))
                st.bind(index++, *n);
            else
                st.bind(index++, std::get<QString>(v));
        }
        const sql::Step step = st.step();
        if (step != sql::Step::Done) {
            const StoreError e = st.error();
            st.reset();
            return e;
        }
        st.reset();
    }
    return {};
}

} // namespace

CopyOutcome CopyData(Store& from, Store& to, const CopyProgress& progress) {
    CopyOutcome out;
    std::vector<std::unique_ptr<TableAccess>> sources;
    std::vector<std::unique_ptr<TableAccess>> targets;
    for (const TableDecl* d : DataFileTables()) {
        sources.push_back(std::make_unique<TableAccess>(from, *d));
        targets.push_back(std::make_unique<TableAccess>(to, *d));
    }
    Database& source = sources.front()->tableFile()->file();
    Database& target = targets.front()->tableFile()->file();
    if (&source == &target) {
        out.refusal = QStringLiteral("The source and the target are the same database.");
        return out;
    }
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const qint64 held = targets[i]->records();
        if (!targets[i]->error().ok()) {
            out.error = targets[i]->error();
            out.where = targets[i]->decl().name;
            return out;
        }
        if (held != 0) {
            out.refusal =
                QStringLiteral("The target already holds %1 records in %2: a copy goes only into an "
                               "empty database.")
                    .arg(held)
                    .arg(targets[i]->decl().name);
            return out;
        }
    }

    auto fail = [&](const StoreError& e, const QString& where) {
        out.error = e;
        out.where = where;
        std::lock_guard t(target.mutex());
        target.rollback();
        std::lock_guard s(source.mutex());
        source.rollback();
        out.tables.clear();
        return out;
    };
    {
        // A file that can only be read cannot be changed meanwhile either.
        std::lock_guard s(source.mutex());
        const StoreError e = source.readOnly() ? StoreError{} : source.begin(Database::kLongestWaitMs, false);
        if (!e.ok()) {
            out.error = e;
            out.where = sources.front()->decl().name;
            return out;
        }
    }
    {
        std::lock_guard t(target.mutex());
        const StoreError e = target.begin(Database::kLongestWaitMs, true);
        if (!e.ok())
            return fail(e, targets.front()->decl().name);
    }

    std::vector<Row> rows;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        TableFile& s = *sources[i]->tableFile();
        TableFile& t = *targets[i]->tableFile();
        const QString name = s.decl().name;
        const qint64 total = sources[i]->records();
        qint64 copied = 0;
        qint64 after = 0;
        for (;;) {
            StoreError e = ReadBatch(s, after, rows);
            if (!e.ok())
                return fail(e, name);
            if (rows.empty())
                break;
            e = WriteBatch(t, rows);
            if (!e.ok())
                return fail(e, name);
            copied += static_cast<qint64>(rows.size());
            after = std::get<qint64>(rows.back().front());
            if (progress)
                progress(name, copied, total);
            if (rows.size() < static_cast<std::size_t>(kCopyBatch))
                break;
        }
        {
            std::lock_guard lock(target.mutex());
            const StoreError e = target.rowNumbersTaken(t.schema());
            if (!e.ok())
                return fail(e, name);
        }
        out.tables.push_back(TableCopied{name, copied});
    }
    {
        std::lock_guard s(source.mutex());
        source.rollback();
    }
    std::lock_guard t(target.mutex());
    const StoreError e = target.commit();
    if (!e.ok()) {
        out.error = e;
        out.where = QStringLiteral("the commit");
        out.tables.clear();
    }
    return out;
}

} // namespace kr
