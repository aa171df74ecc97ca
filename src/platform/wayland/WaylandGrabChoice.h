#pragma once

#include <QString>
#include <QStringView>

namespace quillet {

// How a Wayland session lets the program read its screens.
enum class WaylandGrabRoute {
    screenCopy, // the compositor's screen-copy protocol: no dialog, every output on its own
    portal, // the desktop portal's Screenshot interface: the desktop may ask the user first
    none,
};

// What the session was found to offer, and why not where it offers nothing.
struct WaylandOffers {
    bool screenCopy = false;
    QString screenCopyMissing;
    bool portal = false;
};

struct WaylandGrabChoice {
    WaylandGrabRoute route = WaylandGrabRoute::none;
    QString reason; // for `none`: why, in a sentence for the permission card
};

// Screen copy where offered, else the portal. `only` (QUILLET_WAYLAND_GRAB: "screencopy",
// "portal" or "none") narrows the choice for tests and for users whose compositor's screen copy
// misbehaves; empty or unknown means any.
WaylandGrabChoice chooseWaylandGrab(const WaylandOffers& offers, QStringView only);

// What the permission card says about a route that works.
QString waylandRouteDescription(WaylandGrabRoute route);

} // namespace quillet
