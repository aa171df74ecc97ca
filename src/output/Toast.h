#pragma once

#include "platform/Screen.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <optional>

namespace quillet::Toast {

// A short completion notice near the bottom of a screen; a newer one replaces it at once.
// Does nothing when the "showToast" preference is off.
void show(const QString& text, const QImage& thumbnail = {},
    std::optional<QColor> swatch = std::nullopt, std::optional<Screen> on = std::nullopt);

} // namespace quillet::Toast
