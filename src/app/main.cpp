#include "platform/Dialogs.h"
#include "platform/qt/QtDialogs.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/Tables.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QStandardPaths>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

QString DefaultDataDir() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/kelvray");
}

} // namespace

int main(int argc, char** argv) {
    QString dataDir;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QStringLiteral("--data-dir") && i + 1 < argc)
            dataDir = QString::fromLocal8Bit(argv[++i]);
        else if (a.startsWith(QStringLiteral("--data-dir=")))
            dataDir = a.mid(11);
    }
    if (!HasDisplay()) {
        std::fprintf(stderr, "kelvray: no display to show its windows on (DISPLAY is not set)\n");
        return 1;
    }
    QApplication app(argc, argv);
    if (dataDir.isEmpty())
        dataDir = DefaultDataDir();
    if (!QDir().mkpath(dataDir) || !QDir::setCurrent(dataDir)) {
        std::fprintf(stderr, "kelvray: cannot work in %s\n", qPrintable(dataDir));
        return 1;
    }

    kr::QtDialogs dialogs;
    kr::ExitProgram end(dialogs);
    kr::Store store(QDir::currentPath(), dialogs, end);
    store.declareLayouts();
    std::vector<std::unique_ptr<kr::TableAccess>> tables;
    for (const kr::TableDecl* d : kr::DataFileTables())
        tables.push_back(std::make_unique<kr::TableAccess>(store, *d));

    QMainWindow frame;
    frame.setWindowTitle(QStringLiteral("Kelvray 98 1.7d"));
    frame.resize(640, 400);
    frame.show();
    return QApplication::exec();
}
