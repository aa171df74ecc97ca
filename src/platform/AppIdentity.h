#pragma once

namespace quillet {

// The one reverse-DNS name the desktop knows the program by: the desktop entry's file name, the
// icon name, the AppStream id, and what portals and the compositor match windows against.
inline constexpr char appId[] = "app.quillet.Quillet";

} // namespace quillet
