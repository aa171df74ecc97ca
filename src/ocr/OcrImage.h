#pragma once

#include <QImage>
#include <QList>

namespace quillet::OcrImage {

// The bound on the pixels handed to the engine at once, after enlarging: keeps a long
// screenshot or a 4K screen from taking gigabytes inside the engine.
inline constexpr qint64 stripPixels = qint64(12) << 20;

// Grey, dark text on a light ground (a dark theme is inverted), as the engine reads best.
QImage toReadable(const QImage& image);

// True for an image without the flat ground every text has, such as pure noise: neighbouring
// pixels almost never match. The engine would spend many seconds on it to read garbage.
bool looksLikeNoise(const QImage& grey);

// The grey level most pixels have: the paper the text is on.
int groundLevel(const QImage& grey);

// The image inside a margin of paper: the engine misses text that touches the edge.
QImage padded(const QImage& grey, int ground);

// How much to enlarge an image of `pixelsPerPoint` to reach `target`, never below 1 and never
// so much that one row exceeds what the engine takes.
qreal enlargement(int width, qreal pixelsPerPoint, qreal target);

// Cuts a grey image into bands of rows, each small enough for stripPixels at `factor`, along
// the emptiest row near each band's end so that no line of text is cut through. Returns the
// first row of every band and, last, the image's height.
QList<int> bandStarts(const QImage& grey, qreal factor);

} // namespace quillet::OcrImage
