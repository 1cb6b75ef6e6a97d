#pragma once

// One send: the texts, recipients, attachment and body handed to the mail or news transport,
// the result codes the transports give back, and their message texts.

#include <QList>
#include <QString>
#include <QStringList>

namespace kr {

// The result of a send. 0 is sent; the others name what went wrong.
enum MailCode : qint32 {
    kMailSent = 0,
    kMailBadArguments = 1,
    kMailTempRead = 2,
    kMailSockets = 3,
    kMailResolve = 4,
    kMailSocketHandle = 5,
    kMailConnect = 6,
    kMailSend = 7,
    kMailReceive = 8,
    kMailServerError = 9,
    kMailResolveIp = 10,
    kMailMemory = 11,
    kMailTempFile = 12,
    kMailUnknown = 13,
    kMailUserCancel = 14,
    kMailNoRecipients = 15,
};

struct Recipient {
    QString name;
    QString address;
};

struct MailRequest {
    static constexpr int kTextWidth = 199;
    enum class Mode { Email = 1, News = 2 };

    Mode mode = Mode::Email;
    QString host;
    QString mailer;
    QString senderName;
    QString senderAddress;
    QString organisation;
    QString subject;
    QString user; // blank: no authentication
    QString password;
    QList<Recipient> to;
    QList<Recipient> cc;
    QList<Recipient> bcc;
    QStringList attachments;
    QString body;
    // A mass mailing: its recipients travel only in the envelope, and the To header names
    // this group instead.
    bool massMailing = false;
    QString groupName;
    // Members whose address cannot be used: named in the outcome, sent nothing.
    QList<Recipient> unusable;
    // Where what an interrupted mass mailing delivered is remembered, what tells this mailing
    // from another one and today's date; blank path: nothing is remembered.
    QString progressFile;
    QByteArray mailing;
    qint32 today = 0;
    // The conversation transcript, appended; blank: none.
    QString logFile;
    // Extra certificate authorities trusted besides the system's (PEM file); blank: none.
    QString caFile;

    // A text as the request keeps it: trailing blanks removed, at most 199 characters.
    static QString text(const QString& value);
    // Adds a recipient; a blank address adds nothing.
    static void addRecipient(QList<Recipient>& list, const QString& name, const QString& address);
};

// MailErrorText: the message of a result code; `reply` is the server's reply for code 9.
QString MailErrorText(qint32 code, const QString& reply = {});

// The addresses of a recipient field, split on "," and ";" outside quotes and angle brackets,
// each trimmed.
QStringList SplitAddresses(const QString& field);

// One address as people write it: "bob@x.test", " bob@x.test ", "Bob <bob@x.test>",
// "\"Doe, Bob\" <bob@x.test>", "<bob@x.test>", "bob@x.test (Bob)" or "mailto:bob@x.test".
struct ParsedAddress {
    QString name;
    QString address;
    bool valid = false; // an address that can stand in an envelope command
};
ParsedAddress ParseAddress(const QString& text);
// Whether an address can stand in an envelope command: no control characters, blanks, "<"
// or ">", and not empty.
bool IsSafeAddress(const QString& address);

} // namespace kr
