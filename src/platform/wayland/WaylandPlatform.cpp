#include "platform/wayland/WaylandPlatform.h"

#include "platform/HotKeyBackend.h"
#include "platform/ScreenGrabber.h"
#include "platform/WindowSystem.h"
#include "platform/wayland/PortalGrabber.h"
#include "platform/wayland/ScreencopyGrabber.h"
#include "platform/wayland/WaylandGrabChoice.h"

#include <QGuiApplication>

namespace quillet {

QString waylandHotKeyReason()
{
    return QStringLiteral("Wayland 桌面不让程序自己注册全局快捷键");
}

bool installWaylandPlatform()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return false;
    setHotKeyBackendFactory([] { return makeUnavailableHotKeyBackend(waylandHotKeyReason()); });
    // The compositor decides where windows go: overlays ask for full screen on their output.
    setClientPlacesWindows(false);

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
