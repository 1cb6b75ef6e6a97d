#include "store/pg/PgConnection.h"

#include <QRegularExpression>

#include <libpq-fe.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace kr::pg {

namespace {

constexpr int kDefaultWaitMs = Database::kLongestWaitMs;
// Part of a wait kept for the server's answer to a cancel.
constexpr int kCancelGraceMs = 150;
// The least a round trip is given, however little is left of the caller's wait: the lock
// wait on the server is what tells a busy station, not the network.
constexpr int kLeastTripMs = 250;

qint64 NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

constexpr Oid kTextOid = 25;

std::atomic<quint64> g_roundTrips{0};

bool IsTextType(Oid type) {
    switch (type) {
    case 18:   // char
    case 19:   // name
    case 25:   // text
    case 705:  // unknown
    case 1042: // bpchar
    case 1043: // varchar
        return true;
    default:
        return false;
    }
}

qint64 ParseInt(const char* v, int length) {
    if (v == nullptr || length <= 0)
        return 0;
    if (length == 1 && (v[0] == 't' || v[0] == 'f'))
        return v[0] == 't' ? 1 : 0;
    // The server's own decimal form: an optional minus and digits (the program's numbers are
    // at most 64 bits, so 19 digits never overflow). Anything else goes the long way.
    const bool negative = v[0] == '-';
    const int first = negative ? 1 : 0;
    if (length - first < 1 || length - first > 18)
        return std::strtoll(v, nullptr, 10);
    qint64 n = 0;
    for (int i = first; i < length; ++i) {
        const unsigned d = static_cast<unsigned char>(v[i]) - '0';
        if (d > 9)
            return std::strtoll(v, nullptr, 10);
        n = n * 10 + d;
    }
    return negative ? -n : n;
}

int NumericState(const QByteArray& state) {
    bool ok = false;
    const int n = state.toInt(&ok);
    return ok ? n : 0;
}

QString Trimmed(const char* text) {
    return QString::fromUtf8(text ? text : "").trimmed();
}

} // namespace

StoreError ErrorFromState(const QByteArray& sqlState, const QString& message) {
    const int code = NumericState(sqlState);
    if (sqlState == "23505")
        return StoreError{Err::DuplicateKey, message, code};
    if (sqlState == "55P03" || sqlState == "40P01" || sqlState == "40001" || sqlState == "57014")
        return StoreError{Err::IsLocked, message, code};
    if (sqlState.startsWith("08"))
        return StoreError{Err::StorageError, message, code};
    return StoreError{
        Err::StorageError,
        message + QStringLiteral(" [SQLSTATE ") + QString::fromLatin1(sqlState) + QLatin1Char(']'), code};
}

int LockTimeoutFor(int waitMs) {
    return std::max(1, waitMs - std::min(kCancelGraceMs, waitMs / 2));
}

QString TranslateParameters(const QString& sql, int* count, std::vector<bool>* used) {
    QString out;
    out.reserve(sql.size() + 8);
    int highest = 0;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // A quoted text or name, its quote doubled inside.
            qsizetype j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out += QStringView(sql).mid(i, std::min(j, n - 1) - i + 1);
            i = j;
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            qsizetype j = sql.indexOf(QLatin1Char('\n'), i);
            if (j < 0)
                j = n - 1;
            out += QStringView(sql).mid(i, j - i + 1);
            i = j;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            qsizetype j = sql.indexOf(QStringLiteral("*/"), i + 2);
            j = j < 0 ? n - 1 : j + 1;
            out += QStringView(sql).mid(i, j - i + 1);
            i = j;
            continue;
        }
        if (c == QLatin1Char('?')) {
            qsizetype j = i + 1;
            while (j < n && sql[j].isDigit())
                ++j;
            int number = highest + 1;
            if (j > i + 1)
                number = QStringView(sql).mid(i + 1, j - i - 1).toInt();
            highest = std::max(highest, number);
            if (used != nullptr && number > 0) {
                if (used->size() < static_cast<std::size_t>(number))
                    used->resize(static_cast<std::size_t>(number), false);
                (*used)[static_cast<std::size_t>(number - 1)] = true;
            }
            out += QLatin1Char('$') + QString::number(number);
            i = j - 1;
            continue;
        }
        out += c;
    }
    if (count)
        *count = highest;
    return out;
}

// ------------------------------------------------------------------------------ Session

// A request sent before its caller asked for it (a scan's next batch, sent as soon as the
// answer to the current one is in): the statement that sent it takes its answer when asked with
// the same parameters; before anything else is sent on the connection it is taken and dropped,
// so that what is read afterwards sees all that was sent before.
struct AheadRequest {
    virtual ~AheadRequest() = default;
    virtual void drop() = 0;
};

// The connection as the statements share it: they may outlive the PgConnection.
struct Session {
    PGconn* conn = nullptr;
    quint64 generation = 0;
    bool broken = false;
    qint64 changes = 0;
    qint64 lastInsertRowid = 0;
    qint64 ownWrites = 0;
    QByteArray lastCommand;
    quint64 nextName = 0;
    std::vector<QByteArray> unused; // prepared statements to deallocate
    std::function<int()> waitSource;
    std::shared_ptr<std::atomic<bool>> cancelDone;
    AheadRequest* ahead = nullptr; // the request sent ahead whose answer is not taken yet

    ~Session() { finish(); }

    void finish() {
        if (conn)
            PQfinish(conn);
        conn = nullptr;
        unused.clear();
        ahead = nullptr;
    }

    // Takes and drops the answer to a request sent ahead, so that another can be sent.
    void settleAhead() {
        if (AheadRequest* a = std::exchange(ahead, nullptr))
            a->drop();
    }

    bool usable() const { return conn && !broken && PQstatus(conn) == CONNECTION_OK; }

    int waitMs() const { return waitSource ? std::max(0, waitSource()) : kDefaultWaitMs; }

    StoreError notConnected() const {
        return StoreError{Err::StorageError, QStringLiteral("Not connected to the database server"), 0};
    }

    StoreError connectionError() {
        broken = true;
        QString text = Trimmed(conn ? PQerrorMessage(conn) : nullptr);
        if (text.isEmpty())
            text = QStringLiteral("The connection to the database server was lost");
        return StoreError{Err::StorageError, text, 0};
    }

    StoreError resultError(const PGresult* r, bool cancelled, int waitedMs) {
        const QByteArray state(PQresultErrorField(r, PG_DIAG_SQLSTATE));
        QString message = Trimmed(PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY));
        if (message.isEmpty())
            message = Trimmed(PQresultErrorMessage(r));
        if (state.isEmpty() || PQstatus(conn) == CONNECTION_BAD)
            return connectionError();
        if (state == "57014" && cancelled)
            return StoreError{Err::IsLocked,
                              QStringLiteral("The database server did not answer within %1 ms").arg(waitedMs),
                              57014};
        if (state.startsWith("28"))
            return StoreError{Err::StorageError,
                              QStringLiteral("The server %1 refused the role %2: %3")
                                  .arg(serverName(), QString::fromUtf8(PQuser(conn)), message),
                              NumericState(state)};
        const QString detail = Trimmed(PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL));
        return ErrorFromState(state, detail.isEmpty() ? message : message + QStringLiteral(": ") + detail);
    }

    QString serverName() const {
        if (!conn)
            return {};
        const QString host = QString::fromUtf8(PQhost(conn));
        const QString port = QString::fromUtf8(PQport(conn));
        return port.isEmpty() ? host : host + QLatin1Char(':') + port;
    }

    // Waits for the socket, at most until `deadline`; false when the time ran out.
    bool waitSocket(short events, qint64 deadline) {
        for (;;) {
            const qint64 left = deadline - NowMs();
            if (left <= 0)
                return false;
            pollfd p{PQsocket(conn), events, 0};
            const int r = ::poll(&p, 1, static_cast<int>(left));
            if (r > 0)
                return true;
            if (r == 0)
                return false;
            if (errno != EINTR)
                return true; // let libpq find out what is wrong with the socket
        }
    }

    void cancel() {
        // The cancel goes over a connection of its own: it must not hold up the caller.
        PGcancel* c = PQgetCancel(conn);
        if (!c)
            return;
        auto done = std::make_shared<std::atomic<bool>>(false);
        cancelDone = done;
        std::thread([c, done] {
            char buffer[256];
            PQcancel(c, buffer, sizeof buffer);
            PQfreeCancel(c);
            done->store(true);
        }).detach();
    }

    // A cancel that reached the server after its statement had ended would cancel the next
    // one: the next request waits for it to be delivered (a little while at most).
    void settleCancel() {
        if (!cancelDone)
            return;
        const qint64 until = NowMs() + kCancelGraceMs;
        while (!cancelDone->load() && NowMs() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        cancelDone.reset();
    }

    // Awaits the answer to a request just sent, within the wait the caller gives; keeps the
    // last result, or the first failed one.
    StoreError await(ResultPtr& last) {
        last.reset();
        const int wait = std::max(kLeastTripMs, waitMs());
        const qint64 start = NowMs();
        const qint64 deadline = start + wait;
        const int grace = std::min(kCancelGraceMs, wait / 2);
        qint64 cancelAt = deadline - grace;
        bool cancelled = false;
        // Send what libpq could not send at once.
        for (;;) {
            const int f = PQflush(conn);
            if (f == 0)
                break;
            if (f < 0 || !waitSocket(POLLOUT | POLLIN, deadline)) {
                if (f >= 0) {
                    finish();
                    broken = true;
                    return StoreError{
                        Err::StorageError,
                        QStringLiteral("The database server took no request within %1 ms").arg(wait), 0};
                }
                return connectionError();
            }
            if (PQconsumeInput(conn) == 0)
                return connectionError();
        }
        StoreError failure;
        for (;;) {
            while (PQisBusy(conn)) {
                const qint64 until = cancelled ? deadline : cancelAt;
                if (!waitSocket(POLLIN, until)) {
                    if (!cancelled) {
                        cancel();
                        cancelled = true;
                        continue;
                    }
                    // No answer even to the cancel: the connection is of no more use.
                    PQfinish(conn);
                    conn = nullptr;
                    broken = true;
                    return StoreError{
                        Err::StorageError,
                        QStringLiteral("The database server did not answer within %1 ms").arg(wait), 0};
                }
                if (PQconsumeInput(conn) == 0)
                    return connectionError();
            }
            ResultPtr r(PQgetResult(conn));
            if (!r)
                break;
            const ExecStatusType status = PQresultStatus(r.get());
            if (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE ||
                status == PGRES_NONFATAL_ERROR) {
                if (failure.ok())
                    failure = resultError(r.get(), cancelled, static_cast<int>(NowMs() - start));
                continue;
            }
            if (failure.ok())
                last = std::move(r);
        }
        if (cancelled)
            settleCancel();
        if (failure.ok() && PQstatus(conn) == CONNECTION_BAD)
            return connectionError();
        return failure;
    }

    // Deallocates the statements no longer used, when no transaction is open (a failed one
    // would refuse it).
    void dropUnused() {
        settleAhead();
        if (unused.empty() || PQtransactionStatus(conn) != PQTRANS_IDLE)
            return;
        QByteArray sql;
        for (const QByteArray& name : unused)
            sql += "DEALLOCATE " + name + ';';
        unused.clear();
        g_roundTrips.fetch_add(1, std::memory_order_relaxed);
        if (PQsendQuery(conn, sql.constData()) == 0)
            return;
        ResultPtr r;
        await(r);
    }

    void noteCommand(const PGresult* r) {
        const char* tuples = PQcmdTuples(const_cast<PGresult*>(r));
        changes = tuples && *tuples ? std::strtoll(tuples, nullptr, 10) : 0;
        const char* status = PQcmdStatus(const_cast<PGresult*>(r));
        lastCommand = QByteArray(status);
        if (std::strncmp(status, "INSERT", 6) == 0 || std::strncmp(status, "UPDATE", 6) == 0 ||
            std::strncmp(status, "DELETE", 6) == 0 || std::strncmp(status, "MERGE", 5) == 0)
            ownWrites += changes;
    }
};

// ------------------------------------------------------------------------------ statements

namespace {

// Whether the statement is a single-row insert into a table with the bookkeeping columns:
// then it reports the row number it gave.
bool ReturnsRowid(const QString& sql) {
    const QString s = sql.trimmed();
    if (!s.startsWith(QStringLiteral("INSERT"), Qt::CaseInsensitive))
        return false;
    static const QRegularExpression other(QStringLiteral("\\b(RETURNING|SELECT)\\b"),
                                          QRegularExpression::CaseInsensitiveOption);
    if (s.contains(other))
        return false;
    const qsizetype open = s.indexOf(QLatin1Char('('));
    const qsizetype close = s.indexOf(QLatin1Char(')'), open);
    if (open < 0 || close < 0)
        return false;
    const QString columns = s.mid(open + 1, close - open - 1);
    for (const QString& c : columns.split(QLatin1Char(','))) {
        QString name = c.trimmed();
        name.remove(QLatin1Char('"'));
        if (name == QStringLiteral("_ver") || name == QStringLiteral("_id"))
            return true;
    }
    return false;
}

class PgStatement final : public sql::PreparedStatement, private AheadRequest {
public:
    PgStatement(std::shared_ptr<Session> session, QByteArray text, int params, const std::vector<bool>& used,
                bool returnsRowid)
        : session_(std::move(session))
        , text_(std::move(text))
        , values_(static_cast<std::size_t>(params))
        , set_(static_cast<std::size_t>(params), false)
        , types_(static_cast<std::size_t>(params), 0)
        , returnsRowid_(returnsRowid) {
        name_ = "kr" + QByteArray::number(++session_->nextName);
        // A number the statement leaves out has no type the server could infer: it is a text.
        for (std::size_t i = 0; i < types_.size(); ++i)
            if (i >= used.size() || !used[i])
                types_[i] = kTextOid;
    }

    ~PgStatement() override {
        if (session_->ahead == this)
            session_->settleAhead();
        if (preparedOn_ != 0 && preparedOn_ == session_->generation && session_->conn)
            session_->unused.push_back(name_);
    }

    void readAheadInto(sql::PreparedStatement* next, std::vector<int> columns, int limit) override {
        aheadInto_ = dynamic_cast<PgStatement*>(next);
        if (aheadInto_ != nullptr && aheadInto_->session_ != session_)
            aheadInto_ = nullptr;
        aheadColumns_ = std::move(columns);
        aheadLimit_ = limit;
    }

    // Prepares the statement on the server when this connection has not yet.
    StoreError ensurePrepared() {
        Session& s = *session_;
        if (!s.usable())
            return s.notConnected();
        if (preparedOn_ == s.generation)
            return {};
        s.settleAhead();
        g_roundTrips.fetch_add(1, std::memory_order_relaxed);
        if (PQsendPrepare(s.conn, name_.constData(), text_.constData(), static_cast<int>(values_.size()),
                          types_.data()) == 0)
            return s.connectionError();
        ResultPtr r;
        StoreError e = s.await(r);
        if (e.ok())
            preparedOn_ = s.generation;
        return e;
    }

    void bind(int index, qint64 value) override {
        if (index < 1 || index > static_cast<int>(values_.size()))
            return;
        values_[static_cast<std::size_t>(index - 1)] = QByteArray::number(value);
        set_[static_cast<std::size_t>(index - 1)] = true;
    }

    void bind(int index, const QString& value) override {
        if (index < 1 || index > static_cast<int>(values_.size()))
            return;
        if (value.contains(QChar(u'\0'))) {
            badBinding_ = index;
            return;
        }
        values_[static_cast<std::size_t>(index - 1)] = value.toUtf8();
        set_[static_cast<std::size_t>(index - 1)] = true;
    }

    sql::Step step() override {
        if (done_)
            clearResult();
        if (!result_) {
            error_ = execute();
            if (!error_.ok())
                return sql::Step::Failed;
            if (!result_ || PQresultStatus(result_.get()) != PGRES_TUPLES_OK) {
                done_ = true;
                return sql::Step::Done;
            }
            if (returnsRowid_) {
                const int n = PQntuples(result_.get());
                if (n > 0)
                    session_->lastInsertRowid =
                        ParseInt(PQgetvalue(result_.get(), n - 1, 0), PQgetlength(result_.get(), n - 1, 0));
                done_ = true;
                return sql::Step::Done;
            }
            row_ = -1;
            rows_ = PQntuples(result_.get());
            columns_ = PQnfields(result_.get());
            sendNextAhead();
        }
        if (++row_ < rows_)
            return sql::Step::Row;
        done_ = true;
        return sql::Step::Done;
    }

    void reset() override {
        clearResult();
        std::fill(set_.begin(), set_.end(), false);
        badBinding_ = 0;
        aheadInto_ = nullptr;
    }

    qint64 columnInt(int col) const override {
        if (!inRange(col))
            return 0;
        // A NULL reads as an empty value, that is 0.
        return ParseInt(PQgetvalue(result_.get(), row_, col), PQgetlength(result_.get(), row_, col));
    }

    QString columnText(int col) const override {
        if (!hasValue(col))
            return {};
        return QString::fromUtf8(PQgetvalue(result_.get(), row_, col), PQgetlength(result_.get(), row_, col));
    }

    QByteArrayView columnUtf8(int col) const override {
        if (!inRange(col))
            return {};
        // A NULL reads as an empty value.
        return QByteArrayView(PQgetvalue(result_.get(), row_, col), PQgetlength(result_.get(), row_, col));
    }

    bool columnIsText(int col) const override {
        return hasValue(col) && IsTextType(PQftype(result_.get(), col));
    }

    StoreError error() const override { return error_; }

private:
    bool inRange(int col) const { return result_ && row_ >= 0 && row_ < rows_ && col >= 0 && col < columns_; }
    bool hasValue(int col) const { return inRange(col) && !PQgetisnull(result_.get(), row_, col); }

    void clearResult() {
        result_.reset();
        row_ = -1;
        rows_ = 0;
        columns_ = 0;
        done_ = false;
    }

    void drop() override {
        aheadPending_ = false;
        ResultPtr r;
        session_->await(r);
    }

    // A full batch's answer is in: the next batch is asked for at once, with the parameters
    // its reader would give (the last row's key columns, then the count), while this one is
    // taken in.
    void sendNextAhead() {
        PgStatement* next = std::exchange(aheadInto_, nullptr);
        Session& s = *session_;
        if (next == nullptr || rows_ != aheadLimit_ || aheadLimit_ <= 0 || s.ahead != nullptr || !s.usable() ||
            next->preparedOn_ != s.generation || next->values_.size() != aheadColumns_.size() + 1)
            return;
        std::vector<QByteArray> values;
        for (int c : aheadColumns_) {
            if (c < 0 || c >= columns_ || PQgetisnull(result_.get(), rows_ - 1, c))
                return;
            values.emplace_back(PQgetvalue(result_.get(), rows_ - 1, c), PQgetlength(result_.get(), rows_ - 1, c));
        }
        values.push_back(QByteArray::number(aheadLimit_));
        std::vector<const char*> pointers;
        std::vector<int> lengths;
        for (const QByteArray& v : values) {
            pointers.push_back(v.constData());
            lengths.push_back(static_cast<int>(v.size()));
        }
        g_roundTrips.fetch_add(1, std::memory_order_relaxed);
        if (PQsendQueryPrepared(s.conn, next->name_.constData(), static_cast<int>(pointers.size()), pointers.data(),
                                lengths.data(), nullptr, 0) == 0)
            return;
        PQflush(s.conn); // the rest, if any, goes as the answer is awaited
        next->aheadValues_ = std::move(values);
        next->aheadPending_ = true;
        s.ahead = next;
    }

    // Whether the request sent ahead is the one the bindings ask for now.
    bool aheadMatches() const {
        if (!aheadPending_ || session_->ahead != this || aheadValues_.size() != values_.size())
            return false;
        for (std::size_t i = 0; i < values_.size(); ++i)
            if (!set_[i] || values_[i] != aheadValues_[i])
                return false;
        return true;
    }

    StoreError execute() {
        if (badBinding_ != 0)
            return StoreError{Err::StorageError,
                              QStringLiteral("A text holding a NUL character cannot be stored (parameter %1)")
                                  .arg(badBinding_),
                              0};
        Session& s = *session_;
        if (!s.usable())
            return s.notConnected();
        if (aheadMatches()) {
            // Asked for already: its answer is the one to take.
            s.ahead = nullptr;
            aheadPending_ = false;
            return takeAnswer();
        }
        aheadPending_ = false;
        s.dropUnused();
        StoreError e = ensurePrepared();
        if (!e.ok())
            return e;
        std::vector<const char*> values(values_.size());
        std::vector<int> lengths(values_.size());
        for (std::size_t i = 0; i < values_.size(); ++i) {
            values[i] = set_[i] ? values_[i].constData() : nullptr; // unbound: NULL
            lengths[i] = static_cast<int>(values_[i].size());
        }
        g_roundTrips.fetch_add(1, std::memory_order_relaxed);
        if (PQsendQueryPrepared(s.conn, name_.constData(), static_cast<int>(values.size()), values.data(),
                                lengths.data(), nullptr, 0) == 0)
            return s.connectionError();
        return takeAnswer();
    }

    // Awaits the answer to the request sent for this statement and keeps it.
    StoreError takeAnswer() {
        ResultPtr r;
        const StoreError e = session_->await(r);
        if (!e.ok())
            return e;
        if (r)
            session_->noteCommand(r.get());
        result_ = std::move(r);
        return {};
    }

    std::shared_ptr<Session> session_;
    QByteArray name_;
    QByteArray text_;
    std::vector<QByteArray> values_;
    std::vector<bool> set_;
    std::vector<Oid> types_;
    bool returnsRowid_;
    int badBinding_ = 0;
    quint64 preparedOn_ = 0;
    // Reading ahead: the statement the next batch is asked of, from which columns of the last
    // row its parameters come, and the batch's size; what was sent ahead of this one.
    PgStatement* aheadInto_ = nullptr;
    std::vector<int> aheadColumns_;
    int aheadLimit_ = 0;
    bool aheadPending_ = false;
    std::vector<QByteArray> aheadValues_;
    ResultPtr result_;
    int row_ = -1;
    int rows_ = 0;    // of the result in hand
    int columns_ = 0;
    bool done_ = false;
    StoreError error_;
};

} // namespace

// ------------------------------------------------------------------------------ PgConnection

PgConnection::PgConnection()
    : session_(std::make_shared<Session>()) {}

PgConnection::~PgConnection() {
    close();
}

StoreError PgConnection::open(const QString& conninfo, int waitMs) {
    Session& s = *session_;
    s.finish();
    s.broken = false;

    char* parseError = nullptr;
    PQconninfoOption* given = PQconninfoParse(conninfo.toUtf8().constData(), &parseError);
    if (!given) {
        const QString text = parseError ? Trimmed(parseError) : QStringLiteral("out of memory");
        PQfreemem(parseError);
        return StoreError{Err::StorageError, QStringLiteral("Invalid database address: ") + text, 0};
    }
    std::vector<QByteArray> keys;
    std::vector<QByteArray> values;
    for (PQconninfoOption* o = given; o->keyword; ++o) {
        if (o->val && std::strcmp(o->keyword, "client_encoding") != 0) {
            keys.emplace_back(o->keyword);
            values.emplace_back(o->val);
        }
    }
    PQconninfoFree(given);
    auto add = [&](const char* key, const QByteArray& value) {
        if (std::find(keys.begin(), keys.end(), QByteArray(key)) == keys.end()) {
            keys.emplace_back(key);
            values.push_back(value);
        }
    };
    add("connect_timeout", QByteArray::number(std::max(2, (waitMs + 999) / 1000)));
    add("keepalives", "1");
    add("keepalives_idle", "10");
    add("keepalives_interval", "5");
    add("keepalives_count", "3");
    add("tcp_user_timeout", "10000");
    add("application_name", "kelvray");
    keys.emplace_back("client_encoding");
    values.emplace_back("UTF8");
    std::vector<const char*> k;
    std::vector<const char*> v;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        k.push_back(keys[i].constData());
        v.push_back(values[i].constData());
    }
    k.push_back(nullptr);
    v.push_back(nullptr);

    const qint64 deadline = NowMs() + std::max(0, waitMs);
    s.conn = PQconnectStartParams(k.data(), v.data(), 0);
    if (!s.conn)
        return StoreError{Err::StorageError, QStringLiteral("Out of memory"), 0};
    auto refused = [&](const QString& why) {
        const QString role = QString::fromUtf8(PQuser(s.conn));
        const QString server = s.serverName();
        s.finish();
        s.broken = true;
        return StoreError{Err::StorageError,
                          QStringLiteral("Cannot connect to the database server %1 as role %2: %3")
                              .arg(server.isEmpty() ? QStringLiteral("(local)") : server, role, why),
                          0};
    };
    if (PQstatus(s.conn) == CONNECTION_BAD)
        return refused(Trimmed(PQerrorMessage(s.conn)));
    PostgresPollingStatusType poll = PGRES_POLLING_WRITING;
    for (;;) {
        if (poll == PGRES_POLLING_OK)
            break;
        if (poll == PGRES_POLLING_FAILED)
            return refused(Trimmed(PQerrorMessage(s.conn)));
        if (!s.waitSocket(poll == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline))
            return refused(QStringLiteral("no answer within %1 ms").arg(waitMs));
        poll = PQconnectPoll(s.conn);
    }
    PQsetnonblocking(s.conn, 1);
    // The server's notices ("already exists, skipping") are no one's concern.
    PQsetNoticeProcessor(
        s.conn, [](void*, const char*) {}, nullptr);
    ++s.generation;
    s.changes = 0;
    s.lastInsertRowid = 0;
    s.ownWrites = 0;
    return {};
}

void PgConnection::close() {
    session_->finish();
}

quint64 RoundTrips() {
    return g_roundTrips.load(std::memory_order_relaxed);
}

bool PgConnection::isOpen() const {
    return session_->usable();
}

std::unique_ptr<sql::PreparedStatement> PgConnection::prepare(const QString& sql, StoreError& error) {
    int params = 0;
    std::vector<bool> used;
    QString text = TranslateParameters(sql, &params, &used);
    const bool returnsRowid = ReturnsRowid(sql);
    if (returnsRowid)
        text += QStringLiteral(" RETURNING _id");
    auto st = std::make_unique<PgStatement>(session_, text.toUtf8(), params, used, returnsRowid);
    error = st->ensurePrepared();
    if (!error.ok())
        return nullptr;
    return st;
}

StoreError PgConnection::exec(const QString& sql) {
    Session& s = *session_;
    if (!s.usable())
        return s.notConnected();
    s.dropUnused();
    g_roundTrips.fetch_add(1, std::memory_order_relaxed);
    if (PQsendQuery(s.conn, sql.toUtf8().constData()) == 0)
        return s.connectionError();
    ResultPtr r;
    StoreError e = s.await(r);
    if (e.ok() && r)
        s.noteCommand(r.get());
    return e;
}

qint64 PgConnection::changes() const {
    return session_->changes;
}

qint64 PgConnection::lastInsertRowid() const {
    return session_->lastInsertRowid;
}

void PgConnection::setWaitSource(std::function<int()> source) {
    session_->waitSource = std::move(source);
}

PgConnection::Rows PgConnection::query(const QString& sql, const std::vector<QString>& params) {
    Rows out;
    Session& s = *session_;
    if (!s.usable()) {
        out.error = s.notConnected();
        return out;
    }
    s.dropUnused();
    std::vector<QByteArray> utf8;
    for (const QString& p : params) {
        if (p.contains(QChar(u'\0'))) {
            out.error = StoreError{Err::StorageError,
                                   QStringLiteral("A text holding a NUL character cannot be stored"), 0};
            return out;
        }
        utf8.push_back(p.toUtf8());
    }
    std::vector<const char*> values;
    for (const QByteArray& u : utf8)
        values.push_back(u.constData());
    g_roundTrips.fetch_add(1, std::memory_order_relaxed);
    if (PQsendQueryParams(s.conn, TranslateParameters(sql).toUtf8().constData(),
                          static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr,
                          0) == 0) {
        out.error = s.connectionError();
        return out;
    }
    ResultPtr r;
    out.error = s.await(r);
    if (!out.error.ok() || !r)
        return out;
    s.noteCommand(r.get());
    const int rows = PQntuples(r.get());
    const int cols = PQnfields(r.get());
    out.rows.reserve(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        std::vector<QString> row;
        row.reserve(static_cast<std::size_t>(cols));
        for (int c = 0; c < cols; ++c)
            row.push_back(QString::fromUtf8(PQgetvalue(r.get(), i, c), PQgetlength(r.get(), i, c)));
        out.rows.push_back(std::move(row));
    }
    return out;
}

int PgConnection::backendPid() const {
    return session_->conn ? PQbackendPID(session_->conn) : 0;
}

int PgConnection::socket() const {
    return session_->conn && !session_->broken ? PQsocket(session_->conn) : -1;
}

quint64 PgConnection::generation() const {
    return session_->generation;
}

qint64 PgConnection::ownWrites() const {
    return session_->ownWrites;
}

QString PgConnection::serverName() const {
    return session_->serverName();
}

QString PgConnection::roleName() const {
    return session_->conn ? QString::fromUtf8(PQuser(session_->conn)) : QString();
}

bool PgConnection::inServerTransaction() const {
    if (!session_->conn)
        return false;
    const PGTransactionStatusType t = PQtransactionStatus(session_->conn);
    return t == PQTRANS_INTRANS || t == PQTRANS_INERROR || t == PQTRANS_ACTIVE;
}

QByteArray PgConnection::lastCommand() const {
    return session_->lastCommand;
}

std::vector<PgConnection::Notification> PgConnection::takeNotifications() {
    std::vector<Notification> out;
    Session& s = *session_;
    if (!s.usable())
        return out;
    if (PQconsumeInput(s.conn) == 0) {
        s.connectionError();
        return out;
    }
    while (PGnotify* n = PQnotifies(s.conn)) {
        out.push_back(Notification{QString::fromUtf8(n->relname), QString::fromUtf8(n->extra), n->be_pid});
        PQfreemem(n);
    }
    return out;
}

} // namespace kr::pg
