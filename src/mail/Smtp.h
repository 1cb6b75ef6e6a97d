#pragma once

// Sending one composed message over SMTP through libcurl.

#include "mail/Transcript.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "mail/Cancel.h"

namespace kr {

// A recipient the message did not go to, and why.
struct Refusal {
    QString name;
    QString address;
    QString reason; // the server's reply, or why the address could not be used
};

struct SendOutcome {
    qint32 code = 0;
    QString reply; // the server's refusal for code 9
    // Recipients refused one by one while the message went to the others (mass mailings).
    QList<Refusal> refused = {};
};

struct SmtpJob {
    QString host; // "name", "name:port", "smtp://..." or "smtps://..."
    QString user;
    QString password;
    QString caFile;
    QString from;
    QStringList recipients; // the envelope
    QByteArray message;
    // The message goes to the recipients the server takes, and the others are listed; else
    // one refusal ends the conversation.
    bool allowRefusals = false;
};

// The URL for a Host setting: a bare name gets port 25.
QString SmtpUrl(const QString& host);

// Runs the conversation; `abort` ends it with 14 as soon as it is seen. Once the server has
// taken the message, it is sent, whatever happens afterwards.
SendOutcome SendSmtp(const SmtpJob& job, Transcript& transcript, Cancel& abort);

} // namespace kr
