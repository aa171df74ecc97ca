#include "platform/WindowSystem.h"

namespace quillet {

namespace {

std::function<bool()>& probe()
{
    static std::function<bool()> p;
    return p;
}

bool& placesWindows()
{
    static bool places = true;
    return places;
}

bool& opacitySupported()
{
    static bool supported = true;
    return supported;
}

struct Placement {
    std::function<void(QWidget*, const QRect&)> place;
    std::function<std::optional<QRect>(QWidget*)> where;
};

Placement& placement()
{
    static Placement p;
    return p;
}

} // namespace

bool placeWindow(QWidget* window, const QRect& qtGeometry)
{
    if (!placement().place || !window)
        return false;
    placement().place(window, qtGeometry);
    return true;
}

std::optional<QRect> placedGeometry(QWidget* window)
{
    if (!placement().where || !window)
        return std::nullopt;
    return placement().where(window);
}

void setWindowPlacement(std::function<void(QWidget*, const QRect&)> place,
    std::function<std::optional<QRect>(QWidget*)> where)
{
    placement() = {std::move(place), std::move(where)};
}

bool windowOpacitySupported()
{
    return opacitySupported();
}

void setWindowOpacitySupported(bool supported)
{
    opacitySupported() = supported;
}

bool clientPlacesWindows()
{
    return placesWindows();
}

void setClientPlacesWindows(bool places)
{
    placesWindows() = places;
}

bool compositorActive()
{
    return probe() ? probe()() : true;
}

void setCompositorProbe(std::function<bool()> p)
{
    probe() = std::move(p);
}

} // namespace quillet
