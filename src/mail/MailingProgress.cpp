#include "mail/MailingProgress.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kr {

namespace {

const QByteArray kHeader = "kelvray mailing 1";
// Far more than any category holds: a file larger than this is not ours.
constexpr qint64 kMaxFileSize = 64LL << 20;

} // namespace

QByteArray MailingFingerprint(qint32 emailId, const QStringList& texts) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(QByteArray::number(emailId));
    for (const QString& t : texts) {
        const QByteArray bytes = t.toUtf8();
        h.addData(QByteArray::number(bytes.size()) + ':');
        h.addData(bytes);
    }
    return h.result().toHex();
}

MailingProgress::MailingProgress(QString path, QByteArray mailing, qint32 today)
    : path_(std::move(path))
    , mailing_(std::move(mailing))
    , today_(today)
    , started_(today) {}

QByteArray MailingProgress::key(const QString& address) const {
    return QCryptographicHash::hash(mailing_ + '\n' + address.trimmed().toLower().toUtf8(),
                                    QCryptographicHash::Sha256)
        .toHex();
}

bool MailingProgress::load(QString* error) {
    reached_.clear();
    started_ = today_;
    QFile f(path_);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileSize) {
        if (error != nullptr)
            *error = f.fileName() + QStringLiteral(": ") +
                     (f.isOpen() ? QStringLiteral("too large") : f.errorString());
        return false;
    }
    const QList<QByteArray> lines = f.readAll().split('\n');
    // Another mailing's, an old one's or a damaged file: this mailing starts afresh.
    if (lines.size() < 3 || lines.at(0) != kHeader || lines.at(1) != "mailing " + mailing_ ||
        !lines.at(2).startsWith("started "))
        return true;
    bool ok = false;
    const qint32 started = lines.at(2).mid(8).toInt(&ok);
    if (!ok || started > today_ || today_ - started >= kResumeDays)
        return true;
    started_ = started;
    for (qsizetype i = 3; i < lines.size(); ++i)
        if (lines.at(i).size() == 64)
            reached_.insert(lines.at(i));
    return true;
}

bool MailingProgress::reached(const QString& address) const {
    return reached_.contains(key(address));
}

void MailingProgress::add(const QString& address) {
    reached_.insert(key(address));
}

bool MailingProgress::save(QString* error) const {
    const QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath()) ||
        !QFile::setPermissions(info.absolutePath(),
                               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
        if (error != nullptr)
            *error = info.absolutePath() + QStringLiteral(": cannot be made");
        return false;
    }
    QSaveFile f(path_);
    QByteArray text = kHeader + "\nmailing " + mailing_ + "\nstarted " + QByteArray::number(started_) + '\n';
    for (const QByteArray& k : reached_)
        text += k + '\n';
    // The folder is the user's alone, so the file is private from its first byte.
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit() ||
        !QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        if (error != nullptr)
            *error = path_ + QStringLiteral(": ") + f.errorString();
        return false;
    }
    return true;
}

bool MailingProgress::remove(QString* error) const {
    QFile f(path_);
    if (!f.exists() || f.remove())
        return true;
    if (error != nullptr)
        *error = path_ + QStringLiteral(": ") + f.errorString();
    return false;
}

} // namespace kr
