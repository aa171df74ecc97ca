#include "platform/x11/X11Vacate.h"

#include "platform/x11/XcbHandles.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <xcb/damage.h>

namespace quillet {

namespace {

xcb_connection_t* qtConnection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The extension's first event code, once the server has agreed to speak it; -1 without it.
int damageEventBase(xcb_connection_t* c)
{
    static int base = [c] {
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_damage_id);
        if (!ext || !ext->present)
            return -1;
        XcbReply<xcb_damage_query_version_reply_t> v(xcb_damage_query_version_reply(c,
            xcb_damage_query_version(c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
            nullptr));
        return v ? int(ext->first_event) : -1;
    }();
    return base;
}

// One window on its way off the screen: the top-level window the server stacks (the window
// manager's frame, or the window itself without one), where it lies on the root, and what has
// been painted there since it went.
struct Leaving {
    xcb_window_t top = XCB_NONE;
    QRegion footprint; // root pixels
    bool unmapped = false;
    QRegion repainted;
};

class Vacate final : public QObject, public QAbstractNativeEventFilter {
public:
    Vacate(xcb_connection_t* c, std::function<void()> done)
        : m_c(c)
        , m_done(std::move(done))
    { }

    void start(const QList<quint32>& windows, int timeoutMs)
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        const int base = damageEventBase(m_c);
        QList<QWidget*> widgets;
        for (quint32 id : windows) {
            QWidget* w = QWidget::find(WId(id));
            if (!w || !w->isVisible())
                continue;
            widgets.append(w);
            if (screen && base >= 0)
                track(xcb_window_t(id), *screen);
        }
        m_damageBase = base;
        if (!m_leaving.isEmpty()) {
            // Watching starts before the windows go, on the connection that takes them away, so
            // the order of events says what was painted after each one left.
            m_damage = xcb_generate_id(m_c);
            xcb_damage_create(m_c, m_damage, screen->root, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
            QCoreApplication::instance()->installNativeEventFilter(this);
        }
        for (QWidget* w : widgets)
            w->hide();
        xcb_flush(m_c);
        if (m_leaving.isEmpty()) {
            // Nothing to watch (or no way to): at least let the server carry out the unmapping
            // before the grab, which goes over another connection, is asked for.
            XcbReply<xcb_get_input_focus_reply_t> sync(
                xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
            finish();
            return;
        }
        QTimer::singleShot(timeoutMs, this, [this] { finish(); });
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t" || m_finished)
            return false;
        const auto* ev = static_cast<const xcb_generic_event_t*>(message);
        const int kind = ev->response_type & 0x7f;
        if (kind == XCB_UNMAP_NOTIFY && !(ev->response_type & 0x80)) {
            const auto* u = reinterpret_cast<const xcb_unmap_notify_event_t*>(ev);
            for (Leaving& l : m_leaving) {
                if (l.top == u->window)
                    l.unmapped = true;
            }
        } else if (kind == m_damageBase + XCB_DAMAGE_NOTIFY) {
            const auto* d = reinterpret_cast<const xcb_damage_notify_event_t*>(ev);
            if (d->damage != m_damage)
                return false;
            const QRect area(d->area.x, d->area.y, d->area.width, d->area.height);
            bool all = true;
            for (Leaving& l : m_leaving) {
                if (l.unmapped)
                    l.repainted += area;
                all = all && l.unmapped && (l.footprint - l.repainted).isEmpty();
            }
            if (all)
                QTimer::singleShot(0, this, [this] { finish(); });
        }
        return false; // Qt still sees every event
    }

private:
    void track(xcb_window_t window, const xcb_screen_t& screen)
    {
        // Up the tree to the child of the root: that is what leaves the screen.
        xcb_window_t top = window;
        for (int depth = 0; depth < 16; ++depth) {
            XcbReply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(m_c, xcb_query_tree(m_c, top), nullptr));
            if (!tree)
                return;
            if (tree->parent == screen.root || tree->parent == XCB_NONE)
                break;
            top = tree->parent;
        }
        XcbReply<xcb_get_window_attributes_reply_t> attrs(
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, top), nullptr));
        XcbReply<xcb_get_geometry_reply_t> geo(
            xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, top), nullptr));
        if (!attrs || !geo || attrs->map_state != XCB_MAP_STATE_VIEWABLE)
            return;
        const QRect rect(geo->x, geo->y, geo->width + 2 * geo->border_width,
            geo->height + 2 * geo->border_width);
        const QRegion footprint = QRegion(rect).intersected(
            QRect(0, 0, screen.width_in_pixels, screen.height_in_pixels));
        if (footprint.isEmpty())
            return;
        if (top != window) {
            // The frame belongs to the window manager; its unmapping reaches us only if asked.
            // Our own top-level windows already report it to Qt.
            const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(m_c, top, XCB_CW_EVENT_MASK, &mask);
        }
        m_leaving.append(Leaving {top, footprint, false, {}});
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        if (m_damage != XCB_NONE) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
            xcb_damage_destroy(m_c, m_damage);
            xcb_flush(m_c);
        }
        const std::function<void()> done = std::move(m_done);
        deleteLater();
        if (done)
            QTimer::singleShot(0, QCoreApplication::instance(), done);
    }

    xcb_connection_t* m_c;
    std::function<void()> m_done;
    QList<Leaving> m_leaving;
    xcb_damage_damage_t m_damage = XCB_NONE;
    int m_damageBase = -1;
    bool m_finished = false;
};

} // namespace

void vacateWindows(const QList<quint32>& windows, std::function<void()> done, int timeoutMs)
{
    xcb_connection_t* c = qtConnection();
    if (!c) {
        for (quint32 id : windows) {
            if (QWidget* w = QWidget::find(WId(id)))
                w->hide();
        }
        QTimer::singleShot(0, QCoreApplication::instance(), std::move(done));
        return;
    }
    auto* v = new Vacate(c, std::move(done));
    v->start(windows, timeoutMs);
}

} // namespace quillet
