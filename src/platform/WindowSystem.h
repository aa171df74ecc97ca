#pragma once

#include <QRect>
#include <functional>
#include <optional>

class QWidget;

namespace quillet {

// Whether a compositing manager is running: window opacity and translucent corners show only
// then. Without a probe (no window system) the answer is true, since nothing is drawn anyway.
bool compositorActive();

void setCompositorProbe(std::function<bool()> probe);

// Whether a window goes where the program puts it (X11), or where the compositor decides
// (Wayland), so that a window meant to cover a screen must ask for full screen instead.
bool clientPlacesWindows();
void setClientPlacesWindows(bool places);

// Whether a whole window can be made translucent (X11's opacity property). Wayland has none: a
// window there draws its translucency itself, over a transparent background.
bool windowOpacitySupported();
void setWindowOpacitySupported(bool supported);

// Where only the compositor places windows, some take requests to (sway's IPC). Places a shown
// top-level window at a Qt geometry; false where nothing could be asked, and then the window goes
// where the compositor puts it. `placedGeometry` is where the compositor shows it now, if it says.
bool placeWindow(QWidget* window, const QRect& qtGeometry);
std::optional<QRect> placedGeometry(QWidget* window);
void setWindowPlacement(std::function<void(QWidget*, const QRect&)> place,
    std::function<std::optional<QRect>(QWidget*)> where);

} // namespace quillet
