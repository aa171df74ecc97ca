#include "ui/Fonts.h"

#include <QStringList>

namespace quillet {

namespace {

QFont make(const QStringList& families, qreal pointSize, QFont::Weight weight)
{
    QFont f;
    f.setFamilies(families);
    // Sizes are in points of the logic, which are Qt's device-independent pixels.
    f.setPixelSize(qMax(1, qRound(pointSize)));
    if (pointSize != qRound(pointSize))
        f.setPointSizeF(pointSize * 72.0 / 96.0);
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

} // namespace

QFont uiFont(qreal pointSize, QFont::Weight weight)
{
    return make({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans"),
                    QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")},
        pointSize, weight);
}

QFont monospacedDigitFont(qreal pointSize, QFont::Weight weight)
{
    // The CJK face's Latin digits are tabular already; no OpenType switch needed (nor available
    // in Qt 6.4).
    return uiFont(pointSize, weight);
}

QFont monospacedFont(qreal pointSize, QFont::Weight weight)
{
    return make({QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("DejaVu Sans Mono"),
                    QStringLiteral("monospace")},
        pointSize, weight);
}

} // namespace quillet
