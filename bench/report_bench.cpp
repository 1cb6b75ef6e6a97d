// The Brief Schedule of a large table: the time to write it to PDF, the peak memory of the
// process, and the time until the preview of it shows its first page.
//   report_bench [--tasks N] [--preview]   (default 10,000 tasks; run once per size so that
//                                          the peak memory is that size's)

#include "platform/DateTime.h"
#include "reports/Reports.h"
#include "store/Table.h"
#include "store/Transaction.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
        s.message = QString(400, QLatin1Char('m'));
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
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tasks") == 0 && i + 1 < argc)
            n = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--preview") == 0)
            preview = true;
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

    // The preview: from the start of the read until its first page has been painted and shows.
    t.restart();
    kr::ReadOutcome read = kr::ReadReport(store, dialogs, progress, Brief());
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    kr::ReportRenderer renderer(read.doc);
    QPrintPreviewDialog dialog(&printer);
    int pages = 0;
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* p) {
        renderer.print(*p);
        pages = renderer.pageCount();
    });
    qint64 shown = 0;
    QTimer::singleShot(0, &dialog, [&] {
        shown = t.elapsed();
        dialog.reject();
    });
    dialog.exec();
    std::printf("preview of %d pages showing after %lld ms, peak memory %ld MB (%ld MB before the report)\n",
                pages, static_cast<long long>(shown), PeakKb() / 1024, before / 1024);
    return 0;
}
