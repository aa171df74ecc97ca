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

QImage render(const QImage& frozen, int px, int py, std::optional<QColor> colour, qreal dpr)
{
    const Sprites& s = sprites(dpr);
    QImage img = s.body.copy();
    img.setDevicePixelRatio(dpr);
    QPainter p(&img);
    // Everything of the zoom lands only on the body, which keeps its rounded corners.
    p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    const QRect source(px - 7, py - 7, 15, 15);
    const QRect crop = source.intersected(frozen.rect());
    if (!crop.isEmpty()) {
        // Nearest neighbour: every pixel becomes a sharp 8 x 8 cell, whatever the screen's scale.
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        const QRectF target(m + (crop.x() - source.x()) * cell, m + (crop.y() - source.y()) * cell,
            crop.width() * cell, crop.height() * cell);
        p.drawImage(target, frozen, QRectF(crop));
    }
    p.drawImage(QPointF(0, 0), s.chrome);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
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
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(white(1.0, 0.18), 0.5));
    p.drawPath(bodyPath());
    p.end();
    return img;
}

} // namespace quillet::MagnifierPanel
