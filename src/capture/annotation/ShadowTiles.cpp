#include "capture/annotation/ShadowTiles.h"

#include "capture/annotation/Annotation.h"
#include "platform/Geometry.h"

#include <QTransform>
#include <cmath>

namespace quillet {

Shadow annotationShadow(const QColor& c)
{
    return Shadow {
        QColor(0, 0, 0, isLight(c) ? qRound(0.45 * 255) : qRound(0.30 * 255)), 3, QPointF(0, -1)};
}

QRect paintableArea(QPainter& p)
{
    p.save();
    p.resetTransform();
    QRect dev = p.deviceTransform().mapRect(QRectF(p.window())).toAlignedRect();
    if (p.hasClipping())
        dev &= p.deviceTransform().mapRect(p.clipBoundingRect()).toAlignedRect();
    p.restore();
    return dev;
}

QRectF paintableLogicalArea(QPainter& p)
{
    const QTransform dt = p.deviceTransform();
    return dt.isInvertible() ? dt.inverted().mapRect(QRectF(paintableArea(p))) : QRectF();
}

void shadowed(QPainter& p, const Shadow& shadow, const QRectF& bounds, const QPainterPath& ink,
    const std::function<void(QPainter&)>& draw)
{
    constexpr qreal smallArea = 160000; // device pixels; below this one blur is cheaper
    constexpr int tile = 64;
    const QTransform dt = p.deviceTransform();
    if (dt.isRotating() || !dt.isInvertible()) {
        paintWithShadow(p, shadow, bounds, draw);
        return;
    }
    const QRect area
        = dt.mapRect(bounds).toAlignedRect().adjusted(-2, -2, 2, 2).intersected(paintableArea(p));
    if (area.isEmpty())
        return;
    const QTransform toLogical = dt.inverted();
    // Reach of the blur plus the offset, in logical units; a little generous.
    const qreal reach
        = shadow.blur * 1.5 + std::abs(shadow.offset.x()) + std::abs(shadow.offset.y()) + 2;
    if (qreal(area.width()) * area.height() <= smallArea) {
        // Ink farther than the reach from what can be painted cannot shadow it.
        const QRectF near = toLogical.mapRect(QRectF(area)).adjusted(-reach, -reach, reach, reach);
        paintWithShadow(p, shadow, intersectRect(bounds, near), draw);
        return;
    }
    const auto silhouetteOnly = [&](QPainter& q) {
        if (&q != &p)
            draw(q);
    };
    for (int y = area.top(); y <= area.bottom(); y += tile) {
        for (int x = area.left(); x <= area.right(); x += tile) {
            const QRect t = QRect(x, y, tile, tile).intersected(area);
            const QRectF logical = toLogical.mapRect(QRectF(t));
            if (!ink.intersects(logical.adjusted(-reach, -reach, reach, reach)))
                continue;
            p.save();
            p.setClipRect(logical, Qt::IntersectClip);
            paintWithShadow(p, shadow, logical, silhouetteOnly);
            p.restore();
        }
    }
    draw(p);
}

} // namespace quillet
