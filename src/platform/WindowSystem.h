#pragma once

#include <functional>

namespace quillet {

// Whether a compositing manager is running: window opacity and translucent corners show only
// then. Without a probe (no window system) the answer is true, since nothing is drawn anyway.
bool compositorActive();

void setCompositorProbe(std::function<bool()> probe);

} // namespace quillet
