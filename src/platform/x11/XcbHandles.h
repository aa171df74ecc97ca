#pragma once

#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace quillet {

// xcb hands out replies and errors as malloc'd blocks; they are owned here and never freed by hand.
struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};
template<typename T> using XcbReply = std::unique_ptr<T, XcbFree>;

struct XcbDisconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

} // namespace quillet
