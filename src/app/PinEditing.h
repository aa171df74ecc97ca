#pragma once

// Sending a pin back into an annotation session: the arithmetic that puts the pin's base image
// and annotations back on the frozen screen where the pin was.

#include "capture/ScreenShot.h"
#include "capture/annotation/Annotation.h"

#include <QList>
#include <QRectF>
#include <functional>

namespace quillet {

class AppDelegate;
class PinWindow;

namespace PinEditing {

// The pin's zoom: its frame width over its base's width in points; a base of one point or less
// counts as one point, so a degenerate image never divides by zero.
qreal zoomOf(qreal frameWidth, qreal baseWidth);

// The base's width in points (its device pixels over its pixel ratio).
qreal pointWidth(const QImage& image);

// The shot whose screen holds the centre of `frame` (global points), else the first; -1 when
// there are none.
int screenIndexFor(const QList<ScreenShot>& shots, const QRectF& frame);

// Annotations made relative to the base's bottom-left corner, moved onto `selection` (view
// points) and scaled by k. A text's width codes its font size as 2w + 12, so it is mapped to keep
// the font size scaling by k; every other width scales by k.
QList<Annotation> mapAnnotations(const QList<Annotation>& list, const QRectF& selection, qreal k);

// What onEdit runs: edit(pin:) on the controller while it exists, nothing afterwards.
std::function<void(PinWindow*)> callbackFor(AppDelegate* controller);

// How long the pin stays on screen under the fading overlay before it hides.
inline constexpr int hideAfterMs = 250;

} // namespace PinEditing
} // namespace quillet
