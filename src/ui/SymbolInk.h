#pragma once

#include <QPainterPath>
#include <QPointF>
#include <initializer_list>

namespace quillet {

// Symbols are designed on a 24 × 24 grid (y down) with a 2-unit stroke, about 1.5 points at the
// 18-point size menus use. Everything, strokes included, is turned into one filled area, so
// knocked-out parts (the check in a filled circle) are truly transparent whatever lies beneath.
constexpr qreal symbolGrid = 24.0;
constexpr qreal symbolStroke = 2.0;

// Builds a symbol's area from strokes, fills and cut-outs, in drawing order.
class SymbolInk {
public:
    explicit SymbolInk(qreal weight)
        : width(symbolStroke * weight)
    { }

    // The outline of `path` drawn with round caps and joins, `scale` times the regular width.
    void stroke(const QPainterPath& path, qreal scale = 1.0);
    void fill(const QPainterPath& path);
    // Removes an area, or the outline of a path, from what is drawn so far.
    void cut(const QPainterPath& path);
    void cutStroke(const QPainterPath& path, qreal scale = 1.0);

    qreal strokeWidth() const { return width; }
    QPainterPath result() const;

private:
    QPainterPath outline(const QPainterPath& path, qreal scale) const;
    qreal width;
    QPainterPath area; // on a finer grid than the design's, see the .cpp
};

// Shapes on the symbol grid.
namespace glyph {

QPainterPath line(qreal x1, qreal y1, qreal x2, qreal y2);
QPainterPath poly(std::initializer_list<QPointF> points, bool closed = false);
QPainterPath circle(qreal cx, qreal cy, qreal r);
QPainterPath roundRect(qreal x, qreal y, qreal w, qreal h, qreal r);
// Turns a shape drawn upright about the grid's centre, clockwise by `degrees`.
QPainterPath rotated(const QPainterPath& p, qreal degrees);

} // namespace glyph

} // namespace quillet
