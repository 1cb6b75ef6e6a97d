#pragma once

// Reading what SMTP and NNTP servers answer: status lines of a three-digit code and a text,
// possibly continued over several lines ("250-...").

#include <QByteArray>
#include <QString>

namespace kr {

struct ServerReply {
    int code = 0;     // 0: not a status line
    bool last = true; // false for a continuation line ("250-")
    QString text;     // the whole line without its line end
};

// One line as received; anything that is not "ddd" followed by a blank, "-" or the end has
// code 0.
ServerReply ParseReplyLine(const QByteArray& line);

// Collects the replies of a conversation from the pieces the transport sees, keeping the
// last complete status line.
class ReplyReader {
public:
    static constexpr qsizetype kMaxLine = 4096;

    // Adds received bytes; lines may arrive in pieces and several at once.
    void feed(const QByteArray& bytes);
    // The last final status line received, and how many have been.
    const ServerReply& lastReply() const { return last_; }
    int finalReplies() const { return finals_; }
    // The last refusal (4xx or 5xx) received; the conversation may go on after it (QUIT).
    bool refused() const { return refusal_.code != 0; }
    const ServerReply& lastRefusal() const { return refusal_; }

private:
    void take(const ServerReply& r);

    QByteArray pending_;
    ServerReply last_;
    ServerReply refusal_;
    int finals_ = 0;
};

} // namespace kr
