#pragma once

namespace quillet::NativePointer {

// Moves the pointer by whole device pixels (x right, y down) through the window system, for
// steps finer than a point on dense screens. False where that is not available (not on X11).
bool moveByDevicePixels(int dx, int dy);

// Waits until the window system has carried out every request sent so far (a round trip), so
// another connection sees their effect. False where that is not available.
bool syncWithServer();

} // namespace quillet::NativePointer
