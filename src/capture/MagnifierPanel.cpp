#include "capture/MagnifierPanel.h"

#include "ui/Accent.h"
#include "ui/Fonts.h"
#include "ui/Shadow.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace quillet::MagnifierPanel {

namespace {

constexpr qreal cell = 8;
constexpr qreal radius = 12;
constexpr qreal m = outlineMargin;

QImage blank(QSizeF points, qreal dpr)
{
    QImage img(QSize(int(std::round(points.width() * dpr)), int(std::round(points.height() * dpr))),
        QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::transparent);
    return img;
}

QPainterPath bodyPath()
{
    QPainterPath path;
    path.addRoundedRect(QRectF(m, m, width, height), radius, radius);
    return path;
}

struct Sprites {
    QImage body; // the rounded body alone
    QImage chrome; // grid, crosshair bands, centre cell, info strip: painted atop the cells
};

// The parts that never change from one pointer move to the next.
const Sprites& sprites(qreal dpr)
{
    static QHash<int, Sprites> made;
    const int key = qRound(dpr * 100);
    auto it = made.constFind(key);
    if (it != made.constEnd())
        return *it;
    const QSizeF size(width + 2 * m, height + 2 * m);
    Sprites s;
    s.body = blank(size, dpr);
    {
        QPainter p(&s.body);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(bodyPath(), white(0.1, 1.0));
    }
    s.chrome = blank(size, dpr);
    {
        QPainter p(&s.chrome);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF zoom(m, m, width, width);
        p.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.12f), 0.5));
        for (int i = 1; i <= 14; ++i) {
            p.drawLine(QPointF(zoom.left() + cell * i, zoom.top()),
                QPointF(zoom.left() + cell * i, zoom.bottom()));
            p.drawLine(QPointF(zoom.left(), zoom.top() + cell * i),
                QPointF(zoom.right(), zoom.top() + cell * i));
        }
        QColor band = accent();
        band.setAlphaF(0.28f);
        p.fillRect(QRectF(zoom.left(), zoom.top() + 56, width, cell), band);
        p.fillRect(QRectF(zoom.left() + 56, zoom.top(), cell, width), band);
        const QRectF centre(zoom.left() + 56, zoom.top() + 56, cell, cell);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(centre.adjusted(-1, -1, 1, 1));
        p.setPen(QPen(Qt::white, 1));
        p.drawRect(centre);
        p.fillRect(QRectF(m, m + height - 50, width, 50), white(0.1, 0.96));
        // Only what lies on the body shows, so the sprite can be laid over plainly.
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(QPointF(0, 0), s.body);
        // The outline straddles the body's edge.
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(white(1.0, 0.18), 0.5));
        p.drawPath(bodyPath());
    }
    return *made.insert(key, s);
}

// Draws one run of text whose line box has its bottom-left corner at `bottomLeft` (y down).
void drawRun(
    QPainter& p, const QFont& font, const QColor& color, const QString& text, QPointF bottomLeft)
{
    const QFontMetricsF fm(font);
    p.setFont(font);
    p.setPen(color);
    p.drawText(QPointF(bottomLeft.x(), bottomLeft.y() - fm.descent()), text);
}

} // namespace

const QImage& shadowSprite(qreal dpr)
{
    static QHash<int, QImage> made;
    const int key = qRound(dpr * 100);
    auto it = made.constFind(key);
    if (it != made.constEnd())
        return *it;
    QImage img = blank(QSizeF(width + 2 * shadowMargin, height + 2 * shadowMargin), dpr);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF body(shadowMargin, shadowMargin, width, height);
        QPainterPath path;
        path.addRoundedRect(body, radius, radius);
        // y down here: the shadow falls 4 points below the panel.
        paintWithShadow(p, Shadow {QColor::fromRgbF(0, 0, 0, 0.5f), 14, QPointF(0, 4)}, body,
            [&](QPainter& q) { q.fillPath(path, white(0.1, 1.0)); });
    }
    return *made.insert(key, img);
}

// Lays the 15 x 15 pixels around (px, py) out as sharp cells over the zoom area of `img` (a copy
// of the body), each cell covering what the body covers, as if drawn in SourceAtop mode: the
// rounded corners stay as soft as the body's. Written directly, since a scaled draw with a
// composition mode takes the painter's slowest path on every pointer move.
static void layCells(QImage& img, const QImage& frozen, int px, int py, qreal dpr)
{
    const int x0 = int(std::round(m * dpr)), y0 = x0;
    const int side = int(std::round(width * dpr));
    const QRect source(px - 7, py - 7, 15, 15);
    const QImage::Format f = frozen.format();
    const bool readable = f == QImage::Format_RGB32 || f == QImage::Format_ARGB32
        || f == QImage::Format_ARGB32_Premultiplied;
    const QImage from = readable ? frozen : frozen.convertToFormat(QImage::Format_RGB32);
    // Where a cell border falls in device pixels, so every cell is as wide as the next at any
    // ratio.
    auto edge = [&](int i) { return int(std::round(i * cell * dpr)); };
    for (int y = 0; y < side; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y0 + y)) + x0;
        int cy = 0;
        while (cy < 14 && edge(cy + 1) <= y)
            ++cy;
        const int sy = source.y() + cy;
        const bool rowInside = sy >= 0 && sy < from.height();
        const QRgb* src
            = rowInside ? reinterpret_cast<const QRgb*>(from.constScanLine(sy)) : nullptr;
        int cx = 0;
        for (int x = 0; x < side; ++x) {
            while (cx < 14 && edge(cx + 1) <= x)
                ++cx;
            const int sx = source.x() + cx;
            if (!src || sx < 0 || sx >= from.width())
                continue; // beyond the screen's edge the body shows through
            const QRgb body = row[x];
            const uint a = qAlpha(body);
            const QRgb pixel = src[sx] | 0xff000000u;
            row[x] = a == 255
                ? pixel
                : qPremultiply(qRgba(qRed(pixel), qGreen(pixel), qBlue(pixel), int(a)));
        }
    }
}

QImage render(const QImage& frozen, int px, int py, std::optional<QColor> colour, qreal dpr)
{
    const Sprites& s = sprites(dpr);
    QImage img = s.body.copy();
    img.setDevicePixelRatio(dpr);
    layCells(img, frozen, px, py, dpr);
    QPainter p(&img);
    p.drawImage(QPointF(0, 0), s.chrome);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal bottom = m + height;
    if (colour) {
        const QRectF swatch(m + 10, bottom - 22 - 18, 18, 18);
        QPainterPath sw;
        sw.addRoundedRect(swatch, 5, 5);
        p.fillPath(sw, *colour);
        p.setPen(QPen(white(1.0, 0.3), 0.5));
        p.drawPath(sw);
        drawRun(p, monospacedFont(12, QFont::DemiBold), Qt::white,
            QString::asprintf("#%02X%02X%02X", colour->red(), colour->green(), colour->blue()),
            QPointF(swatch.right() + 8, swatch.bottom() - 1));
    }
    drawRun(p, monospacedDigitFont(10), white(1.0, 0.55),
        QStringLiteral("%1, %2   按 C 取色").arg(px).arg(py), QPointF(m + 10, bottom - 6));
    p.end();
    return img;
}

} // namespace quillet::MagnifierPanel
