// xwin: plain X windows for the end-to-end tests.
//   xwin map X Y W H RRGGBB   map a window of that geometry and colour (asking the window
//                             manager for exactly that position), print its id once it is on
//                             screen, and stay until killed
//   xwin frame ID             print "X Y W H" of the window's outer frame as the window manager
//                             placed it: the top-level ancestor of ID, border included
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template<typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

int mapWindow(xcb_connection_t* c, xcb_screen_t* screen, char** argv)
{
    const int x = std::atoi(argv[2]), y = std::atoi(argv[3]);
    const int w = std::atoi(argv[4]), h = std::atoi(argv[5]);
    const uint32_t colour = static_cast<uint32_t>(std::strtoul(argv[6], nullptr, 16));
    const xcb_window_t win = xcb_generate_id(c);
    const uint32_t values[] = {colour, XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, win, screen->root, int16_t(x), int16_t(y),
        uint16_t(w), uint16_t(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
        XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    // WM_NORMAL_HINTS with USPosition and USSize: the window manager keeps the position asked
    // for instead of placing the window itself.
    uint32_t hints[18] = {};
    hints[0] = 1 | 2; // USPosition | USSize
    hints[1] = uint32_t(x);
    hints[2] = uint32_t(y);
    hints[3] = uint32_t(w);
    hints[4] = uint32_t(h);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, XCB_ATOM_WM_NORMAL_HINTS,
        XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    const char title[] = "xwin";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
        sizeof(title) - 1, title);
    xcb_map_window(c, win);
    xcb_flush(c);
    bool announced = false;
    while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
        const uint8_t type = e->response_type & 0x7f;
        std::free(e);
        if (!announced && (type == XCB_MAP_NOTIFY || type == XCB_EXPOSE)) {
            std::printf("%u\n", win);
            std::fflush(stdout);
            announced = true;
        }
    }
    return 0;
}

int frame(xcb_connection_t* c, xcb_screen_t* screen, const char* id)
{
    xcb_window_t w = static_cast<xcb_window_t>(std::strtoul(id, nullptr, 0));
    // Climb to the child of the root: with a window manager that is the frame.
    for (;;) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
        if (!tree)
            return 1;
        if (tree->parent == screen->root || tree->parent == XCB_NONE)
            break;
        w = tree->parent;
    }
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
    if (!g)
        return 1;
    const int b = g->border_width;
    std::printf("%d %d %d %d\n", g->x, g->y, g->width + 2 * b, g->height + 2 * b);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bool map = argc == 7 && std::strcmp(argv[1], "map") == 0;
    const bool frameMode = argc == 3 && std::strcmp(argv[1], "frame") == 0;
    if (!map && !frameMode) {
        std::fprintf(stderr, "usage: xwin map X Y W H RRGGBB | frame ID\n");
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "xwin: cannot connect\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const int status = map ? mapWindow(c, screen, argv) : frame(c, screen, argv[2]);
    xcb_disconnect(c);
    return status;
}
