#include "platform/x11/X11HotKeys.h"

#include "platform/KeyCodes.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <cstdlib>
#include <utility>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace quillet {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template<typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

struct KeySymbolsDeleter {
    void operator()(xcb_key_symbols_t* p) const { xcb_key_symbols_free(p); }
};
struct ContextDeleter {
    void operator()(xkb_context* p) const { xkb_context_unref(p); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* p) const { xkb_keymap_unref(p); }
};
struct StateDeleter {
    void operator()(xkb_state* p) const { xkb_state_unref(p); }
};

constexpr quint32 numLockKeysym = 0xff7f; // XK_Num_Lock
constexpr quint8 badAccess = 10;
// A second press of a held key within this time is the keyboard's auto-repeat, not the user.
constexpr quint32 repeatWindowMs = 2000;

xcb_connection_t* qtConnection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

QString utf8Of(xkb_keysym_t sym)
{
    char buf[16] = {};
    const int n = xkb_keysym_to_utf8(sym, buf, sizeof buf);
    if (n <= 1)
        return {};
    return QString::fromUtf8(buf, n - 1);
}

// A dead key types nothing by itself; its name on a key cap is the accent it adds.
QString deadKeyAccent(xkb_keysym_t sym)
{
    switch (sym) {
    case XKB_KEY_dead_grave:
        return QStringLiteral("`");
    case XKB_KEY_dead_acute:
        return QStringLiteral("´");
    case XKB_KEY_dead_circumflex:
        return QStringLiteral("^");
    case XKB_KEY_dead_tilde:
        return QStringLiteral("~");
    case XKB_KEY_dead_macron:
        return QStringLiteral("¯");
    case XKB_KEY_dead_breve:
        return QStringLiteral("˘");
    case XKB_KEY_dead_abovedot:
        return QStringLiteral("˙");
    case XKB_KEY_dead_diaeresis:
        return QStringLiteral("¨");
    case XKB_KEY_dead_abovering:
        return QStringLiteral("˚");
    case XKB_KEY_dead_doubleacute:
        return QStringLiteral("˝");
    case XKB_KEY_dead_caron:
        return QStringLiteral("ˇ");
    case XKB_KEY_dead_cedilla:
        return QStringLiteral("¸");
    case XKB_KEY_dead_ogonek:
        return QStringLiteral("˛");
    default:
        return {};
    }
}

bool isKeypadSym(xkb_keysym_t sym)
{
    return sym >= XKB_KEY_KP_Space && sym <= XKB_KEY_KP_Equal;
}

} // namespace

std::unique_ptr<X11HotKeys> X11HotKeys::create()
{
    xcb_connection_t* c = qtConnection();
    if (!c || xcb_connection_has_error(c))
        return nullptr;
    return std::unique_ptr<X11HotKeys>(new X11HotKeys(c));
}

X11HotKeys::X11HotKeys(xcb_connection_t* connection)
    : m_connection(connection)
{
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(m_connection)); it.rem;
         xcb_screen_next(&it))
        m_roots.append(it.data->root);

    // Qt has set the keyboard extension up on this connection already; asking again only
    // tells us where its events start, to notice keymap changes.
    quint8 base = 0;
    if (xkb_x11_setup_xkb_extension(m_connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
            XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
            &base, nullptr))
        m_xkbEventBase = base;

    m_numLock = readNumLockMask();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotKeys::~X11HotKeys()
{
    // After the application object is gone its connection is closed, and the server has
    // dropped the grabs with it.
    if (!QCoreApplication::instance())
        return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const Grab& g : std::as_const(m_grabs))
        ungrabAll(g);
    xcb_flush(m_connection);
}

QList<quint16> X11HotKeys::lockCombinations() const
{
    QList<quint16> locks = {0, KeyCodes::xLock};
    if (m_numLock != 0 && m_numLock != KeyCodes::xLock)
        locks << m_numLock << quint16(m_numLock | KeyCodes::xLock);
    return locks;
}

bool X11HotKeys::grabAll(quint8 keycode, quint16 state, const QList<quint16>& locks)
{
    struct Attempt {
        xcb_window_t root;
        quint16 mods;
        xcb_void_cookie_t cookie;
    };
    QList<Attempt> attempts;
    for (const quint32 root : std::as_const(m_roots)) {
        for (const quint16 lock : locks) {
            const quint16 mods = state | lock;
            // owner_events off: the press reaches the root even when one of this program's
            // own windows has the focus.
            attempts.append({root, mods,
                xcb_grab_key_checked(m_connection, 0, root, mods, keycode, XCB_GRAB_MODE_ASYNC,
                    XCB_GRAB_MODE_ASYNC)});
        }
    }
    bool refused = false;
    QList<Attempt> taken;
    for (const Attempt& a : std::as_const(attempts)) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(m_connection, a.cookie));
        if (error)
            refused = true; // BadAccess: another client holds it; anything else: unusable
        else
            taken.append(a);
    }
    if (!refused)
        return true;
    for (const Attempt& a : std::as_const(taken))
        xcb_ungrab_key(m_connection, keycode, a.root, a.mods);
    xcb_flush(m_connection);
    return false;
}

void X11HotKeys::ungrabAll(const Grab& g)
{
    for (const quint32 root : std::as_const(m_roots)) {
        for (const quint16 lock : g.locks)
            xcb_ungrab_key(m_connection, g.keycode, root, g.state | lock);
    }
}

bool X11HotKeys::grab(quint32 id, int keyCode, int mods)
{
    const std::optional<quint8> keycode = KeyCodes::toX(keyCode);
    const std::optional<quint16> state = KeyCodes::modsToX(mods);
    if (!keycode || !state || m_grabs.contains(id))
        return false;
    // The server lets one client grab the same key twice; refuse it here as the second
    // registration could never fire.
    for (const Grab& g : std::as_const(m_grabs)) {
        if (g.keycode == *keycode && g.state == *state)
            return false;
    }
    Grab g;
    g.keycode = *keycode;
    g.state = *state;
    g.locks = lockCombinations();
    if (!grabAll(g.keycode, g.state, g.locks))
        return false;
    m_grabs.insert(id, g);
    return true;
}

void X11HotKeys::ungrab(quint32 id)
{
    const auto it = m_grabs.constFind(id);
    if (it == m_grabs.constEnd())
        return;
    ungrabAll(*it);
    m_grabs.erase(it);
    xcb_flush(m_connection);
}

quint16 X11HotKeys::readNumLockMask() const
{
    std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter> syms(xcb_key_symbols_alloc(m_connection));
    if (!syms)
        return 0;
    XcbReply<xcb_keycode_t> numLockCodes(xcb_key_symbols_get_keycode(syms.get(), numLockKeysym));
    if (!numLockCodes)
        return 0;
    XcbReply<xcb_get_modifier_mapping_reply_t> map(xcb_get_modifier_mapping_reply(
        m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    if (!map)
        return 0;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
    const int perModifier = map->keycodes_per_modifier;
    quint16 mask = 0;
    for (int mod = 0; mod < 8; ++mod) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[mod * perModifier + i];
            if (code == 0)
                continue;
            for (const xcb_keycode_t* n = numLockCodes.get(); *n != XCB_NO_SYMBOL; ++n) {
                if (*n == code)
                    mask |= quint16(1u << mod);
            }
        }
    }
    return mask;
}

void X11HotKeys::scheduleMappingChanged()
{
    // A layout switch sends a burst of notifications; act once, after Qt has read them too.
    if (m_mappingPending)
        return;
    m_mappingPending = true;
    QMetaObject::invokeMethod(this, &X11HotKeys::applyMappingChange, Qt::QueuedConnection);
}

void X11HotKeys::applyMappingChange()
{
    m_mappingPending = false;
    const quint16 numLock = readNumLockMask();
    if (numLock != m_numLock) {
        // Num Lock moved to another modifier bit. Take the new lock combinations before
        // releasing the stale ones, so the keys never stop working in between; a combination
        // that is now refused only loses that lock state.
        m_numLock = numLock;
        const QList<quint16> locks = lockCombinations();
        for (Grab& g : m_grabs) {
            QList<quint16> kept;
            for (const quint16 lock : locks) {
                if (g.locks.contains(lock) || grabAll(g.keycode, g.state, {lock}))
                    kept.append(lock);
            }
            for (const quint32 root : std::as_const(m_roots)) {
                for (const quint16 lock : std::as_const(g.locks)) {
                    if (!kept.contains(lock))
                        xcb_ungrab_key(m_connection, g.keycode, root, g.state | lock);
                }
            }
            g.locks = kept;
        }
        xcb_flush(m_connection);
    }
    Q_EMIT mappingChanged();
}

bool X11HotKeys::handleKeyPress(const void* event)
{
    const auto* e = static_cast<const xcb_key_press_event_t*>(event);
    if (!m_roots.contains(e->event))
        return false;
    const quint16 state = e->state & 0xff & ~(KeyCodes::xLock | m_numLock);
    bool ours = false;
    for (auto it = m_grabs.begin(); it != m_grabs.end(); ++it) {
        Grab& g = *it;
        if (g.keycode != e->detail || g.state != state)
            continue;
        ours = true;
        // Auto-repeat shows up either as presses without releases (detectable auto-repeat, which
        // Qt turns on) or as release/press pairs with one timestamp.
        const bool repeat = (g.down && e->time - g.lastPress < repeatWindowMs)
            || (g.lastRelease != 0 && e->time == g.lastRelease);
        g.down = true;
        g.lastPress = e->time;
        if (!repeat)
            Q_EMIT pressed(it.key());
    }
    return ours;
}

bool X11HotKeys::handleKeyRelease(const void* event)
{
    // The release may go to an overlay that took the keyboard meanwhile; watch every window.
    const auto* e = static_cast<const xcb_key_release_event_t*>(event);
    bool ours = false;
    for (Grab& g : m_grabs) {
        if (g.keycode != e->detail)
            continue;
        g.down = false;
        g.lastRelease = e->time;
        ours = true;
    }
    return ours && m_roots.contains(e->event);
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* ev = static_cast<const xcb_generic_event_t*>(message);
    const quint8 type = ev->response_type & 0x7f;
    switch (type) {
    case XCB_KEY_PRESS:
        return handleKeyPress(ev);
    case XCB_KEY_RELEASE:
        return handleKeyRelease(ev);
    case XCB_MAPPING_NOTIFY:
        scheduleMappingChanged();
        return false;
    default:
        break;
    }
    // With the keyboard extension in use the server sends its own map notifications instead of
    // the core one. Every such event carries its kind in the second byte.
    if (m_xkbEventBase != 0 && type == m_xkbEventBase) {
        const quint8 xkbType = reinterpret_cast<const quint8*>(ev)[1];
        constexpr quint8 newKeyboardNotify = 0;
        constexpr quint8 mapNotify = 1;
        if (xkbType == newKeyboardNotify || xkbType == mapNotify)
            scheduleMappingChanged();
    }
    return false;
}

std::optional<QString> x11PlainText(quint32 xKeycode)
{
    xcb_connection_t* c = qtConnection();
    if (!c)
        return std::nullopt;
    // Read fresh on every call: this runs once per recorded key, and the user may have
    // switched layouts since the last one.
    std::unique_ptr<xkb_context, ContextDeleter> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context)
        return std::nullopt;
    const int32_t device = xkb_x11_get_core_keyboard_device_id(c);
    if (device < 0)
        return std::nullopt;
    std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(
        xkb_x11_keymap_new_from_device(context.get(), c, device, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        return std::nullopt;
    std::unique_ptr<xkb_state, StateDeleter> live(
        xkb_x11_state_new_from_device(keymap.get(), c, device));
    std::unique_ptr<xkb_state, StateDeleter> plain(xkb_state_new(keymap.get()));
    if (!live || !plain)
        return std::nullopt;
    // The layout the user has switched to, with no modifier held or locked.
    const xkb_layout_index_t layout
        = xkb_state_serialize_layout(live.get(), XKB_STATE_LAYOUT_EFFECTIVE);
    xkb_state_update_mask(plain.get(), 0, 0, 0, 0, 0, layout);

    const xkb_keysym_t* syms = nullptr;
    if (xkb_state_key_get_syms(plain.get(), xKeycode, &syms) < 1)
        return QString();
    const xkb_keysym_t sym = syms[0];
    QString text = utf8Of(sym);
    if (text.isEmpty())
        text = deadKeyAccent(sym);
    // A keypad key with Num Lock off is a navigation key; the key cap shows its digit.
    if (text.isEmpty() && isKeypadSym(sym)) {
        const xkb_layout_index_t keyLayout = xkb_state_key_get_layout(plain.get(), xKeycode);
        const xkb_keysym_t* levelSyms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap.get(), xKeycode, keyLayout, 1, &levelSyms) > 0)
            text = utf8Of(levelSyms[0]);
    }
    return text;
}

} // namespace quillet
