#pragma once

// Passwords kept outside the program's files: the desktop's secret store, with a copy for
// this run only when the store does not answer.

#include <QString>

#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace kr {

class SecretStore {
public:
    virtual ~SecretStore() = default;
    // The password kept under the key; nullopt when there is none, the store does not answer
    // or `cancelled` turned true while it was waited for.
    virtual std::optional<QString> readPassword(const QString& key,
                                                const std::function<bool()>& cancelled = {}) = 0;
    // Keeps the password; false with the store's reason when it could not.
    virtual bool writePassword(const QString& key, const QString& password, QString* error = nullptr) = 0;

    // The key of a login: protocol ("smtp", "nntp"), server and user.
    static QString key(const QString& protocol, const QString& server, const QString& user) {
        return protocol + QLatin1Char(':') + server.trimmed().toLower() + QLatin1Char(':') + user.trimmed();
    }
};

// Kept in memory: the tests' store, and the run-only copy. Safe across threads.
class MemorySecretStore final : public SecretStore {
public:
    std::optional<QString> readPassword(const QString& key, const std::function<bool()>& = {}) override {
        const std::lock_guard lock(mutex_);
        const auto it = secrets_.find(key);
        if (it == secrets_.end())
            return std::nullopt;
        return it->second;
    }
    bool writePassword(const QString& key, const QString& password, QString* = nullptr) override {
        const std::lock_guard lock(mutex_);
        secrets_[key] = password;
        return true;
    }

private:
    std::mutex mutex_;
    std::map<QString, QString> secrets_;
};

// The desktop's store first; what it refuses is kept for this run only, never on disk.
class SessionSecretStore final : public SecretStore {
public:
    explicit SessionSecretStore(SecretStore* desktop)
        : desktop_(desktop) {}
    std::optional<QString> readPassword(const QString& key,
                                        const std::function<bool()>& cancelled = {}) override {
        if (auto p = session_.readPassword(key))
            return p;
        return desktop_ != nullptr ? desktop_->readPassword(key, cancelled) : std::nullopt;
    }
    bool writePassword(const QString& key, const QString& password, QString* error = nullptr) override {
        if (desktop_ != nullptr && desktop_->writePassword(key, password, error))
            return true;
        if (desktop_ == nullptr && error != nullptr)
            *error = QStringLiteral("no secret store");
        session_.writePassword(key, password);
        return false;
    }

private:
    SecretStore* desktop_;
    MemorySecretStore session_;
};

} // namespace kr
