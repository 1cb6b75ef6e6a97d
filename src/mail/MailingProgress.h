#pragma once

// What a mass mailing has delivered so far, kept in a private file beside the data so that
// it survives a restart: sending the same mailing again (the same message with the same
// texts, within a few days) goes only to the members it has not reached. Members are kept as
// salted hashes of their addresses, never as addresses. The file goes when the mailing is
// complete.

#include <QByteArray>
#include <QSet>
#include <QString>

namespace kr {

class MailingProgress {
public:
    // A mailing older than this many days is not taken up again: sending it then is a new one.
    static constexpr qint32 kResumeDays = 3;

    // `mailing` tells this mailing from others (a hash of its message and texts).
    MailingProgress(QString path, QByteArray mailing, qint32 today);

    // Takes up what the file says of this mailing; false with `error` when the file exists
    // but cannot be read.
    bool load(QString* error);
    bool reached(const QString& address) const;
    void add(const QString& address);
    // Writes the file (folder 0700, file 0600), whole or not at all.
    bool save(QString* error) const;
    // The mailing is complete: the file goes.
    bool remove(QString* error) const;
    int count() const { return static_cast<int>(reached_.size()); }

private:
    QByteArray key(const QString& address) const;

    QString path_;
    QByteArray mailing_;
    qint32 today_;
    qint32 started_;
    QSet<QByteArray> reached_;
};

// The name of a mailing: its message number and every text its recipients get.
QByteArray MailingFingerprint(qint32 emailId, const QStringList& texts);

} // namespace kr
