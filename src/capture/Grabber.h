#pragma once

#include "capture/ScreenShot.h"
#include "platform/ScreenGrabber.h"

#include <QList>
#include <QRectF>
#include <QString>
#include <functional>
#include <optional>
#include <variant>

namespace quillet::Grabber {

// Either every matched screen, in screen order, or the reason the grab failed.
using GrabOutcome = std::variant<QList<ScreenShot>, QString>;

// Freezes every screen. The work runs off the main thread; `done` runs on the main thread.
void grabAll(const QList<quint32>& excluding, std::function<void(GrabOutcome)> done);

// Windows offered as click targets, front-most first, in global coordinates.
QList<QRectF> windowRects();

// The filters behind windowRects(), on records already read from the window system.
// `primaryHeight` is the primary screen's height in points.
QList<QRectF> filterWindowRects(const QList<WindowRecord>& records, const QRectF& primaryQt);

// Paints `base` (an earlier image, its own devicePixelRatio) over `image` at `at` (screen-local
// points, y up) scaled by `scale`. Nothing when it cannot be done.
std::optional<QImage> compose(
    const QImage& image, const QImage& base, const QRectF& at, qreal scale);

} // namespace quillet::Grabber
