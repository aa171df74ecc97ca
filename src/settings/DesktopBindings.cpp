#include "settings/DesktopBindings.h"

#include <QStringList>

namespace quillet::DesktopBindings {

namespace {

struct ModName {
    int bit;
    const char* sway;
    const char* hyprland;
};

// In the order both configurations write them.
constexpr ModName modNames[] = {
    {modCommand, "Mod4", "SUPER"},
    {modControl, "Ctrl", "CTRL"},
    {modOption, "Mod1", "ALT"},
    {modShift, "Shift", "SHIFT"},
};

// Both take X keysym names, in which letters are lower case and F keys keep their capital.
QString keyName(const Shortcut& key)
{
    const QString label = key.label.trimmed();
    if (label.size() == 1 && label.at(0).isLetter())
        return label.toLower();
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
    return QStringLiteral("bind = %1, %2, exec, %3")
        .arg(mods.join(QLatin1Char(' ')), keyName(key).toUpper(), command(action));
}

} // namespace quillet::DesktopBindings
