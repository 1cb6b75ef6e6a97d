// When a test program runs with KELVRAY_TEST_ON_SERVER set (to the conninfo of the suite's
// PostgreSQL server), every test gets a schema of its own there and KELVRAY_DATABASE naming it: each store
// the test opens, and each program it starts, then keeps the shared tables on the server. The
// schema goes with everything in it when the test ends.

#include "support/ServerSchemas.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

class ServerSchemas;
ServerSchemas* g_schemas = nullptr;

class ServerSchemas final : public testing::EmptyTestEventListener {
public:
    explicit ServerSchemas(QByteArray server)
        : server_(std::move(server)) {
        g_schemas = this;
    }

    // One more schema for this test, dropped with its own.
    QString another() {
        const QByteArray schema = name();
        if (!run("CREATE SCHEMA \"" + schema + "\"")) {
            ADD_FAILURE() << "no schema on the test server: " << error_;
            return {};
        }
        more_.push_back(schema);
        return QString::fromUtf8(server_ + " options='-csearch_path=" + schema + "'");
    }

    void OnTestStart(const testing::TestInfo&) override {
        schema_ = name();
        if (!run("CREATE SCHEMA \"" + schema_ + "\"")) {
            ADD_FAILURE() << "no schema on the test server: " << error_;
            return;
        }
        const QByteArray database = server_ + " options='-csearch_path=" + schema_ + "'";
        ::setenv("KELVRAY_DATABASE", database.constData(), 1);
    }

    void OnTestEnd(const testing::TestInfo&) override {
        ::unsetenv("KELVRAY_DATABASE");
        if (!schema_.isEmpty())
            run("DROP SCHEMA IF EXISTS \"" + schema_ + "\" CASCADE");
        schema_.clear();
        for (const QByteArray& s : more_)
            run("DROP SCHEMA IF EXISTS \"" + s + "\" CASCADE");
        more_.clear();
    }

private:
    static QByteArray name() {
        return QStringLiteral("s%1_%2")
            .arg(::getpid())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
            .toUtf8();
    }

    bool run(const QByteArray& sql) {
        PGconn* c = PQconnectdb(server_.constData());
        bool ok = PQstatus(c) == CONNECTION_OK;
        if (ok) {
            PGresult* r = PQexec(c, sql.constData());
            ok = PQresultStatus(r) == PGRES_COMMAND_OK;
            PQclear(r);
        }
        error_ = PQerrorMessage(c);
        PQfinish(c);
        return ok;
    }

    QByteArray server_;
    QByteArray schema_;
    std::vector<QByteArray> more_;
    std::string error_;
};

const bool kInstalled = [] {
    const char* server = std::getenv("KELVRAY_TEST_ON_SERVER");
    if (server != nullptr && *server != '\0')
        testing::UnitTest::GetInstance()->listeners().Append(new ServerSchemas(server));
    return true;
}();

} // namespace

namespace kr::test {

QString AnotherServerDatabase() {
    return g_schemas != nullptr ? g_schemas->another() : QString();
}

} // namespace kr::test
