#include "settings/ShortcutStore.h"

#include "settings/Prefs.h"
#include "settings/SettingsStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace quillet::ShortcutStore {

namespace {

const QByteArray nullLiteral = QByteArrayLiteral("null");

// A JSON number that is a whole number within the 64-bit range; 1.5 or 1e300 are not key codes.
std::optional<qint64> integer(const QJsonValue& v)
{
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) > 9.0e15)
        return std::nullopt;
    return static_cast<qint64>(d);
}

// What a stored slot says: nothing readable (the outer nullopt), or an explicit value that may
// itself be "unbound" (an inner nullopt).
std::optional<std::optional<Shortcut>> decode(const QByteArray& data)
{
    const QByteArray text = data.trimmed();
    if (text == nullLiteral)
        return std::optional<Shortcut>();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    const std::optional<qint64> keyCode = integer(o.value(QLatin1String("keyCode")));
    const std::optional<qint64> mods = integer(o.value(QLatin1String("mods")));
    const QJsonValue label = o.value(QLatin1String("label"));
    if (!keyCode || !mods || !label.isString())
        return std::nullopt;
    return std::optional<Shortcut>(Shortcut {*keyCode, *mods, label.toString()});
}

QByteArray encode(const std::optional<Shortcut>& value)
{
    if (!value)
        return nullLiteral;
    QJsonObject o;
    o.insert(QLatin1String("keyCode"), value->keyCode);
    o.insert(QLatin1String("mods"), value->mods);
    o.insert(QLatin1String("label"), value->label);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<Shortcut> defaultFor(HotKeyAction action, int slot)
{
    if (slot < 0 || slot >= slots)
        return std::nullopt;
    return defaults(action)[static_cast<size_t>(slot)];
}

} // namespace

QString key(HotKeyAction action, int slot)
{
    return QStringLiteral("hotkey.") + rawValue(action) + QLatin1Char('.') + QString::number(slot);
}

std::optional<Shortcut> get(HotKeyAction action, int slot)
{
    const QVariant stored = Prefs::store()->value(key(action, slot));
    if (!stored.isValid())
        return defaultFor(action, slot);

    // Written as bytes; a hand-edited settings file holds the same JSON as a string instead.
    QByteArray data;
    switch (stored.typeId()) {
    case QMetaType::QByteArray:
        data = stored.toByteArray();
        break;
    case QMetaType::QString:
        data = stored.toString().toUtf8();
        break;
    default:
        return defaultFor(action, slot);
    }
    if (const auto decoded = decode(data))
        return *decoded;
    return defaultFor(action, slot);
}

void set(HotKeyAction action, int slot, const std::optional<Shortcut>& value)
{
    const auto s = Prefs::store();
    s->setValue(key(action, slot), encode(value));
    s->sync();
}

QList<Shortcut> all(HotKeyAction action)
{
    QList<Shortcut> out;
    for (int slot = 0; slot < slots; ++slot) {
        if (auto s = get(action, slot))
            out.append(std::move(*s));
    }
    return out;
}

QString display(HotKeyAction action)
{
    QStringList parts;
    for (const Shortcut& s : all(action))
        parts.append(s.display());
    if (parts.isEmpty())
        return QStringLiteral("未设置");
    return parts.join(QStringLiteral(" / "));
}

void reset()
{
    const auto s = Prefs::store();
    for (const HotKeyAction action : allHotKeyActions) {
        for (int slot = 0; slot < slots; ++slot)
            s->remove(key(action, slot));
    }
    s->sync();
}

} // namespace quillet::ShortcutStore
