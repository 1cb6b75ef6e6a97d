#pragma once

// Sending one composed message over SMTP through libcurl.

#include "mail/Transcript.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "mail/Cancel.h"

namespace kr {

struct SendOutcome {
    qint32 code = 0;
    QString reply; // the server's refusal for code 9
};

struct SmtpJob {
    QString host; // "name", "name:port", "smtp://..." or "smtps://..."
    QString user;
    QString password;
    QString caFile;
    QString from;
    QStringList recipients; // the envelope
    QByteArray message;
};

// The URL for a Host setting: a bare name gets port 25.
QString SmtpUrl(const QString& host);

// Runs the conversation; `abort` ends it with 14 as soon as it is seen.
SendOutcome SendSmtp(const SmtpJob& job, Transcript& transcript, Cancel& abort);

} // namespace kr
