#pragma once

// Posting one composed article to a news server: a small NNTP client on Qt sockets, run on a
// worker thread whose event loop it runs while it waits for the server.

#include "mail/Smtp.h"

namespace kr {

struct NntpJob {
    QString host; // "name", "name:port", "nntp://..." or "nntps://..."
    QString user;
    QString password;
    QString caFile;
    QByteArray article;
};

struct NntpAddress {
    QString host;
    quint16 port = 119;
    bool implicitTls = false;
    bool valid = false;
};
NntpAddress ParseNntpHost(const QString& host);

// The article as it travels after POST: lines beginning with "." doubled, ended by ".".
QByteArray DotStuffed(const QByteArray& article);

SendOutcome PostNntp(const NntpJob& job, Transcript& transcript, Cancel& abort);

} // namespace kr
