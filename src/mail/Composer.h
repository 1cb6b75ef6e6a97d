#pragma once

// The message text handed to the mail or news server: headers, a quoted-printable body and
// the attachment as a base64 part.

#include "mail/MailRequest.h"

#include <QByteArray>
#include <QDateTime>

namespace kr {

struct Attachment {
    QString fileName; // as the recipient sees it
    QByteArray data;
    QByteArray mimeType;
};

struct ComposeOptions {
    QDateTime date;       // the Date header, with its offset
    QByteArray messageId; // without the angle brackets
    QByteArray boundary;  // for multipart messages
};

// The text of one message; `attachments` are already read.
QByteArray ComposeMessage(const MailRequest& request, const QList<Attachment>& attachments,
                          const ComposeOptions& options);

// Options with the current date, a random Message-ID at the sender's domain and a random boundary.
ComposeOptions FreshComposeOptions(const QString& senderAddress);

// Pieces of the composer, for the tests.
QByteArray HeaderDate(const QDateTime& date);
// A header text: control characters become blanks; RFC 2047 encoded words when not ASCII.
QByteArray EncodeHeaderText(const QString& text);
// A display name or group name: as it stands, quoted, or encoded words when not ASCII.
QByteArray EncodePhrase(const QString& text);
// "name <address>", or the address alone when the name is blank.
QByteArray FormatMailbox(const QString& name, const QString& address);
QByteArray QuotedPrintable(const QByteArray& utf8);

} // namespace kr
