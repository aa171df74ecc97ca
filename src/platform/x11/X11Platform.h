#pragma once

namespace quillet {

// Installs the X11 backends (screen grabbing, global hot keys) when the program runs on xcb.
// Returns false on any other platform, where the null backends stay in place.
bool installX11Platform();

} // namespace quillet
