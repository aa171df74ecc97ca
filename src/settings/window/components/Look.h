#pragma once

#include "settings/window/SettingsPage.h"

#include <QColor>
#include <QPalette>
#include <QString>
#include <QVariant>
#include <QWidget>

namespace quillet::look {

// The window's adaptive colours, taken from the widget's palette so they follow the desktop's
// light or dark scheme: primary text, secondary text, card and key-cap backgrounds.
QColor primary(const QWidget* w, qreal alpha = 1.0);
QColor secondary(const QWidget* w);
QColor cardBackground(const QWidget* w);
QColor keyBackground(const QWidget* w);
QColor accent(const QWidget* w, qreal alpha = 1.0);
// The orange of warnings, deep enough on light backgrounds and light enough on dark ones.
QColor warning(const QWidget* w);
// Whether the palette is a dark one (window darker than its text).
bool isDark(const QWidget* w);

// Writes one preference at once, in the same settings file Prefs reads; the running program
// sees it at its next read.
void writePref(const char* key, const QVariant& value);

} // namespace quillet::look
