// The clipboard poll per call with 10,000 stored entries: when nothing changed, and when a new
// text arrives (the add and the trimming of the oldest entry).
//
// Figures, one run each:
//   clipboard_bench --list [--entries N]   the Clipboard Saver's first rows at N entries (10,000):
//                                          opening and painting the window, and a refresh
//   clipboard_bench --owner [PROGRAM]      on a private X display, the poll's longest tick while
//                                          the clipboard's owner never answers, and while it
//                                          offers a text of 32 million characters (PROGRAM is
//                                          the tests' clipboard owner)

#include "clipboard/PollClipboard.h"
#include "clipboard/ui/ClipboardWindows.h"
#include "platform/qt/QtClipboard.h"
#include "platform/x11/X11ClipboardReader.h"
#include "store/Transaction.h"
#include "support/FakeClipboard.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/XServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

using namespace kr;

constexpr int kEntries = 10000;

QString Words(int n) {
    QString s;
    for (int v = n; v > 0 || s.isEmpty(); v /= 26)
        s += QChar(u'a' + v % 26);
    return QStringLiteral("copied text %1 with some words to make it an ordinary length").arg(s);
}

void Fill(Store& store, int n) {
    Table<Clipboard> table(store);
    Transaction tx;
    tx.begin({&table});
    for (int i = 0; i < n; ++i) {
        Clipboard r{};
        r.clipContents = Words(i);
        if (i % 10 == 0)
            r.clipContents += QStringLiteral(" http://example.org/%1").arg(i);
        r.clipHashKey = ClipboardDigest(r.clipContents);
        r.clipDate = DateFromYmd(2026, 1, 1) + i / 100;
        r.clipTime = 1 + (i % 100) * 1000;
        r.clipKeep = i % 50 == 0 ? 1 : 0;
        table.add(r);
    }
    tx.commit();
}

struct World {
    QTemporaryDir dir;
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    test::FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(12, 0, 0)};
    Settings settings;
    test::FakeClipboard clipboard;
    std::unique_ptr<Store> store;
    std::unique_ptr<ClipboardPoll> poll;
    int next = kEntries;

    World() {
        settings.maxClipboardEntries = kEntries;
        store = std::make_unique<Store>(dir.path(), dialogs, end);
        store->declareLayouts();
        Fill(*store, kEntries);
        poll = std::make_unique<ClipboardPoll>(ClipboardPollContext{*store, settings, clock, clipboard, {}});
        clipboard.offer(Words(0));
        for (int i = 0; i < 4; ++i)
            poll->poll();
    }
};

void BM_PollNothingChanged(benchmark::State& state) {
    World w;
    for (auto _ : state)
        w.poll->poll();
}
BENCHMARK(BM_PollNothingChanged)->Unit(benchmark::kMicrosecond);

// Every iteration is the checking call of a new text: the add and the trimming back to 10,000.
void BM_PollNewText(benchmark::State& state) {
    World w;
    if (state.range(0) == 0)
        w.settings.maxClipboardEntries = 0; // the add alone
    for (auto _ : state) {
        state.PauseTiming();
        w.clipboard.offer(Words(++w.next));
        w.poll->poll();
        w.poll->poll(); // the two calls that only count
        state.ResumeTiming();
        w.poll->poll();
        w.clock.advance(100);
    }
}
BENCHMARK(BM_PollNewText)->Unit(benchmark::kMicrosecond)->Iterations(300)->Arg(1)->Arg(0);

// Milliseconds of one step, the median of five runs.
double Median(const std::function<void()>& step) {
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        step();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[2];
}

void Paint(QWidget& w) {
    w.repaint();
    QApplication::processEvents();
}

int ListFigures(int argc, char** argv, int entries) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::TempDir dir;
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    Store store(dir.path(), dialogs, end);
    store.declareLayouts();
    Fill(store, entries);
    Settings settings;
    test::FakeClipboard clipboard;
    const ClipboardWindowContext ctx{
        store, dialogs, settings, clipboard, IniFile(dir.file(QStringLiteral("POSITION.INI"))), {}};
    const double open = Median([&] {
        BrowseClipboard w(ctx);
        w.show();
        Paint(w);
    });
    BrowseClipboard w(ctx);
    w.show();
    Paint(w);
    const double refresh = Median([&] {
        w.refresh();
        Paint(w);
    });
    std::printf("Clipboard Saver at %d entries: first rows shown %.1f ms, a refresh %.1f ms (median of 5)\n",
                entries, open, refresh);
    return 0;
}

// The tests' clipboard owner, driven over its standard input.
class Owner {
public:
    explicit Owner(const QString& program) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(program, {});
        process_.waitForStarted(10000);
    }
    ~Owner() {
        resume();
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }
    bool ok() const { return process_.state() == QProcess::Running; }
    void command(const QByteArray& name, const QByteArray& argument) {
        process_.write(name + ' ' + argument.toHex() + '\n');
        QElapsedTimer t;
        t.start();
        while (!process_.canReadLine() && t.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            process_.waitForReadyRead(20);
        }
        process_.readLine();
    }
    // From now on the owner answers nobody, as a program that hangs.
    void hang() { ::kill(static_cast<pid_t>(process_.processId()), SIGSTOP); }
    void resume() { ::kill(static_cast<pid_t>(process_.processId()), SIGCONT); }

private:
    QProcess process_;
};

struct TickFigure {
    double longestMs = 0;
    qsizetype kept = -1; // characters of the text stored, -1 when nothing was
};

// Twenty-four ticks of the poll (eight checks), the frame's idle spacing between them shortened
// to 0.2 s; the event loop runs between ticks as the frame's does. The data file is made and
// the table opened before, as in the running program.
TickFigure Ticks(SystemClipboard& clipboard) {
    test::TempDir dir;
    test::ScriptedDialogs dialogs;
    test::ThrowingProgramEnd end;
    Store store(dir.path(), dialogs, end);
    store.declareLayouts();
    Settings settings;
    test::FakeClock clock{DateFromYmd(2026, 12, 8), TimeFromHms(12, 0, 0)};
    Table<Clipboard> table(store);
    Clipboard r{};
    table.set(Clipboard::KEYCLIPDATE);
    table.next(r);
    ClipboardPoll poll({store, settings, clock, clipboard, {}});
    TickFigure figure;
    for (int i = 0; i < 24; ++i) {
        QElapsedTimer t;
        t.start();
        poll.poll();
        figure.longestMs = std::max(figure.longestMs, static_cast<double>(t.nsecsElapsed()) / 1e6);
        QElapsedTimer between;
        between.start();
        while (between.elapsed() < 200)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    if (table.set(Clipboard::KEYCLIPDATE) == Err::None && table.next(r) == Err::None)
        figure.kept = r.clipContents.size();
    return figure;
}

int OwnerFigures(int argc, char** argv, const QString& program) {
    if (qEnvironmentVariableIsEmpty("KELVRAY_BENCH_ON_X")) {
        QCoreApplication app(argc, argv);
        test::XServer x(false);
        if (!x.ok()) {
            std::fprintf(stderr, "clipboard_bench: no X server (Xvfb)\n");
            return 1;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), x.display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("KELVRAY_BENCH_ON_X"), QStringLiteral("1"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1));
        if (!child.waitForStarted(10000))
            return 1;
        child.waitForFinished(-1);
        return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
    }
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QDir::tempPath() + QStringLiteral("/kelvray-bench-runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    QApplication app(argc, argv);
    Owner owner(program);
    if (!owner.ok()) {
        std::fprintf(stderr, "clipboard_bench: cannot start %s\n", qPrintable(program));
        return 1;
    }
    auto report = [](const char* what, const char* how, const TickFigure& f) {
        std::printf("%s, %s: longest tick %.1f ms; kept %s\n", what, how, f.longestMs,
                    f.kept < 0 ? "nothing" : qPrintable(QStringLiteral("%1 characters").arg(f.kept)));
    };
    // The program's own reader on X11 against Qt's read, which it replaced there (and which
    // remains the way on Wayland).
    auto both = [&](const char* what) {
        {
            QtClipboard qt;
            report(what, "read through Qt", Ticks(qt));
        }
        auto reader = X11ClipboardReader::open();
        X11ClipboardReader* r = reader.get();
        if (r == nullptr) {
            std::fprintf(stderr, "clipboard_bench: no reader on this display\n");
            return;
        }
        QtClipboard own(std::move(reader));
        const TickFigure f = Ticks(own);
        report(what, "read on a connection of its own", f);
        std::printf("    (bytes taken from the server: %lld; reads given up: %d)\n",
                    static_cast<long long>(r->stats().bytes), r->stats().abandoned);
    };
    owner.command("offer", "a text that is never handed over");
    owner.hang();
    both("owner that never answers");
    owner.resume();
    owner.command("big", "33554432");
    both("text of 32 million characters");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0) {
            int entries = kEntries;
            for (int j = 1; j + 1 < argc; ++j)
                if (std::strcmp(argv[j], "--entries") == 0)
                    entries = std::atoi(argv[j + 1]);
            return ListFigures(argc, argv, entries);
        }
        if (std::strcmp(argv[i], "--owner") == 0) {
            QString program = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
#ifdef CLIPBOARD_OWNER
            if (program.isEmpty())
                program = QStringLiteral(CLIPBOARD_OWNER);
#endif
            return OwnerFigures(argc, argv, program);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
