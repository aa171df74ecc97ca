// A long capture's cost per frame for a 1920 × 1000 region: reading it from the X server (run
// against an Xvfb at least that large; skipped without DISPLAY), and hashing, matching and
// appending it; and the memory the stitched image holds at its 30,000-row limit.
#include "capture/Stitcher.h"
#include "platform/x11/X11ScrollSource.h"

#include <QImage>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <malloc.h>
#include <memory>

namespace {

constexpr int regionWidth = 1920;
constexpr int regionHeight = 1000;
constexpr int step = 57; // one wheel notch of three lines, about

// A page of text-like lines with blank rows between, as a chat or a listing looks; row `y` of
// the page is made when asked for, so the page can be as long as the limit.
void pageRow(int y, QRgb* px)
{
    std::fill(px, px + regionWidth, qRgb(255, 255, 255));
    if (y % 19 >= 14)
        return;
    const unsigned line = unsigned(y / 19);
    for (int x = 20; x < regionWidth - 400; ++x) {
        const unsigned v = (line * 2654435761u) ^ unsigned((y % 19) * 40503 + (x / 4) * 97);
        if ((v >> 11) % 3 == 0)
            px[x] = qRgb(30, 30, 40);
    }
}

QImage frameAt(int at)
{
    QImage f(regionWidth, regionHeight, QImage::Format_RGB32);
    for (int y = 0; y < regionHeight; ++y)
        pageRow(at + y, reinterpret_cast<QRgb*>(f.scanLine(y)));
    return f;
}

// Bytes the allocator has handed out and not had back: freed memory the process keeps for
// later does not count, as it would in the resident size.
qint64 allocatedBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks + m.hblkhd);
}

// Hashing, matching and appending one frame that scrolled by one notch.
void LongCaptureStitchFrame(benchmark::State& state)
{
    std::vector<QImage> frames;
    for (int i = 0; i < 40; ++i)
        frames.push_back(frameAt(i * step));
    auto stitcher = std::make_unique<quillet::Stitcher>();
    stitcher->add(frames[0]);
    size_t next = 1;
    for (auto _ : state) {
        if (next == frames.size()) {
            state.PauseTiming();
            stitcher = std::make_unique<quillet::Stitcher>();
            stitcher->add(frames[0]);
            next = 1;
            state.ResumeTiming();
        }
        const quillet::Stitcher::Outcome out = stitcher->add(frames[next++]);
        if (out.rowsAdded != step) {
            state.SkipWithError("a frame was not stitched");
            return;
        }
    }
    state.SetLabel("1920x1000");
}
BENCHMARK(LongCaptureStitchFrame)->Unit(benchmark::kMillisecond);

// The stitched image at its limit, and the moment it is handed out.
void LongCaptureMemoryAtLimit(benchmark::State& state)
{
    for (auto _ : state) {
        const qint64 before = allocatedBytes();
        quillet::Stitcher s;
        int at = 0;
        while (!s.atLimit()) {
            s.add(frameAt(at));
            at += 400;
        }
        const qint64 held = allocatedBytes() - before;
        const QImage out = s.takeImage();
        const qint64 handedOut = allocatedBytes() - before;
        benchmark::DoNotOptimize(out.constBits());
        state.counters["rows"] = out.height();
        state.counters["held_MiB"] = double(held) / (1 << 20);
        state.counters["image_MiB"] = double(handedOut) / (1 << 20);
    }
}
BENCHMARK(LongCaptureMemoryAtLimit)->Unit(benchmark::kMillisecond)->Iterations(1);

// Reading the region through shared memory on the X server, as every poll does.
void LongCaptureGrabRegion(benchmark::State& state)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("DISPLAY is not set");
        return;
    }
    quillet::X11ScrollSource source({}, QRect(0, 0, regionWidth, regionHeight));
    const QImage first = source.grab();
    if (first.size() != QSize(regionWidth, regionHeight)) {
        state.SkipWithError("the screen is smaller than 1920x1000");
        return;
    }
    for (auto _ : state) {
        const QImage f = source.grab();
        benchmark::DoNotOptimize(f.constBits());
    }
    state.SetLabel("1920x1000");
}
BENCHMARK(LongCaptureGrabRegion)->Unit(benchmark::kMillisecond);

} // namespace
