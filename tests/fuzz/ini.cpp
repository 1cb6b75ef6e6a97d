// INI files (KR98.INI, POSITION.INI): reading any file, and writing an entry into it.
// The input is the file.

#include "platform/IniFile.h"
#include "support/FuzzInput.h"

#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kr;
    const IniFile ini(fuzz::ScratchFile(QStringLiteral("POSITION.INI"), data, size));
    const QString entries[] = {QStringLiteral("XPosit"), QStringLiteral("YPosit"),   QStringLiteral("Width"),
                               QStringLiteral("Height"), QStringLiteral("Maximize"), QStringLiteral("Debug")};
    for (const QString& section : {QStringLiteral("Main"), QStringLiteral("Settings")}) {
        for (const QString& entry : entries) {
            const QString text = ini.read(section, entry);
            FUZZ_CHECK(text == text.trimmed());
            const int n = ini.readInt(section, entry, 7);
            FUZZ_CHECK(n > std::numeric_limits<int>::min());
            FUZZ_CHECK(!text.isEmpty() || n == 7);
        }
    }

    // A written entry reads back, and the entries of other sections stay as they were.
    const QString debug = ini.read(QStringLiteral("Settings"), QStringLiteral("Debug"), QStringLiteral("-"));
    if (!ini.write(QStringLiteral("Main"), QStringLiteral("XPosit"), QStringLiteral("-120")))
        std::abort();
    FUZZ_CHECK(ini.read(QStringLiteral("Main"), QStringLiteral("XPosit")) == QStringLiteral("-120"));
    FUZZ_CHECK(ini.readInt(QStringLiteral("MAIN"), QStringLiteral("xposit")) == -120);
    FUZZ_CHECK(ini.read(QStringLiteral("Settings"), QStringLiteral("Debug"), QStringLiteral("-")) == debug);
    return 0;
}
