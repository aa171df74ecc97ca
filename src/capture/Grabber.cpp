#include "capture/Grabber.h"

#include "capture/CaptureView.h"
#include "capture/OverlayWindow.h"
#include "capture/Trace.h"
#include "output/PinView.h"

#include "platform/Geometry.h"
#include "platform/WindowSystem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace quillet::Grabber {

namespace {
// Long enough for a compositor at 30 Hz or faster to have drawn a frame.
constexpr int compositorFrameMs = 50;

int& minimumGrabMs()
{
    static int ms = 0;
    return ms;
}

// The caller's callback, held back until the grab has taken at least minimumGrabMs().
std::function<void(GrabOutcome)> heldBack(std::function<void(GrabOutcome)> done)
{
    if (minimumGrabMs() <= 0)
        return done;
    QElapsedTimer clock;
    clock.start();
    return [clock, done = std::move(done)](GrabOutcome outcome) {
        const qint64 left = minimumGrabMs() - clock.elapsed();
        if (left <= 0) {
            done(std::move(outcome));
            return;
        }
        QTimer::singleShot(int(left), qApp,
            [done, outcome = std::move(outcome)]() mutable { done(std::move(outcome)); });
    };
}
} // namespace

void setMinimumGrabTimeForTesting(int ms)
{
    minimumGrabMs() = ms;
}

void grabAll(const QList<quint32>& excluding, std::function<void(GrabOutcome)> finished)
{
    trace::mark("command");
    std::function<void(GrabOutcome)> done = heldBack(std::move(finished));
    // The last capture's overlays may still be fading out; the root grab would freeze them.
    const bool dismissed = OverlayWindow::dismissLeaving();
    const QList<Screen> screens = currentScreens();
    auto start = [screens, excluding, done = std::move(done)] {
        screenGrabber().grabAll(screens, excluding, [screens, done](GrabResult r) {
            if (r.error) {
                done(*r.error);
                return;
            }
            QList<ScreenShot> shots;
            for (int i = 0; i < screens.size() && i < r.images.size(); ++i) {
                if (r.images[i].isNull())
                    continue;
                QImage img = r.images[i];
                img.setDevicePixelRatio(screens[i].scale);
                shots.append(ScreenShot {screens[i], img});
            }
            done(shots);
        });
    };
    // Under a compositor the screen shows the old overlay until the compositor has drawn its
    // next frame, however promptly the server took the window away: give it that frame. Only a
    // capture that follows the last one within its fade waits at all.
    if (dismissed && compositorActive())
        QTimer::singleShot(compositorFrameMs, qApp, start);
    else
        start();
}

QList<QRectF> filterWindowRects(const QList<WindowRecord>& records, const QRectF& primaryQt)
{
    QList<QRectF> out;
    for (const WindowRecord& w : records) {
        if (w.layer < 0 || w.layer > 999)
            continue;
        if (w.alpha && !(*w.alpha > 0.01))
            continue;
        if (!(w.qtBounds.width() > 30 && w.qtBounds.height() > 30))
            continue;
        out.append(globalFromQt(QRectF(w.qtBounds), primaryQt));
    }
    return out;
}

QList<QRectF> windowRects()
{
    return filterWindowRects(screenGrabber().windowList(), primaryQtGeometry());
}

std::optional<QImage> compose(
    const QImage& image, const QImage& base, const QRectF& at, qreal scale)
{
    if (image.isNull() || base.isNull())
        return std::nullopt;
    // A screen image has no alpha, and the X server leaves its padding byte at zero: relabelled
    // as premultiplied ARGB it would turn transparent, and a pin made from it black.
    QImage out = image.convertToFormat(
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (out.isNull())
        return std::nullopt;
    out.setDevicePixelRatio(1);
    // Drawn as the pin drew it, so the overlay takes over from the pin without a visible change:
    // magnified pixels stay hard, anything else is smoothed.
    const qreal baseDpr = base.devicePixelRatio() > 0 ? base.devicePixelRatio() : 1.0;
    const qreal baseWidth = std::max<qreal>(base.width() / baseDpr, 1);
    QPainter p(&out);
    p.setRenderHint(
        QPainter::SmoothPixmapTransform, at.width() / baseWidth <= PinView::sharpZoomAbove);
    QImage b = base;
    b.setDevicePixelRatio(1);
    p.drawImage(pixelRectFromView(at, out.height(), scale), b);
    p.end();
    out.setDevicePixelRatio(image.devicePixelRatio());
    return out;
}

} // namespace quillet::Grabber
