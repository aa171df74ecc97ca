#pragma once

#include <QPointF>
#include <functional>
#include <memory>

namespace quillet {

// The pointer as the window system sees it right now.
struct PointerState {
    QPointF qtPos; // Qt's virtual-desktop coordinates (points, y down)
    bool leftHeld = false;
};

// Holds the pointer and the keyboard between the moment a capture is asked for and the moment its
// overlays are up, so that a press, a drag or Escape in that gap is not lost to the windows
// below. It shows nothing: on X11 anything on screen would be frozen into the capture.
class PreludeGrab {
public:
    enum class Input { down, dragged, up, moved, escape };
    // Called from the event loop; p in Qt's virtual-desktop coordinates.
    using Sink = std::function<void(Input input, QPointF p)>;

    // Lets go of whatever is still held.
    virtual ~PreludeGrab() = default;

    // Takes the pointer (with the crosshair cursor) and the keyboard, and tells where the pointer
    // is in the same exchange with the window system. False, holding neither, when the window
    // system refuses either one (another client holds it).
    virtual bool start(Sink sink, PointerState& now) = 0;
    // The windows under the pointer get it back; keys stay caught. Nothing when not held.
    virtual void releasePointer() = 0;
    // Keys go their normal way again; the pointer stays caught. Nothing when not held.
    virtual void releaseKeyboard() = 0;
    // Another window of this program has taken the keyboard over from the grab: it is no longer
    // this object's to let go of. Where taking it over is one step, no key goes astray between.
    virtual void keyboardTaken() = 0;
    // Lets go of both and delivers nothing more. Safe to call from inside the sink.
    virtual void stop() = 0;
    // Where the pointer is and whether its left button is down, read from the window system
    // (held or not).
    virtual PointerState pointer() = 0;
};

// The grab of this window system; one that is always refused where none exists.
std::unique_ptr<PreludeGrab> makePreludeGrab();

// Registered by the X11 backend at start-up so that the platform layer does not depend on it.
void setPreludeGrabFactory(std::function<std::unique_ptr<PreludeGrab>()> factory);

} // namespace quillet
