// The to-do list and the contact list on large tables, through their windows: how long
// opening and showing the first rows takes, a jump to the end, and a switch to the category
// tab.
//   organizer_bench [--records N]   (default 100,000 of each; the data file is made once in a
//                                    temporary folder)

#include "organizer/PickedCategory.h"
#include "organizer/ui/Contacts.h"
#include "organizer/ui/Todo.h"
#include "platform/Clock.h"
#include "store/Table.h"
#include "store/Transaction.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTabBar>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

const char* const kCategories[] = {"Home", "Work", "Errands", "Garden", "Friends"};

void Fill(kr::Store& store, int n) {
    kr::Table<kr::Todo> todos(store);
    kr::Table<kr::Contact> contacts(store);
    kr::Transaction tx;
    tx.begin({&todos, &contacts});
    for (int i = 1; i <= n; ++i) {
        kr::Todo t;
        t.todo = QStringLiteral("Entry %1").arg((i * 7919) % n, 6, 10, QLatin1Char('0'));
        t.priority = static_cast<quint8>(1 + i % 10);
        t.done = i % 4 == 0 ? 1 : 0;
        t.category = QString::fromLatin1(kCategories[i % 5]);
        todos.add(t);
        kr::Contact c;
        c.clientId = i;
        c.lastName = QStringLiteral("Name%1").arg((i * 104729) % n, 6, 10, QLatin1Char('0'));
        c.firstName = QStringLiteral("First%1").arg(i % 977);
        c.email = QStringLiteral("p%1@example.org").arg(i);
        c.contactCategory = QString::fromLatin1(kCategories[i % 5]);
        contacts.add(c);
    }
    tx.commit();
}

// Milliseconds of one step, the median of five runs.
double Median(const std::function<void()>& step) {
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        step();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[2];
}

void Paint(QWidget& w) {
    w.repaint();
    QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int n = 100000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--records") == 0)
            n = std::atoi(argv[i + 1]);
    kr::test::TempDir dir;
    kr::test::ScriptedDialogs dialogs;
    kr::test::ThrowingProgramEnd end;
    kr::Store store(dir.path(), dialogs, end);
    store.declareLayouts();
    Fill(store, n);
    kr::SystemClock clock;
    kr::OrganizerContext ctx{store,
                             dialogs,
                             clock,
                             kr::IniFile(dir.file(QStringLiteral("POSITION.INI"))),
                             QStringLiteral("d3"),
                             QString(),
                             false,
                             {},
                             {}};
    kr::PickedCategory::schedule().set(QStringLiteral("work"));
    kr::PickedCategory::contact().set(QStringLiteral("work"));

    auto measure = [&](const char* name, auto makeWindow, int categoryTab) {
        const double open = Median([&] {
            auto w = makeWindow();
            w->show();
            Paint(*w);
        });
        auto w = makeWindow();
        w->show();
        Paint(*w);
        const double jump = Median([&] {
            w->model()->refresh(); // forget the pages read
            w->list()->scrollToBottom();
            Paint(*w);
            w->list()->scrollToTop();
        });
        const double tab = Median([&] {
            w->tabs()->setCurrentIndex(categoryTab);
            Paint(*w);
            w->tabs()->setCurrentIndex(0);
        });
        std::printf("%-14s %7d rows: open %.1f ms, jump to end %.1f ms, category tab %.1f ms\n", name,
                    w->model()->rowCount(), open, jump, tab);
    };
    measure(
        "To Do List", [&] { return std::make_unique<kr::ViewToDo>(ctx); }, kr::ViewToDo::CategoryTab);
    measure(
        "Contacts", [&] { return std::make_unique<kr::BrowseContacts>(ctx); },
        kr::BrowseContacts::CategoryTab);
    return 0;
}
