#pragma once

// Synchronization files changed behind the program's back, through the storage library's own
// interface: a catalogue of another making, planner statistics, keys out of order, values the
// program never writes.

#include "store/Cipher.h"

#include <QFile>
#include <QString>

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

namespace kr::test {

// Runs SQL on an enciphered file of the program; the error text, empty when it went through.
inline QString ExecOnFile(const QString& path, const QString& sql, const QByteArray& key = OwnerRawKey()) {
    sqlite3* db = nullptr;
    QString error;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK ||
        sqlite3_key(db, key.constData(), static_cast<int>(key.size())) != SQLITE_OK) {
        error = QStringLiteral("cannot open");
    } else {
        char* message = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK)
            error = QString::fromUtf8(message != nullptr ? message : "failed");
        sqlite3_free(message);
    }
    sqlite3_close(db);
    return error;
}

// Enciphers the file under another key (the password itself, as earlier versions did).
inline QString RekeyFile(const QString& path, const QByteArray& from, const QByteArray& to) {
    sqlite3* db = nullptr;
    QString error;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK ||
        sqlite3_key(db, from.constData(), static_cast<int>(from.size())) != SQLITE_OK ||
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_rekey(db, to.constData(), static_cast<int>(to.size())) != SQLITE_OK)
        error = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return error;
}

} // namespace kr::test
