#include "platform/x11/X11ScrollSource.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <iterator>

namespace quillet {

namespace {
// The core protocol's wheel: button 5 is one step down.
constexpr uint8_t wheelDown = 5;
} // namespace

X11ScrollSource::X11ScrollSource(QByteArray display, const QRect& root)
    : m_root(root)
    , m_grabs(std::make_unique<GrabSession>(display))
{
    if (openX11Connection(display, m_input)) {
        m_input = X11Connection();
        return;
    }
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(m_input.get(), &xcb_test_id);
    m_xtest = ext && ext->present;
}

X11ScrollSource::~X11ScrollSource() = default;

QImage X11ScrollSource::grab()
{
    GrabResult r
        = m_grabs->grab({X11Grabber::Target {m_root, m_root.size()}}, X11Grabber::Method::Auto);
    if (r.error || r.images.isEmpty())
        return {};
    return r.images.first();
}

bool X11ScrollSource::scroll(int notches)
{
    if (!m_xtest || m_input.broken())
        return false;
    xcb_connection_t* c = m_input.get();
    const QPoint centre = m_root.center();
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_input.screen->root,
        int16_t(centre.x()), int16_t(centre.y()), 0);
    for (int i = 0; i < notches; ++i) {
        xcb_test_fake_input(c, XCB_BUTTON_PRESS, wheelDown, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(c, XCB_BUTTON_RELEASE, wheelDown, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    // The round trip makes sure the server has carried the steps out before the caller looks
    // for their effect.
    XcbReply<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    m_placed = centre;
    return !m_input.broken();
}

std::optional<std::array<uint8_t, 32>> X11ScrollSource::keysDown()
{
    if (m_input.broken())
        return std::nullopt;
    xcb_connection_t* c = m_input.get();
    XcbReply<xcb_query_keymap_reply_t> keys(
        xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    if (!keys)
        return std::nullopt;
    std::array<uint8_t, 32> out {};
    std::copy(std::begin(keys->keys), std::end(keys->keys), out.begin());
    return out;
}

void X11ScrollSource::watchUser()
{
    m_placed.reset();
    m_held = keysDown().value_or(std::array<uint8_t, 32> {});
}

bool X11ScrollSource::userActed()
{
    const std::optional<std::array<uint8_t, 32>> keys = keysDown();
    if (!keys)
        return true;
    bool pressed = false;
    for (size_t i = 0; i < keys->size(); ++i) {
        pressed |= ((*keys)[i] & ~m_held[i]) != 0;
        m_held[i] &= (*keys)[i]; // a held key let go counts when pressed again
    }
    if (pressed)
        return true;
    xcb_connection_t* c = m_input.get();
    XcbReply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, m_input.screen->root), nullptr));
    return pointer && m_placed && QPoint(pointer->root_x, pointer->root_y) != *m_placed;
}

} // namespace quillet
