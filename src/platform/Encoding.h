#pragma once

// The text of files that come from outside: UTF-8 when it is valid UTF-8, else Windows-1252,
// the code page of the older installations.

#include <QString>

namespace kr {

bool IsValidUtf8(const char* data, qsizetype size);
QString DecodeWindows1252(const char* data, qsizetype size);

} // namespace kr
