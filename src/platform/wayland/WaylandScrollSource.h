#pragma once

#include "platform/ScrollSource.h"
#include "platform/wayland/ScreencopySession.h"

#include <QRect>
#include <QSize>
#include <memory>

struct wl_display;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

namespace quillet {

// A rectangle of one output read through screen copy, and wheel steps sent through a virtual
// pointer where the compositor offers one (wlroots), on connections of its own.
class WaylandScrollSource final : public ScrollSource {
public:
    // `pixels` in the output's image; `inLayout` the same rectangle in the compositor's layout,
    // which spans `layout`.
    WaylandScrollSource(const ScreencopySession::Target& output, const QRect& pixels,
        const QRect& inLayout, const QRect& layout);
    ~WaylandScrollSource() override;

    QImage grab() override;
    bool canScroll() const override { return m_pointer != nullptr; }
    bool scroll(int notches) override;
    // Wayland tells a program nothing of the pointer or keys outside its own windows: only the
    // panel's own keys and buttons stop auto-scrolling here.
    void watchUser() override { }
    bool userActed() override { return false; }

    struct Registry;

private:
    ScreencopySession m_copy;
    ScreencopySession::Target m_output;
    QRect m_pixels;
    QRect m_inLayout;
    QRect m_layout;
    wl_display* m_display = nullptr;
    zwlr_virtual_pointer_manager_v1* m_manager = nullptr;
    zwlr_virtual_pointer_v1* m_pointer = nullptr;
};

} // namespace quillet
