#pragma once

#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QRgb>

namespace quillet {

// The program's icons as the desktop knows them: the application icon (settings window, task
// bar, alerts) and the tray icon. Both come from the icon theme, where the package installs
// them under the application ID, and are drawn here when the theme lacks them (a build-folder
// run, a theme without our files).

// Lets the icon theme see the icons installed beside the running program
// (<prefix>/bin/quillet finds <prefix>/share/icons), so a program installed into any prefix
// finds its own icons without XDG_DATA_DIRS naming that prefix. Call once a QGuiApplication
// exists and before the first icon is asked for.
void addInstalledIconPaths();

QIcon appIcon();
QIcon trayIcon();

// Whether the icon theme supplied the icon rather than the built-in drawing.
bool appIconFromTheme();
bool trayIconFromTheme();

// The tray glyph: the "scissors" symbol in a light ink inside a dark halo, so it reads on
// light and dark panels alike with no colour of its own. The build tool that writes the
// installed symbolic icon uses the same shapes, so theme and built-in never drift apart.
inline constexpr QRgb trayGlyphInk = 0xfff6f6f6;
inline constexpr QRgb trayGlyphHalo = 0xff202020;
struct TrayGlyph {
    QPainterPath ink; // on the 24-unit symbol grid
    QPainterPath halo; // the ink's outline widened; painted first
};
TrayGlyph trayGlyph();

// The built-in application icon: the accent tile with the scissors in white.
void drawAppIcon(QPainter& p, const QRectF& rect);

} // namespace quillet
