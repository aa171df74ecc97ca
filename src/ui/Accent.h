#pragma once

#include <QColor>

namespace quillet {

// The program's accent colour: selection frame, handles, crosshair, toolbar, key pin border.
inline QColor accent()
{
    return QColor::fromRgbF(0.13f, 0.55f, 1.00f, 1.0f);
}

// A colour given as sRGB components from 0 to 1.
inline QColor srgb(double r, double g, double b, double a = 1.0)
{
    return QColor::fromRgbF(float(r), float(g), float(b), float(a));
}

// The grey of a given white level, as the drawing code names its greys.
inline QColor white(double level, double alpha = 1.0)
{
    return srgb(level, level, level, alpha);
}

} // namespace quillet
