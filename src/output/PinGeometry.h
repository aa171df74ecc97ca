#pragma once

// The arithmetic of pin windows — where a new pin goes, how zooming and the wheel change it, what
// the badge says — kept free of widgets so it can be checked against made-up screens.

#include "platform/Screen.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <optional>

namespace quillet::PinGeometry {

inline constexpr qreal minZoom = 0.1;
inline constexpr qreal maxZoom = 8.0;
inline constexpr qreal minOpacity = 0.15;
inline constexpr qreal maxOpacity = 1.0;
// X servers refuse windows wider than 32767 pixels, and a window's backing store grows with its
// area; this keeps a zoomed pin from asking for gigabytes.
inline constexpr int maxDevicePixels = 16384;
// No side of a pin exceeds this many times the largest screen's corresponding side.
inline constexpr qreal maxScreensPerSide = 4.0;

// The largest window size a pin may have, in points, on these screens.
QSizeF maxWindowSize(const QList<Screen>& screens);

// The frame of a new pin in global points (y up). A given rectangle is used as it is; otherwise
// the image is centred on the pointer, shrunk to 90 % of the visible frame of the first screen
// containing the pointer when it is larger. Either way the frame is kept within maxWindowSize.
QRectF initialFrame(QSizeF imageSize, const std::optional<QRectF>& at, const QList<Screen>& screens,
    QPointF pointer);

// The zoom a request turns into: 0.1…8.0, and no more than the window cap allows.
qreal clampZoom(qreal z, QSizeF imageSize, const QList<Screen>& screens);

// The frame of the new size placed so the point under the pointer stays under it. The anchor is
// not clamped: a pointer outside the frame extrapolates.
QRectF anchoredFrame(const QRectF& frame, QSizeF newSize, QPointF pointer);

// Zoom after one wheel event: multiplicative, so equal steps up and down cancel.
qreal zoomAfterWheel(qreal zoom, qreal dy, bool precise);

// Opacity after one wheel event with Alt held, within 0.15…1.0.
qreal opacityAfterWheel(qreal opacity, qreal dy, bool precise);

// "250%": the fraction as a whole percentage, rounded half away from zero.
QString percentText(qreal fraction);

// "透明度 85%".
QString opacityText(qreal opacity);

} // namespace quillet::PinGeometry
