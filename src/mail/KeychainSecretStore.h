#pragma once

// The desktop's secret store (Secret Service over D-Bus) through QtKeychain, under the
// service name "kelvray". Each call waits for its answer in a local event loop, bounded by a
// time limit, so reads belong on a worker thread; a read that is cancelled stops waiting at
// once, and its thread must then run no event loop again (the store's late answer would come
// to a job that is gone).

#include "platform/SecretStore.h"

namespace kr {

class KeychainSecretStore final : public SecretStore {
public:
    // Reads wait at most `readTimeoutMs`; writes, made from the Setup window, at most
    // `writeTimeoutMs`, after which the store counts as not answering.
    explicit KeychainSecretStore(int readTimeoutMs = 10000, int writeTimeoutMs = 1500)
        : readTimeoutMs_(readTimeoutMs)
        , writeTimeoutMs_(writeTimeoutMs) {}
    std::optional<QString> readPassword(const QString& key,
                                        const std::function<bool()>& cancelled = {}) override;
    bool writePassword(const QString& key, const QString& password, QString* error = nullptr) override;

private:
    int readTimeoutMs_;
    int writeTimeoutMs_;
};

} // namespace kr
