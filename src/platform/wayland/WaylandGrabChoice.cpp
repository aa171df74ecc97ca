#include "platform/wayland/WaylandGrabChoice.h"

namespace quillet {

WaylandGrabChoice chooseWaylandGrab(const WaylandOffers& offers, QStringView only)
{
    const bool anyRoute = only != u"screencopy" && only != u"portal" && only != u"none";
    if (only == u"none")
        return {WaylandGrabRoute::none,
            QStringLiteral("截图已由环境变量 QUILLET_WAYLAND_GRAB=none 关闭。贴图仍可使用。")};
    if (offers.screenCopy && (anyRoute || only == u"screencopy"))
        return {WaylandGrabRoute::screenCopy, {}};
    if (offers.portal && (anyRoute || only == u"portal"))
        return {WaylandGrabRoute::portal, {}};
    const QString noCopy = offers.screenCopyMissing.isEmpty()
        ? QStringLiteral("这个合成器不提供屏幕复制协议")
        : offers.screenCopyMissing;
    if (only == u"screencopy")
        return {WaylandGrabRoute::none, noCopy + QStringLiteral("。贴图仍可使用。")};
    if (only == u"portal")
        return {WaylandGrabRoute::none,
            QStringLiteral("桌面没有提供截图门户（xdg-desktop-portal 的 Screenshot 接口）。"
                           "贴图仍可使用。")};
    return {WaylandGrabRoute::none,
        noCopy
            + QStringLiteral("，桌面也没有提供截图门户（xdg-desktop-portal 的 Screenshot 接口），"
                             "墨钉无法读取屏幕。贴图仍可使用。")};
}

QString waylandRouteDescription(WaylandGrabRoute route)
{
    switch (route) {
    case WaylandGrabRoute::screenCopy:
        return QStringLiteral("通过合成器的屏幕复制协议读取屏幕，不会弹出询问。");
    case WaylandGrabRoute::portal:
        return QStringLiteral("通过桌面的截图门户读取屏幕，桌面可能会先询问一次。");
    case WaylandGrabRoute::none:
        break;
    }
    return {};
}

} // namespace quillet
