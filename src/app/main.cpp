#include "app/Program.h"
#include "platform/Paths.h"
#include "platform/PrivateFiles.h"
#include "platform/qt/Keyboard.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    kr::ProgramOptions options;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QStringLiteral("--data-dir") && i + 1 < argc) {
            options.dataDir = QString::fromLocal8Bit(argv[++i]);
        } else if (a.startsWith(QStringLiteral("--data-dir="))) {
            options.dataDir = a.mid(11);
        } else if (a.compare(QStringLiteral("/I"), Qt::CaseInsensitive) == 0) {
            options.inactive = true;
        } else if (a == QStringLiteral("--help")) {
            std::printf("usage: kelvray [--data-dir DIR] [/I]\n");
            return 0;
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "kelvray: no display to show its windows on (DISPLAY is not set)\n");
        return 1;
    }
    if (options.dataDir.isEmpty())
        options.dataDir = kr::DefaultDataDir();
    options.configDir = kr::DefaultConfigDir();
    if (!kr::MakePrivateDir(options.dataDir) || !QDir::setCurrent(options.dataDir)) {
        std::fprintf(stderr, "kelvray: cannot work in %s\n", qPrintable(options.dataDir));
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvray"));
    QApplication::setApplicationVersion(QStringLiteral("1.7d"));
    QApplication::setDesktopFileName(QStringLiteral("kelvray"));
    QApplication::setQuitOnLastWindowClosed(false);
    kr::GuardUnansweredAltKeys();
    return kr::RunProgram(options);
}
