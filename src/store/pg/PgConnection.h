#pragma once

// A thin owner of one libpq connection and of the statements prepared on it. Every round trip
// has a deadline: the request is sent without blocking, the answer awaited on the socket, and
// a request still unanswered near its deadline is cancelled. Statements keep their text and
// are prepared again on the server after the connection was made anew.

#include "store/Database.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace kr::pg {

struct Session;

// A statement in the drivers' shared form (?N, and ? for the next number) with PostgreSQL's
// $N parameters, outside quoted texts, quoted names and comments. `count` receives the
// highest parameter number.
// `used`: which of the numbers 1..count the statement names (a statement may leave some out).
QString TranslateParameters(const QString& sql, int* count = nullptr, std::vector<bool>* used = nullptr);

// The store's error for a server error: its SQLSTATE and message.
StoreError ErrorFromState(const QByteArray& sqlState, const QString& message);

// The server's lock wait for a round trip that may wait `waitMs` in all: a little less, so
// that the server's own answer comes before the round trip's cancel.
int LockTimeoutFor(int waitMs);

// Statements and preparations this process sent to servers so far.
quint64 RoundTrips();

class PgConnection final : public sql::Connection {
public:
    PgConnection();
    ~PgConnection() override;
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Connects within `waitMs` to a libpq URI or conninfo, adding the timeouts and keepalives
    // that it does not set itself. A connection open before is closed first.
    StoreError open(const QString& conninfo, int waitMs);
    void close();
    bool isOpen() const override;

    std::unique_ptr<sql::PreparedStatement> prepare(const QString& sql, StoreError& error) override;
    StoreError exec(const QString& sql) override;
    qint64 changes() const override;
    qint64 lastInsertRowid() const override;

    // Where each round trip takes the milliseconds it may wait (2000 when none is set).
    void setWaitSource(std::function<int()> source);

    // One statement with parameters, run at once: the rows of its result as texts (a NULL as
    // an empty text).
    struct Rows {
        StoreError error;
        std::vector<std::vector<QString>> rows;
        bool ok() const { return error.ok(); }
    };
    Rows query(const QString& sql, const std::vector<QString>& params = {});

    // The server's process of this connection; 0 when not connected.
    int backendPid() const;
    // The connection's socket, -1 when not connected: readable when the server sent something
    // unasked (a notification) or the connection broke.
    int socket() const;
    // Counts the connections made: a statement prepared on an earlier one is prepared again.
    quint64 generation() const;
    // Rows written through this connection since it was made.
    qint64 ownWrites() const;
    // The server and role, as messages name them.
    QString serverName() const;
    QString roleName() const;
    // Whether a transaction is open on the server (a failed one included).
    bool inServerTransaction() const;
    // The command tag of the last statement that succeeded ("COMMIT", "ROLLBACK", "INSERT 0 1").
    QByteArray lastCommand() const;

    struct Notification {
        QString channel;
        QString payload;
        int pid = 0;
    };
    // The notifications the server sent so far; reads what has arrived, never waits.
    std::vector<Notification> takeNotifications();

private:
    std::shared_ptr<Session> session_;
};

} // namespace kr::pg
