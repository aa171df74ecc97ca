#include "platform/wayland/WaylandPlatform.h"

#include "platform/HotKeyBackend.h"

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
    return true;
}

} // namespace quillet
