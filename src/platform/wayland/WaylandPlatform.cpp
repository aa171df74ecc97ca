#include "platform/wayland/WaylandPlatform.h"

#include "platform/HotKeyBackend.h"
#include "platform/Screen.h"
#include "platform/ScreenGrabber.h"
#include "platform/WindowSystem.h"
#include "platform/wayland/PortalBus.h"
#include "platform/wayland/PortalGrabber.h"
#include "platform/wayland/PortalHotKeys.h"
#include "platform/wayland/ScreencopyGrabber.h"
#include "platform/wayland/StatusNotifierHost.h"
#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/WaylandGrabChoice.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QWindow>

namespace quillet {

namespace {

// Notes which window of ours has the pointer. Qt keeps the last position it was told, which
// says nothing once the pointer has left our windows: it may be on any output by now.
class PointerSeen final : public QObject {
public:
    bool known() const { return !m_holder.isNull(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWindowType())
            return false;
        switch (event->type()) {
        case QEvent::Enter:
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
            m_holder = static_cast<QWindow*>(watched);
            break;
        case QEvent::Leave:
        case QEvent::Hide:
            // A window that goes away under the pointer hears of no leaving.
            if (m_holder == watched)
                m_holder = nullptr;
            break;
        default:
            break;
        }
        return false;
    }

private:
    QPointer<QWindow> m_holder;
};

} // namespace

QString waylandHotKeyReason()
{
    return QStringLiteral("Wayland 桌面不让程序自己注册全局快捷键");
}

bool installWaylandPlatform()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return false;
    // Global keys only through the desktop's shortcuts portal; whether it has that interface is
    // found out on the first binding, without holding up the start.
    setHotKeyBackendFactory([]() -> std::unique_ptr<HotKeyBackend> {
        if (portal::offered(QDBusConnection::sessionBus()))
            return std::make_unique<PortalHotKeys>();
        return makeUnavailableHotKeyBackend(waylandHotKeyReason());
    });
    setTrayHost(std::make_unique<StatusNotifierHost>());
    // The compositor decides where windows go: overlays ask for full screen on their output.
    setClientPlacesWindows(false);
    setWindowOpacitySupported(false);
    auto* pointer = new PointerSeen;
    pointer->setParent(qApp);
    qApp->installEventFilter(pointer);
    setPointerSource([pointer]() -> std::optional<QPoint> {
        if (!pointer->known())
            return std::nullopt;
        return QCursor::pos();
    });
    // sway alone takes requests to place a client's windows: pins go exactly on their region.
    if (SwayIpc::available()) {
        SwayIpc::floatOwnWindows();
        setWindowPlacement(&SwayIpc::place, &SwayIpc::placed);
    }

    // Asked once at start, on a connection the grabber then keeps: a few milliseconds.
    auto session = std::make_shared<std::unique_ptr<ScreencopySession>>(
        std::make_unique<ScreencopySession>());
    WaylandOffers offers;
    offers.screenCopy = (*session)->available(&offers.screenCopyMissing);
    // The portal is asked only where screen copy is missing or not wanted: it may have to start.
    const QString only = qEnvironmentVariable("QUILLET_WAYLAND_GRAB");
    if ((!offers.screenCopy || only == QLatin1String("portal")) && only != QLatin1String("none"))
        offers.portal = PortalGrabber::available();
    const WaylandGrabChoice choice = chooseWaylandGrab(offers, only);
    setScreenGrabberFactory([choice, session]() -> std::unique_ptr<ScreenGrabber> {
        switch (choice.route) {
        case WaylandGrabRoute::screenCopy:
            return std::make_unique<ScreencopyGrabber>(std::move(*session));
        case WaylandGrabRoute::portal:
            session->reset();
            return std::make_unique<PortalGrabber>();
        case WaylandGrabRoute::none:
            session->reset();
            break;
        }
        return makeUnavailableScreenGrabber(choice.reason);
    });
    return true;
}

} // namespace quillet
