// PNG encoding of screen-sized captures: Qt's own writer against the program's encoder.
// Run: build/bench/quillet_bench --benchmark_filter=Png
#include "output/PngEncoder.h"

#include "BenchApp.h"
#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>

namespace {

using quillet::PngEncoder::Filter;
using quillet::PngEncoder::Options;

// A busy desktop: gradient wallpaper, windows full of anti-aliased text in several sizes and
// colours, a code editor, toolbars with icons, and photo-like regions with smooth shapes and
// sensor noise. Deterministic, so every run measures the same pixels.
QImage busyScreen(int w, int h)
{
    quillet::bench::ensureApp(); // fonts need a GUI application
    const qreal s = w / 1920.0; // scale: 4K draws the same desktop at twice the pixels
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(42);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient wall(0, 0, w, h);
    wall.setColorAt(0, QColor(30, 60, 110));
    wall.setColorAt(0.5, QColor(120, 70, 140));
    wall.setColorAt(1, QColor(240, 150, 90));
    p.fillRect(img.rect(), wall);

    const char* words[] = {"截图", "annotation", "the", "快速", "保存", "window", "function",
        "return", "clipboard", "墨钉", "pixel", "selection", "设置", "render", "const", "auto",
        "image", "编辑", "toolbar", "if", "for", "QImage", "文本", "size"};
    auto textBlock = [&](QRectF area, qreal px, QColor ink, bool code) {
        QFont f(code ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("Noto Sans CJK SC"));
        f.setPixelSize(int(px * s));
        p.setFont(f);
        const qreal line = px * s * 1.45;
        for (qreal y = area.top() + line; y < area.bottom(); y += line) {
            QString text;
            const int indent = code ? int(rng.bounded(4)) * 4 : 0;
            text.fill(QLatin1Char(' '), indent);
            const int n = 4 + int(rng.bounded(10));
            for (int i = 0; i < n; ++i)
                text += QString::fromUtf8(words[rng.bounded(int(std::size(words)))])
                    + QLatin1Char(' ');
            if (code)
                p.setPen(QColor::fromHsv(int(rng.bounded(360)), 120, 220));
            else
                p.setPen(ink);
            p.drawText(QPointF(area.left(), y), text);
        }
    };
    auto window = [&](QRectF r, QColor bg, bool dark) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 60));
        p.drawRoundedRect(r.translated(0, 6 * s), 10 * s, 10 * s);
        p.setBrush(bg);
        p.drawRoundedRect(r, 10 * s, 10 * s);
        p.setBrush(dark ? QColor(50, 50, 55) : QColor(232, 232, 236));
        p.drawRect(QRectF(r.left(), r.top() + 8 * s, r.width(), 30 * s));
        for (int i = 0; i < 12; ++i) { // toolbar icons
            p.setBrush(QColor::fromHsv(i * 29 % 360, 160, 200));
            p.drawEllipse(QRectF(r.left() + (14 + i * 30) * s, r.top() + 14 * s, 18 * s, 18 * s));
        }
    };
    auto photo = [&](QRectF r) {
        const QRect ri = r.toRect();
        for (int y = ri.top(); y <= ri.bottom(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = ri.left(); x <= ri.right(); ++x) {
                const double u = (x - ri.left()) / (80.0 * s), v = (y - ri.top()) / (80.0 * s);
                const double base = 0.5 + 0.25 * std::sin(u * 1.3 + std::cos(v * 0.7))
                    + 0.2 * std::cos(v * 1.1 - u * 0.4);
                const int noise = int(rng.bounded(9)) - 4;
                auto ch = [&](double k) { return std::clamp(int(255 * base * k) + noise, 0, 255); };
                line[x] = qRgb(ch(1.0), ch(0.8 + 0.2 * std::sin(u)), ch(0.6));
            }
        }
    };

    p.end();
    photo(QRectF(1200 * s, 60 * s, 640 * s, 420 * s)); // a photo on the wallpaper
    p.begin(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    window(QRectF(40 * s, 40 * s, 1000 * s, 700 * s), QColor(30, 30, 34), true);
    textBlock(QRectF(60 * s, 90 * s, 960 * s, 640 * s), 13, Qt::white, true);
    window(QRectF(700 * s, 300 * s, 900 * s, 620 * s), Qt::white, false);
    textBlock(QRectF(720 * s, 350 * s, 560 * s, 560 * s), 14, QColor(30, 30, 30), false);
    p.end();
    photo(QRectF(1300 * s, 360 * s, 280 * s, 200 * s)); // an image inside a document
    photo(QRectF(1300 * s, 580 * s, 280 * s, 320 * s));
    p.begin(&img);
    p.setRenderHint(QPainter::Antialiasing);
    window(QRectF(100 * s, 780 * s, 700 * s, 260 * s), QColor(246, 246, 248), false);
    textBlock(QRectF(120 * s, 830 * s, 660 * s, 200 * s), 12, QColor(60, 60, 70), false);
    p.fillRect(QRectF(0, h - 48 * s, w, 48 * s), QColor(20, 20, 24, 230)); // task bar
    for (int i = 0; i < 16; ++i) {
        p.setBrush(QColor::fromHsv(i * 47 % 360, 180, 230));
        p.drawRoundedRect(QRectF((600 + i * 44) * s, h - 42 * s, 36 * s, 36 * s), 8 * s, 8 * s);
    }
    return img;
}

const QImage& screenOf(int w, int h)
{
    static std::map<int, QImage> cache;
    auto it = cache.find(w);
    if (it == cache.end())
        it = cache.emplace(w, busyScreen(w, h)).first;
    return it->second;
}

void report(benchmark::State& state, qint64 bytes, const QImage& img)
{
    state.counters["bytes"] = double(bytes);
    state.counters["MB/s"]
        = benchmark::Counter(double(img.sizeInBytes()) * double(state.iterations()),
            benchmark::Counter::kIsRate, benchmark::Counter::OneK::kIs1024);
}

void BM_PngQt(benchmark::State& state)
{
    const QImage& img = screenOf(int(state.range(0)), int(state.range(1)));
    qint64 bytes = 0;
    for (auto _ : state) {
        QByteArray out;
        QBuffer buf(&out);
        buf.open(QIODevice::WriteOnly);
        QImageWriter writer(&buf, "PNG");
        writer.write(img);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    report(state, bytes, img);
}

void BM_PngQuillet(benchmark::State& state)
{
    const QImage& img = screenOf(int(state.range(0)), int(state.range(1)));
    Options options;
    if (state.range(2) >= 0) {
        options.filter = Filter(state.range(2));
        options.level = int(state.range(3));
    }
    qint64 bytes = 0;
    for (auto _ : state) {
        auto out = quillet::PngEncoder::encode(img, options);
        bytes = out ? out->size() : 0;
        benchmark::DoNotOptimize(out);
    }
    report(state, bytes, img);
}

} // namespace

BENCHMARK(BM_PngQt)->Args({3840, 2160})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
// Defaults first (filter −1), then the sweep the defaults were chosen from.
BENCHMARK(BM_PngQuillet)
    ->Args({3840, 2160, -1, 0})
    ->Args({1920, 1080, -1, 0})
    ->ArgsProduct({{3840}, {2160},
        {int(Filter::None), int(Filter::Sub), int(Filter::Up), int(Filter::Adaptive)},
        {1, 2, 3, 4, 6}})
    ->Unit(benchmark::kMillisecond);
