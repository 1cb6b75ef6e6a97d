#include "store/KeyView.h"

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

namespace kr {

KeyView::KeyView(TableAccess& table, int key, std::vector<Condition> conditions, bool allRecords)
    : table_(table)
    , conditions_(std::move(conditions)) {
    const Schema& s = table_.tableFile()->schema();
    const KeySchema& k = s.keys[static_cast<std::size_t>(key)];
    keyColumns_ = k.columns;
    QStringList where{allRecords ? QStringLiteral("1") : k.optCondition};
    int param = 1;
    for (const Condition& c : conditions_) {
        const FieldDecl& f = (*table_.decl().fields)[static_cast<std::size_t>(c.field)];
        switch (c.op) {
        case Condition::Equal:
            where << QuoteIdent(ColumnName(f)) + QStringLiteral("=?%1").arg(param++);
            break;
        case Condition::EqualNoCase:
            where << (s.folded[static_cast<std::size_t>(c.field)]
                          ? QuoteIdent(FoldedColumnName(f))
                          : QStringLiteral("upper(%1)").arg(QuoteIdent(ColumnName(f)))) +
                         QStringLiteral("=?%1").arg(param++);
            break;
        case Condition::Zero:
            where << QuoteIdent(ColumnName(f)) + QStringLiteral("=0");
            break;
        }
    }
    where_ = where.join(QStringLiteral(" AND "));
    QStringList up;
    QStringList down;
    for (const QString& c : keyColumns_) {
        up << c + QStringLiteral(" ASC");
        down << c + QStringLiteral(" DESC");
    }
    orderUp_ = (up << QStringLiteral("_id ASC")).join(QLatin1Char(','));
    orderDown_ = (down << QStringLiteral("_id DESC")).join(QLatin1Char(','));
}

bool KeyView::prepare(sql::Statement& st, const QString& sql) {
    if (st.valid())
        return true;
    st = sql::Statement(table_.tableFile()->file().connection().handle(), sql);
    if (!st.valid()) {
        error_ = table_.tableFile()->statementError(st.prepareResult());
        return false;
    }
    return true;
}

void KeyView::bindConditions(sql::Statement& st, int first) const {
    int index = first;
    for (const Condition& c : conditions_) {
        if (c.op == Condition::Zero)
            continue;
        if (c.op == Condition::EqualNoCase)
            st.bind(index++, sql::Fold(std::get<QString>(c.value)));
        else if (const auto* n = std::get_if<qint64>(&c.value))
            st.bind(index++, *n);
        else
            st.bind(index++, std::get<QString>(c.value));
    }
}

qint64 KeyView::count() {
    std::lock_guard lock(table_.tableFile()->file().mutex());
    const QString table = table_.tableFile()->schema().table;
    if (!prepare(count_, QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(table, where_)))
        return -1;
    bindConditions(count_, 1);
    const int rc = count_.step();
    cachedCount_ = rc == SQLITE_ROW ? count_.columnInt(0) : -1;
    if (rc != SQLITE_ROW)
        error_ = table_.tableFile()->statementError(rc);
    count_.reset();
    return cachedCount_;
}

bool KeyView::rowids(qint64 first, int n, std::vector<qint64>& out) {
    out.clear();
    if (cachedCount_ < 0 && count() < 0)
        return false;
    if (first < 0 || n <= 0 || first >= cachedCount_)
        return true;
    const qint64 last = std::min(cachedCount_, first + n); // one past
    std::lock_guard lock(table_.tableFile()->file().mutex());
    const QString table = table_.tableFile()->schema().table;
    // An OFFSET walks the key up to the position: from whichever end is nearer.
    const bool fromEnd = first > cachedCount_ - last;
    sql::Statement& st = fromEnd ? down_ : up_;
    if (!prepare(st, QStringLiteral("SELECT _id FROM %1 WHERE %2 ORDER BY %3 LIMIT ?%4 OFFSET ?%5")
                         .arg(table, where_, fromEnd ? orderDown_ : orderUp_)
                         .arg(conditions_.size() + 1)
                         .arg(conditions_.size() + 2)))
        return false;
    bindConditions(st, 1);
    // Zero conditions bind nothing, so the limit and offset may sit at lower numbers; bind
    // them by the numbers written into the statement.
    st.bind(static_cast<int>(conditions_.size()) + 1, last - first);
    st.bind(static_cast<int>(conditions_.size()) + 2, fromEnd ? cachedCount_ - last : first);
    int rc = 0;
    while ((rc = st.step()) == SQLITE_ROW)
        out.push_back(st.columnInt(0));
    st.reset();
    if (rc != SQLITE_DONE) {
        error_ = table_.tableFile()->statementError(rc);
        out.clear();
        return false;
    }
    if (fromEnd)
        std::reverse(out.begin(), out.end());
    return true;
}

qint64 KeyView::positionOf(qint64 rowid) {
    std::lock_guard lock(table_.tableFile()->file().mutex());
    const QString table = table_.tableFile()->schema().table;
    const QString tuple = QLatin1Char('(') + keyColumns_.join(QLatin1Char(',')) + QStringLiteral(",_id)");
    const int p = static_cast<int>(conditions_.size()) + 1;
    if (!prepare(position_,
                 QStringLiteral("SELECT (SELECT count(*) FROM %1 WHERE %2 AND %3 < (SELECT %4 FROM %1 "
                                "WHERE _id=?%5)), EXISTS(SELECT 1 FROM %1 WHERE %2 AND _id=?%5)")
                     .arg(table, where_, tuple, tuple.mid(1, tuple.size() - 2))
                     .arg(p)))
        return -1;
    bindConditions(position_, 1);
    position_.bind(p, rowid);
    const int rc = position_.step();
    qint64 result = -1;
    if (rc == SQLITE_ROW && position_.columnInt(1) != 0)
        result = position_.columnInt(0);
    else if (rc != SQLITE_ROW)
        error_ = table_.tableFile()->statementError(rc);
    position_.reset();
    return result;
}

} // namespace kr
