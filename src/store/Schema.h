#pragma once

// The SQL form of a table declaration: columns, indexes for the keys, and the pieces of the
// statements that walk a key.

#include "store/Record.h"

#include <QStringList>

#include <vector>

namespace kr {

// The SQL flavour a schema is written in.
enum class Dialect { Sqlite, Postgres };

struct KeySchema {
    QString indexName;
    QStringList columns;  // in key order; text parts of a nocase key use the folded column
    QString optCondition; // "(a<>'' OR b<>0)" for opt keys, "1=1" otherwise
    QString createSql;
};

struct Schema {
    QString table;                 // quoted table name
    QString tableName;             // bare table name
    std::vector<bool> folded;      // per field: a folded copy is kept for nocase keys
    QStringList columns;           // field columns, in field order
    QStringList foldedColumns;     // folded copies, in field order of the folded fields
    std::vector<int> foldedFields; // field index of each folded copy
    QString rowColumnsSql;         // the bookkeeping columns _id and _ver
    QString createTableSql;        // the field columns, after rowColumnsSql
    std::vector<KeySchema> keys;
    QString selectList; // "_id,_ver,<field columns>"

    QString createTableAs(const QString& name) const;
};

// On PostgreSQL every key index ends with _id (a unique key's index is unique on its own
// columns and orders by _id only after them), texts compare byte for byte (COLLATE "C").
Schema BuildSchema(const TableDecl& decl, Dialect dialect = Dialect::Sqlite);

QString QuoteIdent(const QString& name);
QString ColumnName(const FieldDecl& f);
QString FoldedColumnName(const FieldDecl& f);

// A text as stored: cut to the field's width, trailing blanks removed.
QString StoredText(const FieldDecl& f, const QString& text);

} // namespace kr
