#pragma once

#include "settings/SettingsStore.h"

#include <QString>
#include <QUrl>
#include <QVariant>
#include <memory>

namespace quillet {

// The twelve user preferences. Every read goes to the settings store, which reads the file again
// once it has changed, so a value changed by the settings window is seen by the next read
// anywhere. Defaults live in memory (QSettings has no
// registration domain), registered once at start.
namespace Prefs {

inline constexpr const char* detectWindowsKey = "detectWindows";
inline constexpr const char* showMagnifierKey = "showMagnifier";
inline constexpr const char* dimAlphaKey = "dimAlpha";
inline constexpr const char* defaultColorKey = "defaultColor";
inline constexpr const char* defaultWidthKey = "defaultWidth";
inline constexpr const char* showToastKey = "showToast";
inline constexpr const char* quickSaveKey = "quickSave";
inline constexpr const char* saveDirKey = "saveDir";
inline constexpr const char* pinShadowKey = "pinShadow";
inline constexpr const char* pinOpacityKey = "pinOpacity";
inline constexpr const char* textStyleKey = "textStyle";
inline constexpr const char* fontSizeKey = "fontSize";
inline constexpr const char* mosaicSizeKey = "mosaicSize"; // 0 small, 1 medium, 2 large blocks
// Set once the shortcuts page was opened at a start on a desktop without tray or global keys.
inline constexpr const char* shortcutsShownKey = "shortcutsShownAtFirstStart";

void registerDefaults();

// The settings file: $XDG_CONFIG_HOME/quillet/quillet.conf (INI).
QString filePath();
// A handle on the settings file; cheap, and always sees the latest contents on disk.
std::unique_ptr<SettingsStore> store();

// The registered default of a key (an invalid QVariant for unknown keys).
QVariant defaultValue(const QString& key);

bool detectWindows();
bool showMagnifier();
bool showToast();
bool quickSave();
bool pinShadow();
bool shortcutsShown();
double dimAlpha();
double defaultWidth();
double pinOpacity();
double fontSize();
qint64 defaultColor();
qint64 textStyle();
qint64 mosaicSize();
QUrl saveDir();

void setDefaultColor(qint64 v);
void setTextStyle(qint64 v);
void setMosaicSize(qint64 v);
void setDefaultWidth(double v);
void setFontSize(double v);
void setShortcutsShown();

// The user's desktop folder; the home folder when there is none.
QString desktop();

// "墨钉_" + yyyyMMdd_HHmmss + ".png", from the current local time.
QString fileName();

} // namespace Prefs
} // namespace quillet
