// xprobe: asks the X server the questions the end-to-end tests need answered.
//   xprobe grab KEYCODE MODS   exit 0 when this client could grab the key on the root window
//                              (so nobody else holds it), 3 when the server refused (BadAccess)
//   xprobe hold KEYCODE MODS   grab the key and keep it until killed (prints "held")
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: xprobe grab|hold KEYCODE MODS\n");
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "xprobe: cannot connect\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const auto key = static_cast<xcb_keycode_t>(std::atoi(argv[2]));
    const auto mods = static_cast<uint16_t>(std::strtoul(argv[3], nullptr, 0));
    xcb_void_cookie_t ck = xcb_grab_key_checked(c, 1, screen->root, mods, key,
        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t* err = xcb_request_check(c, ck);
    if (err) {
        const int code = err->error_code;
        std::free(err);
        xcb_disconnect(c);
        return code == 10 ? 3 : 4;
    }
    if (std::strcmp(argv[1], "hold") == 0) {
        std::printf("held\n");
        std::fflush(stdout);
        for (;;)
            pause();
    }
    xcb_ungrab_key(c, key, screen->root, mods);
    xcb_flush(c);
    xcb_disconnect(c);
    return 0;
}
