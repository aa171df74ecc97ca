#include "output/StickyWindow.h"

#include <QGuiApplication>
#include <QWidget>
#include <array>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace quillet {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(qstrlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> reply(
        xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

void sendToRoot(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
    const std::array<uint32_t, 5>& data)
{
    xcb_client_message_event_t ev = {};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = type;
    for (size_t i = 0; i < data.size(); ++i)
        ev.data.data32[i] = data[i];
    xcb_send_event(c, 0, root,
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&ev));
}

} // namespace

bool stickToAllWorkspaces(QWidget* window)
{
    if (!window || QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    const auto win = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t desktop = atom(c, "_NET_WM_DESKTOP");
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    const xcb_atom_t sticky = atom(c, "_NET_WM_STATE_STICKY");
    // A pin is part of the desktop, not a window to switch to: task bars and pagers leave it out.
    const xcb_atom_t skipTaskbar = atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    const xcb_atom_t skipPager = atom(c, "_NET_WM_STATE_SKIP_PAGER");
    if (desktop == XCB_ATOM_NONE || state == XCB_ATOM_NONE || sticky == XCB_ATOM_NONE
        || skipTaskbar == XCB_ATOM_NONE || skipPager == XCB_ATOM_NONE)
        return false;
    const uint32_t states[] = {sticky, skipTaskbar, skipPager};
    constexpr uint32_t allDesktops = 0xFFFFFFFF;
    if (!window->isVisible()) {
        // Before mapping the properties are the request; Qt keeps foreign _NET_WM_STATE atoms
        // when it adds its own (stay on top) at show time.
        xcb_change_property(
            c, XCB_PROP_MODE_REPLACE, win, desktop, XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
        xcb_change_property(c, XCB_PROP_MODE_APPEND, win, state, XCB_ATOM_ATOM, 32, 3, states);
    } else {
        const xcb_setup_t* setup = xcb_get_setup(c);
        const xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
        if (!it.rem)
            return false;
        const xcb_window_t root = it.data->root;
        // Source indication 1: a normal application.
        sendToRoot(c, root, win, desktop, {allDesktops, 1, 0, 0, 0});
        sendToRoot(c, root, win, state, {1 /* add */, sticky, 0, 1, 0});
        sendToRoot(c, root, win, state, {1, skipTaskbar, skipPager, 1, 0});
    }
    xcb_flush(c);
    return true;
}

} // namespace quillet
