#include "output/PinGeometry.h"

#include "platform/Geometry.h"

#include <algorithm>
#include <cmath>

namespace quillet::PinGeometry {

QSizeF maxWindowSize(const QList<Screen>& screens)
{
    qreal widest = 0, tallest = 0, scale = 1.0;
    for (const Screen& s : screens) {
        widest = std::max(widest, s.frame.width());
        tallest = std::max(tallest, s.frame.height());
        scale = std::max(scale, s.scale);
    }
    // The device limit is in pixels; the densest screen is the one a pin may end up on.
    const qreal deviceLimit = maxDevicePixels / scale;
    const qreal w = widest > 0 ? std::min(deviceLimit, maxScreensPerSide * widest) : deviceLimit;
    const qreal h = tallest > 0 ? std::min(deviceLimit, maxScreensPerSide * tallest) : deviceLimit;
    return QSizeF(w, h);
}

namespace {

// The factor (at most 1) that brings a size within the cap.
qreal capFactor(QSizeF size, QSizeF cap)
{
    qreal f = 1.0;
    if (size.width() > cap.width())
        f = std::min(f, cap.width() / size.width());
    if (size.height() > cap.height())
        f = std::min(f, cap.height() / size.height());
    return f;
}

} // namespace

QRectF initialFrame(QSizeF imageSize, const std::optional<QRectF>& at, const QList<Screen>& screens,
    QPointF pointer)
{
    const QSizeF cap = maxWindowSize(screens);
    if (at) {
        // A capture lands exactly where it was taken; only an absurd rectangle is shrunk, about
        // its centre.
        const qreal f = capFactor(at->size(), cap);
        if (f >= 1.0)
            return *at;
        const QSizeF s = at->size() * f;
        return QRectF(midX(*at) - s.width() / 2, midY(*at) - s.height() / 2, s.width(), s.height());
    }
    qreal w = imageSize.width(), h = imageSize.height();
    const Screen* home = nullptr;
    for (const Screen& screen : screens) {
        if (!containsPoint(screen.frame, pointer))
            continue;
        home = &screen;
        const qreal vw = 0.9 * screen.visibleFrame.width();
        const qreal vh = 0.9 * screen.visibleFrame.height();
        if (vw < w || vh < h) {
            const qreal s = std::min(vw / w, vh / h);
            w *= s;
            h *= s;
        }
        break;
    }
    const qreal f = capFactor(QSizeF(w, h), cap);
    w *= f;
    h *= f;
    QRectF frame(pointer.x() - w / 2, pointer.y() - h / 2, w, h);
    // Centred on a pointer near an edge, a tall or wide pin would open partly off its screen,
    // where neither the user nor the window manager expects a new window: it slides in, whole.
    if (home) {
        const QRectF& area = home->visibleFrame;
        frame.moveLeft(std::clamp(minX(frame), minX(area), std::max(minX(area), maxX(area) - w)));
        frame.moveTop(std::clamp(minY(frame), minY(area), std::max(minY(area), maxY(area) - h)));
    }
    return frame;
}

qreal clampZoom(qreal z, QSizeF imageSize, const QList<Screen>& screens)
{
    if (std::isnan(z))
        z = 1.0;
    z = std::clamp(z, minZoom, maxZoom);
    if (imageSize.width() <= 0 || imageSize.height() <= 0)
        return z;
    const QSizeF cap = maxWindowSize(screens);
    const qreal largest
        = std::min(cap.width() / imageSize.width(), cap.height() / imageSize.height());
    return std::min(z, largest);
}

QRectF anchoredFrame(const QRectF& frame, QSizeF newSize, QPointF pointer)
{
    const qreal fx = frame.width() > 0 ? (pointer.x() - minX(frame)) / frame.width() : 0.5;
    const qreal fy = frame.height() > 0 ? (pointer.y() - minY(frame)) / frame.height() : 0.5;
    return QRectF(pointer.x() - newSize.width() * fx, pointer.y() - newSize.height() * fy,
        newSize.width(), newSize.height());
}

qreal zoomAfterWheel(qreal zoom, qreal dy, bool precise)
{
    qreal d = 0;
    if (precise)
        d = std::clamp(dy * 0.002, -0.04, 0.04);
    else if (dy > 0)
        d = 0.04;
    else if (dy < 0)
        d = -0.04;
    return zoom * std::exp(d);
}

qreal opacityAfterWheel(qreal opacity, qreal dy, bool precise)
{
    const qreal step = precise ? 0.01 : 0.1;
    return std::clamp(opacity + dy * step, minOpacity, maxOpacity);
}

QString percentText(qreal fraction)
{
    // std::round rounds halves away from zero, which is what the badge promises.
    return QString::number(static_cast<long long>(std::round(fraction * 100))) + QLatin1Char('%');
}

QString opacityText(qreal opacity)
{
    return QStringLiteral("透明度 ") + percentText(opacity);
}

} // namespace quillet::PinGeometry
