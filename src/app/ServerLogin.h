#pragma once

// Logging in to the database server before anything is opened: what libpq finds itself
// (~/.pgpass, PGPASSWORD, peer, GSSAPI), else the password kept in the desktop's secret store,
// else the user's; a refused password is asked again.

#include "platform/SecretStore.h"

#include <QString>

#include <functional>
#include <optional>

namespace kr {

// Asks for a password with the text given; nullopt when the user cancels.
using PasswordPrompt = std::function<std::optional<QString>(const QString& text)>;

// The database to open (with the password that worked), or nullopt when the user gave up:
// then nothing was opened or changed. A server that cannot be reached is left to the open,
// which says so. A password the user typed that worked is kept in `secrets` for next time.
std::optional<QString> LogInToServer(const QString& database, SecretStore* secrets,
                                     const PasswordPrompt& ask);

// The key a server role's password is kept under.
QString ServerPasswordKey(const QString& server, const QString& role);

} // namespace kr
