#pragma once

#include <QList>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <functional>
#include <optional>

class QScreen;

namespace quillet {

// A display as the logic sees it: frames in global points (y up), the scale from points to
// device pixels. Built from QScreen at the Qt boundary; tests build them directly.
struct Screen {
    QString name;
    QRectF frame;
    QRectF visibleFrame;
    qreal scale = 1.0;
    QPointer<QScreen> qscreen; // null for screens made up by tests

    // Device-pixel size of a grab of this screen: truncation, not rounding.
    int pixelWidth() const { return static_cast<int>(frame.width() * scale); }
    int pixelHeight() const { return static_cast<int>(frame.height() * scale); }

    bool sameAs(const Screen& o) const { return name == o.name && frame == o.frame; }
};

// The Qt geometry of the primary screen: the reference for every global conversion.
QRectF primaryQtGeometry();

Screen screenFromQt(QScreen* s);

// Every screen, the primary first and the others in Qt's order.
QList<Screen> currentScreens();

// The pointer in global coordinates; a stand-in where the window system does not say.
QPointF globalMouseLocation();
// The pointer in global coordinates, or nothing where the window system does not say now.
std::optional<QPointF> knownMouseLocation();

// Where the window system tells the pointer only to the window under it, a source of where it
// is (Qt coordinates) while a window of ours has it, and nothing otherwise.
void setPointerSource(std::function<std::optional<QPoint>()> source);

// Moves the pointer to a global point.
void warpMouse(QPointF global);

} // namespace quillet
