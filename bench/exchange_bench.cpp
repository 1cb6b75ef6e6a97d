// The data exchange on large tables: sending and receiving a synchronization file of 10,000
// tasks with 5 script items each and 1,000 to-do entries, and exporting 100,000 tasks with all
// 47 fields to a comma-delimited file and importing it back. For each run it prints the time
// and the longest stretch in which the program's events were not let through (the frame's
// tick runs at each look at the progress window).
//   exchange_bench [--tasks N] [--csv-tasks N]   (folders under $TMPDIR, removed afterwards)

#include "exchange/CsvExchange.h"
#include "exchange/Sync.h"
#include "BenchTasks.h"
#include "exchange/SyncReader.h"
#include "platform/DateTime.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstring>

namespace {

using namespace kr;

// Records the longest time between two looks at the progress window.
class GapProgress final : public Progress {
public:
    GapProgress() { clock_.start(); }
    // The time before the window opens (checking and opening the files) counts as well.
    void doBegin(const QString&, const QString&) override { gap = std::max(gap, clock_.restart()); }
    void doUpdate(int) override {
        gap = std::max(gap, clock_.restart());
        ++looks;
    }
    bool cancelled() const override { return false; }
    void end() override { gap = std::max(gap, clock_.restart()); }
    qint64 gap = 0;
    qint64 looks = 0;

private:
    QElapsedTimer clock_;
};

void Fill(Store& store, int tasks, int itemsPerTask, int todos) {
    Table<Schedule> s(store);
    Table<Scripting> items(store);
    Table<Todo> t(store);
    Transaction tx;
    tx.begin({&s, &items, &t});
    for (qint32 id = 1; id <= tasks; ++id) {
        Schedule task = bench::FullTask(id);
        s.add(task);
        for (qint32 seq = 1; seq <= itemsPerTask; ++seq) {
            Scripting item;
            item.id = id;
            item.sequence = seq;
            item.action = QStringLiteral("Send Keystrokes");
            item.keystrokes = QStringLiteral("keys {ENTER} %1").arg(seq);
            item.waitForWindow = QStringLiteral("Window %1").arg(id);
            items.add(item);
        }
    }
    for (int i = 0; i < todos; ++i) {
        Todo d;
        d.todo = QStringLiteral("To do %1").arg(i);
        d.category = QStringLiteral("Home");
        d.priority = static_cast<quint8>(1 + i % 10);
        d.notes = QStringLiteral("Notes of entry %1").arg(i);
        d.lastChangeDate = 90000;
        t.add(d);
    }
    tx.commit();
}

void Report(const char* what, qint64 ms, const GapProgress& p, const char* target) {
    std::printf("%-44s %8.2f s   longest without events %5lld ms (%lld looks)   target %s\n", what,
                ms / 1000.0, static_cast<long long>(p.gap), static_cast<long long>(p.looks), target);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int tasks = 10000;
    int csvTasks = 100000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--tasks") == 0)
            tasks = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--csv-tasks") == 0)
            csvTasks = std::atoi(argv[++i]);
    }
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    SyncReaderOptions().program = QStringLiteral(KELVRAY_SYNCREAD);

    {
        test::TempDir senderDir;
        test::TempDir receiverDir;
        Store sender(senderDir.path(), dialogs, end);
        Store receiver(receiverDir.path(), dialogs, end);
        Fill(sender, tasks, 5, 1000);
        const QString file = senderDir.file(QStringLiteral("SyncSch.syn"));
        GapProgress send;
        QElapsedTimer t;
        t.start();
        if (!SyncSend(sender, send, file))
            return 1;
        Report(qPrintable(QStringLiteral("send %1 tasks x 5 items + 1,000 to-dos").arg(tasks)), t.elapsed(),
               send, "< 10 s");
        GapProgress receive;
        t.restart();
        SyncCounts counts;
        if (!SyncReceive(receiver, receive, file, nullptr, &counts) || counts.tasks != tasks)
            return 1;
        Report("receive into an empty data file", t.elapsed(), receive, "< 30 s");
        GapProgress again;
        t.restart();
        if (!SyncReceive(receiver, again, file))
            return 1;
        Report("receive again (every task replaced)", t.elapsed(), again, "< 30 s");
    }
    {
        test::TempDir fromDir;
        test::TempDir toDir;
        Store from(fromDir.path(), dialogs, end);
        Store to(toDir.path(), dialogs, end);
        Fill(from, csvTasks, 0, 0);
        const QString file = fromDir.file(QStringLiteral("tasks.csv"));
        const ExchangeTable& table = ScheduleExchange();
        GapProgress exporting;
        QElapsedTimer t;
        t.start();
        if (ExportTable(from, exporting, table, table.exportFields, true, file) != csvTasks)
            return 1;
        Report(qPrintable(QStringLiteral("export %1 tasks, 47 fields").arg(csvTasks)), t.elapsed(), exporting,
               "< 10 s");
        GapProgress importing;
        t.restart();
        ImportFile in;
        if (!in.load(file, dialogs))
            return 1;
        Assignments assigned;
        AutoAssign(table, in.fields(), assigned);
        if (ImportTable(to, importing, table, in, assigned, true) != csvTasks)
            return 1;
        Report("import them back", t.elapsed(), importing, "< 30 s");
    }
    return dialogs.shown.empty() ? 0 : 1;
}
