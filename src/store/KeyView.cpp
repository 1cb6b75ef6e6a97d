#include "store/KeyView.h"

#include <QElapsedTimer>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

namespace kr {

// The count and marks of one view, shared by every KeyView of it in the process.
struct KeyView::Marks {
    std::mutex mutex;
    bool building = false;
    bool ready = false; // count and marks are complete for `stamp`
    Database::ChangeStamp stamp;
    qint64 count = -1;
    // Key values and row number of every kMarkEvery-th record. Replaced whole, never changed:
    // a view keeps the list it counted with until it counts again, so that its places stay
    // the same between two calls while a count in the background finishes.
    std::shared_ptr<const MarkList> marks;
    // Every view of it that gave a count not yet exact, told when the count in the
    // background ends, whichever of them started it.
    std::vector<std::weak_ptr<Notifier>> waiting;
};

// Tells the view's owner, on its own thread, that the count in the background is done.
struct KeyView::Notifier {
    std::mutex mutex;
    bool alive = true;
    QObject* context = nullptr;
    std::function<void()> refined;
    qint64 reported = -1;

    void post(qint64 exact) {
        std::lock_guard lock(mutex);
        if (!alive || context == nullptr || !refined || exact == reported)
            return;
        QMetaObject::invokeMethod(context, refined, Qt::QueuedConnection);
    }
};

namespace {

// Counting walks this long on the caller's thread before the rest goes to a thread of its own.
std::atomic<qint64> g_countHereMs{20};
constexpr int kSliceRows = 8192;
constexpr std::size_t kViewsKept = 64;

std::mutex g_viewsMutex;
std::map<QString, std::shared_ptr<KeyView::Marks>> g_views;

std::shared_ptr<KeyView::Marks> ViewMarks(const QString& key) {
    std::lock_guard lock(g_viewsMutex);
    auto& entry = g_views[key];
    if (!entry) {
        if (g_views.size() > kViewsKept) {
            // Forget the views nobody is using.
            for (auto it = g_views.begin(); it != g_views.end();) {
                if (it->second && it->second.use_count() == 1 && it->first != key)
                    it = g_views.erase(it);
                else
                    ++it;
            }
        }
        entry = std::make_shared<KeyView::Marks>();
    }
    return entry;
}

void Bind(sql::Statement& st, int index, const Value& v) {
    if (const auto* n = std::get_if<qint64>(&v))
        st.bind(index, *n);
    else
        st.bind(index, std::get<QString>(v));
}

Value Column(sql::Statement& st, int col) {
    if (st.columnIsText(col))
        return st.columnText(col);
    return st.columnInt(col);
}

// Orders key values as the storage does: numbers by value, texts by their UTF-8 bytes.
int CompareValues(const Value& a, const Value& b) {
    const auto* na = std::get_if<qint64>(&a);
    const auto* nb = std::get_if<qint64>(&b);
    if (na != nullptr && nb != nullptr)
        return *na < *nb ? -1 : (*na > *nb ? 1 : 0);
    if (na != nullptr)
        return -1;
    if (nb != nullptr)
        return 1;
    const QByteArray ta = std::get<QString>(a).toUtf8();
    const QByteArray tb = std::get<QString>(b).toUtf8();
    const int c =
        std::memcmp(ta.constData(), tb.constData(), static_cast<std::size_t>(std::min(ta.size(), tb.size())));
    if (c != 0)
        return c < 0 ? -1 : 1;
    return ta.size() < tb.size() ? -1 : (ta.size() > tb.size() ? 1 : 0);
}

int CompareTuples(const std::vector<Value>& a, const std::vector<Value>& b) {
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        const int c = CompareValues(a[i], b[i]);
        if (c != 0)
            return c;
    }
    return 0;
}

// How to walk a view from its start, in slices that each end their statement, so that no
// lock is held between them.
struct Walk {
    QString firstSql; // binds, then the limit
    QString nextSql;  // binds, the last tuple read, then the limit
    std::vector<Value> binds;
    int columns = 0; // key columns and the row number

    qint64 count = 0;
    std::vector<std::vector<Value>> marks;
    std::vector<Value> last;
    bool done = false;

    // Walks on until the end or the deadline; false after a storage error (in `error`).
    bool run(sql::Connection& db, qint64 budgetMs, StoreError& error) {
        QElapsedTimer timer;
        timer.start();
        sql::Statement first(db, firstSql);
        sql::Statement next(db, nextSql);
        if (!first.valid() || !next.valid()) {
            error = first.valid() ? next.prepareError() : first.prepareError();
            return false;
        }
        while (!done) {
            sql::Statement& st = count == 0 ? first : next;
            int index = 1;
            for (const Value& v : binds)
                Bind(st, index++, v);
            if (count > 0) {
                for (const Value& v : last)
                    Bind(st, index++, v);
            }
            st.bind(index, static_cast<qint64>(kSliceRows));
            int rows = 0;
            sql::Step rc = sql::Step::Done;
            while ((rc = st.step()) == sql::Step::Row) {
                const bool mark = count % KeyView::kMarkEvery == 0;
                ++count;
                ++rows;
                if (mark || rows == kSliceRows) {
                    std::vector<Value> tuple;
                    tuple.reserve(static_cast<std::size_t>(columns));
                    for (int c = 0; c < columns; ++c)
                        tuple.push_back(Column(st, c));
                    if (mark)
                        marks.push_back(tuple);
                    if (rows == kSliceRows)
                        last = std::move(tuple);
                }
            }
            if (rc != sql::Step::Done) {
                error = st.error();
                st.reset();
                return false;
            }
            st.reset();
            if (rows < kSliceRows)
                done = true;
            if (budgetMs >= 0 && timer.elapsed() >= budgetMs)
                break;
        }
        error = {};
        return true;
    }
};

} // namespace

KeyView::KeyView(TableAccess& table, int key, std::vector<Condition> conditions, bool allRecords)
    : table_(table)
    , conditions_(std::move(conditions))
    , notifier_(std::make_shared<Notifier>()) {
    const Schema& s = table_.tableFile()->schema();
    const KeySchema& k = s.keys[static_cast<std::size_t>(key)];
    keyColumns_ = k.columns;
    QStringList where{allRecords ? QStringLiteral("1=1") : k.optCondition};
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
    bound_ = param - 1;
    where_ = where.join(QStringLiteral(" AND "));
    QStringList up;
    QStringList down;
    for (const QString& c : keyColumns_) {
        up << c + QStringLiteral(" ASC");
        down << c + QStringLiteral(" DESC");
    }
    orderUp_ = (up << QStringLiteral("_id ASC")).join(QLatin1Char(','));
    orderDown_ = (down << QStringLiteral("_id DESC")).join(QLatin1Char(','));
    tuple_ = QLatin1Char('(') + keyColumns_.join(QLatin1Char(',')) + QStringLiteral(",_id)");
}

void KeyView::setCountHereMs(qint64 ms) {
    g_countHereMs = ms;
}

KeyView::~KeyView() {
    std::lock_guard lock(notifier_->mutex);
    notifier_->alive = false;
}

void KeyView::onRefined(QObject* context, std::function<void()> refined) {
    std::lock_guard lock(notifier_->mutex);
    notifier_->context = context;
    notifier_->refined = std::move(refined);
}

bool KeyView::prepare(sql::Statement& st, const QString& sql) {
    if (st.valid())
        return true;
    st = sql::Statement(table_.tableFile()->file().connection(), sql);
    if (!st.valid()) {
        error_ = st.prepareError();
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

QString KeyView::cacheKey() const {
    QString key = table_.tableFile()->file().path() + QLatin1Char('\n') + table_.tableFile()->schema().table +
                  QLatin1Char('\n') + where_ + QLatin1Char('\n') + orderUp_;
    for (const Condition& c : conditions_) {
        if (c.op == Condition::Zero)
            continue;
        key += QLatin1Char('\n');
        if (const auto* n = std::get_if<qint64>(&c.value))
            key += QString::number(*n);
        else
            key += QLatin1Char('"') + (c.op == Condition::EqualNoCase ? sql::Fold(std::get<QString>(c.value))
                                                                      : std::get<QString>(c.value));
    }
    return key;
}

namespace {
Walk MakeWalk(const QString& table, const QString& where, const QString& tuple, const QString& orderUp,
              int bound, int columns) {
    Walk w;
    const QString select = QStringLiteral("SELECT ") + tuple.mid(1, tuple.size() - 2) +
                           QStringLiteral(" FROM ") + table + QStringLiteral(" WHERE ") + where;
    w.firstSql = select + QStringLiteral(" ORDER BY %1 LIMIT ?%2").arg(orderUp).arg(bound + 1);
    QStringList params;
    for (int i = 0; i < columns; ++i)
        params << QStringLiteral("?%1").arg(bound + 1 + i);
    w.nextSql = select + QStringLiteral(" AND %1 > (%2) ORDER BY %3 LIMIT ?%4")
                             .arg(tuple, params.join(QLatin1Char(',')), orderUp)
                             .arg(bound + columns + 1);
    w.columns = columns;
    return w;
}
} // namespace

qint64 KeyView::count() {
    Database& file = table_.tableFile()->file();
    std::lock_guard lock(file.mutex());
    const std::optional<Database::ChangeStamp> stamp = file.changeStamp();
    auto entry = ViewMarks(cacheKey());
    marks_ = entry;
    {
        std::lock_guard e(entry->mutex);
        if (entry->ready && stamp && entry->stamp == *stamp) {
            cachedCount_ = entry->count;
            exact_ = true;
            seen_ = entry->marks;
            std::lock_guard n(notifier_->mutex);
            notifier_->reported = cachedCount_;
            return cachedCount_;
        }
    }

    // Count here for a short while: small views are done at once.
    Walk walk = MakeWalk(table_.tableFile()->schema().table, where_, tuple_, orderUp_, bound_,
                         static_cast<int>(keyColumns_.size()) + 1);
    for (const Condition& c : conditions_) {
        if (c.op == Condition::EqualNoCase)
            walk.binds.emplace_back(sql::Fold(std::get<QString>(c.value)));
        else if (c.op != Condition::Zero)
            walk.binds.push_back(c.value);
    }
    Walk background = walk;
    StoreError walked;
    if (!walk.run(file.connection(), g_countHereMs.load(), walked)) {
        error_ = walked;
        cachedCount_ = -1;
        exact_ = false;
        return -1;
    }
    std::lock_guard e(entry->mutex);
    if (walk.done) {
        entry->count = walk.count;
        entry->marks = std::make_shared<const MarkList>(std::move(walk.marks));
        entry->ready = stamp.has_value();
        if (stamp)
            entry->stamp = *stamp;
        cachedCount_ = walk.count;
        exact_ = true;
    } else {
        // The last count of this view, or an estimate from the part walked.
        if (entry->count >= 0) {
            cachedCount_ = entry->count;
        } else {
            entry->marks = std::make_shared<const MarkList>(std::move(walk.marks));
            qint64 estimate = walk.count * 2;
            if (conditions_.empty()) {
                sql::Statement most(file.connection(), QStringLiteral("SELECT max(_id) FROM ") +
                                                           table_.tableFile()->schema().table);
                if (most.valid() && most.step() == sql::Step::Row)
                    estimate = std::max(walk.count, most.columnInt(0));
            }
            cachedCount_ = estimate;
        }
        entry->ready = false;
        exact_ = false;
        if (std::none_of(entry->waiting.begin(), entry->waiting.end(),
                         [this](const std::weak_ptr<Notifier>& w) { return w.lock() == notifier_; }))
            entry->waiting.push_back(notifier_);
        if (!entry->building) {
            entry->building = true;
            std::shared_ptr<Database> own = file.another();
            const Database::ChangeStamp taken = stamp.value_or(Database::ChangeStamp{});
            const bool stampKnown = stamp.has_value();
            QThreadPool::globalInstance()->start([background, entry, own, taken, stampKnown]() mutable {
                StoreError result;
                const bool ok =
                    own->connect(OpenMode::Shared).ok() && background.run(own->connection(), -1, result);
                own->disconnect();
                std::vector<std::weak_ptr<Notifier>> waiting;
                {
                    std::lock_guard done(entry->mutex);
                    entry->building = false;
                    waiting.swap(entry->waiting);
                    if (ok) {
                        entry->count = background.count;
                        entry->marks = std::make_shared<const MarkList>(std::move(background.marks));
                        entry->stamp = taken;
                        entry->ready = stampKnown;
                    }
                }
                if (ok)
                    for (const auto& w : waiting)
                        if (auto notifier = w.lock())
                            notifier->post(background.count);
            });
        }
    }
    seen_ = entry->marks;
    std::lock_guard n(notifier_->mutex);
    notifier_->reported = cachedCount_;
    return cachedCount_;
}

std::vector<Value> KeyView::markAt(qint64 position, qint64& markPosition) const {
    if (!seen_)
        return {};
    const MarkList& marks = *seen_;
    if (marks.empty())
        return {};
    const std::size_t c = std::min(static_cast<std::size_t>(position / kMarkEvery), marks.size() - 1);
    markPosition = static_cast<qint64>(c) * kMarkEvery;
    return marks[c];
}

bool KeyView::rowids(qint64 first, int n, std::vector<qint64>& out) {
    out.clear();
    if (cachedCount_ < 0 && count() < 0)
        return false;
    if (first < 0 || n <= 0 || (exact_ && first >= cachedCount_))
        return true;
    const qint64 wanted = exact_ ? std::min<qint64>(n, cachedCount_ - first) : n;
    qint64 markPosition = 0;
    const std::vector<Value> mark = markAt(first, markPosition);
    if (mark.empty() || first < kMarkEvery)
        return offsetRowids(first, static_cast<int>(wanted), out);

    // A seek to the mark before the position, then a walk of less than kMarkEvery records.
    std::lock_guard lock(table_.tableFile()->file().mutex());
    const int columns = static_cast<int>(mark.size());
    QStringList params;
    for (int i = 0; i < columns; ++i)
        params << QStringLiteral("?%1").arg(bound_ + 1 + i);
    if (!prepare(fromMark_,
                 QStringLiteral("SELECT _id FROM %1 WHERE %2 AND %3 >= (%4) ORDER BY %5 LIMIT ?%6 OFFSET ?%7")
                     .arg(table_.tableFile()->schema().table, where_, tuple_, params.join(QLatin1Char(',')),
                          orderUp_)
                     .arg(bound_ + columns + 1)
                     .arg(bound_ + columns + 2)))
        return false;
    bindConditions(fromMark_, 1);
    int index = bound_ + 1;
    for (const Value& v : mark)
        Bind(fromMark_, index++, v);
    fromMark_.bind(index++, wanted);
    fromMark_.bind(index, first - markPosition);
    sql::Step rc = sql::Step::Done;
    while ((rc = fromMark_.step()) == sql::Step::Row)
        out.push_back(fromMark_.columnInt(0));
    fromMark_.reset();
    if (rc != sql::Step::Done) {
        error_ = fromMark_.error();
        out.clear();
        return false;
    }
    return true;
}

bool KeyView::offsetRowids(qint64 first, int n, std::vector<qint64>& out) {
    const qint64 last = exact_ ? std::min(cachedCount_, first + n) : first + n; // one past
    std::lock_guard lock(table_.tableFile()->file().mutex());
    const QString table = table_.tableFile()->schema().table;
    // An OFFSET walks the key up to the position: from whichever end is nearer.
    const bool fromEnd = exact_ && first > cachedCount_ - last;
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
    sql::Step rc = sql::Step::Done;
    while ((rc = st.step()) == sql::Step::Row)
        out.push_back(st.columnInt(0));
    st.reset();
    if (rc != sql::Step::Done) {
        error_ = st.error();
        out.clear();
        return false;
    }
    if (fromEnd)
        std::reverse(out.begin(), out.end());
    return true;
}

bool KeyView::keyOf(qint64 rowid, std::vector<Value>& tuple, bool& inView) {
    const int columns = static_cast<int>(keyColumns_.size()) + 1;
    if (!prepare(keyOf_,
                 QStringLiteral("SELECT %1, (%2) FROM %3 WHERE _id=?%4")
                     .arg(tuple_.mid(1, tuple_.size() - 2), where_, table_.tableFile()->schema().table)
                     .arg(bound_ + 1)))
        return false;
    bindConditions(keyOf_, 1);
    keyOf_.bind(bound_ + 1, rowid);
    const sql::Step rc = keyOf_.step();
    inView = false;
    tuple.clear();
    if (rc == sql::Step::Row) {
        for (int c = 0; c < columns; ++c)
            tuple.push_back(Column(keyOf_, c));
        inView = keyOf_.columnInt(columns) != 0;
    }
    keyOf_.reset();
    if (rc == sql::Step::Failed) {
        error_ = keyOf_.error();
        return false;
    }
    return true;
}

qint64 KeyView::positionOf(qint64 rowid) {
    if (cachedCount_ < 0 && count() < 0)
        return -1;
    if (!seen_)
        return slowPositionOf(rowid);
    std::vector<Value> tuple;
    bool inView = false;
    {
        std::lock_guard lock(table_.tableFile()->file().mutex());
        if (!keyOf(rowid, tuple, inView))
            return -1;
    }
    if (!inView)
        return -1;
    // The last mark not after the record, then the records between the two.
    std::vector<Value> mark;
    qint64 markIndex = 0;
    {
        const MarkList& marks = *seen_;
        const auto after = std::upper_bound(
            marks.begin(), marks.end(), tuple,
            [](const std::vector<Value>& t, const std::vector<Value>& m) { return CompareTuples(t, m) < 0; });
        if (after != marks.begin()) {
            mark = *(after - 1);
            markIndex = after - 1 - marks.begin();
        }
    }
    if (mark.empty())
        return slowPositionOf(rowid);
    std::lock_guard lock(table_.tableFile()->file().mutex());
    const int columns = static_cast<int>(tuple.size());
    QStringList markParams;
    QStringList rowParams;
    for (int i = 0; i < columns; ++i) {
        markParams << QStringLiteral("?%1").arg(bound_ + 1 + i);
        rowParams << QStringLiteral("?%1").arg(bound_ + 1 + columns + i);
    }
    if (!prepare(sinceMark_, QStringLiteral("SELECT count(*) FROM %1 WHERE %2 AND %3 >= (%4) AND %3 < (%5)")
                                 .arg(table_.tableFile()->schema().table, where_, tuple_,
                                      markParams.join(QLatin1Char(',')), rowParams.join(QLatin1Char(',')))))
        return -1;
    bindConditions(sinceMark_, 1);
    int index = bound_ + 1;
    for (const Value& v : mark)
        Bind(sinceMark_, index++, v);
    for (const Value& v : tuple)
        Bind(sinceMark_, index++, v);
    const sql::Step rc = sinceMark_.step();
    const qint64 between = rc == sql::Step::Row ? sinceMark_.columnInt(0) : -1;
    sinceMark_.reset();
    if (rc != sql::Step::Row) {
        error_ = sinceMark_.error();
        return -1;
    }
    // With marks from before a change, the place is off by the records added or removed
    // before the mark, but it is the place rowids() shows the record at until the view is
    // counted again.
    return markIndex * kMarkEvery + between;
}

qint64 KeyView::slowPositionOf(qint64 rowid) {
    std::lock_guard lock(table_.tableFile()->file().mutex());
    const QString table = table_.tableFile()->schema().table;
    const int p = static_cast<int>(conditions_.size()) + 1;
    if (!prepare(position_,
                 QStringLiteral("SELECT (SELECT count(*) FROM %1 WHERE %2 AND %3 < (SELECT %4 FROM %1 "
                                "WHERE _id=?%5)), EXISTS(SELECT 1 FROM %1 WHERE %2 AND _id=?%5)")
                     .arg(table, where_, tuple_, tuple_.mid(1, tuple_.size() - 2))
                     .arg(p)))
        return -1;
    bindConditions(position_, 1);
    position_.bind(p, rowid);
    const sql::Step rc = position_.step();
    qint64 result = -1;
    if (rc == sql::Step::Row && position_.columnInt(1) != 0)
        result = position_.columnInt(0);
    else if (rc != sql::Step::Row)
        error_ = position_.error();
    position_.reset();
    return result;
}

} // namespace kr
