#pragma once

#include "platform/GnomeKeyBindings.h"
#include "platform/HotKeyBackend.h"
#include "settings/Shortcut.h"

#include <QString>

namespace quillet {

// Where the desktop gives programs no global keys, the user binds a key to the program's
// command in the desktop's own configuration. These are the lines to copy for the two
// compositors whose configuration is a text file.
namespace DesktopBindings {

// The command a key should run for `action`: "quillet capture", "quillet pin".
QString command(HotKeyAction action);
// sway (and i3): bindsym Ctrl+Shift+k exec quillet capture
QString swayLine(const Shortcut& key, HotKeyAction action);
// Hyprland: bind = CTRL SHIFT, K, exec, quillet capture
QString hyprlandLine(const Shortcut& key, HotKeyAction action);
// The freedesktop shortcuts notation the desktop's shortcuts portal takes: CTRL+SHIFT+a, F1.
QString trigger(const Shortcut& key);
// GNOME's accelerator notation: <Control><Shift>a, F1.
QString gnomeBinding(const Shortcut& key);
// The keys recorded now as GNOME custom shortcuts, named as purpose() names them.
QList<GnomeKeyBindings::Entry> gnomeEntries();
// What the key in `slot` of `action` is for, under a name that stays the same from run to run
// so that the desktop remembers what the user bound: "capture", "capture-2", "pin", "pin-2".
HotKeyPurpose purpose(const Shortcut& key, HotKeyAction action, int slot);

} // namespace DesktopBindings
} // namespace quillet
