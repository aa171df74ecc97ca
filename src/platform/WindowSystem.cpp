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

} // namespace

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
