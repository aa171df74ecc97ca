#pragma once

namespace quillet::NativePointer {

// Moves the pointer by whole device pixels (x right, y down) through the window system, for
// steps finer than a point on dense screens. False where that is not available (not on X11).
bool moveByDevicePixels(int dx, int dy);

} // namespace quillet::NativePointer
