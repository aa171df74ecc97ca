#pragma once

#include <QList>
#include <functional>

namespace quillet {

// A root-window grab reads whatever the server shows, so X11 cannot leave a window out of it.
// This takes the program's own windows off the screen instead and calls `done` (on the main
// thread, never from inside this call) once the screen really shows what lies beneath them:
// the window manager has withdrawn their frames and the server, the clients below or the
// compositor have painted every pixel they covered. A bounded wait: should nothing repaint
// (a frozen client below), `done` still comes after `timeoutMs`. The windows stay hidden.
void vacateWindows(const QList<quint32>& windows, std::function<void()> done, int timeoutMs = 500);

} // namespace quillet
