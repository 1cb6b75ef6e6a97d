// The Brief Schedule of a large table: the time to write it to PDF, the peak memory of the
// process, and the time until the preview of it shows its first page.
//   report_bench [--tasks N] [--preview [--blocks]]
//     default 10,000 tasks; run once per size so that the peak memory is that size's.
//     --blocks previews "All in Date Order" (a labelled block per task) instead.

#include "platform/DateTime.h"
#include "reports/Reports.h"
#include "reports/ui/ReportPreview.h"
#include "store/Table.h"
#include "store/Transaction.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPrinter>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const char* const kCategories[] = {"Home", "Work", "Errands", "Garden", "Friends"};

void Fill(kr::Store& store, int n) {
    kr::Table<kr::Schedule> tasks(store);
    kr::Transaction tx;
    tx.begin({&tasks});
    for (int i = 1; i <= n; ++i) {
        kr::Schedule s{};
        s.id = i;
        s.description = QStringLiteral("Task number %1 of the benchmark").arg(i);
        s.category = QString::fromLatin1(kCategories[i % 5]);
        s.taskType = QStringLiteral("Message");
        s.date = kr::DateFromYmd(2026, 1, 1) + (i * 7) % 700;
        s.time = kr::TimeFromHms(8, 0, 0) + (i % 3600) * 100;
        // About 400 characters of words, each message its own.
        s.message = QStringLiteral("Call the office about order %1 and ask whether the parts came; ")
                        .arg(i)
                        .repeated(6);
        tasks.add(s);
    }
    tx.commit();
}

long PeakKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

kr::ReportRequest Brief() {
    kr::ReportRequest r;
    r.kind = kr::ReportKind::BriefSchedule;
    r.order = kr::Schedule::KEYDATE;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    int n = 10000;
    bool preview = false;
    bool blocks = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tasks") == 0 && i + 1 < argc)
            n = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--preview") == 0)
            preview = true;
        else if (std::strcmp(argv[i], "--blocks") == 0)
            blocks = true;
    }
    kr::test::TempDir dir;
    kr::test::ScriptedDialogs dialogs;
    kr::test::ThrowingProgramEnd end;
    QElapsedTimer t;
    t.start();
    // The table is filled by a child process, so that the peak memory measured here is the
    // report's alone.
    const pid_t child = fork();
    if (child == 0) {
        kr::Store filling(dir.path(), dialogs, end);
        filling.declareLayouts();
        Fill(filling, n);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "filling the table failed\n");
        return 1;
    }
    std::printf("tasks %d, filled in %lld ms\n", n, static_cast<long long>(t.elapsed()));
    QApplication app(argc, argv);
    kr::Store store(dir.path(), dialogs, end);
    store.declareLayouts();
    const long before = PeakKb();
    kr::NoProgress progress;

    if (!preview) {
        // The same read with a category no task has: what reading the table costs by itself.
        kr::ReportRequest none = Brief();
        none.filter.category = true;
        none.filter.categoryName = QStringLiteral("Nowhere");
        t.restart();
        const std::size_t kept = kr::ReadReport(store, dialogs, progress, none).doc.bands.size();
        std::printf("read keeping %zu rows %lld ms, peak memory %ld MB\n", kept,
                    static_cast<long long>(t.elapsed()), PeakKb() / 1024);
        t.restart();
        kr::ReadOutcome read = kr::ReadReport(store, dialogs, progress, Brief());
        const qint64 readMs = t.elapsed();
        const long afterRead = PeakKb();
        const bool ok = kr::WriteReportPdf(read.doc, dir.file(QStringLiteral("brief.pdf")));
        std::printf("read %lld ms (peak %ld MB), read and PDF %lld ms (%s), %zu rows, peak memory %ld MB "
                    "(%ld MB before the "
                    "report)\n",
                    static_cast<long long>(readMs), afterRead / 1024, static_cast<long long>(t.elapsed()),
                    ok ? "written" : "FAILED", read.doc.bands.size(), PeakKb() / 1024, before / 1024);
        return ok ? 0 : 1;
    }

    // The preview: the read, the layout of the pages, and the window until its first page has
    // been painted; then a jump to the last page.
    t.restart();
    kr::ReportRequest request = Brief();
    if (blocks)
        request.kind = kr::ReportKind::ScheduleByDate;
    kr::ReadOutcome read = kr::ReadReport(store, dialogs, progress, request);
    const qint64 readMs = t.elapsed();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    kr::ReportRenderer renderer(read.doc);
    QElapsedTimer step;
    step.start();
    // The layout runs in steps between which the progress window takes its events.
    QElapsedTimer sinceStep;
    sinceStep.start();
    qint64 longestStep = 0;
    const int pages = renderer.paginate(printer, [&](int) {
        longestStep = std::max(longestStep, sinceStep.restart());
        return true;
    });
    const qint64 layoutMs = step.elapsed();
    step.restart();
    kr::ReportPreview dialog(renderer, read.doc.heading, [] { return false; });
    qint64 shown = 0;
    qint64 lastMs = 0;
    QTimer::singleShot(0, &dialog, [&] {
        dialog.grab();
        shown = step.elapsed();
        step.restart();
        dialog.goToPage(pages);
        dialog.grab();
        lastMs = step.elapsed();
        dialog.reject();
    });
    dialog.exec();
    std::printf("preview of %d pages (%s): read %lld ms, layout %lld ms (longest step %lld ms), window with "
                "its first page %lld ms, "
                "last page %lld ms, %d pages painted; peak memory %ld MB (%ld MB before the report)\n",
                pages, blocks ? "blocks" : "rows", static_cast<long long>(readMs),
                static_cast<long long>(layoutMs), static_cast<long long>(longestStep),
                static_cast<long long>(shown), static_cast<long long>(lastMs), dialog.pagesPainted(),
                PeakKb() / 1024, before / 1024);
    return 0;
}
