// From the capture's trigger to the overlays on screen, and the program's memory around a
// capture, on private X servers.
// Run: build/bench/quillet_bench --benchmark_filter='CaptureLatency|CaptureMemory|IdleMemory'
//
// CaptureLatency: the program runs with QUILLET_TRACE=1 and writes a monotonic time stamp when
// every overlay of a new session has finished its first paint and the X server has carried out
// the flush that puts it on screen (a round trip after it). The clock starts here just
// before `xdotool key F1` (the hot key) or `quillet capture` (the command line) is started, so
// both figures include starting that client process. Escape ends each capture; medians of
// several runs per screen layout.
// CaptureMemory: resident memory at idle (the buffers kept ready for a capture included),
// while a capture is open, and once the session has gone, at 1920×1080 and 3840×2160.
// IdleMemory: what the program costs while it waits, and what waiting costs the next capture,
// set beside a bare Qt 6 tray program (bench/tools/baretray) on the same X server.
// Idle is 60 s after the last capture (QUILLET_BENCH_IDLE_S shortens it for a quick look):
// whatever the program gives back while it waits has been given back by then. The figures:
//   - bare_tray_RSS/PSS_MiB: the bare tray program, settled;
//   - warm_RSS/PSS_MiB: the program just after start, everything ready for a capture;
//   - idle_RSS/PSS_MiB: the same after the idle wait;
//   - first_after_idle_ms: hot key (xdotool) to every overlay painted, the first capture after
//     the wait; tenth_in_row_ms: the same for the tenth capture in a row after it;
//   - after_10_RSS_MiB: resident memory once those ten captures have gone;
//   - goal_RSS_MiB: 1.3 × the bare tray + 4 MiB;
//   - shmem_huge: 1 when the kept buffers are in 2 MiB pages (the kernel allows it).
#include "BenchDesk.h"
#include "platform/HugePages.h"

#include <benchmark/benchmark.h>

#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using namespace quillet::bench;

constexpr int runs = 9;

// Milliseconds from just before `trigger` starts to the overlays' first paint; `inside` gets the
// part from the program accepting the capture to that paint.
std::optional<double> timeOne(
    Desk& desk, const std::vector<std::string>& trigger, std::vector<double>& inside)
{
    const qint64 t0 = monotonicNs();
    const pid_t pid = launch(trigger, desk.env());
    const std::optional<qint64> painted = desk.nextPainted(10000);
    ::waitpid(pid, nullptr, 0);
    if (!painted) {
        std::fprintf(stderr, "%s: no overlay painted\n", trigger.front().c_str());
        return std::nullopt;
    }
    if (!desk.endCapture()) {
        std::fprintf(stderr, "%s: the capture did not end\n", trigger.front().c_str());
        return std::nullopt;
    }
    if (desk.lastCommand > t0)
        inside.push_back(double(*painted - desk.lastCommand) / 1e6);
    return double(*painted - t0) / 1e6;
}

void CaptureLatency(benchmark::State& state)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    const bool two = state.range(2) != 0;
    Desk desk(w, h, two);
    if (!desk.ok()) {
        state.SkipWithError("Xvfb or the program did not start");
        return;
    }
    std::vector<double> hotKey, command, inside;
    for (auto _ : state) {
        for (int i = 0; i < runs; ++i) {
            const auto k = timeOne(desk, {"xdotool", "key", "F1"}, inside);
            const auto c = timeOne(desk, {QUILLET_BINARY, "capture"}, inside);
            if (!k || !c) {
                state.SkipWithError("a capture did not open or close");
                return;
            }
            hotKey.push_back(*k);
            command.push_back(*c);
        }
    }
    state.counters["hotkey_median_ms"] = median(hotKey);
    state.counters["command_median_ms"] = median(command);
    state.counters["grab_to_painted_median_ms"] = median(inside);
    state.counters["hotkey_min_ms"] = *std::min_element(hotKey.begin(), hotKey.end());
    state.counters["command_min_ms"] = *std::min_element(command.begin(), command.end());
    state.SetLabel(
        two ? "two monitors 1280x800 + 1024x768" : std::to_string(w) + "x" + std::to_string(h));
}
BENCHMARK(CaptureLatency)
    ->Args({1920, 1080, 0})
    ->Args({3840, 2160, 0})
    ->Args({2304, 800, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void CaptureMemory(benchmark::State& state)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    Desk desk(w, h, false);
    if (!desk.ok()) {
        state.SkipWithError("Xvfb or the program did not start");
        return;
    }
    for (auto _ : state) {
        const double idle = rssMiB(desk.program());
        const double idleAnon = rssMiB(desk.program(), "RssAnon:");
        double during = 0;
        double afterFirst = 0;
        for (int i = 0; i < 3; ++i) {
            runToEnd({"xdotool", "key", "F1"}, desk.env());
            if (!desk.nextPainted(10000)) {
                state.SkipWithError("the capture did not open");
                return;
            }
            // A region with its toolbar and magnifier, as a user has it.
            runToEnd({"xdotool", "mousemove", "400", "300", "mousedown", "1", "mousemove", "900",
                         "700", "mousemove", "1400", "1000", "mouseup", "1"},
                desk.env());
            QThread::msleep(300);
            during = std::max(during, rssMiB(desk.program()));
            if (!desk.endCapture()) {
                state.SkipWithError("the capture did not close");
                return;
            }
            if (i == 0) {
                QThread::msleep(1000);
                afterFirst = rssMiB(desk.program());
            }
        }
        // The fade-out ends and the windows are deleted shortly after the session.
        QThread::msleep(1000);
        const double after = rssMiB(desk.program());
        state.counters["idle_anon_MiB"] = idleAnon;
        state.counters["after_anon_MiB"] = rssMiB(desk.program(), "RssAnon:");
        state.counters["idle_MiB"] = idle;
        state.counters["during_MiB"] = during;
        state.counters["after_MiB"] = after;
        // What the first capture loads for good (fonts, code, glyph caches) against what each
        // capture leaves behind.
        state.counters["after_first_MiB"] = afterFirst;
        state.counters["after_vs_idle_pct"] = (after - idle) / idle * 100.0;
        state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
    }
}
BENCHMARK(CaptureMemory)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Waits until resident memory has stopped moving (a program that has just started is still
// loading), then returns it.
double settledRss(pid_t pid)
{
    double last = rssMiB(pid);
    int steady = 0;
    for (int i = 0; i < 100 && steady < 5; ++i) {
        QThread::msleep(200);
        const double now = rssMiB(pid);
        steady = std::abs(now - last) < 0.05 ? steady + 1 : 0;
        last = now;
    }
    return last;
}

void IdleMemory(benchmark::State& state)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    Desk desk(w, h, false);
    if (!desk.ok()) {
        state.SkipWithError("Xvfb or the program did not start");
        return;
    }
    const std::vector<std::string> hotKey {"xdotool", "key", "F1"};
    std::vector<double> inside;
    for (auto _ : state) {
        const pid_t bare = launch({BARE_TRAY_BINARY}, desk.env());
        const double bareRss = settledRss(bare);
        const double barePss = pssMiB(bare);
        terminate(bare);

        const pid_t pid = desk.program();
        const double warmRss = settledRss(pid);
        const double warmPss = pssMiB(pid);
        // One capture first, so the idle wait starts from the state users leave it in.
        if (!timeOne(desk, hotKey, inside)) {
            state.SkipWithError("a capture did not open or close");
            return;
        }
        QThread::msleep(unsigned(idleSeconds()) * 1000);
        const double idleRss = rssMiB(pid);
        const double idlePss = pssMiB(pid);
        std::vector<double> times;
        for (int i = 0; i < 10; ++i) {
            const std::optional<double> t = timeOne(desk, hotKey, inside);
            if (!t) {
                std::fprintf(stderr, "capture %d after the wait\n", i + 1);
                state.SkipWithError("a capture did not open or close");
                return;
            }
            times.push_back(*t);
        }
        const double after = settledRss(pid);
        state.counters["bare_tray_RSS_MiB"] = bareRss;
        state.counters["bare_tray_PSS_MiB"] = barePss;
        state.counters["warm_RSS_MiB"] = warmRss;
        state.counters["warm_PSS_MiB"] = warmPss;
        state.counters["idle_RSS_MiB"] = idleRss;
        state.counters["idle_PSS_MiB"] = idlePss;
        state.counters["first_after_idle_ms"] = times.front();
        state.counters["tenth_in_row_ms"] = times.back();
        state.counters["after_10_RSS_MiB"] = after;
        state.counters["goal_RSS_MiB"] = 1.3 * bareRss + 4;
        state.counters["shmem_huge"] = quillet::sharedMemoryCanBeHuge() ? 1 : 0;
        state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
    }
}
BENCHMARK(IdleMemory)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
