#pragma once

#include "capture/annotation/Annotation.h"
#include "ui/Shadow.h"

#include <QPainter>
#include <QRectF>
#include <functional>

namespace quillet {

// Paints `draw` with a drop shadow under it, keeping the blurred shadow of each annotation so a
// repaint that leaves the annotation alone costs one image draw instead of a fresh blur. The
// overlay repaints at pointer rate while the user draws; fifty shadowed annotations blurred anew
// every frame would not keep up.
//
// Entries are keyed by the annotation's value, which pass of it casts the shadow and the full
// device transform, so a moved, restyled or exported annotation simply misses and is made again.
// Least recently used entries go once the cache passes its memory budget. Main thread only.
namespace ShadowCache {

// `bounds` (painter coordinates) must contain everything `draw` paints. With `cache` false the
// shadow is computed and painted but not kept (for shapes still being dragged out).
void paint(QPainter& p, const Annotation& a, int pass, const Shadow& shadow, const QRectF& bounds,
    const std::function<void(QPainter&)>& draw, bool cache = true);

// Drops every kept shadow (tests, and views that go away with many large annotations).
void clear();

// Bytes currently held.
qint64 bytes();

} // namespace ShadowCache
} // namespace quillet
