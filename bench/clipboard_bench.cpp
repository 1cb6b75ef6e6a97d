// The clipboard poll per call with 10,000 stored entries: when nothing changed, and when a new
// text arrives (the add and the trimming of the oldest entry).

#include "clipboard/PollClipboard.h"
#include "store/Transaction.h"
#include "support/FakeClipboard.h"
#include "support/FakeClock.h"
#include "support/ScriptedDialogs.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace kr;

constexpr int kEntries = 10000;

QString Words(int n) {
    QString s;
    for (int v = n; v > 0 || s.isEmpty(); v /= 26)
        s += QChar(u'a' + v % 26);
    return QStringLiteral("copied text %1 with some words to make it an ordinary length").arg(s);
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
        {
            Table<Clipboard> table(*store);
            Transaction tx;
            tx.begin({&table});
            for (int i = 0; i < kEntries; ++i) {
                Clipboard r{};
                r.clipContents = Words(i);
                r.clipHashKey = ClipboardDigest(r.clipContents);
                r.clipDate = DateFromYmd(2026, 1, 1) + i / 100;
                r.clipTime = 1 + (i % 100) * 1000;
                table.add(r);
            }
            tx.commit();
        }
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

} // namespace

BENCHMARK_MAIN();
