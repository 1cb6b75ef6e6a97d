#pragma once

// A second station: the store_peer program on the same working directory, driven one
// command line at a time.

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

namespace kr::test {

class Peer {
public:
    explicit Peer(const QString& dir, const QStringList& answers = {})
        : Peer(QStringLiteral(STORE_PEER), {dir}, answers) {}
    // The peer started through another program (a wrapper that prepares its view of the files).
    Peer(const QString& program, const QStringList& arguments, const QStringList& answers) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PEER_ANSWERS"), answers.join(QLatin1Char(',')));
        process_.setProcessEnvironment(env);
        process_.start(program, arguments);
        process_.waitForStarted();
    }
    ~Peer() {
        if (process_.state() != QProcess::NotRunning) {
            process_.write("quit\n");
            if (!process_.waitForFinished(5000))
                process_.kill();
        }
    }
    void send(const QString& line) {
        process_.write((line + QLatin1Char('\n')).toUtf8());
        process_.waitForBytesWritten();
    }
    // The next line the peer prints.
    QString line(int timeoutMs = 20000) {
        QElapsedTimer t;
        t.start();
        while (!process_.canReadLine()) {
            if (t.elapsed() > timeoutMs || !process_.waitForReadyRead(timeoutMs - int(t.elapsed())))
                return process_.canReadLine() ? QString::fromUtf8(process_.readLine()).trimmed() : QString();
        }
        return QString::fromUtf8(process_.readLine()).trimmed();
    }
    QString ask(const QString& command) {
        send(command);
        return line();
    }
    QProcess& process() { return process_; }

private:
    QProcess process_;
};

} // namespace kr::test
