// Another installation for the tests, in a process of its own:
//
//   exchange_peer seed WORKDIR            ten tasks of three script items each and four to-do
//                                         entries in the data file of WORKDIR
//   exchange_peer send WORKDIR FILE       sends them to a synchronization file
//   exchange_peer export WORKDIR FILE [ANSWERS]
//                                         exports the to-do list to a comma-delimited file,
//                                         answering the questions with ANSWERS (R retry, A abort)
//   exchange_peer seed-send WORKDIR FILE  both of the first two
//
// A message box or progress step asked for inside a transaction prints "asked inside a
// transaction: WHAT". It prints every message it shows as "caption<TAB>text<TAB>buttons<TAB>default button"
// and last "result N" (the routine's result) on standard output. An end of the program prints "program ended:
// TEXT" and exits with status 9. With KELVRAY_PEER_FILE_LIMIT=BYTES no file may grow beyond BYTES once the
// data file is filled (a medium that is full, where none can be mounted).

#include "exchange/CsvExchange.h"
#include "exchange/Sync.h"
#include "platform/TransactionGuard.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <sys/resource.h>

namespace {

class PrintedDialogs final : public kr::Dialogs {
public:
    Button show(const QString& text, const QString& caption, Icon, unsigned buttons, Button def) override {
        std::printf("%s\t%s\t%u\t%u\n", qPrintable(caption), qPrintable(text), buttons,
                    static_cast<unsigned>(def));
        std::fflush(stdout);
        if (answers.empty())
            return def;
        const Button b = answers.front();
        answers.pop_front();
        return b;
    }
    std::deque<Button> answers;
};

class PrintedEnd final : public kr::ProgramEnd {
public:
    [[noreturn]] void endProgram(const QString& text) override {
        std::printf("program ended: %s\n", qPrintable(text));
        std::fflush(stdout);
        std::_Exit(9);
    }
};

bool Seed(kr::Store& store) {
    kr::Table<kr::Schedule> tasks(store);
    kr::Table<kr::Scripting> items(store);
    kr::Table<kr::Todo> todos(store);
    for (qint32 id = 1; id <= 10; ++id) {
        kr::Schedule t;
        t.id = id * 3;
        t.taskType = QStringLiteral("Both");
        t.description = QStringLiteral("Peer task %1").arg(id);
        t.message = QStringLiteral("From the peer");
        t.lastChangeDate = 90000;
        if (tasks.add(t) != kr::Err::None)
            return false;
        for (qint32 seq = 1; seq <= 3; ++seq) {
            kr::Scripting s;
            s.id = t.id;
            s.sequence = seq;
            s.action = QStringLiteral("Wait");
            if (items.add(s) != kr::Err::None)
                return false;
        }
    }
    for (int i = 0; i < 4; ++i) {
        kr::Todo t;
        t.todo = QStringLiteral("peer todo %1").arg(i);
        t.priority = 5;
        t.notes = QString(1000, QLatin1Char('n'));
        if (todos.add(t) != kr::Err::None)
            return false;
    }
    return true;
}

void LimitFiles() {
    bool ok = false;
    const qlonglong limit = qEnvironmentVariable("KELVRAY_PEER_FILE_LIMIT").toLongLong(&ok);
    if (!ok)
        return;
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit l{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    ::setrlimit(RLIMIT_FSIZE, &l);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    kr::SetTransactionGuardHandler(
        [](const char* what) { std::printf("asked inside a transaction: %s\n", what); });
    if (argc < 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    PrintedDialogs dialogs;
    PrintedEnd end;
    kr::Store store(QString::fromLocal8Bit(argv[2]), dialogs, end);
    store.declareLayouts();
    if ((mode == QLatin1String("seed") || mode == QLatin1String("seed-send")) && !Seed(store))
        return 1;
    LimitFiles();
    kr::NoProgress none;
    if ((mode == QLatin1String("send") || mode == QLatin1String("seed-send")) && argc == 4) {
        std::printf("result %d\n", kr::SyncSend(store, none, QString::fromLocal8Bit(argv[3])) ? 1 : 0);
    } else if (mode == QLatin1String("export") && argc >= 4) {
        if (argc == 5) {
            for (const char* a = argv[4]; *a != 0; ++a)
                dialogs.answers.push_back(*a == 'R' ? kr::Dialogs::Retry : kr::Dialogs::Abort);
        }
        const kr::ExchangeTable& t = kr::TodoExchange();
        std::printf("result %lld\n",
                    static_cast<long long>(kr::ExportTable(store, none, t, t.exportFields, false,
                                                           QString::fromLocal8Bit(argv[3]))));
    } else if (mode != QLatin1String("seed")) {
        return 2;
    }
    return 0;
}
