#pragma once

#include <QString>

namespace kr {

// Trailing blanks removed, as fixed-width fields are compared and shown.
inline QString Clip(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

// Leading blanks removed.
inline QString LeftTrimmed(const QString& text) {
    qsizetype start = 0;
    while (start < text.size() && text.at(start) == QLatin1Char(' '))
        ++start;
    return text.mid(start);
}

} // namespace kr
