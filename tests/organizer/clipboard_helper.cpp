// A program on a real X display for the clipboard tests.
//   clipboard_helper copy <data folder>  opens the contact list there, copies the first contact
//                                        to the clipboard, prints "copied" and keeps the
//                                        clipboard until its input closes
//   clipboard_helper print               prints the clipboard's text

#include "organizer/ui/Contacts.h"
#include "platform/Clock.h"
#include "support/ScriptedDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.value(1) == QStringLiteral("print")) {
        // The owner answers through the event loop; give it a moment.
        QTimer::singleShot(300, &app, [] {
            std::fputs(QGuiApplication::clipboard()->text().toUtf8().constData(), stdout);
            std::fflush(stdout);
            QCoreApplication::quit();
        });
        return app.exec();
    }
    if (args.value(1) != QStringLiteral("copy") || args.size() < 3)
        return 2;
    kr::test::ScriptedDialogs dialogs;
    kr::test::ThrowingProgramEnd end;
    kr::Store store(args[2], dialogs, end);
    store.declareLayouts();
    kr::SystemClock clock;
    kr::OrganizerContext ctx{store,
                             dialogs,
                             clock,
                             kr::IniFile(args[2] + QStringLiteral("/POSITION.INI")),
                             QStringLiteral("d3"),
                             QString(),
                             false,
                             {},
                             {}};
    kr::BrowseContacts w(ctx);
    w.show();
    w.button(QStringLiteral("&Copy to Clipboard"))->click();
    std::puts("copied");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    return app.exec();
}
