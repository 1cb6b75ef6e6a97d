#pragma once

// A schema of its own on the suite's PostgreSQL server for one test: made when the test
// begins, dropped with everything in it afterwards, so that tests may run side by side.
// The server is named by KELVRAY_TEST_PG (a conninfo); without it the tests skip.

#include "store/pg/PgConnection.h"

#include <QRandomGenerator>
#include <QString>

#include <unistd.h>

namespace kr::test {

class PgTestDatabase {
public:
    PgTestDatabase() {
        base_ = qEnvironmentVariable("KELVRAY_TEST_PG");
        if (base_.isEmpty())
            return;
        schema_ = QStringLiteral("t%1_%2")
                      .arg(::getpid())
                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        error_ = admin_.open(base_, 5000);
        if (error_.ok())
            error_ = admin_.exec(QStringLiteral("CREATE SCHEMA \"%1\"").arg(schema_));
    }
    ~PgTestDatabase() {
        if (admin_.isOpen())
            admin_.exec(QStringLiteral("DROP SCHEMA \"%1\" CASCADE").arg(schema_));
    }
    PgTestDatabase(const PgTestDatabase&) = delete;
    PgTestDatabase& operator=(const PgTestDatabase&) = delete;

    // Whether the suite has a server; an empty text, or why it cannot be used.
    bool available() const { return !base_.isEmpty(); }
    const StoreError& error() const { return error_; }

    const QString& schema() const { return schema_; }
    // The conninfo whose tables live in the schema, with further settings ("-cname=value").
    QString uri(const QString& more = {}) const {
        QString options = QStringLiteral("-csearch_path=") + schema_;
        if (!more.isEmpty())
            options += QLatin1Char(' ') + more;
        return base_ + QStringLiteral(" options='") + options + QLatin1Char('\'');
    }
    // The server itself, outside the schema: a connection of the database's owner.
    const QString& serverUri() const { return base_; }
    // A connection of the owner with the schema first in its search path.
    pg::PgConnection& admin() { return admin_; }

private:
    QString base_;
    QString schema_;
    StoreError error_;
    pg::PgConnection admin_;
};

} // namespace kr::test

// Skips a test when the suite runs without its server; fails it when the server is unusable.
#define KR_REQUIRE_PG(db)                                                                                    \
    do {                                                                                                     \
        if (!(db).available())                                                                               \
            GTEST_SKIP() << "KELVRAY_TEST_PG is not set";                                                    \
        ASSERT_TRUE((db).error().ok()) << (db).error().describe().toStdString();                             \
    } while (false)
