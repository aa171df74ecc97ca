#pragma once

#include <QColor>
#include <QImage>
#include <optional>

namespace quillet::MagnifierPanel {

inline constexpr qreal width = 120;
inline constexpr qreal height = 170;
// How far the panel's shadow reaches beyond it, and the margin its outline needs.
inline constexpr qreal shadowMargin = 26;
inline constexpr qreal outlineMargin = 1;

// The panel's soft shadow with its body: the same for every frame, made once per pixel ratio.
// Its top-left corner sits shadowMargin above and left of the panel's.
const QImage& shadowSprite(qreal dpr);

// The panel itself for the pixel (px, py) of `frozen`: the zoomed cells with grid and crosshair,
// the swatch and hex text when `colour` is known, the coordinates and the hint. Transparent
// outside the rounded body; its top-left corner sits outlineMargin above and left of the panel's.
QImage render(const QImage& frozen, int px, int py, std::optional<QColor> colour, qreal dpr);

} // namespace quillet::MagnifierPanel
