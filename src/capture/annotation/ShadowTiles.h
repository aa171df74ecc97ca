#pragma once

// The drop shadow of annotations, and the tiled way of making it for large shapes with thin ink.

#include "ui/Shadow.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QRect>
#include <QRectF>
#include <functional>

namespace quillet {

// The shadow every annotation but the highlighter and the mosaic carries: darker under light
// colours.
Shadow annotationShadow(const QColor& c);

// The device pixels a painter can still change: its device, narrowed by its clip.
QRect paintableArea(QPainter& p);

// The same, in the painter's current coordinates.
QRectF paintableLogicalArea(QPainter& p);

// paintWithShadow for shapes that may be large but whose ink is thin: the outline of a rectangle
// dragged across a 4K screen covers little of its bounds, yet one blur over the bounds would
// cost a tenth of a second per frame. Such shadows are made tile by tile, only where `ink` (the
// painted area, or anything containing it) comes within the shadow's reach, each tile clipped to
// itself; the picture is the same, since no pixel of a shadow depends on ink farther away than
// that reach. Only the part of the painter's device its clip leaves open is made.
void shadowed(QPainter& p, const Shadow& shadow, const QRectF& bounds, const QPainterPath& ink,
    const std::function<void(QPainter&)>& draw);

} // namespace quillet
