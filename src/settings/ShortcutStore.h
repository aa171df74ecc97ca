#pragma once

#include "settings/Shortcut.h"

#include <QList>
#include <QString>
#include <optional>

namespace quillet::ShortcutStore {

inline constexpr int slots = 2;

// "hotkey." + action + "." + slot.
QString key(HotKeyAction action, int slot);

std::optional<Shortcut> get(HotKeyAction action, int slot);
void set(HotKeyAction action, int slot, const std::optional<Shortcut>& value);
QList<Shortcut> all(HotKeyAction action);
QString display(HotKeyAction action);
void reset();

} // namespace quillet::ShortcutStore
