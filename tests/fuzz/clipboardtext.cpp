// Clipboard texts: any text another program puts on the clipboard goes through the digest,
// the test for a text worth keeping, the list's link rule and Run's search for names.
// The input is the text (UTF-8).

#include "clipboard/PollClipboard.h"
#include "clipboard/Run.h"
#include "platform/Text.h"
#include "support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kr;
    const QString text = fuzz::Text(data, size);

    const QString digest = ClipboardDigest(text);
    FUZZ_CHECK(digest.size() <= 40);
    for (const QChar c : digest)
        FUZZ_CHECK(c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    FUZZ_CHECK(ClipboardDigest(digest) == digest);

    const bool keep = ClipboardTextWorthKeeping(text);
    const QString lead = LeftTrimmed(text);
    FUZZ_CHECK(keep == (!lead.isEmpty() && lead.at(0).unicode() > u' '));

    // Every name Run finds is a piece of the text, or the "www" address built from it.
    const QStringList targets = ClipboardRunTargets(text);
    FUZZ_CHECK(targets.size() <= 6);
    for (const QString& t : targets) {
        FUZZ_CHECK(!Clip(t).isEmpty());
        FUZZ_CHECK(text.contains(t) || t == QStringLiteral("http://") + Clip(text));
    }
    // What the list draws as a link, Run acts upon.
    FUZZ_CHECK(!ClipboardTextIsLink(text) || !targets.isEmpty());
    return 0;
}
