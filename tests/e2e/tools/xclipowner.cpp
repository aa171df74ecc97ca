// xclipowner: takes the CLIPBOARD selection and then misbehaves as a hung program does.
//   xclipowner silent    answers no request at all
//   xclipowner formats   lists its formats (an image and text) but never sends either
// Prints "owned" once the server names it the owner; runs until killed.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : XCB_NONE;
    std::free(r);
    return a;
}

} // namespace

int main(int argc, char** argv)
{
    const bool formats = argc > 1 && std::strcmp(argv[1], "formats") == 0;
    if (argc < 2 || (!formats && std::strcmp(argv[1], "silent") != 0)) {
        std::fprintf(stderr, "usage: xclipowner silent|formats\n");
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "xclipowner: no display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t clipboard = atom(c, "CLIPBOARD");
    const xcb_atom_t targets = atom(c, "TARGETS");
    const xcb_atom_t offered[] = {targets, atom(c, "image/png"), atom(c, "UTF8_STRING")};
    xcb_set_selection_owner(c, w, clipboard, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t* owner
        = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr);
    const bool owned = owner && owner->owner == w;
    std::free(owner);
    if (!owned) {
        std::fprintf(stderr, "xclipowner: could not take the clipboard\n");
        return 1;
    }
    std::printf("owned\n");
    std::fflush(stdout);
    while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
        if ((e->response_type & 0x7f) == XCB_SELECTION_REQUEST && formats) {
            const auto* req = reinterpret_cast<xcb_selection_request_event_t*>(e);
            if (req->target == targets) {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, req->property,
                    XCB_ATOM_ATOM, 32, 3, offered);
                xcb_selection_notify_event_t n {};
                n.response_type = XCB_SELECTION_NOTIFY;
                n.time = req->time;
                n.requestor = req->requestor;
                n.selection = req->selection;
                n.target = req->target;
                n.property = req->property;
                xcb_send_event(c, 0, req->requestor, XCB_EVENT_MASK_NO_EVENT,
                    reinterpret_cast<const char*>(&n));
                xcb_flush(c);
            }
        }
        std::free(e);
    }
    return 0;
}
