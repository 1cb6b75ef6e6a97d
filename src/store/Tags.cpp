#include "store/Tags.h"

#include <cstdlib>
#include <mutex>

namespace kr {

namespace {

// The one remembered count of the process: a set of one user in one tag file. Set 0 means
// nothing is remembered.
struct CountCache {
    QString file;
    qint32 user = 0;
    qint16 set = 0;
    qint32 count = 0;
};

std::mutex g_cacheMutex;
CountCache g_cache;

constexpr int kCountBatch = 100;
constexpr int kClearBatch = 10;

const char* const kSlowDelete = "NewTag_/SlowButSure/DELETE";

int Percent(qint64 part, qint64 whole) {
    return static_cast<int>(qBound(qint64(0), part * 100 / qMax<qint64>(1, whole), qint64(100)));
}

} // namespace

qint32 TagUser(const QString& userName) {
    const QByteArray name = userName.trimmed().toCaseFolded().toUtf8();
    if (name.isEmpty())
        return 0;
    // FNV-1a: the same number on every station and in every run.
    quint32 h = 2166136261u;
    for (const char c : name) {
        h ^= static_cast<quint8>(c);
        h *= 16777619u;
    }
    const auto user = static_cast<qint32>(h & 0x7fffffffu);
    return user == 0 ? 1 : user;
}

Tags::Tags(Store& store, const QString& userName, Progress* progress)
    : store_(store)
    , file_(store.filePath(Tag::decl()).toLower())
    , user_(TagUser(userName))
    , progress_(progress) {}

Tag Tags::keyRecord(qint16 set, qint32 position, const QString& value) const {
    Tag t;
    t.usr = user_;
    t.tbl = set;
    t.ptr = position;
    t.val = value;
    return t;
}

bool Tags::belongs(const Tag& tag, qint16 set) const {
    return tag.usr == user_ && tag.tbl == set;
}

Err Tags::readFirst(Table<Tag>& table, qint16 set, Tag& tag) {
    table.set(Tag::VALKEY, keyRecord(set));
    const Err e = table.next(tag);
    if (e == Err::None)
        return belongs(tag, set) ? Err::None : Err::NoMoreRecords;
    if (e != Err::NoMoreRecords)
        noteReadError(table.error());
    return e;
}

void Tags::noteReadError(const StoreError& e) {
    error_ = e;
}

void Tags::fail(const StoreError& error, const char* operation) const {
    store_.programEnd().endProgram(QStringLiteral("Error #") + QString::number(error.number()) +
                                   QStringLiteral(" - ") + error.text() + QStringLiteral(" (") +
                                   QLatin1String(operation) + QLatin1Char(')'));
    std::abort(); // endProgram does not come back
}

std::optional<qint32> Tags::cachedCount(qint16 set) const {
    std::lock_guard lock(g_cacheMutex);
    if (set != 0 && g_cache.set == set && g_cache.user == user_ && g_cache.file == file_)
        return g_cache.count;
    return std::nullopt;
}

void Tags::cacheCount(qint16 set, qint32 count) const {
    std::lock_guard lock(g_cacheMutex);
    g_cache = CountCache{file_, user_, set, count};
}

void Tags::forgetCount() const {
    std::lock_guard lock(g_cacheMutex);
    g_cache = CountCache{};
}

void Tags::adjustCount(qint16 set, int change) {
    if (run_) {
        if (run_->set == 0 || run_->set == set) {
            run_->set = set;
            run_->change += change;
        } else {
            run_->otherSets = true;
        }
        return;
    }
    std::lock_guard lock(g_cacheMutex);
    if (g_cache.set == set && g_cache.user == user_ && g_cache.file == file_)
        g_cache.count = qMax(0, g_cache.count + change);
    else
        g_cache = CountCache{};
}

void Tags::setTag(qint16 set, qint32 position, const QString& value) {
    error_ = {};
    if (set == 0 || position < 1)
        return;
    Table<Tag> table(store_);
    Tag tag = keyRecord(set, position);
    const Err found = table.get(Tag::PTRKEY, tag);
    if (found == Err::None) {
        tag.val = value;
        if (table.put(tag) != Err::None)
            fail(table.error(), "SetTag_/PUT");
        adjustCount(set, 0);
        return;
    }
    if (found != Err::RecordNotFound) {
        noteReadError(table.error());
        return;
    }
    tag = keyRecord(set, position, value);
    if (table.add(tag) != Err::None)
        fail(table.error(), "SetTag_/ADD");
    adjustCount(set, +1);
}

void Tags::clrTag(qint16 set, qint32 position) {
    error_ = {};
    if (set == 0)
        return;
    Table<Tag> table(store_);
    Tag tag = keyRecord(set, position);
    const Err found = table.get(Tag::PTRKEY, tag);
    if (found == Err::RecordNotFound)
        return;
    if (found != Err::None) {
        noteReadError(table.error());
        return;
    }
    if (table.remove(tag) != Err::None)
        fail(table.error(), "ClrTag_/DELETE");
    adjustCount(set, -1);
}

bool Tags::isTagged(qint16 set, qint32 position) {
    error_ = {};
    if (set == 0)
        return false;
    Table<Tag> table(store_);
    Tag tag = keyRecord(set, position);
    const Err found = table.get(Tag::PTRKEY, tag);
    if (found != Err::None && found != Err::RecordNotFound)
        noteReadError(table.error());
    return found == Err::None;
}

qint32 Tags::firstTag(qint16 set) {
    error_ = {};
    walk_.reset();
    if (set == 0)
        return 0;
    Table<Tag> table(store_);
    Tag tag;
    if (readFirst(table, set, tag) != Err::None)
        return 0;
    walk_ = Walk{set, table.position(tag)};
    return tag.ptr;
}

qint32 Tags::nextTag(qint16 set) {
    error_ = {};
    if (!walk_ || walk_->set != set)
        return 0;
    Table<Tag> table(store_);
    // The walk goes on from the last tag returned, found again by its place in the key:
    // that tag may have been removed since.
    table.reset(walk_->at);
    Tag tag;
    Err e = table.next(tag);
    if (e == Err::None && tag.meta.rowid == walk_->at.rowid)
        e = table.next(tag);
    if (e != Err::None && e != Err::NoMoreRecords)
        noteReadError(table.error());
    if (e != Err::None || !belongs(tag, set)) {
        walk_.reset();
        return 0;
    }
    walk_->at = table.position(tag);
    return tag.ptr;
}

std::vector<qint32> Tags::listTags(qint16 set) {
    error_ = {};
    std::vector<qint32> positions;
    if (set == 0)
        return positions;
    Table<Tag> table(store_);
    Tag tag;
    if (readFirst(table, set, tag) != Err::None)
        return positions;
    positions.push_back(tag.ptr);
    // Read on a thousand at a time: a large selection is listed whole when the list shows it.
    std::vector<Tag> batch;
    Err e = Err::None;
    while ((e = table.nextBatch(batch, 1000)) == Err::None) {
        for (const Tag& t : batch) {
            if (!belongs(t, set))
                return positions;
            positions.push_back(t.ptr);
        }
    }
    if (e != Err::NoMoreRecords)
        noteReadError(table.error());
    return positions;
}

Err Tags::beginWrites() {
    if (run_)
        return Err::None;
    run_.emplace(store_);
    if (run_->table.stream() != Err::None) {
        error_ = run_->table.error();
        run_.reset();
        return error_.code;
    }
    return Err::None;
}

Err Tags::endWrites() {
    if (!run_)
        return Err::None;
    const Err e = run_->table.flush();
    const StoreError stored = run_->table.error();
    const qint16 set = run_->set;
    const int change = run_->change;
    const bool otherSets = run_->otherSets;
    run_.reset();
    if (e != Err::None) {
        // What the run wrote is gone with it: the count is no longer known.
        forgetCount();
        error_ = stored;
        return e;
    }
    if (otherSets)
        forgetCount();
    else if (set != 0)
        adjustCount(set, change);
    return Err::None;
}

qint32 Tags::count(Table<Tag>& table, qint16 set) {
    if (const auto cached = cachedCount(set))
        return *cached;
    Tag tag;
    const Err first = readFirst(table, set, tag);
    if (first == Err::NoMoreRecords)
        cacheCount(set, 0);
    if (first != Err::None)
        return 0;
    const qint64 records = table.records();
    NoProgress none;
    Progress& progress = progress_ != nullptr ? *progress_ : none;
    progress.begin(QStringLiteral("Counting Tags"), QStringLiteral("1"));
    qint32 n = 1;
    Err e = Err::None;
    for (;;) {
        bool more = true;
        for (int i = 0; i < kCountBatch && more; ++i) {
            e = table.next(tag);
            more = e == Err::None && belongs(tag, set);
            if (more)
                ++n;
        }
        progress.update(Percent(n, records));
        progress.setText(QString::number(n));
        if (!more)
            break;
    }
    progress.end();
    // A count cut short by a read error is not remembered.
    if (e == Err::None || e == Err::NoMoreRecords)
        cacheCount(set, n);
    else
        noteReadError(table.error());
    return n;
}

qint32 Tags::countTags(qint16 set) {
    error_ = {};
    if (set == 0)
        return 0;
    if (const auto cached = cachedCount(set))
        return *cached;
    Table<Tag> table(store_);
    return count(table, set);
}

void Tags::newTag(qint16 set) {
    error_ = {};
    if (set == 0)
        return;
    Table<Tag> table(store_);
    Tag tag;
    if (readFirst(table, set, tag) != Err::None)
        return;
    if (!tryQuickClear(table, set))
        slowClear(table, set);
}

bool Tags::tryQuickClear(Table<Tag>& table, qint16 set) {
    if (table.lock(1) != Err::None)
        return false;
    // The ends are looked at under the lock, so that no tag of another set can come in
    // between the look and the emptying.
    Tag first;
    Tag last;
    table.set(Tag::PTRKEY);
    bool onlyThisSet = table.next(first) == Err::None && belongs(first, set);
    table.set(Tag::PTRKEY);
    onlyThisSet = onlyThisSet && table.previous(last) == Err::None && belongs(last, set);
    if (!onlyThisSet) {
        table.unlock();
        return false;
    }
    if (table.empty() != Err::None) {
        // Said once the lock is given back: the message lets the program's events run.
        const StoreError failed = table.error();
        table.unlock();
        fail(failed, "NewTag_/TryQuick/EMPTY");
    }
    if (table.unlock() != Err::None)
        fail(table.error(), "NewTag_/TryQuick/EMPTY");
    cacheCount(set, 0);
    return true;
}

void Tags::slowClear(Table<Tag>& table, qint16 set) {
    const qint32 total = count(table, set);
    if (!error_.ok())
        return;
    NoProgress none;
    Progress& progress = progress_ != nullptr ? *progress_ : none;
    progress.begin(QStringLiteral("Clearing Tags"), QStringLiteral("0%"));
    qint32 deleted = 0;
    Err e = Err::None;
    bool more = true;
    while (more) {
        // Each run of deletes under a lock of its own, ended before the progress step: the
        // window's events run there, the program's timer with them, and its writes must not
        // join a transaction left open here. Without the lock the run of writes still gathers
        // the deletes, waiting for other stations as every write does.
        const bool locked = table.lock(1) == Err::None;
        table.stream();
        table.set(Tag::VALKEY, keyRecord(set));
        std::optional<StoreError> failed;
        for (int i = 0; i < kClearBatch && more; ++i) {
            Tag tag;
            e = table.next(tag);
            more = e == Err::None && belongs(tag, set);
            if (!more)
                break;
            if (table.remove(tag) != Err::None) {
                failed = table.error();
                break;
            }
            ++deleted;
        }
        if (!failed && table.flush() != Err::None)
            failed = table.error();
        if (locked && table.unlock() != Err::None && !failed)
            failed = table.error();
        if (failed) {
            table.flush();
            fail(*failed, kSlowDelete);
        }
        const int percent = Percent(deleted, total);
        progress.update(percent);
        progress.setText(QString::number(percent) + QLatin1Char('%'));
        if (more && progress.cancelled())
            break;
    }
    progress.end();
    // Cancelled: the tags not reached are still there and are still counted.
    if (!more && (e == Err::None || e == Err::NoMoreRecords))
        cacheCount(set, 0);
    else if (more)
        cacheCount(set, qMax(0, total - deleted));
    else {
        forgetCount();
        noteReadError(table.error());
    }
}

} // namespace kr
