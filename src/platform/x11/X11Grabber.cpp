#include "platform/x11/X11Grabber.h"

#include "platform/Geometry.h"
#include "platform/x11/GrabSession.h"
#include "platform/x11/GrabWorker.h"
#include "platform/x11/X11ScrollSource.h"
#include "platform/x11/X11Vacate.h"
#include "platform/x11/X11WindowList.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

namespace quillet {

X11Grabber::X11Grabber(Method m, QByteArray d)
    : method(m)
    , display(std::move(d))
{ }

X11Grabber::~X11Grabber() = default;

QList<X11Grabber::Target> X11Grabber::targetsFor(const QList<Screen>& screens)
{
    QList<Target> out;
    const QRectF primary = primaryQtGeometry();
    for (const Screen& s : screens) {
        Target t;
        t.imageSize = QSize(s.pixelWidth(), s.pixelHeight());
        // Qt keeps a screen's native top-left corner as its origin and scales only the size, so
        // the root-window rectangle starts where Qt says and spans the device-pixel size.
        const QPointF origin = s.qscreen ? QPointF(s.qscreen->geometry().topLeft())
                                         : qtFromGlobal(s.frame, primary).topLeft();
        t.nativeRect = QRect(origin.toPoint(), t.imageSize);
        out.append(t);
    }
    return out;
}

GrabResult X11Grabber::grabBlocking(
    const QByteArray& display, const QList<Target>& targets, Method method)
{
    GrabSession session(display);
    return session.grab(targets, method);
}

GrabWorker& X11Grabber::worker()
{
    if (!grabWorker)
        grabWorker = std::make_unique<GrabWorker>(display);
    return *grabWorker;
}

void X11Grabber::grabAll(const QList<Screen>& screens, const QList<quint32>& excluding, Done done)
{
    const QList<Target> targets = targetsFor(screens);
    if (excluding.isEmpty()) {
        grabTargets(targets, std::move(done));
        return;
    }
    // A root-window grab reads what the server shows, whatever window it belongs to; X11 has no
    // way to leave a window out. The windows named leave the screen first, and the grab waits
    // until the screen shows what was beneath them.
    QPointer<X11Grabber> self(this);
    vacateWindows(excluding, [self, targets, done = std::move(done)]() mutable {
        if (self)
            self->grabTargets(targets, std::move(done));
    });
}

void X11Grabber::grabTargets(const QList<Target>& targets, Done done)
{
    const Method m = method;
    worker().post([targets, m, done = std::move(done)](GrabSession& session) mutable {
        GrabResult result = session.grab(targets, m);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return; // the program is ending; nobody is waiting any more
        QMetaObject::invokeMethod(
            app,
            [done = std::move(done), result = std::move(result)]() mutable {
                done(std::move(result));
            },
            Qt::QueuedConnection);
    });
}

void X11Grabber::prepare(const QList<Screen>& screens)
{
    prepareTargets(targetsFor(screens));
}

void X11Grabber::prepareTargets(const QList<Target>& targets)
{
    const Method m = method;
    worker().post([targets, m](GrabSession& session) { session.prepare(targets, m); });
}

X11Grabber::PoolStats X11Grabber::poolStats() const
{
    if (!grabWorker)
        return {};
    const ShmPool::Stats s = grabWorker->stats();
    return PoolStats {s.segments, s.leased, s.bytes};
}

bool X11Grabber::canRecordScreen() const
{
    return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qgetenv("XDG_SESSION_TYPE") != QByteArrayLiteral("wayland");
}

QString X11Grabber::unavailableReason() const
{
    if (canRecordScreen())
        return {};
    return QStringLiteral(
        "当前是 Wayland 会话，墨钉暂时只能在 X11 会话中截图。请在登录时选择 X11（Xorg）会话。");
}

std::unique_ptr<ScrollSource> X11Grabber::scrollSource(const Screen& screen, const QRect& pixels)
{
    const QList<Target> t = targetsFor({screen});
    if (t.isEmpty() || !canRecordScreen())
        return nullptr;
    const QRect inImage = pixels & QRect(QPoint(0, 0), t.first().imageSize);
    if (inImage.isEmpty())
        return nullptr;
    return std::make_unique<X11ScrollSource>(
        display, inImage.translated(t.first().nativeRect.topLeft()));
}

QList<WindowRecord> X11Grabber::windowList()
{
    return readX11WindowList();
}

} // namespace quillet
