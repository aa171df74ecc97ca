#include "platform/wayland/ScreencopyGrabber.h"

#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/WaylandGrabChoice.h"
#include "platform/wayland/WaylandScrollSource.h"

#include <QGuiApplication>

#include <QCoreApplication>
#include <QScreen>

namespace quillet {

ScreencopyGrabber::ScreencopyGrabber(std::unique_ptr<ScreencopySession> session)
    : m_session(std::move(session))
{
    // One thread, kept for the program's life: grabs run in order on the one connection.
    m_thread.setMaxThreadCount(1);
    m_thread.setExpiryTimeout(-1);
}

ScreencopyGrabber::~ScreencopyGrabber()
{
    m_thread.waitForDone();
}

QList<ScreencopySession::Target> ScreencopyGrabber::targetsFor(const QList<Screen>& screens)
{
    QList<ScreencopySession::Target> out;
    for (const Screen& s : screens) {
        ScreencopySession::Target t;
        t.name = s.qscreen ? s.qscreen->name() : s.name;
        // Qt's geometry of a Wayland screen is its place in the compositor's layout.
        if (s.qscreen)
            t.logicalTopLeft = s.qscreen->geometry().topLeft();
        t.imageSize = QSize(s.pixelWidth(), s.pixelHeight());
        out.append(t);
    }
    return out;
}

void ScreencopyGrabber::grabAll(const QList<Screen>& screens, const QList<quint32>&, Done done)
{
    // Nothing to leave out: the only windows of ours that could be named are the prelude's, and
    // Wayland has no prelude grab.
    ScreencopySession* session = m_session.get();
    const QList<ScreencopySession::Target> targets = targetsFor(screens);
    m_thread.start([session, targets, done = std::move(done)]() mutable {
        GrabResult result = session->grab(targets);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(
            app,
            [done = std::move(done), result = std::move(result)]() mutable {
                done(std::move(result));
            },
            Qt::QueuedConnection);
    });
}

std::unique_ptr<ScrollSource> ScreencopyGrabber::scrollSource(
    const Screen& screen, const QRect& pixels)
{
    const QList<ScreencopySession::Target> t = targetsFor({screen});
    const QRect inImage = pixels & QRect(QPoint(0, 0), t.first().imageSize);
    if (inImage.isEmpty() || !screen.qscreen)
        return nullptr;
    QRect layout;
    for (const QScreen* s : QGuiApplication::screens())
        layout |= s->geometry();
    const QRectF inLayout(
        QPointF(screen.qscreen->geometry().topLeft()) + QPointF(inImage.topLeft()) / screen.scale,
        QSizeF(inImage.size()) / screen.scale);
    return std::make_unique<WaylandScrollSource>(
        t.first(), inImage, inLayout.toAlignedRect(), layout);
}

QList<WindowRecord> ScreencopyGrabber::windowList()
{
    return SwayIpc::windows();
}

QString ScreencopyGrabber::routeDescription() const
{
    return waylandRouteDescription(WaylandGrabRoute::screenCopy);
}

} // namespace quillet
