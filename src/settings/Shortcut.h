#pragma once

#include <QList>
#include <QString>
#include <array>
#include <optional>

class QKeyEvent;

namespace quillet {

// Modifier bits of a shortcut (stored form): Super, Shift, Alt, Ctrl.
inline constexpr int modCommand = 0x100;
inline constexpr int modShift = 0x200;
inline constexpr int modOption = 0x800;
inline constexpr int modControl = 0x1000;

// A key position (positional key code: 0 = the A key, 122 = F1) with a modifier mask and the
// key's name as the user's layout shows it.
struct Shortcut {
    qint64 keyCode = 0;
    qint64 mods = 0;
    QString label;

    bool operator==(const Shortcut&) const = default;

    // What the user reads, in Linux notation: the set modifiers (Ctrl, Alt, Shift, Super), then
    // the key, joined by "+": Ctrl+Shift+A. The stored label is not changed by this.
    QString display() const;
    // The same pieces as key caps: ["Ctrl", "Shift", "A"].
    QList<QString> keyCaps() const;

    // A shortcut from a key press, or nothing when the press cannot be one (no modifier on an
    // ordinary key, a control character, an unknown key).
    static std::optional<Shortcut> from(const QKeyEvent& event);
    // The same rules on the raw facts of a key press; `plainText` is what the key types with
    // no modifiers in the current layout.
    static std::optional<Shortcut> from(qint64 keyCode, qint64 mods, const QString& plainText);

    // True for a press of a modifier or lock key on its own: Qt reports those as key presses,
    // but they only ever accompany a shortcut, so a recorder waits for the next key.
    static bool isModifierKey(const QKeyEvent& event);

    // Function keys: key code to label.
    static std::optional<QString> fKeyLabel(qint64 keyCode);
};

enum class HotKeyAction { capture, pin };

inline constexpr std::array<HotKeyAction, 2> allHotKeyActions
    = {HotKeyAction::capture, HotKeyAction::pin};

QString rawValue(HotKeyAction a);
std::optional<HotKeyAction> hotKeyActionFromRaw(const QString& raw);
QString title(HotKeyAction a);
std::array<std::optional<Shortcut>, 2> defaults(HotKeyAction a);

} // namespace quillet
