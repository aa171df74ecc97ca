#include "ocr/OcrImage.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace quillet::OcrImage {

namespace {

// Wider rows than this the engine refuses or slows down on badly.
constexpr int maxRowPixels = 16000;
// A band is never thinner than a few lines of large text.
constexpr int minBandRows = 96;
constexpr int margin = 24;

std::array<qint64, 256> histogram(const QImage& grey)
{
    std::array<qint64, 256> counts {};
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            ++counts[row[x]];
    }
    return counts;
}

} // namespace

bool looksLikeNoise(const QImage& grey)
{
    // Text on a screen, a gradient or a photograph: most neighbours differ by a few levels at
    // most. Uniform noise: 9 in 256 do. Every fourth row is plenty to tell.
    qint64 flat = 0, pairs = 0;
    for (int y = 0; y < grey.height(); y += 4) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 1; x < grey.width(); ++x)
            flat += std::abs(int(row[x]) - int(row[x - 1])) <= 4;
        pairs += grey.width() - 1;
    }
    return pairs > 1000 && flat * 100 < pairs * 15;
}

int groundLevel(const QImage& grey)
{
    const auto counts = histogram(grey);
    return int(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

QImage padded(const QImage& grey, int ground)
{
    QImage out(grey.width() + 2 * margin, grey.height() + 2 * margin, QImage::Format_Grayscale8);
    if (out.isNull())
        return {};
    out.fill(uint(ground));
    for (int y = 0; y < grey.height(); ++y)
        std::memcpy(out.scanLine(y + margin) + margin, grey.constScanLine(y), size_t(grey.width()));
    return out;
}

QImage toReadable(const QImage& image)
{
    QImage grey;
    if (image.hasAlphaChannel()) {
        // Transparent parts read as paper, not as black.
        QImage flat(image.size(), QImage::Format_RGB32);
        if (flat.isNull())
            return {};
        flat.fill(Qt::white);
        QImage source = image;
        source.setDevicePixelRatio(1.0);
        QPainter(&flat).drawImage(0, 0, source);
        grey = flat.convertToFormat(QImage::Format_Grayscale8);
    } else {
        grey = image.convertToFormat(QImage::Format_Grayscale8);
    }
    if (grey.isNull())
        return {};
    grey.setDevicePixelRatio(1.0);
    const auto counts = histogram(grey);
    qint64 sum = 0, n = 0;
    for (int v = 0; v < 256; ++v) {
        sum += counts[size_t(v)] * v;
        n += counts[size_t(v)];
    }
    // Mostly dark: light text on a dark theme. The engine's own inversion works line by line
    // and only where it doubts, so a whole dark screen reads far better inverted up front.
    if (n > 0 && sum / n < 110)
        grey.invertPixels();
    return grey;
}

qreal enlargement(int width, qreal pixelsPerPoint, qreal target)
{
    if (!(pixelsPerPoint > 0) || !std::isfinite(pixelsPerPoint))
        pixelsPerPoint = 1.0;
    qreal f = std::max(1.0, target / pixelsPerPoint);
    if (width > 0)
        f = std::min(f, std::max(1.0, qreal(maxRowPixels) / width));
    return f;
}

QList<int> bandStarts(const QImage& grey, qreal factor)
{
    const int w = grey.width(), h = grey.height();
    const qreal f = std::max(factor, 1.0);
    const int perBand
        = std::max<int>(minBandRows, int(qreal(stripPixels) / (std::max(w, 1) * f * f)));
    if (h <= perBand)
        return {0, h};

    const int ground = groundLevel(grey);
    QList<int> ink(h);
    for (int y = 0; y < h; ++y) {
        const uchar* row = grey.constScanLine(y);
        int marked = 0;
        for (int x = 0; x < w; ++x)
            marked += std::abs(int(row[x]) - ground) > 48;
        ink[y] = marked;
    }

    QList<int> starts {0};
    int start = 0;
    while (h - start > perBand) {
        const int from = start + perBand * 3 / 5, to = start + perBand;
        int best = to;
        for (int y = to; y >= from; --y) {
            if (ink[y] < ink[best])
                best = y;
        }
        starts.append(best);
        start = best;
    }
    starts.append(h);
    return starts;
}

} // namespace quillet::OcrImage
