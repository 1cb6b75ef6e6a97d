#include "store/EventLog.h"
#include "platform/Pictures.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kr::test {
namespace {

QStringList Lines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    while (!f.atEnd()) {
        QByteArray l = f.readLine();
        EXPECT_TRUE(l.endsWith('\n'));
        l.chop(1);
        out << QString::fromLocal8Bit(l);
    }
    return out;
}

class EventLogTest : public ::testing::Test {
protected:
    TempDir dir;
    Settings settings;
    FakeClock clock{DateFromYmd(1959, 10, 31), TimeFromHms(17, 5, 9)};
    QString path() const { return dir.file(kEventLogName); }
};

TEST_F(EventLogTest, ALogThatCannotBeOpenedIsSaidOnceAndTheProgramGoesOn) {
    settings.logEvents = true;
    // A folder where the log file should be: it can never be opened for appending.
    ASSERT_TRUE(QDir(dir.path()).mkdir(kEventLogName));
    EventLog log(path(), settings, clock);
    QStringList said;
    log.setOpenFailureHandler([&](const QString& text) { said << text; });
    for (int i = 0; i < 3; ++i)
        log.log(QStringLiteral("Started"), QStringLiteral("Kelvray 98 1.7d"));
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].startsWith(QStringLiteral("The event log ") + path() +
                                   QStringLiteral(" cannot be opened (")));
    EXPECT_FALSE(log.isOpen());

    // Once it can be written again it is.
    ASSERT_TRUE(QDir(dir.path()).rmdir(kEventLogName));
    log.log(QStringLiteral("Run Program"), QStringLiteral("gedit"));
    EXPECT_EQ(Lines(path()).size(), 1);
    EXPECT_EQ(said.size(), 1);
}

TEST_F(EventLogTest, NothingIsWrittenWhileLoggingIsOff) {
    EventLog log(path(), settings, clock);
    log.log(QStringLiteral("Started"), QStringLiteral("Kelvray 98 1.7d"));
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(EventLogTest, LinesHaveFixedColumnsAndCutTheirTexts) {
    settings.logEvents = true;
    EventLog log(path(), settings, clock);
    log.log(QStringLiteral("Started"), QStringLiteral("Kelvray 98 1.7d"));
    log.log(QString(40, QLatin1Char('L')), QString(70, QLatin1Char('D')));
    settings.dateFormat = QStringLiteral("d4"); // "October 31, 1959" does not fit: d3 instead
    log.log(QStringLiteral("History"), QStringLiteral("Checked for tasks needing removal"));
    settings.dateFormat = QStringLiteral("d2");
    log.log(QStringLiteral("Exit Kelvray"));
    const QStringList lines = Lines(path());
    ASSERT_EQ(lines.size(), 4);
    for (const QString& l : lines)
        EXPECT_EQ(l.size(), 102) << l.toStdString();
    const QString time = FormatTimeAs(clock.now(), QStringLiteral("t7")).leftJustified(10);
    EXPECT_EQ(lines[0], QStringLiteral("OCT 31,1959 ") + time + QStringLiteral("Started").leftJustified(30) +
                            QStringLiteral("Kelvray 98 1.7d").leftJustified(50));
    EXPECT_EQ(lines[1].mid(22, 30), QString(30, QLatin1Char('L')));
    EXPECT_EQ(lines[1].mid(52), QString(50, QLatin1Char('D')));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("OCT 31,1959 ")));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("10/31/1959  ")));
    EXPECT_EQ(lines[3].mid(52), QString(50, QLatin1Char(' ')));
}

TEST_F(EventLogTest, AnEventIsOneLineWhateverItsTextsHold) {
    settings.logEvents = true;
    EventLog log(path(), settings, clock);
    log.log(QStringLiteral("Run Program"), QStringLiteral("sh -c 'backup\n--all'\r\tnow"));
    log.log(QStringLiteral("Message\nsplit"),
            QStringLiteral("line\u2028separator\u2029para\u0085next\x7f\x1b[31m"));
    // A character of two halves is kept whole or left out, never cut in two.
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    log.log(QStringLiteral("Script"), QString(49, QLatin1Char('x')) + face + QStringLiteral("tail"));
    log.log(QStringLiteral("Script"), QString(48, QLatin1Char('x')) + face + QStringLiteral("tail"));
    log.log(QStringLiteral("Script"), QStringLiteral("lone ") + face.at(0) + QStringLiteral(" half"));
    const QStringList lines = Lines(path());
    ASSERT_EQ(lines.size(), 5);
    for (const QString& l : lines)
        EXPECT_EQ(l.size(), 102) << l.toStdString();
    EXPECT_EQ(lines[0].mid(52).trimmed(), QStringLiteral("sh -c 'backup --all'  now"));
    EXPECT_EQ(lines[1].mid(22, 30).trimmed(), QStringLiteral("Message split"));
    EXPECT_EQ(lines[1].mid(52).trimmed(), QStringLiteral("line separator para next  [31m"));
    EXPECT_EQ(lines[2].mid(52), QString(49, QLatin1Char('x')) + QLatin1Char(' '));
    EXPECT_EQ(lines[3].mid(52), QString(48, QLatin1Char('x')) + face);
    EXPECT_EQ(lines[4].mid(52).trimmed(), QStringLiteral("lone   half"));
}

TEST_F(EventLogTest, TheFileIsClosedAfterEvery101stLine) {
    settings.logEvents = true;
    EventLog log(path(), settings, clock);
    for (int i = 1; i <= 100; ++i)
        log.log(QStringLiteral("Script"), QString::number(i));
    EXPECT_TRUE(log.isOpen());
    log.log(QStringLiteral("Script"), QStringLiteral("101"));
    EXPECT_FALSE(log.isOpen());
    log.log(QStringLiteral("Script"), QStringLiteral("102"));
    EXPECT_TRUE(log.isOpen());
    const QStringList lines = Lines(path());
    ASSERT_EQ(lines.size(), 102);
    EXPECT_EQ(lines[101].mid(52).trimmed(), QStringLiteral("102"));
}

TEST_F(EventLogTest, AppendsFromThreadsAndProcessesNeverInterleave) {
    settings.logEvents = true;
    const pid_t child = fork();
    if (child == 0) {
        EventLog log(path(), settings, clock);
        for (int i = 0; i < 400; ++i)
            log.log(QStringLiteral("Child"), QString(50, QLatin1Char('c')));
        _exit(0);
    }
    {
        EventLog log(path(), settings, clock);
        std::thread a([&] {
            for (int i = 0; i < 400; ++i)
                log.log(QStringLiteral("Thread A"), QString(50, QLatin1Char('a')));
        });
        std::thread b([&] {
            for (int i = 0; i < 400; ++i)
                log.log(QStringLiteral("Thread B"), QString(50, QLatin1Char('b')));
        });
        a.join();
        b.join();
    }
    int status = 0;
    waitpid(child, &status, 0);
    const QStringList lines = Lines(path());
    ASSERT_EQ(lines.size(), 1200);
    int counts[3] = {};
    for (const QString& l : lines) {
        ASSERT_EQ(l.size(), 102);
        const QString label = l.mid(22, 30).trimmed();
        const QChar fill = l.at(101);
        ASSERT_EQ(l.mid(52), QString(50, fill));
        if (label == QStringLiteral("Child") && fill == QLatin1Char('c'))
            ++counts[0];
        else if (label == QStringLiteral("Thread A") && fill == QLatin1Char('a'))
            ++counts[1];
        else if (label == QStringLiteral("Thread B") && fill == QLatin1Char('b'))
            ++counts[2];
    }
    EXPECT_EQ(counts[0], 400);
    EXPECT_EQ(counts[1], 400);
    EXPECT_EQ(counts[2], 400);
}

} // namespace
} // namespace kr::test
