#include "cli/SearchCommand.h"

#include "search/Scan.h"
#include "store/Tags.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <thread>

#include "store/Tables.h"

namespace kr::cli {

namespace {

// The match types by their short names, in the order of their numbers.
const std::vector<std::pair<const char*, int>>& MatchNames() {
    static const std::vector<std::pair<const char*, int>> names{
        {"equals", Equals},        {"not-equals", NotEquals},     {"more", MoreThan},
        {"less", LessThan},        {"more-or-equal", MoreOrEqual}, {"less-or-equal", LessOrEqual},
        {"inside", InsideRange},   {"outside", OutsideRange},     {"begins", BeginsWith},
        {"ends", EndsWith},        {"contains", Contains},        {"not-contains", NotContains},
        {"month", SameMonth},      {"day", SameDay},              {"year", SameYear},
        {"month-day", SameMonthDay}, {"year-month", SameYearMonth}};
    return names;
}

// A searchable field by its name ("description", "task-type", "TaskType"); -1 when none.
int SearchFieldNamed(const QString& name) {
    QString wanted = name.toUpper();
    wanted.remove(QLatin1Char('-'));
    wanted.remove(QLatin1Char('_'));
    for (const SearchField& f : ScheduleSearchFields())
        if ((*Schedule::decl().fields)[static_cast<std::size_t>(f.field)].name().toUpper() == wanted)
            return f.field;
    return -1;
}

QString SearchFieldNames() {
    QStringList names;
    for (const SearchField& f : ScheduleSearchFields())
        names << (*Schedule::decl().fields)[static_cast<std::size_t>(f.field)].name().toLower();
    return names.join(QStringLiteral(", "));
}

// An example as the field's kind reads it: dates and times in the forms add takes.
qint64 SearchNumber(int field, FieldKind kind, const QString& text) {
    const QString option = QStringLiteral("search ") + text;
    if (kind == FieldKind::DATE)
        return ParseDay(text, option);
    if (field == Schedule::TIME || field == Schedule::ADVANCEWARNTIME)
        return ParseClock(text, option);
    if (kind == FieldKind::CHECK) {
        const QString t = text.trimmed().toLower();
        if (t == QStringLiteral("1") || t == QStringLiteral("yes") || t == QStringLiteral("true"))
            return 1;
        if (t == QStringLiteral("0") || t == QStringLiteral("no") || t == QStringLiteral("false"))
            return 0;
        throw UsageError{QStringLiteral("search: \"%1\" is not yes or no").arg(text)};
    }
    bool ok = false;
    const qint64 n = text.trimmed().toLongLong(&ok);
    if (!ok)
        throw UsageError{QStringLiteral("search: \"%1\" is not a number").arg(text)};
    return n;
}

} // namespace

std::vector<Criterion> SearchCriteria(const QStringList& words) {
    std::vector<Criterion> criteria;
    for (qsizetype i = 0; i < words.size();) {
        const int field = SearchFieldNamed(words[i]);
        if (field < 0)
            throw UsageError{QStringLiteral("search: no field \"%1\"; the fields are %2").arg(words[i], SearchFieldNames())};
        if (i + 2 >= words.size())
            throw UsageError{QStringLiteral("search: %1 needs a match type and a value").arg(words[i])};
        int type = -1;
        for (const auto& [n, t] : MatchNames())
            if (words[i + 1].compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
                type = t;
        const FieldKind kind = KindOf(field);
        if (type < 0 || !Offers(kind, type)) {
            QStringList offered;
            for (const auto& [n, t] : MatchNames())
                if (Offers(kind, t))
                    offered << QLatin1String(n);
            throw UsageError{QStringLiteral("search: %1 takes %2, not \"%3\"")
                                 .arg(words[i], offered.join(QStringLiteral(", ")), words[i + 1])};
        }
        const bool range = type == InsideRange || type == OutsideRange;
        if (range && i + 3 >= words.size())
            throw UsageError{QStringLiteral("search: %1 %2 needs two values").arg(words[i], words[i + 1])};
        const FieldDecl& decl = (*Schedule::decl().fields)[static_cast<std::size_t>(field)];
        Schedule example;
        qint64 limit = 0;
        QString upper;
        if (decl.isText()) {
            decl.setText(&example, QString(words[i + 2]));
            if (range)
                upper = words[i + 3];
        } else {
            decl.setInt(&example, SearchNumber(field, kind, words[i + 2]));
            if (range)
                limit = SearchNumber(field, kind, words[i + 3]);
            else if (type == BeginsWith && kind == FieldKind::PICTURE)
                limit = BeginsWithDivisor(SearchNumber(field, kind, words[i + 2]));
        }
        criteria.push_back(MakeCriterion(field, type, example, limit, upper));
        i += range ? 4 : 3;
    }
    if (criteria.empty())
        throw UsageError{QStringLiteral("search needs FIELD MATCH VALUE")};
    return criteria;
}

namespace {

constexpr unsigned kMostParts = 4;

struct Part {
    std::vector<Schedule> found;
    QString error;
};

// One scan, over the rows after `after` up to `upTo` (0, 0: as planned, all of them).
void Scan(Store& store, const std::vector<Criterion>& criteria, const QString& user, const std::vector<int>& fields,
          qint64 after, qint64 upTo, Part& part) {
    Tags tags(store, user);
    ScheduleScan scan(store, criteria, SearchMode::Edit, tags, 512);
    // Through a key most records read are matches: their fields come with the batch. A scan
    // of the whole table matches few of the many it reads, which are fetched alone.
    if (!fields.empty() && scan.plan().source == ScanPlan::Source::Key)
        scan.readMatchesWith(fields);
    if (upTo > 0)
        scan.limitRows(after, upTo);
    for (;;) {
        const ScheduleScan::Result r = scan.step();
        if (r == ScheduleScan::Result::Match) {
            part.found.push_back(scan.match());
        } else if (r == ScheduleScan::Result::Failed) {
            part.error = QStringLiteral("%1 could not be read: %2").arg(scan.errorTable(), scan.error().describe());
            return;
        } else if (r == ScheduleScan::Result::Done) {
            return;
        }
    }
}

} // namespace

qint64 SelectMatches(Store& store, std::vector<Criterion> criteria, const QString& user, Progress& progress,
                     QString& error) {
    Tags tags(store, user);
    ScheduleScan scan(store, std::move(criteria), SearchMode::Select, tags, 512);
    progress.begin(QStringLiteral("Searching for Matching Records"), QString());
    ScheduleScan::Result r =
        scan.error().code != Err::None ? ScheduleScan::Result::Failed : ScheduleScan::Result::Working;
    while (r != ScheduleScan::Result::Failed && r != ScheduleScan::Result::Done && !progress.cancelled()) {
        r = scan.step();
        const qint64 total = scan.total();
        progress.update(total > 0 ? static_cast<int>(std::min<qint64>(100, scan.examined() * 100 / total)) : 100);
    }
    progress.end();
    const bool written = scan.finishWrites() == Err::None;
    if (!written || r == ScheduleScan::Result::Failed)
        error = QStringLiteral("the matches could not be selected: ") +
                (written ? scan.error().describe() : scan.writeError().describe());
    return scan.matched();
}

std::vector<Schedule> FindTasks(Store& store, const std::vector<Criterion>& criteria, const QString& user,
                                const std::vector<int>& fields, const StoreOpener& open, qint64 rowsPerPart) {
    qint64 rows = 0;
    if (PlanScan(criteria, SearchMode::Edit).source == ScanPlan::Source::Table) {
        Table<Schedule> tasks(store);
        rows = tasks.lastRow();
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const auto count = static_cast<unsigned>(
        std::clamp<qint64>(rows / std::max<qint64>(1, rowsPerPart), 1, std::min(cores, kMostParts)));
    std::vector<Part> parts(count);
    if (count == 1 || !open) {
        Scan(store, criteria, user, fields, 0, 0, parts[0]);
    } else {
        // The first part here, each other on a thread and a connection of its own; the last
        // one goes on to whatever rows were added meanwhile.
        const qint64 each = rows / count;
        std::vector<std::thread> threads;
        for (unsigned i = 1; i < count; ++i) {
            const qint64 after = each * i;
            const qint64 upTo = i + 1 == count ? std::numeric_limits<qint64>::max() : each * (i + 1);
            threads.emplace_back([&, i, after, upTo] {
                try {
                    const std::shared_ptr<Store> own = open();
                    Scan(*own, criteria, user, fields, after, upTo, parts[i]);
                } catch (...) {
                    parts[i].error = QStringLiteral("Schedule could not be read");
                }
            });
        }
        Scan(store, criteria, user, fields, 0, each, parts[0]);
        for (std::thread& t : threads)
            t.join();
    }
    std::vector<Schedule> found;
    for (Part& p : parts) {
        if (!p.error.isEmpty())
            throw Failure{p.error};
        found.insert(found.end(), std::make_move_iterator(p.found.begin()), std::make_move_iterator(p.found.end()));
    }
    return found;
}

} // namespace kr::cli
