#include "mail/KeychainSecretStore.h"

#include "platform/TransactionGuard.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>

namespace kr {

namespace {

const QString kService = QStringLiteral("kelvray");

// Runs the job to its end, the time limit or the cancelling; false unless it ended.
bool Run(QKeychain::Job& job, int timeoutMs, const std::function<bool()>& cancelled = {}) {
    QEventLoop loop;
    bool done = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QTimer look;
    if (cancelled) {
        QObject::connect(&look, &QTimer::timeout, &loop, [&] {
            if (cancelled())
                loop.quit();
        });
        look.start(50);
    }
    job.start();
    if (!done && !(cancelled && cancelled()))
        RunEventLoop(loop);
    return done;
}

} // namespace

std::optional<QString> KeychainSecretStore::readPassword(const QString& key,
                                                         const std::function<bool()>& cancelled) {
    QKeychain::ReadPasswordJob job(kService);
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.setKey(key);
    if (!Run(job, readTimeoutMs_, cancelled) || job.error() != QKeychain::NoError)
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
