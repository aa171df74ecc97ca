#include "platform/x11/X11PreludeGrab.h"

#include "platform/KeyCodes.h"
#include "platform/x11/XcbHandles.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace quillet {

namespace {

constexpr qint64 escapeKeyCode = 53;
// The core cursor font's crosshair and its mask, the shape Qt falls back to for its cross cursor.
constexpr quint16 crosshairGlyph = 34;

constexpr uint16_t pointerEvents
    = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION;

xcb_cursor_t crosshairCursor(xcb_connection_t* c)
{
    // Made once and kept: a cursor is a few bytes in the server, and making it sends requests
    // without waiting for any answer.
    static const xcb_cursor_t cursor = [c] {
        const xcb_font_t font = xcb_generate_id(c);
        static constexpr char name[] = "cursor";
        xcb_open_font(c, font, sizeof(name) - 1, name);
        const xcb_cursor_t made = xcb_generate_id(c);
        xcb_create_glyph_cursor(c, made, font, font, crosshairGlyph, crosshairGlyph + 1, 0, 0, 0,
            0xffff, 0xffff, 0xffff);
        xcb_close_font(c, font);
        return made;
    }();
    return cursor;
}

} // namespace

QPointF qtFromNative(QPoint native)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* s : screens) {
        const QRect g = s->geometry();
        const qreal dpr = s->devicePixelRatio();
        const QRectF nativeRect(g.topLeft(), QSizeF(g.size()) * dpr);
        if (nativeRect.contains(native))
            return QPointF(g.topLeft()) + QPointF(native - g.topLeft()) / dpr;
    }
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return native;
    const QPoint origin = primary->geometry().topLeft();
    return QPointF(origin) + QPointF(native - origin) / primary->devicePixelRatio();
}

namespace {

PointerState stateOf(const XcbReply<xcb_query_pointer_reply_t>& r)
{
    if (!r)
        return {QCursor::pos(), false};
    return {qtFromNative(QPoint(r->root_x, r->root_y)), (r->mask & XCB_BUTTON_MASK_1) != 0};
}

} // namespace

std::unique_ptr<X11PreludeGrab> X11PreludeGrab::create()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return nullptr;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen)
        return nullptr;
    return std::unique_ptr<X11PreludeGrab>(new X11PreludeGrab(c, screen->root));
}

X11PreludeGrab::X11PreludeGrab(xcb_connection_t* c, xcb_window_t root)
    : m_c(c)
    , m_root(root)
{
    m_escape = KeyCodes::toX(escapeKeyCode).value_or(9);
}

X11PreludeGrab::~X11PreludeGrab()
{
    stop();
}

bool X11PreludeGrab::start(Sink sink, PointerState& now)
{
    // Every request goes out before any answer is awaited: one round trip in all.
    const xcb_grab_pointer_cookie_t pc = xcb_grab_pointer(m_c, 0, m_root, pointerEvents,
        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, crosshairCursor(m_c), XCB_CURRENT_TIME);
    const xcb_grab_keyboard_cookie_t kc = xcb_grab_keyboard(
        m_c, 0, m_root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    const xcb_query_pointer_cookie_t qc = xcb_query_pointer(m_c, m_root);
    const XcbReply<xcb_grab_pointer_reply_t> p(xcb_grab_pointer_reply(m_c, pc, nullptr));
    const XcbReply<xcb_grab_keyboard_reply_t> k(xcb_grab_keyboard_reply(m_c, kc, nullptr));
    now = stateOf(XcbReply<xcb_query_pointer_reply_t>(xcb_query_pointer_reply(m_c, qc, nullptr)));
    m_pointer = p && p->status == XCB_GRAB_STATUS_SUCCESS;
    m_keyboard = k && k->status == XCB_GRAB_STATUS_SUCCESS;
    if (!m_pointer || !m_keyboard) {
        // Half a grab would be worse than none: keys or clicks would vanish without a prelude
        // to give them to.
        releasePointer();
        releaseKeyboard();
        return false;
    }
    m_sink = std::move(sink);
    if (!m_filtering) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filtering = true;
    }
    return true;
}

void X11PreludeGrab::releasePointer()
{
    if (!std::exchange(m_pointer, false))
        return;
    xcb_ungrab_pointer(m_c, XCB_CURRENT_TIME);
    xcb_flush(m_c);
}

void X11PreludeGrab::releaseKeyboard()
{
    if (!std::exchange(m_keyboard, false))
        return;
    xcb_ungrab_keyboard(m_c, XCB_CURRENT_TIME);
    xcb_flush(m_c);
}

void X11PreludeGrab::keyboardTaken()
{
    // The overlay's grab replaced ours in the server at once (a client grabbing again only moves
    // its grab); an ungrab now would let go of the overlay's.
    m_keyboard = false;
}

void X11PreludeGrab::stop()
{
    releasePointer();
    releaseKeyboard();
    m_sink = nullptr;
    if (m_filtering && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    m_filtering = false;
}

PointerState X11PreludeGrab::pointer()
{
    return stateOf(XcbReply<xcb_query_pointer_reply_t>(
        xcb_query_pointer_reply(m_c, xcb_query_pointer(m_c, m_root), nullptr)));
}

bool X11PreludeGrab::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!m_sink || eventType != "xcb_generic_event_t")
        return false;
    const auto* ev = static_cast<const xcb_generic_event_t*>(message);
    // Press, release and motion share their layout. Events still queued when the pointer was let
    // go are the prelude's too: they were addressed to the root only because of its grab.
    switch (ev->response_type & 0x7f) {
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY: {
        const auto* b = reinterpret_cast<const xcb_button_press_event_t*>(ev);
        if (b->event != m_root)
            return false;
        const QPointF p = qtFromNative(QPoint(b->root_x, b->root_y));
        const int kind = ev->response_type & 0x7f;
        // Copied: the sink may end the grab and with it this object's sink.
        const Sink sink = m_sink;
        if (kind == XCB_MOTION_NOTIFY)
            sink((b->state & XCB_BUTTON_MASK_1) ? Input::dragged : Input::moved, p);
        else if (b->detail == XCB_BUTTON_INDEX_1)
            sink(kind == XCB_BUTTON_PRESS ? Input::down : Input::up, p);
        // Other buttons and the wheel mean nothing before the overlays are up.
        return true;
    }
    case XCB_KEY_PRESS: {
        const auto* k = reinterpret_cast<const xcb_key_press_event_t*>(ev);
        if (k->detail != m_escape || k->event != m_root)
            return false; // the hot keys still see their keys (a second press is dropped there)
        const Sink sink = m_sink;
        sink(Input::escape, qtFromNative(QPoint(k->root_x, k->root_y)));
        return true;
    }
    default:
        return false;
    }
}

} // namespace quillet
