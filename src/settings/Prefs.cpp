#include "settings/Prefs.h"

#include "settings/SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <cmath>
#include <memory>
#include <optional>

namespace quillet::Prefs {

namespace {

QHash<QString, QVariant>& defaults()
{
    static QHash<QString, QVariant> d;
    return d;
}

// A stored value of the wrong shape (hand-edited, truncated file) reads as the default, so bad
// data can never push the program off its rails.
std::optional<bool> parseBool(const QVariant& v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    const QString s = v.toString().trimmed().toLower();
    if (s == QLatin1String("true") || s == QLatin1String("1"))
        return true;
    if (s == QLatin1String("false") || s == QLatin1String("0"))
        return false;
    return std::nullopt;
}

std::optional<double> parseDouble(const QVariant& v)
{
    bool ok = false;
    const double d = v.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

std::optional<qint64> parseInt(const QVariant& v)
{
    bool ok = false;
    const qint64 i = v.toString().trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return i;
}

QVariant stored(const char* key)
{
    auto s = store();
    return s->value(QLatin1String(key));
}

bool readBool(const char* key)
{
    const QVariant v = stored(key);
    if (v.isValid()) {
        if (auto b = parseBool(v))
            return *b;
    }
    return defaultValue(QLatin1String(key)).toBool();
}

double readDouble(const char* key)
{
    const QVariant v = stored(key);
    if (v.isValid()) {
        if (auto d = parseDouble(v))
            return *d;
    }
    return defaultValue(QLatin1String(key)).toDouble();
}

qint64 readInt(const char* key)
{
    const QVariant v = stored(key);
    if (v.isValid()) {
        if (auto i = parseInt(v))
            return *i;
    }
    return defaultValue(QLatin1String(key)).toLongLong();
}

void write(const char* key, const QVariant& value)
{
    store()->setValue(QLatin1String(key), value);
}

} // namespace

void registerDefaults()
{
    auto& d = defaults();
    d.insert(QLatin1String(detectWindowsKey), true);
    d.insert(QLatin1String(showMagnifierKey), true);
    d.insert(QLatin1String(dimAlphaKey), 0.42);
    d.insert(QLatin1String(defaultColorKey), qint64(0));
    d.insert(QLatin1String(defaultWidthKey), 4.0);
    d.insert(QLatin1String(showToastKey), true);
    d.insert(QLatin1String(quickSaveKey), false);
    d.insert(QLatin1String(saveDirKey), desktop());
    d.insert(QLatin1String(pinShadowKey), true);
    d.insert(QLatin1String(pinOpacityKey), 1.0);
    d.insert(QLatin1String(textStyleKey), qint64(1));
    d.insert(QLatin1String(fontSizeKey), 48.0);
    d.insert(QLatin1String(mosaicSizeKey), qint64(1));
    d.insert(QLatin1String(shortcutsShownKey), false);
}

QString filePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QLatin1String("/.config");
    return base + QLatin1String("/quillet/quillet.conf");
}

std::unique_ptr<SettingsStore> store()
{
    return std::make_unique<SettingsStore>(filePath());
}

QVariant defaultValue(const QString& key)
{
    return defaults().value(key);
}

bool detectWindows()
{
    return readBool(detectWindowsKey);
}
bool showMagnifier()
{
    return readBool(showMagnifierKey);
}
bool showToast()
{
    return readBool(showToastKey);
}
bool quickSave()
{
    return readBool(quickSaveKey);
}
bool pinShadow()
{
    return readBool(pinShadowKey);
}
bool shortcutsShown()
{
    return readBool(shortcutsShownKey);
}
double dimAlpha()
{
    return readDouble(dimAlphaKey);
}
double defaultWidth()
{
    return readDouble(defaultWidthKey);
}
double pinOpacity()
{
    return readDouble(pinOpacityKey);
}
double fontSize()
{
    return readDouble(fontSizeKey);
}
qint64 defaultColor()
{
    return readInt(defaultColorKey);
}
qint64 textStyle()
{
    return readInt(textStyleKey);
}

qint64 mosaicSize()
{
    return readInt(mosaicSizeKey);
}

QUrl saveDir()
{
    QString path = stored(saveDirKey).toString();
    if (path.isEmpty())
        path = desktop();
    if (!QFileInfo::exists(path))
        path = desktop();
    return QUrl::fromLocalFile(path);
}

void setShortcutsShown()
{
    write(shortcutsShownKey, true);
}

void setDefaultColor(qint64 v)
{
    write(defaultColorKey, v);
}
void setTextStyle(qint64 v)
{
    write(textStyleKey, v);
}

void setMosaicSize(qint64 v)
{
    write(mosaicSizeKey, v);
}
void setDefaultWidth(double v)
{
    write(defaultWidthKey, v);
}
void setFontSize(double v)
{
    write(fontSizeKey, v);
}

QString desktop()
{
    const QString d = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    // Qt answers with the home folder itself when XDG names no desktop; either way the path
    // must exist, or saves would have nowhere to go.
    if (!d.isEmpty() && QFileInfo(d).isDir())
        return d;
    return QDir::homePath();
}

QString fileName()
{
    return QStringLiteral("墨钉_")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"))
        + QStringLiteral(".png");
}

} // namespace quillet::Prefs
