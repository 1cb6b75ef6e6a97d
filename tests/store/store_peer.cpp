// A second station for the tests: opens a working directory's data file in its own process
// and obeys one command per line on standard input, answering one line per command.
//
//   open                     open every table of the data file (messages are printed)
//   add ID DESCRIPTION       add a task (a failure answers with the storage layer's text too)
//   load ID                  load a task with change detection armed
//   put DESCRIPTION          rewrite the loaded task with a new description
//   contact-add ID NAME      add a contact with that last name
//   contact-load ID          load a contact with change detection armed
//   contact-put NAME         rewrite the loaded contact with a new last name
//   holiday-load DAY         load the holiday on day number DAY with change detection armed
//   holiday-put NAME         rewrite the loaded holiday with a new name
//   holiday-add DAY NAME     add a holiday (a failure answers with the storage layer's text too)
//   holidays                 number of holidays, read one by one
//   task-load-put ID TEXT    load a task watched and rewrite it at once with a new description
//   delete ID                delete a task (its script items stay)
//   begin                    begin a transaction over Schedule and Scripting (2 s wait)
//   exclusive                lock the data file exclusively
//   hold MS                  lock the data file exclusively for MS milliseconds, then let go
//   commit | rollback | unlock
//   count                    number of tasks
//   bump ID N                N changes of task ID's description, a counter: each loads the task
//                            watched, adds one and saves; a save that meets another station's
//                            change (89) is loaded and tried again. Answers the conflicts met.
//   pair ID [hold]           in one transaction, task ID and its script item 1; with "hold" the
//                            transaction stays open ("0 held") until the process ends
//   quit
//
// Every answer starts with the error number of the operation. Messages are printed as
// "message|caption|text" and answered with the default button, or with the buttons listed in
// the environment variable PEER_ANSWERS ("Yes,No,...").

#include "platform/Dialogs.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"
#include "store/Transaction.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

namespace {

class PrintingDialogs final : public kr::Dialogs {
public:
    PrintingDialogs() {
        for (const QString& a :
             qEnvironmentVariable("PEER_ANSWERS").split(QLatin1Char(','), Qt::SkipEmptyParts))
            answers_ << a.trimmed();
    }
    Button show(const QString& text, const QString& caption, Icon, unsigned, Button def) override {
        std::printf("message|%s|%s\n", qPrintable(caption), qPrintable(text));
        std::fflush(stdout);
        if (answers_.isEmpty())
            return def;
        const QString a = answers_.takeFirst();
        if (a == QStringLiteral("Yes"))
            return Yes;
        if (a == QStringLiteral("No"))
            return No;
        if (a == QStringLiteral("Cancel"))
            return Cancel;
        if (a == QStringLiteral("Retry"))
            return Retry;
        return Ok;
    }

private:
    QStringList answers_;
};

void Answer(kr::Err e, const QString& rest = {}) {
    std::printf("%d%s%s\n", static_cast<int>(e), rest.isEmpty() ? "" : " ", qPrintable(rest));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: store_peer DIR\n");
        return 2;
    }
    PrintingDialogs dialogs;
    kr::ExitProgram end(dialogs);
    kr::Store store(QString::fromLocal8Bit(argv[1]), dialogs, end);
    store.declareLayouts();

    std::unique_ptr<kr::Table<kr::Schedule>> schedule;
    std::unique_ptr<kr::Table<kr::Scripting>> scripting;
    std::unique_ptr<kr::Transaction> tx;
    std::vector<std::unique_ptr<kr::TableAccess>> all;
    kr::Schedule loaded;
    kr::Contact contact;
    kr::Holidays holiday;
    auto tables = [&] {
        if (!schedule) {
            schedule = std::make_unique<kr::Table<kr::Schedule>>(store);
            scripting = std::make_unique<kr::Table<kr::Scripting>>(store);
        }
    };

    std::string line;
    while (std::getline(std::cin, line)) {
        const QString l = QString::fromStdString(line).trimmed();
        const QString cmd = l.section(QLatin1Char(' '), 0, 0);
        const QString rest = l.section(QLatin1Char(' '), 1);
        if (cmd == QStringLiteral("quit"))
            break;
        if (cmd == QStringLiteral("open")) {
            for (const kr::TableDecl* d : kr::DataFileTables())
                all.push_back(std::make_unique<kr::TableAccess>(store, *d));
            Answer(kr::Err::None);
            continue;
        }
        tables();
        if (cmd == QStringLiteral("add")) {
            kr::Schedule t;
            t.id = rest.section(QLatin1Char(' '), 0, 0).toInt();
            t.description = rest.section(QLatin1Char(' '), 1);
            const kr::Err e = schedule->add(t);
            Answer(e, schedule->error().driverText);
        } else if (cmd == QStringLiteral("load")) {
            loaded = kr::Schedule{};
            loaded.id = rest.toInt();
            schedule->watch();
            const kr::Err e = schedule->get(kr::Schedule::KEYID, loaded);
            Answer(e, loaded.description);
        } else if (cmd == QStringLiteral("put")) {
            loaded.description = rest;
            Answer(schedule->put(loaded));
        } else if (cmd == QStringLiteral("contact-add")) {
            kr::Table<kr::Contact> contacts(store);
            kr::Contact c;
            c.clientId = rest.section(QLatin1Char(' '), 0, 0).toInt();
            c.lastName = rest.section(QLatin1Char(' '), 1);
            Answer(contacts.add(c));
        } else if (cmd == QStringLiteral("contact-load")) {
            kr::Table<kr::Contact> contacts(store);
            contact = kr::Contact{};
            contact.clientId = rest.toInt();
            contacts.watch();
            const kr::Err e = contacts.get(kr::Contact::KEYCLIENTID, contact);
            Answer(e, contact.lastName);
        } else if (cmd == QStringLiteral("contact-put")) {
            kr::Table<kr::Contact> contacts(store);
            contact.lastName = rest;
            Answer(contacts.put(contact));
        } else if (cmd == QStringLiteral("holiday-load")) {
            kr::Table<kr::Holidays> holidays(store);
            holiday = kr::Holidays{};
            holiday.holidayDate = rest.toInt();
            holidays.watch();
            const kr::Err e = holidays.get(kr::Holidays::KEYHOLIDAYDATE, holiday);
            Answer(e, holiday.holiday);
        } else if (cmd == QStringLiteral("holiday-put")) {
            kr::Table<kr::Holidays> holidays(store);
            holiday.holiday = rest;
            Answer(holidays.put(holiday));
        } else if (cmd == QStringLiteral("holiday-add")) {
            kr::Table<kr::Holidays> holidays(store);
            kr::Holidays h;
            h.holidayDate = rest.section(QLatin1Char(' '), 0, 0).toInt();
            h.holiday = rest.section(QLatin1Char(' '), 1);
            const kr::Err e = holidays.add(h);
            Answer(e, holidays.error().driverText);
        } else if (cmd == QStringLiteral("holidays")) {
            kr::Table<kr::Holidays> holidays(store);
            kr::Holidays h;
            holidays.set(kr::Holidays::KEYHOLIDAYDATE);
            int n = 0;
            kr::Err e = kr::Err::None;
            while ((e = holidays.next(h)) == kr::Err::None)
                ++n;
            Answer(e == kr::Err::NoMoreRecords ? kr::Err::None : e, QString::number(n));
        } else if (cmd == QStringLiteral("task-load-put")) {
            kr::Schedule t;
            t.id = rest.section(QLatin1Char(' '), 0, 0).toInt();
            schedule->watch();
            kr::Err e = schedule->get(kr::Schedule::KEYID, t);
            if (e == kr::Err::None) {
                t.description = rest.section(QLatin1Char(' '), 1);
                e = schedule->put(t);
            }
            Answer(e);
        } else if (cmd == QStringLiteral("delete")) {
            kr::Schedule t;
            t.id = rest.toInt();
            kr::Err e = schedule->get(kr::Schedule::KEYID, t);
            if (e == kr::Err::None)
                e = schedule->remove(t);
            Answer(e);
        } else if (cmd == QStringLiteral("todo-rename")) {
            // "todo-rename old text|new text": the first entry of that text, renamed.
            kr::Table<kr::Todo> todos(store);
            kr::Todo t;
            t.todo = rest.section(QLatin1Char('|'), 0, 0);
            todos.set(kr::Todo::KEYTODO, t);
            kr::Err e = todos.next(t);
            if (e == kr::Err::None && t.todo != rest.section(QLatin1Char('|'), 0, 0))
                e = kr::Err::RecordNotFound;
            if (e == kr::Err::None) {
                t.todo = rest.section(QLatin1Char('|'), 1);
                e = todos.put(t);
            }
            Answer(e);
        } else if (cmd == QStringLiteral("contact-category-rename")) {
            // "contact-category-rename old name|new name"
            kr::Table<kr::ContactCategories> categories(store);
            kr::ContactCategories c;
            c.contactCategory = rest.section(QLatin1Char('|'), 0, 0);
            kr::Err e = categories.get(kr::ContactCategories::KEYCONTACTCATEGORIES, c);
            if (e == kr::Err::None) {
                c.contactCategory = rest.section(QLatin1Char('|'), 1);
                e = categories.put(c);
            }
            Answer(e);
        } else if (cmd == QStringLiteral("begin")) {
            tx = std::make_unique<kr::Transaction>();
            const kr::Err e = tx->begin({schedule.get(), scripting.get()});
            Answer(e);
        } else if (cmd == QStringLiteral("commit")) {
            Answer(tx ? tx->commit() : kr::Err::None);
        } else if (cmd == QStringLiteral("rollback")) {
            if (tx)
                tx->rollback();
            Answer(kr::Err::None);
        } else if (cmd == QStringLiteral("exclusive")) {
            Answer(schedule->lock(1));
        } else if (cmd == QStringLiteral("hold")) {
            Answer(schedule->lock(1));
            QThread::msleep(rest.toULong());
            Answer(schedule->unlock(), QStringLiteral("released"));
        } else if (cmd == QStringLiteral("unlock")) {
            Answer(schedule->unlock());
        } else if (cmd == QStringLiteral("bump")) {
            const qint32 id = rest.section(QLatin1Char(' '), 0, 0).toInt();
            const int n = rest.section(QLatin1Char(' '), 1, 1).toInt();
            int conflicts = 0;
            kr::Err e = kr::Err::None;
            for (int i = 0; i < n && e == kr::Err::None;) {
                kr::Schedule t;
                t.id = id;
                schedule->watch();
                e = schedule->get(kr::Schedule::KEYID, t);
                if (e != kr::Err::None)
                    break;
                t.description = QString::number(t.description.toLongLong() + 1);
                e = schedule->put(t);
                if (e == kr::Err::RecordChanged) {
                    ++conflicts;
                    e = kr::Err::None;
                    continue;
                }
                ++i;
            }
            Answer(e, QString::number(conflicts));
        } else if (cmd == QStringLiteral("pair")) {
            const qint32 id = rest.section(QLatin1Char(' '), 0, 0).toInt();
            const bool hold = rest.section(QLatin1Char(' '), 1, 1) == QStringLiteral("hold");
            tx = std::make_unique<kr::Transaction>();
            kr::Err e = tx->begin({schedule.get(), scripting.get()});
            if (e == kr::Err::None) {
                kr::Schedule t;
                t.id = id;
                t.description = QStringLiteral("Pair %1").arg(id);
                e = schedule->add(t);
            }
            if (e == kr::Err::None) {
                kr::Scripting item;
                item.id = id;
                item.sequence = 1;
                item.action = QStringLiteral("Pause");
                e = scripting->add(item);
            }
            if (e != kr::Err::None) {
                tx->rollback();
                Answer(e);
            } else if (hold) {
                Answer(e, QStringLiteral("held"));
                // Killed here, in the middle of the transaction.
                for (;;)
                    QThread::sleep(60);
            } else {
                Answer(tx->commit());
            }
        } else if (cmd == QStringLiteral("count")) {
            const qint64 n = schedule->records();
            Answer(schedule->error().code, QString::number(n));
        } else {
            std::printf("? %s\n", line.c_str());
            std::fflush(stdout);
        }
    }
    return 0;
}
