// Stand-ins until the shortcut store and hot keys land.
#include "settings/HotKeyCenter.h"
#include "settings/Shortcut.h"
#include "settings/ShortcutStore.h"

namespace quillet {

QString Shortcut::display() const { return label; }
QList<QString> Shortcut::symbols() const { return {label}; }
std::optional<Shortcut> Shortcut::from(const QKeyEvent&) { return std::nullopt; }
std::optional<Shortcut> Shortcut::from(qint64, qint64, const QString&) { return std::nullopt; }
std::optional<QString> Shortcut::fKeyLabel(qint64) { return std::nullopt; }
QString rawValue(HotKeyAction a) { return a == HotKeyAction::capture ? "capture" : "pin"; }
std::optional<HotKeyAction> hotKeyActionFromRaw(const QString&) { return std::nullopt; }
QString title(HotKeyAction a) { return a == HotKeyAction::capture ? "截图" : "贴图"; }
std::array<std::optional<Shortcut>, 2> defaults(HotKeyAction) { return {}; }

QString ShortcutStore::key(HotKeyAction a, int slot)
{
    return "hotkey." + rawValue(a) + "." + QString::number(slot);
}
std::optional<Shortcut> ShortcutStore::get(HotKeyAction, int) { return std::nullopt; }
void ShortcutStore::set(HotKeyAction, int, const std::optional<Shortcut>&) { }
QList<Shortcut> ShortcutStore::all(HotKeyAction) { return {}; }
QString ShortcutStore::display(HotKeyAction) { return QStringLiteral("未设置"); }
void ShortcutStore::reset() { }

HotKeyCenter::HotKeyCenter(std::unique_ptr<HotKeyBackend> backend)
    : m_backend(std::move(backend))
{
}
HotKeyCenter::~HotKeyCenter() = default;
bool HotKeyCenter::registerKey(int, int, std::function<void()>)
{
    ++m_nextID;
    return false;
}
void HotKeyCenter::unregisterAll() { }

} // namespace quillet
