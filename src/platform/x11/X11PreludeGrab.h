#pragma once

#include "platform/PreludeGrab.h"

#include <QAbstractNativeEventFilter>
#include <memory>
#include <xcb/xcb.h>

namespace quillet {

// An active pointer and keyboard grab on the root window, made on Qt's own connection: no window
// appears, so nothing of it can end up in the frozen picture, and the overlays' own keyboard grab
// (the same client) simply takes over from it. Events arrive in Qt's event stream and are taken
// out of it here.
class X11PreludeGrab final : public PreludeGrab, public QAbstractNativeEventFilter {
public:
    // Nothing when the application does not run on an X11 connection.
    static std::unique_ptr<X11PreludeGrab> create();
    ~X11PreludeGrab() override;

    bool start(Sink sink, PointerState& now) override;
    void releasePointer() override;
    void releaseKeyboard() override;
    void keyboardTaken() override;
    void stop() override;
    PointerState pointer() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    X11PreludeGrab(xcb_connection_t* c, xcb_window_t root);

    xcb_connection_t* m_c;
    xcb_window_t m_root;
    Sink m_sink;
    quint8 m_escape = 0;
    bool m_pointer = false;
    bool m_keyboard = false;
    bool m_filtering = false;
};

// Root-window pixels (native, y down) to Qt's virtual-desktop points: Qt keeps each screen's
// native top-left corner as its origin and scales only its size.
QPointF qtFromNative(QPoint native);

} // namespace quillet
