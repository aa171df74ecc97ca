#pragma once

#include "platform/ScreenGrabber.h"

#include <QList>
#include <QRect>
#include <functional>
#include <xcb/xcb.h>

namespace quillet {

// Maps a rectangle on the root window (device pixels) to Qt's virtual-desktop coordinates.
using NativeToQt = std::function<QRect(const QRect&)>;

// The mapping for the screens Qt knows now. Main thread only.
NativeToQt nativeToQtForCurrentScreens();

// Top-level windows users can see, front-most first: mapped, drawable, managed (not
// override-redirect) and not the desktop. Bounds are the outer frame, border included.
QList<WindowRecord> readX11WindowList(
    xcb_connection_t* c, xcb_window_t root, const NativeToQt& toQt);

// The same on Qt's own connection (or a private one when Qt runs elsewhere). Main thread only.
QList<WindowRecord> readX11WindowList();

} // namespace quillet
