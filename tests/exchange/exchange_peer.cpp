// Another installation for the tests: fills the data file of a working directory with ten
// tasks of three script items each and four to-do entries, and sends them to a
// synchronization file.
//
//   exchange_peer WORKDIR FILE

#include "exchange/Sync.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

class PrintedDialogs final : public kr::Dialogs {
public:
    Button show(const QString& text, const QString& caption, Icon, unsigned, Button def) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        ++shown;
        return def;
    }
    int shown = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    PrintedDialogs dialogs;
    kr::ExitProgram end(dialogs);
    kr::Store store(QString::fromLocal8Bit(argv[1]), dialogs, end);
    store.declareLayouts();
    {
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
                return 1;
            for (qint32 seq = 1; seq <= 3; ++seq) {
                kr::Scripting s;
                s.id = t.id;
                s.sequence = seq;
                s.action = QStringLiteral("Wait");
                if (items.add(s) != kr::Err::None)
                    return 1;
            }
        }
        for (int i = 0; i < 4; ++i) {
            kr::Todo t;
            t.todo = QStringLiteral("peer todo %1").arg(i);
            if (todos.add(t) != kr::Err::None)
                return 1;
        }
    }
    kr::NoProgress none;
    if (!kr::SyncSend(store, none, QString::fromLocal8Bit(argv[2])))
        return 1;
    return dialogs.shown == 0 ? 0 : 1;
}
