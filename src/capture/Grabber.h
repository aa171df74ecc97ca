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

// For test programs: every grab's result is handed back no sooner than `ms` after it was asked
// for, as from a screen that is slow to read (4K on a cold start, a busy machine). 0 (the
// default) hands it back at once.
void setMinimumGrabTimeForTesting(int ms);

// Windows offered as click targets, front-most first, in global coordinates.
QList<QRectF> windowRects();

// The filters behind windowRects(), on records already read from the window system.
// `primaryQt` is the primary screen's Qt geometry, the origin of window-server coordinates.
QList<QRectF> filterWindowRects(const QList<WindowRecord>& records, const QRectF& primaryQt);

// Paints `base` (an earlier image, its own devicePixelRatio) over `image` at `at` (screen-local
// points, y up) scaled by `scale`. Nothing when it cannot be done.
std::optional<QImage> compose(
    const QImage& image, const QImage& base, const QRectF& at, qreal scale);

} // namespace quillet::Grabber
