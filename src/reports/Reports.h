#pragma once

// The nine printed reports of the Reports menu and how a report runs: its parameters or
// title, the preview-or-print question, reading the table under the progress window with
// Cancel, and handing the pages to the preview or the printer.

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "platform/Progress.h"
#include "reports/Report.h"
#include "store/Store.h"
#include "store/Tables.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kr {

enum class ReportKind {
    BriefSchedule,
    ScheduleByDate,
    ScheduleByCategory,
    ScheduleCategory,
    ScheduleChecklist,
    Contacts,
    Categories,
    TodoByPriority,
    TodoByCategory,
};

// The menu's procedure names ("ReportBriefSchedule", ...), in the order of ReportKind.
const QStringList& ReportProcedures();
std::optional<ReportKind> ReportKindOf(const QString& procedure);

// The choices of ReportParameters, kept for the rest of the program's run once chosen.
struct ReportChoices {
    bool chosen = false; // false until the window was first used: its defaults apply
    bool selectedDates = false;
    Date from = 0;
    Date to = 0;
    bool selectedCategory = false;
    QString category;
    int order = 0; // index into ReportOrders()
};

// "Date", "Category", "Category/Date", "Description", "Task Type", "Adv. Warn".
const QStringList& ReportOrders();
// The schedule key of an order.
Schedule::Key ReportOrderKey(int order);
// The first-use defaults: all dates, all categories, by date, today to today + 30.
ReportChoices DefaultReportChoices(const Clock& clock);

// Which tasks the parameters let through: the dates when selected, the category when
// selected (letter case ignored, as in every other list of a category).
struct ReportFilter {
    bool dates = false;
    Date from = 0;
    Date to = 0;
    bool category = false;
    QString categoryName;

    static ReportFilter of(const ReportChoices& c);
    bool matches(const Schedule& task) const;
};

// The same category, whatever the letter case and trailing blanks.
bool SameCategory(const QString& a, const QString& b);

// Where the finished pages go.
class ReportOutput {
public:
    virtual ~ReportOutput() = default;
    // Shows the pages, from which the user may print them.
    virtual void preview(const ReportDocument& doc) = 0;
    // Prints the pages at once, showing the pages printed in `progress`; false when the
    // printer could not be started.
    virtual bool print(const ReportDocument& doc, Progress& progress) = 0;
};

// Writes every report, previewed or printed, to one PDF file.
class PdfReportOutput final : public ReportOutput {
public:
    explicit PdfReportOutput(QString file)
        : file_(std::move(file)) {}
    void preview(const ReportDocument& doc) override;
    bool print(const ReportDocument& doc, Progress& progress) override;
    int previews = 0;
    int prints = 0;

private:
    QString file_;
};

struct ReportContext {
    Store& store;
    Dialogs& dialogs;
    const Clock& clock;
    Progress& progress;
    ReportOutput& output;
    ReportChoices& choices;
    // ReportParameters on the choices; false when cancelled.
    std::function<bool(ReportChoices&)> askParameters;
    // SetReportTitle; false when cancelled, else the title (blank: the default heading).
    std::function<bool(QString& title)> askTitle;
    // SelectCategories; empty when closed without a pick.
    std::function<QString()> selectCategory;
    // Records read per batch from the table.
    int batch = 500;
};

// What Cancel in the progress window asks.
extern const QString kCancelQuestion;
extern const QString kCancelCaption;
// What a preview cancelled halfway asks.
extern const QString kPreviewSoFarQuestion;
// The message of a checklist ordered by a key without the date.
extern const QString kChecklistOrderWarning;

// Runs one report from its first question to the printed or previewed pages.
void RunReport(ReportContext& ctx, ReportKind kind);

// Reads the report's records into bands under the progress window; nullopt when the read was
// cancelled and its pages are not wanted, or failed (reported).
struct ReportRequest {
    ReportKind kind = ReportKind::BriefSchedule;
    QString heading;  // the heading for reports that take a title or a category
    QString category; // the picked category
    Schedule::Key order = Schedule::KEYDATE;
    ReportFilter filter;
};
struct ReadOutcome {
    ReportDocument doc;
    bool cancelled = false;
    bool failed = false;
};
ReadOutcome ReadReport(Store& store, Dialogs& dialogs, Progress& progress, const ReportRequest& request,
                       int batch = 500);

} // namespace kr
