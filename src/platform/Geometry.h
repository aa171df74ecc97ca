#pragma once

// The program's logic works in three coordinate spaces:
//  - global: points, origin at the bottom-left corner of the primary screen, y upward;
//  - view-local (screen-local): points from a screen's bottom-left corner, y upward;
//  - image: device pixels, rows counted from the top.
// Qt is y-down. Every conversion between the two conventions lives in this header, so the
// formulas elsewhere can be written exactly as they are reasoned about.

#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <cmath>

namespace quillet {

// Rectangle membership as the selection logic needs it: minimum edges in, maximum edges out.
inline bool containsPoint(const QRectF& r, QPointF p)
{
    return r.width() > 0 && r.height() > 0 && p.x() >= r.left() && p.x() < r.left() + r.width()
        && p.y() >= r.top() && p.y() < r.top() + r.height();
}

// In y-up rectangles QRectF's "top()" is the minimum y; these read better in the logic.
inline qreal minX(const QRectF& r)
{
    return r.x();
}
inline qreal minY(const QRectF& r)
{
    return r.y();
}
inline qreal maxX(const QRectF& r)
{
    return r.x() + r.width();
}
inline qreal maxY(const QRectF& r)
{
    return r.y() + r.height();
}
inline qreal midX(const QRectF& r)
{
    return r.x() + r.width() / 2;
}
inline qreal midY(const QRectF& r)
{
    return r.y() + r.height() / 2;
}

// The smallest rectangle with whole-point edges that contains r.
inline QRectF integralRect(const QRectF& r)
{
    if (r.width() <= 0 || r.height() <= 0)
        return QRectF(std::round(r.x()), std::round(r.y()), 0, 0);
    const qreal x0 = std::floor(r.x()), y0 = std::floor(r.y());
    const qreal x1 = std::ceil(maxX(r)), y1 = std::ceil(maxY(r));
    return QRectF(x0, y0, x1 - x0, y1 - y0);
}

// Intersection that stays empty-but-positioned when the rectangles do not meet.
inline QRectF intersectRect(const QRectF& a, const QRectF& b)
{
    const qreal x0 = std::max(minX(a), minX(b)), y0 = std::max(minY(a), minY(b));
    const qreal x1 = std::min(maxX(a), maxX(b)), y1 = std::min(maxY(a), maxY(b));
    if (x1 <= x0 || y1 <= y0)
        return QRectF();
    return QRectF(x0, y0, x1 - x0, y1 - y0);
}

inline bool rectsIntersect(const QRectF& a, const QRectF& b)
{
    return !intersectRect(a, b).isNull();
}

// Global (y-up) <-> Qt virtual-desktop (y-down), given the primary screen's Qt geometry.
inline QPointF globalFromQt(QPointF q, const QRectF& primary)
{
    return QPointF(q.x() - primary.x(), primary.y() + primary.height() - q.y());
}
inline QPointF qtFromGlobal(QPointF g, const QRectF& primary)
{
    return QPointF(g.x() + primary.x(), primary.y() + primary.height() - g.y());
}
inline QRectF globalFromQt(const QRectF& q, const QRectF& primary)
{
    return QRectF(q.x() - primary.x(), primary.y() + primary.height() - (q.y() + q.height()),
        q.width(), q.height());
}
inline QRectF qtFromGlobal(const QRectF& g, const QRectF& primary)
{
    return QRectF(g.x() + primary.x(), primary.y() + primary.height() - (g.y() + g.height()),
        g.width(), g.height());
}

// View-local (y-up) <-> widget (y-down) for a view of the given height.
inline QPointF viewFromWidget(QPointF w, qreal viewHeight)
{
    return QPointF(w.x(), viewHeight - w.y());
}
inline QPointF widgetFromView(QPointF v, qreal viewHeight)
{
    return QPointF(v.x(), viewHeight - v.y());
}
inline QRectF widgetFromView(const QRectF& v, qreal viewHeight)
{
    return QRectF(v.x(), viewHeight - (v.y() + v.height()), v.width(), v.height());
}
inline QRectF viewFromWidget(const QRectF& w, qreal viewHeight)
{
    return widgetFromView(w, viewHeight); // the flip is its own inverse
}

// A view-local rectangle (points, y up) as device pixels of an image `imageHeight` pixels high
// at `scale` pixels per point (rows from the top).
inline QRectF pixelRectFromView(const QRectF& v, qreal imageHeight, qreal scale)
{
    return QRectF(v.x() * scale, imageHeight - (v.y() + v.height()) * scale, v.width() * scale,
        v.height() * scale);
}

// Makes a painter draw geometry in y-up view points on a y-down surface of the given height.
// Shapes and paths are then written exactly as in the logic; text and images must go through
// drawUpright(), which undoes the flip locally so they do not appear mirrored.
inline void flipPainter(QPainter& p, qreal viewHeight)
{
    p.translate(0, viewHeight);
    p.scale(1, -1);
}

// Runs draw() with the painter's y axis pointing down again, origin at the top-left corner of
// the y-up rectangle `r`, so draw() can place text or an image inside (0, 0, r.width, r.height).
template<typename F> void drawUpright(QPainter& p, const QRectF& r, F&& draw)
{
    p.save();
    p.translate(r.x(), r.y() + r.height());
    p.scale(1, -1);
    draw();
    p.restore();
}

} // namespace quillet
