#include "platform/x11/X11WindowList.h"

#include "platform/x11/XcbHandles.h"

#include <QGuiApplication>
#include <QHash>
#include <QScreen>

#include <array>
#include <cstring>
#include <optional>

namespace quillet {

namespace {

// Clients sit at most this deep inside their frames in the window managers in use; looking
// further would cost round trips for nothing.
constexpr int maxClientDepth = 3;

enum AtomName {
    WmState,
    NetWmWindowType,
    NetWmWindowTypeDesktop,
    NetWmWindowOpacity,
    NetClientList,
    AtomCount
};

std::array<xcb_atom_t, AtomCount> internAtoms(xcb_connection_t* c)
{
    static constexpr std::array<const char*, AtomCount> names = {"WM_STATE", "_NET_WM_WINDOW_TYPE",
        "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_OPACITY", "_NET_CLIENT_LIST"};
    std::array<xcb_intern_atom_cookie_t, AtomCount> cookies;
    for (int i = 0; i < AtomCount; ++i)
        cookies[i] = xcb_intern_atom(c, 0, uint16_t(strlen(names[i])), names[i]);
    std::array<xcb_atom_t, AtomCount> atoms {};
    for (int i = 0; i < AtomCount; ++i) {
        XcbReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, cookies[i], nullptr));
        atoms[i] = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    return atoms;
}

// What a window says about itself through properties.
struct Props {
    bool managed = false; // carries WM_STATE: the client a window manager reparented
    bool desktop = false;
    std::optional<double> alpha;
};

struct PropCookies {
    xcb_get_property_cookie_t state, type, opacity;
};

PropCookies requestProps(
    xcb_connection_t* c, xcb_window_t w, const std::array<xcb_atom_t, AtomCount>& a)
{
    return {xcb_get_property(c, 0, w, a[WmState], XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
        xcb_get_property(c, 0, w, a[NetWmWindowType], XCB_ATOM_ATOM, 0, 16),
        xcb_get_property(c, 0, w, a[NetWmWindowOpacity], XCB_ATOM_CARDINAL, 0, 1)};
}

Props readProps(
    xcb_connection_t* c, const PropCookies& k, const std::array<xcb_atom_t, AtomCount>& a)
{
    Props p;
    XcbReply<xcb_get_property_reply_t> state(xcb_get_property_reply(c, k.state, nullptr));
    p.managed = state && state->type != XCB_ATOM_NONE;
    XcbReply<xcb_get_property_reply_t> type(xcb_get_property_reply(c, k.type, nullptr));
    if (type && type->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(type.get()));
        const int n = xcb_get_property_value_length(type.get()) / 4;
        for (int i = 0; i < n; ++i)
            p.desktop = p.desktop || atoms[i] == a[NetWmWindowTypeDesktop];
    }
    XcbReply<xcb_get_property_reply_t> opacity(xcb_get_property_reply(c, k.opacity, nullptr));
    if (opacity && opacity->format == 32 && xcb_get_property_value_length(opacity.get()) >= 4) {
        const quint32 v = *static_cast<const quint32*>(xcb_get_property_value(opacity.get()));
        p.alpha = double(v) / double(0xffffffffu);
    }
    return p;
}

struct Candidate {
    xcb_window_t window;
    QRect nativeBounds;
    Props own;
    std::optional<Props> client;
};

// The window manager's list of the clients it manages leads to each client's frame by walking up
// from the client: a handful of requests per level, instead of asking every decoration window.
QHash<int, xcb_window_t> clientsFromList(xcb_connection_t* c, xcb_window_t root,
    const QList<xcb_window_t>& clientList, const QList<Candidate>& candidates)
{
    QHash<xcb_window_t, int> indexOf;
    for (int i = 0; i < candidates.size(); ++i)
        indexOf.insert(candidates[i].window, i);
    QHash<int, xcb_window_t> found;
    QList<std::pair<xcb_window_t, xcb_window_t>> walking; // (client, window reached so far)
    for (xcb_window_t w : clientList)
        walking.append({w, w});
    for (int depth = 0; depth <= maxClientDepth && !walking.isEmpty(); ++depth) {
        QList<xcb_query_tree_cookie_t> cookies;
        for (const auto& [client, at] : walking)
            cookies.append(xcb_query_tree(c, at));
        QList<std::pair<xcb_window_t, xcb_window_t>> next;
        for (int i = 0; i < walking.size(); ++i) {
            XcbReply<xcb_query_tree_reply_t> r(xcb_query_tree_reply(c, cookies[i], nullptr));
            if (!r || r->parent == XCB_WINDOW_NONE)
                continue;
            if (r->parent != root) {
                next.append({walking[i].first, r->parent});
                continue;
            }
            const auto it = indexOf.constFind(walking[i].second);
            if (it != indexOf.cend() && walking[i].first != walking[i].second)
                found.insert(*it, walking[i].first);
        }
        walking = next;
    }
    return found;
}

// Without a client list (or for windows it leaves out) the search goes down from the frame level
// by level among its decoration windows, asking only whether WM_STATE is there.
void searchClientsDownward(xcb_connection_t* c, const std::array<xcb_atom_t, AtomCount>& atoms,
    const QList<Candidate>& candidates, const QList<int>& which, QHash<int, xcb_window_t>& found)
{
    struct Pending {
        int candidate;
        xcb_window_t window;
    };
    QList<Pending> level;
    for (int i : which)
        level.append({i, candidates[i].window});
    for (int depth = 0; depth < maxClientDepth && !level.isEmpty(); ++depth) {
        QList<xcb_query_tree_cookie_t> trees;
        for (const Pending& p : level)
            trees.append(xcb_query_tree(c, p.window));
        QList<Pending> below;
        for (int i = 0; i < level.size(); ++i) {
            XcbReply<xcb_query_tree_reply_t> sub(xcb_query_tree_reply(c, trees[i], nullptr));
            if (!sub)
                continue;
            const xcb_window_t* kids = xcb_query_tree_children(sub.get());
            const int n = xcb_query_tree_children_length(sub.get());
            for (int k = n - 1; k >= 0; --k) // the client usually sits on top of its decorations
                below.append({level[i].candidate, kids[k]});
        }
        QList<xcb_get_property_cookie_t> states;
        for (const Pending& p : below)
            states.append(
                xcb_get_property(c, 0, p.window, atoms[WmState], XCB_GET_PROPERTY_TYPE_ANY, 0, 0));
        for (int i = 0; i < below.size(); ++i) {
            XcbReply<xcb_get_property_reply_t> st(xcb_get_property_reply(c, states[i], nullptr));
            if (st && st->type != XCB_ATOM_NONE && !found.contains(below[i].candidate))
                found.insert(below[i].candidate, below[i].window);
        }
        level.clear();
        for (const Pending& p : below) {
            if (!found.contains(p.candidate))
                level.append(p);
        }
    }
}

} // namespace

QList<WindowRecord> readX11WindowList(
    xcb_connection_t* c, xcb_window_t root, const NativeToQt& toQt)
{
    if (!c || xcb_connection_has_error(c))
        return {};
    const auto atoms = internAtoms(c);
    const xcb_query_tree_cookie_t treeCookie = xcb_query_tree(c, root);
    const xcb_get_property_cookie_t listCookie
        = xcb_get_property(c, 0, root, atoms[NetClientList], XCB_ATOM_WINDOW, 0, 1 << 16);
    XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, treeCookie, nullptr));
    XcbReply<xcb_get_property_reply_t> listReply(xcb_get_property_reply(c, listCookie, nullptr));
    QList<xcb_window_t> clientList;
    if (listReply && listReply->format == 32) {
        const auto* w = static_cast<const xcb_window_t*>(xcb_get_property_value(listReply.get()));
        clientList = QList<xcb_window_t>(w, w + xcb_get_property_value_length(listReply.get()) / 4);
    }
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());

    // Everything about every top-level window is asked for before any answer is read: one round
    // trip per stage instead of one per window.
    QList<xcb_get_window_attributes_cookie_t> attrCookies;
    QList<xcb_get_geometry_cookie_t> geomCookies;
    for (int i = 0; i < count; ++i) {
        attrCookies.append(xcb_get_window_attributes(c, children[i]));
        geomCookies.append(xcb_get_geometry(c, children[i]));
    }
    XcbReply<xcb_get_geometry_reply_t> rootGeom(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr));
    const QRect rootRect = rootGeom ? QRect(0, 0, rootGeom->width, rootGeom->height) : QRect();

    QList<Candidate> candidates;
    for (int i = 0; i < count; ++i) {
        XcbReply<xcb_get_window_attributes_reply_t> attr(
            xcb_get_window_attributes_reply(c, attrCookies[i], nullptr));
        XcbReply<xcb_get_geometry_reply_t> geom(xcb_get_geometry_reply(c, geomCookies[i], nullptr));
        if (!attr || !geom || attr->map_state != XCB_MAP_STATE_VIEWABLE
            || attr->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT || attr->override_redirect)
            continue;
        // A top-level window's position is on the root already, at the outer corner of its border.
        const int border = 2 * geom->border_width;
        const QRect bounds(geom->x, geom->y, geom->width + border, geom->height + border);
        if (rootRect.isValid() && !bounds.intersects(rootRect))
            continue; // parked off-screen: nobody can click it
        candidates.append(Candidate {children[i], bounds, {}, std::nullopt});
    }

    QList<PropCookies> propCookies;
    for (const Candidate& w : candidates)
        propCookies.append(requestProps(c, w.window, atoms));
    for (int i = 0; i < candidates.size(); ++i)
        candidates[i].own = readProps(c, propCookies[i], atoms);

    // Under a window manager the top-level window is a frame; the client inside carries the
    // window type (and often the opacity).
    QHash<int, xcb_window_t> clients = clientsFromList(c, root, clientList, candidates);
    QList<int> unresolved;
    for (int i = 0; i < candidates.size(); ++i) {
        const QRect& b = candidates[i].nativeBounds;
        // Windows too small to be offered are dropped later whatever their type.
        if (!candidates[i].own.managed && !clients.contains(i) && b.width() > 30 && b.height() > 30)
            unresolved.append(i);
    }
    searchClientsDownward(c, atoms, candidates, unresolved, clients);
    QList<std::pair<int, PropCookies>> clientCookies;
    for (auto it = clients.cbegin(); it != clients.cend(); ++it)
        clientCookies.append({it.key(), requestProps(c, it.value(), atoms)});
    for (const auto& [index, cookies] : clientCookies)
        candidates[index].client = readProps(c, cookies, atoms);

    QList<WindowRecord> out;
    for (auto it = candidates.crbegin(); it != candidates.crend(); ++it) {
        const Props& own = it->own;
        if (own.desktop || (it->client && it->client->desktop))
            continue;
        WindowRecord r;
        r.qtBounds = toQt(it->nativeBounds);
        r.alpha = own.alpha ? own.alpha : (it->client ? it->client->alpha : std::nullopt);
        r.layer = 0;
        r.windowId = it->window;
        out.append(r);
    }
    return out;
}

NativeToQt nativeToQtForCurrentScreens()
{
    struct Area {
        QRect native;
        QPoint origin;
        qreal ratio;
    };
    QList<Area> areas;
    QScreen* primary = QGuiApplication::primaryScreen();
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect g = s->geometry();
        const qreal dpr = s->devicePixelRatio();
        Area a {QRect(g.topLeft(), (QSizeF(g.size()) * dpr).toSize()), g.topLeft(), dpr};
        if (s == primary)
            areas.prepend(a);
        else
            areas.append(a);
    }
    return [areas](const QRect& native) {
        if (areas.isEmpty())
            return native;
        // The screen holding the window's centre decides its scale, as Qt itself does.
        Area pick = areas.first();
        for (const Area& a : areas) {
            if (a.native.contains(native.center())) {
                pick = a;
                break;
            }
        }
        if (pick.ratio == 1.0)
            return native;
        const QPointF tl
            = QPointF(pick.origin) + QPointF(native.topLeft() - pick.origin) / pick.ratio;
        return QRectF(tl, QSizeF(native.size()) / pick.ratio).toAlignedRect();
    };
}

QList<WindowRecord> readX11WindowList()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    XcbConnection own;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    int screenNumber = 0;
    if (!c) {
        own.reset(xcb_connect(nullptr, &screenNumber));
        c = own.get();
    }
    if (!c || xcb_connection_has_error(c))
        return {};
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem)
        return {};
    return readX11WindowList(c, it.data->root, nativeToQtForCurrentScreens());
}

} // namespace quillet
