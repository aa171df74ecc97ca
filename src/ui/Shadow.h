#pragma once

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <functional>

namespace quillet {

// A soft drop shadow as the drawing code describes them: colour, blur radius, offset. QPainter
// has none, so the shape's silhouette is rendered, blurred and painted underneath.
struct Shadow {
    QColor color;
    qreal blur = 0;
    QPointF offset; // in the painter's current coordinates (y up when flipped)

    bool isNone() const { return !color.isValid() || color.alpha() == 0; }
};

// Paints the shadow of `silhouette` (filled with `draw`'s output alpha) beneath what `draw` paints.
// `draw` paints the shape itself with the given painter; `bounds` must contain everything it
// paints, in the painter's current coordinates.
void paintWithShadow(QPainter& p, const Shadow& shadow, const QRectF& bounds,
    const std::function<void(QPainter&)>& draw);

} // namespace quillet
