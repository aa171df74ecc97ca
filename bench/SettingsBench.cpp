// The settings window, opened from the command line on a private X server.
// Run: build/bench/quillet_bench --benchmark_filter=Settings
//
// Milliseconds from just before `quillet settings` starts to the window's first paint flushed
// to the server (the program traces it with QUILLET_TRACE=1), for the first opening, which
// builds the window, and the median of the later ones, which show it again; Ctrl+W closes it
// each time, as a user does. Then resident memory at idle, after the first opening and closing,
// and after twenty: what the closed window keeps is the difference from idle.
#include "BenchDesk.h"

#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using namespace quillet::bench;

constexpr int openings = 20;

bool settingsShown(Desk& desk, bool shown)
{
    const QString want = QStringLiteral("settings-window: %1").arg(shown ? 1 : 0);
    return Desk::waitFor([&] { return desk.status().contains(want); });
}

// One opening and closing; the milliseconds to the first paint, or nothing.
std::optional<double> openAndClose(Desk& desk)
{
    const qint64 t0 = monotonicNs();
    const pid_t pid = launch({QUILLET_BINARY, "settings"}, desk.env());
    const std::optional<qint64> painted = desk.nextTrace("settings-painted", 10000);
    ::waitpid(pid, nullptr, 0);
    if (!painted || !settingsShown(desk, true)) {
        std::fprintf(stderr, "the settings window did not open\n");
        return std::nullopt;
    }
    runToEnd({"xdotool", "key", "ctrl+w"}, desk.env());
    if (!settingsShown(desk, false)) {
        std::fprintf(stderr, "the settings window did not close\n");
        return std::nullopt;
    }
    return double(*painted - t0) / 1e6;
}

void SettingsOpenAndMemory(benchmark::State& state)
{
    Desk desk(1920, 1080, false);
    if (!desk.ok()) {
        state.SkipWithError("Xvfb or the program did not start");
        return;
    }
    for (auto _ : state) {
        const double idle = rssMiB(desk.program());
        const double idleAnon = rssMiB(desk.program(), "RssAnon:");
        const std::optional<double> first = openAndClose(desk);
        if (!first) {
            state.SkipWithError("the settings window did not open or close");
            return;
        }
        // Memory once the closing has settled (deferred deletes and the backing store).
        QThread::msleep(500);
        const double afterFirst = rssMiB(desk.program());
        std::vector<double> again;
        for (int i = 1; i < openings; ++i) {
            const std::optional<double> t = openAndClose(desk);
            if (!t) {
                state.SkipWithError("the settings window did not open or close");
                return;
            }
            again.push_back(*t);
        }
        QThread::msleep(500);
        const double after = rssMiB(desk.program());
        const double afterAnon = rssMiB(desk.program(), "RssAnon:");
        state.counters["first_open_ms"] = *first;
        state.counters["again_median_ms"] = median(again);
        state.counters["idle_MiB"] = idle;
        state.counters["after_first_MiB"] = afterFirst;
        state.counters["after_20_MiB"] = after;
        state.counters["kept_after_close_MiB"] = after - idle;
        state.counters["growth_1_to_20_MiB"] = after - afterFirst;
        // The program's own memory, without the pages of font and library files it has read.
        state.counters["kept_anon_MiB"] = afterAnon - idleAnon;
    }
}
BENCHMARK(SettingsOpenAndMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
