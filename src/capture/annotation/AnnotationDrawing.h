#pragma once

#include "capture/annotation/Annotation.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QRectF>

namespace quillet {

// The margin around a text's line box that makes its text frame.
inline constexpr qreal textPadX = 8;
inline constexpr qreal textPadY = 5;

// The font of a text annotation: semibold, size 2 w + 12.
QFont textFont(const Annotation& a);
QFont textFontOfSize(qreal size);
// Line height of a font, rounded up.
qreal lineHeight(const QFont& font);
// Width of the words on one line, rounded up, at least 2.
qreal textWidth(const Annotation& a);
// The line box grown by the padding: the text frame of hit tests and chrome.
QRectF textFrame(const Annotation& a);

// The font size a text annotation's size code stands for.
inline qreal textFontSize(const Annotation& a)
{
    return 2 * a.width + 12;
}

// The arrow's filled outline: tail narrow, head as long as it is wide. Empty when the tail and tip
// are 2 points apart or closer.
QPolygonF arrowPolygon(const Annotation& a);
// Length of the arrow head (also its width).
qreal arrowHeadLength(const Annotation& a);

// A number stamp's disc radius, white ring width and numeral size.
struct StampGeometry {
    qreal radius = 0;
    qreal ring = 0;
    qreal numeralSize = 0;
};
StampGeometry stampGeometry(const Annotation& a);

// Everything drawAnnotation may touch, shadow included; used to skip what a repaint does not need.
QRectF annotationBounds(const Annotation& a);

// Whether drawAnnotation may keep the rendered annotation for the next repaint (RenderCache). A
// shape still being dragged changes every frame, so keeping it would only churn memory.
enum class ShadowCaching { cached, direct };

// Paints one annotation. The painter works in view points, y up (flipPainter); `pixelated` is the
// mosaic source for the whole view (may be null), `bounds` the view's bounds.
void drawAnnotation(QPainter& p, const Annotation& a, const QImage* pixelated, const QRectF& bounds,
    ShadowCaching caching = ShadowCaching::cached);

// Only the label of a filled-label text (while its words are in the text field).
void drawTextLabel(QPainter& p, const Annotation& a, bool withShadow);

// A pixellated copy of a frozen screen: blocks of `block` points at `scale`, aligned to the
// image's bottom-left corner. Null when it cannot be made.
QImage makePixelated(const QImage& image, qreal scale, qreal block = 10);

} // namespace quillet
