#include "app/ServerLogin.h"

#include "store/pg/PgDatabase.h"

namespace kr {

namespace {
constexpr int kLoginWaitMs = 2000;
}

QString ServerPasswordKey(const QString& server, const QString& role) {
    return SecretStore::key(QStringLiteral("postgresql"), server, role);
}

std::optional<QString> LogInToServer(const QString& database, SecretStore* secrets,
                                     const PasswordPrompt& ask) {
    const LoginProbe first = ProbeLogin(database, kLoginWaitMs);
    if (first.result == LoginProbe::Accepted || first.result == LoginProbe::Unreachable)
        return database;
    const QString key = ServerPasswordKey(first.server, first.role);
    std::optional<QString> kept = secrets != nullptr ? secrets->readPassword(key) : std::nullopt;
    QString text = first.result == LoginProbe::Refused
                       ? QStringLiteral("The server %1 refused the role %2: %3\n\nPassword:")
                             .arg(first.server, first.role, first.text)
                       : QStringLiteral("The server %1 asks for the password of the role %2.\n\nPassword:")
                             .arg(first.server, first.role);
    for (;;) {
        const bool fromStore = kept.has_value();
        const std::optional<QString> password = fromStore ? kept : ask(text);
        kept.reset();
        if (!password)
            return std::nullopt;
        const QString withPassword = WithPassword(database, *password);
        const LoginProbe p = ProbeLogin(withPassword, kLoginWaitMs);
        if (p.result == LoginProbe::Accepted) {
            if (!fromStore && secrets != nullptr)
                secrets->writePassword(key, *password);
            return withPassword;
        }
        if (p.result == LoginProbe::Unreachable)
            return withPassword; // the open says why
        text = QStringLiteral("The server %1 refused the role %2: %3\n\nPassword:")
                   .arg(p.server, p.role, p.text);
    }
}

} // namespace kr
