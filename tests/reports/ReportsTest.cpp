// The reports written to PDF through the renderer and read back with pdftotext: headings,
// columns, records, their order and filter, page breaks and the run's questions.

#include "reports/ReportFixture.h"

#include "reports/ui/ReportPreview.h"
#include "reports/ui/ReportWindows.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <sys/stat.h>

namespace kr::test {
namespace {

// A one-column report of `rows` names, over several pages.
ReportDocument CategoryList(int rows) {
    ReportDocument doc;
    doc.heading = QStringLiteral("Category List");
    doc.columns = {ReportColumn{QStringLiteral("Category"), 1, Qt::AlignLeft, 0, false}};
    for (int i = 0; i < rows; ++i)
        doc.bands.push_back(ReportBand::row({QStringLiteral("Name %1").arg(i)}));
    return doc;
}

class ReportsTest : public ReportFixture {
protected:
    // Three "work" tasks in range whose six orders all differ, one of another category and one
    // out of range.
    void addBriefTasks() {
        Table<Schedule> t(*store);
        auto add = [&](const char* d, const char* cat, Date date, const char* type, Date warn) {
            Schedule s = addTask(QString::fromLatin1(d), QString::fromLatin1(cat), date, TimeFromHms(9, 0, 0),
                                 QString::fromLatin1(type));
            s.advanceWarnDate = warn;
            ASSERT_EQ(t.get(Schedule::KEYID, s), Err::None);
            s.advanceWarnDate = warn;
            ASSERT_EQ(t.put(s), Err::None);
        };
        add("Alpha", "Work", Dec(12), "Program", Dec(11));
        add("Bravo", "work", Dec(10), "Message", Dec(15));
        add("Charlie", "WORK", Dec(11), "Auto", Dec(13));
        add("Delta", "Home", Dec(11), "Message", 0);
        add("Echo", "Work", DateFromYmd(2027, 1, 20), "Message", 0);
    }
};

TEST_F(ReportsTest, BriefScheduleFiltersAndOrdersByEachOfTheSixKeys) {
    addBriefTasks();
    wanted.selectedDates = true;
    wanted.from = Dec(9);
    wanted.to = Dec(31);
    wanted.selectedCategory = true;
    wanted.category = QStringLiteral("Work");
    const QStringList expected[6] = {
        {"Bravo", "Charlie", "Alpha"}, // Date
        {"Alpha", "Bravo", "Charlie"}, // Category, then description
        {"Bravo", "Charlie", "Alpha"}, // Category/Date
        {"Alpha", "Bravo", "Charlie"}, // Description
        {"Charlie", "Bravo", "Alpha"}, // Task Type
        {"Alpha", "Charlie", "Bravo"}, // Advance warning date
    };
    for (int order = 0; order < 6; ++order) {
        SCOPED_TRACE(ReportOrders().at(order).toStdString());
        wanted.order = order;
        dialogs.shown.clear();
        run(ReportKind::BriefSchedule);
        ASSERT_EQ(output->previews, 1);
        const QString t = text();
        EXPECT_TRUE(t.contains(QStringLiteral("Schedule in Brief")));
        for (const char* column : {"Date", "Time", "Category", "Description", "Done"})
            EXPECT_TRUE(t.contains(QString::fromLatin1(column))) << column;
        EXPECT_TRUE(Ascending(Positions(t, expected[order]))) << t.toStdString();
        // Filtered out: another category, a date past the range.
        EXPECT_FALSE(t.contains(QStringLiteral("Delta")));
        EXPECT_FALSE(t.contains(QStringLiteral("Echo")));
        EXPECT_TRUE(t.contains(QStringLiteral("DEC 10,2026")));
        EXPECT_TRUE(t.contains(QStringLiteral("9:00AM")));
        EXPECT_TRUE(t.contains(QStringLiteral("Page 1")));
        // No checklist warning for the brief schedule; the preview question as asked.
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Do you wish to PREVIEW this Report?"));
        EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Preview"));
        EXPECT_EQ(dialogs.shown[0].buttons, unsigned(Dialogs::Yes | Dialogs::No | Dialogs::Cancel));
        EXPECT_EQ(dialogs.shown[0].defaultButton, Dialogs::Yes);
    }
    // The choices are kept for the next run; the progress window said what it was doing.
    EXPECT_EQ(choices.order, 5);
    EXPECT_EQ(progress.title, QStringLiteral("Generating Report"));
    EXPECT_EQ(progress.question, QStringLiteral("Are you sure you want to CANCEL this Report?"));

    // All dates and all categories: every task; printing at once says so in the window.
    wanted = ReportChoices{};
    dialogs.answer(Dialogs::No);
    run(ReportKind::BriefSchedule);
    EXPECT_EQ(output->prints, 1);
    EXPECT_EQ(progress.title, QStringLiteral("Printing Report"));
    const QString t = text();
    for (const char* name : {"Alpha", "Bravo", "Charlie", "Delta", "Echo"})
        EXPECT_TRUE(t.contains(QString::fromLatin1(name))) << name;
}

TEST_F(ReportsTest, FirstUseDefaultsComeFromTheClockAndCancelEndsTheReport) {
    addBriefTasks();
    // The window is offered the first-use defaults, then what was chosen.
    parametersOk = false;
    run(ReportKind::BriefSchedule);
    EXPECT_EQ(parameterAsks, 1);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_EQ(choices.from, Dec(8));
    EXPECT_EQ(choices.to, Dec(8) + 30);
    EXPECT_FALSE(choices.selectedDates);
    EXPECT_FALSE(choices.selectedCategory);
    EXPECT_EQ(choices.order, 0);

    // Cancel at the preview question ends it too.
    parametersOk = true;
    dialogs.answer(Dialogs::Cancel);
    run(ReportKind::BriefSchedule);
    EXPECT_EQ(output->previews + output->prints, 0);
    EXPECT_FALSE(QFile::exists(pdf));
}

TEST_F(ReportsTest, ChecklistStartsAPageAtEachDateAndWarnsOfOrdersWithoutIt) {
    addTask(QStringLiteral("Morning rounds"), QStringLiteral("Work"), Dec(10), TimeFromHms(8, 15, 0));
    addTask(QStringLiteral("Backups"), QStringLiteral("Work"), Dec(10), TimeFromHms(17, 5, 0));
    addTask(QStringLiteral("Inventory"), QStringLiteral("Home"), Dec(11), TimeFromHms(13, 0, 0));
    wanted.order = 0;
    run(ReportKind::ScheduleChecklist);
    QStringList p = pages();
    ASSERT_EQ(p.size(), 2) << text().toStdString();
    EXPECT_TRUE(p[0].contains(QStringLiteral("Schedule")));
    EXPECT_TRUE(p[0].contains(QStringLiteral("Thursday")));
    EXPECT_TRUE(p[0].contains(QStringLiteral("DEC 10,2026")));
    EXPECT_TRUE(p[0].contains(QStringLiteral("Morning rounds")));
    EXPECT_TRUE(p[0].contains(QStringLiteral("17:05")));
    EXPECT_TRUE(p[0].contains(QStringLiteral("8:15")));
    EXPECT_FALSE(p[0].contains(QStringLiteral("Inventory")));
    for (const char* column : {"Done", "Actual Start", "Actual End", "Initials"})
        EXPECT_TRUE(p[0].contains(QString::fromLatin1(column))) << column;
    EXPECT_TRUE(p[1].contains(QStringLiteral("Friday")));
    EXPECT_TRUE(p[1].contains(QStringLiteral("DEC 11,2026")));
    EXPECT_TRUE(p[1].contains(QStringLiteral("Inventory")));
    EXPECT_TRUE(p[1].contains(QStringLiteral("Page 2")));
    EXPECT_FALSE(dialogs.captions().contains(QStringLiteral("Warning")));

    // By description: the warning, then the report as asked; a page wherever the date changes.
    wanted.order = 3;
    dialogs.shown.clear();
    run(ReportKind::ScheduleChecklist);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].text, kChecklistOrderWarning);
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Warning"));
    EXPECT_EQ(dialogs.shown[1].caption, QStringLiteral("Preview"));
    p = pages();
    ASSERT_EQ(p.size(), 3); // Backups (10th), Inventory (11th), Morning rounds (10th)
    EXPECT_TRUE(p[0].contains(QStringLiteral("Backups")));
    EXPECT_TRUE(p[1].contains(QStringLiteral("Inventory")));
    EXPECT_TRUE(p[2].contains(QStringLiteral("Morning rounds")));
    EXPECT_TRUE(p[2].contains(QStringLiteral("Thursday")));

    // Category/Date holds the date: no warning.
    wanted.order = 2;
    dialogs.shown.clear();
    run(ReportKind::ScheduleChecklist);
    EXPECT_FALSE(dialogs.captions().contains(QStringLiteral("Warning")));
}

TEST_F(ReportsTest, SpecificCategoryListsItsTasksWhateverTheLetterCase) {
    addTask(QStringLiteral("Water the plants"), QStringLiteral("home"), Dec(10), TimeFromHms(8, 0, 0));
    addTask(QStringLiteral("Pay the rent"), QStringLiteral("HOME"), Dec(1), TimeFromHms(10, 0, 0));
    addTask(QStringLiteral("Quarterly report"), QStringLiteral("Work"), Dec(10), TimeFromHms(8, 0, 0));
    addTask(QStringLiteral("Homework"), QStringLiteral("Homework"), Dec(10), TimeFromHms(8, 0, 0));
    pickedCategory = QStringLiteral("Home");
    run(ReportKind::ScheduleCategory);
    const QString t = text();
    EXPECT_TRUE(t.trimmed().startsWith(QStringLiteral("Home")));
    EXPECT_TRUE(t.contains(QStringLiteral("Water the plants")));
    EXPECT_TRUE(t.contains(QStringLiteral("Pay the rent")));
    EXPECT_TRUE(t.contains(QStringLiteral("DEC 01,2026")));
    EXPECT_FALSE(t.contains(QStringLiteral("Quarterly report")));
    EXPECT_FALSE(t.contains(QStringLiteral("Homework")));

    // Closing the picker ends the report before any question.
    pickedCategory.clear();
    dialogs.shown.clear();
    run(ReportKind::ScheduleCategory);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(QFile::exists(pdf));
}

TEST_F(ReportsTest, ABlockPrintsValuesOfTheirFullLengthsWhole) {
    Schedule s = addTask(QStringLiteral("Maintenance window Maintenance lastword"),
                         QStringLiteral("Department DepartEnd"), Dec(10), TimeFromHms(23, 0, 0),
                         QStringLiteral("Program"));
    Table<Schedule> t(*store);
    ASSERT_EQ(t.get(Schedule::KEYID, s), Err::None);
    QString command = QStringLiteral("/usr/bin/rsync");
    while (command.size() < 240)
        command += QStringLiteral(" --opt");
    s.command = command + QStringLiteral(" lastarg");
    ASSERT_EQ(t.put(s), Err::None);
    run(ReportKind::ScheduleByDate);
    const QString text = this->text();
    EXPECT_FALSE(text.contains(QChar(0x2026))) << text.toStdString();
    for (const char* word : {"lastword", "DepartEnd", "lastarg"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(word))) << word << "\n" << text.toStdString();
}

TEST_F(ReportsTest, AllInDateOrderPrintsEveryFieldOfATaskInABlock) {
    Schedule s = addTask(QStringLiteral("Nightly build"), QStringLiteral("Work"), Dec(10),
                         TimeFromHms(23, 0, 0), QStringLiteral("Program"));
    Table<Schedule> t(*store);
    ASSERT_EQ(t.get(Schedule::KEYID, s), Err::None);
    s.command = QStringLiteral("/usr/bin/make all");
    s.monday = 1;
    s.alarm = 1;
    s.lastRunDate = Dec(7);
    s.lastRunTime = TimeFromHms(23, 0, 0);
    QString message;
    for (int i = 0; i < 60; ++i)
        message += QStringLiteral("word%1 ").arg(i);
    s.message = message + QStringLiteral("finalword");
    ASSERT_EQ(t.put(s), Err::None);
    addTask(QStringLiteral("Earlier task"), QStringLiteral("Zeta"), Dec(9), TimeFromHms(8, 0, 0));

    run(ReportKind::ScheduleByDate);
    QString text = this->text();
    EXPECT_TRUE(text.contains(QStringLiteral("Schedule")));
    for (const char* label : {"Task Type",
                              "Category",
                              "Description",
                              "Command",
                              "Message",
                              "Schedule Type",
                              "Date",
                              "Time",
                              "Advance Warning",
                              "Sunday",
                              "Saturday",
                              "Every",
                              "1st",
                              "4th",
                              "Last",
                              "Last Run:",
                              "Skip Next Time",
                              "Alarm",
                              "Warn if not run on specified date",
                              "Give option to skip before performing",
                              "Disabled"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(label))) << label;
    EXPECT_TRUE(text.contains(QStringLiteral("/usr/bin/make all")));
    EXPECT_TRUE(text.contains(QStringLiteral("DEC 07,2026 11:00PM")));
    // The message in full, wrapped.
    EXPECT_TRUE(text.contains(QStringLiteral("word0")));
    EXPECT_TRUE(text.contains(QStringLiteral("finalword")));
    EXPECT_LT(text.indexOf(QStringLiteral("Earlier task")), text.indexOf(QStringLiteral("Nightly build")));

    // In category order Work comes before Zeta.
    run(ReportKind::ScheduleByCategory);
    text = this->text();
    EXPECT_GT(text.indexOf(QStringLiteral("Earlier task")), text.indexOf(QStringLiteral("Nightly build")));
}

TEST_F(ReportsTest, ContactsShowAllThirteenColumnsByLastName) {
    Table<Contact> t(*store);
    Contact c{};
    c.clientId = 1;
    c.lastName = QStringLiteral("Zimmer");
    c.firstName = QStringLiteral("Anna");
    c.addressLine1 = QStringLiteral("12 Elm Street");
    c.addressLine2 = QStringLiteral("Flat 3");
    c.addressLine3 = QStringLiteral("Springfield");
    c.postalCode = QStringLiteral("AB1 2CD");
    c.workdayPhone = QStringLiteral("555-0101");
    c.homeEveningPhone = QStringLiteral("555-0202");
    c.fax = QStringLiteral("555-0303");
    c.otherPhone = QStringLiteral("555-0404");
    c.email = QStringLiteral("anna@example.org");
    c.website = QStringLiteral("https://example.org/anna");
    c.contactCategory = QStringLiteral("Friends");
    ASSERT_EQ(t.add(c), Err::None);
    Contact d{};
    d.clientId = 2;
    d.lastName = QStringLiteral("Abbott");
    d.firstName = QStringLiteral("Bill");
    ASSERT_EQ(t.add(d), Err::None);

    run(ReportKind::Contacts);
    const QString text = this->text();
    EXPECT_TRUE(text.contains(QStringLiteral("Report the Contact File")));
    for (const QString& v :
         {c.lastName, c.firstName, c.addressLine1, c.addressLine2, c.addressLine3, c.postalCode,
          c.workdayPhone, c.homeEveningPhone, c.fax, c.otherPhone, c.email, c.website, c.contactCategory})
        EXPECT_TRUE(text.contains(v)) << v.toStdString();
    for (const char* column :
         {"Last Name", "First Name", "Address Line 1", "Address Line 3", "Postal Code", "Work/Day Phone",
          "Home/Evening Phone", "Fax", "Other Phone", "Email", "Web Site", "Contact Category"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(column))) << column;
    EXPECT_LT(text.indexOf(QStringLiteral("Abbott")), text.indexOf(QStringLiteral("Zimmer")));
}

TEST_F(ReportsTest, ContactsWithoutANameArePrintedFirst) {
    Table<Contact> t(*store);
    Contact named{};
    named.clientId = 1;
    named.lastName = QStringLiteral("Abbott");
    ASSERT_EQ(t.add(named), Err::None);
    Contact mailOnly{};
    mailOnly.clientId = 2;
    mailOnly.email = QStringLiteral("nobody@example.org");
    ASSERT_EQ(t.add(mailOnly), Err::None);
    Contact phoneOnly{};
    phoneOnly.clientId = 3;
    phoneOnly.workdayPhone = QStringLiteral("555-0199");
    ASSERT_EQ(t.add(phoneOnly), Err::None);

    run(ReportKind::Contacts);
    const QString text = this->text();
    // Where the last-name order puts blank names: before every name.
    EXPECT_TRUE(Ascending(Positions(text, {"nobody@example.org", "555-0199", "Abbott"})))
        << text.toStdString();
    EXPECT_EQ(progress.updates.back(), 100);
}

TEST_F(ReportsTest, EveryOrderPrintsTheTasksItsKeyLeavesOut) {
    Table<Schedule> t(*store);
    Schedule warned =
        addTask(QStringLiteral("Warned"), QStringLiteral("Work"), Dec(12), TimeFromHms(9, 0, 0));
    ASSERT_EQ(t.get(Schedule::KEYID, warned), Err::None);
    warned.advanceWarnDate = Dec(11);
    warned.advanceWarnTime = TimeFromHms(8, 0, 0);
    ASSERT_EQ(t.put(warned), Err::None);
    addTask(QStringLiteral("Unwarned"), QStringLiteral("Work"), Dec(10), TimeFromHms(9, 0, 0));
    // No date, no time, no category: outside the date keys and the category/date key.
    addTask(QStringLiteral("Undated"), QString(), 0, 0);
    // No description, category or task type: outside the category, description and type keys.
    addTask(QString(), QString(), Dec(20), TimeFromHms(10, 0, 0), QString());

    const QStringList all = {"Warned", "Unwarned", "Undated", "DEC 20,2026"};
    for (int order = 0; order < 6; ++order) {
        SCOPED_TRACE(ReportOrders().at(order).toStdString());
        wanted = ReportChoices{};
        wanted.order = order;
        run(ReportKind::BriefSchedule);
        const QString text = this->text();
        for (const QString& task : all)
            EXPECT_TRUE(text.contains(task)) << task.toStdString() << "\n" << text.toStdString();
        if (order == 5) { // by warning: those without one first
            EXPECT_TRUE(Ascending(Positions(text, {"Unwarned", "Warned"})));
        }
    }
    // The checklist and the blocks read the same way.
    wanted.order = 0;
    run(ReportKind::ScheduleChecklist);
    EXPECT_TRUE(text().contains(QStringLiteral("Undated")));
    run(ReportKind::ScheduleByDate);
    EXPECT_TRUE(Ascending(Positions(text(), {"Undated", "Unwarned", "Warned"})));
    run(ReportKind::ScheduleByCategory);
    EXPECT_TRUE(text().contains(QStringLiteral("DEC 20,2026")));
}

TEST_F(ReportsTest, ValuesAsLongAsTheirFieldsPrintWhole) {
    // A category and a description of their full lengths: wrapped in their columns, nothing
    // cut off, and the next row below them.
    const QString category = QStringLiteral("Department DepartEnd");
    const QString description = QStringLiteral("Maintenance window Maintenance lastword");
    addTask(description, category, Dec(10), TimeFromHms(9, 0, 0));
    addTask(QStringLiteral("Next row"), QStringLiteral("Home"), Dec(11), TimeFromHms(9, 0, 0));
    dialogs.answer(Dialogs::No);
    run(ReportKind::BriefSchedule);
    const QString t = text();
    EXPECT_FALSE(t.contains(QChar(0x2026))) << t.toStdString(); // no "…"
    for (const char* word : {"DepartEnd", "lastword", "Next row"})
        EXPECT_TRUE(t.contains(QString::fromLatin1(word))) << word << "\n" << t.toStdString();
    EXPECT_LT(t.indexOf(QStringLiteral("lastword")), t.indexOf(QStringLiteral("Next row")));

    dialogs.answer(Dialogs::No);
    run(ReportKind::ScheduleChecklist);
    const QString check = text();
    EXPECT_FALSE(check.contains(QChar(0x2026))) << check.toStdString();
    EXPECT_TRUE(check.contains(QStringLiteral("lastword"))) << check.toStdString();
}

TEST_F(ReportsTest, WhatThePrintDialogOfThePreviewChoosesHoldsForThatPrintOnly) {
    const ReportDocument doc = CategoryList(120);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    const QString chosen = dir.file(QStringLiteral("chosen.pdf"));
    QtReportOutput qt(&printer, dialogs, progress, nullptr);
    bool asked = false;
    QTimer::singleShot(0, [&] {
        auto* preview = qobject_cast<ReportPreview*>(QtReportOutput::openPreview());
        if (preview == nullptr)
            return;
        // The user names another file in the print dialog and prints.
        QTimer::singleShot(0, [&] {
            auto* ask = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
            if (ask == nullptr)
                return;
            asked = true;
            if (auto* name = ask->findChild<QLineEdit*>(QStringLiteral("filename")))
                name->setText(chosen);
            ask->accept();
        });
        preview->findChild<QPushButton*>()->click();
    });
    qt.preview(doc);
    ASSERT_TRUE(asked);
    EXPECT_TRUE(QFileInfo::exists(chosen));
    // The program's printer prints to its own file again.
    EXPECT_EQ(printer.outputFileName(), pdf);
    EXPECT_FALSE(QFileInfo::exists(pdf));
}

TEST_F(ReportsTest, AMessageLongerThanAPageIsPrintedWhole) {
    ReportDocument doc;
    doc.heading = QStringLiteral("Schedule");
    doc.blocks = true;
    for (int task = 0; task < 2; ++task) {
        ReportBlock block;
        block.fields = {{ReportField{QStringLiteral("Description"), QStringLiteral("Task %1").arg(task)}}};
        QStringList lines;
        for (int i = 1; i <= (task == 0 ? 110 : 2); ++i)
            lines << QStringLiteral("T%1L%2").arg(task).arg(i, 3, 10, QLatin1Char('0'));
        block.texts = {{QStringLiteral("Message"), lines.join(QLatin1Char('\n'))}};
        doc.bands.push_back(ReportBand::of(std::move(block)));
    }
    ASSERT_TRUE(WriteReportPdf(doc, pdf));
    const QStringList got = pages();
    ASSERT_EQ(got.size(), 2);
    for (int i = 1; i <= 110; ++i)
        EXPECT_TRUE(got[0].contains(QStringLiteral("T0L%1").arg(i, 3, 10, QLatin1Char('0')))) << i;
    EXPECT_TRUE(got[1].contains(QStringLiteral("T1L002")));
}

TEST_F(ReportsTest, OnlyThePagesAskedForArePrinted) {
    const ReportDocument doc = CategoryList(300);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    ReportRenderer renderer(doc);
    ASSERT_GT(renderer.paginate(printer), 4);
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 3);
    std::vector<int> told;
    ASSERT_TRUE(renderer.print(printer, [&](int page, int pages) {
        told.push_back(page * 100 + pages);
        return true;
    }));
    const QStringList got = pages();
    ASSERT_EQ(got.size(), 2);
    EXPECT_TRUE(got[0].contains(QStringLiteral("Page 2")));
    EXPECT_TRUE(got[1].contains(QStringLiteral("Page 3")));
    EXPECT_EQ(told, (std::vector<int>{102, 202}));
}

TEST_F(ReportsTest, ToDoReportsTakeATitleAndTheCategoryReportFilters) {
    Table<Todo> t(*store);
    auto add = [&](int priority, const char* cat, const char* what, Date done) {
        Todo d{};
        d.priority = static_cast<quint8>(priority);
        d.category = QString::fromLatin1(cat);
        d.todo = QString::fromLatin1(what);
        d.done = done != 0 ? 1 : 0;
        d.completionDate = done;
        ASSERT_EQ(t.add(d), Err::None);
    };
    add(3, "Home", "Fix the gate", 0);
    add(1, "Work", "Send the invoices", Dec(5));
    add(2, "home", "Clean the gutters", 0);

    title = QStringLiteral("My Jobs");
    run(ReportKind::TodoByPriority);
    QString text = this->text();
    EXPECT_TRUE(text.contains(QStringLiteral("My Jobs")));
    EXPECT_FALSE(text.contains(QStringLiteral("To Do List - By Priority")));
    for (const char* col : {"Priority", "Category", "To Do", "Done"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(col))) << col;
    EXPECT_TRUE(Ascending(Positions(text, {"Send the invoices", "Clean the gutters", "Fix the gate"})));
    EXPECT_TRUE(text.contains(QStringLiteral("DEC 05,2026")));
    // Only the completed entry shows a date.
    EXPECT_EQ(text.count(QStringLiteral(",2026")), 1);

    // A blank title: the default heading; the picked category, letter case ignored.
    title = QStringLiteral("   ");
    pickedCategory = QStringLiteral("HOME");
    run(ReportKind::TodoByCategory);
    text = this->text();
    EXPECT_TRUE(text.contains(QStringLiteral("To Do List - By Category")));
    EXPECT_TRUE(text.contains(QStringLiteral("Fix the gate")));
    EXPECT_TRUE(text.contains(QStringLiteral("Clean the gutters")));
    EXPECT_FALSE(text.contains(QStringLiteral("Send the invoices")));

    // Cancel in the title window ends the report.
    titleOk = false;
    dialogs.shown.clear();
    run(ReportKind::TodoByPriority);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(QFile::exists(pdf));
}

TEST_F(ReportsTest, CategoriesAreListedInOrder) {
    Table<Categories> t(*store);
    for (const char* name : {"Work", "Errands", "Home"}) {
        Categories c{};
        c.category = QString::fromLatin1(name);
        ASSERT_EQ(t.add(c), Err::None);
    }
    run(ReportKind::Categories);
    const QString text = this->text();
    EXPECT_TRUE(text.contains(QStringLiteral("Category List")));
    EXPECT_TRUE(Ascending(Positions(text, {"Category List", "Errands", "Home", "Work"})));
    EXPECT_EQ(text.count(QStringLiteral("Category")), 2);
}

TEST_F(ReportsTest, AThousandTasksEachOnceOnNumberedPages) {
    {
        Table<Schedule> t(*store);
        ASSERT_EQ(t.stream(), Err::None);
        for (int i = 1; i <= 1000; ++i) {
            Schedule s{};
            s.id = i;
            s.description = QStringLiteral("Task %1").arg(i, 4, 10, QLatin1Char('0'));
            s.category = QStringLiteral("Bulk");
            s.date = Dec(1) + i / 40;
            s.time = TimeFromHms(8, 0, 0) + i;
            ASSERT_EQ(t.add(s), Err::None);
        }
        ASSERT_EQ(t.flush(), Err::None);
    }
    batch = 128;
    run(ReportKind::BriefSchedule);
    const QStringList p = pages();
    ASSERT_GT(p.size(), 10);
    const QString all = p.join(QString());
    static const QRegularExpression row(QStringLiteral("Task (\\d{4})"));
    std::vector<int> seen;
    for (auto it = row.globalMatch(all); it.hasNext();)
        seen.push_back(it.next().captured(1).toInt());
    ASSERT_EQ(seen.size(), 1000u);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(seen[static_cast<std::size_t>(i)], i + 1);
    for (qsizetype i = 0; i < p.size(); ++i) {
        static const QRegularExpression footer(QStringLiteral("Page (\\d+)"));
        const auto m = footer.match(p[i]);
        ASSERT_TRUE(m.hasMatch()) << i;
        EXPECT_EQ(m.captured(1).toInt(), i + 1);
        EXPECT_TRUE(p[i].contains(QStringLiteral("Schedule in Brief"))) << i;
    }
    // The progress went up to the whole table.
    ASSERT_FALSE(progress.updates.empty());
    EXPECT_EQ(progress.updates.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.updates.begin(), progress.updates.end()));
}

TEST_F(ReportsTest, NothingSelectedIsSaidAndNothingWritten) {
    addTask(QStringLiteral("Alpha"), QStringLiteral("Work"), Dec(10), TimeFromHms(9, 0, 0));
    wanted.selectedCategory = true;
    wanted.category = QStringLiteral("Nowhere");
    run(ReportKind::BriefSchedule);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, QStringLiteral("Nothing to Preview."));
    EXPECT_EQ(dialogs.shown[1].caption, QStringLiteral("NOTE..."));
    EXPECT_EQ(output->previews, 0);
    EXPECT_FALSE(QFile::exists(pdf));

    dialogs.shown.clear();
    dialogs.answer(Dialogs::No);
    run(ReportKind::BriefSchedule);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, QStringLiteral("Nothing to Print."));
    EXPECT_EQ(output->prints, 0);
}

TEST_F(ReportsTest, ACancelHalfwayPreviewsTheRowsReadSoFarWhenAsked) {
    {
        Table<Schedule> t(*store);
        ASSERT_EQ(t.stream(), Err::None);
        for (int i = 1; i <= 1000; ++i) {
            Schedule s{};
            s.id = i;
            s.description = QStringLiteral("Task %1").arg(i, 4, 10, QLatin1Char('0'));
            s.date = Dec(1);
            s.time = i;
            ASSERT_EQ(t.add(s), Err::None);
        }
        ASSERT_EQ(t.flush(), Err::None);
    }
    batch = 100;
    CancellingProgress halfway(50);
    run(ReportKind::BriefSchedule, &halfway);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text,
              QStringLiteral("Report Cancellation Requested!\n \nPreview Report generated so far?"));
    EXPECT_EQ(dialogs.shown[1].buttons, unsigned(Dialogs::Yes | Dialogs::No));
    EXPECT_EQ(output->previews, 1);
    const QString text = this->text();
    EXPECT_TRUE(text.contains(QStringLiteral("Task 0001")));
    EXPECT_TRUE(text.contains(QStringLiteral("Task 0500")));
    EXPECT_FALSE(text.contains(QStringLiteral("Task 0501")));
    EXPECT_FALSE(text.contains(QStringLiteral("Task 1000")));
    EXPECT_LT(halfway.updates.back(), 100);

    // Declined: nothing shown.
    dialogs.shown.clear();
    dialogs.answer(Dialogs::Yes);
    dialogs.answer(Dialogs::No);
    CancellingProgress again(50);
    run(ReportKind::BriefSchedule, &again);
    EXPECT_EQ(output->previews, 0);
    EXPECT_FALSE(QFile::exists(pdf));

    // Printing at once: a cancelled report prints nothing and asks nothing more.
    dialogs.shown.clear();
    dialogs.answer(Dialogs::No);
    CancellingProgress printing(50);
    run(ReportKind::BriefSchedule, &printing);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(output->prints, 0);
}

TEST_F(ReportsTest, APrinterThatCannotStartIsReported) {
    addTask(QStringLiteral("Alpha"), QStringLiteral("Work"), Dec(10), TimeFromHms(9, 0, 0));
    pdf = dir.file(QStringLiteral("missing/folder/report.pdf"));
    dialogs.answer(Dialogs::No);
    run(ReportKind::BriefSchedule);
    EXPECT_EQ(output->prints, 1);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text,
              QStringLiteral("The report could not be printed: the printer is not available."));
    EXPECT_EQ(dialogs.shown[1].caption, QStringLiteral("NOTE..."));
}

// The darkest pixels of an image: some where text was painted.
int InkedPixels(const QImage& image, const QRect& area) {
    int inked = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            inked += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    return inked;
}

TEST_F(ReportsTest, ThePreviewPaintsOnlyThePagesInSight) {
    ReportDocument doc;
    doc.heading = QStringLiteral("Schedule in Brief");
    doc.columns = {ReportColumn{QStringLiteral("Description"), 1, Qt::AlignLeft, 0, false}};
    for (int i = 0; i < 20000; ++i)
        doc.bands.push_back(ReportBand::row({QStringLiteral("Row %1").arg(i)}));
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    ReportRenderer renderer(doc);
    const int expected = renderer.paginate(printer);
    ASSERT_GT(expected, 100);

    // A page at a screen's size: white paper, the heading and rows in ink, nothing past the end.
    const QImage page = renderer.renderPage(0, 0.1);
    ASSERT_FALSE(page.isNull());
    EXPECT_NEAR(page.width(), renderer.paperSize().width() * 0.1, 1);
    EXPECT_EQ(page.pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_GT(InkedPixels(page, QRect(0, 0, page.width(), page.height() / 4)), 50);
    EXPECT_TRUE(renderer.renderPage(expected, 0.1).isNull());

    // The copies chosen for the last print are not shown as pages of the preview.
    printer.setCopyCount(2);
    QtReportOutput qt(&printer, dialogs, progress, nullptr);
    int shownPages = -1;
    int paintedFirst = -1;
    int paintedLast = -1;
    int currentLast = -1;
    QString caption;
    QTimer::singleShot(0, [&] {
        auto* preview = qobject_cast<ReportPreview*>(QtReportOutput::openPreview());
        if (preview == nullptr)
            return;
        caption = preview->windowTitle();
        shownPages = preview->pageCount();
        const QImage shown = preview->grab().toImage();
        paintedFirst = preview->pagesPainted();
        EXPECT_GT(InkedPixels(shown, shown.rect()), 50);
        preview->goToPage(expected);
        preview->grab();
        currentLast = preview->currentPage();
        paintedLast = preview->pagesPainted();
        preview->reject();
    });
    qt.preview(doc);
    EXPECT_EQ(caption, QStringLiteral("Schedule in Brief"));
    EXPECT_EQ(shownPages, expected);
    EXPECT_GE(paintedFirst, 1);
    EXPECT_LE(paintedFirst, 3);
    EXPECT_EQ(currentLast, expected);
    EXPECT_LE(paintedLast, paintedFirst + 3);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ReportsTest, APrintFromThePreviewOnOtherPaperThatFailsLeavesThePreviewShowingTheNewPages) {
    const ReportDocument doc = CategoryList(500);
    QPrinter a4(QPrinter::HighResolution);
    a4.setPageSize(QPageSize(QPageSize::A4));
    QPrinter a5(QPrinter::HighResolution);
    a5.setPageSize(QPageSize(QPageSize::A5));
    ReportRenderer renderer(doc);
    const int onA4 = renderer.paginate(a4);
    ReportPreview preview(renderer, doc.heading, [&] {
        renderer.paginate(a5); // as a print dialog with other paper would
        return false;
    });
    preview.show();
    ASSERT_EQ(preview.pageCount(), onA4);
    auto* print = preview.findChild<QPushButton*>();
    ASSERT_NE(print, nullptr);
    ASSERT_EQ(print->text(), QStringLiteral("&Print..."));
    print->click();
    EXPECT_TRUE(preview.isVisible());
    EXPECT_GT(preview.pageCount(), onA4);
    preview.goToPage(preview.pageCount());
    EXPECT_EQ(preview.currentPage(), preview.pageCount());
    const QImage shown = preview.grab().toImage();
    EXPECT_GT(InkedPixels(shown, shown.rect()), 50);
}

TEST_F(ReportsTest, BlocksAreLaidOutForThePreviewUnderTheProgressWindowWhichCanStopIt) {
    ReportDocument doc;
    doc.heading = QStringLiteral("Schedule - All in Date Order");
    doc.blocks = true;
    for (int i = 0; i < 3000; ++i) {
        ReportBlock block;
        block.fields = {{ReportField{QStringLiteral("Description"), QStringLiteral("Task %1").arg(i)}}};
        block.texts = {{QStringLiteral("Message"),
                        QStringLiteral("Call the office about order %1 and ask whether the parts came. ")
                            .arg(i)
                            .repeated(4)}};
        doc.bands.push_back(ReportBand::of(std::move(block)));
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    const int whole = ReportRenderer(doc).paginate(printer);

    // Laid out to the end: every page shows, after the progress window counted to 100.
    CancellingProgress untouched;
    int shown = -1;
    const auto look = [&] {
        QTimer::singleShot(0, [&] {
            if (auto* preview = qobject_cast<ReportPreview*>(QtReportOutput::openPreview())) {
                shown = preview->pageCount();
                preview->reject();
            }
        });
    };
    look();
    QtReportOutput(&printer, dialogs, untouched, nullptr).preview(doc);
    EXPECT_EQ(shown, whole);
    EXPECT_EQ(untouched.title, QStringLiteral("Generating Report"));
    EXPECT_EQ(untouched.question, kCancelQuestion);
    ASSERT_FALSE(untouched.updates.empty());
    EXPECT_EQ(untouched.updates.back(), 100 * 2816 / 3000); // the last full step of 256
    EXPECT_TRUE(dialogs.shown.empty());

    // Cancelled halfway, and the pages so far not wanted: no preview.
    CancellingProgress halfway(50);
    shown = -1;
    look();
    dialogs.answer(Dialogs::No);
    QtReportOutput(&printer, dialogs, halfway, nullptr).preview(doc);
    EXPECT_EQ(shown, -1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, kPreviewSoFarQuestion);

    // Wanted: the pages of the blocks measured so far.
    shown = -1;
    dialogs.answer(Dialogs::Yes);
    QtReportOutput(&printer, dialogs, halfway, nullptr).preview(doc);
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, whole * 2 / 3);
    EXPECT_EQ(dialogs.shown.size(), 2u);
}

TEST_F(ReportsTest, PrintingAtOnceShowsItsPagesAndMakesTheCopiesAsked) {
    const ReportDocument doc = CategoryList(120);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    QtReportOutput qt(&printer, dialogs, progress, nullptr);
    const mode_t mask = umask(022);
    ASSERT_TRUE(qt.print(doc, progress));
    umask(mask);
    // The user's alone, whatever the umask.
    EXPECT_EQ(QFile::permissions(pdf) & 0x0077, 0);
    EXPECT_EQ(progress.title, QStringLiteral("Printing Report"));
    EXPECT_EQ(progress.question, kCancelQuestion);
    ASSERT_FALSE(progress.updates.empty());
    EXPECT_EQ(progress.updates.back(), 100);
    const qsizetype once = pages().size();
    ASSERT_GT(once, 1);

    // Two copies on a printer that cannot make them: every page twice, numbered as in one copy.
    if (!printer.supportsMultipleCopies()) {
        printer.setCopyCount(2);
        ASSERT_TRUE(qt.print(doc, progress));
        const QStringList twice = pages();
        ASSERT_EQ(twice.size(), 2 * once);
        EXPECT_TRUE(twice[static_cast<int>(once)].contains(QStringLiteral("Page 1")));
        EXPECT_TRUE(twice[static_cast<int>(once)].contains(QStringLiteral("Name 0")));
    }

    // Cancelled halfway: the rest is not printed.
    printer.setCopyCount(1);
    CancellingProgress halfway(50);
    ASSERT_TRUE(qt.print(doc, halfway));
    EXPECT_LT(halfway.updates.back(), 100);
}

} // namespace
} // namespace kr::test
