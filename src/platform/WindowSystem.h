#pragma once

#include <functional>

namespace quillet {

// Whether a compositing manager is running: window opacity and translucent corners show only
// then. Without a probe (no window system) the answer is true, since nothing is drawn anyway.
bool compositorActive();

void setCompositorProbe(std::function<bool()> probe);

// Whether a window goes where the program puts it (X11), or where the compositor decides
// (Wayland), so that a window meant to cover a screen must ask for full screen instead.
bool clientPlacesWindows();
void setClientPlacesWindows(bool places);

} // namespace quillet
