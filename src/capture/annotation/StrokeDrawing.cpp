#include "capture/annotation/StrokeDrawing.h"

#include "capture/annotation/ShadowTiles.h"
#include "platform/Geometry.h"

#include <QList>
#include <QPainterPath>
#include <algorithm>

namespace quillet {

namespace {

// A stroke is drawn as runs of this many segments. The stroker and rasteriser cost far more for
// one path of a hundred thousand points than for many short ones, and a run whose bounds miss the
// painted area is skipped altogether.
constexpr qsizetype runLength = 64;

// Reach of the drop shadow beyond the ink: blur, offset and antialiasing.
constexpr qreal shadowReach = 3 * 1.5 + 4;

struct Run {
    qsizetype first = 0;
    qsizetype count = 0; // points, the first shared with the run before
    QRectF bounds; // of the ink
};

qreal strokeWidth(const Annotation& a)
{
    return a.tool == Tool::highlighter ? 4 * a.width : a.width;
}

QList<Run> runsOf(const QList<QPointF>& pts, qreal halfWidth)
{
    QList<Run> runs;
    for (qsizetype i = 0; i < pts.size(); i += runLength) {
        const qsizetype n = std::min(runLength + 1, pts.size() - i);
        qreal x0 = pts[i].x(), x1 = x0, y0 = pts[i].y(), y1 = y0;
        for (qsizetype k = i + 1; k < i + n; ++k) {
            x0 = std::min(x0, pts[k].x());
            x1 = std::max(x1, pts[k].x());
            y0 = std::min(y0, pts[k].y());
            y1 = std::max(y1, pts[k].y());
        }
        runs.append(Run {i, n,
            QRectF(
                x0 - halfWidth, y0 - halfWidth, x1 - x0 + 2 * halfWidth, y1 - y0 + 2 * halfWidth)});
        if (i + n >= pts.size())
            break;
    }
    return runs;
}

void drawRuns(QPainter& q, const Annotation& a, const QList<Run>& runs, const QColor& c)
{
    const QRectF visible = paintableLogicalArea(q);
    q.setPen(QPen(c, strokeWidth(a), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    q.setBrush(Qt::NoBrush);
    for (const Run& r : runs) {
        if (r.bounds.intersects(visible))
            q.drawPolyline(a.points.constData() + r.first, int(r.count));
    }
}

// Draws an image of device pixels with its top-left corner at a device pixel.
void blitDevice(QPainter& p, const QPoint& at, const QImage& image)
{
    p.save();
    p.resetTransform();
    p.setWorldTransform(p.deviceTransform().inverted()); // undoes the device pixel ratio
    p.drawImage(at, image);
    p.restore();
}

} // namespace

void drawFreehand(QPainter& p, const Annotation& a)
{
    if (a.points.isEmpty())
        return;
    const QList<Run> runs = runsOf(a.points, strokeWidth(a) / 2 + 1);
    QRectF bounds;
    for (const Run& r : runs)
        bounds |= r.bounds;
    if (a.tool == Tool::pen) {
        QPainterPath ink; // only asked whether ink comes near a tile
        ink.setFillRule(Qt::WindingFill);
        for (const Run& r : runs)
            ink.addRect(r.bounds);
        shadowed(p, annotationShadow(a.color), bounds, ink,
            [&](QPainter& q) { drawRuns(q, a, runs, a.color); });
        return;
    }
    // Translucent, without shadow. Runs meet end to end, and where they overlap the colour must
    // not build up: they go into a layer that takes each pixel's value instead of blending, and the
    // layer is laid over the picture once.
    const QTransform dt = p.deviceTransform();
    QColor c = a.color;
    c.setAlphaF(0.38f);
    const QRect area = dt.mapRect(bounds).toAlignedRect().intersected(paintableArea(p));
    if (dt.isRotating() || area.isEmpty()) {
        if (!area.isEmpty())
            drawRuns(p, a, runs, c);
        return;
    }
    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull())
        return;
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHints(p.renderHints());
        lp.setCompositionMode(QPainter::CompositionMode_Source);
        lp.setTransform(dt * QTransform::fromTranslate(-area.x(), -area.y()));
        drawRuns(lp, a, runs, c);
    }
    blitDevice(p, area.topLeft(), layer);
}

void LiveStroke::paint(QPainter& p, const Annotation& a, const QRectF& limit)
{
    const QTransform t = p.deviceTransform();
    if (a.points.isEmpty() || t.isRotating()) {
        drawFreehand(p, a);
        return;
    }
    p.save();
    p.resetTransform();
    const QRect device = p.deviceTransform().mapRect(QRectF(p.window())).toAlignedRect();
    p.restore();
    const QRect area = t.mapRect(limit).toAlignedRect().intersected(device);
    if (area.isEmpty())
        return;
    // The layer holds the stroke's first points in this look; anything else starts it afresh.
    const bool continues = !m_image.isNull() && t == m_transform && area == m_area
        && m_style.tool == a.tool && m_style.color == a.color && m_style.width == a.width
        && m_count > 0 && m_count <= a.points.size() && m_first == a.points.first()
        && m_last == a.points[m_count - 1];
    if (!continues) {
        m_image = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
        if (m_image.isNull()) {
            drawFreehand(p, a);
            return;
        }
        m_image.fill(Qt::transparent);
        m_area = area;
        m_transform = t;
        m_style = Annotation {a.tool, a.color, a.width, {}, {}, 0};
        m_count = 0;
    }
    if (m_count < a.points.size()) {
        const qsizetype from = std::max<qsizetype>(0, m_count - 1);
        qreal x0 = a.points[from].x(), x1 = x0, y0 = a.points[from].y(), y1 = y0;
        for (qsizetype i = from + 1; i < a.points.size(); ++i) {
            x0 = std::min(x0, a.points[i].x());
            x1 = std::max(x1, a.points[i].x());
            y0 = std::min(y0, a.points[i].y());
            y1 = std::max(y1, a.points[i].y());
        }
        // Everything the new segments change: their ink and, for the pen, its shadow.
        const qreal g = strokeWidth(a) / 2 + 2 + (a.tool == Tool::pen ? shadowReach : 0);
        const QRect dirty = t.mapRect(QRectF(x0 - g, y0 - g, x1 - x0 + 2 * g, y1 - y0 + 2 * g))
                                .toAlignedRect()
                                .intersected(area)
                                .translated(-area.topLeft());
        if (!dirty.isEmpty()) {
            QPainter lp(&m_image);
            lp.setCompositionMode(QPainter::CompositionMode_Source);
            lp.fillRect(dirty, Qt::transparent);
            lp.setCompositionMode(QPainter::CompositionMode_SourceOver);
            lp.setClipRect(dirty);
            lp.setRenderHints(p.renderHints() | QPainter::Antialiasing);
            lp.setTransform(t * QTransform::fromTranslate(-area.x(), -area.y()));
            drawFreehand(lp, a);
        }
        m_count = a.points.size();
        m_first = a.points.first();
        m_last = a.points.last();
    }
    blitDevice(p, area.topLeft(), m_image);
}

void LiveStroke::clear()
{
    m_image = QImage();
    m_count = 0;
}

} // namespace quillet
