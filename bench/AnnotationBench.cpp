// Cost of the overlay's annotation pass over a busy 4K capture: fifty annotations of every kind,
// repainted as the pointer moves (a small region) and as a whole; and a pen stroke of 100,000
// pointer moves drawn and exported.
#include "capture/annotation/AnnotationDrawing.h"
#include "capture/annotation/Annotator.h"
#include "capture/annotation/RenderCache.h"
#include "platform/Geometry.h"

#include "BenchApp.h"

#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>

using namespace quillet;

namespace {

class BenchHost final : public AnnotationHost {
public:
    BenchHost()
    {
        image = QImage(3840, 2160, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] = qRgb((x / 3) & 255, (y / 2) & 255, (x ^ y) & 255);
        }
        annotator = std::make_unique<Annotator>(*this);
        const std::array<Tool, 8> tools = allTools;
        for (int i = 0; i < 50; ++i) {
            const Tool t = tools[size_t(i) % tools.size()];
            const QPointF o(120 + (i % 10) * 360, 150 + (i / 10) * 400);
            Annotation a {t, palette()[size_t(i) % 7], double(2 + i % 6), {}, {}, 0};
            switch (t) {
            case Tool::pen:
            case Tool::highlighter:
                for (int k = 0; k < 60; ++k)
                    a.points.append(o + QPointF(k * 4, 40 * std::sin(k / 6.0)));
                break;
            case Tool::text:
                a.points = {o};
                a.width = 10 + i % 8;
                a.text = QStringLiteral("标注文字 Note %1").arg(i);
                a.style = i % 3;
                break;
            case Tool::number:
                a.points = {o};
                a.text = QString::number(i);
                break;
            default:
                a.points = {o, o + QPointF(300, 240)};
            }
            annotator->annotations.append(a);
        }
    }

    QWidget* hostWidget() override { return nullptr; }
    QRectF hostBounds() const override { return QRectF(0, 0, 3840, 2160); }
    QRectF hostSelection() const override { return QRectF(0, 0, 3840, 2160); }
    bool hostSelected() const override { return true; }
    qreal hostScale() const override { return 1; }
    const QImage& hostImage() const override { return image; }
    std::optional<QPointF> hostMouse() const override { return std::nullopt; }
    DragMode& hostDragMode() override { return mode; }
    QPointF hostDragStart() const override { return {}; }
    void hostRedraw() override { }
    void hostUpdateCursor(QPointF) override { }
    void hostTakeKeyboard() override { }
    void hostPinSelection() override { }
    void hostCopyAndFinish() override { }

    QImage image;
    DragMode mode;
    std::unique_ptr<Annotator> annotator;
};

BenchHost& host()
{
    bench::ensureApp();
    static BenchHost h;
    return h;
}

// One repaint of the pass into a 4K backing store, limited to `dirty` (view points, y up).
void repaint(QImage& target, const QRectF& dirty)
{
    QPainter p(&target);
    flipPainter(p, 2160);
    p.setClipRect(dirty);
    host().annotator->drawAnnotationPass(p, host().hostSelection());
}

void BM_RepaintAroundPointer(benchmark::State& state)
{
    QImage target(3840, 2160, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::gray);
    repaint(target, host().hostBounds()); // mosaic source and shadows made once
    int i = 0;
    for (auto _ : state) {
        // The pointer wanders over the busiest part of the capture.
        const QPointF m(400 + (i * 37) % 3000, 300 + (i * 53) % 1500);
        repaint(target, QRectF(m.x() - 150, m.y() - 150, 300, 300));
        ++i;
    }
}
BENCHMARK(BM_RepaintAroundPointer)->Unit(benchmark::kMillisecond);

void BM_RepaintWholeSelection(benchmark::State& state)
{
    QImage target(3840, 2160, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::gray);
    repaint(target, host().hostBounds());
    for (auto _ : state)
        repaint(target, host().hostBounds());
}
BENCHMARK(BM_RepaintWholeSelection)->Unit(benchmark::kMillisecond);

void BM_RepaintWholeSelectionCold(benchmark::State& state)
{
    QImage target(3840, 2160, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::gray);
    for (auto _ : state) {
        RenderCache::clear();
        repaint(target, host().hostBounds());
    }
}
BENCHMARK(BM_RepaintWholeSelectionCold)->Unit(benchmark::kMillisecond);

// A rectangle being dragged out on top of the fifty (600 x 400, then 2400 x 1600), whole view
// repainted each frame.
void BM_RepaintWhileDrawing(benchmark::State& state)
{
    const qreal w = qreal(state.range(0)), h = w * 2 / 3;
    QImage target(3840, 2160, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::gray);
    repaint(target, host().hostBounds());
    int i = 0;
    for (auto _ : state) {
        host().annotator->current = Annotation {Tool::rect, palette()[0], 4,
            {QPointF(400, 300), QPointF(400 + w + i % 7, 300 + h + i % 5)}, {}, 0};
        repaint(target, host().hostBounds());
        ++i;
    }
    host().annotator->current.reset();
}
BENCHMARK(BM_RepaintWhileDrawing)->Arg(600)->Arg(2400)->Unit(benchmark::kMillisecond);

// The selection dragged with all fifty on it: every annotation moves one point per frame.
void BM_RepaintWhileMovingSelection(benchmark::State& state)
{
    QImage target(3840, 2160, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::gray);
    repaint(target, host().hostBounds());
    int i = 0;
    for (auto _ : state) {
        const double step = (i++ / 20) % 2 ? -1 : 1;
        host().annotator->shiftAnnotations(step, step);
        repaint(target, host().hostBounds());
    }
}
BENCHMARK(BM_RepaintWhileMovingSelection)->Unit(benchmark::kMillisecond);

void BM_MakePixelated4K(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(makePixelated(host().image, 1));
}
BENCHMARK(BM_MakePixelated4K)->Unit(benchmark::kMillisecond);

// A pen held down for minutes: a stroke of 100,000 pointer moves wandering over the 4K capture,
// on top of the fifty. Pointer moves arrive through the same path as on the overlay, so the
// thinning of points happens as it does there.
QPointF strokePoint(int i)
{
    const double t = i / 100000.0 * 2 * M_PI;
    return QPointF(1920 + 1700 * std::sin(3 * t), 1080 + 950 * std::sin(4 * t + 0.5));
}

void beginStroke(int moves)
{
    Annotator& an = *host().annotator;
    host().mode = DragMode::make(DragMode::draw);
    an.current = Annotation {Tool::pen, palette()[3], 4, {strokePoint(0), strokePoint(0)}, {}, 0};
    for (int i = 1; i < moves; ++i)
        an.drag(strokePoint(i));
}

void endStroke()
{
    host().annotator->current.reset();
    host().mode = DragMode();
}

// One frame late in the stroke: one more pointer move, then the area around the new end
// repainted (the view repaints what changed), and the whole view as a worst case.
void BM_StrokeFrame(benchmark::State& state)
{
    const int moves = int(state.range(0));
    QImage target(3840, 2160, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::gray);
    repaint(target, host().hostBounds());
    beginStroke(moves);
    // The overlay has shown the stroke all along; its kept rendering is there to add to.
    repaint(target, QRectF(0, 0, 1, 1));
    const bool whole = state.range(1) != 0;
    int i = moves;
    for (auto _ : state) {
        const QPointF p = strokePoint(i++);
        host().annotator->drag(p);
        repaint(target, whole ? host().hostBounds() : QRectF(p.x() - 20, p.y() - 20, 40, 40));
    }
    state.counters["points"] = double(host().annotator->current->points.size());
    endStroke();
}
BENCHMARK(BM_StrokeFrame)
    ->Args({1000, 0})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond);

// The finished 100,000-move stroke exported with the fifty at 4K, as the copy path renders; the
// first repaint of the overlay after the pen is lifted costs the same.
void BM_StrokeExport(benchmark::State& state)
{
    beginStroke(100000);
    host().annotator->release();
    QImage out(3840, 2160, QImage::Format_RGB32);
    for (auto _ : state) {
        // Cold, as every export is: its device transform differs from the overlay's.
        RenderCache::clear();
        out.fill(Qt::gray);
        QPainter p(&out);
        p.setRenderHint(QPainter::Antialiasing);
        flipPainter(p, 2160);
        host().annotator->drawForExport(p);
    }
    state.counters["points"] = double(host().annotator->annotations.last().points.size());
    host().annotator->undo();
    endStroke();
}
BENCHMARK(BM_StrokeExport)->Unit(benchmark::kMillisecond);

} // namespace
