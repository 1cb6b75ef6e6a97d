// Fills a working directory's data file with tasks, for the start-up measurements.
//   fill_tasks DIR COUNT

#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
class Quiet final : public kr::Dialogs {
public:
    Button show(const QString& text, const QString&, Icon, unsigned, Button def) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return def;
    }
};
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: fill_tasks DIR COUNT\n");
        return 2;
    }
    Quiet dialogs;
    kr::ExitProgram end(dialogs);
    kr::Store store(QString::fromLocal8Bit(argv[1]), dialogs, end);
    store.declareLayouts();
    kr::Table<kr::Schedule> tasks(store);
    kr::Transaction tx;
    tx.begin({&tasks});
    const int count = QString::fromLocal8Bit(argv[2]).toInt();
    for (int i = 1; i <= count; ++i) {
        kr::Schedule t;
        t.id = i;
        t.taskType = QStringLiteral("Run Program");
        t.description = QStringLiteral("Task %1").arg(i);
        t.command = QStringLiteral("/bin/true");
        t.scheduleType = QStringLiteral("Once");
        t.date = kr::DateFromYmd(2030, 1, 1) + i % 3000;
        t.time = 1 + (i * 7919) % 8640000;
        t.disabled = i % 10 == 0 ? 1 : 0;
        if (tasks.add(t) != kr::Err::None)
            return 1;
    }
    return tx.commit() == kr::Err::None ? 0 : 1;
}
