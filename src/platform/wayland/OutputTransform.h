#pragma once

#include <QImage>

namespace quillet {

// What an output's frame buffer holds, turned the way its user sees the screen. `transform` is
// the output's wl_output transform (0–7: normal, 90, 180, 270, then the same flipped); a
// compositor copies the buffer as the hardware scans it out, and flips it upside down when it
// says `yInverted`.
QImage uprightOutputImage(const QImage& buffer, int transform, bool yInverted);

} // namespace quillet
