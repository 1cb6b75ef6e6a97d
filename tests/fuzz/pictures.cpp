// Pictures: formatting any number with any picture, and reading any text back through one.
// Input lines: the picture, a number, a text to read as a date and as a time.

#include "platform/Pictures.h"
#include "support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kr;
    const fuzz::Lines in(data, size);
    const QString picture = in[0];
    const qint64 number = in[1].trimmed().toLongLong();
    const QString text = in[2];

    const Picture p = Picture::parse(picture);
    FUZZ_CHECK(p.number <= Picture::kMaxNumberWidth || p.kind != PictureKind::Numbers);
    FUZZ_CHECK(p.decimals >= 0 && p.decimals <= Picture::kMaxNumberWidth);

    FUZZ_CHECK(FormatNumber(number, picture).size() <= 2 * Picture::kMaxNumberWidth + 22);
    FormatPicture(picture, number);
    const auto asInt = static_cast<qint32>(number);
    const QString time = FormatTimeAs(asInt, picture);
    FUZZ_CHECK(asInt <= 0 || !time.isEmpty());
    FormatDateAs(asInt, picture);

    // What a picture reads, it shows again in a form that reads back the same.
    const int reference = 2026;
    Date date = 0;
    const int dateForm = p.kind == PictureKind::Dates ? p.number : 3;
    if (ParseDate(text, picture, &date, reference) && date != 0 && dateForm != 17 && dateForm != 18) {
        // (A picture with a two-digit year reads four digits too, but shows two.)
        const QString shown = FormatDateAs(date, picture);
        Date again = 0;
        FUZZ_CHECK(ParseDate(shown, picture, &again, reference));
        FUZZ_CHECK(FormatDateAs(again, picture) == shown);
    }
    Time t = 0;
    const int timeForm = p.kind == PictureKind::Times ? p.number : 1;
    if (ParseTime(text, picture, &t) && t != 0 && timeForm != 7 && timeForm != 8) {
        FUZZ_CHECK(t >= 1 && t <= kOneDay);
        Time again = 0;
        FUZZ_CHECK(ParseTime(FormatTimeAs(t, QStringLiteral("t4")), QStringLiteral("t4"), &again));
        FUZZ_CHECK(again == t);
    }
    return 0;
}
