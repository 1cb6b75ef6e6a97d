#include "reports/Reports.h"

#include "platform/Pictures.h"
#include "platform/Text.h"
#include "store/Table.h"
#include "store/Warnings.h"

#include <algorithm>

namespace kr {

namespace {

const QString kNote = QStringLiteral("NOTE...");

ReportColumn Col(const char* title, double width, Qt::Alignment align = Qt::AlignLeft, int line = 0) {
    return ReportColumn{QString::fromLatin1(title), width, align, line, false};
}

// A text column whose long values continue on further lines instead of being cut short.
ReportColumn Wrapping(const char* title, double width) {
    ReportColumn c = Col(title, width);
    c.wrap = true;
    return c;
}

ReportColumn Box(const char* title, double width) {
    return ReportColumn{QString::fromLatin1(title), width, Qt::AlignHCenter, 0, true};
}

QString D3(Date date) {
    return FormatDateAs(date, QStringLiteral("@d3b"));
}

QString T3(Time time) {
    return FormatTimeAs(time, QStringLiteral("@t3b"));
}

QString DateAndTime(Date date, Time time) {
    const QString t = T3(time);
    return t.isEmpty() ? D3(date) : D3(date) + QLatin1Char(' ') + t;
}

ReportField Check(const char* label, quint8 flag, double width = 1) {
    return ReportField{QString::fromLatin1(label), {}, true, flag != 0, width};
}

ReportField Text(const char* label, const QString& value, double width = 1) {
    return ReportField{QString::fromLatin1(label), value, false, false, width};
}

// Every field of a task, grouped into lines of a block; the message below them in full.
ReportBand TaskBlock(const Schedule& t) {
    ReportBlock band;
    QString every = FormatNumber(t.every, QStringLiteral("@n6")).trimmed();
    if (!Clip(t.everyType).isEmpty())
        every += QLatin1Char(' ') + Clip(t.everyType);
    // Every value whole: the description on a line of its own, the longer fields lined up in
    // columns wide enough for them, the command and the message wrapped beneath.
    band.fields = {
        {Text("Description", Clip(t.description))},
        {Text("Category", Clip(t.category), 1.5), Text("Task Type", Clip(t.taskType), 1.5), ReportField{}},
        {Text("Date", D3(t.date), 0.8), Text("Time", T3(t.time), 0.7),
         Text("Schedule Type", Clip(t.scheduleType), 1.5), Text("Every", every)},
        {Text("Advance Warning", DateAndTime(t.advanceWarnDate, t.advanceWarnTime)),
         Text("Last Run:", DateAndTime(t.lastRunDate, t.lastRunTime))},
        {Check("Sunday", t.sunday), Check("Monday", t.monday), Check("Tuesday", t.tuesday),
         Check("Wednesday", t.wednesday), Check("Thursday", t.thursday), Check("Friday", t.friday),
         Check("Saturday", t.saturday)},
        {Check("1st", t.every1st), Check("2nd", t.every2nd), Check("3rd", t.every3rd),
         Check("4th", t.every4th), Check("Last", t.everyLast), ReportField{}, ReportField{}},
        {Check("Skip Next Time", t.skipNextTime), Check("Alarm", t.alarm), Check("Disabled", t.disabled)},
        {Check("Warn if not run on specified date", t.warn),
         Check("Give option to skip before performing", t.userSkip)},
    };
    band.texts = {{QStringLiteral("Command"), Clip(t.command)},
                  {QStringLiteral("Message"), t.message.trimmed()}};
    return ReportBand::of(std::move(band));
}

QString ChecklistGroup(Date date) {
    if (date == 0)
        return {};
    return WeekdayName(date) + QStringLiteral("   ") + D3(date);
}

// Rows the query for the records a key leaves out looks through at a time.
constexpr qint64 kLeftOutRows = 10000;

// Reads the table in one key order, batch by batch, keeping what `keep` lets through as
// `make` lays it out; stops when the user cancels. The records the key leaves out (those
// whose key fields are all blank: a contact without a name, a task without a warning) come
// first, where the key would put them.
template <class R>
void ReadBands(Store& store, Dialogs& dialogs, Progress& progress, int key, int batch,
               const std::function<bool(const R&)>& keep, const std::function<ReportBand(const R&)>& make,
               ReadOutcome& out) {
    Table<R> table(store);
    const qint64 all = table.records();
    const qint64 total = std::max<qint64>(1, all);
    table.send(QStringLiteral("QUICKSCAN=on"));
    std::vector<R> records;
    qint64 read = 0;
    auto take = [&] {
        for (const R& r : records)
            if (!keep || keep(r))
                out.doc.bands.push_back(make(r));
        read += static_cast<qint64>(records.size());
        progress.update(static_cast<int>(std::min<qint64>(100, read * 100 / total)));
    };
    Err e = Err::None;
    // Looking for them reads every record; the key's index tells first whether any are there.
    qint64 leftOut = 0;
    if (R::decl().keys[static_cast<std::size_t>(key)].opt()) {
        const qint64 held = table.keyRecords(key);
        e = table.error().code;
        leftOut = all - held;
    }
    if (e == Err::None && leftOut > 0) {
        const qint64 last = table.lastRow();
        e = table.error().code;
        std::vector<qint64> rows;
        qint64 found = 0;
        for (qint64 after = 0; e == Err::None && after < last && found < leftOut; after += kLeftOutRows) {
            if (progress.cancelled()) {
                out.cancelled = true;
                break;
            }
            e = table.leftOutRows(key, after, std::min(last, after + kLeftOutRows), rows);
            found += static_cast<qint64>(rows.size());
            records.clear();
            for (std::size_t i = 0; e == Err::None && i < rows.size(); ++i) {
                e = table.fetch(rows[i], records.emplace_back());
                if (e == Err::RecordNotFound) { // deleted meanwhile
                    records.pop_back();
                    e = Err::None;
                }
            }
            if (e == Err::None)
                take();
        }
    }
    if (e == Err::None && !out.cancelled)
        e = table.set(key);
    while (e == Err::None && !out.cancelled) {
        if (progress.cancelled()) {
            out.cancelled = true;
            break;
        }
        e = table.nextBatch(records, batch);
        if (e != Err::None)
            break;
        take();
    }
    table.send(QStringLiteral("QUICKSCAN=off"));
    if (e != Err::None && e != Err::NoMoreRecords) {
        warn::RecordRetrieval(dialogs, R::decl().name, table.error());
        out.failed = true;
    }
    // A cancel pressed while the last batch was read still counts.
    if (!out.failed && progress.cancelled())
        out.cancelled = true;
}

} // namespace

const QString kCancelQuestion = QStringLiteral("Are you sure you want to CANCEL this Report?");
const QString kCancelCaption = QStringLiteral("Cancel Request");
const QString kPreviewSoFarQuestion =
    QStringLiteral("Report Cancellation Requested!\n \nPreview Report generated so far?");

const QString kChecklistOrderWarning =
    QStringLiteral("You have selected an order that does not contain a key by date.  Since a page break is "
                   "issued when the date of a scheduled tasks changes, the report may be long.");

const QStringList& ReportProcedures() {
    static const QStringList names = {
        QStringLiteral("ReportBriefSchedule"),      QStringLiteral("ReportScheduleByDate"),
        QStringLiteral("ReportScheduleByCategory"), QStringLiteral("ReportScheduleCategory"),
        QStringLiteral("ReportScheduleChecklist"),  QStringLiteral("ReportContacts"),
        QStringLiteral("ReportCategories"),         QStringLiteral("ReportTodoByPriority"),
        QStringLiteral("ReportTodoByCategory"),
    };
    return names;
}

std::optional<ReportKind> ReportKindOf(const QString& procedure) {
    const qsizetype i = ReportProcedures().indexOf(procedure);
    if (i < 0)
        return std::nullopt;
    return static_cast<ReportKind>(i);
}

const QStringList& ReportOrders() {
    static const QStringList orders = {QStringLiteral("Date"),          QStringLiteral("Category"),
                                       QStringLiteral("Category/Date"), QStringLiteral("Description"),
                                       QStringLiteral("Task Type"),     QStringLiteral("Adv. Warn")};
    return orders;
}

Schedule::Key ReportOrderKey(int order) {
    static const Schedule::Key keys[] = {Schedule::KEYDATE,         Schedule::KEYCATEGORY,
                                         Schedule::KEYCATEGORYDATE, Schedule::KEYTASKNAME,
                                         Schedule::KEYTASKTYPE,     Schedule::KEYADVANCED};
    return keys[std::clamp(order, 0, 5)];
}

ReportChoices DefaultReportChoices(const Clock& clock) {
    ReportChoices c;
    c.from = clock.today();
    c.to = clock.today() + 30;
    return c;
}

bool SameCategory(const QString& a, const QString& b) {
    return Clip(a).compare(Clip(b), Qt::CaseInsensitive) == 0;
}

ReportFilter ReportFilter::of(const ReportChoices& c) {
    ReportFilter f;
    f.dates = c.selectedDates;
    f.from = c.from;
    f.to = c.to;
    f.category = c.selectedCategory;
    f.categoryName = c.category;
    return f;
}

bool ReportFilter::matches(const Schedule& task) const {
    if (category && !SameCategory(task.category, categoryName))
        return false;
    if (dates && (task.date < from || task.date > to))
        return false;
    return true;
}

ReadOutcome ReadReport(Store& store, Dialogs& dialogs, Progress& progress, const ReportRequest& request,
                       int batch) {
    ReadOutcome out;
    ReportDocument& doc = out.doc;
    const ReportFilter filter = request.filter;
    const QString category = request.category;
    auto scheduleRead = [&](int key, std::function<bool(const Schedule&)> keep,
                            std::function<ReportBand(const Schedule&)> make) {
        ReadBands<Schedule>(store, dialogs, progress, key, batch, keep, make, out);
    };
    switch (request.kind) {
    case ReportKind::BriefSchedule:
        doc.heading = QStringLiteral("Schedule in Brief");
        doc.rowLines = 1.7; // room to tick "Done" by hand
        doc.columns = {Col("Date", 1.3), Col("Time", 1), Wrapping("Category", 1.8),
                       Wrapping("Description", 3.6), Box("Done", 0.6)};
        scheduleRead(
            request.order, [filter](const Schedule& t) { return filter.matches(t); },
            [](const Schedule& t) {
                // A task done (a history copy) has its box ticked.
                return ReportBand::row({D3(t.date), T3(t.time), Clip(t.category), Clip(t.description),
                                        t.completed != 0 ? QStringLiteral("x") : QString()});
            });
        break;
    case ReportKind::ScheduleByDate:
    case ReportKind::ScheduleByCategory:
        doc.heading = QStringLiteral("Schedule");
        doc.blocks = true;
        scheduleRead(request.kind == ReportKind::ScheduleByDate ? Schedule::KEYDATE : Schedule::KEYCATEGORY,
                     {}, TaskBlock);
        break;
    case ReportKind::ScheduleCategory:
        doc.heading = request.heading;
        doc.columns = {Col("Date", 1.3), Col("Time", 1), Wrapping("Description", 4)};
        scheduleRead(
            Schedule::KEYCATEGORY,
            [category](const Schedule& t) { return SameCategory(t.category, category); },
            [](const Schedule& t) {
                return ReportBand::row({D3(t.date), T3(t.time), Clip(t.description)});
            });
        break;
    case ReportKind::ScheduleChecklist:
        doc.heading = QStringLiteral("Schedule");
        doc.groupBreaks = true;
        doc.rowLines = 2.4;
        doc.columns = {Col("Time", 0.7),    Wrapping("Category", 1.3), Wrapping("Description", 2.3),
                       Box("Done", 0.6),    Box("Actual Start", 1.3),  Box("Actual End", 1.3),
                       Box("Initials", 0.8)};
        scheduleRead(
            request.order, [filter](const Schedule& t) { return filter.matches(t); },
            [](const Schedule& t) {
                return ReportBand::row(
                    {FormatTimeAs(t.time, QStringLiteral("@t1b")), Clip(t.category), Clip(t.description)},
                    ChecklistGroup(t.date));
            });
        break;
    case ReportKind::Contacts:
        doc.heading = QStringLiteral("Report the Contact File");
        doc.rowLines = 1.5;
        // Four lines on one grid of four columns, so that every line lines up with the others.
        doc.columns = {Col("Last Name", 1),
                       Col("First Name", 1),
                       Col("Postal Code", 1),
                       Col("Contact Category", 1),
                       Col("Address Line 1", 1, Qt::AlignLeft, 1),
                       Col("Address Line 2", 1, Qt::AlignLeft, 1),
                       Col("Address Line 3", 1, Qt::AlignLeft, 1),
                       Col("Work/Day Phone", 1, Qt::AlignLeft, 2),
                       Col("Home/Evening Phone", 1, Qt::AlignLeft, 2),
                       Col("Fax", 1, Qt::AlignLeft, 2),
                       Col("Other Phone", 1, Qt::AlignLeft, 2),
                       Col("Email", 1, Qt::AlignLeft, 3),
                       Col("Web Site", 3, Qt::AlignLeft, 3),
                       Col("", 1, Qt::AlignLeft, 1)};
        ReadBands<Contact>(
            store, dialogs, progress, Contact::KEYLASTNAME, batch, {},
            [](const Contact& c) {
                return ReportBand::row({Clip(c.lastName), Clip(c.firstName), Clip(c.postalCode),
                                        Clip(c.contactCategory), Clip(c.addressLine1), Clip(c.addressLine2),
                                        Clip(c.addressLine3), Clip(c.workdayPhone), Clip(c.homeEveningPhone),
                                        Clip(c.fax), Clip(c.otherPhone), Clip(c.email), Clip(c.website)});
            },
            out);
        break;
    case ReportKind::Categories:
        doc.heading = QStringLiteral("Category List");
        // One narrow column; the blank one beside it keeps it its width.
        doc.columns = {Wrapping("Category", 1), Col("", 2)};
        ReadBands<Categories>(
            store, dialogs, progress, Categories::KEYCATEGORY, batch, {},
            [](const Categories& c) { return ReportBand::row({Clip(c.category)}); }, out);
        break;
    case ReportKind::TodoByPriority:
    case ReportKind::TodoByCategory: {
        doc.heading = request.heading;
        doc.columns = {Col("Priority", 1, Qt::AlignHCenter), Wrapping("Category", 1.8), Wrapping("To Do", 6),
                       Col("Done", 1.3)};
        const bool byCategory = request.kind == ReportKind::TodoByCategory;
        ReadBands<Todo>(
            store, dialogs, progress, byCategory ? Todo::KEYCATEGORY : Todo::KEYPRIORITY, batch,
            [byCategory, category](const Todo& t) {
                return !byCategory || SameCategory(t.category, category);
            },
            [](const Todo& t) {
                return ReportBand::row({FormatNumber(t.priority, QStringLiteral("@n2")).trimmed(),
                                        Clip(t.category), Clip(t.todo), D3(t.completionDate)});
            },
            out);
        break;
    }
    }
    return out;
}

void PdfReportOutput::preview(const ReportDocument& doc) {
    ++previews;
    WriteReportPdf(doc, file_);
}

bool PdfReportOutput::print(const ReportDocument& doc, Progress&) {
    ++prints;
    return WriteReportPdf(doc, file_);
}

void RunReport(ReportContext& ctx, ReportKind kind) {
    ReportRequest request;
    request.kind = kind;
    // 1. Parameters, title or category.
    if (kind == ReportKind::BriefSchedule || kind == ReportKind::ScheduleChecklist) {
        if (!ctx.choices.chosen) {
            ctx.choices = DefaultReportChoices(ctx.clock);
        }
        if (!ctx.askParameters || !ctx.askParameters(ctx.choices))
            return;
        ctx.choices.chosen = true;
        request.order = ReportOrderKey(ctx.choices.order);
        request.filter = ReportFilter::of(ctx.choices);
        if (kind == ReportKind::ScheduleChecklist &&
            !Schedule::decl().keyLabel(request.order).contains(QStringLiteral("DATE")))
            ctx.dialogs.message(kChecklistOrderWarning, QStringLiteral("Warning"),
                                Dialogs::Icon::Exclamation);
    }
    if (kind == ReportKind::TodoByPriority || kind == ReportKind::TodoByCategory) {
        QString title;
        if (!ctx.askTitle || !ctx.askTitle(title))
            return;
        request.heading = title.trimmed().isEmpty() ? (kind == ReportKind::TodoByPriority
                                                           ? QStringLiteral("To Do List - By Priority")
                                                           : QStringLiteral("To Do List - By Category"))
                                                    : title.trimmed();
    }
    if (kind == ReportKind::ScheduleCategory || kind == ReportKind::TodoByCategory) {
        request.category = ctx.selectCategory ? Clip(ctx.selectCategory()) : QString();
        if (request.category.isEmpty())
            return;
        if (kind == ReportKind::ScheduleCategory)
            request.heading = request.category;
    }

    // 2. Preview or print.
    const Dialogs::Button answer = ctx.dialogs.message(
        QStringLiteral("Do you wish to PREVIEW this Report?"), QStringLiteral("Preview"),
        Dialogs::Icon::Question, Dialogs::Yes | Dialogs::No | Dialogs::Cancel, Dialogs::Yes);
    if (answer != Dialogs::Yes && answer != Dialogs::No)
        return;
    const bool preview = answer == Dialogs::Yes;

    // 3. and 4. The records, under the progress window.
    ctx.progress.begin(preview ? QStringLiteral("Generating Report") : QStringLiteral("Printing Report"), {});
    ctx.progress.setCancelQuestionYesNo(kCancelQuestion, kCancelCaption);
    ReadOutcome read = ReadReport(ctx.store, ctx.dialogs, ctx.progress, request, ctx.batch);
    ctx.progress.end();
    if (read.failed)
        return;
    if (read.cancelled) {
        if (!preview)
            return;
        if (ctx.dialogs.message(kPreviewSoFarQuestion, kCancelCaption, Dialogs::Icon::Question,
                                Dialogs::Yes | Dialogs::No, Dialogs::Yes) != Dialogs::Yes)
            return;
    }

    // 5. The pages.
    if (read.doc.bands.empty()) {
        ctx.dialogs.message(preview ? QStringLiteral("Nothing to Preview.")
                                    : QStringLiteral("Nothing to Print."),
                            kNote, Dialogs::Icon::Information);
        return;
    }
    if (preview) {
        ctx.output.preview(read.doc);
    } else if (!ctx.output.print(read.doc, ctx.progress)) {
        ctx.dialogs.message(QStringLiteral("The report could not be printed: the printer is not available."),
                            kNote, Dialogs::Icon::Exclamation);
    }
}

} // namespace kr
