#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

namespace quillet::PngEncoder {

// Per-row PNG filter. Adaptive picks, row by row, whichever of Sub and Up leaves the smaller
// residuals.
enum class Filter { None, Sub, Up, Adaptive };

// The defaults come from bench/PngBench.cpp on busy 4K and 1080p desktops: Up at level 2
// writes the size of Qt's writer (4K) to 4 % larger (1080p) in about a quarter of its time.
// Level 1 is faster still but grows 1080p files by 7 %; Sub, Paeth and the adaptive choice
// cost more time than they save bytes on screen content.
struct Options {
    Filter filter = Filter::Up;
    int level = 2; // libdeflate level, 1 (fastest) … 12
};

// PNG bytes of every device pixel of the image (its devicePixelRatio is not consulted).
// Opaque images become 8-bit RGB, all others 8-bit RGBA with straight (un-premultiplied)
// colour. Nothing for a null image or when memory runs out.
std::optional<QByteArray> encode(const QImage& image, const Options& options = {});

} // namespace quillet::PngEncoder
