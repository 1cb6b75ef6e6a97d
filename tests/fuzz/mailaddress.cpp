// The readers of addresses as people write them (contact files, message fields) under
// arbitrary input: the field splitter, the address parser and the display-name writer.

#include "mail/Composer.h"
#include "mail/MailRequest.h"
#include "support/FuzzInput.h"

namespace {

// A quoted phrase ends at its last byte: every quote inside is escaped.
bool QuotesBalanced(const QByteArray& phrase) {
    if (!phrase.startsWith('"'))
        return !phrase.contains('"') || phrase.startsWith("=?");
    for (qsizetype i = 1; i < phrase.size(); ++i) {
        if (phrase.at(i) == '\\')
            ++i;
        else if (phrase.at(i) == '"')
            return i == phrase.size() - 1;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = kr::fuzz::Text(data, size);
    for (const QString& part : kr::SplitAddresses(text)) {
        FUZZ_CHECK(!part.isEmpty() && part == part.trimmed());
        const kr::ParsedAddress a = kr::ParseAddress(part);
        // What the parser lets through can stand in an envelope command as it is.
        FUZZ_CHECK(!a.valid || kr::IsSafeAddress(a.address));
        // A display name never breaks its header: no bare line end, its quotes closed.
        const QByteArray phrase = kr::EncodePhrase(a.name);
        FUZZ_CHECK(!phrase.contains('\n') || phrase.contains("\r\n "));
        FUZZ_CHECK(!phrase.contains('\r') || phrase.contains("\r\n "));
        FUZZ_CHECK(QuotesBalanced(phrase));
    }
    const kr::ParsedAddress whole = kr::ParseAddress(text);
    FUZZ_CHECK(!whole.valid || kr::IsSafeAddress(whole.address));
    return 0;
}
