#pragma once

#include <QImage>

class QWidget;

namespace quillet {

// A widget and its children as they stand once every running animation has reached its end,
// at `ratio` device pixels per point (the size truncated to whole pixels). The widget need not
// be on screen. Null when the image cannot be made.
QImage widgetSnapshot(QWidget& widget, qreal ratio);

} // namespace quillet
