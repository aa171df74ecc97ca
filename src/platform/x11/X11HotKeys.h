#pragma once

#include "platform/HotKeyBackend.h"

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

struct xcb_connection_t;

namespace quillet {

// Global hot keys as passive key grabs on the root window, made on Qt's own xcb connection so
// presses arrive in Qt's event stream. Each key is grabbed once for every state of Caps Lock
// and Num Lock, which X counts as modifiers.
class X11HotKeys final : public HotKeyBackend, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Nothing when the application does not run on an X11 connection.
    static std::unique_ptr<X11HotKeys> create();
    ~X11HotKeys() override;

    bool grab(quint32 id, int keyCode, int mods) override;
    void ungrab(quint32 id) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The modifier bit Num Lock is bound to (0 when it is unbound).
    quint16 numLockMask() const { return m_numLock; }

private:
    struct Grab {
        quint8 keycode = 0;
        quint16 state = 0;
        QList<quint16> locks; // the lock combinations this key was grabbed with
        bool down = false;
        quint32 lastPress = 0;
        quint32 lastRelease = 0;
    };

    explicit X11HotKeys(xcb_connection_t* connection);

    QList<quint16> lockCombinations() const;
    // Grabs keycode+state with every lock combination on every root; on refusal releases what
    // it took and returns false.
    bool grabAll(quint8 keycode, quint16 state, const QList<quint16>& locks);
    void ungrabAll(const Grab& g);
    quint16 readNumLockMask() const;
    void scheduleMappingChanged();
    void applyMappingChange();
    bool handleKeyPress(const void* event);
    bool handleKeyRelease(const void* event);

    xcb_connection_t* m_connection = nullptr;
    QList<quint32> m_roots;
    quint16 m_numLock = 0;
    quint8 m_xkbEventBase = 0; // 0: no keyboard extension
    bool m_mappingPending = false;
    QHash<quint32, Grab> m_grabs;
};

// What the key at an X keycode types with no modifier held in the keyboard's current layout,
// read from the server's keymap through xkbcommon. Dead keys give their accent, keypad keys
// their digit. Nothing when the key types nothing.
std::optional<QString> x11PlainText(quint32 xKeycode);

} // namespace quillet
