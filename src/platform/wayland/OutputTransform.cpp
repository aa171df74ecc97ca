#include "platform/wayland/OutputTransform.h"

#include <QTransform>

namespace quillet {

QImage uprightOutputImage(const QImage& buffer, int transform, bool yInverted)
{
    QImage image = yInverted ? buffer.mirrored(false, true) : buffer;
    if (transform <= 0 || transform > 7)
        return image;
    // The buffer holds the picture flipped around the vertical axis first (for the flipped
    // transforms), then turned counter-clockwise by the transform's quarter turns; undoing both,
    // in the opposite order, gives the picture the user sees.
    const int quarterTurns = transform % 4;
    if (quarterTurns != 0)
        image = image.transformed(QTransform().rotate(90.0 * quarterTurns));
    if (transform >= 4)
        image = image.mirrored(true, false);
    return image;
}

} // namespace quillet
