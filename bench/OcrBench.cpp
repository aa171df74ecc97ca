// Text recognition: character error rate and time on UI text (Chinese and mixed, 12–16 px at
// scale 1 and 2), a code listing, a 1920×1080 screen of mixed text and an 800×600 region, for
// each enlargement target (argument: pixels per point, 1 = none); and time and memory on a
// 4K screen, a 30000-row long screenshot and pure noise.
// Run: build/bench/quillet_bench --benchmark_filter=Ocr
// QUILLET_BENCH_SHOW=1 prints what was read where it differs from what was drawn.
#include "ocr/OcrEngine.h"

#include "BenchApp.h"

#include <QElapsedTimer>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRandomGenerator>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

using quillet::OcrEngine;
using quillet::OcrResult;

const QString cjkFont = QStringLiteral("Noto Sans CJK SC");
const QString monoFont = QStringLiteral("DejaVu Sans Mono");

const QStringList chineseLines = {QStringLiteral("文件已保存到桌面"),
    QStringLiteral("截图完成，已复制到剪贴板"), QStringLiteral("是否要删除选中的三个项目？"),
    QStringLiteral("网络连接已断开，请检查设置后重试"),
    QStringLiteral("正在下载更新，剩余时间约两分钟"), QStringLiteral("密码长度至少为八个字符")};
const QStringList mixedLines = {QStringLiteral("打开 Settings 设置页面"),
    QStringLiteral("错误：无法连接到 server.example.com"),
    QStringLiteral("已安装 Python 3.11 和 pip"), QStringLiteral("按 Ctrl+Shift+A 开始截图"),
    QStringLiteral("共 128 个文件，大小 4.2 GB"), QStringLiteral("使用 Git 提交更改 commit")};
const QStringList codeLines = {QStringLiteral("int main(int argc, char** argv)"),
    QStringLiteral("{"), QStringLiteral("    QApplication app(argc, argv);"),
    QStringLiteral("    const auto size = image.size();"),
    QStringLiteral("    if (size.width() > 1024)"), QStringLiteral("        return 1;"),
    QStringLiteral("    for (int i = 0; i < count; ++i)"),
    QStringLiteral("        total += values[i] * 2;"), QStringLiteral("    return app.exec();"),
    QStringLiteral("}")};

// Lines drawn at `px` points on a screen of `dpr`, dark on light unless `dark`.
QImage render(const QStringList& lines, const QString& family, int px, qreal dpr, QSize points = {},
    bool dark = false)
{
    quillet::bench::ensureApp();
    QFont font(family);
    font.setPixelSize(px);
    const QFontMetrics fm(font);
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, fm.horizontalAdvance(line));
    const int step = int(fm.lineSpacing() * 1.3);
    if (points.isEmpty())
        points = QSize(width + 40, int(lines.size()) * step + 30);
    QImage image(points * dpr, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(dark ? QColor(32, 33, 36) : QColor(250, 250, 250));
    QPainter p(&image);
    p.setFont(font);
    p.setPen(dark ? QColor(220, 220, 220) : QColor(30, 30, 30));
    for (qsizetype i = 0; i < lines.size(); ++i)
        p.drawText(20, 15 + int(i) * step + fm.ascent(), lines[i]);
    return image;
}

// Edit distance over characters, whitespace left out: the engine's line and word breaks are
// layout, not characters read wrong.
double errorRate(const QString& want, const QString& got)
{
    auto strip = [](const QString& s) {
        QList<uint> out;
        for (uint c : s.toUcs4()) {
            if (!QChar::isSpace(char32_t(c)))
                out.append(c);
        }
        return out;
    };
    const QList<uint> a = strip(want), b = strip(got);
    QList<int> prev(b.size() + 1), cur(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        prev[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        cur[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j)
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] != b[j - 1])});
        std::swap(prev, cur);
    }
    return a.isEmpty() ? 0.0 : double(prev[b.size()]) / double(a.size());
}

OcrEngine& engine()
{
    static OcrEngine e;
    return e;
}

// Recognises `image` once per iteration at the target scale of the argument; reports the
// error rate against `want` and the time of one recognition.
void measure(benchmark::State& state, const QImage& image, const QString& want)
{
    OcrEngine::setTargetScale(qreal(state.range(0)));
    engine().recognise(render({QStringLiteral("预热")}, cjkFont, 16, 1)); // models loaded
    double cer = 0;
    for (auto _ : state) {
        const OcrResult r = engine().recognise(image);
        cer = errorRate(want, r.text);
        benchmark::DoNotOptimize(r.text.size());
        if (cer > 0 && qEnvironmentVariableIsSet("QUILLET_BENCH_SHOW"))
            fprintf(stderr, "%s\n--- read as ---\n%s\n\n", qPrintable(want), qPrintable(r.text));
    }
    state.counters["cer_percent"] = cer * 100;
    OcrEngine::setTargetScale(0);
}

void BM_OcrUiText(benchmark::State& state)
{
    const bool mixed = state.range(1) != 0;
    const int px = int(state.range(2));
    const qreal dpr = qreal(state.range(3));
    const QStringList& lines = mixed ? mixedLines : chineseLines;
    measure(state, render(lines, cjkFont, px, dpr), lines.join(u'\n'));
}
// Target scale, mixed, pixel size, device pixel ratio.
BENCHMARK(BM_OcrUiText)
    ->ArgsProduct({{1, 2, 3, 4}, {0, 1}, {12, 14, 16}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_OcrCode(benchmark::State& state)
{
    measure(state, render(codeLines, monoFont, int(state.range(1)), 1), codeLines.join(u'\n'));
}
BENCHMARK(BM_OcrCode)
    ->ArgsProduct({{1, 2, 3, 4}, {12, 14}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A screen of mixed text in one column of blocks at different sizes, so the reading order is
// the drawing order; one block on a dark ground.
QStringList screenLines(int count)
{
    QStringList all;
    const QStringList pools[] = {chineseLines, mixedLines, codeLines};
    for (int i = 0; i < count; ++i)
        all << pools[i % 3][i % pools[i % 3].size()];
    return all;
}

void BM_OcrFullScreen(benchmark::State& state)
{
    quillet::bench::ensureApp();
    QImage screen(1920, 1080, QImage::Format_RGB32);
    screen.fill(QColor(250, 250, 250));
    QStringList want;
    QPainter p(&screen);
    int y = 20;
    const int sizes[] = {14, 16, 13, 20, 14, 12};
    for (int block = 0; y < 1000; ++block) {
        const int px = sizes[block % 6];
        const QStringList lines = screenLines(6).mid(block % 3, 4);
        const QImage part
            = render(lines, block % 3 == 2 ? monoFont : cjkFont, px, 1, QSize(1880, 0), block == 3);
        if (y + part.height() > 1080)
            break;
        p.drawImage(20, y, part);
        want << lines;
        y += part.height() + 10;
    }
    p.end();
    measure(state, screen, want.join(u'\n'));
}
BENCHMARK(BM_OcrFullScreen)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_OcrRegion800x600(benchmark::State& state)
{
    QStringList lines;
    for (int i = 0; i < 22; ++i)
        lines << (i % 2 ? mixedLines : chineseLines)[i % 6];
    const QImage region = render(lines, cjkFont, 14, 1, QSize(800, 600));
    measure(state, region, lines.join(u'\n'));
}
BENCHMARK(BM_OcrRegion800x600)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

long peakKib()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Images that must neither hang nor take the memory: time and the growth of the peak.
void BM_OcrHuge(benchmark::State& state)
{
    quillet::bench::ensureApp();
    QImage image;
    switch (state.range(0)) {
    case 0: { // a 4K screen of small text
        QStringList lines;
        for (int i = 0; i < 100; ++i)
            lines << mixedLines[i % 6] + QStringLiteral("，") + chineseLines[(i + 1) % 6];
        image = render(lines, cjkFont, 14, 2, QSize(1920, 1080));
        break;
    }
    case 1: { // a 30000-row long screenshot
        QStringList lines;
        for (int i = 0; i < 1400; ++i)
            lines << chineseLines[i % 6] + QStringLiteral(" ") + mixedLines[(i + 2) % 6];
        image = render(lines, cjkFont, 14, 1, QSize(1000, 30000));
        break;
    }
    case 2: { // pure noise
        image = QImage(1920, 1080, QImage::Format_RGB32);
        QRandomGenerator rng(7);
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] = rng.generate() | 0xFF000000u;
        }
        break;
    }
    }
    engine().recognise(render({QStringLiteral("预热")}, cjkFont, 16, 1));
    const long before = peakKib();
    qsizetype chars = 0;
    for (auto _ : state)
        chars = engine().recognise(image).text.size();
    state.counters["peak_growth_MiB"] = double(peakKib() - before) / 1024.0;
    state.counters["chars"] = double(chars);
}
BENCHMARK(BM_OcrHuge)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(1);

// Cold start: models loaded for the first request.
void BM_OcrFirstRequest(benchmark::State& state)
{
    const QImage image = render(chineseLines.mid(0, 2), cjkFont, 14, 1);
    for (auto _ : state) {
        OcrEngine fresh;
        benchmark::DoNotOptimize(fresh.recognise(image).text.size());
    }
}
BENCHMARK(BM_OcrFirstRequest)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
