// The mosaic's source: the whole frozen screen in blocks of one size. A mosaic annotation
// reveals this copy inside its rectangle, so blocks never shift when the rectangle is dragged out
// and the same region always hides the same way, on screen and in the export.
#include "capture/annotation/AnnotationDrawing.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace quillet {

namespace {

// Sums of one block row, one accumulator per block column and channel.
struct RowSums {
    std::vector<quint64> r, g, b, a;
    std::vector<quint32> count;

    explicit RowSums(int columns)
        : r(columns)
        , g(columns)
        , b(columns)
        , a(columns)
        , count(columns)
    { }

    void clear()
    {
        std::fill(r.begin(), r.end(), 0);
        std::fill(g.begin(), g.end(), 0);
        std::fill(b.begin(), b.end(), 0);
        std::fill(a.begin(), a.end(), 0);
        std::fill(count.begin(), count.end(), 0);
    }
};

} // namespace

QImage makePixelated(const QImage& image, qreal scale, qreal blockPoints)
{
    if (image.isNull() || !(scale > 0) || !std::isfinite(scale) || !(blockPoints > 0)
        || !std::isfinite(blockPoints))
        return {};
    // Premultiplied averages keep transparent pixels from bleeding their colour into a block.
    const QImage src = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (src.isNull())
        return {};
    const int w = src.width(), h = src.height();
    const int block = std::max(1, int(std::lround(blockPoints * scale)));
    const int columns = (w + block - 1) / block;

    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return {};
    out.setDevicePixelRatio(image.devicePixelRatio());

    RowSums sums(columns);
    std::vector<QRgb> colours(columns);
    // The grid starts at the bottom row and climbs, so a partial block row is left at the top
    // and a partial block column at the right: the bottom-left corner is the grid's origin.
    for (int bottom = h; bottom > 0; bottom -= block) {
        const int top = std::max(0, bottom - block);
        sums.clear();
        for (int y = top; y < bottom; ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(src.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                const int c = x / block;
                const QRgb px = row[x];
                sums.r[c] += qRed(px);
                sums.g[c] += qGreen(px);
                sums.b[c] += qBlue(px);
                sums.a[c] += qAlpha(px);
                ++sums.count[c];
            }
        }
        for (int c = 0; c < columns; ++c) {
            const quint64 n = std::max<quint32>(sums.count[c], 1);
            auto avg = [n](quint64 v) { return int((v + n / 2) / n); };
            colours[c] = qRgba(avg(sums.r[c]), avg(sums.g[c]), avg(sums.b[c]), avg(sums.a[c]));
        }
        for (int y = top; y < bottom; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int c = 0; c < columns; ++c) {
                const int x0 = c * block, x1 = std::min(w, x0 + block);
                std::fill(row + x0, row + x1, colours[c]);
            }
        }
    }
    return out;
}

} // namespace quillet
