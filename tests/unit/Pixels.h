#pragma once

// Comparing pictures pixel by pixel, for the drawing tests.

#include <QColor>
#include <QImage>
#include <QRect>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace quillet::test {

// A picture of one colour.
inline QImage filled(
    QSize size, QColor colour, qreal dpr = 1, QImage::Format format = QImage::Format_RGB32)
{
    QImage img(size, format);
    img.fill(colour);
    img.setDevicePixelRatio(dpr);
    return img;
}

// Every channel within `tolerance` of the other colour's.
inline bool near(QRgb a, QRgb b, int tolerance = 1)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}
inline bool near(const QColor& a, const QColor& b, int tolerance = 3)
{
    return near(a.rgb(), b.rgb(), tolerance);
}

// The largest difference of any channel between two pictures of one size.
inline int worstChannel(const QImage& a, const QImage& b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb u = a.pixel(x, y), v = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(u) - qRed(v)), std::abs(qGreen(u) - qGreen(v)),
                std::abs(qBlue(u) - qBlue(v))});
        }
    return worst;
}

// Where two pictures differ, for a failure message.
inline std::string difference(const QImage& a, const QImage& b)
{
    QRect r;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                r |= QRect(x, y, 1, 1);
        }
    return QString("%1,%2 %3x%4")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .toStdString();
}

} // namespace quillet::test
