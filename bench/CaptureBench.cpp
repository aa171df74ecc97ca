// Overlay costs at 4K: the repaint after one pointer move, a full repaint, the export.
#include "capture/CaptureSession.h"
#include "capture/CaptureView.h"
#include "capture/OverlayWindow.h"
#include "settings/Prefs.h"

#include "BenchApp.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <ctime>
#include <vector>

using namespace quillet;

namespace {

// A busy desktop: noise everywhere, so no blit can cheat on uniform pixels.
QImage busyImage(int w, int h, qreal dpr)
{
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(42);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<quint32*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = 0xff000000u | (rng.generate() & 0xffffff);
    }
    img.setDevicePixelRatio(dpr);
    return img;
}

struct Overlay {
    std::shared_ptr<CaptureSession> session;
    CaptureView* view = nullptr;
    QImage target;
};

// 3840 x 2160 device pixels at either scale, a few windows to hover over.
Overlay makeOverlay(qreal scale)
{
    bench::ensureApp();
    QCursor::setPos(-5000, -5000);
    const QSizeF points(3840 / scale, 2160 / scale);
    Screen s;
    s.name = QStringLiteral("bench");
    s.frame = QRectF(QPointF(0, 0), points);
    s.visibleFrame = s.frame;
    s.scale = scale;
    const QList<QRectF> windows = {QRectF(100, 100, 900 / scale * 2, 600 / scale * 2),
        QRectF(points.width() / 2, 200, 700, 500), QRectF(50, points.height() / 2, 1200, 400)};
    Overlay o;
    o.session = std::make_shared<CaptureSession>(
        QList<ScreenShot> {ScreenShot {s, busyImage(3840, 2160, scale)}}, windows, [] {});
    o.view = o.session->views().first();
    o.target = QImage(3840, 2160, QImage::Format_RGB32);
    o.target.setDevicePixelRatio(scale);
    QElapsedTimer wait;
    wait.start();
    o.view->startDimming();
    while (!o.view->dimmedReady() && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return o;
}

// The machine is shared: thread CPU time shows the cost of the work itself, wall time what a
// user would see on a loaded machine.
double cpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Samples {
    std::vector<double> wall, cpu;
    QElapsedTimer timer;
    double cpuStart = 0;

    void start()
    {
        timer.start();
        cpuStart = cpuMs();
    }
    void stop()
    {
        wall.push_back(timer.nsecsElapsed() / 1e6);
        cpu.push_back(cpuMs() - cpuStart);
    }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void report(benchmark::State& state, const Samples& s)
{
    state.counters["wall_median_ms"] = median(s.wall);
    state.counters["cpu_median_ms"] = median(s.cpu);
}

// One pointer move and the repaint of what it changed, rendered through QWidget::render as the
// backing store would be. Second argument: 0 moves inside one window (the frame stays, the
// magnifier follows), 1 moves back and forth between two windows (every frame also takes an
// easing step of the hover frame).
void BM_OverlayRepaintPerPointerMove(benchmark::State& state)
{
    const qreal scale = state.range(0);
    const bool crossing = state.range(1) != 0;
    Overlay o = makeOverlay(scale);
    const QSizeF pts = o.view->bounds().size();
    std::vector<QPointF> path;
    for (int i = 0; i < 400; ++i) {
        const qreal t = i / 400.0;
        if (crossing) // between the first and the second window
            path.emplace_back(i % 2 ? 300 : pts.width() / 2 + 300, 300 + 100 * t);
        else // circles inside the first window
            path.emplace_back(400 + 150 * std::cos(t * 12), 400 + 150 * std::sin(t * 12));
    }
    o.view->mouseMovedAt(path.front());
    o.view->render(&o.target);
    o.view->takeDamage();
    Samples samples;
    size_t i = 0;
    for (auto _ : state) {
        samples.start();
        o.view->mouseMovedAt(path[i++ % path.size()]);
        if (o.view->isEasing())
            o.view->animateHover();
        const QRegion damage = o.view->takeDamage();
        o.view->render(&o.target, QPoint(), damage, QWidget::RenderFlags());
        samples.stop();
    }
    report(state, samples);
    o.session->finish(false);
}
BENCHMARK(BM_OverlayRepaintPerPointerMove)
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(400);

void BM_OverlayFullRepaint(benchmark::State& state)
{
    const qreal scale = state.range(0);
    Overlay o = makeOverlay(scale);
    o.view->mouseMovedAt(QPointF(300, 300));
    Samples samples;
    for (auto _ : state) {
        samples.start();
        o.view->render(&o.target, QPoint(), QRegion(o.view->rect()), QWidget::RenderFlags());
        samples.stop();
    }
    report(state, samples);
    o.session->finish(false);
}
BENCHMARK(BM_OverlayFullRepaint)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_RenderWholeScreenSelection(benchmark::State& state)
{
    const qreal scale = state.range(0);
    Overlay o = makeOverlay(scale);
    o.view->beginEditing(o.view->bounds(), {});
    for (auto _ : state) {
        auto image = o.view->render(true);
        benchmark::DoNotOptimize(image);
    }
    o.session->finish(false);
}
BENCHMARK(BM_RenderWholeScreenSelection)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

// From the frozen images to a session ready to show (the dimmed copy is made beside it).
void BM_SessionCreate(benchmark::State& state)
{
    bench::ensureApp();
    Screen s;
    s.name = QStringLiteral("bench");
    s.frame = QRectF(0, 0, 3840, 2160);
    s.visibleFrame = s.frame;
    const QImage img = busyImage(3840, 2160, 1.0);
    for (auto _ : state) {
        auto session = std::make_shared<CaptureSession>(
            QList<ScreenShot> {ScreenShot {s, img}}, QList<QRectF> {}, [] {});
        benchmark::DoNotOptimize(session);
        state.PauseTiming();
        session.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SessionCreate)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
