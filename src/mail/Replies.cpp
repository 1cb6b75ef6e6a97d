#include "mail/Replies.h"

namespace kr {

ServerReply ParseReplyLine(const QByteArray& raw) {
    QByteArray line = raw;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    ServerReply r;
    // Replies are ASCII; anything else is shown, not trusted.
    r.text = QString::fromUtf8(line.left(ReplyReader::kMaxLine));
    if (line.size() < 3)
        return r;
    for (int i = 0; i < 3; ++i)
        if (line.at(i) < '0' || line.at(i) > '9')
            return r;
    if (line.size() > 3 && line.at(3) != ' ' && line.at(3) != '-')
        return r;
    r.code = (line.at(0) - '0') * 100 + (line.at(1) - '0') * 10 + (line.at(2) - '0');
    r.last = line.size() == 3 || line.at(3) == ' ';
    return r;
}

void ReplyReader::take(const ServerReply& r) {
    if (r.code == 0 || !r.last)
        return;
    last_ = r;
    ++finals_;
    if (r.code >= 400 && r.code <= 599)
        refusal_ = r;
}

void ReplyReader::feed(const QByteArray& bytes) {
    pending_ += bytes;
    for (;;) {
        const qsizetype end = pending_.indexOf('\n');
        if (end < 0) {
            // A line without end that grows past any sane length is cut where it stands.
            if (pending_.size() > kMaxLine) {
                const ServerReply r = ParseReplyLine(pending_.left(kMaxLine));
                take(r);
                pending_.clear();
            }
            return;
        }
        const ServerReply r = ParseReplyLine(pending_.left(end));
        pending_.remove(0, end + 1);
        take(r);
    }
}

} // namespace kr
