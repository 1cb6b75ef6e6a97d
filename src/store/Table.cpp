#include "store/Table.h"
#include "store/WriteCount.h"

#include <QRandomGenerator>

#include <algorithm>
#include <atomic>

namespace kr {

namespace {
std::atomic<std::uint64_t> g_writes{0};
} // namespace

std::uint64_t WritesThroughTables() {
    return g_writes.load(std::memory_order_relaxed);
}

namespace {

// Every write stamps the record with a fresh version, so that a watched Put can tell whether
// anyone wrote the record since it was loaded.
qint64 NewVersion() {
    return static_cast<qint64>(QRandomGenerator::global()->generate64() >> 2) + 1;
}

void BindValue(sql::Statement& st, int index, const Value& v) {
    if (const auto* n = std::get_if<qint64>(&v))
        st.bind(index, *n);
    else
        st.bind(index, std::get<QString>(v));
}

} // namespace

TableAccess::TableAccess(Store& store, const TableDecl& decl, const QString& file, OpenMode mode)
    : store_(store)
    , table_(store.openTable(decl, file, mode)) {}

TableAccess::~TableAccess() {
    {
        std::lock_guard lock(table_->file().mutex());
        if (streaming_ || locked_)
            table_->file().commit();
    }
    store_.closeTable(table_);
}

Err TableAccess::setError(Err code) {
    error_ = StoreError{code, {}, 0};
    return code;
}

Err TableAccess::setError(const StoreError& e) {
    error_ = e;
    return e.code;
}

std::vector<Value> TableAccess::keyValues(int key, const void* record) const {
    std::vector<Value> values;
    if (key < 0)
        return values;
    const TableDecl& d = table_->decl();
    const KeyDecl& k = d.keys[static_cast<std::size_t>(key)];
    values.reserve(k.components.size());
    for (int c : k.components) {
        const FieldDecl& f = (*d.fields)[static_cast<std::size_t>(c)];
        Value v = f.get(record);
        if (f.isText()) {
            QString t = StoredText(f, std::get<QString>(v));
            values.emplace_back(k.nocase() ? sql::Fold(t) : t);
        } else {
            values.push_back(std::move(v));
        }
    }
    return values;
}

void TableAccess::bindRecord(sql::Statement& st, int first, const void* record) const {
    const TableDecl& d = table_->decl();
    const Schema& s = table_->schema();
    const auto& fields = *d.fields;
    int index = first;
    std::vector<QString> texts(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldDecl& f = fields[i];
        Value v = f.get(record);
        if (f.isText()) {
            texts[i] = StoredText(f, std::get<QString>(v));
            st.bind(index++, texts[i]);
        } else {
            st.bind(index++, std::get<qint64>(v));
        }
    }
    for (int f : s.foldedFields)
        st.bind(index++, sql::Fold(texts[static_cast<std::size_t>(f)]));
}

RecordMeta& TableAccess::meta(const void* record) const {
    return *table_->decl().meta(const_cast<void*>(record));
}

void TableAccess::loadField(sql::Statement* st, int col, std::size_t i, void* record) {
    const FieldDecl& field = (*table_->decl().fields)[i];
    if (!field.isText()) {
        field.setInt(record, st->columnInt(col));
        return;
    }
    const QByteArrayView utf8 = st->columnUtf8(col);
    if (utf8.isEmpty()) {
        field.setText(record, QString());
        return;
    }
    LastText& last = lastText_[i];
    if (std::string_view(last.utf8) != std::string_view(utf8.data(), static_cast<std::size_t>(utf8.size()))) {
        last.utf8.assign(utf8.data(), static_cast<std::size_t>(utf8.size()));
        last.text = QString::fromUtf8(utf8);
    }
    field.setText(record, QString(last.text));
}

void TableAccess::loadMeta(sql::Statement* st, void* record) {
    RecordMeta& m = meta(record);
    m.rowid = st->columnInt(0);
    m.version = st->columnInt(1);
    m.watched = watchNext_;
    watchNext_ = false;
}

void TableAccess::load(sql::Statement* st, void* record) {
    const auto& fields = *table_->decl().fields;
    if (lastText_.size() != fields.size())
        lastText_.resize(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i)
        loadField(st, static_cast<int>(i) + 2, i, record);
    loadMeta(st, record);
}

void TableAccess::load(sql::Statement* st, void* record, const std::vector<int>& only) {
    const auto& fields = *table_->decl().fields;
    if (lastText_.size() != fields.size())
        lastText_.resize(fields.size());
    for (std::size_t c = 0; c < only.size(); ++c)
        loadField(st, static_cast<int>(c) + 2, static_cast<std::size_t>(only[c]), record);
    loadMeta(st, record);
}

Err TableAccess::read(sql::Statement* st, void* record) {
    const sql::Step rc = st->step();
    if (rc != sql::Step::Row) {
        st->reset();
        return setError(rc == sql::Step::Done ? StoreError{Err::NoMoreRecords, {}, 0} : st->error());
    }
    load(st, record);
    st->reset();
    return setError(Err::None);
}

Err TableAccess::set(int key) {
    cursor_ = Cursor{key, Mode::Start, {}, 0};
    return setError(Err::None);
}

Err TableAccess::setFrom(int key, const void* record) {
    cursor_ = Cursor{key, Mode::FromValue, keyValues(key, record), 0};
    return setError(Err::None);
}

Err TableAccess::cursorStatement(const int (&kinds)[4], sql::Statement*& st, int& next,
                                 const std::vector<int>* fields) {
    const auto mode = static_cast<std::size_t>(cursor_.mode);
    const auto kind = static_cast<TableFile::Stmt>(kinds[mode]);
    st = fields != nullptr ? table_->keyStatement(kind, cursor_.key, *fields)
                           : table_->keyStatement(kind, cursor_.key);
    if (!st->valid())
        return setError(st->prepareError());
    next = 1;
    if (cursor_.mode != Mode::Start) {
        for (const Value& v : cursor_.values)
            BindValue(*st, next++, v);
    }
    if (cursor_.mode == Mode::FromRow || cursor_.mode == Mode::AtRow)
        st->bind(next++, cursor_.rowid);
    return Err::None;
}

Err TableAccess::step(bool forward, void* record) {
    std::lock_guard lock(table_->file().mutex());
    static constexpr int kForward[4] = {TableFile::First, TableFile::ValueFrom, TableFile::RowFrom,
                                        TableFile::After};
    static constexpr int kBackward[4] = {TableFile::Last, TableFile::ValueTo, TableFile::RowTo,
                                         TableFile::Before};
    sql::Statement* st = nullptr;
    int next = 1;
    if (const Err e = cursorStatement(forward ? kForward : kBackward, st, next); e != Err::None)
        return e;
    const Err e = read(st, record);
    if (e == Err::None) {
        cursor_.mode = Mode::AtRow;
        cursor_.values = keyValues(cursor_.key, record);
        cursor_.rowid = meta(record).rowid;
    }
    return e;
}

Err TableAccess::next(void* record) {
    return step(true, record);
}

Err TableAccess::nextBatch(int n, const std::function<void*()>& append) {
    return batch(n, nullptr, append);
}

Err TableAccess::nextBatch(int n, std::vector<int> fields, const std::function<void*()>& append) {
    // The key's own fields are read too: the next batch goes on from the last record's.
    if (cursor_.key >= 0)
        for (int c : table_->decl().keys[static_cast<std::size_t>(cursor_.key)].components)
            fields.push_back(c);
    const int count = static_cast<int>(table_->decl().fields->size());
    std::erase_if(fields, [count](int f) { return f < 0 || f >= count; });
    std::sort(fields.begin(), fields.end());
    fields.erase(std::unique(fields.begin(), fields.end()), fields.end());
    return batch(n, &fields, append);
}

Err TableAccess::batch(int n, const std::vector<int>* fields, const std::function<void*()>& append) {
    if (n <= 0)
        return setError(Err::None);
    std::lock_guard lock(table_->file().mutex());
    static constexpr int kKinds[4] = {TableFile::FirstN, TableFile::ValueFromN, TableFile::RowFromN,
                                      TableFile::AfterN};
    sql::Statement* st = nullptr;
    int index = 1;
    if (const Err e = cursorStatement(kKinds, st, index, fields); e != Err::None)
        return e;
    st->bind(index, static_cast<qint64>(n));
    if (readAhead_)
        askAhead(st, n, fields);
    void* last = nullptr;
    sql::Step rc = sql::Step::Done;
    while ((rc = st->step()) == sql::Step::Row) {
        last = append();
        if (fields != nullptr)
            load(st, last, *fields);
        else
            load(st, last);
    }
    // The statement is reset at once: between batches it holds no lock on the file.
    st->reset();
    if (rc != sql::Step::Done)
        return setError(st->error());
    if (last == nullptr)
        return setError(Err::NoMoreRecords);
    cursor_.mode = Mode::AtRow;
    cursor_.values = keyValues(cursor_.key, last);
    cursor_.rowid = meta(last).rowid;
    return setError(Err::None);
}

void TableAccess::askAhead(sql::Statement* st, int n, const std::vector<int>* fields) {
    // The next batch goes on after the last row: its key values and row number, as the
    // answer holds them. A key that ignores letter case is bound folded, which the answer does
    // not hold: its batches are not asked ahead.
    std::vector<int> columns;
    if (cursor_.key >= 0) {
        const KeyDecl& k = table_->decl().keys[static_cast<std::size_t>(cursor_.key)];
        for (int c : k.components) {
            if (k.nocase() && (*table_->decl().fields)[static_cast<std::size_t>(c)].isText())
                return;
            if (fields == nullptr) {
                columns.push_back(c + 2);
                continue;
            }
            const auto at = std::find(fields->begin(), fields->end(), c);
            if (at == fields->end())
                return;
            columns.push_back(static_cast<int>(at - fields->begin()) + 2);
        }
    }
    columns.push_back(0);
    sql::Statement* next = fields != nullptr ? table_->keyStatement(TableFile::AfterN, cursor_.key, *fields)
                                             : table_->keyStatement(TableFile::AfterN, cursor_.key);
    if (next->valid())
        st->readAheadInto(next, std::move(columns), n);
}

Err TableAccess::previous(void* record) {
    return step(false, record);
}

Err TableAccess::get(int key, void* record) {
    std::lock_guard lock(table_->file().mutex());
    sql::Statement* st = table_->keyStatement(TableFile::Equal, key);
    if (!st->valid())
        return setError(st->prepareError());
    int index = 1;
    for (const Value& v : keyValues(key, record))
        BindValue(*st, index++, v);
    const Err e = read(st, record);
    return e == Err::NoMoreRecords ? setError(Err::RecordNotFound) : e;
}

Err TableAccess::fetch(qint64 rowid, void* record) {
    std::lock_guard lock(table_->file().mutex());
    sql::Statement* st = table_->tableStatement(TableFile::ByRowid);
    if (!st->valid())
        return setError(st->prepareError());
    st->bind(1, rowid);
    const Err e = read(st, record);
    return e == Err::NoMoreRecords ? setError(Err::RecordNotFound) : e;
}

Err TableAccess::add(void* record) {
    g_writes.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard lock(table_->file().mutex());
    if (table_->file().readOnly())
        return setError(table_->file().readOnlyError());
    sql::Statement* st = table_->tableStatement(TableFile::Insert);
    if (!st->valid())
        return setError(st->prepareError());
    const qint64 version = NewVersion();
    st->bind(1, version);
    bindRecord(*st, 2, record);
    const sql::Step rc = st->step();
    st->reset();
    if (rc != sql::Step::Done)
        return setError(st->error());
    RecordMeta& m = meta(record);
    m.rowid = table_->file().connection().lastInsertRowid();
    m.version = version;
    m.watched = false;
    return setError(Err::None);
}

Err TableAccess::tryAdd(void* record) {
    std::lock_guard lock(table_->file().mutex());
    Database& db = table_->file();
    if (!db.inTransaction() || !db.failuresEndTransactions())
        return add(record);
    sql::Connection& conn = db.connection();
    if (const StoreError e = conn.exec(QStringLiteral("SAVEPOINT kr_try")); !e.ok())
        return setError(e);
    const Err added = add(record);
    const StoreError kept = error_;
    StoreError ended =
        added == Err::None ? StoreError{} : conn.exec(QStringLiteral("ROLLBACK TO SAVEPOINT kr_try"));
    if (ended.ok())
        ended = conn.exec(QStringLiteral("RELEASE SAVEPOINT kr_try"));
    if (!ended.ok())
        return setError(ended);
    return setError(kept);
}

Err TableAccess::put(void* record) {
    g_writes.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard lock(table_->file().mutex());
    if (table_->file().readOnly())
        return setError(table_->file().readOnlyError());
    RecordMeta& m = meta(record);
    if (m.rowid == 0)
        return setError(Err::NoMoreRecords);
    sql::Statement* st = table_->tableStatement(m.watched ? TableFile::UpdateChecked : TableFile::Update);
    if (!st->valid())
        return setError(st->prepareError());
    const qint64 version = NewVersion();
    const int fieldCount =
        static_cast<int>(table_->schema().columns.size() + table_->schema().foldedColumns.size());
    st->bind(1, version);
    bindRecord(*st, 2, record);
    st->bind(fieldCount + 2, m.rowid);
    if (m.watched)
        st->bind(fieldCount + 3, m.version);
    const sql::Step rc = st->step();
    st->reset();
    if (rc != sql::Step::Done)
        return setError(st->error());
    if (table_->file().connection().changes() == 0) {
        // Either another station wrote the record since it was loaded, or it is gone.
        sql::Statement* byRow = table_->tableStatement(TableFile::ByRowid);
        byRow->bind(1, m.rowid);
        const bool exists = byRow->step() == sql::Step::Row;
        byRow->reset();
        return setError(exists && m.watched ? Err::RecordChanged : Err::NoMoreRecords);
    }
    m.version = version;
    m.watched = false;
    return setError(Err::None);
}

Err TableAccess::remove(void* record) {
    g_writes.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard lock(table_->file().mutex());
    if (table_->file().readOnly())
        return setError(table_->file().readOnlyError());
    RecordMeta& m = meta(record);
    sql::Statement* st = table_->tableStatement(TableFile::Delete);
    if (!st->valid())
        return setError(st->prepareError());
    st->bind(1, m.rowid);
    const sql::Step rc = st->step();
    st->reset();
    if (rc != sql::Step::Done)
        return setError(st->error());
    if (table_->file().connection().changes() == 0)
        return setError(Err::NoMoreRecords);
    m = RecordMeta{};
    return setError(Err::None);
}

bool TableAccess::duplicate(int key, const void* record) {
    const KeyDecl& k = table_->decl().keys[static_cast<std::size_t>(key)];
    if (!k.unique())
        return false;
    std::lock_guard lock(table_->file().mutex());
    sql::Statement* st = table_->keyStatement(TableFile::Exists, key);
    if (!st->valid())
        return false;
    int index = 1;
    for (const Value& v : keyValues(key, record))
        BindValue(*st, index++, v);
    st->bind(index, meta(record).rowid);
    const bool found = st->step() == sql::Step::Row;
    st->reset();
    return found;
}

int TableAccess::duplicateKey(const void* record) {
    const auto& keys = table_->decl().keys;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (duplicate(static_cast<int>(i), record))
            return static_cast<int>(i);
    }
    return -1;
}

qint64 TableAccess::records() {
    std::lock_guard lock(table_->file().mutex());
    sql::Statement* st = table_->tableStatement(TableFile::Count);
    const sql::Step rc = st->step();
    const qint64 n = rc == sql::Step::Row ? st->columnInt(0) : 0;
    st->reset();
    setError(rc == sql::Step::Row ? StoreError{} : st->error());
    return n;
}

qint64 TableAccess::countEqual(int field, const Value& value) {
    std::lock_guard lock(table_->file().mutex());
    const Schema& schema = table_->schema();
    const FieldDecl& f = (*decl().fields)[static_cast<std::size_t>(field)];
    sql::Statement st(table_->file().connection(),
                      QStringLiteral("SELECT count(*) FROM %1 WHERE %2=?")
                          .arg(schema.table, schema.columns[static_cast<qsizetype>(field)]));
    if (!st.valid()) {
        setError(st.prepareError());
        return -1;
    }
    if (const auto* text = std::get_if<QString>(&value))
        st.bind(1, StoredText(f, *text));
    else
        st.bind(1, std::get<qint64>(value));
    const sql::Step rc = st.step();
    const qint64 n = rc == sql::Step::Row ? st.columnInt(0) : -1;
    setError(rc == sql::Step::Row ? StoreError{} : st.error());
    return n;
}

qint64 TableAccess::lastRow() {
    std::lock_guard lock(table_->file().mutex());
    sql::Statement st(table_->file().connection(),
                      QStringLiteral("SELECT max(_id) FROM %1").arg(table_->schema().table));
    if (!st.valid()) {
        setError(st.prepareError());
        return 0;
    }
    const sql::Step rc = st.step();
    const qint64 n = rc == sql::Step::Row ? st.columnInt(0) : 0;
    setError(rc == sql::Step::Row ? StoreError{} : st.error());
    return n;
}

qint64 TableAccess::keyRecords(int key) {
    std::lock_guard lock(table_->file().mutex());
    const Schema& schema = table_->schema();
    const KeySchema& k = schema.keys[static_cast<std::size_t>(key)];
    // The condition is the one the key's index was made with, so the count reads only the
    // index, not the records.
    sql::Statement st(table_->file().connection(),
                      QStringLiteral("SELECT count(*) FROM %1%2 WHERE %3")
                          .arg(schema.table, table_->file().indexedBy(k), k.optCondition));
    if (!st.valid()) {
        setError(st.prepareError());
        return -1;
    }
    const sql::Step rc = st.step();
    const qint64 n = rc == sql::Step::Row ? st.columnInt(0) : -1;
    setError(rc == sql::Step::Row ? StoreError{} : st.error());
    return n;
}

Err TableAccess::leftOutRows(int key, qint64 after, qint64 upTo, std::vector<qint64>& out) {
    out.clear();
    std::lock_guard lock(table_->file().mutex());
    const Schema& schema = table_->schema();
    sql::Statement st(table_->file().connection(),
                      QStringLiteral("SELECT _id FROM %1 WHERE _id>?1 AND _id<=?2 AND NOT %2 ORDER BY _id")
                          .arg(schema.table, schema.keys[static_cast<std::size_t>(key)].optCondition));
    if (!st.valid())
        return setError(st.prepareError());
    st.bind(1, after);
    st.bind(2, upTo);
    sql::Step rc = sql::Step::Done;
    while ((rc = st.step()) == sql::Step::Row)
        out.push_back(st.columnInt(0));
    return setError(rc == sql::Step::Done ? StoreError{} : st.error());
}

Position TableAccess::position(const void* record) const {
    return Position{cursor_.key, keyValues(cursor_.key, record), meta(record).rowid};
}

Err TableAccess::reset(const Position& p) {
    cursor_ = Cursor{p.key, Mode::FromRow, p.values, p.rowid};
    return setError(Err::None);
}

Err TableAccess::reget(const Position& p, void* record) {
    return fetch(p.rowid, record);
}

Err TableAccess::lock(int waitSeconds) {
    std::lock_guard lock(table_->file().mutex());
    const StoreError e = table_->file().begin(waitSeconds * 1000, true);
    if (e.ok())
        locked_ = true;
    return setError(e);
}

Err TableAccess::empty() {
    g_writes.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard lock(table_->file().mutex());
    if (table_->file().readOnly())
        return setError(table_->file().readOnlyError());
    sql::Statement* st = table_->tableStatement(TableFile::Empty);
    const sql::Step rc = st->step();
    st->reset();
    return setError(rc == sql::Step::Done ? StoreError{} : st->error());
}

Err TableAccess::unlock() {
    std::lock_guard lock(table_->file().mutex());
    if (!locked_)
        return setError(Err::None);
    locked_ = false;
    return setError(table_->file().commit());
}

Err TableAccess::stream() {
    std::lock_guard lock(table_->file().mutex());
    // Inside a transaction the writes are already gathered.
    if (table_->file().inTransaction())
        return setError(Err::None);
    const StoreError e = table_->file().begin(table_->file().statementWaitMs(), false);
    if (e.ok())
        streaming_ = true;
    return setError(e);
}

Err TableAccess::flush() {
    std::lock_guard lock(table_->file().mutex());
    if (!streaming_)
        return setError(Err::None);
    streaming_ = false;
    return setError(table_->file().commit());
}

void TableAccess::send(const QString& option) {
    if (option.compare(QStringLiteral("QUICKSCAN=on"), Qt::CaseInsensitive) == 0)
        readAhead_ = true;
    else if (option.compare(QStringLiteral("QUICKSCAN=off"), Qt::CaseInsensitive) == 0)
        readAhead_ = false;
    std::lock_guard lock(table_->file().mutex());
    table_->file().send(option);
}

} // namespace kr
