#pragma once

#include <QString>

namespace quillet {

// Installs what the program has for a Wayland connection (QT_QPA_PLATFORM=wayland). Wayland
// gives a client no global keys of its own: the hot keys are refused with the reason below,
// so that nothing claims keys that would never fire. Returns false on any other platform.
bool installWaylandPlatform();

// Why the hot keys cannot be registered on this desktop.
QString waylandHotKeyReason();

} // namespace quillet
