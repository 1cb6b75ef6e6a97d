#pragma once

// An event loop on the test's own thread, for the parts that read as events arrive.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace kr::test {

// The application object the loop needs, made once for the test program.
inline void EnsureCoreApplication() {
    if (QCoreApplication::instance() != nullptr)
        return;
    static int argc = 1;
    static char name[] = "kelvray-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// Turns the event loop until `done` holds or `ms` have passed; whether it holds.
inline bool TurnLoopUntil(const std::function<bool()>& done, int ms = 10000) {
    EnsureCoreApplication();
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() >= ms)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

} // namespace kr::test
