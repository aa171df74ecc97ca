#include "platform/x11/X11Platform.h"

#include <QGuiApplication>

namespace quillet {

bool installX11Platform()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

} // namespace quillet
