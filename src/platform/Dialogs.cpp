#include "platform/Dialogs.h"

#include <cstdio>
#include <cstdlib>

namespace kr {

void ExitProgram::endProgram(const QString& text) {
    std::fprintf(stderr, "kelvray: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    dialogs_.show(text, QStringLiteral("Kelvray 98"), Dialogs::Icon::Hand, Dialogs::Ok, Dialogs::Ok);
    std::fflush(stdout);
    // Nothing may be written after this point: the data files stay exactly as they are.
    std::_Exit(1);
}

} // namespace kr
