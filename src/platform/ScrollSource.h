#pragma once

#include <QImage>

namespace quillet {

// One rectangle of the screen, read again and again while the program under it scrolls, and the
// wheel of that program, for a long capture. Main thread only; every call returns promptly.
class ScrollSource {
public:
    virtual ~ScrollSource() = default;

    // The rectangle as the screen shows it now, device pixels, without the pointer. Null when
    // it could not be read.
    virtual QImage grab() = 0;

    // Whether wheel steps can be sent to the program under the rectangle.
    virtual bool canScroll() const = 0;
    // Puts the pointer over the rectangle's centre and turns the wheel `notches` steps down.
    virtual bool scroll(int notches) = 0;
    // From now on userActed() watches the user: keys held now (the one that started an
    // auto-scroll, say) count only once pressed again.
    virtual void watchUser() = 0;
    // Whether the user moved the pointer away from where scroll() last put it, or pressed a key.
    virtual bool userActed() = 0;
};

} // namespace quillet
