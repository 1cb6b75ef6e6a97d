// The least a shown Qt window with a timer of the frame's idle interval costs: a main window
// with a status line and a coarse 1.25 s timer that does nothing. bench/startup.sh measures it
// as the case "floor", the same way as the program, for the figure to set the frame's beside.
//   idle_floor [--interval MS]

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>

#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int ms = 1250;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--interval") == 0)
            ms = std::atoi(argv[i + 1]);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Idle floor"));
    window.setCentralWidget(new QLabel(QStringLiteral("Nothing happens here.")));
    window.statusBar()->showMessage(QStringLiteral("Ready"));
    window.resize(640, 400);
    window.show();
    QTimer timer;
    timer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&timer, &QTimer::timeout, [] {});
    timer.start(ms);
    return app.exec();
}
