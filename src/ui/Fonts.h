#pragma once

#include <QFont>

namespace quillet {

// The interface font at a point size and weight. Names Noto Sans CJK SC first so Chinese is
// drawn with Simplified Chinese glyphs whatever the locale.
QFont uiFont(qreal pointSize, QFont::Weight weight = QFont::Normal);

// Digits of equal width (size labels, coordinates, zoom badges).
QFont monospacedDigitFont(qreal pointSize, QFont::Weight weight = QFont::Normal);

// A fully monospaced font (the hex colour readout).
QFont monospacedFont(qreal pointSize, QFont::Weight weight = QFont::Normal);

} // namespace quillet
