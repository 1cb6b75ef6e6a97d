// Run on saved clipboard texts, with real processes: the desktop's opener is a script on the
// search path that writes down the arguments it was given.

#include "clipboard/Run.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

namespace kr::test {
namespace {

using Target = ClipboardRunTarget;

void WriteScript(const QString& path, const QByteArray& body) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n" + body);
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

class ClipboardRunTest : public ::testing::Test {
protected:
    ClipboardRunTest() {
        QDir(dir.path()).mkpath(QStringLiteral("bin"));
        // The opener writes the number of its arguments, then each on a line of its own.
        WriteScript(dir.file(QStringLiteral("bin/xdg-open")),
                    "printf '%s\\n' \"$#\" \"$@\" >> '" + opened().toUtf8() + "'\n");
        path = qgetenv("PATH");
        qputenv("PATH", dir.file(QStringLiteral("bin")).toUtf8() + ':' + path);
        settings.logEvents = true;
    }
    ~ClipboardRunTest() override {
        qputenv("PATH", path);
        QDir::setCurrent(home);
    }
    QString opened() const { return dir.file(QStringLiteral("opened")); }
    // What the opener was given, once `calls` calls have written it down.
    QStringList openerCalls(int calls) {
        QElapsedTimer t;
        t.start();
        for (;;) {
            const QStringList lines = ReadAll(opened()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QStringList out;
            for (qsizetype i = 0; i < lines.size();) {
                const int n = lines[i].toInt();
                out << lines.mid(i + 1, n).join(QLatin1Char('|'));
                i += 1 + n;
            }
            if (out.size() >= calls || t.elapsed() > 5000)
                return out;
            QThread::msleep(20);
        }
    }
    int run(const QString& text) { return RunClipboardText(text, {processes, dialogs, log}); }

    TempDir dir;
    QByteArray path;
    QString home = QDir::currentPath();
    Settings settings;
    FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(9, 0, 0)};
    EventLog log{dir.file(kEventLogName), settings, clock};
    LinuxProcesses processes;
    ScriptedDialogs dialogs;
};

TEST(ClipboardRunTargets, FindsAddressesAndPrograms) {
    using T = std::vector<Target>;
    EXPECT_EQ(ClipboardRunTargets(QStringLiteral("see http://example.org/a more words")),
              (T{{Target::Address, QStringLiteral("http://example.org/a")}}));
    EXPECT_EQ(ClipboardRunTargets(QStringLiteral("go \"HTTPS://example.org/b\" now")),
              (T{{Target::Address, QStringLiteral("HTTPS://example.org/b")}}));
    EXPECT_EQ(ClipboardRunTargets(QStringLiteral("\"C:\\Program Files\\x.exe\" -a")),
              (T{{Target::File, QStringLiteral("C:\\Program Files\\x.exe")}}));
    EXPECT_EQ(ClipboardRunTargets(QStringLiteral("run tool.EXE now")),
              (T{{Target::File, QStringLiteral("tool.EXE")}}));
    EXPECT_EQ(ClipboardRunTargets(QStringLiteral("x.exe")), (T{{Target::File, QStringLiteral("x.exe")}}));
    EXPECT_EQ(ClipboardRunTargets(QStringLiteral("www.example.org  ")),
              (T{{Target::Address, QStringLiteral("http://www.example.org")}}));
    EXPECT_TRUE(ClipboardRunTargets(QStringLiteral("WWW.example.org")).empty());
    EXPECT_EQ(ClipboardRunTargets(QStringLiteral("write mailto:a@b.c or http://h.org")),
              (T{{Target::Address, QStringLiteral("http://h.org")},
                 {Target::Address, QStringLiteral("mailto:a@b.c")}}));
    EXPECT_EQ(ClipboardRunTargets(QStringLiteral("www.a.org http://b.org")),
              (T{{Target::Address, QStringLiteral("http://b.org")}}));
    // An address or an unquoted name ends at a line break or a tab as at a blank.
    EXPECT_EQ(ClipboardRunTargets(QStringLiteral("http://x/$(rm\t-rf\t~)")),
              (T{{Target::Address, QStringLiteral("http://x/$(rm")}}));
    EXPECT_EQ(ClipboardRunTargets(QStringLiteral("www.a.org/x\nsecond line")),
              (T{{Target::Address, QStringLiteral("http://www.a.org/x")}}));
    EXPECT_EQ(ClipboardRunTargets(QStringLiteral("first line\n/opt/t.exe")),
              (T{{Target::File, QStringLiteral("/opt/t.exe")}}));
    EXPECT_TRUE(ClipboardRunTargets(QStringLiteral("plain words")).empty());
    EXPECT_TRUE(ClipboardTextIsLink(QStringLiteral("a MailTo:x")));
    EXPECT_TRUE(ClipboardTextIsLink(QStringLiteral("https://x")));
    EXPECT_FALSE(ClipboardTextIsLink(QStringLiteral("a.url")));
}

TEST_F(ClipboardRunTest, ANameWithBlanksIsNeverRunAsACommandLine) {
    const QString ran = dir.file(QStringLiteral("ran"));
    const QString text = QStringLiteral("\"/bin/sh -c touch${IFS}%1 x.exe\"").arg(ran);
    const QString control = dir.file(QStringLiteral("control"));
    // The same name taken apart at its first blank, as a retry by blanks takes it, runs it.
    ASSERT_GT(processes.shellExecute(QStringLiteral("/bin/sh"),
                                     QStringLiteral("-c touch${IFS}%1 x.exe").arg(control), {},
                                     QStringLiteral("open")),
              32);
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(control) && t.elapsed() < 5000)
        QThread::msleep(20);
    ASSERT_TRUE(QFile::exists(control));

    EXPECT_EQ(run(text), 0);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Could not start /bin/sh -c touch${IFS}%1 x.exe.").arg(ran));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Error Code 2"));
    // A command substitution in an address reaches the opener as one odd word, and runs nothing.
    EXPECT_EQ(run(QStringLiteral("http://x/$(touch${IFS}%1)").arg(ran)), 1);
    EXPECT_EQ(openerCalls(1), QStringList{QStringLiteral("http://x/$(touch${IFS}%1)").arg(ran)});
    QThread::msleep(300);
    EXPECT_FALSE(QFile::exists(ran));
}

TEST_F(ClipboardRunTest, AddressesGoToTheOpenerAsOneArgumentEach) {
    EXPECT_EQ(run(QStringLiteral("see http://example.org/a?b=1&c=2 and\tmailto:someone@example.org\tnow")),
              2);
    EXPECT_EQ(run(QStringLiteral("www.example.org/x more words")), 1);
    // The openers run side by side: in whichever order they wrote.
    QStringList calls = openerCalls(3);
    calls.sort();
    EXPECT_EQ(calls, (QStringList{QStringLiteral("http://example.org/a?b=1&c=2"),
                                  QStringLiteral("http://www.example.org/x"),
                                  QStringLiteral("mailto:someone@example.org")}));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ClipboardRunTest, OnlyExistingFilesStartAndProgramsGetNoArguments) {
    QDir(dir.path()).mkpath(QStringLiteral("my tools"));
    const QString marker = dir.file(QStringLiteral("arguments"));
    WriteScript(dir.file(QStringLiteral("my tools/run me.exe")), "echo \"$#\" > '" + marker.toUtf8() + "'\n");
    EXPECT_EQ(
        run(QStringLiteral("start \"%1\" --now please").arg(dir.file(QStringLiteral("my tools/run me.exe")))),
        1);
    QElapsedTimer t;
    t.start();
    while (ReadAll(marker).isEmpty() && t.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_EQ(ReadAll(marker), QStringLiteral("0\n"));

    // A shortcut that is no program goes to the opener by its whole path, found beside the
    // current folder when named without one.
    QFile lnk(dir.file(QStringLiteral("notes.lnk")));
    ASSERT_TRUE(lnk.open(QIODevice::WriteOnly));
    lnk.close();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    EXPECT_EQ(run(QStringLiteral("open notes.lnk please")), 1);
    EXPECT_EQ(openerCalls(1), QStringList{QDir(dir.path()).absoluteFilePath(QStringLiteral("notes.lnk"))});

    // A program on the search path is not looked for there.
    WriteScript(dir.file(QStringLiteral("bin/tool.exe")),
                "touch '" + dir.file(QStringLiteral("tool ran")).toUtf8() + "'\n");
    EXPECT_EQ(run(QStringLiteral("tool.exe")), 0);
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Could not start tool.exe.")});
    QThread::msleep(300);
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("tool ran"))));
}

TEST_F(ClipboardRunTest, TheEventLogNotesEachStartWithoutTheText) {
    QFile lnk(dir.file(QStringLiteral("secret plans.lnk")));
    ASSERT_TRUE(lnk.open(QIODevice::WriteOnly));
    lnk.close();
    EXPECT_EQ(run(QStringLiteral("http://example.org/private?token=abc \"%1\"").arg(lnk.fileName())), 2);
    EXPECT_EQ(run(QStringLiteral("missing-secret.exe")), 0);
    const QString written = ReadAll(log.path());
    EXPECT_EQ(written.count(QStringLiteral("Run Program")), 3);
    EXPECT_EQ(written.count(QStringLiteral("Clipboard Saver: an address")), 1);
    EXPECT_EQ(written.count(QStringLiteral("Clipboard Saver: a file")), 2);
    for (const char* piece : {"example", "token", "secret", "plans", "lnk", "exe"})
        EXPECT_FALSE(written.contains(QLatin1String(piece), Qt::CaseInsensitive)) << piece;
}

} // namespace
} // namespace kr::test
