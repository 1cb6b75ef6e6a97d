#pragma once

// A private X display for one test: Xvfb on a free display number, with openbox as the window
// manager, stopped when the object goes.

#include <QProcess>
#include <QString>
#include <QThread>

#include <memory>

namespace kr::test {

class XServer {
public:
    explicit XServer(bool windowManager = true) {
        xvfb_.setProgram(QStringLiteral("Xvfb"));
        xvfb_.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                            QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp")});
        xvfb_.start();
        if (!xvfb_.waitForStarted(10000))
            return;
        for (int i = 0; i < 100 && !xvfb_.canReadLine(); ++i)
            xvfb_.waitForReadyRead(100);
        const QString n = QString::fromLatin1(xvfb_.readLine()).trimmed();
        if (n.isEmpty())
            return;
        display_ = QLatin1Char(':') + n;
        if (windowManager) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DISPLAY"), display_);
            wm_.setProcessEnvironment(env);
            wm_.start(QStringLiteral("openbox"), {});
            wm_.waitForStarted(10000);
            QThread::msleep(300);
        }
    }
    ~XServer() {
        for (QProcess* p : {&wm_, &xvfb_}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(3000))
                    p->kill();
                p->waitForFinished(1000);
            }
        }
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool ok() const { return !display_.isEmpty(); }
    const QString& display() const { return display_; }

private:
    QProcess xvfb_;
    QProcess wm_;
    QString display_;
};

} // namespace kr::test
