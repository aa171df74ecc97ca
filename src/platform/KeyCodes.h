#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

namespace quillet::KeyCodes {

// The program names keys by position with the codes of Apple keyboards (0 = the A key,
// 122 = F1), so a stored shortcut means the same physical key on every machine and layout.
// X keycodes are positional as well (Linux evdev code + 8), which lets one fixed table map
// the two.

// X keycode of a positional key code, or nothing for a key the table does not know.
std::optional<quint8> toX(qint64 keyCode);
// Positional key code of an X keycode.
std::optional<qint64> fromX(quint32 xKeycode);

// X core modifier bits (ShiftMask, ControlMask, Mod1 for Alt, Mod4 for Super).
inline constexpr quint16 xShift = 0x01;
inline constexpr quint16 xLock = 0x02;
inline constexpr quint16 xControl = 0x04;
inline constexpr quint16 xMod1 = 0x08;
inline constexpr quint16 xMod4 = 0x40;

// The program's modifier mask as X core state bits; nothing when the mask holds a bit that has
// no X counterpart.
std::optional<quint16> modsToX(qint64 mods);
// X core state bits as the program's mask; lock and other bits are dropped.
qint64 modsFromX(quint16 state);

// Positional key code of a Qt key, for key events that carry no native scan code (the
// offscreen platform, synthesised events). `keypad` selects the numeric pad's keys. Shifted
// symbols of a US layout ("!", "{") map to the key that types them.
std::optional<qint64> fromQtKey(int qtKey, bool keypad);

// What the key at an X keycode types with no modifier held in the current keyboard layout.
// The window-system backend installs the provider; without one the lookup returns nothing and
// callers fall back to what Qt reports.
using PlainTextProvider = std::function<std::optional<QString>(quint32 xKeycode)>;
void setPlainTextProvider(PlainTextProvider provider);
std::optional<QString> plainText(quint32 xKeycode);

} // namespace quillet::KeyCodes
