#include "cli/CsvCommands.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace kr::cli {

namespace {

const ExchangeTable& TableNamed(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QStringLiteral("schedule"))
        return ScheduleExchange();
    if (n == QStringLiteral("contacts"))
        return ContactExchange();
    if (n == QStringLiteral("todo"))
        return TodoExchange();
    throw UsageError{QStringLiteral("--table: schedule, contacts or todo, not \"%1\"").arg(name)};
}

// Whether the field goes by that name: as the header line names it ("SCH:TaskType") or without
// its prefix ("TaskType"), in any letter case.
bool NamedAs(const ExchangeField& field, const QString& name) {
    const QString n = name.trimmed();
    const QString bare = field.name.section(QLatin1Char(':'), 1);
    return field.name.compare(n, Qt::CaseInsensitive) == 0 ||
           (!bare.isEmpty() && bare.compare(n, Qt::CaseInsensitive) == 0);
}

// The first of the fields of that name, -1 when none.
int FieldNamed(const std::vector<ExchangeField>& fields, const QString& name) {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (NamedAs(fields[i], name))
            return static_cast<int>(i);
    return -1;
}

// The fields' names without their prefix, for a message.
QString FieldList(const std::vector<ExchangeField>& fields) {
    QStringList names;
    for (const ExchangeField& f : fields)
        names << f.name.section(QLatin1Char(':'), 1);
    return names.join(QLatin1Char(','));
}

} // namespace

const ExchangeTable& TakeExchangeTable(Arguments& args, const char* verb) {
    const std::optional<QString> table = args.take(QStringLiteral("--table"));
    if (!table)
        throw UsageError{QStringLiteral("%1 needs --table schedule|contacts|todo").arg(QLatin1String(verb))};
    return TableNamed(*table);
}

Assignments TakeImportAssignments(Arguments& args, const ExchangeTable& table, ImportFile& file, bool& skipHeader) {
    Assignments assigned(table.targets.size(), -1);
    const bool automatic = args.takeFlag(QStringLiteral("--auto"));
    const std::optional<QString> map = args.take(QStringLiteral("--map"));
    if (automatic == map.has_value())
        throw UsageError{QStringLiteral("import-csv needs --map or --auto (one of them)")};
    if (automatic) {
        AutoAssign(table, file.fields(), assigned);
        skipHeader = true; // as the window's A&uto does
        return assigned;
    }
    for (const QString& item : map->split(QLatin1Char(','))) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        bool ok = false;
        const int place = item.left(eq).trimmed().toInt(&ok);
        QString target = item.mid(eq + 1).trimmed();
        QString picture;
        const qsizetype at = target.indexOf(QStringLiteral(":@"));
        if (at >= 0) {
            picture = target.mid(at + 1);
            target = target.left(at);
        }
        if (eq <= 0 || !ok || target.isEmpty())
            throw UsageError{QStringLiteral("--map: N=FIELD[:@PICTURE], not \"%1\"").arg(item)};
        if (place < 1 || place > static_cast<int>(file.fields().size()))
            throw UsageError{QStringLiteral("--map %1: the file's first line has %2 field(s)")
                                 .arg(item)
                                 .arg(file.fields().size())};
        const int found = FieldNamed(table.targets, target);
        if (found < 0)
            throw UsageError{
                QStringLiteral("--map: no field \"%1\"; the fields are %2").arg(target, FieldList(table.targets))};
        assigned[static_cast<std::size_t>(found)] = place - 1;
        if (!picture.isEmpty())
            file.fields()[static_cast<std::size_t>(place - 1)].picture = picture;
    }
    return assigned;
}

QStringList TakeImportOptions(Arguments& args) {
    QStringList options;
    if (const std::optional<QString> table = args.take(QStringLiteral("--table")))
        options << QStringLiteral("--table") << *table;
    if (args.takeFlag(QStringLiteral("--header")))
        options << QStringLiteral("--header");
    if (const std::optional<QString> map = args.take(QStringLiteral("--map")))
        options << QStringLiteral("--map") << *map;
    if (args.takeFlag(QStringLiteral("--auto")))
        options << QStringLiteral("--auto");
    return options;
}

CsvImportChoice ReadImportChoice(const QStringList& options, ImportFile& file, const QString& source) {
    Arguments args(options);
    CsvImportChoice c;
    c.table = &TakeExchangeTable(args, "import-csv");
    c.skipHeader = args.takeFlag(QStringLiteral("--header"));
    if (file.fields().empty())
        throw Failure{source + QStringLiteral(": no fields on the first line; nothing was imported")};
    c.assigned = TakeImportAssignments(args, *c.table, file, c.skipHeader);
    args.finish();
    if (std::all_of(c.assigned.begin(), c.assigned.end(), [](int a) { return a < 0; }))
        throw Failure{QStringLiteral("no field of the file goes to the table; nothing was imported")};
    return c;
}

namespace {

std::atomic<bool> interrupted{false};
struct sigaction previous {};

extern "C" void OnInterrupt(int) {
    interrupted.store(true);
}

} // namespace

InterruptCancels::InterruptCancels() {
    interrupted.store(false);
    struct sigaction a {};
    a.sa_handler = OnInterrupt;
    sigemptyset(&a.sa_mask);
    a.sa_flags = SA_RESETHAND; // the second Ctrl+C is the shell's own
    sigaction(SIGINT, &a, &previous);
}

InterruptCancels::~InterruptCancels() {
    sigaction(SIGINT, &previous, nullptr);
}

bool InterruptCancels::requested() {
    return interrupted.load();
}

CsvExportChoice TakeExportChoice(Arguments& args) {
    CsvExportChoice c;
    c.table = &TakeExchangeTable(args, "export-csv");
    c.header = args.takeFlag(QStringLiteral("--header"));
    if (const std::optional<QString> fields = args.take(QStringLiteral("--fields"))) {
        for (const QString& name : fields->split(QLatin1Char(','))) {
            const int i = FieldNamed(c.table->exportFields, name);
            if (i < 0)
                throw UsageError{QStringLiteral("--fields: no field \"%1\"; the fields are %2")
                                     .arg(name.trimmed(), FieldList(c.table->exportFields))};
            c.fields.push_back(c.table->exportFields[static_cast<std::size_t>(i)]);
        }
    } else {
        c.fields = c.table->exportFields;
    }
    while (const std::optional<QString> given = args.take(QStringLiteral("--picture"))) {
        const qsizetype eq = given->indexOf(QLatin1Char('='));
        const QString name = given->left(eq).trimmed();
        const QString picture = eq < 0 ? QString() : given->mid(eq + 1).trimmed();
        if (eq <= 0 || picture.isEmpty())
            throw UsageError{QStringLiteral("--picture: FIELD=PICTURE, not \"%1\"").arg(*given)};
        // As the export window's picture prompt takes it.
        if (!picture.startsWith(QLatin1Char('@')))
            throw UsageError{QStringLiteral("--picture %1: pictures must begin with \"@\"").arg(*given)};
        bool found = false;
        for (ExchangeField& f : c.fields) {
            if (NamedAs(f, name)) {
                f.picture = picture;
                found = true;
            }
        }
        if (!found)
            throw UsageError{QStringLiteral("--picture: \"%1\" is not among the fields exported").arg(name)};
    }
    return c;
}

TerminalProgress::TerminalProgress()
    : terminal_(::isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() {
    end();
}

void TerminalProgress::doBegin(const QString& title, const QString& text) {
    title_ = text.isEmpty() ? title : text;
}

void TerminalProgress::doUpdate(int percent) {
    if (!terminal_)
        return;
    std::fprintf(stderr, "\rkelvray-cli: %s %d%%\033[K", qPrintable(title_), percent);
    shown_ = true;
}

void TerminalProgress::end() {
    if (shown_)
        std::fprintf(stderr, "\r\033[K");
    shown_ = false;
}

} // namespace kr::cli
