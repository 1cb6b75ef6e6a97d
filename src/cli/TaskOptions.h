#pragma once

// Command-line arguments shared by the kelvray-cli commands.

#include "platform/DateTime.h"
#include "store/Tables.h"

#include <QStringList>

#include <optional>

namespace kr::cli {

// A failure to read the arguments: the text goes to standard error, the exit status is 2.
struct UsageError {
    QString text;
};

// A failure other than of usage: the text goes to standard error, the exit status is 1.
struct Failure {
    QString text;
};

// Reads options off the front of `args` as they are asked for.
class Arguments {
public:
    explicit Arguments(QStringList args)
        : args_(std::move(args)) {}

    bool empty() const { return args_.isEmpty(); }
    // Takes "--name VALUE" (or "--name=VALUE") wherever it stands; nullopt when absent.
    std::optional<QString> take(const QString& name);
    bool takeFlag(const QString& name);
    // Whether the option is there (with a value or as a flag), without taking it.
    bool has(const QString& name) const;
    // Anything left over is an error.
    void finish() const;
    // What has not been taken yet.
    const QStringList& rest() const { return args_; }

private:
    QStringList args_;
};

// "YYYY-MM-DD" within 1801-01-01 to 2099-12-31.
Date ParseDay(const QString& text, const QString& option);
// "HH:MM", "HH:MM:SS" or "HH:MM:SS.hh" (hundredths).
Time ParseClock(const QString& text, const QString& option);
// "YYYY-MM-DD" (time 0) or "YYYY-MM-DDTHH:MM[:SS]".
std::pair<Date, Time> ParseMoment(const QString& text, const QString& option);
// Decimal digits with an optional minus sign, nothing else (no blanks, no plus sign), within
// the range of a 32-bit number.
int ParseNumber(const QString& text, const QString& option);

// The recurrence options of a task (--type, --weekdays, --ordinals, --month-end, --repeat,
// --offset, --every, --unit, --date, --time) and its exceptions (--except, --except-time,
// --shift) into a record. Weekdays and ordinals given replace those of the record, and so do
// the exceptions; an empty --time is no time.
void TakeTaskOptions(Arguments& args, Schedule& task);

QString FormatDay(Date date);   // "YYYY-MM-DD", empty for 0
QString FormatClock(Time time); // "HH:MM:SS", empty for 0
// The time to the hundredth: "HH:MM:SS", with ".hh" when there are hundredths.
QString FormatClockExact(Time time);

} // namespace kr::cli
