// The readers of server replies under arbitrary input: the status-line parser and the reply
// collector, fed in pieces as a network would deliver them.

#include "mail/Replies.h"
#include "mail/Transcript.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const kr::ServerReply line = kr::ParseReplyLine(bytes);
    if (line.code != 0 && (line.code < 0 || line.code > 999))
        __builtin_trap();
    kr::ReplyReader reader;
    // The first byte picks the piece size, so splits fall everywhere.
    const qsizetype step = size > 0 ? 1 + data[0] % 17 : 1;
    for (qsizetype i = 0; i < bytes.size(); i += step)
        reader.feed(bytes.mid(i, step));
    const kr::ServerReply& last = reader.lastReply();
    if (last.code != 0 && (!last.last || last.text.size() > kr::ReplyReader::kMaxLine))
        __builtin_trap();
    (void)kr::Transcript::masked(bytes);
    return 0;
}
