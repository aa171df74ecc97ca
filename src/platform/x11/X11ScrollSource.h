#pragma once

#include "platform/ScrollSource.h"
#include "platform/x11/GrabSession.h"
#include "platform/x11/X11Connection.h"

#include <QPoint>
#include <QRect>
#include <array>
#include <memory>
#include <optional>

namespace quillet {

// A rectangle of the root window read through shared memory on a connection of its own, and
// wheel steps sent with XTest, as if the user turned the wheel over the rectangle.
class X11ScrollSource final : public ScrollSource {
public:
    // `root` is the rectangle on the root window, device pixels.
    X11ScrollSource(QByteArray display, const QRect& root);
    ~X11ScrollSource() override;

    QImage grab() override;
    bool canScroll() const override { return m_xtest; }
    bool scroll(int notches) override;
    void watchUser() override;
    bool userActed() override;

private:
    std::optional<std::array<uint8_t, 32>> keysDown();

    QRect m_root;
    std::unique_ptr<GrabSession> m_grabs;
    X11Connection m_input;
    bool m_xtest = false;
    std::optional<QPoint> m_placed; // where scroll() put the pointer
    std::array<uint8_t, 32> m_held {}; // keys down since watchUser(), not counted
};

} // namespace quillet
