#pragma once

namespace quillet {

// Asks the X server whether a compositing manager owns _NET_WM_CM_S<screen>.
bool x11CompositorActive();

} // namespace quillet
