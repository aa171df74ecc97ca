#pragma once

#include <QPainterPath>
#include <QString>
#include <QStringList>
#include <optional>

namespace quillet {

// The symbol's area in grid units, or nothing for a name the set does not have. `weight` scales
// the stroke width (1 = regular, about 1.4 = bold).
std::optional<QPainterPath> symbolPath(const QString& name, qreal weight = 1.0);

// Every name the set draws, by hand or from the symbol font.
QStringList symbolNames();

} // namespace quillet
