#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

namespace quillet::PngEncoder {

// Per-row PNG filter. Adaptive picks, row by row, whichever of Sub and Up leaves the smaller
// residuals: nearly the size of a full five-way search at a fraction of its cost.
enum class Filter { None, Sub, Up, Adaptive };

struct Options {
    Filter filter = Filter::Adaptive;
    int level = 2; // libdeflate level, 1 (fastest) … 12
};

// PNG bytes of every device pixel of the image (its devicePixelRatio is not consulted).
// Opaque images become 8-bit RGB, all others 8-bit RGBA with straight (un-premultiplied)
// colour. Nothing for a null image or when memory runs out.
std::optional<QByteArray> encode(const QImage& image, const Options& options = {});

} // namespace quillet::PngEncoder
