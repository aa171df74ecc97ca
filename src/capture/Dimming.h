#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <optional>

namespace quillet::Dimming {

// The shade's alpha in the 0–255 steps the painter uses.
int alphaStep(double alpha);

// Writes `source`'s pixels in `from` into `target` at `to`, darkened by black of `alpha` (0–255)
// laid over them: pixel for pixel what a painter gives by copying and filling. One pass over
// the memory instead of two, which at 4K is the difference the user waits for. Both images are
// 32-bit (RGB32 or premultiplied ARGB32); the rectangles must lie inside them.
void darken(const QImage& source, const QRect& from, QImage& target, QPoint to, int alpha);

// The whole image darkened, in a new buffer of the same format and pixel ratio.
QImage darkened(const QImage& source, int alpha);

// The image a painter draws on, and where device pixel (0, 0) of the painter's current
// transformation lands in it, when the painter maps device pixels one to one onto an image of
// a format darken() writes; nothing otherwise (a printer, a scaled painter).
struct DirectTarget {
    QImage* image = nullptr;
    QPoint offset;
};
std::optional<DirectTarget> directTarget(QPainter& p);

} // namespace quillet::Dimming
