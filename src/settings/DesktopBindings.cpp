#include "settings/DesktopBindings.h"

#include "settings/ShortcutStore.h"

#include <QStringList>

namespace quillet::DesktopBindings {

namespace {

struct ModName {
    int bit;
    const char* sway;
    const char* hyprland;
    const char* portal;
    const char* gnome;
};

// In the order the configurations write them.
constexpr ModName modNames[] = {
    {modCommand, "Mod4", "SUPER", "LOGO", "<Super>"},
    {modControl, "Ctrl", "CTRL", "CTRL", "<Control>"},
    {modOption, "Mod1", "ALT", "ALT", "<Alt>"},
    {modShift, "Shift", "SHIFT", "SHIFT", "<Shift>"},
};

struct Punctuation {
    char16_t symbol;
    const char* keysym;
};

// Keys whose label is a symbol go by their keysym's name: "bindsym Ctrl+," binds nothing.
constexpr Punctuation punctuation[] = {
    {u',', "comma"},
    {u'.', "period"},
    {u'/', "slash"},
    {u';', "semicolon"},
    {u'\'', "apostrophe"},
    {u'[', "bracketleft"},
    {u']', "bracketright"},
    {u'\\', "backslash"},
    {u'-', "minus"},
    {u'=', "equal"},
    {u'`', "grave"},
};

struct NamedKey {
    qint64 keyCode;
    const char* keysym;
};

// Keys the program labels with a symbol or a Chinese name.
constexpr NamedKey namedKeys[] = {
    {49, "space"},
    {36, "Return"},
    {48, "Tab"},
    {123, "Left"},
    {124, "Right"},
    {125, "Down"},
    {126, "Up"},
    {115, "Home"},
    {119, "End"},
    {116, "Prior"},
    {121, "Next"},
};

// All of them take X keysym names, in which letters are lower case and F keys keep their capital.
QString keyName(const Shortcut& key)
{
    for (const NamedKey& n : namedKeys) {
        if (key.keyCode == n.keyCode)
            return QLatin1String(n.keysym);
    }
    const QString label = key.label.trimmed();
    if (label.size() == 1) {
        if (label.at(0).isLetter())
            return label.toLower();
        for (const Punctuation& p : punctuation) {
            if (label.at(0) == QChar(p.symbol))
                return QLatin1String(p.keysym);
        }
    }
    return label;
}

} // namespace

QString command(HotKeyAction action)
{
    return action == HotKeyAction::capture ? QStringLiteral("quillet capture")
                                           : QStringLiteral("quillet pin");
}

QString swayLine(const Shortcut& key, HotKeyAction action)
{
    QStringList parts;
    for (const ModName& m : modNames) {
        if (key.mods & m.bit)
            parts.append(QLatin1String(m.sway));
    }
    parts.append(keyName(key));
    return QStringLiteral("bindsym %1 exec %2").arg(parts.join(QLatin1Char('+')), command(action));
}

QString hyprlandLine(const Shortcut& key, HotKeyAction action)
{
    QStringList mods;
    for (const ModName& m : modNames) {
        if (key.mods & m.bit)
            mods.append(QLatin1String(m.hyprland));
    }
    // Hyprland writes letters in capitals; longer keysym names keep their case.
    QString name = keyName(key);
    if (name.size() == 1)
        name = name.toUpper();
    return QStringLiteral("bind = %1, %2, exec, %3")
        .arg(mods.join(QLatin1Char(' ')), name, command(action));
}

QString trigger(const Shortcut& key)
{
    QStringList parts;
    for (const ModName& m : modNames) {
        if (key.mods & m.bit)
            parts.append(QLatin1String(m.portal));
    }
    parts.append(keyName(key));
    return parts.join(QLatin1Char('+'));
}

QString gnomeBinding(const Shortcut& key)
{
    QString out;
    for (const ModName& m : modNames) {
        if (key.mods & m.bit)
            out += QLatin1String(m.gnome);
    }
    return out + keyName(key);
}

QList<GnomeKeyBindings::Entry> gnomeEntries()
{
    QList<GnomeKeyBindings::Entry> out;
    for (HotKeyAction action : allHotKeyActions) {
        for (int slot = 0; slot < ShortcutStore::slots; ++slot) {
            const std::optional<Shortcut> key = ShortcutStore::get(action, slot);
            if (!key)
                continue;
            const HotKeyPurpose p = purpose(*key, action, slot);
            out.append({p.name, QStringLiteral("墨钉：") + p.description,
                command(action).section(QLatin1Char(' '), 1), gnomeBinding(*key)});
        }
    }
    return out;
}

HotKeyPurpose purpose(const Shortcut& key, HotKeyAction action, int slot)
{
    HotKeyPurpose p;
    p.name = slot == 0 ? rawValue(action)
                       : QStringLiteral("%1-%2").arg(rawValue(action)).arg(slot + 1);
    p.description = slot == 0
        ? title(action)
        : QStringLiteral("%1（第 %2 组按键）").arg(title(action)).arg(slot + 1);
    p.trigger = trigger(key);
    return p;
}

} // namespace quillet::DesktopBindings
