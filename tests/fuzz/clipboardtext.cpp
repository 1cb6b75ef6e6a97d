// Clipboard texts: any text another program puts on the clipboard goes through the digest,
// the test for a text worth keeping, the list's link rule and Run's search for names.
// The input is the text (UTF-8).

#include "clipboard/PollClipboard.h"
#include "clipboard/Run.h"
#include "platform/Clipboard.h"
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

    // Every name Run finds is a piece of the text, or the "www" address built from its start.
    // An address holds no blank, line break or double quote, so that it stays one word for
    // the desktop's opener.
    const std::vector<ClipboardRunTarget> targets = ClipboardRunTargets(text);
    FUZZ_CHECK(targets.size() <= 6);
    for (const ClipboardRunTarget& t : targets) {
        FUZZ_CHECK(!Clip(t.name).isEmpty());
        const bool www = t.name.startsWith(QStringLiteral("http://")) &&
                         text.startsWith(QStringLiteral("www")) &&
                         (QStringLiteral("http://") + text).startsWith(t.name);
        FUZZ_CHECK(text.contains(t.name) || www);
        if (t.kind == ClipboardRunTarget::Address) {
            FUZZ_CHECK(t.name.size() <= 255 + 7);
            for (const QChar c : t.name)
                FUZZ_CHECK(c.unicode() > u' ' && c.unicode() != 0x7F && c != QLatin1Char('"'));
        } else {
            FUZZ_CHECK(t.name.size() >= 4);
        }
    }
    // The bytes of a text cut anywhere, as a reader takes them from a clipboard owner, give the
    // start of the text; outside bytes of any kind give some text.
    const QByteArray utf8 = text.toUtf8();
    const QString whole = QString::fromUtf8(utf8);
    const qsizetype cut = size > 0 ? static_cast<qsizetype>(data[0]) * utf8.size() / 255 : 0;
    const QString start = ClipboardTextFromBytes(utf8.left(cut), false, true);
    FUZZ_CHECK(whole.startsWith(start));
    FUZZ_CHECK(start.toUtf8().size() >= cut - 3);
    FUZZ_CHECK(ClipboardTextFromBytes(utf8, false, false) == whole);
    const QByteArray raw(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    FUZZ_CHECK(ClipboardTextFromBytes(raw, true, false).size() == raw.size());
    FUZZ_CHECK(ClipboardTextFromBytes(raw, false, true).size() <= raw.size());

    // What the list draws as a link, Run acts upon.
    FUZZ_CHECK(!ClipboardTextIsLink(text) || !targets.empty());
    return 0;
}
