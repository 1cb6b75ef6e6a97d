#include "mail/KeychainSecretStore.h"

#include "platform/TransactionGuard.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>

namespace kr {

namespace {

const QString kService = QStringLiteral("kelvray");

// Runs the job to its end or the time limit; false when the limit came first.
bool Run(QKeychain::Job& job, int timeoutMs) {
    QEventLoop loop;
    bool done = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job.start();
    if (!done)
        RunEventLoop(loop);
    return done;
}

} // namespace

std::optional<QString> KeychainSecretStore::readPassword(const QString& key) {
    QKeychain::ReadPasswordJob job(kService);
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.setKey(key);
    if (!Run(job, readTimeoutMs_) || job.error() != QKeychain::NoError)
        return std::nullopt;
    return job.textData();
}

bool KeychainSecretStore::writePassword(const QString& key, const QString& password, QString* error) {
    QKeychain::WritePasswordJob job(kService);
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.setKey(key);
    job.setTextData(password);
    if (!Run(job, writeTimeoutMs_)) {
        if (error != nullptr)
            *error = QStringLiteral("the secret store did not answer");
        return false;
    }
    if (job.error() != QKeychain::NoError) {
        if (error != nullptr)
            *error = job.errorString();
        return false;
    }
    return true;
}

} // namespace kr
