#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace quillet {

// What a hot key is for, told to the backend before the key is grabbed. A desktop that binds
// keys itself (the shortcuts portal) registers actions under stable names, shows the
// description in its own settings and treats the trigger ("CTRL+SHIFT+a", in freedesktop's
// shortcuts notation) as a wish; other backends only grab the key.
struct HotKeyPurpose {
    QString name;
    QString description;
    QString trigger;
};

// Registers global hot keys with the window system. Key codes and modifier masks are the
// program's own positional key codes (0 = the A key, 122 = F1) and modifier bits (0x100 Super,
// 0x200 Shift, 0x800 Alt, 0x1000 Ctrl); a backend translates them to its own.
class HotKeyBackend : public QObject {
    Q_OBJECT
public:
    // True when the window system accepted the key for `id`; false when it refused (another
    // client holds it) or the key cannot be expressed.
    virtual bool grab(quint32 id, int keyCode, int mods) = 0;
    virtual void ungrab(quint32 id) = 0;
    // Called before grab() for a key whose purpose is known.
    virtual void describe(quint32 id, const HotKeyPurpose& purpose)
    {
        Q_UNUSED(id);
        Q_UNUSED(purpose);
    }
    // Why this desktop lets no program register global keys at all (every grab then fails);
    // empty where keys can be registered and a refusal means another client holds the key.
    virtual QString unavailableReason() const { return {}; }
    // Where the keys work but the desktop has the last word on them: what the user should know,
    // such as the keys the desktop actually bound. Empty where the keys are simply grabbed.
    virtual QString note() const { return {}; }

Q_SIGNALS:
    // A registered key was pressed. Emitted on the main thread, from the event dispatch.
    void pressed(quint32 id);
    // The keyboard mapping changed: grabs must be made again.
    void mappingChanged();
    // What note() says, or which keys work, changed without the program asking: the desktop
    // answered in its own time.
    void noteChanged();
};

// A backend that accepts every grab and never fires; used where no window system exists.
std::unique_ptr<HotKeyBackend> makeNullHotKeyBackend();
// A backend that refuses every grab, saying `reason`: a desktop with no global keys.
std::unique_ptr<HotKeyBackend> makeUnavailableHotKeyBackend(const QString& reason);

void setHotKeyBackendFactory(std::function<std::unique_ptr<HotKeyBackend>()> factory);
std::unique_ptr<HotKeyBackend> makeHotKeyBackend();

} // namespace quillet
