#pragma once

#include "capture/annotation/Annotation.h"

#include <QPainter>
#include <QRectF>
#include <functional>

namespace quillet {

// Finished annotations, kept as rendered layers. The overlay repaints at pointer rate while the
// user works, and an annotation's soft shadow (a blur) and its outlined or wide translucent
// strokes cost far more to draw than to copy; a repaint that leaves an annotation alone then
// costs one image draw.
//
// A layer holds exactly the device pixels the annotation would have painted (shadow included),
// on a transparent background, so drawing it gives the same picture as drawing the annotation.
// Layers are keyed by the annotation's value and the painter's device transform, up to moves by
// whole device pixels (which reuse the layer elsewhere); a restyled, resized or exported
// annotation simply misses and is rendered again. Least recently used
// layers go once the cache passes its memory budget. Main thread only.
namespace RenderCache {

// Draws `draw`'s output through the cache. `bounds` (painter coordinates) must contain
// everything `draw` paints, shadows included.
void paint(QPainter& p, const Annotation& a, const QRectF& bounds,
    const std::function<void(QPainter&)>& draw);

// Drops every layer.
void clear();

// Bytes currently held.
qint64 bytes();

} // namespace RenderCache
} // namespace quillet
