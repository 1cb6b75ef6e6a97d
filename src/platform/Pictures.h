#pragma once

// Pictures: the display and entry formats of dates, times, numbers and texts, written as in
// "@d3", "d6b", "@t3", "@n-13", "@s20". One module formats and parses them everywhere.
//
// Dates, shown for 31 October 1959:
//   d1 10/31/59      d2 10/31/1959     d3 OCT 31,1959    d4 October 31, 1959
//   d5 31/10/59      d6 31/10/1959     d7 31 OCT 59      d8 31 OCT 1959
//   d9 59/10/31      d10 1959/10/31    d11 591031        d12 19591031
//   d13 10/59        d14 10/1959       d15 59/10         d16 1959/10
//   d17 the system's short date format                   d18 the system's long date format
// Times, shown for 17:05:09:
//   t1 17:05   t2 1705   t3 5:05PM   t4 17:05:09   t5 170509   t6 5:05:09PM
//   t7 the system's short time format                    t8 the system's long time format
// A trailing "b" gives an empty text for 0.

#include "platform/DateTime.h"

#include <QString>

namespace kr {

enum class PictureKind { Dates, Times, Numbers, Strings, Invalid };

struct Picture {
    // No number is shown wider than this, nor with more decimals; larger values are cut to it.
    static constexpr int kMaxNumberWidth = 255;

    PictureKind kind = PictureKind::Invalid;
    int number = 0;         // d1..d18, t1..t8; for numbers and strings the width
    bool blankZero = false; // trailing "b"
    // numbers only
    int decimals = 0;
    bool sign = false; // a leading '-' allows negative values
    QChar fill = QLatin1Char(' ');

    static Picture parse(const QString& text); // with or without the leading "@"
};

QString FormatDateAs(Date date, const QString& picture);
QString FormatTimeAs(Time time, const QString& picture);
QString FormatNumber(qint64 value, const QString& picture);
// Formats by the picture's kind; numbers and texts are given as text.
QString FormatPicture(const QString& picture, qint64 number);

// Parsing back. A two-digit year takes the century that puts it within 80 years before and
// 20 years after `referenceYear` (the current year when 0). Returns false for a text that
// the picture cannot read; an empty text reads as 0.
bool ParseDate(const QString& text, const QString& picture, Date* date, int referenceYear = 0);
bool ParseTime(const QString& text, const QString& picture, Time* time);

// The weekday's name, "Sunday" ... "Saturday".
QString WeekdayName(Date date);
// "OCT", "October".
QString MonthAbbreviation(int month);
QString MonthName(int month);

} // namespace kr
