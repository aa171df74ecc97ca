#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>

namespace quillet::Output {

// Images carry their point size through devicePixelRatio(); output always keeps every device
// pixel of them.

// Replaces the clipboard with the image, plus its PNG bytes under image/png.
void copy(const QImage& image);

// PNG bytes of the full pixel size, or nothing.
std::optional<QByteArray> pngData(const QImage& image);

// Saves a PNG: straight into the save folder (quick save) or through a save dialog. Returns the
// path written, or nothing when cancelled or failed.
std::optional<QString> save(const QImage& image);

} // namespace quillet::Output
