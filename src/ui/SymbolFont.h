#pragma once

#include <QPainterPath>
#include <QString>
#include <QStringList>
#include <optional>

namespace quillet {

// A symbol taken from the Material Icons font, as an area on the 24 × 24 symbol grid (y down),
// or nothing when the name is not mapped onto the font or the font is not installed.
std::optional<QPainterPath> fontSymbolPath(const QString& name);

// Every name mapped onto the font, whether or not the font could be loaded.
QStringList fontSymbolNames();

// Where the font was looked for and found; empty when it is missing.
QString symbolFontFile();

} // namespace quillet
