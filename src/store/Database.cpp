#include "store/Database.h"

#include "platform/TransactionGuard.h"

#include <algorithm>
#include <chrono>

namespace kr {

namespace sql {

QString Fold(const QString& text) {
    // Most texts are plain ASCII, whose upper case is a-z to A-Z alone; the Unicode tables are
    // looked at for the others only. A text without a small letter is returned as it is.
    const char16_t* p = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype n = text.size();
    qsizetype first = -1;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (c >= 0x80)
            return text.toUpper();
        if (first < 0 && c >= u'a' && c <= u'z')
            first = i;
    }
    if (first < 0)
        return text;
    QString out(n, Qt::Uninitialized);
    char16_t* q = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        q[i] = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
    }
    return out;
}

} // namespace sql

void FileLock::lock() {
    mutex_.lock();
    if (depth_++ == 0)
        db_.startCall();
}

bool FileLock::try_lock() {
    if (!mutex_.try_lock())
        return false;
    if (depth_++ == 0)
        db_.startCall();
    return true;
}

void FileLock::unlock() {
    if (--depth_ == 0)
        db_.endCall();
    mutex_.unlock();
}

Database::Database(QString name)
    : name_(std::move(name)) {}

Database::~Database() = default;

qint64 Database::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 Database::deadlineFor(int ms) const {
    const qint64 deadline = NowMs() + std::max(0, ms);
    return sharedDeadline_ != 0 ? std::min(deadline, sharedDeadline_) : deadline;
}

int Database::msLeft() const {
    const qint64 deadline = callDeadline_ != 0 ? callDeadline_ : deadlineFor(lockWaitMs_);
    return static_cast<int>(std::clamp<qint64>(deadline - NowMs(), 0, kLongestWaitMs * 64));
}

void Database::startCall() {
    callDeadline_ = deadlineFor(statementWaitMs_);
}

void Database::endCall() {
    callDeadline_ = 0;
}

void Database::setTransaction(bool open) {
    if (open == transaction_)
        return;
    transaction_ = open;
    if (open)
        OpenTransactions::opened();
    else
        OpenTransactions::closed();
}

void Database::send(const QString& option) {
    const QString o = option.trimmed();
    if (o.startsWith(QStringLiteral("Recover="), Qt::CaseInsensitive)) {
        bool ok = false;
        const int seconds = o.mid(8).toInt(&ok);
        if (ok && seconds > 0)
            openWaitMs_ = seconds * 1000;
    } else if (o.startsWith(QStringLiteral("LockWait="), Qt::CaseInsensitive)) {
        bool ok = false;
        const int ms = o.mid(9).toInt(&ok);
        if (ok && ms >= 0) {
            statementWaitMs_ = ms;
            lockWaitMs_ = ms;
        }
    }
    // QUICKSCAN is the tables' own: their batches are read ahead where the driver gains by it.
}

StoreError Database::rowNumbersTaken(const Schema&) {
    return {};
}

QString Database::indexedBy(const KeySchema&) const {
    return {};
}

Database::SharedWait::SharedWait(Database& db, int ms)
    : db_(db) {
    db_.lock_.lock();
    previous_ = db_.sharedDeadline_;
    db_.sharedDeadline_ = db_.deadlineFor(ms);
    db_.callDeadline_ = std::min(db_.callDeadline_, db_.sharedDeadline_);
}

Database::SharedWait::~SharedWait() {
    db_.sharedDeadline_ = previous_;
    db_.lock_.unlock();
}

bool Database::SharedWait::spent() const {
    return NowMs() >= db_.sharedDeadline_;
}

} // namespace kr
