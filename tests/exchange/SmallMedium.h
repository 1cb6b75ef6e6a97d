#pragma once

// The peer program run on a nearly full medium: a folder with a file system of a few
// kilobytes of its own, mounted in a private mount namespace (unshare, no privileges needed),
// which the peer writes to until it is full. Where no namespace can be made, a limit on the
// size of the files the peer writes stands in for the full medium.

#include <QDir>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

namespace kr::test {

struct PeerRun {
    int exitCode = -1;
    QStringList lines; // what the peer printed
    QStringList files; // what the folder held when it ended
};

inline bool CanMountPrivately() {
    static const bool can = [] {
        QProcess p;
        p.start(QStringLiteral("unshare"),
                {QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("--mount"),
                 QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral("mount -t tmpfs -o size=16k tmpfs \"$1\""), QStringLiteral("sh"),
                 QDir::tempPath()});
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }();
    return can;
}

inline PeerRun RunPeerOnSmallMedium(const QString& folder, int kilobytes, const QStringList& args) {
    PeerRun run;
    QProcess p;
    if (CanMountPrivately()) {
        const QString script =
            QStringLiteral(
                "mount -t tmpfs -o size=%1k tmpfs \"$1\" || exit 70; dir=$1; shift; \"$@\"; rc=$?; "
                "echo \"--- files\"; ls -A \"$dir\"; exit $rc")
                .arg(kilobytes);
        p.start(QStringLiteral("unshare"),
                QStringList{QStringLiteral("--user"), QStringLiteral("--map-root-user"),
                            QStringLiteral("--mount"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                            QStringLiteral("sh"), folder, QStringLiteral(EXCHANGE_PEER)} +
                    args);
    } else {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KELVRAY_PEER_FILE_LIMIT"), QString::number(kilobytes * 1024));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(EXCHANGE_PEER), args);
    }
    EXPECT_TRUE(p.waitForFinished(60000));
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    const QStringList out =
        QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const qsizetype split = out.indexOf(QStringLiteral("--- files"));
    run.lines = split < 0 ? out : out.mid(0, split);
    if (split >= 0)
        run.files = out.mid(split + 1);
    else
        run.files = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    return run;
}

} // namespace kr::test
