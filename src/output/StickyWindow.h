#pragma once

class QWidget;

namespace quillet {

// Asks the window manager to show a top-level window on every workspace (EWMH sticky, desktop
// 0xFFFFFFFF), and to leave it out of task bars and pagers. Call before the window is first shown,
// with its native window created; the request is repeated once it is mapped for window managers
// that only listen then. Does nothing (and returns false) on platforms other than X11.
bool stickToAllWorkspaces(QWidget* window);

} // namespace quillet
