#include "capture/Dimming.h"

#include <QPaintEngine>

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillet::Dimming {

namespace {

bool writable(QImage::Format f)
{
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

// The painter's byte multiplication, x·a/255 rounded, on two channels at once.
inline quint32 byteMul(quint32 x, quint32 a)
{
    quint32 t = (x & 0xff00ff) * a;
    t = (t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8;
    t &= 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080);
    x &= 0xff00ff00;
    return x | t;
}

// Black of alpha `a` over one pixel: a + dst·(255 − a), channel by channel.
void darkenRow(const quint32* src, quint32* dst, int n, quint32 a)
{
    const quint32 inverse = 255 - a;
    const quint32 shade = a << 24;
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i mul = _mm_set1_epi16(short(inverse));
    const __m128i half = _mm_set1_epi16(0x80);
    const __m128i add = _mm_set1_epi32(int(shade));
    auto scale = [&](__m128i v) {
        __m128i t = _mm_mullo_epi16(v, mul);
        t = _mm_add_epi16(t, _mm_srli_epi16(t, 8));
        t = _mm_add_epi16(t, half);
        return _mm_srli_epi16(t, 8);
    };
    for (; i + 4 <= n; i += 4) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i lo = scale(_mm_unpacklo_epi8(px, zero));
        const __m128i hi = scale(_mm_unpackhi_epi8(px, zero));
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(dst + i), _mm_add_epi32(_mm_packus_epi16(lo, hi), add));
    }
#endif
    for (; i < n; ++i)
        dst[i] = shade + byteMul(src[i], inverse);
}

} // namespace

int alphaStep(double alpha)
{
    return QColor::fromRgbF(0, 0, 0, float(std::clamp(alpha, 0.0, 1.0))).alpha();
}

void darken(const QImage& source, const QRect& from, QImage& target, QPoint to, int alpha)
{
    if (!writable(source.format()) || !writable(target.format()))
        return;
    const QRect src = from.intersected(source.rect());
    const QRect dst = QRect(to, src.size()).intersected(target.rect());
    if (dst.isEmpty())
        return;
    const quint32 a = quint32(std::clamp(alpha, 0, 255));
    const int dx = src.x() - to.x(), dy = src.y() - to.y();
    for (int y = dst.top(); y <= dst.bottom(); ++y) {
        const auto* s
            = reinterpret_cast<const quint32*>(source.constScanLine(y + dy)) + dst.x() + dx;
        auto* d = reinterpret_cast<quint32*>(target.scanLine(y)) + dst.x();
        darkenRow(s, d, dst.width(), a);
    }
}

QImage darkened(const QImage& source, int alpha)
{
    QImage from = source;
    if (!writable(from.format()))
        from = from.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(from.size(), from.format());
    if (out.isNull())
        return out;
    out.setDevicePixelRatio(source.devicePixelRatio());
    darken(from, from.rect(), out, QPoint(0, 0), alpha);
    return out;
}

std::optional<DirectTarget> directTarget(QPainter& p)
{
    QPaintEngine* engine = p.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster)
        return std::nullopt;
    QPaintDevice* device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return std::nullopt;
    auto* image = static_cast<QImage*>(device);
    if (!writable(image->format()))
        return std::nullopt;
    const QTransform t = p.deviceTransform();
    if (t.type() > QTransform::TxTranslate)
        return std::nullopt;
    const QPoint offset(qRound(t.dx()), qRound(t.dy()));
    if (std::abs(t.dx() - offset.x()) > 1e-6 || std::abs(t.dy() - offset.y()) > 1e-6)
        return std::nullopt;
    return DirectTarget {image, offset};
}

} // namespace quillet::Dimming
