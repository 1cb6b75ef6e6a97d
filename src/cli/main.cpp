// kelvray-cli: the schedule from a shell.
//
//   kelvray-cli next    [task options] --after WHEN [--count N]
//   kelvray-cli matches [task options] --on YYYY-MM-DD

#include "cli/TaskOptions.h"
#include "scheduler/Occurrence.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

using namespace kr;
using namespace kr::cli;

const char* const kUsage =
    "usage: kelvray-cli next    [task options] --after WHEN [--count N]\n"
    "       kelvray-cli matches [task options] --on YYYY-MM-DD\n"
    "task options:\n"
    "  --type TEXT        schedule type (Once, Day of Week, Day of Month, Monthly, Yearly, Custom)\n"
    "  --weekdays LIST    comma list of Sun,Mon,Tue,Wed,Thu,Fri,Sat\n"
    "  --ordinals LIST    comma list of 1st,2nd,3rd,4th,last\n"
    "  --month-end        the month-end flag\n"
    "  --repeat TEXT      the month repeat text (Once, Twice - 1st, 15th, Twice - 15th, Last)\n"
    "  --offset N         the day offset of twice-a-month tasks\n"
    "  --every N          the repeat count\n"
    "  --unit TEXT        the repeat unit (minute(s), hour(s), day(s), week(s), month(s), year(s))\n"
    "  --date YYYY-MM-DD  the task's date\n"
    "  --time HH:MM[:SS]  the task's time (omitted: no time)\n"
    "WHEN: YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]\n";

// Messages of the calculation go to standard error; the calculation goes on.
class StderrDialogs final : public Dialogs {
public:
    Button message(const QString& text, const QString& caption, Icon, unsigned, Button def) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        return def;
    }
};

void Print(const QString& line) {
    std::printf("%s\n", line.toLocal8Bit().constData());
}

int Next(Arguments& args) {
    Schedule task;
    TakeTaskOptions(args, task);
    const auto after = args.take(QStringLiteral("--after"));
    if (!after)
        throw UsageError{QStringLiteral("next needs --after WHEN")};
    auto [date, time] = ParseMoment(*after, QStringLiteral("--after"));
    int count = 10;
    if (auto c = args.take(QStringLiteral("--count")))
        count = ParseNumber(*c, QStringLiteral("--count"));
    if (count < 1)
        throw UsageError{QStringLiteral("--count must be at least 1")};
    args.finish();

    StderrDialogs dialogs;
    for (int i = 0; i < count; ++i) {
        AdvanceOccurrence(task, date, time, dialogs);
        if (task.completed) {
            Print(QStringLiteral("completed"));
            break;
        }
        Print(FormatDay(task.date) + QLatin1Char(' ') +
              (task.time == 0 ? QStringLiteral("--:--:--") : FormatClock(task.time)));
        date = task.date;
        time = task.time;
    }
    return 0;
}

int Matches(Arguments& args) {
    Schedule task;
    TakeTaskOptions(args, task);
    const auto on = args.take(QStringLiteral("--on"));
    if (!on)
        throw UsageError{QStringLiteral("matches needs --on YYYY-MM-DD")};
    const Date date = ParseDay(*on, QStringLiteral("--on"));
    args.finish();
    Print(DateMatchesSchedule(task, date) ? QStringLiteral("yes") : QStringLiteral("no"));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList all = QCoreApplication::arguments();
    all.removeFirst();
    if (all.isEmpty() || all.first() == QStringLiteral("--help") || all.first() == QStringLiteral("-h")) {
        std::fputs(kUsage, all.isEmpty() ? stderr : stdout);
        return all.isEmpty() ? 2 : 0;
    }
    const QString command = all.takeFirst();
    Arguments args(all);
    try {
        if (command == QStringLiteral("next"))
            return Next(args);
        if (command == QStringLiteral("matches"))
            return Matches(args);
        throw UsageError{QStringLiteral("unknown command: ") + command};
    } catch (const UsageError& e) {
        std::fprintf(stderr, "kelvray-cli: %s\n", e.text.toLocal8Bit().constData());
        return 2;
    }
}
