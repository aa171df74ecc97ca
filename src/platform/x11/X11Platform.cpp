#include "platform/x11/X11Platform.h"
#include "platform/x11/X11Grabber.h"

#include <QGuiApplication>

namespace quillet {

bool installX11Platform()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        setScreenGrabberFactory([] { return std::make_unique<X11Grabber>(); });
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

} // namespace quillet
