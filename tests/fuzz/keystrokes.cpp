// Keystroke sequences: sending any sequence of text and bracketed key names. Input lines: the
// sequence, then "name=value" lines that set values the unknown key names may name.

#include "script/Keystrokes.h"
#include "platform/DateTime.h"
#include "platform/Text.h"
#include "support/FuzzInput.h"

namespace {

class FixedClock final : public kr::Clock {
public:
    qint32 today() const override { return 82000; }
    qint32 now() const override { return 4500001; }
};

class Recorder final : public kr::KeySender {
public:
    void typeText(const QString& text) override {
        typed += text;
        ++pieces;
    }
    void pressKey(quint16 code) override {
        codes.push_back(code);
        ++pieces;
    }
    QString typed;
    std::vector<quint16> codes;
    int pieces = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kr;
    static const FixedClock clock;
    const fuzz::Lines in(data, size);
    ValueStore values(clock, [] { return QStringLiteral("d3"); });
    for (qsizetype i = 1; i < in.size(); ++i) {
        const qsizetype eq = in[i].indexOf(QLatin1Char('='));
        if (eq > 0)
            values.setValue(in[i].left(eq), in[i].mid(eq + 1));
    }
    const QString sequence = in[0];
    const int burst = static_cast<int>(size % 9); // 0 reads as 7
    Recorder recorder;
    int cycles = 0;
    KeystrokeContext ctx{recorder,
                         values,
                         clock,
                         50,
                         burst,
                         [&](int) { ++cycles; },
                         [] { return true; },
                         [] { return QStringLiteral("tray_ico"); },
                         [](const QString&, const QString&) {}};
    SendKeystrokes(sequence, ctx);
    // Every cycle takes at least one character of the sequence off.
    FUZZ_CHECK(cycles <= sequence.size());
    FUZZ_CHECK(recorder.pieces <= cycles);
    for (const quint16 code : recorder.codes)
        FUZZ_CHECK(code != 0 && code < 0x800);
    // Without brackets, the text is typed as it stands, in one piece.
    if (!sequence.contains(QLatin1Char('[')) && !sequence.trimmed().isEmpty()) {
        FUZZ_CHECK(recorder.typed == Clip(sequence));
        FUZZ_CHECK(recorder.pieces == 1);
    }
    KeyCodeOf(sequence);
    return 0;
}
