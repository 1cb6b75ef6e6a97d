#include "store/Schema.h"

#include "platform/Text.h"

namespace kr {

QString QuoteIdent(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString ColumnName(const FieldDecl& f) {
    return QString::fromLatin1(f.column);
}

QString FoldedColumnName(const FieldDecl& f) {
    return QStringLiteral("f_") + QString::fromLatin1(f.column);
}

QString StoredText(const FieldDecl& f, const QString& text) {
    return Clip(text.left(f.maxChars()));
}

QString Schema::createTableAs(const QString& name) const {
    QString sql = QStringLiteral("CREATE TABLE ") + QuoteIdent(name) +
                  QStringLiteral(" (_id INTEGER PRIMARY KEY, _ver INTEGER NOT NULL DEFAULT 0");
    return sql + createTableSql + QLatin1Char(')');
}

Schema BuildSchema(const TableDecl& decl) {
    Schema s;
    s.tableName = decl.sqlName;
    s.table = QuoteIdent(decl.sqlName);
    const auto& fields = *decl.fields;
    s.folded.assign(fields.size(), false);
    for (const auto& k : decl.keys) {
        if (!k.nocase())
            continue;
        for (int c : k.components) {
            if (fields[static_cast<std::size_t>(c)].isText())
                s.folded[static_cast<std::size_t>(c)] = true;
        }
    }

    // Column definitions after the two bookkeeping columns (see createTableAs).
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldDecl& f = fields[i];
        s.columns << QuoteIdent(ColumnName(f));
        s.createTableSql += QStringLiteral(", ") + QuoteIdent(ColumnName(f)) +
                            (f.isText() ? QStringLiteral(" TEXT NOT NULL DEFAULT ''")
                                        : QStringLiteral(" INTEGER NOT NULL DEFAULT 0"));
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!s.folded[i])
            continue;
        s.foldedColumns << QuoteIdent(FoldedColumnName(fields[i]));
        s.foldedFields.push_back(static_cast<int>(i));
        s.createTableSql += QStringLiteral(", ") + QuoteIdent(FoldedColumnName(fields[i])) +
                            QStringLiteral(" TEXT NOT NULL DEFAULT ''");
    }

    for (const auto& k : decl.keys) {
        KeySchema ks;
        ks.indexName = decl.sqlName + QStringLiteral("__") + QString::fromLatin1(k.name);
        QStringList blanks;
        for (int c : k.components) {
            const FieldDecl& f = fields[static_cast<std::size_t>(c)];
            const bool fold = k.nocase() && f.isText();
            const QString col = QuoteIdent(fold ? FoldedColumnName(f) : ColumnName(f));
            ks.columns << col;
            blanks << col + (f.isText() ? QStringLiteral("<>''") : QStringLiteral("<>0"));
        }
        ks.optCondition = k.opt() ? QLatin1Char('(') + blanks.join(QStringLiteral(" OR ")) + QLatin1Char(')')
                                  : QStringLiteral("1=1");
        ks.createSql = QStringLiteral("CREATE ") + (k.unique() ? QStringLiteral("UNIQUE ") : QString()) +
                       QStringLiteral("INDEX ") + QuoteIdent(ks.indexName) + QStringLiteral(" ON ") +
                       s.table + QLatin1Char('(') + ks.columns.join(QLatin1Char(',')) + QLatin1Char(')');
        if (k.opt())
            ks.createSql += QStringLiteral(" WHERE ") + ks.optCondition;
        s.keys.push_back(ks);
    }

    s.selectList = QStringLiteral("_id,_ver,") + s.columns.join(QLatin1Char(','));
    return s;
}

} // namespace kr
