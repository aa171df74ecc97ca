#include "ui/SymbolInk.h"

#include <QPainterPathStroker>
#include <QTransform>

namespace quillet {

namespace {

// Path boolean operations flatten curves with a fixed tolerance, which is coarse on a 24-unit
// grid: a hole punched in a filled gear came out as an octagon. They run on a finer grid.
constexpr qreal fine = 16.0;

QPainterPath toFine(const QPainterPath& p)
{
    return QTransform::fromScale(fine, fine).map(p);
}

} // namespace

void SymbolInk::stroke(const QPainterPath& path, qreal scale)
{
    area = area.united(outline(path, scale));
}

void SymbolInk::fill(const QPainterPath& path)
{
    area = area.united(toFine(path).simplified());
}

void SymbolInk::cut(const QPainterPath& path)
{
    area = area.subtracted(toFine(path).simplified());
}

void SymbolInk::cutStroke(const QPainterPath& path, qreal scale)
{
    area = area.subtracted(outline(path, scale));
}

QPainterPath SymbolInk::result() const
{
    return QTransform::fromScale(1 / fine, 1 / fine).map(area);
}

QPainterPath SymbolInk::outline(const QPainterPath& path, qreal scale) const
{
    QPainterPathStroker s;
    s.setWidth(width * scale * fine);
    s.setCapStyle(Qt::RoundCap);
    s.setJoinStyle(Qt::RoundJoin);
    return s.createStroke(toFine(path)).simplified();
}

namespace glyph {

QPainterPath line(qreal x1, qreal y1, qreal x2, qreal y2)
{
    QPainterPath p;
    p.moveTo(x1, y1);
    p.lineTo(x2, y2);
    return p;
}

QPainterPath poly(std::initializer_list<QPointF> points, bool closed)
{
    QPainterPath p;
    for (const QPointF& pt : points) {
        if (p.elementCount() == 0)
            p.moveTo(pt);
        else
            p.lineTo(pt);
    }
    if (closed)
        p.closeSubpath();
    return p;
}

QPainterPath circle(qreal cx, qreal cy, qreal r)
{
    QPainterPath p;
    p.addEllipse(QPointF(cx, cy), r, r);
    return p;
}

QPainterPath roundRect(qreal x, qreal y, qreal w, qreal h, qreal r)
{
    QPainterPath p;
    p.addRoundedRect(QRectF(x, y, w, h), r, r);
    return p;
}

QPainterPath rotated(const QPainterPath& p, qreal degrees)
{
    QTransform t;
    t.translate(12, 12);
    t.rotate(degrees);
    t.translate(-12, -12);
    return t.map(p);
}

} // namespace glyph

} // namespace quillet
