#include "capture/annotation/AnnotationDrawing.h"

#include "capture/annotation/RenderCache.h"
#include "capture/annotation/ShadowTiles.h"
#include "capture/annotation/StrokeDrawing.h"
#include "platform/Geometry.h"
#include "ui/Accent.h"
#include "ui/Fonts.h"
#include "ui/Shadow.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <cmath>

namespace quillet {

namespace {

// Words on a label or a stamp: dark on light colours, white otherwise.
QColor contrastOn(const QColor& c)
{
    return isLight(c) ? QColor(Qt::black) : QColor(Qt::white);
}

QRectF spanRect(const Annotation& a)
{
    if (a.points.size() < 2)
        return {};
    const QPointF p0 = a.points[0], p1 = a.points[1];
    return QRectF(std::min(p0.x(), p1.x()), std::min(p0.y(), p1.y()), std::abs(p1.x() - p0.x()),
        std::abs(p1.y() - p0.y()));
}

QPainterPath strokePath(const Annotation& a)
{
    QPainterPath path;
    if (a.points.isEmpty())
        return path;
    path.moveTo(a.points[0]);
    for (qsizetype i = 1; i < a.points.size(); ++i)
        path.lineTo(a.points[i]);
    return path;
}

// The line box of a text annotation: origin points[0], the measured width, the line height.
QRectF lineBox(const Annotation& a)
{
    const QPointF o = a.points.isEmpty() ? QPointF() : a.points[0];
    return QRectF(o.x(), o.y(), textWidth(a), lineHeight(textFont(a)));
}

QRectF labelRect(const Annotation& a)
{
    return lineBox(a).adjusted(-6, -4, 6, 4);
}

// Glyph outlines for the outlined style, in upright line-box coordinates (baseline at the
// ascent). Building them is the costly part of that style, so the last few are kept.
const QPainterPath& glyphPath(const QString& text, const QFont& font)
{
    static QHash<QString, QPainterPath> cache;
    const QString key = font.key() + QLatin1Char('\x1f') + text;
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    if (cache.size() > 64)
        cache.clear();
    QPainterPath path;
    path.addText(QPointF(0, QFontMetricsF(font).ascent()), font, text);
    return *cache.insert(key, path);
}

void drawWords(QPainter& p, const Annotation& a, const QColor& c)
{
    const QFont f = textFont(a);
    const qreal ascent = QFontMetricsF(f).ascent();
    drawUpright(p, lineBox(a), [&] {
        p.setFont(f);
        p.setPen(c);
        p.drawText(QPointF(0, ascent), a.text);
    });
}

void drawOutline(QPainter& p, const Annotation& a, const QColor& c)
{
    const QFont f = textFont(a);
    const QPainterPath& path = glyphPath(a.text, f);
    // Stroke width 22 % of the font size, centred on the glyph edges: the fill pass on top covers
    // the inner half, leaving an outline of 11 % around the letters.
    QPen pen(c, 0.22 * textFontSize(a), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    drawUpright(p, lineBox(a), [&] {
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    });
}

void drawText(QPainter& p, const Annotation& a)
{
    if (a.points.isEmpty())
        return;
    const Shadow shadow = annotationShadow(a.color);
    if (a.style == 1) {
        drawTextLabel(p, a, true);
        drawWords(p, a, contrastOn(a.color));
        return;
    }
    if (a.style == 2) {
        const QColor outline = isLight(a.color) ? white(0.1) : QColor(Qt::white);
        const qreal grow = 0.11 * textFontSize(a) + 1;
        paintWithShadow(p, shadow, lineBox(a).adjusted(-grow, -grow, grow, grow),
            [&](QPainter& q) { drawOutline(q, a, outline); });
        drawWords(p, a, a.color);
        return;
    }
    paintWithShadow(p, shadow, lineBox(a), [&](QPainter& q) { drawWords(q, a, a.color); });
}

void drawStamp(QPainter& p, const Annotation& a)
{
    if (a.points.isEmpty())
        return;
    const StampGeometry g = stampGeometry(a);
    const QPointF c = a.points[0];
    const QRectF disc(c.x() - g.radius, c.y() - g.radius, 2 * g.radius, 2 * g.radius);
    paintWithShadow(p, annotationShadow(a.color), disc, [&](QPainter& q) {
        q.setPen(Qt::NoPen);
        q.setBrush(a.color);
        q.drawEllipse(disc);
    });
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, g.ring));
    p.drawEllipse(disc);

    QFont f = uiFont(g.numeralSize, QFont::Bold);
    const QFontMetricsF fm(f);
    const qreal w = fm.horizontalAdvance(a.text);
    // Centre the figures themselves: the CJK face's ascent leaves more room above digits than
    // below, so centring its line box would sit the numeral visibly low in the disc.
    const qreal capHeight = fm.capHeight();
    const QRectF box(c.x() - w / 2, c.y() - capHeight / 2, w, capHeight);
    drawUpright(p, box, [&] {
        p.setFont(f);
        p.setPen(contrastOn(a.color));
        p.drawText(QPointF(0, capHeight), a.text);
    });
}

void drawMosaic(QPainter& p, const Annotation& a, const QImage* pixelated, const QRectF& bounds)
{
    if (!pixelated || pixelated->isNull() || bounds.isEmpty())
        return;
    const QRectF r = intersectRect(spanRect(a), bounds);
    if (r.isEmpty())
        return;
    const QTransform toDevice = p.deviceTransform();
    if (toDevice.isRotating() || !toDevice.isInvertible())
        return;
    // Every device pixel the region touches is replaced, edges included: a pixel blended from the
    // copy and the picture beneath would keep part of what the mosaic hides. The copy is sampled
    // without smoothing, so each pixel takes exactly one block's colour.
    const QRect device = toDevice.mapRect(r).toAlignedRect();
    // Device pixels to the copy's pixels (rows from the top), through view points.
    QTransform toSource = toDevice.inverted();
    toSource *= QTransform::fromTranslate(-bounds.x(), -maxY(bounds));
    toSource *= QTransform::fromScale(
        pixelated->width() / bounds.width(), -pixelated->height() / bounds.height());
    const QRectF source = toSource.mapRect(QRectF(device));
    p.save();
    p.resetTransform();
    p.setWorldTransform(p.deviceTransform().inverted()); // what is left: the device pixel ratio
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QRectF(device), *pixelated, source);
    p.restore();
}

} // namespace

QFont textFontOfSize(qreal size)
{
    return uiFont(size, QFont::DemiBold);
}

QFont textFont(const Annotation& a)
{
    return textFontOfSize(textFontSize(a));
}

qreal lineHeight(const QFont& font)
{
    const QFontMetricsF fm(font);
    return std::ceil(fm.ascent() + fm.descent() + fm.leading() - 1e-9);
}

qreal textWidth(const Annotation& a)
{
    const qreal w = QFontMetricsF(textFont(a)).horizontalAdvance(a.text);
    return std::max(std::ceil(w - 1e-9), 2.0);
}

QRectF textFrame(const Annotation& a)
{
    return lineBox(a).adjusted(-textPadX, -textPadY, textPadX, textPadY);
}

qreal arrowHeadLength(const Annotation& a)
{
    if (a.points.size() < 2)
        return 0;
    const QPointF d = a.points[1] - a.points[0];
    const qreal len = std::hypot(d.x(), d.y());
    return std::min(0.6 * len, std::max(4.5 * a.width, 16.0));
}

QPolygonF arrowPolygon(const Annotation& a)
{
    if (a.points.size() < 2)
        return {};
    const QPointF p0 = a.points[0], p1 = a.points[1];
    const QPointF d = p1 - p0;
    const qreal len = std::hypot(d.x(), d.y());
    if (!(len > 2))
        return {};
    const QPointF u = d / len;
    const QPointF n(-u.y(), u.x());
    const qreal w = a.width;
    const qreal head = arrowHeadLength(a);
    const qreal half = head / 2;
    const QPointF b = p1 - u * head;
    return QPolygonF({p0 + n * 0.2 * w, b + n * 0.75 * w, b + n * half, p1, b - n * half,
        b - n * 0.75 * w, p0 - n * 0.2 * w});
}

StampGeometry stampGeometry(const Annotation& a)
{
    const qreal r = 1.2 * a.width + 9;
    return {r, std::max(0.12 * r, 1.5), 1.05 * r};
}

QRectF annotationBounds(const Annotation& a)
{
    constexpr qreal shadowReach = 3 * 1.5 + 4; // blur reach, offset and antialiasing
    QRectF r;
    switch (a.tool) {
    case Tool::rect:
    case Tool::ellipse:
        r = spanRect(a).adjusted(-a.width / 2, -a.width / 2, a.width / 2, a.width / 2);
        break;
    case Tool::arrow:
        r = arrowPolygon(a).boundingRect();
        break;
    case Tool::pen:
    case Tool::highlighter: {
        const qreal g = (a.tool == Tool::pen ? 1 : 4) * a.width / 2 + 1;
        r = strokePath(a).boundingRect().adjusted(-g, -g, g, g);
        break;
    }
    case Tool::text: {
        const qreal g = std::max(6.0, 0.11 * textFontSize(a) + 1);
        r = lineBox(a).adjusted(-g, -g, g, g);
        break;
    }
    case Tool::number: {
        if (a.points.isEmpty())
            return {};
        const StampGeometry g = stampGeometry(a);
        const qreal e = g.radius + g.ring / 2;
        r = QRectF(a.points[0].x() - e, a.points[0].y() - e, 2 * e, 2 * e);
        break;
    }
    case Tool::mosaic:
        // The pixels it replaces reach past fractional edges by up to one device pixel.
        return spanRect(a).adjusted(-1, -1, 1, 1);
    }
    return r.adjusted(-shadowReach, -shadowReach, shadowReach, shadowReach);
}

void drawTextLabel(QPainter& p, const Annotation& a, bool withShadow)
{
    if (a.points.isEmpty())
        return;
    const QRectF r = labelRect(a);
    auto fill = [&](QPainter& q) {
        q.setPen(Qt::NoPen);
        q.setBrush(a.color);
        q.drawRoundedRect(r, 6, 6);
    };
    if (withShadow)
        paintWithShadow(p, annotationShadow(a.color), r, fill);
    else
        fill(p);
}

namespace {

// Paints an annotation other than a mosaic straight into the painter.
void drawLive(QPainter& p, const Annotation& a)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    switch (a.tool) {
    case Tool::rect:
    case Tool::ellipse: {
        const QRectF r = spanRect(a);
        if (a.points.size() < 2)
            break;
        const QRectF reach = r.adjusted(-a.width, -a.width, a.width, a.width);
        QPainterPath outline;
        if (a.tool == Tool::rect)
            outline.addRoundedRect(r, 3, 3);
        else
            outline.addEllipse(r);
        const QPen pen(a.color, a.width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
        QPainterPathStroker stroker(pen);
        shadowed(
            p, annotationShadow(a.color), reach, stroker.createStroke(outline), [&](QPainter& q) {
                q.setPen(pen);
                q.setBrush(Qt::NoBrush);
                q.drawPath(outline);
            });
        break;
    }
    case Tool::arrow: {
        const QPolygonF poly = arrowPolygon(a);
        if (poly.isEmpty())
            break;
        QPainterPath ink;
        ink.addPolygon(poly);
        shadowed(p, annotationShadow(a.color), poly.boundingRect(), ink, [&](QPainter& q) {
            q.setPen(Qt::NoPen);
            q.setBrush(a.color);
            q.drawPolygon(poly);
        });
        break;
    }
    case Tool::pen:
    case Tool::highlighter:
        drawFreehand(p, a);
        break;
    case Tool::text:
        drawText(p, a);
        break;
    case Tool::number:
        drawStamp(p, a);
        break;
    case Tool::mosaic:
        break;
    }
    p.restore();
}

} // namespace

void drawAnnotation(QPainter& p, const Annotation& a, const QImage* pixelated, const QRectF& bounds,
    ShadowCaching caching)
{
    if (a.tool == Tool::mosaic) {
        drawMosaic(p, a, pixelated, bounds); // already a plain copy of pixels
        return;
    }
    if (caching == ShadowCaching::direct) {
        drawLive(p, a);
        return;
    }
    RenderCache::paint(p, a, annotationBounds(a), [&](QPainter& q) { drawLive(q, a); });
}

} // namespace quillet
