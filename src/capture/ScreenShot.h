#pragma once

#include "platform/Screen.h"

#include <QImage>

namespace quillet {

// One screen frozen at the moment a capture started: full device pixels, no cursor.
struct ScreenShot {
    Screen screen;
    QImage image; // Format_RGB32 (or ARGB32_Premultiplied), devicePixelRatio = screen.scale
};

} // namespace quillet
