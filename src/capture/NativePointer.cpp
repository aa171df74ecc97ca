#include "capture/NativePointer.h"

#include <QGuiApplication>
#include <cstdlib>
#include <dlfcn.h>
#include <xcb/xcb.h>

namespace quillet::NativePointer {

namespace {

using WarpFn = xcb_void_cookie_t (*)(xcb_connection_t*, xcb_window_t, xcb_window_t, int16_t,
    int16_t, uint16_t, uint16_t, int16_t, int16_t);
using FlushFn = int (*)(xcb_connection_t*);
using FocusFn = xcb_get_input_focus_cookie_t (*)(xcb_connection_t*);
using FocusReplyFn = xcb_get_input_focus_reply_t* (*)(xcb_connection_t*,
    xcb_get_input_focus_cookie_t, xcb_generic_error_t**);

struct Xcb {
    WarpFn warp = nullptr;
    FlushFn flush = nullptr;
    FocusFn focus = nullptr;
    FocusReplyFn focusReply = nullptr;
};

// The capture library does not link xcb itself: the functions come from the copy Qt's xcb
// platform already loaded, and are simply absent on any other platform.
const Xcb& xcb()
{
    static const Xcb fns = [] {
        Xcb f;
        void* lib = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
        if (!lib)
            return f;
        f.warp = reinterpret_cast<WarpFn>(dlsym(lib, "xcb_warp_pointer"));
        f.flush = reinterpret_cast<FlushFn>(dlsym(lib, "xcb_flush"));
        f.focus = reinterpret_cast<FocusFn>(dlsym(lib, "xcb_get_input_focus"));
        f.focusReply = reinterpret_cast<FocusReplyFn>(dlsym(lib, "xcb_get_input_focus_reply"));
        return f;
    }();
    return fns;
}

} // namespace

bool moveByDevicePixels(int dx, int dy)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return false;
    const Xcb& f = xcb();
    if (!f.warp || !f.flush)
        return false;
    // No source or destination window: the pointer moves relative to where it is.
    f.warp(x11->connection(), XCB_NONE, XCB_NONE, 0, 0, 0, 0, int16_t(dx), int16_t(dy));
    f.flush(x11->connection());
    return true;
}

bool syncWithServer()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return false;
    const Xcb& f = xcb();
    if (!f.focus || !f.focusReply)
        return false;
    // Any request with a reply is a round trip: everything sent before it has been carried out.
    xcb_get_input_focus_reply_t* reply
        = f.focusReply(x11->connection(), f.focus(x11->connection()), nullptr);
    const bool ok = reply != nullptr;
    std::free(reply);
    return ok;
}

} // namespace quillet::NativePointer
