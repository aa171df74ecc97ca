#include "ui/Shadow.h"

#include <QImage>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <vector>

namespace quillet {

namespace {

// One box-blur pass along rows (stride 1) or columns (stride w) of an alpha plane.
void boxPass(std::vector<float>& a, std::vector<float>& tmp, int w, int h, int radius, bool rows)
{
    const int lines = rows ? h : w;
    const int len = rows ? w : h;
    const int step = rows ? 1 : w;
    const float norm = 1.0f / float(2 * radius + 1);
    for (int l = 0; l < lines; ++l) {
        const int base = rows ? l * w : l;
        float sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += a[base + std::clamp(i, 0, len - 1) * step];
        for (int i = 0; i < len; ++i) {
            tmp[base + i * step] = sum * norm;
            const int out = std::clamp(i - radius, 0, len - 1);
            const int in = std::clamp(i + radius + 1, 0, len - 1);
            sum += a[base + in * step] - a[base + out * step];
        }
    }
    a.swap(tmp);
}

} // namespace

void paintWithShadow(QPainter& p, const Shadow& shadow, const QRectF& bounds,
    const std::function<void(QPainter&)>& draw)
{
    if (shadow.isNone() || bounds.isEmpty()) {
        draw(p);
        return;
    }
    const QTransform dt = p.deviceTransform();
    // A blur radius is a length in the painter's units; scale it as the transform scales lengths.
    const qreal unit = std::sqrt(std::abs(dt.determinant()));
    const qreal blurPx = shadow.blur * unit;
    const QPointF offPx = dt.map(shadow.offset) - dt.map(QPointF(0, 0));
    const int margin = int(std::ceil(blurPx * 1.5)) + 2;
    QRect area = dt.mapRect(bounds).toAlignedRect().adjusted(-margin, -margin, margin, margin);
    // Never more than the device itself (plus the margin): a huge stroke must not cost a huge blur.
    p.save();
    p.resetTransform();
    const QTransform toDevice = p.deviceTransform(); // only the device pixel ratio is left
    p.restore();
    const QRect dev = toDevice.mapRect(QRectF(p.window())).toAlignedRect();
    const int slack = margin + int(std::ceil(std::abs(offPx.x()) + std::abs(offPx.y())));
    area = area.intersected(dev.adjusted(-slack, -slack, slack, slack));
    if (area.isEmpty()) {
        draw(p);
        return;
    }

    QImage sil(area.size(), QImage::Format_ARGB32_Premultiplied);
    sil.fill(Qt::transparent);
    {
        QPainter sp(&sil);
        sp.setRenderHints(p.renderHints());
        sp.setTransform(dt * QTransform::fromTranslate(-area.x(), -area.y()));
        draw(sp);
    }

    const int w = sil.width(), h = sil.height();
    std::vector<float> a(size_t(w) * h), tmp(size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(sil.constScanLine(y));
        for (int x = 0; x < w; ++x)
            a[size_t(y) * w + x] = float(qAlpha(row[x]));
    }
    // Three box passes approximate a Gaussian whose spread matches the blur radius.
    const int r = std::max(0, int(std::lround(blurPx / 2.0)));
    if (r > 0) {
        for (int pass = 0; pass < 3; ++pass) {
            boxPass(a, tmp, w, h, r, true);
            boxPass(a, tmp, w, h, r, false);
        }
    }
    const QColor c = shadow.color.toRgb();
    const float cr = float(c.redF()), cg = float(c.greenF()), cb = float(c.blueF()),
                ca = float(c.alphaF());
    for (int y = 0; y < h; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(sil.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const float al = std::clamp(a[size_t(y) * w + x] * ca, 0.0f, 255.0f);
            row[x] = qRgba(
                int(cr * al + 0.5f), int(cg * al + 0.5f), int(cb * al + 0.5f), int(al + 0.5f));
        }
    }

    p.save();
    p.setWorldTransform(toDevice.inverted());
    p.drawImage(QPointF(area.x() + offPx.x(), area.y() + offPx.y()), sil);
    p.restore();
    draw(p);
}

} // namespace quillet
