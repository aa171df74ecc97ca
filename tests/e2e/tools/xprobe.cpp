// xprobe: asks the X server the questions the end-to-end tests need answered.
//   xprobe grab KEYCODE MODS   exit 0 when this client could grab the key on the root window
//                              (so nobody else holds it), 3 when the server refused (BadAccess)
//   xprobe hold KEYCODE MODS   grab the key and keep it until killed (prints "held")
//   xprobe pattern             fill the root window's background with a picture in which every
//                              pixel differs: r = x & 255, g = y & 255,
//                              b = ((x >> 8) & 15) | ((y >> 8) << 4)
//   xprobe input               exit 0 when this client could take the pointer and the keyboard
//                              (an active grab on the root window, let go at once), 3 when
//                              another client holds either
//   xprobe holdpointer         take the pointer and keep it until killed (prints "held")
//   xprobe wm                  exit 0 when a window manager announces itself on the root
//                              window (_NET_SUPPORTING_WM_CHECK), 1 when none does
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template<typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

int grabKey(xcb_connection_t* c, xcb_screen_t* screen, char** argv, bool hold)
{
    const auto key = static_cast<xcb_keycode_t>(std::atoi(argv[2]));
    const auto mods = static_cast<uint16_t>(std::strtoul(argv[3], nullptr, 0));
    xcb_void_cookie_t ck = xcb_grab_key_checked(
        c, 1, screen->root, mods, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    Reply<xcb_generic_error_t> err(xcb_request_check(c, ck));
    if (err)
        return err->error_code == 10 ? 3 : 4;
    if (hold) {
        std::printf("held\n");
        std::fflush(stdout);
        for (;;)
            pause();
    }
    xcb_ungrab_key(c, key, screen->root, mods);
    xcb_flush(c);
    return 0;
}

uint32_t patternPixel(uint32_t x, uint32_t y)
{
    const uint32_t r = x & 255;
    const uint32_t g = y & 255;
    const uint32_t b = ((x >> 8) & 15) | (((y >> 8) << 4) & 255);
    return (r << 16) | (g << 8) | b;
}

int pattern(xcb_connection_t* c, xcb_screen_t* screen)
{
    if (screen->root_depth != 24) {
        std::fprintf(stderr, "xprobe: the root window needs depth 24\n");
        return 4;
    }
    const uint16_t w = screen->width_in_pixels;
    const uint16_t h = screen->height_in_pixels;
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, 24, pixmap, screen->root, w, h);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);

    // Rows in chunks that fit one request (the server's limit, BIG-REQUESTS included).
    const uint32_t maxBytes = xcb_get_maximum_request_length(c) * 4u - 64u;
    const uint32_t rowBytes = static_cast<uint32_t>(w) * 4u;
    const uint32_t rowsPerChunk = std::max<uint32_t>(1, maxBytes / rowBytes);
    std::vector<uint32_t> chunk(static_cast<size_t>(w) * rowsPerChunk);
    for (uint32_t y0 = 0; y0 < h; y0 += rowsPerChunk) {
        const uint32_t rows = std::min<uint32_t>(rowsPerChunk, h - y0);
        for (uint32_t y = 0; y < rows; ++y) {
            for (uint32_t x = 0; x < w; ++x)
                chunk[y * w + x] = patternPixel(x, y0 + y);
        }
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, w, static_cast<uint16_t>(rows), 0,
            static_cast<int16_t>(y0), 0, 24, rows * rowBytes,
            reinterpret_cast<const uint8_t*>(chunk.data()));
    }
    xcb_change_window_attributes(c, screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(c, 0, screen->root, 0, 0, 0, 0);
    xcb_free_gc(c, gc);
    // A compositor paints the root from the pixmap _XROOTPMAP_ID names, as wallpaper setters
    // leave it: the pixmap stays with the server after this client has gone.
    const char name[] = "_XROOTPMAP_ID";
    Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof(name) - 1, name), nullptr));
    if (atom) {
        xcb_change_property(
            c, XCB_PROP_MODE_REPLACE, screen->root, atom->atom, XCB_ATOM_PIXMAP, 32, 1, &pixmap);
        xcb_set_close_down_mode(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    } else {
        xcb_free_pixmap(c, pixmap); // the root keeps the picture (as xsetroot does it)
    }
    Reply<xcb_get_input_focus_reply_t> sync(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return sync ? 0 : 4;
}

int windowManager(xcb_connection_t* c, xcb_screen_t* screen)
{
    const char name[] = "_NET_SUPPORTING_WM_CHECK";
    Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof(name) - 1, name), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return 1;
    Reply<xcb_get_property_reply_t> prop(xcb_get_property_reply(
        c, xcb_get_property(c, 0, screen->root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!prop || xcb_get_property_value_length(prop.get()) != 4)
        return 1;
    // The check window comes early in a window manager's start; the client list only once it
    // has taken over the windows already there. A window mapped between the two can be lost.
    const char list[] = "_NET_CLIENT_LIST";
    Reply<xcb_intern_atom_reply_t> listAtom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof(list) - 1, list), nullptr));
    if (!listAtom || listAtom->atom == XCB_ATOM_NONE)
        return 1;
    Reply<xcb_get_property_reply_t> clients(xcb_get_property_reply(
        c, xcb_get_property(c, 0, screen->root, listAtom->atom, XCB_ATOM_WINDOW, 0, 0), nullptr));
    return clients && clients->type == XCB_ATOM_WINDOW ? 0 : 1;
}

// Exit 0 when a compositing manager owns the screen's _NET_WM_CM_S0 selection.
int compositor(xcb_connection_t* c)
{
    const char name[] = "_NET_WM_CM_S0";
    Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof(name) - 1, name), nullptr));
    if (!atom)
        return 1;
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE ? 0 : 1;
}

// Active grabs of the pointer and keyboard on the root, as a program that catches input does.
int grabInput(xcb_connection_t* c, xcb_screen_t* screen, bool holdPointer)
{
    Reply<xcb_grab_pointer_reply_t> pointer(xcb_grab_pointer_reply(c,
        xcb_grab_pointer(c, 0, screen->root, XCB_EVENT_MASK_BUTTON_PRESS, XCB_GRAB_MODE_ASYNC,
            XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
        nullptr));
    const bool gotPointer = pointer && pointer->status == XCB_GRAB_STATUS_SUCCESS;
    if (holdPointer) {
        if (!gotPointer)
            return 3;
        std::printf("held\n");
        std::fflush(stdout);
        pause();
        return 0;
    }
    Reply<xcb_grab_keyboard_reply_t> keyboard(xcb_grab_keyboard_reply(c,
        xcb_grab_keyboard(
            c, 0, screen->root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));
    const bool gotKeyboard = keyboard && keyboard->status == XCB_GRAB_STATUS_SUCCESS;
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_flush(c);
    return gotPointer && gotKeyboard ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    const bool keyMode
        = argc >= 4 && (std::strcmp(argv[1], "grab") == 0 || std::strcmp(argv[1], "hold") == 0);
    const bool otherMode = argc == 2
        && (std::strcmp(argv[1], "pattern") == 0 || std::strcmp(argv[1], "wm") == 0
            || std::strcmp(argv[1], "cm") == 0 || std::strcmp(argv[1], "input") == 0
            || std::strcmp(argv[1], "holdpointer") == 0);
    if (!keyMode && !otherMode) {
        std::fprintf(stderr,
            "usage: xprobe grab|hold KEYCODE MODS | pattern | wm | cm | input | holdpointer\n");
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "xprobe: cannot connect\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    int status = 0;
    if (keyMode)
        status = grabKey(c, screen, argv, std::strcmp(argv[1], "hold") == 0);
    else if (std::strcmp(argv[1], "pattern") == 0)
        status = pattern(c, screen);
    else if (std::strcmp(argv[1], "wm") == 0)
        status = windowManager(c, screen);
    else if (std::strcmp(argv[1], "input") == 0 || std::strcmp(argv[1], "holdpointer") == 0)
        status = grabInput(c, screen, std::strcmp(argv[1], "holdpointer") == 0);
    else
        status = compositor(c);
    xcb_disconnect(c);
    return status;
}
